// The pixel shader calls. Pixel shaders ps.1.1 to ps.1.4 are validated, translated into
// the rasterizer's program and run by the pixel stage in place of the texture stages. The
// vertex shader calls are in vertex_shaders.cpp.
#include <cstdint>
#include <cstring>

#include "platform/d3d8/device.h"
#include "platform/d3d8/shader_validate.h"

namespace d3d8 {

namespace {

// The decoded program in the rasterizer's form; false for what it cannot express.
bool ToSource(const ShaderSource& in, raster::Source& out) {
    switch (in.file) {
        case RegisterFile::Temp: out.file = raster::RegisterFile::Temp; break;
        case RegisterFile::Texture: out.file = raster::RegisterFile::Texture; break;
        case RegisterFile::Const: out.file = raster::RegisterFile::Constant; break;
        case RegisterFile::Input: out.file = raster::RegisterFile::Color; break;
        default: return false;
    }
    if (in.index > 255 || in.relative) return false;
    out.index = static_cast<std::uint8_t>(in.index);
    const auto& w = in.swizzle;
    if (w[0] == 0 && w[1] == 1 && w[2] == 2 && w[3] == 3) out.swizzle = raster::Swizzle::Rgba;
    else if (w[0] == 0 && w[1] == 1 && w[2] == 3 && w[3] == 3) out.swizzle = raster::Swizzle::Xyw;
    else if (w[0] == 0 && w[1] == 1 && w[2] == 2 && w[3] == 2) out.swizzle = raster::Swizzle::Rgba;  // .xyz
    else if (w[0] == w[1] && w[1] == w[2] && w[2] == w[3]) {
        constexpr raster::Swizzle one[4] = {raster::Swizzle::R, raster::Swizzle::G, raster::Swizzle::B, raster::Swizzle::A};
        out.swizzle = one[w[0] & 3];
    } else {
        return false;
    }
    using M = raster::SourceModifier;
    out.negate = false;
    switch (in.modifier) {
        case SourceModifier::None: out.modifier = M::None; break;
        case SourceModifier::Negate: out.modifier = M::None; out.negate = true; break;
        case SourceModifier::Bias: out.modifier = M::Bias; break;
        case SourceModifier::BiasNegate: out.modifier = M::Bias; out.negate = true; break;
        case SourceModifier::Sign: out.modifier = M::SignedScale; break;
        case SourceModifier::SignNegate: out.modifier = M::SignedScale; out.negate = true; break;
        case SourceModifier::Complement: out.modifier = M::Invert; break;
        case SourceModifier::X2: out.modifier = M::Double; break;
        case SourceModifier::X2Negate: out.modifier = M::Double; out.negate = true; break;
        case SourceModifier::DivideZ: out.modifier = M::DivideZ; break;
        case SourceModifier::DivideW: out.modifier = M::DivideW; break;
    }
    return true;
}

bool ToPixelOp(D3DSHADER_INSTRUCTION_OPCODE_TYPE opcode, bool ps14, raster::PixelOp& op) {
    using P = raster::PixelOp;
    switch (opcode) {
        case D3DSIO_NOP: op = P::Nop; return true;
        case D3DSIO_MOV: op = P::Mov; return true;
        case D3DSIO_ADD: op = P::Add; return true;
        case D3DSIO_SUB: op = P::Sub; return true;
        case D3DSIO_MUL: op = P::Mul; return true;
        case D3DSIO_MAD: op = P::Mad; return true;
        case D3DSIO_LRP: op = P::Lrp; return true;
        case D3DSIO_DP3: op = P::Dp3; return true;
        case D3DSIO_DP4: op = P::Dp4; return true;
        case D3DSIO_CND: op = P::Cnd; return true;
        case D3DSIO_CMP: op = P::Cmp; return true;
        case D3DSIO_BEM: op = P::Bem; return true;
        case D3DSIO_TEX: op = ps14 ? P::TexLd : P::Tex; return true;
        case D3DSIO_TEXCOORD: op = ps14 ? P::TexCrd : P::TexCoord; return true;
        case D3DSIO_TEXKILL: op = P::TexKill; return true;
        case D3DSIO_TEXBEM: op = P::TexBem; return true;
        case D3DSIO_TEXBEML: op = P::TexBemL; return true;
        case D3DSIO_TEXREG2AR: op = P::TexReg2Ar; return true;
        case D3DSIO_TEXREG2GB: op = P::TexReg2Gb; return true;
        case D3DSIO_TEXREG2RGB: op = P::TexReg2Rgb; return true;
        case D3DSIO_TEXM3x2PAD: op = P::TexM3x2Pad; return true;
        case D3DSIO_TEXM3x2TEX: op = P::TexM3x2Tex; return true;
        case D3DSIO_TEXM3x2DEPTH: op = P::TexM3x2Depth; return true;
        case D3DSIO_TEXM3x3PAD: op = P::TexM3x3Pad; return true;
        case D3DSIO_TEXM3x3: op = P::TexM3x3; return true;
        case D3DSIO_TEXM3x3TEX: op = P::TexM3x3Tex; return true;
        case D3DSIO_TEXM3x3SPEC: op = P::TexM3x3Spec; return true;
        case D3DSIO_TEXM3x3VSPEC: op = P::TexM3x3VSpec; return true;
        case D3DSIO_TEXDP3: op = P::TexDp3; return true;
        case D3DSIO_TEXDP3TEX: op = P::TexDp3Tex; return true;
        case D3DSIO_TEXDEPTH: op = P::TexDepth; return true;
        default: return false;
    }
}

std::unique_ptr<raster::PixelProgram> TranslatePixelProgram(const ShaderProgram& in) {
    const raster::PixelVersion versions[] = {raster::PixelVersion::Ps11, raster::PixelVersion::Ps11,
                                             raster::PixelVersion::Ps12, raster::PixelVersion::Ps13,
                                             raster::PixelVersion::Ps14};
    if (in.type != ShaderType::Pixel || in.major != 1 || in.minor > 4) return nullptr;
    const bool ps14 = in.minor == 4;
    auto program = std::make_unique<raster::PixelProgram>(versions[in.minor]);
    for (const ShaderConstantDefinition& def : in.definitions)
        program->Define(def.index, def.value[0], def.value[1], def.value[2], def.value[3]);
    for (std::size_t i = 0; i < in.instructions.size(); ++i) {
        if (in.hasPhase && i == in.phaseStart) program->Phase();
        const ShaderInstruction& si = in.instructions[i];
        raster::PixelInstruction out;
        if (!ToPixelOp(si.opcode, ps14, out.op)) return nullptr;
        out.coissue = si.coissue;
        if (si.hasDestination) {
            const ShaderDestination& d = si.destination;
            if (d.file == RegisterFile::Temp) out.dst.file = raster::RegisterFile::Temp;
            else if (d.file == RegisterFile::Texture) out.dst.file = raster::RegisterFile::Texture;
            else return nullptr;
            if (d.index > 255) return nullptr;
            out.dst.index = static_cast<std::uint8_t>(d.index);
            out.dst.mask = static_cast<std::uint8_t>(d.writeMask & 0xF);
            out.dst.shift = d.shift;
            out.dst.saturate = d.saturate;
        }
        for (std::uint8_t k = 0; k < si.sourceCount && k < 3; ++k)
            if (!ToSource(si.sources[k], out.src[k])) return nullptr;
        program->Add(out);
    }
    if (in.hasPhase && in.phaseStart >= in.instructions.size()) program->Phase();
    if (program->Error() != raster::ProgramError::None) return nullptr;
    return program;
}

}  // namespace

HRESULT Device::CreatePixelShader(const DWORD* function, DWORD* handle) {
    if (handle == nullptr || function == nullptr) {
        if (handle != nullptr) *handle = 0;
        return D3DERR_INVALIDCALL;
    }
    *handle = 0;
    D3DCAPS8 caps{};
    GetDeviceCaps(&caps);
    ShaderLimits limits;
    limits.pixelShaderVersion = caps.PixelShaderVersion;
    ShaderProgram decoded;
    // The stream's length is not given: the validator stops at the end token.
    if (!ValidateShader(ShaderType::Pixel, function, SIZE_MAX / sizeof(DWORD), &decoded, limits).ok)
        return D3DERR_INVALIDCALL;
    std::unique_ptr<raster::PixelProgram> program = TranslatePixelProgram(decoded);
    if (!program) return D3DERR_INVALIDCALL;
    PixelShader shader;
    shader.tokens.assign(function, function + decoded.tokenCount);
    shader.program = std::move(program);
    const DWORD id = nextPixelShader_++;
    pixelShaders_.emplace(id, std::move(shader));
    *handle = id;
    return D3D_OK;
}

HRESULT Device::SetPixelShader(DWORD handle) {
    if (handle != 0 && pixelShaders_.find(handle) == pixelShaders_.end()) return D3DERR_INVALIDCALL;
    if (recording_) {
        recording_->hasPixelShader = true;
        recording_->pixelShader = handle;
        return D3D_OK;
    }
    if (handle == 0) {
        pixelShader_ = 0;
        drawState_.pixelProgram = nullptr;
        return D3D_OK;
    }
    const auto found = pixelShaders_.find(handle);
    if (found == pixelShaders_.end()) return D3DERR_INVALIDCALL;
    pixelShader_ = handle;
    drawState_.pixelProgram = found->second.program.get();
    return D3D_OK;
}

HRESULT Device::GetPixelShader(DWORD* handle) {
    if (handle == nullptr) return D3DERR_INVALIDCALL;
    *handle = pixelShader_;
    return D3D_OK;
}

// Deleting the shader in use returns the device to the fixed-function stage, so no draw
// runs a deleted program.
HRESULT Device::DeletePixelShader(DWORD handle) {
    const auto found = pixelShaders_.find(handle);
    if (found == pixelShaders_.end()) return D3DERR_INVALIDCALL;
    if (pixelShader_ == handle) SetPixelShader(0);
    pixelShaders_.erase(found);
    return D3D_OK;
}

HRESULT Device::SetPixelShaderConstant(DWORD reg, const void* data, DWORD count) {
    constexpr DWORD kCount = raster::PixelProgram::kConstants;
    if (data == nullptr || reg >= kCount || count > kCount - reg) return D3DERR_INVALIDCALL;
    if (recording_) {
        for (DWORD i = 0; i < count; ++i) {
            recording_->hasPixelConstant.set(reg + i);
            std::memcpy(recording_->pixelConstants[reg + i], static_cast<const float*>(data) + 4 * i, 4 * sizeof(float));
        }
        return D3D_OK;
    }
    std::memcpy(drawState_.pixelConstants[reg], data, count * 4 * sizeof(float));
    return D3D_OK;
}

HRESULT Device::GetPixelShaderConstant(DWORD reg, void* data, DWORD count) {
    constexpr DWORD kCount = raster::PixelProgram::kConstants;
    if (data == nullptr || reg >= kCount || count > kCount - reg) return D3DERR_INVALIDCALL;
    std::memcpy(data, drawState_.pixelConstants[reg], count * 4 * sizeof(float));
    return D3D_OK;
}

// With data null the size in bytes goes to *size; otherwise *size must hold the function,
// and is set to its size.
HRESULT Device::GetPixelShaderFunction(DWORD handle, void* data, DWORD* size) {
    const auto found = pixelShaders_.find(handle);
    if (size == nullptr || found == pixelShaders_.end()) return D3DERR_INVALIDCALL;
    const std::vector<DWORD>& tokens = found->second.tokens;
    const DWORD bytes = static_cast<DWORD>(tokens.size() * sizeof(DWORD));
    if (data == nullptr) {
        *size = bytes;
        return D3D_OK;
    }
    if (*size < bytes) return D3DERR_INVALIDCALL;
    std::memcpy(data, tokens.data(), bytes);
    *size = bytes;
    return D3D_OK;
}

}  // namespace d3d8
