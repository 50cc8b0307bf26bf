// Surface conversion with filtering, and the filter word.
#pragma once

#include "image/pixel_codec.h"
#include "image/export.h"

TOLVANE_API_BEGIN

// Filter word: the type in the low byte, flags above.
constexpr DWORD FILTER_NONE = 1;
constexpr DWORD FILTER_POINT = 2;
constexpr DWORD FILTER_LINEAR = 3;
constexpr DWORD FILTER_TRIANGLE = 4;
constexpr DWORD FILTER_BOX = 5;
constexpr DWORD FILTER_MIRROR_U = 0x10000;
constexpr DWORD FILTER_MIRROR_V = 0x20000;
constexpr DWORD FILTER_MIRROR_W = 0x40000;
constexpr DWORD FILTER_MIRROR = FILTER_MIRROR_U | FILTER_MIRROR_V | FILTER_MIRROR_W;
constexpr DWORD FILTER_DITHER = 0x80000;
// The filter type is the word's low byte; the flags above are the only other bits a filter
// word may carry.
constexpr DWORD FILTER_TYPE_MASK = 0xFF;
constexpr DWORD FilterType(DWORD filter) { return filter & FILTER_TYPE_MASK; }

// Copies the source region into the destination region, converting and resampling.
// Returns 0; D3DERR_INVALIDCALL for a filter word outside the table, a null description or
// pixel address, a region that is not ordered or lies outside its whole box (when that is
// given), or an empty source for a resampling filter, all refused before anything is
// written; E_FAIL when a format has no codec, the two formats' classes differ or no
// strategy accepts the pair. Sets destination->Dither to filter AND FILTER_DITHER.
// When every strategy that takes the pair runs out of memory: E_OUTOFMEMORY.
HRESULT ConvertSurface(SurfaceDesc* destination, const SurfaceDesc* source, DWORD filter);

// What ConvertSurface would return for these descriptions short of running out of memory,
// decided by the same tests, without writing anything: the destination's Data and pitches
// are not read. A caller may prepare the destination (discard its contents) once this
// succeeds.
HRESULT CheckConversion(const SurfaceDesc* destination, const SurfaceDesc* source, DWORD filter);

TOLVANE_API_END
