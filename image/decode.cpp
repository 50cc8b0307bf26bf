// The decoded-image record and recognition: the data is offered to seven decoders in a
// fixed order (strongest signature first, the bare DIB last) and the first that accepts
// it wins. No format is chosen by file name.
#include <cstdlib>
#include <iterator>

#include "image/image_file.h"

namespace {

// Frees a NextLevel or NextFace chain one record at a time, so a long chain cannot
// exhaust the stack.
void FreeChain(DecodedImage* head, DecodedImage* DecodedImage::*link) {
    while (head != nullptr) {
        DecodedImage* next = head->*link;
        head->*link = nullptr;
        delete head;
        head = next;
    }
}

using Decoder = HRESULT (*)(DecodedImage*, const void*, UINT, ImageTarget*);

// A decoder that always makes its own buffer (or points into the data).
template <HRESULT (*decode)(DecodedImage*, const void*, UINT)>
HRESULT OwnBuffer(DecodedImage* image, const void* data, UINT size, ImageTarget*) {
    return decode(image, data, size);
}

// Hands the target to the first decoder that asks, null to any later one.
class OneShotTarget final : public ImageTarget {
public:
    explicit OneShotTarget(ImageTarget* target) : target_(target) {}
    BYTE* Rows(D3DFORMAT format, UINT width, UINT height, UINT* pitch) override {
        ImageTarget* target = target_;
        target_ = nullptr;
        return target != nullptr ? target->Rows(format, width, height, pitch) : nullptr;
    }

private:
    ImageTarget* target_;
};

// The recognition order. The first three and the PNG signature are strong; JPEG needs
// the library to read a header; TGA and the bare DIB have weak headers and come last.
constexpr Decoder kDecoders[] = {
    OwnBuffer<DecodeBmpFile>, OwnBuffer<DecodePpm>, OwnBuffer<DecodeDds>, DecodeJpeg,
    DecodePng,                OwnBuffer<DecodeTga>, OwnBuffer<DecodeDib>,
};
static_assert(std::size(kDecoders) == 7);

}  // namespace

DecodedImage::~DecodedImage() { Free(); }

void DecodedImage::Free() {
    if (OwnsPixels) {
        std::free(Pixels);
    }
    if (OwnsPalette) {
        std::free(Palette);
    }
    Pixels = nullptr;
    Palette = nullptr;
    OwnsPixels = FALSE;
    OwnsPalette = FALSE;
    DecodedImage* levels = NextLevel;
    DecodedImage* faces = NextFace;
    NextLevel = nullptr;
    NextFace = nullptr;
    FreeChain(levels, &DecodedImage::NextLevel);
    FreeChain(faces, &DecodedImage::NextFace);
    Format = D3DFMT_UNKNOWN;
    Pitch = 0;
    Rect = {0, 0, 0, 0};
}

HRESULT DecodeImage(DecodedImage* image, const void* data, UINT size, ImageInfo* info, ImageTarget* target) {
    if (image == nullptr || data == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    image->Free();
    OneShotTarget oneShot(target);
    for (Decoder decode : kDecoders) {
        // A refusal's own code (E_FAIL, E_OUTOFMEMORY, E_NOTIMPL) is dropped: only the
        // refusal of every decoder is reported.
        if (SUCCEEDED(decode(image, data, size, target != nullptr ? &oneShot : nullptr))) {
            if (info != nullptr) {
                UINT levels = 1;
                for (const DecodedImage* level = image->NextLevel; level != nullptr; level = level->NextLevel) {
                    ++levels;
                }
                info->Width = static_cast<UINT>(image->Rect.right);
                info->Height = static_cast<UINT>(image->Rect.bottom);
                info->Depth = 1;
                info->MipLevels = levels;
                info->Format = image->Format;
            }
            return S_OK;
        }
        image->Free();
    }
    return ERR_INVALID_DATA;
}
