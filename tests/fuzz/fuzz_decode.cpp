// Fuzz entry over DecodeImage: any bytes, any length. A decoded image is read back row by
// row through every record of its level and face chains, so a record that points past
// its data or its buffer is caught by the address sanitizer, not only a bad write.
#include <cstddef>
#include <cstdint>

#include "image/image_file.h"

namespace {

// Bytes of one row (DXT: one row of 4x4 blocks) of a record.
std::uint64_t RowBytes(const DecodedImage& image) {
    const std::uint64_t width = static_cast<std::uint64_t>(image.Rect.right);
    switch (image.Format) {
    case D3DFMT_DXT1: return (width + 3) / 4 * 8;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5: return (width + 3) / 4 * 16;
    case D3DFMT_P8:
    case D3DFMT_L8: return width;
    case D3DFMT_R8G8B8: return width * 3;
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A8R8G8B8: return width * 4;
    default: return width * 2;
    }
}

std::uint64_t Rows(const DecodedImage& image) {
    const std::uint64_t height = static_cast<std::uint64_t>(image.Rect.bottom);
    const bool blocks = image.Format == D3DFMT_DXT1 || image.Format == D3DFMT_DXT2 || image.Format == D3DFMT_DXT3 ||
                        image.Format == D3DFMT_DXT4 || image.Format == D3DFMT_DXT5;
    return blocks ? (height + 3) / 4 : height;
}

std::uint32_t ReadRecord(const DecodedImage& image) {
    std::uint32_t sum = 0;
    const std::uint64_t rowBytes = RowBytes(image);
    for (std::uint64_t y = 0; y < Rows(image); ++y) {
        const std::uint8_t* row = image.Pixels + y * image.Pitch;
        for (std::uint64_t x = 0; x < rowBytes; ++x) {
            sum += row[x];
        }
    }
    if (image.Palette != nullptr) {
        for (int i = 0; i < 1024; ++i) {
            sum += image.Palette[i];
        }
    }
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0xFFFFFFFFu) {
        return 0;
    }
    DecodedImage image;
    ImageInfo info{};
    if (DecodeImage(&image, data, static_cast<UINT>(size), &info) != S_OK) {
        return 0;
    }
    volatile std::uint32_t sink = 0;
    for (const DecodedImage* face = &image; face != nullptr; face = face->NextFace) {
        for (const DecodedImage* level = face; level != nullptr; level = level->NextLevel) {
            sink = sink + ReadRecord(*level);
        }
    }
    return 0;
}
