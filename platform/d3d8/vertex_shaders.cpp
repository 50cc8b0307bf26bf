// Vertex shaders: declarations over up to 16 streams, vs.1.1 functions run by the
// rasterizer's vertex program, and the 96 constant registers.
//
// A shader's handle is (n << 1) | 1 for the n-th shader created: an FVF code never has
// bit 0 (D3DFVF_RESERVED0) set, so SetVertexShader tells the two apart by that bit.
// Draws through a shader fetch each declared register from its stream as four floats; a
// shader with a function runs it into the clip vertices, one without feeds the
// fixed-function pipeline the equivalent vertex format, gathered into one stream.
#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/d3d8/device.h"
#include "platform/d3d8/fvf.h"
#include "platform/d3d8/shader_validate.h"

namespace d3d8 {

namespace {

constexpr DWORD kProgramConstantCount = raster::kProgramConstants;
static_assert(kProgramConstantCount == StateBlock::kVertexConstants, "state blocks hold every vertex constant");

bool TranslateOp(D3DSHADER_INSTRUCTION_OPCODE_TYPE opcode, raster::VertexOp& op) {
    using raster::VertexOp;
    switch (opcode) {
        case D3DSIO_NOP: op = VertexOp::Nop; return true;
        case D3DSIO_MOV: op = VertexOp::Mov; return true;
        case D3DSIO_ADD: op = VertexOp::Add; return true;
        case D3DSIO_SUB: op = VertexOp::Sub; return true;
        case D3DSIO_MAD: op = VertexOp::Mad; return true;
        case D3DSIO_MUL: op = VertexOp::Mul; return true;
        case D3DSIO_RCP: op = VertexOp::Rcp; return true;
        case D3DSIO_RSQ: op = VertexOp::Rsq; return true;
        case D3DSIO_DP3: op = VertexOp::Dp3; return true;
        case D3DSIO_DP4: op = VertexOp::Dp4; return true;
        case D3DSIO_MIN: op = VertexOp::Min; return true;
        case D3DSIO_MAX: op = VertexOp::Max; return true;
        case D3DSIO_SLT: op = VertexOp::Slt; return true;
        case D3DSIO_SGE: op = VertexOp::Sge; return true;
        case D3DSIO_EXP: op = VertexOp::Exp; return true;
        case D3DSIO_LOG: op = VertexOp::Log; return true;
        case D3DSIO_LIT: op = VertexOp::Lit; return true;
        case D3DSIO_DST: op = VertexOp::Dst; return true;
        case D3DSIO_FRC: op = VertexOp::Frc; return true;
        case D3DSIO_M4x4: op = VertexOp::M4x4; return true;
        case D3DSIO_M4x3: op = VertexOp::M4x3; return true;
        case D3DSIO_M3x4: op = VertexOp::M3x4; return true;
        case D3DSIO_M3x3: op = VertexOp::M3x3; return true;
        case D3DSIO_M3x2: op = VertexOp::M3x2; return true;
        case D3DSIO_EXPP: op = VertexOp::Expp; return true;
        case D3DSIO_LOGP: op = VertexOp::Logp; return true;
        default: return false;
    }
}

bool TranslateDestination(const ShaderDestination& d, raster::DestOperand& out) {
    using raster::DestFile;
    if (d.saturate || d.shift != 0 || d.index > 255) return false;
    out.index = static_cast<std::uint8_t>(d.index);
    out.mask = d.writeMask;
    switch (d.file) {
        case RegisterFile::Temp: out.file = DestFile::Temp; return true;
        case RegisterFile::Address: out.file = DestFile::Address; return true;
        case RegisterFile::AttrOut: out.file = DestFile::Color; return true;
        case RegisterFile::TexCoordOut: out.file = DestFile::Texcoord; return true;
        case RegisterFile::RastOut:
            out.index = 0;
            if (d.index == D3DSRO_POSITION) out.file = DestFile::Position;
            else if (d.index == D3DSRO_FOG) out.file = DestFile::Fog;
            else if (d.index == D3DSRO_POINT_SIZE) out.file = DestFile::PointSize;
            else return false;
            return true;
        default: return false;
    }
}

bool TranslateSource(const ShaderSource& s, raster::SourceOperand& out) {
    using raster::SourceFile;
    if (s.modifier != SourceModifier::None && s.modifier != SourceModifier::Negate) return false;
    if (s.index > 255) return false;
    switch (s.file) {
        case RegisterFile::Temp: out.file = SourceFile::Temp; break;
        case RegisterFile::Input: out.file = SourceFile::Input; break;
        case RegisterFile::Const: out.file = SourceFile::Constant; break;
        default: return false;
    }
    out.index = static_cast<std::uint8_t>(s.index);
    out.relative = s.relative;
    out.negate = s.modifier == SourceModifier::Negate;
    for (int c = 0; c < 4; ++c) out.swizzle[c] = s.swizzle[c];
    return true;
}

// The vertex format fixed-function processing reads from a declaration without a function,
// 0 when it has inputs no vertex format carries (tweening, blending, point size).
DWORD EquivalentFvf(const VertexDeclaration& declaration, const FixedFunctionLayout& layout) {
    if (layout.position < 0 || layout.blendWeight >= 0 || layout.blendIndices >= 0 || layout.pointSize >= 0 ||
        layout.position2 >= 0 || layout.normal2 >= 0)
        return 0;
    DWORD fvf = D3DFVF_XYZ;
    if (layout.normal >= 0) fvf |= D3DFVF_NORMAL;
    if (layout.diffuse >= 0) fvf |= D3DFVF_DIFFUSE;
    if (layout.specular >= 0) fvf |= D3DFVF_SPECULAR;
    int sets = 0;
    for (int set = 0; set < 8; ++set) {
        if (layout.texCoord[set] < 0) continue;
        sets = set + 1;
        const DWORD type = declaration.elements[static_cast<std::size_t>(layout.texCoord[set])].type;
        const DWORD size = type == D3DVSDT_FLOAT1   ? D3DFVF_TEXCOORDSIZE1(set)
                           : type == D3DVSDT_FLOAT2 ? D3DFVF_TEXCOORDSIZE2(set)
                           : type == D3DVSDT_FLOAT3 ? D3DFVF_TEXCOORDSIZE3(set)
                                                    : D3DFVF_TEXCOORDSIZE4(set);
        fvf |= size;
    }
    // Sets below the highest that the declaration leaves out are carried as one zero.
    for (int set = 0; set < sets; ++set)
        if (layout.texCoord[set] < 0) fvf |= D3DFVF_TEXCOORDSIZE1(set);
    return fvf | (static_cast<DWORD>(sets) << D3DFVF_TEXCOUNT_SHIFT);
}

// One element of a stream as a register's four floats.
void FetchElement(DWORD type, const std::uint8_t* p, float* r) {
    r[0] = 0.0f, r[1] = 0.0f, r[2] = 0.0f, r[3] = 1.0f;
    switch (type) {
        case D3DVSDT_FLOAT1:
        case D3DVSDT_FLOAT2:
        case D3DVSDT_FLOAT3:
        case D3DVSDT_FLOAT4: std::memcpy(r, p, (type + 1) * sizeof(float)); return;
        case D3DVSDT_D3DCOLOR:  // bytes b, g, r, a in memory; red lands in x
            r[0] = p[2] / 255.0f, r[1] = p[1] / 255.0f, r[2] = p[0] / 255.0f, r[3] = p[3] / 255.0f;
            return;
        case D3DVSDT_UBYTE4:
            for (int c = 0; c < 4; ++c) r[c] = p[c];
            return;
        case D3DVSDT_SHORT2:
        case D3DVSDT_SHORT4: {
            const int count = type == D3DVSDT_SHORT2 ? 2 : 4;
            for (int c = 0; c < count; ++c) {
                std::int16_t v;
                std::memcpy(&v, p + 2 * c, sizeof v);
                r[c] = v;
            }
            return;
        }
        default: return;
    }
}

HRESULT CopyOut(const std::vector<DWORD>& tokens, void* data, DWORD* size) {
    if (size == nullptr) return D3DERR_INVALIDCALL;
    const DWORD bytes = static_cast<DWORD>(tokens.size() * sizeof(DWORD));
    if (data == nullptr) {
        *size = bytes;
        return D3D_OK;
    }
    if (*size < bytes) {
        *size = bytes;
        return D3DERR_MOREDATA;
    }
    if (bytes != 0) std::memcpy(data, tokens.data(), bytes);
    *size = bytes;
    return D3D_OK;
}

}  // namespace

// The decoded vs.1.1 program as the rasterizer's instructions; false for what has no
// counterpart there.
bool TranslateVertexProgram(const ShaderProgram& program, std::vector<raster::VertexInstruction>* out) {
    if (program.type != ShaderType::Vertex) return false;
    out->clear();
    for (const ShaderInstruction& in : program.instructions) {
        raster::VertexInstruction instruction;
        if (!TranslateOp(in.opcode, instruction.op)) return false;
        if (in.opcode == D3DSIO_NOP) continue;
        if (!in.hasDestination || !TranslateDestination(in.destination, instruction.dst)) return false;
        for (int s = 0; s < in.sourceCount && s < 3; ++s)
            if (!TranslateSource(in.sources[s], instruction.src[s])) return false;
        out->push_back(instruction);
    }
    return true;
}

HRESULT Device::CreateVertexShader(const DWORD* declaration, const DWORD* function, DWORD* handle, DWORD usage) {
    if (handle != nullptr) *handle = 0;
    if (declaration == nullptr || handle == nullptr || (usage & ~D3DUSAGE_SOFTWAREPROCESSING) != 0)
        return D3DERR_INVALIDCALL;
    // The calls give no lengths: a declaration or program is read up to its end token, at
    // most this many DWORDs.
    constexpr std::size_t kMaxTokens = 1u << 16;
    auto shader = std::make_unique<VertexShader>();
    if (!ParseVertexDeclaration(declaration, kMaxTokens, &shader->declaration, kProgramConstantCount,
                                kDeclarationStreams)
             .ok)
        return D3DERR_INVALIDCALL;
    shader->declarationTokens.assign(declaration, declaration + shader->declaration.tokenCount);
    if (function != nullptr) {
        ShaderProgram decoded;
        ShaderLimits limits;
        limits.maxVertexShaderConst = kProgramConstantCount;
        if (!ValidateShader(ShaderType::Vertex, function, kMaxTokens, &decoded, limits).ok) return D3DERR_INVALIDCALL;
        std::vector<raster::VertexInstruction> instructions;
        if (!TranslateVertexProgram(decoded, &instructions)) return D3DERR_INVALIDCALL;
        shader->program = std::make_unique<raster::VertexProgram>();
        if (shader->program->Build(instructions) != raster::VertexProgramError::None) return D3DERR_INVALIDCALL;
        // Every register the program reads comes from the declaration.
        if ((shader->program->InputsRead() & ~shader->declaration.registersDeclared) != 0) return D3DERR_INVALIDCALL;
        shader->functionTokens.assign(function, function + decoded.tokenCount);
        shader->definitions = decoded.definitions;
    } else {
        if (!MapFixedFunctionInputs(shader->declaration, &shader->fixed).ok) return D3DERR_INVALIDCALL;
        shader->fvf = EquivalentFvf(shader->declaration, shader->fixed);
        if (shader->fvf == 0) return D3DERR_INVALIDCALL;
    }
    const DWORD id = nextVertexShader_;
    if (id >= 0x7FFFFFFFu) return D3DERR_OUTOFVIDEOMEMORY;
    ++nextVertexShader_;
    *handle = (id << 1) | 1u;
    vertexShaders_[*handle] = std::move(shader);
    return D3D_OK;
}

HRESULT Device::DeleteVertexShader(DWORD handle) {
    auto found = vertexShaders_.find(handle);
    if (found == vertexShaders_.end()) return D3DERR_INVALIDCALL;
    FlushRaster();  // queued draws hold no pointer into it, but keep the order plain
    vertexShaders_.erase(found);
    if (vertexShader_ == handle) vertexShader_ = 0;
    return D3D_OK;
}

const Device::VertexShader* Device::CurrentVertexShader() const {
    if ((vertexShader_ & D3DFVF_RESERVED0) == 0) return nullptr;
    auto found = vertexShaders_.find(vertexShader_);
    return found == vertexShaders_.end() ? nullptr : found->second.get();
}

HRESULT Device::SetVertexShader(DWORD handle) {
    if ((handle & D3DFVF_RESERVED0) != 0) {
        auto found = vertexShaders_.find(handle);
        if (found == vertexShaders_.end()) return D3DERR_INVALIDCALL;
        // The declaration's constant loads happen when the shader is set.
        if (!recording_)
            for (const VertexConstantLoad& load : found->second->declaration.constants)
                for (std::size_t i = 0; i < load.values.size(); ++i)
                    std::memcpy(vertexConstants_[load.first + i], load.values[i].data(), sizeof(float) * 4);
    }
    if (recording_) {
        recording_->hasVertexShader = true;
        recording_->vertexShader = handle;
        return D3D_OK;
    }
    vertexShader_ = handle;
    return D3D_OK;
}

HRESULT Device::GetVertexShader(DWORD* handle) {
    if (handle == nullptr) return D3DERR_INVALIDCALL;
    *handle = vertexShader_;
    return D3D_OK;
}

// While a state block is recorded, the constants go to the block.
HRESULT Device::SetVertexShaderConstant(DWORD reg, const void* data, DWORD count) {
    if (data == nullptr || reg >= kProgramConstantCount || count > kProgramConstantCount - reg)
        return D3DERR_INVALIDCALL;
    if (recording_) {
        for (DWORD i = 0; i < count; ++i) {
            recording_->hasVertexConstant.set(reg + i);
            std::memcpy(recording_->vertexConstants[reg + i], static_cast<const float*>(data) + 4 * i, 4 * sizeof(float));
        }
        return D3D_OK;
    }
    if (count != 0) std::memcpy(vertexConstants_[reg], data, sizeof(float) * 4 * count);
    return D3D_OK;
}

HRESULT Device::GetVertexShaderConstant(DWORD reg, void* data, DWORD count) {
    if (data == nullptr || reg >= kProgramConstantCount || count > kProgramConstantCount - reg)
        return D3DERR_INVALIDCALL;
    if (count != 0) std::memcpy(data, vertexConstants_[reg], sizeof(float) * 4 * count);
    return D3D_OK;
}

HRESULT Device::GetVertexShaderDeclaration(DWORD handle, void* data, DWORD* size) {
    auto found = vertexShaders_.find(handle);
    if (found == vertexShaders_.end()) return D3DERR_INVALIDCALL;
    return CopyOut(found->second->declarationTokens, data, size);
}

HRESULT Device::GetVertexShaderFunction(DWORD handle, void* data, DWORD* size) {
    auto found = vertexShaders_.find(handle);
    if (found == vertexShaders_.end()) return D3DERR_INVALIDCALL;
    return CopyOut(found->second->functionTokens, data, size);
}

void Device::ReleaseMoreStreams() {
    for (UINT s = 1; s < kDeclarationStreams; ++s) {
        if (moreStreams_[s] != nullptr) std::exchange(moreStreams_[s], nullptr)->Unbind();
        moreStrides_[s] = 0;
    }
}

HRESULT Device::DrawDeclared(D3DPRIMITIVETYPE type, UINT primitiveCount, std::uint64_t first, UINT count,
                             const raster::IndexInput* indices, INT indexBase, const std::uint8_t* userData,
                             UINT userStride) {
    const VertexShader& shader = *CurrentVertexShader();
    const VertexDeclaration& declaration = shader.declaration;
    // Each declared stream: set, wide enough, and holding the vertex range.
    const std::uint8_t* base[kDeclarationStreams] = {};
    UINT strides[kDeclarationStreams] = {};
    for (UINT s = 0; s < kDeclarationStreams; ++s) {
        if ((declaration.streamsUsed & (1u << s)) == 0) continue;
        std::uint64_t length = 0;
        if (userData != nullptr) {
            if (s != 0) return D3DERR_INVALIDCALL;  // user pointer draws have stream 0 only
            base[s] = userData, strides[s] = userStride, length = std::uint64_t{first + count} * userStride;
        } else {
            const VertexBuffer* buffer = s == 0 ? stream_ : moreStreams_[s];
            if (buffer == nullptr) return D3DERR_INVALIDCALL;
            base[s] = buffer->Data(), strides[s] = s == 0 ? streamStride_ : moreStrides_[s], length = buffer->Length();
        }
        const UINT needed = declaration.strides[s];
        if (strides[s] < needed || count == 0) return D3DERR_INVALIDCALL;
        if ((first + count - 1) * strides[s] + needed > length) return D3DERR_INVALIDCALL;
    }

    raster::PipelineState state;
    BuildPipelineState(state);
    std::vector<float> rows;  // the draw reads its input before it returns
    raster::PrimitiveType primitive = raster::PrimitiveType::PointList;
    ToRaster(type, primitive);  // a type CheckDrawCommon accepted
    raster::VertexInput input;
    if (shader.program != nullptr) {
        constexpr std::size_t kRow = raster::kProgramInputs * 4;
        rows.assign(std::size_t{count} * kRow, 0.0f);
        for (const VertexElement& e : declaration.elements) {
            state.programInputs[e.reg] = static_cast<int>(e.reg * 4);
            const std::uint8_t* p = base[e.stream] + first * strides[e.stream] + e.offset;
            for (UINT i = 0; i < count; ++i, p += strides[e.stream])
                FetchElement(e.type, p, &rows[i * kRow + e.reg * 4]);
        }
        float constants[raster::kProgramConstants][4];
        std::memcpy(constants, vertexConstants_, sizeof constants);
        for (const ShaderConstantDefinition& d : shader.definitions)
            if (d.index < raster::kProgramConstants) std::memcpy(constants[d.index], d.value.data(), sizeof(float) * 4);
        state.states.vertexProgram = shader.program.get();
        state.programConstants = constants;
        input = {reinterpret_cast<const std::uint8_t*>(rows.data()), rows.size() * sizeof(float), kRow * sizeof(float)};
        if (indices != nullptr)
            rasterizer_->DrawIndexed(state, Target(), primitive, input, indexBase, *indices, 0, primitiveCount);
        else
            rasterizer_->Draw(state, Target(), primitive, input, 0, primitiveCount);
    } else {
        // The declared inputs interleaved as the equivalent vertex format.
        raster::VertexLayout layout;
        DecodeFvf(shader.fvf, layout);
        state.vertex = layout;
        const UINT size = FvfSize(shader.fvf);
        std::vector<std::uint8_t> gathered(std::size_t{count} * size, 0);
        UINT at = 0;
        auto place = [&](int element) {
            if (element < 0) return;
            const VertexElement& e = declaration.elements[static_cast<std::size_t>(element)];
            const UINT bytes = VertexElementSize(e.type);
            const std::uint8_t* p = base[e.stream] + first * strides[e.stream] + e.offset;
            for (UINT i = 0; i < count; ++i, p += strides[e.stream])
                std::memcpy(&gathered[std::size_t{i} * size + at], p, bytes);
            at += bytes;
        };
        place(shader.fixed.position);
        place(shader.fixed.normal);
        place(shader.fixed.diffuse);
        place(shader.fixed.specular);
        for (int set = 0; set < 8; ++set) {
            if (shader.fixed.texCoord[set] < 0) {
                if (at < size) at += 4;  // a set left out, below the highest: one zero
                continue;
            }
            place(shader.fixed.texCoord[set]);
        }
        input = {gathered.data(), gathered.size(), size};
        if (indices != nullptr)
            rasterizer_->DrawIndexed(state, Target(), primitive, input, indexBase, *indices, 0, primitiveCount);
        else
            rasterizer_->Draw(state, Target(), primitive, input, 0, primitiveCount);
    }
    TargetWritten();
    return D3D_OK;
}

}  // namespace d3d8
