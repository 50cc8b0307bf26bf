// Surface conversion with filtering, and the filter word.
#pragma once

#include "image/pixel_codec.h"

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

// Copies the source region into the destination region, converting and resampling.
// 0, D3DERR_INVALIDCALL (bad filter word or region) or E_FAIL (no conversion).
HRESULT ConvertSurface(SurfaceDesc* destination, const SurfaceDesc* source, DWORD filter);
