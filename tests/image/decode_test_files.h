// Small image files built inside the decoder tests: a little-endian byte writer for the
// container formats, and JPEG and PNG files written with libjpeg and libpng.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/image_files.h"

using Bytes = std::vector<std::uint8_t>;

struct ByteWriter {
    Bytes bytes;

    ByteWriter() { bytes.reserve(256); }

    ByteWriter& u8(unsigned v) {
        bytes.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    ByteWriter& u16(unsigned v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
    ByteWriter& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    ByteWriter& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
    ByteWriter& text(const std::string& s) {
        bytes.insert(bytes.end(), s.begin(), s.end());
        return *this;
    }
    ByteWriter& raw(const Bytes& b) {
        bytes.insert(bytes.end(), b.begin(), b.end());
        return *this;
    }
    ByteWriter& fill(std::size_t count, unsigned v) {
        bytes.insert(bytes.end(), count, static_cast<std::uint8_t>(v));
        return *this;
    }
};

// A BITMAPINFOHEADER (40 bytes) or a longer header with the four masks at 40..55.
inline ByteWriter DibHeader(std::int32_t width, std::int32_t height, unsigned bitCount, std::uint32_t compression,
                            std::uint32_t colorsUsed = 0, std::uint32_t headerSize = 40,
                            const std::uint32_t* masks = nullptr) {
    ByteWriter w;
    w.u32(headerSize).i32(width).i32(height).u16(1).u16(bitCount).u32(compression);
    w.u32(0).u32(2835).u32(2835).u32(colorsUsed).u32(0);
    for (std::uint32_t i = 40; i < headerSize; i += 4) {
        w.u32(masks != nullptr && i < 56 ? masks[(i - 40) / 4] : 0);
    }
    return w;
}

// A BMP file around a DIB.
inline Bytes BmpFile(const Bytes& dib) {
    ByteWriter w;
    w.text("BM").u32(static_cast<std::uint32_t>(14 + dib.size())).u32(0).u32(0);
    return w.raw(dib).bytes;
}

inline ByteWriter TgaHeader(unsigned idLength, unsigned mapType, unsigned imageType, unsigned mapFirst,
                            unsigned mapLength, unsigned mapBits, unsigned width, unsigned height,
                            unsigned pixelBits, unsigned descriptor) {
    ByteWriter w;
    w.u8(idLength).u8(mapType).u8(imageType).u16(mapFirst).u16(mapLength).u8(mapBits);
    w.u16(0).u16(0).u16(width).u16(height).u8(pixelBits).u8(descriptor);
    return w;
}

struct DdsOptions {
    std::uint32_t width = 4;
    std::uint32_t height = 4;
    std::uint32_t mipCount = 0;
    std::uint32_t flags = 0x41;
    std::uint32_t fourcc = 0;
    std::uint32_t bitCount = 32;
    std::uint32_t greenMask = 0xFF00;
    std::uint32_t alphaMask = 0xFF000000;
    std::uint32_t caps2 = 0;
};

inline ByteWriter DdsHeader(const DdsOptions& o) {
    ByteWriter w;
    w.text("DDS ").u32(124).u32(0x1007).u32(o.height).u32(o.width).u32(0).u32(0).u32(o.mipCount);
    w.fill(44, 0);
    w.u32(32).u32(o.flags).u32(o.fourcc).u32(o.bitCount).u32(0xFF0000).u32(o.greenMask).u32(0xFF).u32(o.alphaMask);
    w.u32(0x1000).u32(o.caps2).u32(0).u32(0).u32(0);
    return w;
}

// JPEG of width x height with `components` channels (1 grey, 3 RGB, 4 CMYK) from the
// given interleaved samples.
inline Bytes EncodeJpeg(int width, int height, int components, const Bytes& samples, int quality = 100) {
    return support::EncodeJpeg(width, height, components, samples.data(), quality);
}

// PNG files from a recipe of what the file stores (tests/support).
using support::EncodePng;
using support::PngRecipe;
