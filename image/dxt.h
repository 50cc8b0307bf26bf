// DXT block coding: one 4x4 block of A8R8G8B8 pixels (row by row) to and from its 8- or
// 16-byte form.
#pragma once

#include <cstdint>

// Pixels whose red, green and blue all lie in [rangeLow, rangeHigh] are left out of the
// fit and marked transparent.
void EncodeDxtColorBlock(const std::uint32_t pixels[16], std::uint8_t out[8], std::uint32_t rangeLow,
                         std::uint32_t rangeHigh);
void EncodeDxt1Block(const std::uint32_t pixels[16], std::uint8_t out[8]);
void EncodeDxtAlphaExplicit(const std::uint32_t pixels[16], std::uint8_t out[16]);
void EncodeDxtAlphaInterpolated(const std::uint32_t pixels[16], std::uint8_t out[16]);

// A null block decodes to 16 pixels of 0.
void DecodeDxtColorBlock(const std::uint8_t* block, std::uint32_t out[16]);
void DecodeDxtAlphaExplicit(const std::uint8_t* block, std::uint32_t out[16]);
void DecodeDxtAlphaInterpolated(const std::uint8_t* block, std::uint32_t out[16]);
