// Pixel shaders through the device: creation, constants and the function copy, and draws
// whose pixels are checked against the fixed-function stages or values worked out by hand.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d8/shader_asm.h"
#include "tests/platform/device_fixture.h"

namespace {

struct Vertex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD kFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr D3DCOLOR kClear = 0xFF203040;

std::vector<DWORD> Assemble(const char* text) {
    std::vector<DWORD> tokens;
    std::string errors;
    EXPECT_EQ(TolvaneAssembleShader(text, std::strlen(text), &tokens, &errors), D3D_OK) << errors;
    return tokens;
}

class PixelShaderTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(MakeDevice(false), D3D_OK);
        device_->SetVertexShader(kFvf);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    }
    void TearDown() override {
        for (IDirect3DTexture8* t : textures_) t->Release();
        DeviceTest::TearDown();
    }
    DWORD Create(const char* text) {
        const std::vector<DWORD> tokens = Assemble(text);
        DWORD handle = 0;
        EXPECT_EQ(device_->CreatePixelShader(tokens.data(), &handle), D3D_OK) << text;
        return handle;
    }
    // A texture of width x height texels given row by row, bound to stage.
    void Texture(DWORD stage, int width, int height, const std::vector<std::uint32_t>& texels) {
        IDirect3DTexture8* texture = nullptr;
        ASSERT_EQ(device_->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (int y = 0; y < height; ++y)
            std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch, &texels[y * width], width * 4);
        texture->UnlockRect(0);
        device_->SetTexture(stage, texture);
        textures_.push_back(texture);
    }
    // A texture of a signed format, each texel's raw bits (the low `bytes` bytes), bound to stage.
    void SignedTexture(DWORD stage, D3DFORMAT format, int bytes, int width, const std::vector<std::uint32_t>& raw) {
        IDirect3DTexture8* texture = nullptr;
        ASSERT_EQ(device_->CreateTexture(width, 1, 1, 0, format, D3DPOOL_MANAGED, &texture), D3D_OK) << format;
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (int x = 0; x < width; ++x) std::memcpy(static_cast<BYTE*>(locked.pBits) + x * bytes, &raw[x], bytes);
        texture->UnlockRect(0);
        device_->SetTexture(stage, texture);
        textures_.push_back(texture);
    }
    void SetFloat(DWORD stage, D3DTEXTURESTAGESTATETYPE type, float value) {
        DWORD bits;
        std::memcpy(&bits, &value, 4);
        device_->SetTextureStageState(stage, type, bits);
    }
    // A quad over the whole target with u = x / 64 and v = y / 64 at pixel centres, and
    // the given corner colours; the frame's pixels.
    std::vector<std::uint32_t> Draw(D3DCOLOR c0 = 0xFFFFFFFF, D3DCOLOR c1 = 0xFFFFFFFF, D3DCOLOR c2 = 0xFFFFFFFF,
                                    D3DCOLOR c3 = 0xFFFFFFFF) {
        const float w = kWidth, h = kHeight;
        const Vertex quad[4] = {{0, 0, 0.5f, 1, c0, 0, 0},
                                {w, 0, 0.5f, 1, c1, w / 64, 0},
                                {0, h, 0.5f, 1, c2, 0, h / 64},
                                {w, h, 0.5f, 1, c3, w / 64, h / 64}};
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, kClear, 1.0f, 0);
        device_->BeginScene();
        EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
        device_->EndScene();
        EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        return frame_.pixels;
    }
    std::uint32_t At(const std::vector<std::uint32_t>& pixels, int x, int y) { return pixels[y * kWidth + x] & 0xFFFFFF; }

    std::vector<IDirect3DTexture8*> textures_;
};

TEST_F(PixelShaderTest, CapsAnswerPs14WithRangeEight) {
    D3DCAPS8 caps{};
    ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(caps.PixelShaderVersion, D3DPS_VERSION(1, 4));
    EXPECT_EQ(caps.MaxPixelShaderValue, 8.0f);
}

TEST_F(PixelShaderTest, HandlesConstantsAndFunctionFollowTheRules) {
    const std::vector<DWORD> tokens = Assemble("ps.1.1\ntex t0\nmul r0, t0, v0\n");
    DWORD handle = 0;
    EXPECT_EQ(device_->CreatePixelShader(tokens.data(), nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreatePixelShader(nullptr, &handle), D3DERR_INVALIDCALL);
    const DWORD vertexProgram[] = {0xFFFE0101, 0x0000FFFF};
    EXPECT_EQ(device_->CreatePixelShader(vertexProgram, &handle), D3DERR_INVALIDCALL);
    EXPECT_EQ(handle, 0u);
    ASSERT_EQ(device_->CreatePixelShader(tokens.data(), &handle), D3D_OK);
    EXPECT_NE(handle, 0u);

    // The function: its size first, then a copy; too small a buffer is refused.
    DWORD size = 0;
    ASSERT_EQ(device_->GetPixelShaderFunction(handle, nullptr, &size), D3D_OK);
    EXPECT_EQ(size, tokens.size() * sizeof(DWORD));
    std::vector<DWORD> copy(tokens.size());
    DWORD small = size - 4;
    EXPECT_EQ(device_->GetPixelShaderFunction(handle, copy.data(), &small), D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->GetPixelShaderFunction(handle, copy.data(), &size), D3D_OK);
    EXPECT_EQ(copy, tokens);
    EXPECT_EQ(device_->GetPixelShaderFunction(handle + 1, nullptr, &size), D3DERR_INVALIDCALL);

    DWORD current = 7;
    EXPECT_EQ(device_->SetPixelShader(handle + 1), D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->SetPixelShader(handle), D3D_OK);
    ASSERT_EQ(device_->GetPixelShader(&current), D3D_OK);
    EXPECT_EQ(current, handle);
    // Deleting the shader in use returns to the fixed-function stage.
    ASSERT_EQ(device_->DeletePixelShader(handle), D3D_OK);
    EXPECT_EQ(device_->DeletePixelShader(handle), D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->GetPixelShader(&current), D3D_OK);
    EXPECT_EQ(current, 0u);

    // Eight constants.
    const float values[2][4] = {{0.25f, -0.5f, 1.0f, 2.0f}, {3, 4, 5, 6}};
    float back[2][4] = {};
    ASSERT_EQ(device_->SetPixelShaderConstant(6, values, 2), D3D_OK);
    ASSERT_EQ(device_->GetPixelShaderConstant(6, back, 2), D3D_OK);
    EXPECT_EQ(std::memcmp(values, back, sizeof values), 0);
    EXPECT_EQ(device_->SetPixelShaderConstant(7, values, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetPixelShaderConstant(8, values, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetPixelShaderConstant(0, back, 9), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetPixelShaderConstant(0, nullptr, 1), D3DERR_INVALIDCALL);
}

TEST_F(PixelShaderTest, TexMulEqualsFixedFunctionModulate) {
    std::vector<std::uint32_t> texels(16);
    for (int i = 0; i < 16; ++i) texels[i] = 0x80000000u | (i * 0x0F1D2Bu & 0xFFFFFF) | (i * 0x05000000u);
    Texture(0, 4, 4, texels);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    const D3DCOLOR corners[4] = {0xFFFF8000, 0x8000FF40, 0x40C0C0C0, 0xFF1020F0};
    const std::vector<std::uint32_t> fixed = Draw(corners[0], corners[1], corners[2], corners[3]);
    ASSERT_EQ(device_->SetPixelShader(Create("ps.1.1\ntex t0\nmul r0, t0, v0\n")), D3D_OK);
    const std::vector<std::uint32_t> shaded = Draw(corners[0], corners[1], corners[2], corners[3]);
    EXPECT_NE(At(fixed, 3, 3), kClear & 0xFFFFFF);
    EXPECT_EQ(shaded, fixed);
}

TEST_F(PixelShaderTest, TexkillLeavesKilledPixelsUntouched) {
    // texcoord t0 holds (u, v, 0), u negative left of x = 32.
    ASSERT_EQ(device_->SetPixelShader(Create("ps.1.1\ntexcoord t0\ntexkill t0\nmov r0, v0\n")), D3D_OK);
    const Vertex quad[4] = {{0, 0, 0.5f, 1, 0xFF00FF00, -0.5f, 0}, {64, 0, 0.5f, 1, 0xFF00FF00, 0.5f, 0},
                            {0, 48, 0.5f, 1, 0xFF00FF00, -0.5f, 0}, {64, 48, 0.5f, 1, 0xFF00FF00, 0.5f, 0}};
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, kClear, 1.0f, 0);
    device_->BeginScene();
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
    device_->EndScene();
    device_->Present(nullptr, nullptr, nullptr, nullptr);
    for (int y : {0, 20, 47}) {
        EXPECT_EQ(At(frame_.pixels, 5, y), kClear & 0xFFFFFF);
        EXPECT_EQ(At(frame_.pixels, 30, y), kClear & 0xFFFFFF);
        EXPECT_EQ(At(frame_.pixels, 34, y), 0x00FF00u);
        EXPECT_EQ(At(frame_.pixels, 63, y), 0x00FF00u);
    }
}

// texbem: stage 1 reads at (u + M00 du + M10 dv, v + M01 du + M11 dv), (du, dv) the red
// and green of stage 0's texel. Red 0x80 and M00 = 0.5 move u by 128 / 255 / 2.
TEST_F(PixelShaderTest, TexbemOffsetsTheNextStagesCoordinates) {
    Texture(0, 1, 1, {0xFF800000u});
    Texture(1, 4, 1, {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFFFFFFFFu});
    device_->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    const float m00 = 0.5f;
    DWORD bits;
    std::memcpy(&bits, &m00, 4);
    device_->SetTextureStageState(1, D3DTSS_BUMPENVMAT00, bits);
    ASSERT_EQ(device_->SetPixelShader(Create("ps.1.1\ntex t1\nmov r0, t1\n")), D3D_OK);
    const std::vector<std::uint32_t> plain = Draw();
    ASSERT_EQ(device_->SetPixelShader(Create("ps.1.1\ntex t0\ntexbem t1, t0\nmov r0, t1\n")), D3D_OK);
    const std::vector<std::uint32_t> bumped = Draw();
    // u = x / 64: plain columns 0, 1, 2, 3 at x = 8, 24, 40, 56; bumped u + 0.251 gives
    // columns 1, 2, 3 and, wrapped, 0.
    const std::uint32_t column[4] = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(At(plain, 8 + 16 * i, 10), column[i]) << i;
        EXPECT_EQ(At(bumped, 8 + 16 * i, 10), column[(i + 1) % 4]) << i;
    }
}

// The bump-map formats read as signed: U, V (and W, Q) in -1..1, n bits as v / (2^(n-1) - 1)
// with the most negative value -1; luminance unsigned; missing channels 1. The program
// writes 0.5 v + 0.5, so a channel v shows as the byte of that.
TEST_F(PixelShaderTest, SignedFormatsReadAsSignedValues) {
    struct Case {
        D3DFORMAT format;
        int bytes;
        std::uint32_t raw;
        float r, g, b, a;
    };
    const Case cases[] = {
        {D3DFMT_V8U8, 2, 0x8140u, 64 / 127.0f, -1.0f, 1.0f, 1.0f},                  // V -127
        {D3DFMT_V8U8, 2, 0x7F80u, -1.0f, 1.0f, 1.0f, 1.0f},                         // U -128
        {D3DFMT_L6V5U5, 2, (63u << 10) | (15u << 5) | 16u, -1.0f, 1.0f, 1.0f, 1.0f},  // U -16, V 15
        {D3DFMT_X8L8V8U8, 4, 0xAAC07F80u, -1.0f, 1.0f, 192 / 255.0f, 1.0f},
        {D3DFMT_Q8W8V8U8, 4, 0x8100E020u, 32 / 127.0f, -32 / 127.0f, 0.0f, -1.0f},
    };
    ASSERT_EQ(device_->SetPixelShader(Create("ps.1.1\ndef c0, 0.5, 0.5, 0.5, 0.5\ntex t0\n"
                                             "mad r0.rgb, t0, c0, c0\n+mad r0.a, t0, c0, c0\n")),
              D3D_OK);
    const DWORD alphaShader = Create("ps.1.1\ndef c0, 0.5, 0.5, 0.5, 0.5\ntex t0\nmad r0, t0.a, c0, c0\n");
    auto byte = [](float v) { return static_cast<std::uint32_t>((v * 0.5f + 0.5f) * 255.0f + 0.5f); };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        SignedTexture(0, c.format, c.bytes, 1, {c.raw});
        DWORD shader = 0;
        device_->GetPixelShader(&shader);
        EXPECT_EQ(At(Draw(), 20, 20), byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b));
        device_->SetPixelShader(alphaShader);
        EXPECT_EQ(At(Draw(), 20, 20) & 0xFF, byte(c.a));
        device_->SetPixelShader(shader);
    }
    // Five signed bits in between: 7 / 15 to within a byte's step.
    SignedTexture(0, D3DFMT_L6V5U5, 2, 1, {(7u << 5) | 7u});
    EXPECT_NEAR(static_cast<double>(At(Draw(), 20, 20) >> 16), 255.0 * (0.5 * 7 / 15 + 0.5), 1.0);
}

// The signed copy keeps its values biased, so a bilinear lookup halfway between -64 and +64
// reads 0, not the -1 a blend of two's-complement bytes would give.
TEST_F(PixelShaderTest, SignedTexelsFilterAcrossZero) {
    SignedTexture(0, D3DFMT_V8U8, 2, 2, {0xC0C0u, 0x4040u});  // (-64, -64), (64, 64)
    device_->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    device_->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    ASSERT_EQ(device_->SetPixelShader(Create("ps.1.1\ndef c0, 0.5, 0.5, 0.5, 0.5\ntex t0\nmad r0, t0, c0, c0\n")),
              D3D_OK);
    // u = x / 64: texel centres at x = 16 and 48, halfway at x = 32.
    const std::vector<std::uint32_t> pixels = Draw();
    EXPECT_EQ(At(pixels, 32, 10) >> 8, 0x8080u);
    EXPECT_EQ(At(pixels, 16, 10) >> 8, 0x3F3Fu);  // (0.5 - 32 / 127) 255 = 63.25
}

// Outside bump mapping the stages read a signed channel v as the byte of (v + 1) / 2 (the
// copy's biased byte), so DOTPRODUCT3's own bias turns it back into v.
TEST_F(PixelShaderTest, FixedFunctionStagesReadSignedChannelsBiased) {
    SignedTexture(0, D3DFMT_V8U8, 2, 1, {0x7F81u});  // U -127, V 127
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    EXPECT_EQ(At(Draw(), 20, 20), 0x01FFFFu);
}

// BUMPENVMAP in the stages draws what texbem draws: the stage after the bump stage looks
// up at coordinates moved by the bump stage's matrix times its texel's (du, dv); the bump
// stage passes CURRENT on. BUMPENVMAPLUMINANCE scales the looked-up texel as texbeml does.
TEST_F(PixelShaderTest, FixedFunctionBumpMappingDrawsAsTexbem) {
    D3DCAPS8 caps{};
    ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
    constexpr DWORD kBumpEnvMap = 0x00200000, kBumpEnvMapLuminance = 0x00400000;  // D3DTEXOPCAPS_
    EXPECT_NE(caps.TextureOpCaps & kBumpEnvMap, 0u);
    EXPECT_NE(caps.TextureOpCaps & kBumpEnvMapLuminance, 0u);
    // (du, dv) = (+64 / 127, -32 / 127), luminance 0x80.
    SignedTexture(0, D3DFMT_X8L8V8U8, 4, 1, {0x0080E040u});
    std::vector<std::uint32_t> env(16);
    for (int i = 0; i < 16; ++i) env[i] = 0xFF000000u | (i * 0x113355u & 0xFFFFFF);
    Texture(1, 4, 4, env);
    device_->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    const float m[4] = {0.5f, -0.25f, 0.125f, 1.0f};
    const D3DTEXTURESTAGESTATETYPE mat[4] = {D3DTSS_BUMPENVMAT00, D3DTSS_BUMPENVMAT01, D3DTSS_BUMPENVMAT10,
                                             D3DTSS_BUMPENVMAT11};
    const D3DCOLOR corners[4] = {0xFFFF8040, 0xFF40FF80, 0xFF8040FF, 0xFFFFFFFF};

    // The program: matrix and luminance on stage 1, the stage it samples.
    for (int i = 0; i < 4; ++i) SetFloat(1, mat[i], m[i]);
    SetFloat(1, D3DTSS_BUMPENVLSCALE, 1.5f);
    SetFloat(1, D3DTSS_BUMPENVLOFFSET, 0.25f);
    ASSERT_EQ(device_->SetPixelShader(Create("ps.1.1\ntex t0\ntexbem t1, t0\nmul r0, t1, v0\n")), D3D_OK);
    const std::vector<std::uint32_t> program = Draw(corners[0], corners[1], corners[2], corners[3]);
    ASSERT_EQ(device_->SetPixelShader(Create("ps.1.1\ntex t0\ntexbeml t1, t0\nmul r0, t1, v0\n")), D3D_OK);
    const std::vector<std::uint32_t> programL = Draw(corners[0], corners[1], corners[2], corners[3]);
    device_->SetPixelShader(0);

    // The stages: matrix and luminance on stage 0, the bump stage.
    for (int i = 0; i < 4; ++i) {
        SetFloat(0, mat[i], m[i]);
        SetFloat(1, mat[i], 0.0f);
    }
    SetFloat(0, D3DTSS_BUMPENVLSCALE, 1.5f);
    SetFloat(0, D3DTSS_BUMPENVLOFFSET, 0.25f);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device_->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device_->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    DWORD passes = 0;
    EXPECT_EQ(device_->ValidateDevice(&passes), D3D_OK);
    const std::vector<std::uint32_t> stages = Draw(corners[0], corners[1], corners[2], corners[3]);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAPLUMINANCE);
    const std::vector<std::uint32_t> stagesL = Draw(corners[0], corners[1], corners[2], corners[3]);
    for (int y = 0; y < kHeight; y += 5)
        for (int x = 0; x < kWidth; x += 3) {
            ASSERT_EQ(At(stages, x, y), At(program, x, y)) << x << ", " << y;
            ASSERT_EQ(At(stagesL, x, y), At(programL, x, y)) << x << ", " << y;
        }
    // At pixel (8, 8), (u, v) = (0.125, 0.125) moves by (0.5 du + 0.125 dv, -0.25 du + dv) to
    // (0.345, -0.252): texel (1, 2) of the 4x4 map, times the diffuse colour there.
    const float du = 64 / 127.0f, dv = -32 / 127.0f;
    const float u = 0.125f + 0.5f * du + 0.125f * dv, v = 0.125f - 0.25f * du + dv;
    const int tx = static_cast<int>(std::floor(u * 4)) & 3, ty = static_cast<int>(std::floor(v * 4)) & 3;
    EXPECT_EQ(tx, 1);
    EXPECT_EQ(ty, 2);
    // The lookup alone: white at that texel, black elsewhere, times the white factor.
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP);
    device_->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_TFACTOR);
    std::vector<std::uint32_t> marked(16, 0xFF000000u);
    marked[ty * 4 + tx] = 0xFFFFFFFFu;
    Texture(1, 4, 4, marked);
    EXPECT_EQ(At(Draw(), 8, 8), 0xFFFFFFu);
    EXPECT_EQ(At(Draw(), 40, 8), 0x000000u);
}

TEST_F(PixelShaderTest, Ps14TexldPhaseAndConstantsDraw) {
    Texture(0, 1, 1, {0xFFC8A040u});
    const float c0[4] = {0.5f, 0.25f, 1.0f, 1.0f};
    device_->SetPixelShaderConstant(0, c0, 1);
    ASSERT_EQ(device_->SetPixelShader(Create("ps.1.4\ntexld r1, t0\nphase\ntexld r0, t0\nmul r0, r0, c0\n")), D3D_OK);
    const std::vector<std::uint32_t> pixels = Draw();
    // 200 / 2, 160 / 4, 64.
    EXPECT_EQ(At(pixels, 10, 10), 0x642840u);
    EXPECT_EQ(At(pixels, 60, 40), 0x642840u);
}

}  // namespace
