// Helpers of the texture tests: a headless device with a chosen profile, small image files
// built in memory, and pixel reads from surfaces.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/win32/host.h"
#include "platform/d3d8/scoped.h"
#include "texture/texture.h"

namespace texture_test {

using Bytes = std::vector<std::uint8_t>;
// Pixel colour as 0xAARRGGBB.
using PixelFn = std::function<std::uint32_t(UINT x, UINT y)>;

// A headless window and a windowed software device on it.
class DeviceTest : public ::testing::Test {
protected:
    void TearDown() override;
    // Creates (or re-creates) the device with this profile.
    IDirect3DDevice8* MakeDevice(const D3DDeviceProfile& profile);
    IDirect3DDevice8* MakeDevice() { return MakeDevice(D3DDefaultDeviceProfile()); }

    ComRef<IDirect3DDevice8> device_;
    ComRef<IDirect3D8> d3d_;
    HWND window_ = nullptr;
};

// The default profile with other texture caps and, when given, other texture formats.
D3DDeviceProfile ProfileWith(DWORD setCaps, DWORD clearCaps, std::vector<D3DFORMAT> formats = {});

Bytes MakeJpeg(UINT width, UINT height, const PixelFn& pixel, int quality = 95);
// A palette PNG: 8-bit indices from index(x, y); palette entries as 0xAARRGGBB, alpha below
// 255 written as a tRNS chunk.
Bytes MakePalettePng(UINT width, UINT height, const std::vector<std::uint32_t>& palette,
                     const std::function<BYTE(UINT, UINT)>& index);
Bytes MakeRgbPng(UINT width, UINT height, const PixelFn& pixel);
// A 24-bit bottom-up BMP file.
Bytes MakeBmp24(UINT width, UINT height, const PixelFn& pixel);
// A DDS of A8R8G8B8 levels: faces x levels images, face by face, level 0 first; pixel(face,
// level) gives each image's fill.
Bytes MakeDdsArgb(UINT width, UINT height, UINT levels, UINT faces,
                  const std::function<PixelFn(UINT face, UINT level)>& pixel);

// Writes bytes to a fresh file under the test's temporary folder; returns its path.
std::string WriteTempFile(const std::string& name, const Bytes& bytes);

// The pixels of a 32-bit surface (A8R8G8B8 or X8R8G8B8), row by row.
std::vector<std::uint32_t> ReadPixels32(IDirect3DSurface8* surface);
std::vector<std::uint32_t> ReadLevel32(IDirect3DTexture8* texture, UINT level);
void FillLevel32(IDirect3DTexture8* texture, UINT level, const PixelFn& pixel);
// The 16 texels (0xAARRGGBB, row by row) of an 8-byte DXT1 block: two R5G6B5 end points
// and 2-bit indices; the first end point not above the second selects the three-colour mode
// with transparent black.
void DecodeDxt1Block(const BYTE* block, std::uint32_t texels[16]);
// Whether the converter can write DXT blocks yet.
bool HaveDxtCodec();
// Largest difference of the four 8-bit channels.
int ChannelDistance(std::uint32_t a, std::uint32_t b);
int ColorDistance(std::uint32_t a, std::uint32_t b);  // red, green and blue only

}  // namespace texture_test
