// Result codes as text: every code the layers return has its own name and a description,
// including the HRESULT forms of the platform's error numbers.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "image/image_file.h"
#include "image/result_name.h"

namespace {

TEST(ResultName, NamesTheCodesOfEveryLayer) {
    EXPECT_STREQ(ResultName(D3DERR_NOTAVAILABLE), "D3DERR_NOTAVAILABLE");
    EXPECT_STREQ(ResultName(D3DERR_INVALIDCALL), "D3DERR_INVALIDCALL");
    EXPECT_STREQ(ResultName(ERR_INVALID_DATA), "ERR_INVALID_DATA");
    EXPECT_STREQ(ResultName(E_OUTOFMEMORY), "E_OUTOFMEMORY");
    EXPECT_STREQ(ResultName(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)), "ERROR_FILE_NOT_FOUND");
    EXPECT_STREQ(ResultName(HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND)), "ERROR_RESOURCE_NAME_NOT_FOUND");
    EXPECT_STREQ(ResultName(D3D_OK), "S_OK");
    EXPECT_STREQ(ResultDescription(D3DERR_NOTAVAILABLE), "the device does not support the request");
}

TEST(ResultName, DistinctCodesHaveDistinctNamesAndAnUnknownCodeSaysSo) {
    const HRESULT codes[] = {D3DERR_WRONGTEXTUREFORMAT, D3DERR_CONFLICTINGRENDERSTATE, D3DERR_DRIVERINTERNALERROR,
                             D3DERR_NOTFOUND, D3DERR_MOREDATA, D3DERR_DEVICELOST, D3DERR_DEVICENOTRESET,
                             D3DERR_NOTAVAILABLE, D3DERR_OUTOFVIDEOMEMORY, D3DERR_INVALIDDEVICE,
                             D3DERR_INVALIDCALL, D3DERR_DRIVERINVALIDCALL, ERR_INVALID_DATA, E_FAIL, E_NOTIMPL,
                             E_OUTOFMEMORY, E_INVALIDARG, E_NOINTERFACE, S_FALSE,
                             HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED),
                             HRESULT_FROM_WIN32(ERROR_INVALID_NAME), HRESULT_FROM_WIN32(ERROR_FILE_INVALID)};
    std::set<std::string> names;
    for (HRESULT code : codes) {
        EXPECT_STRNE(ResultName(code), "HRESULT") << std::hex << code;
        EXPECT_STRNE(ResultDescription(code), "unknown result code") << std::hex << code;
        names.insert(ResultName(code));
    }
    EXPECT_EQ(names.size(), std::size(codes));
    EXPECT_STREQ(ResultName(static_cast<HRESULT>(0x8000FFFFu)), "HRESULT");
    EXPECT_STREQ(ResultDescription(static_cast<HRESULT>(0x8000FFFFu)), "unknown result code");
}

}  // namespace
