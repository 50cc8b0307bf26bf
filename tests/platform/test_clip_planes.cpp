// User clip planes: given in world space, enabled by D3DRS_CLIPPLANEENABLE, clipping what
// the vertex stage transforms.
#include "device_fixture.h"

namespace {

struct Vertex {  // D3DFVF_XYZ | D3DFVF_DIFFUSE
    float x, y, z;
    D3DCOLOR color;
};

class ClipPlaneTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(MakeDevice(false), D3D_OK);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    }

    // Draws a quad over object x in [x0, x0 + 2], y in [-1, 1]; returns the lit columns of
    // the middle row, checking that they are the leftmost ones.
    int LitColumns(float x0) {
        const Vertex quad[4] = {{x0, -1, 0.5f, 0xFFFFFFFF}, {x0 + 2, -1, 0.5f, 0xFFFFFFFF},
                                {x0, 1, 0.5f, 0xFFFFFFFF}, {x0 + 2, 1, 0.5f, 0xFFFFFFFF}};
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        device_->BeginScene();
        EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
        device_->EndScene();
        EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        int lit = 0;
        for (int x = 0; x < kWidth; ++x) {
            if ((frame_.At(x, kHeight / 2) & 0xFFFFFF) == 0) continue;
            EXPECT_EQ(x, lit) << "not a run from the left";
            ++lit;
        }
        return lit;
    }
};

TEST_F(ClipPlaneTest, PlanesClipInWorldSpaceWhenEnabled) {
    D3DCAPS8 caps{};
    device_->GetDeviceCaps(&caps);
    ASSERT_EQ(caps.MaxUserClipPlanes, 6u);
    // The object is moved right by the world matrix and left by the view: world x = 0 is
    // clip x = -0.25, pixel column 24 of 64.
    const D3DMATRIX world = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.5f, 0, 0, 1}}};
    const D3DMATRIX view = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -0.25f, 0, 0, 1}}};
    device_->SetTransform(D3DTS_WORLD, &world);
    device_->SetTransform(D3DTS_VIEW, &view);
    const float keepLeft[4] = {-1, 0, 0, 0};  // world x <= 0
    const float everything[4] = {0, 0, 0, -1};  // keeps nothing, but is not enabled
    ASSERT_EQ(device_->SetClipPlane(2, keepLeft), D3D_OK);
    ASSERT_EQ(device_->SetClipPlane(5, everything), D3D_OK);
    float got[4] = {};
    ASSERT_EQ(device_->GetClipPlane(2, got), D3D_OK);
    EXPECT_EQ(got[0], -1.0f);

    EXPECT_EQ(LitColumns(-1.25f), kWidth);  // no plane enabled
    device_->SetRenderState(D3DRS_CLIPPLANEENABLE, D3DCLIPPLANE2);
    EXPECT_EQ(LitColumns(-1.25f), 24);
    device_->SetRenderState(D3DRS_CLIPPLANEENABLE, D3DCLIPPLANE2 | D3DCLIPPLANE5);
    EXPECT_EQ(LitColumns(-1.25f), 0);

    EXPECT_EQ(device_->SetClipPlane(6, keepLeft), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetClipPlane(0, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetClipPlane(6, got), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetClipPlane(0, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(ClipPlaneTest, StateBlocksHoldThePlanes) {
    const float a[4] = {1, 2, 3, 4}, b[4] = {5, 6, 7, 8};
    device_->SetClipPlane(1, a);
    DWORD all = 0, recorded = 0;
    ASSERT_EQ(device_->CreateStateBlock(D3DSBT_ALL, &all), D3D_OK);
    device_->BeginStateBlock();
    device_->SetClipPlane(1, b);
    device_->EndStateBlock(&recorded);
    float got[4] = {};
    device_->GetClipPlane(1, got);
    EXPECT_EQ(got[0], 1.0f);  // recording leaves the device alone
    device_->ApplyStateBlock(recorded);
    device_->GetClipPlane(1, got);
    EXPECT_EQ(got[3], 8.0f);
    device_->ApplyStateBlock(all);
    device_->GetClipPlane(1, got);
    EXPECT_EQ(got[3], 4.0f);
}

}  // namespace
