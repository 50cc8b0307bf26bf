// The codecs of the formats with whole bytes per pixel: one class per format, generated
// from the format's row of the facts table so every shift and scale is a constant.
#include <cstring>
#include <new>
#include <utility>

#include "image/float_rounding.h"
#include "image/pixel_codec.h"
#include "image/pixel_formats.h"

namespace tolvane::pixels {
namespace {

template <unsigned Bytes>
inline std::uint32_t LoadPixel(const std::uint8_t* p) {
    if constexpr (Bytes == 1) {
        return p[0];
    } else if constexpr (Bytes == 2) {
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8);
    } else if constexpr (Bytes == 3) {
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16);
    } else {
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
}

template <unsigned Bytes>
inline void StorePixel(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    if constexpr (Bytes >= 2) {
        p[1] = static_cast<std::uint8_t>(v >> 8);
    }
    if constexpr (Bytes >= 3) {
        p[2] = static_cast<std::uint8_t>(v >> 16);
    }
    if constexpr (Bytes >= 4) {
        p[3] = static_cast<std::uint8_t>(v >> 24);
    }
}

constexpr std::uint32_t Mask(Field f) { return f.Bits >= 32 ? 0xFFFFFFFFu : ((1u << f.Bits) - 1u); }

// The multiplier of a channel write: 2^n - 1 for unsigned fields, 2^(n-1) for signed ones.
constexpr float WriteScale(Field f) {
    return f.Signed ? static_cast<float>(1u << (f.Bits - 1)) : static_cast<float>((1u << f.Bits) - 1u);
}

// The multiplier of a channel read, 1/(2^n - 1) or 1/2^(n-1) in single precision.
constexpr float ReadScale(Field f) { return 1.0f / WriteScale(f); }

template <Field F>
inline float ReadField(std::uint32_t v) {
    const std::uint32_t raw = (v >> F.Shift) & Mask(F);
    if constexpr (F.Signed) {
        const std::int32_t signedValue = static_cast<std::int32_t>(raw << (32 - F.Bits)) >> (32 - F.Bits);
        return static_cast<float>(signedValue) * ReadScale(F);
    } else {
        return static_cast<float>(raw) * ReadScale(F);
    }
}

template <Field F>
inline float ReadFieldOr(std::uint32_t v, float absent) {
    if constexpr (F.Bits != 0) {
        return ReadField<F>(v);
    } else {
        return absent;
    }
}

template <Field F>
inline std::uint32_t WriteField(float value, float offset) {
    const std::int32_t q = rz::QuantizeChannel(value, WriteScale(F), offset);
    return (static_cast<std::uint32_t>(q) & Mask(F)) << F.Shift;
}

// Luma of the luminance writes, 0.2125 red + 0.7154 green + 0.0721 blue, in float steps
// rounded toward zero like the rest of the row write.
inline float Luma(const Color& c) {
    return rz::Add(rz::Add(rz::Mul(0.2125f, c.r), rz::Mul(0.7154f, c.g)), rz::Mul(0.0721f, c.b));
}

template <int Index>
class LinearCodec final : public PixelCodec {
public:
    static constexpr FormatFacts kFacts = kFormatFacts[Index];
    static constexpr unsigned kBytes = kFacts.BitsPerPixel / 8;
    static_assert(kBytes >= 1 && kBytes <= 4);

    explicit LinearCodec(const SurfaceDesc& desc) { Init(desc, kFacts.BitsPerPixel, CodecClassOf(kFacts.Kind)); }

    void ReadRow(UINT row, UINT slice, Color* out) override {
        if (row >= Height || slice >= Depth) {
            return;
        }
        const std::uint8_t* p = RowAddress(row, slice);
        for (UINT x = 0; x < Width; ++x, p += kBytes) {
            out[x] = Decode(LoadPixel<kBytes>(p));
        }
        if (HasColorKey && Class == 1) {
            ApplyColorKey(out, Width);
        }
    }

    void WriteRow(UINT row, UINT slice, const Color* in) override {
        if (row >= Height || slice >= Depth) {
            return;
        }
        std::uint8_t* p = RowAddress(row, slice);
        const float* dither = DitherTable[row & 3] + (slice & 3);
        for (UINT x = 0; x < Width; ++x, p += kBytes) {
            StorePixel<kBytes>(p, Encode(in[x], dither[x & 3]));
        }
    }

private:
    std::uint8_t* RowAddress(UINT row, UINT slice) const {
        return Data + static_cast<std::size_t>(row) * RowPitch + static_cast<std::size_t>(slice) * SlicePitch;
    }

    Color Decode(std::uint32_t v) const {
        Color c{};
        if constexpr (kFacts.Kind == CodecKind::Palette) {
            c = PaletteColors[(v >> kFacts.Red.Shift) & 0xFF];
        } else if constexpr (kFacts.Kind == CodecKind::Luminance) {
            const float l = ReadField<kFacts.Red>(v);
            c = {l, l, l, 1.0f};
        } else {
            c.r = ReadFieldOr<kFacts.Red>(v, kFacts.Fill);
            c.g = ReadFieldOr<kFacts.Green>(v, kFacts.Fill);
            c.b = ReadFieldOr<kFacts.Blue>(v, kFacts.Fill);
            c.a = 1.0f;
        }
        if constexpr (kFacts.Alpha.Bits != 0) {
            c.a = ReadField<kFacts.Alpha>(v);
        }
        return c;
    }

    std::uint32_t Encode(const Color& c, float d) const {
        std::uint32_t v = 0;
        if constexpr (kFacts.Kind == CodecKind::Palette) {
            v = FindNearestPaletteEntry(PaletteColors, c, kFacts.Alpha.Bits == 0);
        } else if constexpr (kFacts.Kind == CodecKind::Luminance) {
            v = WriteField<kFacts.Red>(Luma(c), d);
        } else {
            if constexpr (kFacts.Red.Bits != 0) {
                v |= WriteField<kFacts.Red>(c.r, d);
            }
            if constexpr (kFacts.Green.Bits != 0) {
                v |= WriteField<kFacts.Green>(c.g, d);
            }
            if constexpr (kFacts.Blue.Bits != 0) {
                std::uint32_t w = WriteField<kFacts.Blue>(c.b, d);
                if constexpr (kFacts.ClearLowW) {
                    w &= ~(1u << kFacts.Blue.Shift);
                }
                v |= w;
            }
        }
        if constexpr (kFacts.Alpha.Bits != 0) {
            v |= WriteField<kFacts.Alpha>(c.a, d);
        }
        return v;
    }
};

template <int Index>
PixelCodec* MakeLinear(const SurfaceDesc& desc) {
    return new (std::nothrow) LinearCodec<Index>(desc);
}

using Maker = PixelCodec* (*)(const SurfaceDesc&);

template <std::size_t... I>
constexpr std::array<Maker, sizeof...(I)> MakeMakers(std::index_sequence<I...>) {
    return {{(kFormatFacts[I].BitsPerPixel != 0 ? &MakeLinear<(kFormatFacts[I].BitsPerPixel != 0 ? int(I) : 0)>
                                                : nullptr)...}};
}

constexpr auto kLinearMakers = MakeMakers(std::make_index_sequence<kFormatFacts.size()>());

}  // namespace

PixelCodec* CreateLinearCodec(const SurfaceDesc& desc, int formatIndex) {
    const Maker make = kLinearMakers[static_cast<std::size_t>(formatIndex)];
    return make != nullptr ? make(desc) : nullptr;
}

}  // namespace tolvane::pixels
