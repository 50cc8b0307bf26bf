// The texture inspector's side in WebAssembly: the page (textures.html) writes the chosen
// file into the module's file system and calls these functions, which decode it and make
// textures from it with the same image and texture libraries as the program and
// tolvane-tex, on the software device of a headless window.
//
// Results are JSON texts (valid until the next call); pixels are 8-bit RGBA, top row
// first, at the address tex_pixels gives after tex_source_level or tex_result_level.
// Failures come back as {"error":"NAME 0xVALUE","what":"..."}.
#include <emscripten.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "image/convert.h"
#include "image/image_file.h"
#include "tools/common/device.h"
#include "tools/common/names.h"
#include "platform/d3d8/scoped.h"
#include "texture/texture.h"

namespace {

std::string gText;
std::vector<std::uint8_t> gPixels;
MappedFile gFile;
DecodedImage gImage;
ImageInfo gInfo = {};
HeadlessDevice gHeadless;
IDirect3DDevice8* gDevice = nullptr;  // gHeadless's device once made
ComRef<IDirect3DTexture8> gTexture;
ComRef<IDirect3DCubeTexture8> gCube;

const char* Error(HRESULT hr, const char* what) {
    gText = "{\"error\":\"" + ResultText(hr) + "\",\"what\":\"" + what + "\"}";
    return gText.c_str();
}

HRESULT EnsureDevice() {
    if (gDevice) return S_OK;
    D3DDeviceProfile profile = D3DDefaultDeviceProfile();
    profile.RasterThreads = 1;
    const HRESULT hr = gHeadless.Create(profile);
    if (SUCCEEDED(hr)) gDevice = gHeadless.Get();
    return hr;
}

const DecodedImage* SourceImage(int face, int level) {
    const DecodedImage* image = &gImage;
    for (int f = 0; f < face && image; ++f) image = image->NextFace;
    for (int l = 0; l < level && image; ++l) image = image->NextLevel;
    return face < 0 || level < 0 ? nullptr : image;
}

}  // namespace

extern "C" {

// The file's summary and the decoded image's faces and levels, with each level's size:
// {"width":W,"height":H,"depth":D,"mipLevels":N,"format":"D3DFMT_...","faces":[[[w,h],...],...]}
EMSCRIPTEN_KEEPALIVE const char* tex_open(const char* path) {
    gImage.Free();
    gFile.Close();
    HRESULT hr = gFile.Open(path, false);
    if (FAILED(hr)) return Error(hr, "cannot read the file");
    hr = DecodeImage(&gImage, gFile.View, gFile.Size, &gInfo);
    if (FAILED(hr)) return Error(hr, "cannot decode the image");
    char head[256];
    std::snprintf(head, sizeof head, "{\"width\":%u,\"height\":%u,\"depth\":%u,\"mipLevels\":%u,\"format\":\"%s\",\"faces\":[",
                  gInfo.Width, gInfo.Height, gInfo.Depth, gInfo.MipLevels, FormatName(gInfo.Format).c_str());
    gText = head;
    int f = 0;
    for (const DecodedImage* face = &gImage; face; face = face->NextFace, ++f) {
        gText += f == 0 ? "[" : ",[";
        int l = 0;
        for (const DecodedImage* level = face; level; level = level->NextLevel, ++l) {
            gText += (l == 0 ? "[" : ",[") + std::to_string(level->Rect.right) + "," + std::to_string(level->Rect.bottom) + "]";
        }
        gText += "]";
    }
    gText += "]}";
    return gText.c_str();
}

// One decoded level as RGBA at tex_pixels(): {"width":W,"height":H}.
EMSCRIPTEN_KEEPALIVE const char* tex_source_level(int face, int level) {
    const DecodedImage* image = SourceImage(face, level);
    if (!image) return Error(D3DERR_INVALIDCALL, "the image has no such face or level");
    const UINT width = static_cast<UINT>(image->Rect.right), height = static_cast<UINT>(image->Rect.bottom);
    HRESULT hr = ToRgba(image->Pixels, image->Format, image->Pitch, width, height,
                        reinterpret_cast<const PALETTEENTRY*>(image->Palette), &gPixels);
    if (FAILED(hr)) return Error(hr, "cannot convert the level to RGBA");
    gText = "{\"width\":" + std::to_string(width) + ",\"height\":" + std::to_string(height) + "}";
    return gText.c_str();
}

// A texture (cube != 0: a cube texture) from the file, as CreateTextureFromFileEx makes it
// with the given format name ("" or D3DFMT_UNKNOWN: the file's), filter and mip filter
// (USE_DEFAULT: 0xFFFFFFFF): {"width":W,"height":H,"levels":N,"faces":F,"format":"D3DFMT_..."}.
EMSCRIPTEN_KEEPALIVE const char* tex_convert(const char* path, const char* formatName, unsigned filter,
                                             unsigned mipFilter, int cube) {
    gTexture.Reset();
    gCube.Reset();
    D3DFORMAT format = D3DFMT_UNKNOWN;
    if (formatName[0] != '\0' && !ParseFormatName(formatName, &format)) return Error(D3DERR_INVALIDCALL, "unknown format");
    HRESULT hr = EnsureDevice();
    if (FAILED(hr)) return Error(hr, "cannot create the device");
    if (cube) {
        hr = CreateCubeTextureFromFileEx(gDevice, path, USE_DEFAULT, 0, 0, format, D3DPOOL_MANAGED, filter,
                                         mipFilter, 0, nullptr, nullptr, gCube.Out());
    } else {
        hr = CreateTextureFromFileEx(gDevice, path, USE_DEFAULT, USE_DEFAULT, 0, 0, format, D3DPOOL_MANAGED,
                                     filter, mipFilter, 0, nullptr, nullptr, gTexture.Out());
    }
    if (FAILED(hr)) return Error(hr, "cannot create the texture");
    D3DSURFACE_DESC desc = {};
    hr = cube ? gCube->GetLevelDesc(0, &desc) : gTexture->GetLevelDesc(0, &desc);
    if (FAILED(hr)) return Error(hr, "cannot describe the texture");
    const UINT levels = cube ? gCube->GetLevelCount() : gTexture->GetLevelCount();
    char text[200];
    std::snprintf(text, sizeof text, "{\"width\":%u,\"height\":%u,\"levels\":%u,\"faces\":%d,\"format\":\"%s\"}",
                  desc.Width, desc.Height, levels, cube ? 6 : 1, FormatName(desc.Format).c_str());
    gText = text;
    return gText.c_str();
}

// One level of the texture made by tex_convert, decoded to RGBA at tex_pixels():
// {"width":W,"height":H,"format":"D3DFMT_..."}.
EMSCRIPTEN_KEEPALIVE const char* tex_result_level(int face, int level) {
    if (!gTexture && !gCube) return Error(D3DERR_INVALIDCALL, "no texture has been made");
    ComRef<IDirect3DSurface8> surface;
    HRESULT hr = gCube ? gCube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), static_cast<UINT>(level), surface.Out())
                       : (face == 0 ? gTexture->GetSurfaceLevel(static_cast<UINT>(level), surface.Out()) : D3DERR_INVALIDCALL);
    if (FAILED(hr)) return Error(hr, "the texture has no such face or level");
    D3DSURFACE_DESC desc = {};
    hr = surface->GetDesc(&desc);
    if (FAILED(hr)) return Error(hr, "cannot describe the level");
    SurfaceLock lock(surface.Get());
    hr = lock.Lock(nullptr, D3DLOCK_READONLY);
    if (FAILED(hr)) return Error(hr, "cannot lock the level");
    hr = ToRgba(lock.Bits().pBits, desc.Format, static_cast<UINT>(lock.Bits().Pitch), desc.Width, desc.Height, nullptr,
                &gPixels);
    if (FAILED(hr)) return Error(hr, "cannot convert the level to RGBA");
    gText = "{\"width\":" + std::to_string(desc.Width) + ",\"height\":" + std::to_string(desc.Height) +
            ",\"format\":\"" + FormatName(desc.Format) + "\"}";
    return gText.c_str();
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* tex_pixels() { return gPixels.data(); }

}  // extern "C"

int main() { return 0; }
