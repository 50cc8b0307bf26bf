// Image files: mapping a file or a bitmap resource, and recognising and decoding its
// bytes into a DecodedImage in one Direct3D 8 format.
#pragma once

#include <cstdint>

#include "platform/d3d8/d3d8types.h"
#include "image/export.h"

TOLVANE_API_BEGIN

// No decoder accepted the data.
constexpr HRESULT ERR_INVALID_DATA = static_cast<HRESULT>(0x88760B59u);

// One decoded picture: one image, mip level or cube face. Freeing it (Free or the
// destructor) frees what it owns and then the NextLevel and NextFace chains.
struct DecodedImage {
    D3DFORMAT Format = D3DFMT_UNKNOWN;
    std::uint8_t* Pixels = nullptr;  // top row (DXT: top row of 4x4 blocks)
    DWORD Pitch = 0;                 // bytes from one row (or block row) to the next
    RECT Rect = {0, 0, 0, 0};        // 0, 0, width, height
    std::uint8_t* Palette = nullptr; // 256 entries of red, green, blue, alpha (P8 only)
    BOOL OwnsPixels = FALSE;
    BOOL OwnsPalette = FALSE;
    DecodedImage* NextLevel = nullptr;  // owned; next smaller mip level of the same face
    DecodedImage* NextFace = nullptr;   // owned; next cube face (first level of each face)

    DecodedImage() = default;
    ~DecodedImage();
    DecodedImage(const DecodedImage&) = delete;
    DecodedImage& operator=(const DecodedImage&) = delete;

    // Frees owned pixels and palette and both chains, and empties the record.
    void Free();
};

// Summary of the first image of a file.
struct ImageInfo {
    UINT Width;
    UINT Height;
    UINT Depth;
    UINT MipLevels;
    D3DFORMAT Format;
};
static_assert(sizeof(ImageInfo) == 20);

// A whole file mapped read-only.
struct MappedFile {
    HANDLE File = INVALID_HANDLE_VALUE;
    HANDLE Mapping = INVALID_HANDLE_VALUE;
    const void* View = nullptr;
    DWORD Size = 0;

    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // name is a char* (wide = false) or a WCHAR* (wide = true). 0 or an error code.
    HRESULT Open(const void* name, bool wide);
    void Close();
};

// The bytes of a bitmap resource of a module.
struct ResourceBlock {
    HGLOBAL Data = nullptr;
    const void* Bytes = nullptr;
    DWORD Size = 0;

    // name is a char* (wide = false) or a WCHAR* (wide = true). 0 or an error code.
    HRESULT Load(HMODULE module, const void* name, bool wide);
};

// Rows offered to a decoder in place of a buffer of its own, so that a picture can be
// decoded straight into its final place. The JPEG and PNG decoders ask once they know what
// they will produce and before they write a row; the others never ask. A decoder that
// takes the rows writes width x height pixels of format there, rows pitch bytes apart
// (the pitch and the first row's address are multiples of 4), and the record's Pixels
// then point at them with OwnsPixels 0. A decoder that fails after taking them leaves
// them partly written.
class ImageTarget {
public:
    // The first row, or null to let the decoder allocate its own buffer. Asked at most once
    // per decoding (a later decoder of the same data gets null).
    virtual BYTE* Rows(D3DFORMAT format, UINT width, UINT height, UINT* pitch) = 0;

protected:
    ~ImageTarget() = default;
};

// Tries the seven decoders in their fixed order; 0 or ERR_INVALID_DATA. With a target,
// the image may be decoded into its rows (see ImageTarget); results are otherwise the same.
HRESULT DecodeImage(DecodedImage* image, const void* data, UINT size, ImageInfo* info,
                    ImageTarget* target = nullptr);

HRESULT DecodeBmpFile(DecodedImage* image, const void* data, UINT size);
HRESULT DecodePpm(DecodedImage* image, const void* data, UINT size);
HRESULT DecodeDds(DecodedImage* image, const void* data, UINT size);
HRESULT DecodeJpeg(DecodedImage* image, const void* data, UINT size);
HRESULT DecodeJpeg(DecodedImage* image, const void* data, UINT size, ImageTarget* target);
HRESULT DecodePng(DecodedImage* image, const void* data, UINT size);
HRESULT DecodePng(DecodedImage* image, const void* data, UINT size, ImageTarget* target);
HRESULT DecodeTga(DecodedImage* image, const void* data, UINT size);
HRESULT DecodeDib(DecodedImage* image, const void* data, UINT size);

TOLVANE_API_END
