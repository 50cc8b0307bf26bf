// DXT block coding: one 4x4 block of A8R8G8B8 pixels (row by row) to and from its 8- or
// 16-byte form.
#pragma once

#include <cstddef>
#include <cstdint>
#include "image/export.h"

TOLVANE_API_BEGIN

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

// The three block kinds: DXT1; DXT2 and DXT3; DXT4 and DXT5.
enum class DxtBlockKind { Dxt1, ExplicitAlpha, InterpolatedAlpha };

// Encodes count blocks of 16 pixels each (consecutive in pixels) into consecutive blocks
// of 8 (DXT1) or 16 bytes. The bits are exactly those of the single-block encoders applied
// to each block in turn (EncodeDxtBlocksRef); the colour fits run one block in each vector
// lane, on the best vector target this processor has among those TOLVANE_VECTOR_TARGETS
// names (all when it is unset).
void EncodeDxtBlocks(DxtBlockKind kind, const std::uint32_t* pixels, std::size_t count, std::uint8_t* out);
// The same on the vector targets given, as Highway target bits (HWY_AVX2 ...): the best of
// them this processor has is taken, the portable fallback when none is.
void EncodeDxtBlocks(DxtBlockKind kind, const std::uint32_t* pixels, std::size_t count, std::uint8_t* out,
                     std::int64_t vectorTargets);
// The targets EncodeDxtBlocks is compiled for (the portable fallback among them).
std::int64_t DxtCompiledTargets();
void EncodeDxtBlocksRef(DxtBlockKind kind, const std::uint32_t* pixels, std::size_t count, std::uint8_t* out);

// The high-quality encoder: each block starts from the end points EncodeDxtBlocks would give
// it and is improved by least-squares end points over an exhaustive choice of indices (and a
// single-colour table, and for opaque DXT1 blocks the three-colour mode). No block's error (the sum of squared differences of
// red, green, blue and alpha after decoding) exceeds that of EncodeDxtBlocks. The colour
// halves of DXT2 to DXT5 blocks keep color0 > color1 (or equal ends at index 0), so decoders
// that read them always in the four-colour mode agree.
void EncodeDxtBlocksHigh(DxtBlockKind kind, const std::uint32_t* pixels, std::size_t count, std::uint8_t* out);
// The same on the vector targets given, as Highway target bits (HWY_AVX2 ...): the best of
// them this processor has is taken, the portable fallback when none is. Every target gives
// the same blocks.
void EncodeDxtBlocksHigh(DxtBlockKind kind, const std::uint32_t* pixels, std::size_t count, std::uint8_t* out,
                         std::int64_t vectorTargets);
// The targets the high-quality encoder is compiled for (the portable fallback among them).
std::int64_t DxtHighCompiledTargets();

TOLVANE_API_END
