// Vertex shaders through the device: programs and declarations drawing the same pixels as
// the fixed-function pipeline, several streams, the constant registers, the handles and
// their getters, and malformed token streams refused.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "device_fixture.h"
#include "platform/d3d8/shader_asm.h"

namespace {

std::vector<DWORD> Assemble(const std::string& text) {
    std::vector<DWORD> tokens;
    std::string errors;
    EXPECT_EQ(TolvaneAssembleShader(text.data(), text.size(), &tokens, &errors), D3D_OK) << errors;
    return tokens;
}

struct Vertex {  // D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_SPECULAR
    float x, y, z;
    D3DCOLOR diffuse, specular;
};
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_SPECULAR;

// Two triangles of different colours over part of the target, in [-1, 1].
constexpr Vertex kVertices[6] = {
    {-0.9f, -0.8f, 0.5f, 0xFFFF0000, 0xFF000040}, {0.7f, -0.6f, 0.5f, 0xFF00FF00, 0xFF004000},
    {-0.5f, 0.9f, 0.5f, 0xFF0000FF, 0xFF400000}, {0.1f, 0.2f, 0.25f, 0x80FFFF00, 0xFF101010},
    {0.95f, 0.3f, 0.25f, 0xFF00FFFF, 0xFF000000}, {0.6f, 0.95f, 0.25f, 0xFFFF00FF, 0xFF202020},
};

class VertexShaderTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(MakeDevice(false), D3D_OK);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    }

    IDirect3DVertexBuffer8* Buffer(const void* data, UINT bytes) {
        IDirect3DVertexBuffer8* buffer = nullptr;
        EXPECT_EQ(device_->CreateVertexBuffer(bytes, 0, 0, D3DPOOL_MANAGED, &buffer), D3D_OK);
        BYTE* p = nullptr;
        buffer->Lock(0, 0, &p, 0);
        std::memcpy(p, data, bytes);
        buffer->Unlock();
        return buffer;
    }

    template <class Draws>
    std::vector<std::uint32_t> Frame(Draws draws) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF203040, 1.0f, 0);
        device_->BeginScene();
        draws();
        device_->EndScene();
        EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        return frame_.pixels;
    }

    std::vector<std::uint32_t> FixedFunctionFrame() {
        device_->SetVertexShader(kFvf);
        return Frame([&] { EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, kVertices, sizeof(Vertex)), D3D_OK); });
    }

    static int Drawn(const std::vector<std::uint32_t>& pixels) {
        int drawn = 0;
        for (std::uint32_t p : pixels) drawn += (p & 0xFFFFFF) != 0x203040;
        return drawn;
    }
};

TEST_F(VertexShaderTest, ProgramDrawMatchesTheFixedFunctionPipeline) {
    // A transform whose products are exact, so that both pipelines place the vertices alike.
    D3DMATRIX world{};
    world._11 = 0.5f, world._22 = 0.75f, world._33 = 1.0f, world._44 = 1.0f;
    world._41 = 0.25f, world._42 = -0.125f;
    device_->SetTransform(D3DTS_WORLD, &world);
    const std::vector<std::uint32_t> expected = FixedFunctionFrame();
    ASSERT_GT(Drawn(expected), 200);

    const DWORD declaration[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_REG(5, D3DVSDT_D3DCOLOR),
                                 D3DVSD_REG(6, D3DVSDT_D3DCOLOR), D3DVSD_END()};
    const std::vector<DWORD> function = Assemble("vs.1.1\nm4x4 oPos, v0, c0\nmov oD0, v5\nmov oD1, v6\n");
    DWORD handle = 0;
    ASSERT_EQ(device_->CreateVertexShader(declaration, function.data(), &handle, 0), D3D_OK);
    // c0..c3: the rows of the transposed matrix (the identity view and projection).
    const float rows[16] = {0.5f, 0, 0, 0.25f, 0, 0.75f, 0, -0.125f, 0, 0, 1, 0, 0, 0, 0, 1};
    ASSERT_EQ(device_->SetVertexShaderConstant(0, rows, 4), D3D_OK);
    ASSERT_EQ(device_->SetVertexShader(handle), D3D_OK);
    const std::vector<std::uint32_t> program =
        Frame([&] { EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, kVertices, sizeof(Vertex)), D3D_OK); });
    EXPECT_EQ(program, expected);

    // The specular colour comes through oD1 when it is added.
    device_->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    const std::vector<std::uint32_t> specular =
        Frame([&] { EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, kVertices, sizeof(Vertex)), D3D_OK); });
    EXPECT_NE(specular, expected);
    EXPECT_EQ(specular, FixedFunctionFrame());
}

TEST_F(VertexShaderTest, ThreeStreamsDrawAsOneStreamOfTheSameVertices) {
    device_->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    const std::vector<std::uint32_t> expected = FixedFunctionFrame();
    ASSERT_GT(Drawn(expected), 200);

    // Positions in stream 0; diffuse colours in stream 3 behind a skipped DWORD; specular
    // colours in stream 7.
    std::vector<float> positions;
    std::vector<DWORD> diffuse, specular;
    for (const Vertex& v : kVertices) {
        positions.insert(positions.end(), {v.x, v.y, v.z});
        diffuse.insert(diffuse.end(), {0xDEADBEEF, v.diffuse});
        specular.push_back(v.specular);
    }
    IDirect3DVertexBuffer8* streams[3] = {Buffer(positions.data(), static_cast<UINT>(positions.size() * 4)),
                                          Buffer(diffuse.data(), static_cast<UINT>(diffuse.size() * 4)),
                                          Buffer(specular.data(), static_cast<UINT>(specular.size() * 4))};
    ASSERT_EQ(device_->SetStreamSource(0, streams[0], 12), D3D_OK);
    ASSERT_EQ(device_->SetStreamSource(3, streams[1], 8), D3D_OK);
    ASSERT_EQ(device_->SetStreamSource(7, streams[2], 4), D3D_OK);
    const DWORD declaration[] = {D3DVSD_STREAM(0),          D3DVSD_REG(D3DVSDE_POSITION, D3DVSDT_FLOAT3),
                                 D3DVSD_STREAM(3),          D3DVSD_SKIP(1),
                                 D3DVSD_REG(D3DVSDE_DIFFUSE, D3DVSDT_D3DCOLOR), D3DVSD_STREAM(7),
                                 D3DVSD_REG(D3DVSDE_SPECULAR, D3DVSDT_D3DCOLOR), D3DVSD_END()};
    DWORD fixed = 0;
    ASSERT_EQ(device_->CreateVertexShader(declaration, nullptr, &fixed, 0), D3D_OK);
    ASSERT_EQ(device_->SetVertexShader(fixed), D3D_OK);
    EXPECT_EQ(Frame([&] { EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3D_OK); }), expected);

    // The same streams through a program, drawn with indices.
    const std::vector<DWORD> function = Assemble("vs.1.1\nmov oPos, v0\nmov oD0, v5\nmov oD1, v6\n");
    DWORD programmed = 0;
    ASSERT_EQ(device_->CreateVertexShader(declaration, function.data(), &programmed, 0), D3D_OK);
    ASSERT_EQ(device_->SetVertexShader(programmed), D3D_OK);
    IDirect3DIndexBuffer8* indices = nullptr;
    ASSERT_EQ(device_->CreateIndexBuffer(12, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indices), D3D_OK);
    BYTE* p = nullptr;
    indices->Lock(0, 0, &p, 0);
    const WORD order[6] = {0, 1, 2, 3, 4, 5};
    std::memcpy(p, order, sizeof order);
    indices->Unlock();
    device_->SetIndices(indices, 0);
    EXPECT_EQ(Frame([&] { EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 6, 0, 2), D3D_OK); }),
              expected);

    // A declared stream left unset, or too short for the vertices, draws nothing.
    device_->SetStreamSource(7, nullptr, 0);
    device_->BeginScene();
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3DERR_INVALIDCALL);
    device_->SetStreamSource(7, streams[2], 4);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 2), D3DERR_INVALIDCALL);
    device_->EndScene();
    device_->SetIndices(nullptr, 0);
    for (UINT s : {0u, 3u, 7u}) device_->SetStreamSource(s, nullptr, 0);
    indices->Release();
    for (auto* buffer : streams) EXPECT_EQ(buffer->Release(), 0u);
}

TEST_F(VertexShaderTest, EveryElementTypeIsReadIntoFourFloats) {
    struct Element {
        float x, y;           // FLOAT2: z and w read as 0 and 1
        BYTE bytes[4];        // UBYTE4
        std::int16_t s4[4];   // SHORT4
        std::int16_t s2[2];   // SHORT2: z and w read as 0 and 1
        D3DCOLOR color;       // D3DCOLOR: red lands in x
        float f1;             // FLOAT1: read as (f, 0, 0, 1)
    };
    Element v[3] = {};
    const float corners[3][2] = {{-2.0f, -2.0f}, {4.0f, -2.0f}, {-2.0f, 4.0f}};
    for (int i = 0; i < 3; ++i) {
        v[i] = {corners[i][0], corners[i][1], {0, 255, 0, 255}, {255, -255, 0, 255}, {0, 255}, 0x00FF0000u, 1.0f};
    }
    const DWORD declaration[] = {D3DVSD_STREAM(0),
                                 D3DVSD_REG(0, D3DVSDT_FLOAT2),
                                 D3DVSD_REG(1, D3DVSDT_UBYTE4),
                                 D3DVSD_REG(2, D3DVSDT_SHORT4),
                                 D3DVSD_REG(3, D3DVSDT_SHORT2),
                                 D3DVSD_REG(4, D3DVSDT_D3DCOLOR),
                                 D3DVSD_REG(5, D3DVSDT_FLOAT1),
                                 D3DVSD_END()};
    const float scale[4] = {1.0f / 255, 1.0f / 255, 1.0f / 255, 1.0f / 255};
    ASSERT_EQ(device_->SetVertexShaderConstant(0, scale, 1), D3D_OK);
    const struct {
        const char* body;
        std::uint32_t color;
    } cases[] = {
        {"mul oD0, v1, c0", 0x00FF00},             // (0, 255, 0, 255) / 255
        {"mul oD0, v2, c0", 0xFF0000},             // (255, -255 saturated to 0, 0, 255) / 255
        {"mul oD0, v3, c0\nmov oD0.z, v3.w", 0x00FFFF},  // (0, 255, 0, 1): its w, 1, moved to blue
        {"mov oD0, v4", 0xFF0000},
        {"mov oD0, v5.yzwx", 0x0000FF},            // (0, 0, 1, f)
        {"mov oD0, v0.zzwz", 0x0000FF},            // (0, 0, 1, 0)
    };
    for (const auto& c : cases) {
        const std::vector<DWORD> function = Assemble(std::string("vs.1.1\nmov oPos, v0\n") + c.body + "\n");
        DWORD handle = 0;
        ASSERT_EQ(device_->CreateVertexShader(declaration, function.data(), &handle, 0), D3D_OK) << c.body;
        ASSERT_EQ(device_->SetVertexShader(handle), D3D_OK);
        Frame([&] { EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(Element)), D3D_OK); });
        EXPECT_EQ(frame_.At(kWidth / 2, kHeight / 2) & 0xFFFFFF, c.color) << c.body;
        device_->SetVertexShader(0);
        EXPECT_EQ(device_->DeleteVertexShader(handle), D3D_OK);
    }
}

TEST_F(VertexShaderTest, ClipPlanesOfAProgramDrawAreInClipSpace) {
    // The view would move a world-space plane; a program's draw takes the plane as it is.
    D3DMATRIX view{};
    view._11 = view._22 = view._33 = view._44 = 1.0f;
    view._41 = 5.0f;
    device_->SetTransform(D3DTS_VIEW, &view);
    const float plane[4] = {1.0f, 0.0f, 0.0f, 0.0f};  // keeps x >= 0
    ASSERT_EQ(device_->SetClipPlane(0, plane), D3D_OK);
    device_->SetRenderState(D3DRS_CLIPPLANEENABLE, D3DCLIPPLANE0);
    const DWORD declaration[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_REG(5, D3DVSDT_D3DCOLOR),
                                 D3DVSD_END()};
    const std::vector<DWORD> function = Assemble("vs.1.1\nmov oPos, v0\nmov oD0, v5\n");
    DWORD handle = 0;
    ASSERT_EQ(device_->CreateVertexShader(declaration, function.data(), &handle, 0), D3D_OK);
    ASSERT_EQ(device_->SetVertexShader(handle), D3D_OK);
    const Vertex all[3] = {{-3.0f, -3.0f, 0.5f, 0xFFFFFFFF, 0}, {5.0f, -3.0f, 0.5f, 0xFFFFFFFF, 0},
                           {-3.0f, 5.0f, 0.5f, 0xFFFFFFFF, 0}};
    Frame([&] { EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, all, sizeof(Vertex)), D3D_OK); });
    EXPECT_EQ(frame_.At(kWidth / 4, kHeight / 2) & 0xFFFFFF, 0x203040u);
    EXPECT_EQ(frame_.At(3 * kWidth / 4, kHeight / 2) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(VertexShaderTest, ConstantsAreStoredInRangeAndDeclarationsLoadThemOnSet) {
    std::vector<float> values(96 * 4);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<float>(i) * 0.5f;
    ASSERT_EQ(device_->SetVertexShaderConstant(0, values.data(), 96), D3D_OK);
    std::vector<float> back(96 * 4, -1.0f);
    ASSERT_EQ(device_->GetVertexShaderConstant(0, back.data(), 96), D3D_OK);
    EXPECT_EQ(back, values);
    float four[8] = {};
    EXPECT_EQ(device_->SetVertexShaderConstant(95, four, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetVertexShaderConstant(96, four, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetVertexShaderConstant(0, nullptr, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetVertexShaderConstant(94, four, 3), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetVertexShaderConstant(0xFFFFFFFFu, four, 2), D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->GetVertexShaderConstant(95, four, 1), D3D_OK);
    EXPECT_EQ(four[3], 95 * 4 * 0.5f + 1.5f);

    const float load[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    DWORD loadBits[4];
    std::memcpy(loadBits, load, sizeof load);
    const DWORD declaration[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_CONST(10, 1),
                                 loadBits[0], loadBits[1], loadBits[2], loadBits[3], D3DVSD_END()};
    DWORD handle = 0;
    ASSERT_EQ(device_->CreateVertexShader(declaration, nullptr, &handle, 0), D3D_OK);
    ASSERT_EQ(device_->GetVertexShaderConstant(10, four, 1), D3D_OK);
    EXPECT_EQ(four[0], 40 * 0.5f);  // not before the shader is set
    ASSERT_EQ(device_->SetVertexShader(handle), D3D_OK);
    ASSERT_EQ(device_->GetVertexShaderConstant(10, four, 1), D3D_OK);
    EXPECT_EQ(std::memcmp(four, load, sizeof load), 0);
}

TEST_F(VertexShaderTest, HandlesAreOddAndTheGettersFollowTheSizeProtocol) {
    const DWORD declaration[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_REG(1, D3DVSDT_UBYTE4),
                                 D3DVSD_END()};
    const std::vector<DWORD> function = Assemble("vs.1.1\nmov r0, v1\nadd oPos, v0, r0\n");
    DWORD first = 0, second = 0;
    ASSERT_EQ(device_->CreateVertexShader(declaration, function.data(), &first, 0), D3D_OK);
    ASSERT_EQ(device_->CreateVertexShader(declaration, nullptr, &second, 0), D3DERR_INVALIDCALL)
        << "UBYTE4 is no fixed-function input in v1 (blend weights)";
    const DWORD fixedDeclaration[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_END()};
    ASSERT_EQ(device_->CreateVertexShader(fixedDeclaration, nullptr, &second, 0), D3D_OK);
    // Bit 0 (D3DFVF_RESERVED0) is never set in a vertex format: it marks a handle.
    EXPECT_EQ(first & 1u, 1u);
    EXPECT_EQ(second & 1u, 1u);
    EXPECT_NE(first, second);

    ASSERT_EQ(device_->SetVertexShader(first), D3D_OK);
    DWORD current = 0;
    ASSERT_EQ(device_->GetVertexShader(&current), D3D_OK);
    EXPECT_EQ(current, first);

    DWORD size = 0;
    ASSERT_EQ(device_->GetVertexShaderDeclaration(first, nullptr, &size), D3D_OK);
    EXPECT_EQ(size, sizeof declaration);
    DWORD copy[32] = {};  // room for the declaration and the function alike
    DWORD small = size - 4;
    EXPECT_EQ(device_->GetVertexShaderDeclaration(first, copy, &small), D3DERR_MOREDATA);
    EXPECT_EQ(small, size);
    ASSERT_EQ(device_->GetVertexShaderDeclaration(first, copy, &size), D3D_OK);
    EXPECT_EQ(std::memcmp(copy, declaration, sizeof declaration), 0);
    ASSERT_EQ(device_->GetVertexShaderFunction(first, nullptr, &size), D3D_OK);
    EXPECT_EQ(size, function.size() * 4);
    ASSERT_EQ(device_->GetVertexShaderFunction(first, copy, &size), D3D_OK);
    EXPECT_EQ(std::memcmp(copy, function.data(), size), 0);
    ASSERT_EQ(device_->GetVertexShaderFunction(second, nullptr, &size), D3D_OK);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(device_->GetVertexShaderFunction(first, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetVertexShaderDeclaration(first + 2 * 100, nullptr, &size), D3DERR_INVALIDCALL);

    // Deleting the current shader leaves none set; its handle names nothing after.
    ASSERT_EQ(device_->DeleteVertexShader(first), D3D_OK);
    ASSERT_EQ(device_->GetVertexShader(&current), D3D_OK);
    EXPECT_EQ(current, 0u);
    EXPECT_EQ(device_->SetVertexShader(first), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DeleteVertexShader(first), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetVertexShaderFunction(first, nullptr, &size), D3DERR_INVALIDCALL);
}

TEST_F(VertexShaderTest, MalformedTokenStreamsAreRefused) {
    const DWORD declaration[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_END()};
    const std::vector<std::vector<DWORD>> functions = {
        {0xFFFF0101, 0x0000FFFF},                          // a pixel shader's version
        {0xFFFE0200, 0x0000FFFF},                          // vs.2.0
        {0xFFFE0101, 0x00000077, 0x800F0000, 0x0000FFFF},  // an unknown opcode
        {0xFFFE0101, 0x00000001, 0x800F0000, 0x0000FFFF},  // mov without its source
        {0xFFFE0101, 0x00000001, 0x800F0000, 0x90E40000, 0x90E40000, 0x0000FFFF},  // a stray operand
        Assemble("vs.1.1\nmov oPos, v3\n"),                // reads a register the declaration leaves out
    };
    for (std::size_t i = 0; i < functions.size(); ++i) {
        DWORD handle = 5;
        EXPECT_EQ(device_->CreateVertexShader(declaration, functions[i].data(), &handle, 0), D3DERR_INVALIDCALL)
            << "function " << i;
        EXPECT_EQ(handle, 0u);
    }
    const std::vector<DWORD> valid = Assemble("vs.1.1\nmov oPos, v0\n");
    const std::vector<std::vector<DWORD>> declarations = {
        {D3DVSD_STREAM(0), D3DVSD_REG(0, 9), D3DVSD_END()},                  // an unknown type
        {D3DVSD_STREAM(16), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_END()},   // stream 16
        {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_REG(0, D3DVSDT_FLOAT2), D3DVSD_END()},
        {D3DVSD_STREAM(0), D3DVSD_CONST(95, 2), 0, 0, 0, 0, 0, 0, 0, 0, D3DVSD_END()},  // past c95
    };
    for (std::size_t i = 0; i < declarations.size(); ++i) {
        DWORD handle = 5;
        EXPECT_EQ(device_->CreateVertexShader(declarations[i].data(), valid.data(), &handle, 0), D3DERR_INVALIDCALL)
            << "declaration " << i;
    }
    DWORD handle = 0;
    EXPECT_EQ(device_->CreateVertexShader(nullptr, valid.data(), &handle, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateVertexShader(declaration, valid.data(), nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetVertexShader(0x7FFFFFFFu), D3DERR_INVALIDCALL);  // odd: a handle, never created
    EXPECT_EQ(device_->SetStreamSource(16, nullptr, 0), D3DERR_INVALIDCALL);
}

}  // namespace
