// The platform types keep the platform's sizes, layouts and numeric values, which files,
// callers and the math library rely on.
#include <cstddef>

#include <gtest/gtest.h>

#include "math/types.h"
#include "platform/d3d8/d3d8.h"

static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(HRESULT) == 4);
static_assert(sizeof(RECT) == 16 && sizeof(POINT) == 8 && sizeof(PALETTEENTRY) == 4);
static_assert(sizeof(D3DVECTOR) == sizeof(Vector3) && sizeof(D3DCOLORVALUE) == sizeof(Color));
static_assert(sizeof(D3DMATRIX) == sizeof(Matrix) && sizeof(Matrix) == 64);
static_assert(offsetof(Matrix, _43) == offsetof(D3DMATRIX, _43));
static_assert(sizeof(D3DMATERIAL8) == 68);
static_assert(sizeof(D3DVIEWPORT8) == 24);
static_assert(sizeof(D3DFORMAT) == 4);

TEST(PlatformTypes, ResultCodesHaveThePlatformValues) {
    EXPECT_EQ(static_cast<DWORD>(D3DERR_INVALIDCALL), 0x8876086Cu);
    EXPECT_EQ(static_cast<DWORD>(D3DERR_NOTAVAILABLE), 0x8876086Au);
    EXPECT_EQ(static_cast<DWORD>(E_FAIL), 0x80004005u);
    EXPECT_EQ(static_cast<DWORD>(E_OUTOFMEMORY), 0x8007000Eu);
    EXPECT_EQ(static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)), 0x80070002u);
    EXPECT_EQ(HRESULT_FROM_WIN32(0), 0);
}

TEST(PlatformTypes, FourCcFormatsReadAsTheirBytes) {
    EXPECT_EQ(static_cast<DWORD>(D3DFMT_DXT1), 0x31545844u);
    EXPECT_EQ(static_cast<DWORD>(D3DFMT_YUY2), 0x32595559u);
    EXPECT_EQ(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0x10CF0000u);
    EXPECT_EQ(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS, 11u);
}
