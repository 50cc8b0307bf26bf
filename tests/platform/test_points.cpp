// Point lists: the size of a point from the state, the vertex or a vertex program, its
// scaling by distance and clamping, and point sprites spreading a texture over the point.
#include <cstring>
#include <string>
#include <vector>

#include "device_fixture.h"
#include "platform/d3d8/shader_asm.h"

namespace {

constexpr D3DCOLOR kClear = 0xFF000000;
constexpr D3DCOLOR kWhite = 0xFFFFFFFF;

DWORD Bits(float value) {
    DWORD bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

class PointTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(MakeDevice(false), D3D_OK);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    }

    // Draws count points of the given format and returns how many pixels differ from the clear.
    int Covered(DWORD fvf, const void* vertices, UINT stride, UINT count = 1) {
        device_->SetVertexShader(fvf);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, kClear, 1.0f, 0);
        device_->BeginScene();
        EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_POINTLIST, count, vertices, stride), D3D_OK);
        device_->EndScene();
        EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        int covered = 0;
        for (std::uint32_t pixel : frame_.pixels) covered += (pixel & 0xFFFFFF) != (kClear & 0xFFFFFF);
        return covered;
    }
};

struct ScreenPoint {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE
    float x, y, z, rhw;
    D3DCOLOR color;
};
struct SizedPoint {  // D3DFVF_XYZRHW | D3DFVF_PSIZE | D3DFVF_DIFFUSE
    float x, y, z, rhw, size;
    D3DCOLOR color;
};

TEST_F(PointTest, CapsPromisePointSizesUpTo64AndPerVertexSizes) {
    D3DCAPS8 caps{};
    ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_GE(caps.MaxPointSize, 64.0f);
    EXPECT_NE(caps.FVFCaps & D3DFVFCAPS_PSIZE, 0u);
}

// A point of size s covers the pixel centres inside the s x s square around it; the
// vertex's own size replaces the state's; the result is clamped to POINTSIZE_MIN/MAX.
TEST_F(PointTest, PointSizeComesFromTheVertexOrTheStateAndIsClamped) {
    const ScreenPoint plain = {32.0f, 24.0f, 0.5f, 1.0f, kWhite};
    const SizedPoint sized = {32.0f, 24.0f, 0.5f, 1.0f, 4.0f, kWhite};
    constexpr DWORD kPlain = D3DFVF_XYZRHW | D3DFVF_DIFFUSE, kSized = D3DFVF_XYZRHW | D3DFVF_PSIZE | D3DFVF_DIFFUSE;
    EXPECT_EQ(Covered(kPlain, &plain, sizeof plain), 1);
    device_->SetRenderState(D3DRS_POINTSIZE, Bits(8.0f));
    EXPECT_EQ(Covered(kPlain, &plain, sizeof plain), 64);
    EXPECT_EQ(Covered(kSized, &sized, sizeof sized), 16);
    device_->SetRenderState(D3DRS_POINTSIZE_MAX, Bits(6.0f));
    EXPECT_EQ(Covered(kPlain, &plain, sizeof plain), 36);
    device_->SetRenderState(D3DRS_POINTSIZE_MIN, Bits(5.0f));
    EXPECT_EQ(Covered(kSized, &sized, sizeof sized), 25);
}

// With POINTSCALEENABLE, a transformed point's size is viewport height * size /
// sqrt(A + B d + C d^2) for its eye distance d; pretransformed points are never scaled.
TEST_F(PointTest, PointScaleDividesByTheEyeDistanceButNotForPretransformedPoints) {
    struct WorldPoint {
        float x, y, z;
        D3DCOLOR color;
    };
    D3DMATRIX projection{};  // w = z, z / w = 0.5 everywhere
    projection.m[0][0] = projection.m[1][1] = 1.0f;
    projection.m[2][2] = 0.5f;
    projection.m[2][3] = 1.0f;
    device_->SetTransform(D3DTS_PROJECTION, &projection);
    device_->SetRenderState(D3DRS_POINTSCALEENABLE, TRUE);
    device_->SetRenderState(D3DRS_POINTSCALE_A, Bits(0.0f));
    device_->SetRenderState(D3DRS_POINTSCALE_C, Bits(1.0f));
    device_->SetRenderState(D3DRS_POINTSIZE, Bits(0.5f));
    // 48 * 0.5 / 4 = 6 pixels, then 48 * 0.5 / 8 = 3.
    const WorldPoint near = {0.0f, 0.0f, 4.0f, kWhite}, far = {0.0f, 0.0f, 8.0f, kWhite};
    EXPECT_EQ(Covered(D3DFVF_XYZ | D3DFVF_DIFFUSE, &near, sizeof near), 36);
    EXPECT_EQ(Covered(D3DFVF_XYZ | D3DFVF_DIFFUSE, &far, sizeof far), 9);
    const ScreenPoint screen = {32.0f, 24.0f, 0.5f, 1.0f, kWhite};
    device_->SetRenderState(D3DRS_POINTSIZE, Bits(2.0f));
    EXPECT_EQ(Covered(D3DFVF_XYZRHW | D3DFVF_DIFFUSE, &screen, sizeof screen), 4);
}

// oPts is the size in pixels, whatever the state says.
TEST_F(PointTest, VertexProgramWritesThePointSize) {
    const char* source = "vs.1.1\nmov oPos, v0\nmov oD0, c0\nmov oPts.x, c1.x\n";
    std::vector<DWORD> tokens;
    std::string errors;
    ASSERT_EQ(TolvaneAssembleShader(source, std::strlen(source), &tokens, &errors), D3D_OK) << errors;
    const DWORD declaration[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT4), D3DVSD_END()};
    DWORD handle = 0;
    ASSERT_EQ(device_->CreateVertexShader(declaration, tokens.data(), &handle, 0), D3D_OK);
    const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f}, size[4] = {6.0f, 0.0f, 0.0f, 0.0f};
    device_->SetVertexShaderConstant(0, white, 1);
    device_->SetVertexShaderConstant(1, size, 1);
    device_->SetRenderState(D3DRS_POINTSIZE, Bits(2.0f));
    const float clip[4] = {0.0f, 0.0f, 0.5f, 1.0f};
    EXPECT_EQ(Covered(handle, clip, sizeof clip), 36);
    device_->SetVertexShader(0);
    device_->DeleteVertexShader(handle);
}

// Sprites run each stage's coordinates from (0, 0) at the point's top left to (1, 1) at
// its bottom right; without them the vertex's coordinates hold over the whole point.
TEST_F(PointTest, PointSpriteSpreadsTheTextureOverThePoint) {
    struct TexturedPoint {  // D3DFVF_XYZRHW | D3DFVF_TEX1
        float x, y, z, rhw, u, v;
    };
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    const std::uint32_t texels[2][2] = {{0xFFFF0000, 0xFF00FF00}, {0xFF0000FF, 0xFFFFFF00}};
    for (int y = 0; y < 2; ++y) std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch, texels[y], 8);
    texture->UnlockRect(0);
    device_->SetTexture(0, texture);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device_->SetRenderState(D3DRS_POINTSIZE, Bits(8.0f));
    const TexturedPoint point = {32.0f, 24.0f, 0.5f, 1.0f, 0.75f, 0.75f};
    constexpr DWORD kFvf = D3DFVF_XYZRHW | D3DFVF_TEX1;

    EXPECT_EQ(Covered(kFvf, &point, sizeof point), 64);
    EXPECT_EQ(frame_.At(28, 20), 0xFFFFFF00u);
    EXPECT_EQ(frame_.At(35, 27), 0xFFFFFF00u);

    device_->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    EXPECT_EQ(Covered(kFvf, &point, sizeof point), 64);
    EXPECT_EQ(frame_.At(28, 20), texels[0][0]);
    EXPECT_EQ(frame_.At(35, 20), texels[0][1]);
    EXPECT_EQ(frame_.At(28, 27), texels[1][0]);
    EXPECT_EQ(frame_.At(35, 27), texels[1][1]);
    device_->SetTexture(0, nullptr);
    texture->Release();
}

}  // namespace
