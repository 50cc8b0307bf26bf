// ProcessVertices: the draws' vertex processing written into a buffer of screen-space
// vertices, what D3DPV_DONOTCOPYDATA leaves alone, and the arguments it refuses.
#include <cstring>

#include "device_fixture.h"

namespace {

struct Source {  // D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1
    float x, y, z;
    float nx, ny, nz;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD kSourceFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct Output {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1
    float x, y, z, rhw;
    D3DCOLOR diffuse, specular;
    float u, v;
};
constexpr DWORD kOutputFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;

class ProcessVerticesTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(MakeDevice(false), D3D_OK);
        const Source vertices[] = {
            {1.0f, 1.0f, 2.0f, 0, 0, -1, 0x80102030, 0.25f, 0.5f},  // w = 2: the middle of the top right quarter
            {10.0f, 0.0f, 1.0f, 0, 0, -1, 0xFF405060, 1.0f, 2.0f},  // far outside the view
        };
        ASSERT_EQ(device_->CreateVertexBuffer(sizeof vertices, 0, kSourceFvf, D3DPOOL_MANAGED, &source_), D3D_OK);
        Write(source_, vertices, sizeof vertices);
        ASSERT_EQ(device_->CreateVertexBuffer(3 * sizeof(Output), 0, kOutputFvf, D3DPOOL_SYSTEMMEM, &dest_), D3D_OK);
        device_->SetStreamSource(0, source_, sizeof(Source));
        device_->SetVertexShader(kSourceFvf);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        // A perspective projection: w is the view z.
        const D3DMATRIX projection = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0}}};
        device_->SetTransform(D3DTS_PROJECTION, &projection);
    }

    void TearDown() override {
        if (source_ != nullptr) source_->Release();
        if (dest_ != nullptr) dest_->Release();
        DeviceTest::TearDown();
    }

    static void Write(IDirect3DVertexBuffer8* buffer, const void* data, UINT size) {
        BYTE* bytes = nullptr;
        ASSERT_EQ(buffer->Lock(0, size, &bytes, 0), D3D_OK);
        std::memcpy(bytes, data, size);
        buffer->Unlock();
    }

    // Destination vertex i, after the destination was filled with a marker and processed.
    Output Process(UINT first, UINT dest, UINT count, DWORD flags, UINT i) {
        const Output marker{-1, -1, -1, -1, 0xDEADBEEF, 0xDEADBEEF, -7, -7};
        const Output markers[3] = {marker, marker, marker};
        Write(dest_, markers, sizeof markers);
        EXPECT_EQ(device_->ProcessVertices(first, dest, count, dest_, flags), D3D_OK);
        BYTE* bytes = nullptr;
        EXPECT_EQ(dest_->Lock(0, 0, &bytes, D3DLOCK_READONLY), D3D_OK);
        Output out{};
        std::memcpy(&out, bytes + i * sizeof(Output), sizeof out);
        dest_->Unlock();
        return out;
    }

    IDirect3DVertexBuffer8* source_ = nullptr;
    IDirect3DVertexBuffer8* dest_ = nullptr;
};

TEST_F(ProcessVerticesTest, TransformsThroughTheViewportAndCopiesTheRest) {
    EXPECT_EQ(Process(0, 1, 2, 0, 0).diffuse, 0xDEADBEEFu);  // before destIndex: untouched
    // (0.5, 0.5, 1) in clip space over a 64x48 viewport with depth 0..1.
    Output out = Process(0, 1, 2, 0, 1);
    EXPECT_FLOAT_EQ(out.x, 48.0f);
    EXPECT_FLOAT_EQ(out.y, 12.0f);
    EXPECT_FLOAT_EQ(out.z, 1.0f);
    EXPECT_FLOAT_EQ(out.rhw, 0.5f);
    EXPECT_EQ(out.diffuse, 0x80102030u);
    EXPECT_EQ(out.specular, 0xFF000000u);  // none in the source: black, no fog
    EXPECT_FLOAT_EQ(out.u, 0.25f);
    EXPECT_FLOAT_EQ(out.v, 0.5f);
    // Outside the view volume: still in screen space, beyond the viewport.
    out = Process(0, 1, 2, 0, 2);
    EXPECT_FLOAT_EQ(out.x, 32.0f * 11.0f);
    EXPECT_FLOAT_EQ(out.rhw, 1.0f);
    EXPECT_EQ(out.diffuse, 0xFF405060u);
    // A viewport moves and scales the result.
    const D3DVIEWPORT8 viewport{16, 8, 32, 24, 0.5f, 1.0f};
    ASSERT_EQ(device_->SetViewport(&viewport), D3D_OK);
    out = Process(0, 0, 1, 0, 0);
    EXPECT_FLOAT_EQ(out.x, 16.0f + 24.0f);
    EXPECT_FLOAT_EQ(out.y, 8.0f + 6.0f);
    EXPECT_FLOAT_EQ(out.z, 1.0f);
}

TEST_F(ProcessVerticesTest, DoNotCopyDataWritesOnlyWhatProcessingMakes) {
    // Lighting off, no texture transform: only the position is written.
    Output out = Process(0, 0, 1, D3DPV_DONOTCOPYDATA, 0);
    EXPECT_FLOAT_EQ(out.rhw, 0.5f);
    EXPECT_EQ(out.diffuse, 0xDEADBEEFu);
    EXPECT_EQ(out.specular, 0xDEADBEEFu);
    EXPECT_FLOAT_EQ(out.u, -7.0f);

    // Lighting makes the colours (here ambient only), a texture transform the coordinates.
    device_->SetRenderState(D3DRS_LIGHTING, TRUE);
    device_->SetRenderState(D3DRS_AMBIENT, 0xFF404040);
    device_->SetRenderState(D3DRS_COLORVERTEX, FALSE);
    D3DMATERIAL8 material{};
    material.Ambient = {1.0f, 0.5f, 1.0f, 1.0f};
    material.Diffuse = {0.0f, 0.0f, 0.0f, 1.0f};
    device_->SetMaterial(&material);
    const D3DMATRIX doubleU = {{{2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
    device_->SetTransform(D3DTS_TEXTURE0, &doubleU);
    device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    out = Process(0, 0, 1, D3DPV_DONOTCOPYDATA, 0);
    EXPECT_EQ(out.diffuse, 0xFF402040u);
    EXPECT_EQ(out.specular & 0xFFFFFFu, 0u);
    EXPECT_FLOAT_EQ(out.u, 0.5f);
    EXPECT_FLOAT_EQ(out.v, 0.5f);
}

TEST_F(ProcessVerticesTest, RefusesMissingStreamsWrongFormatsAndRanges) {
    EXPECT_EQ(device_->ProcessVertices(0, 0, 2, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->ProcessVertices(1, 0, 2, dest_, 0), D3DERR_INVALIDCALL);  // past the source
    EXPECT_EQ(device_->ProcessVertices(0, 2, 2, dest_, 0), D3DERR_INVALIDCALL);  // past the destination
    EXPECT_EQ(device_->ProcessVertices(0, 0, 2, dest_, 0x10), D3DERR_INVALIDCALL);
    IDirect3DVertexBuffer8* untransformed = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(256, 0, kSourceFvf, D3DPOOL_SYSTEMMEM, &untransformed), D3D_OK);
    EXPECT_EQ(device_->ProcessVertices(0, 0, 2, untransformed, 0), D3DERR_INVALIDCALL);
    IDirect3DVertexBuffer8* formatless = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(256, 0, 0, D3DPOOL_SYSTEMMEM, &formatless), D3D_OK);
    EXPECT_EQ(device_->ProcessVertices(0, 0, 2, formatless, 0), D3DERR_INVALIDCALL);
    device_->SetVertexShader(kOutputFvf);  // a source already in screen space
    EXPECT_EQ(device_->ProcessVertices(0, 0, 1, dest_, 0), D3DERR_INVALIDCALL);
    device_->SetVertexShader(kSourceFvf);
    device_->SetStreamSource(0, nullptr, 0);
    EXPECT_EQ(device_->ProcessVertices(0, 0, 1, dest_, 0), D3DERR_INVALIDCALL);
    untransformed->Release();
    formatless->Release();
}

}  // namespace
