// DXT block coding. The colour encoder fits a line through the block's colours by
// principal-axis analysis in a luminance-weighted space, clips it to the colour cube,
// quantises the ends to R5G6B5 and cuts the segment into equal bins for the indices.
#include "image/dxt.h"

#include <cmath>
#include <cstring>

namespace {

// Weighted space: blue, green, red (index 0, 1, 2), each byte x weight x 1/255.
constexpr float kWeight[3] = {0.082f, 0.6094f, 0.3086f};
constexpr float kInv255 = 1.0f / 255.0f;

struct Vec3 {
    float v[3];
};

inline unsigned Channel(std::uint32_t pixel, int c) { return (pixel >> (8 * c)) & 0xFFu; }

inline Vec3 ToWeighted(unsigned b, unsigned g, unsigned r) {
    return {{static_cast<float>(b) * kWeight[0] * kInv255, static_cast<float>(g) * kWeight[1] * kInv255,
             static_cast<float>(r) * kWeight[2] * kInv255}};
}

inline float Dot(const Vec3& a, const Vec3& b) { return a.v[0] * b.v[0] + a.v[1] * b.v[1] + a.v[2] * b.v[2]; }

inline std::uint16_t To565(std::uint32_t pixel) {
    return static_cast<std::uint16_t>(((Channel(pixel, 2) >> 3) << 11) | ((Channel(pixel, 1) >> 2) << 5) |
                                      (Channel(pixel, 0) >> 3));
}

// Bit replication back to 8 bits: a 5-bit f becomes f x 8 + f / 4, a 6-bit g, g x 4 + g / 16.
inline void Expand565(std::uint16_t c, unsigned rgb[3]) {
    const unsigned r = (c >> 11) & 31u, g = (c >> 5) & 63u, b = c & 31u;
    rgb[0] = b * 8 + b / 4;
    rgb[1] = g * 4 + g / 16;
    rgb[2] = r * 8 + r / 4;
}

void Put16(std::uint8_t* p, unsigned v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v & 0xFFFFu);
    Put16(p + 2, v >> 16);
}

unsigned Get16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

std::uint32_t Get32(const std::uint8_t* p) { return Get16(p) | (static_cast<std::uint32_t>(Get16(p + 2)) << 16); }

void WriteColorBlock(std::uint8_t out[8], unsigned color0, unsigned color1, std::uint32_t indices) {
    Put16(out, color0);
    Put16(out + 2, color1);
    Put32(out + 4, indices);
}

// Every included pixel at index 0, left-out ones at 3; both ends the colour of pixel 0, or
// of the last included pixel when some are left out.
void SingleColorBlock(const std::uint32_t pixels[16], unsigned mask, std::uint8_t out[8]) {
    std::uint32_t indices = 0;
    std::uint16_t color = To565(pixels[0]);
    if (mask != 0xFFFFu) {
        for (int i = 15; i >= 0; --i) {
            indices = (indices << 2) | (((mask >> i) & 1u) ? 0u : 3u);
        }
        for (int i = 0; i < 16; ++i) {
            if ((mask >> i) & 1u) {
                color = To565(pixels[i]);
            }
        }
    }
    WriteColorBlock(out, color, color, indices);
}

inline bool InRange(std::uint32_t pixel, std::uint32_t low, std::uint32_t high) {
    for (int c = 0; c < 3; ++c) {
        const unsigned v = Channel(pixel, c);
        if (v < Channel(low, c) || v > Channel(high, c)) {
            return false;
        }
    }
    return true;
}

// 3x3 symmetric matrix product, entries summed left to right.
void Square(const float a[3][3], float out[3][3]) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            out[i][j] = a[i][0] * a[0][j] + a[i][1] * a[1][j] + a[i][2] * a[2][j];
        }
    }
}

// Truncation of value / weight x 255 to a byte; the clip keeps value inside [0, weight],
// the clamp only guards against rounding at the ends.
unsigned QuantiseByte(float value, int c) {
    const float scaled = value / kWeight[c] * 255.0f;
    if (!(scaled > 0.0f)) {
        return 0;
    }
    return scaled >= 255.0f ? 255u : static_cast<unsigned>(scaled);
}

}  // namespace

void EncodeDxtColorBlock(const std::uint32_t pixels[16], std::uint8_t out[8], std::uint32_t rangeLow,
                         std::uint32_t rangeHigh) {
    // 1. Inclusion mask.
    unsigned mask = 0;
    int count = 0;
    for (int i = 0; i < 16; ++i) {
        if (!InRange(pixels[i], rangeLow, rangeHigh)) {
            mask |= 1u << i;
            ++count;
        }
    }
    // 2. Nothing to fit: three-colour mode, all transparent.
    if (count == 0) {
        WriteColorBlock(out, 0x0000, 0xFFFF, 0xFFFFFFFFu);
        return;
    }
    // 3. One colour throughout.
    bool same = true;
    for (int i = 1; i < 16; ++i) {
        same = same && ((pixels[i] ^ pixels[0]) & 0xFFFFFFu) == 0;
    }
    if (same) {
        SingleColorBlock(pixels, mask, out);
        return;
    }
    // 4. Weighted space, centred on the mean of the included pixels.
    Vec3 p[16];
    Vec3 mean = {{0.0f, 0.0f, 0.0f}};
    for (int i = 0; i < 16; ++i) {
        p[i] = ToWeighted(Channel(pixels[i], 0), Channel(pixels[i], 1), Channel(pixels[i], 2));
        if ((mask >> i) & 1u) {
            for (int c = 0; c < 3; ++c) {
                mean.v[c] += p[i].v[c];
            }
        }
    }
    for (int c = 0; c < 3; ++c) {
        mean.v[c] /= static_cast<float>(count);
    }
    for (int i = 0; i < 16; ++i) {
        for (int c = 0; c < 3; ++c) {
            p[i].v[c] -= mean.v[c];
        }
    }
    // 5. Covariance of the included pixels.
    float m[3][3] = {};
    for (int i = 0; i < 16; ++i) {
        if ((mask >> i) & 1u) {
            for (int r = 0; r < 3; ++r) {
                for (int c = 0; c < 3; ++c) {
                    m[r][c] += p[i].v[r] * p[i].v[c];
                }
            }
        }
    }
    // 6. Principal axis by repeated squaring, renormalised to trace 3 each round.
    for (int round = 0; round < 9; ++round) {
        float t[3][3];
        Square(m, t);
        Square(t, m);
        const float trace = m[0][0] + m[1][1] + m[2][2];
        if (trace == 0.0f) {
            SingleColorBlock(pixels, mask, out);
            return;
        }
        const float s = 3.0f / trace;
        for (auto& row : m) {
            for (float& e : row) {
                e *= s;
            }
        }
    }
    // 7. The row of the largest diagonal entry, scaled by its square root.
    int k = 0;
    for (int i = 1; i < 3; ++i) {
        if (m[i][i] > m[k][k]) {
            k = i;
        }
    }
    const float root = std::sqrt(m[k][k]);
    const Vec3 axis = {{m[k][0] / root, m[k][1] / root, m[k][2] / root}};
    const float axisLength2 = Dot(axis, axis);
    if (!(axisLength2 > 0.0f)) {
        SingleColorBlock(pixels, mask, out);
        return;
    }
    // 8. Extent of the included pixels along the axis.
    float tMin = 99999.0f, tMax = -99999.0f;
    for (int i = 0; i < 16; ++i) {
        if ((mask >> i) & 1u) {
            const float t = Dot(axis, p[i]) / axisLength2;
            tMin = t < tMin ? t : tMin;
            tMax = t > tMax ? t : tMax;
        }
    }
    Vec3 e0, e1;
    for (int c = 0; c < 3; ++c) {
        e0.v[c] = mean.v[c] + tMin * axis.v[c];
        e1.v[c] = mean.v[c] + tMax * axis.v[c];
    }
    // 9. Clip the segment to [0, weight] channel by channel, moving the outside end along it.
    for (int c = 0; c < 3; ++c) {
        if ((e0.v[c] < 0.0f) != (e1.v[c] < 0.0f)) {
            Vec3& lo = e0.v[c] < 0.0f ? e0 : e1;
            const Vec3& hi = e0.v[c] < 0.0f ? e1 : e0;
            const float f = (0.0f - lo.v[c]) / (hi.v[c] - lo.v[c]);
            for (int d = 0; d < 3; ++d) {
                lo.v[d] += (hi.v[d] - lo.v[d]) * f;
            }
            lo.v[c] = 0.0f;
        }
        const float w = kWeight[c];
        if ((e0.v[c] > w) != (e1.v[c] > w)) {
            Vec3& up = e0.v[c] > w ? e0 : e1;
            const Vec3& down = e0.v[c] > w ? e1 : e0;
            const float f = (w - up.v[c]) / (down.v[c] - up.v[c]);
            for (int d = 0; d < 3; ++d) {
                up.v[d] += (down.v[d] - up.v[d]) * f;
            }
            up.v[c] = w;
        }
    }
    // 10. Quantise to R5G6B5 and order the ends for the mode.
    auto pack = [](const Vec3& e) {
        return static_cast<unsigned>(((QuantiseByte(e.v[2], 2) >> 3) << 11) | ((QuantiseByte(e.v[1], 1) >> 2) << 5) |
                                     (QuantiseByte(e.v[0], 0) >> 3));
    };
    unsigned color0 = pack(e0), color1 = pack(e1);
    const bool fourColor = count == 16;
    if (fourColor ? !(color0 > color1) : color1 < color0) {
        const unsigned swap = color0;
        color0 = color1;
        color1 = swap;
    }
    // 11. The ends as the decoder will see them, in the same centred space as the pixels.
    unsigned rgb0[3], rgb1[3];
    Expand565(static_cast<std::uint16_t>(color0), rgb0);
    Expand565(static_cast<std::uint16_t>(color1), rgb1);
    Vec3 c0 = ToWeighted(rgb0[0], rgb0[1], rgb0[2]);
    Vec3 c1 = ToWeighted(rgb1[0], rgb1[1], rgb1[2]);
    for (int c = 0; c < 3; ++c) {
        c0.v[c] -= mean.v[c];
        c1.v[c] -= mean.v[c];
    }
    if (color0 == color1 && fourColor) {
        SingleColorBlock(pixels, mask, out);
        return;
    }
    // 12. Indices: the segment cut into four (or three) equal bins.
    const Vec3 d = {{c1.v[0] - c0.v[0], c1.v[1] - c0.v[1], c1.v[2] - c0.v[2]}};
    const float length2 = Dot(d, d);
    static constexpr unsigned kFourColorIndex[4] = {0, 2, 3, 1};
    static constexpr unsigned kThreeColorIndex[3] = {0, 2, 1};
    std::uint32_t indices = 0;
    for (int i = 15; i >= 0; --i) {
        unsigned index = 3;
        if ((mask >> i) & 1u) {
            if (!fourColor && color0 == color1) {
                index = 0;
            } else {
                const Vec3 q = {{p[i].v[0] - c0.v[0], p[i].v[1] - c0.v[1], p[i].v[2] - c0.v[2]}};
                const float t = Dot(q, d) / length2;
                if (fourColor) {
                    const float s = t * 4.0f;
                    index = kFourColorIndex[s < 0.0f ? 0 : s >= 3.0f ? 3 : static_cast<int>(s)];
                } else {
                    const float s = t * 3.0f;
                    index = kThreeColorIndex[s < 0.0f ? 0 : s >= 2.0f ? 2 : static_cast<int>(s)];
                }
            }
        }
        indices = (indices << 2) | index;
    }
    WriteColorBlock(out, color0, color1, indices);
}

void EncodeDxt1Block(const std::uint32_t pixels[16], std::uint8_t out[8]) {
    bool allOpaque = true;
    for (int i = 0; i < 16; ++i) {
        allOpaque = allOpaque && (pixels[i] >> 24) >= 128;
    }
    if (allOpaque) {
        EncodeDxtColorBlock(pixels, out, 0xFFFFFFu, 0);  // an empty range
        return;
    }
    // The smallest colour that no opaque pixel has keys the transparent ones.
    std::uint32_t key = 0;
    for (bool taken = true; taken; ) {
        taken = false;
        for (int i = 0; i < 16; ++i) {
            if ((pixels[i] >> 24) >= 128 && (pixels[i] & 0xFFFFFFu) == key) {
                taken = true;
                ++key;
                break;
            }
        }
    }
    std::uint32_t keyed[16];
    for (int i = 0; i < 16; ++i) {
        keyed[i] = (pixels[i] >> 24) >= 128 ? pixels[i] : key;
    }
    EncodeDxtColorBlock(keyed, out, key, key);
}

void EncodeDxtAlphaExplicit(const std::uint32_t pixels[16], std::uint8_t out[16]) {
    for (int row = 0; row < 4; ++row) {
        unsigned word = 0;
        for (int col = 0; col < 4; ++col) {
            word |= ((pixels[4 * row + col] >> 24) >> 4) << (4 * col);
        }
        Put16(out + 2 * row, word);
    }
    EncodeDxtColorBlock(pixels, out + 8, 0xFFFFFFu, 0);
}

void EncodeDxtAlphaInterpolated(const std::uint32_t pixels[16], std::uint8_t out[16]) {
    int minimum = 255, maximum = 0;
    for (int i = 0; i < 16; ++i) {
        const int a = static_cast<int>(pixels[i] >> 24);
        minimum = a < minimum ? a : minimum;
        maximum = a > maximum ? a : maximum;
    }
    int alpha0 = maximum, alpha1 = minimum;
    bool sixValues = false;
    if (minimum == 0 && maximum == 255) {
        // 0 and 255 have codes of their own in the six-value mode: fit the values between.
        int low = 256, high = -1;
        for (int i = 0; i < 16; ++i) {
            const int a = static_cast<int>(pixels[i] >> 24);
            if (a != 0 && a < low) {
                low = a;
            }
            if (a != 255 && a > high) {
                high = a;
            }
        }
        if (low < high) {
            sixValues = true;
            alpha0 = low;
            alpha1 = high;
        }
    }
    out[0] = static_cast<std::uint8_t>(alpha0);
    out[1] = static_cast<std::uint8_t>(alpha1);
    std::uint64_t codes = 0;
    if (alpha0 != alpha1) {
        const int f = alpha0 - alpha1;
        const int k = sixValues ? 5 : 7;
        const int halfF = f >> 1;  // floor(f / 2), also for the negative f of the six-value mode
        for (int i = 15; i >= 0; --i) {
            const int a = static_cast<int>(pixels[i] >> 24);
            unsigned code;
            if (sixValues && a == 0) {
                code = 6;
            } else if (sixValues && a == 255) {
                code = 7;
            } else {
                const int b = (halfF + (alpha0 - a) * k) / f;
                code = b >= k ? 1u : b > 0 ? static_cast<unsigned>(b + 1) : 0u;
            }
            codes = (codes << 3) | code;
        }
    }
    for (int i = 0; i < 6; ++i) {
        out[2 + i] = static_cast<std::uint8_t>(codes >> (8 * i));
    }
    EncodeDxtColorBlock(pixels, out + 8, 0xFFFFFFu, 0);
}

void DecodeDxtColorBlock(const std::uint8_t* block, std::uint32_t out[16]) {
    if (block == nullptr) {
        std::memset(out, 0, 16 * sizeof(std::uint32_t));
        return;
    }
    const unsigned color0 = Get16(block), color1 = Get16(block + 2);
    unsigned c[4][3];
    Expand565(static_cast<std::uint16_t>(color0), c[0]);
    Expand565(static_cast<std::uint16_t>(color1), c[1]);
    std::uint32_t palette[4];
    unsigned alpha3 = 0xFF;
    for (int ch = 0; ch < 3; ++ch) {
        if (color0 > color1) {
            c[2][ch] = (2 * c[0][ch] + c[1][ch] + 1) / 3;
            c[3][ch] = (c[0][ch] + 2 * c[1][ch] + 1) / 3;
        } else {
            c[2][ch] = (c[0][ch] + c[1][ch]) / 2;
            c[3][ch] = 0;
            alpha3 = 0;
        }
    }
    for (int i = 0; i < 4; ++i) {
        palette[i] = (0xFFu << 24) | (c[i][2] << 16) | (c[i][1] << 8) | c[i][0];
    }
    palette[3] = (palette[3] & 0xFFFFFFu) | (alpha3 << 24);
    const std::uint32_t indices = Get32(block + 4);
    for (int i = 0; i < 16; ++i) {
        out[i] = palette[(indices >> (2 * i)) & 3u];
    }
}

void DecodeDxtAlphaExplicit(const std::uint8_t* block, std::uint32_t out[16]) {
    if (block == nullptr) {
        std::memset(out, 0, 16 * sizeof(std::uint32_t));
        return;
    }
    DecodeDxtColorBlock(block + 8, out);
    for (int i = 0; i < 16; ++i) {
        const unsigned nibble = (Get16(block + 2 * (i / 4)) >> (4 * (i % 4))) & 0xFu;
        out[i] = (out[i] & 0xFFFFFFu) | ((nibble * 17u) << 24);
    }
}

void DecodeDxtAlphaInterpolated(const std::uint8_t* block, std::uint32_t out[16]) {
    if (block == nullptr) {
        std::memset(out, 0, 16 * sizeof(std::uint32_t));
        return;
    }
    DecodeDxtColorBlock(block + 8, out);
    const unsigned a0 = block[0], a1 = block[1];
    unsigned values[8] = {a0, a1};
    if (a0 > a1) {
        for (unsigned i = 1; i <= 6; ++i) {
            values[i + 1] = ((7 - i) * a0 + i * a1) / 7;
        }
    } else {
        for (unsigned i = 1; i <= 4; ++i) {
            values[i + 1] = ((5 - i) * a0 + i * a1) / 5;
        }
        values[6] = 0;
        values[7] = 255;
    }
    std::uint64_t codes = 0;
    for (int i = 0; i < 6; ++i) {
        codes |= static_cast<std::uint64_t>(block[2 + i]) << (8 * i);
    }
    for (int i = 0; i < 16; ++i) {
        out[i] = (out[i] & 0xFFFFFFu) | (values[(codes >> (3 * i)) & 7u] << 24);
    }
}
