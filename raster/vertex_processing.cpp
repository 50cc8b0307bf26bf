// Transform, lighting and vertex fog of the fixed-function pipeline. Matrices multiply
// row vectors: v' = v * M, and world x view x projection is applied in that order.
#include "raster/vertex_processing.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>

namespace raster::detail {

namespace {

Matrix4 From(const Matrix& d) {
    Matrix4 out{};
    std::memcpy(out.m, d.m, sizeof out.m);
    return out;
}

Matrix4 Multiply(const Matrix4& a, const Matrix4& b) {
    Matrix4 out{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out.m[r][c] = a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c] + a.m[r][2] * b.m[2][c] + a.m[r][3] * b.m[3][c];
    return out;
}

void UnpackColor(std::uint32_t c, float out[4]) {
    out[0] = static_cast<float>((c >> 16) & 0xFF) / 255.0f;
    out[1] = static_cast<float>((c >> 8) & 0xFF) / 255.0f;
    out[2] = static_cast<float>(c & 0xFF) / 255.0f;
    out[3] = static_cast<float>(c >> 24) / 255.0f;
}

void Copy4(const ColorValue& c, float out[4]) {
    out[0] = c.r;
    out[1] = c.g;
    out[2] = c.b;
    out[3] = c.a;
}

float Dot3(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void Normalize3(float v[3]) {
    float length = std::sqrt(Dot3(v, v));
    if (length > 0.0f) {
        v[0] /= length;
        v[1] /= length;
        v[2] /= length;
    }
}

float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

float ReadFloat(const std::uint8_t* p) {
    float f;
    std::memcpy(&f, p, sizeof f);
    return f;
}

std::uint32_t ReadDword(const std::uint8_t* p) {
    std::uint32_t d;
    std::memcpy(&d, p, sizeof d);
    return d;
}

}  // namespace

TextureCoordinates StageCoordinates(const PipelineState& state, int stage) {
    const StageState& ts = state.states.stages[stage];
    const VertexLayout& vertex = state.vertex;
    TextureCoordinates c;
    c.source = ts.coordinateSource;
    c.set = ts.coordinateSet;
    switch (c.source) {
        case CoordinateSource::Set: c.count = c.set < vertex.texCount ? vertex.texcoordFloats[c.set] : 0; break;
        case CoordinateSource::CameraNormal:
        case CoordinateSource::CameraPosition:
        case CoordinateSource::CameraReflection: c.count = 3; break;
        case CoordinateSource::None: c.count = 0; break;
    }
    if (ts.transformCount > 0) {
        c.transform = true;
        c.count = ts.transformCount;
    }
    c.projected = ts.projected && c.count > 0;
    return c;
}

void VertexProcessor::Prepare(const PipelineState& state, const AttributeLayout& layout) {
    state_ = &state;
    layout_ = layout;
    fvf_ = state.vertex;
    worldView_ = Multiply(From(state.world), From(state.view));
    worldViewProjection_ = Multiply(worldView_, From(state.projection));
    PrepareNormals();
    PrepareColorsAndFog(state.states);
    PrepareCoordinates(state);
    PrepareLights(state);
    PreparePointSize(state);
}

namespace {

// The inverse of a 4x4 matrix by its cofactors; false where it has none.
bool Invert4(const float (&a)[4][4], float (&out)[4][4]) {
    // The 2x2 determinants of rows 0-1 and of rows 2-3, by column pair.
    const float s0 = a[0][0] * a[1][1] - a[1][0] * a[0][1], s1 = a[0][0] * a[1][2] - a[1][0] * a[0][2];
    const float s2 = a[0][0] * a[1][3] - a[1][0] * a[0][3], s3 = a[0][1] * a[1][2] - a[1][1] * a[0][2];
    const float s4 = a[0][1] * a[1][3] - a[1][1] * a[0][3], s5 = a[0][2] * a[1][3] - a[1][2] * a[0][3];
    const float c5 = a[2][2] * a[3][3] - a[3][2] * a[2][3], c4 = a[2][1] * a[3][3] - a[3][1] * a[2][3];
    const float c3 = a[2][1] * a[3][2] - a[3][1] * a[2][2], c2 = a[2][0] * a[3][3] - a[3][0] * a[2][3];
    const float c1 = a[2][0] * a[3][2] - a[3][0] * a[2][2], c0 = a[2][0] * a[3][1] - a[3][0] * a[2][1];
    const float det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
    if (det == 0.0f || !std::isfinite(det)) return false;
    const float inv = 1.0f / det;
    out[0][0] = (a[1][1] * c5 - a[1][2] * c4 + a[1][3] * c3) * inv;
    out[0][1] = (-a[0][1] * c5 + a[0][2] * c4 - a[0][3] * c3) * inv;
    out[0][2] = (a[3][1] * s5 - a[3][2] * s4 + a[3][3] * s3) * inv;
    out[0][3] = (-a[2][1] * s5 + a[2][2] * s4 - a[2][3] * s3) * inv;
    out[1][0] = (-a[1][0] * c5 + a[1][2] * c2 - a[1][3] * c1) * inv;
    out[1][1] = (a[0][0] * c5 - a[0][2] * c2 + a[0][3] * c1) * inv;
    out[1][2] = (-a[3][0] * s5 + a[3][2] * s2 - a[3][3] * s1) * inv;
    out[1][3] = (a[2][0] * s5 - a[2][2] * s2 + a[2][3] * s1) * inv;
    out[2][0] = (a[1][0] * c4 - a[1][1] * c2 + a[1][3] * c0) * inv;
    out[2][1] = (-a[0][0] * c4 + a[0][1] * c2 - a[0][3] * c0) * inv;
    out[2][2] = (a[3][0] * s4 - a[3][1] * s2 + a[3][3] * s0) * inv;
    out[2][3] = (-a[2][0] * s4 + a[2][1] * s2 - a[2][3] * s0) * inv;
    out[3][0] = (-a[1][0] * c3 + a[1][1] * c1 - a[1][2] * c0) * inv;
    out[3][1] = (a[0][0] * c3 - a[0][1] * c1 + a[0][2] * c0) * inv;
    out[3][2] = (-a[3][0] * s3 + a[3][1] * s1 - a[3][2] * s0) * inv;
    out[3][3] = (a[2][0] * s3 - a[2][1] * s1 + a[2][2] * s0) * inv;
    return true;
}

}  // namespace

void VertexProcessor::PrepareNormals() {
    // Normals go through the inverse transpose of the world-view matrix, which keeps them
    // perpendicular under non-uniform scales. For an affine matrix (last column 0, 0, 0, 1)
    // that is the inverse transpose of its upper 3x3 (the cofactor matrix over the
    // determinant); otherwise the upper 3x3 of the whole 4x4 inverse, transposed, since
    // the upper 3x3 alone may have no inverse where the whole matrix has one.
    const auto& a = worldView_.m;
    if (!(a[0][3] == 0.0f && a[1][3] == 0.0f && a[2][3] == 0.0f && a[3][3] == 1.0f)) {
        float inverse[4][4];
        const bool invertible = Invert4(a, inverse);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) normalMatrix_[r][c] = invertible ? inverse[c][r] : 0.0f;
        return;
    }
    float cof[3][3];
    cof[0][0] = a[1][1] * a[2][2] - a[1][2] * a[2][1];
    cof[0][1] = a[1][2] * a[2][0] - a[1][0] * a[2][2];
    cof[0][2] = a[1][0] * a[2][1] - a[1][1] * a[2][0];
    cof[1][0] = a[0][2] * a[2][1] - a[0][1] * a[2][2];
    cof[1][1] = a[0][0] * a[2][2] - a[0][2] * a[2][0];
    cof[1][2] = a[0][1] * a[2][0] - a[0][0] * a[2][1];
    cof[2][0] = a[0][1] * a[1][2] - a[0][2] * a[1][1];
    cof[2][1] = a[0][2] * a[1][0] - a[0][0] * a[1][2];
    cof[2][2] = a[0][0] * a[1][1] - a[0][1] * a[1][0];
    float det = a[0][0] * cof[0][0] + a[0][1] * cof[0][1] + a[0][2] * cof[0][2];
    float inv = det != 0.0f ? 1.0f / det : 0.0f;
    // Row-vector normal n' = n * (M^-1)^T; (M^-1)^T = cof / det.
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) normalMatrix_[r][c] = cof[r][c] * inv;
}

void VertexProcessor::PrepareColorsAndFog(const DrawState& rs) {
    lighting_ = rs.lighting && !fvf_.pretransformed;
    specularLighting_ = lighting_ && rs.specular;
    normalize_ = rs.normalizeNormals;
    localViewer_ = rs.localViewer;
    auto source = [&](MaterialSource value) {
        // A colour source that names a colour the vertex lacks falls back to the material.
        if (!rs.colorVertex) return MaterialSource::Material;
        switch (value) {
            case MaterialSource::Material: return MaterialSource::Material;
            case MaterialSource::Color1: return fvf_.diffuse >= 0 ? value : MaterialSource::Material;
            case MaterialSource::Color2: return fvf_.specular >= 0 ? value : MaterialSource::Material;
        }
        Unreachable();
    };
    diffuseSource_ = source(rs.diffuseSource);
    specularSource_ = source(rs.specularSource);
    ambientSource_ = source(rs.ambientSource);
    emissiveSource_ = source(rs.emissiveSource);
    UnpackColor(rs.ambient, ambient_);

    // Pixel fog, where set, takes the place of vertex fog (BuildDrawSetup).
    fogMode_ = rs.fog && rs.pixelFog == FogMode::None ? rs.vertexFog : FogMode::None;
    rangeFog_ = rs.rangeFog;
    fogStart_ = rs.fogStart;
    fogEnd_ = rs.fogEnd;
    fogDensity_ = rs.fogDensity;
}

void VertexProcessor::PrepareCoordinates(const PipelineState& state) {
    cameraNormal_ = cameraPosition_ = false;
    for (int s = 0; s < kMaxStages; ++s) {
        coordinates_[s] = StageCoordinates(state, s);
        textureTransform_[s] = From(state.textureTransform[s]);
        if (layout_.texcoord[s] < 0) continue;
        using Source = TextureCoordinates::Source;
        const Source source = coordinates_[s].source;
        cameraNormal_ = cameraNormal_ || source == Source::CameraNormal || source == Source::CameraReflection;
        cameraPosition_ = cameraPosition_ || source == Source::CameraPosition || source == Source::CameraReflection;
    }
}

// Pretransformed points are sized in pixels as given; the others scale by distance when
// the draw asks for it.
void VertexProcessor::PreparePointSize(const PipelineState& state) {
    const DrawState& rs = state.states;
    pointSize_ = rs.pointSize;
    pointScale_ = rs.pointScale && !fvf_.pretransformed;
    pointScaleA_ = rs.pointScaleA;
    pointScaleB_ = rs.pointScaleB;
    pointScaleC_ = rs.pointScaleC;
    viewportHeight_ = static_cast<float>(state.viewport.height);
}

float VertexProcessor::PointSize(const std::uint8_t* vertex, const float viewPosition[3]) const {
    const float size = fvf_.pointSize >= 0 ? ReadFloat(vertex + fvf_.pointSize) : pointSize_;
    if (!pointScale_) return size;
    const float d = std::sqrt(Dot3(viewPosition, viewPosition));
    // A non-positive or non-finite divisor leaves the size to the clamp (the largest size).
    return viewportHeight_ * size * std::sqrt(1.0f / (pointScaleA_ + pointScaleB_ * d + pointScaleC_ * d * d));
}

// Lights are given in world space; lighting runs in view space.
void VertexProcessor::PrepareLights(const PipelineState& state) {
    lightCount_ = lighting_ ? std::min(state.lightCount, kMaxLights) : 0;
    const auto& view = state.view.m;
    for (int i = 0; i < lightCount_; ++i) {
        const raster::Light& in = state.lights[i];
        ViewLight& out = lights_[i];
        out.type = in.type;
        const float p[3] = {in.position.x, in.position.y, in.position.z};
        for (int c = 0; c < 3; ++c) out.position[c] = p[0] * view[0][c] + p[1] * view[1][c] + p[2] * view[2][c] + view[3][c];
        const float d[3] = {in.direction.x, in.direction.y, in.direction.z};
        for (int c = 0; c < 3; ++c) out.direction[c] = -(d[0] * view[0][c] + d[1] * view[1][c] + d[2] * view[2][c]);
        Normalize3(out.direction);
        Copy4(in.diffuse, out.diffuse);
        Copy4(in.specular, out.specular);
        Copy4(in.ambient, out.ambient);
        out.range = in.range;
        out.falloff = in.falloff;
        out.att0 = in.attenuation0;
        out.att1 = in.attenuation1;
        out.att2 = in.attenuation2;
        out.cosHalfTheta = std::cos(in.theta * 0.5f);
        out.cosHalfPhi = std::cos(in.phi * 0.5f);
    }
}

void VertexProcessor::Light(const float position[3], const float normal[3], bool hasNormal,
                            const float vertexDiffuse[4], const float vertexSpecular[4], float diffuse[4],
                            float specular[4]) const {
    const Material& material = state_->material;
    auto pick = [&](MaterialSource source, const ColorValue& materialColor, float out[4]) {
        switch (source) {
            case MaterialSource::Color1: std::memcpy(out, vertexDiffuse, 4 * sizeof(float)); return;
            case MaterialSource::Color2: std::memcpy(out, vertexSpecular, 4 * sizeof(float)); return;
            case MaterialSource::Material: Copy4(materialColor, out); return;
        }
        Unreachable();
    };
    float md[4], ma[4], ms[4], me[4];
    pick(diffuseSource_, material.diffuse, md);
    pick(ambientSource_, material.ambient, ma);
    pick(specularSource_, material.specular, ms);
    pick(emissiveSource_, material.emissive, me);

    float ambientSum[3] = {ambient_[0], ambient_[1], ambient_[2]};
    float diffuseSum[3] = {0, 0, 0};
    float specularSum[3] = {0, 0, 0};
    for (int i = 0; i < lightCount_; ++i) {
        const ViewLight& light = lights_[i];
        float toLight[3];
        float attenuation = 1.0f;
        if (light.type == LightType::Directional) {
            std::memcpy(toLight, light.direction, sizeof toLight);
        } else {
            for (int c = 0; c < 3; ++c) toLight[c] = light.position[c] - position[c];
            float distance = std::sqrt(Dot3(toLight, toLight));
            if (distance > light.range) continue;
            if (distance > 0.0f)
                for (float& c : toLight) c /= distance;
            float denominator = light.att0 + light.att1 * distance + light.att2 * distance * distance;
            attenuation = denominator > 0.0f ? 1.0f / denominator : 1.0f;
            if (light.type == LightType::Spot) {
                float rho = Dot3(toLight, light.direction);
                if (rho <= light.cosHalfPhi) {
                    attenuation = 0.0f;
                } else if (rho < light.cosHalfTheta) {
                    float t = (rho - light.cosHalfPhi) / (light.cosHalfTheta - light.cosHalfPhi);
                    attenuation *= light.falloff == 1.0f ? t : std::pow(t, light.falloff);
                }
            }
        }
        for (int c = 0; c < 3; ++c) ambientSum[c] += light.ambient[c] * attenuation;
        if (!hasNormal) continue;
        float nDotL = Dot3(normal, toLight);
        if (nDotL <= 0.0f) continue;
        for (int c = 0; c < 3; ++c) diffuseSum[c] += light.diffuse[c] * nDotL * attenuation;
        if (specularLighting_) {
            float toViewer[3] = {0.0f, 0.0f, -1.0f};
            if (localViewer_) {
                for (int c = 0; c < 3; ++c) toViewer[c] = -position[c];
                Normalize3(toViewer);
            }
            float half[3] = {toLight[0] + toViewer[0], toLight[1] + toViewer[1], toLight[2] + toViewer[2]};
            Normalize3(half);
            float nDotH = Dot3(normal, half);
            if (nDotH > 0.0f) {
                float power = std::pow(nDotH, material.power);
                for (int c = 0; c < 3; ++c) specularSum[c] += light.specular[c] * power * attenuation;
            }
        }
    }
    for (int c = 0; c < 3; ++c) {
        diffuse[c] = Clamp01(me[c] + ma[c] * ambientSum[c] + md[c] * diffuseSum[c]);
        specular[c] = Clamp01(ms[c] * specularSum[c]);
    }
    diffuse[3] = Clamp01(md[3]);
    specular[3] = Clamp01(ms[3]);
}

void VertexProcessor::Run(const VertexInput& input, std::uint32_t first, std::uint32_t count, ClipVertex* out) const {
    assert(count == 0 || static_cast<std::size_t>(first + count - 1) * input.stride + fvf_.size <= input.size);
    const auto& m = worldViewProjection_.m;
    const auto& wv = worldView_.m;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* vertex = input.data + static_cast<std::size_t>(first + i) * input.stride;
        ClipVertex& o = *out++;
        const float p[3] = {ReadFloat(vertex), ReadFloat(vertex + 4), ReadFloat(vertex + 8)};
        float vertexDiffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        float vertexSpecular[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        if (fvf_.diffuse >= 0) UnpackColor(ReadDword(vertex + fvf_.diffuse), vertexDiffuse);
        if (fvf_.specular >= 0) UnpackColor(ReadDword(vertex + fvf_.specular), vertexSpecular);

        float viewPosition[3] = {0.0f, 0.0f, 0.0f};
        if (fvf_.pretransformed) {
            // Screen position as given; the setup reads it without a divide.
            o.pos[0] = p[0];
            o.pos[1] = p[1];
            o.pos[2] = p[2];
            // An RHW of 0 is drawn as 1 (as drivers draw it): no perspective, depth and
            // pixel fog from z.
            const float rhw = ReadFloat(vertex + 12);
            o.pos[3] = rhw == 0.0f ? 1.0f : rhw;
        } else {
            for (int c = 0; c < 4; ++c) o.pos[c] = p[0] * m[0][c] + p[1] * m[1][c] + p[2] * m[2][c] + m[3][c];
            if (lighting_ || fogMode_ != FogMode::None || cameraPosition_ || pointScale_)
                for (int c = 0; c < 3; ++c) viewPosition[c] = p[0] * wv[0][c] + p[1] * wv[1][c] + p[2] * wv[2][c] + wv[3][c];
        }
        o.pointSize = PointSize(vertex, viewPosition);

        float diffuse[4], specular[4];
        float normal[3] = {0.0f, 0.0f, 0.0f};  // in view space
        const bool hasNormal = fvf_.normal >= 0;
        if ((lighting_ || cameraNormal_) && hasNormal && !fvf_.pretransformed) {
            const float n[3] = {ReadFloat(vertex + fvf_.normal), ReadFloat(vertex + fvf_.normal + 4),
                                ReadFloat(vertex + fvf_.normal + 8)};
            for (int c = 0; c < 3; ++c)
                normal[c] = n[0] * normalMatrix_[0][c] + n[1] * normalMatrix_[1][c] + n[2] * normalMatrix_[2][c];
            if (normalize_) Normalize3(normal);
        }
        if (lighting_) {
            Light(viewPosition, normal, hasNormal, vertexDiffuse, vertexSpecular, diffuse, specular);
        } else {
            std::memcpy(diffuse, vertexDiffuse, sizeof diffuse);
            std::memcpy(specular, vertexSpecular, sizeof specular);
        }
        std::memcpy(o.attr, diffuse, sizeof diffuse);
        if (layout_.specular >= 0) std::memcpy(o.attr + layout_.specular, specular, 3 * sizeof(float));
        if (layout_.fog >= 0) {
            float f = 1.0f;
            if (fvf_.pretransformed || fogMode_ == FogMode::None) {
                // Screen-space vertices, and any vertex when fog is on without a formula, carry
                // their fog factor in specular alpha.
                f = specular[3];
            } else {
                // The distance from the eye, on either side of it (geometry behind a view
                // looking down -z fogs as geometry in front does).
                float distance = rangeFog_ ? std::sqrt(Dot3(viewPosition, viewPosition)) : std::fabs(viewPosition[2]);
                switch (fogMode_) {
                    case FogMode::Linear:
                        // Where start and end coincide the fog is complete.
                        f = fogEnd_ != fogStart_ ? (fogEnd_ - distance) / (fogEnd_ - fogStart_) : 0.0f;
                        break;
                    case FogMode::Exp: f = std::exp(-distance * fogDensity_); break;
                    case FogMode::Exp2: f = std::exp(-(distance * fogDensity_) * (distance * fogDensity_)); break;
                    case FogMode::None: f = 1.0f; break;
                }
            }
            o.attr[layout_.fog] = Clamp01(f);
        }
        for (int s = 0; s < kMaxStages; ++s) {
            const int slot = layout_.texcoord[s];
            if (slot < 0) continue;
            WriteTexcoords(s, vertex, viewPosition, normal, o.attr + slot);
        }
    }
}

void VertexProcessor::WriteTexcoords(int stage, const std::uint8_t* vertex, const float viewPosition[3],
                                     const float normal[3], float* out) const {
    const TextureCoordinates& from = coordinates_[stage];
    float in[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    int count = 0;
    switch (from.source) {
        case TextureCoordinates::Source::Set:
            if (from.set < fvf_.texCount) {
                count = fvf_.texcoordFloats[from.set];
                for (int i = 0; i < count; ++i) in[i] = ReadFloat(vertex + fvf_.texcoord[from.set] + 4 * i);
            }
            break;
        case TextureCoordinates::Source::CameraNormal:
            std::memcpy(in, normal, 3 * sizeof(float));
            count = 3;
            break;
        case TextureCoordinates::Source::CameraPosition:
            std::memcpy(in, viewPosition, 3 * sizeof(float));
            count = 3;
            break;
        case TextureCoordinates::Source::CameraReflection: {
            // R = 2 (E . N) N - E, E the unit vector from the vertex to the eye (straight
            // back along the view axis for a distant viewer).
            float toEye[3] = {0.0f, 0.0f, -1.0f};
            if (localViewer_) {
                for (int c = 0; c < 3; ++c) toEye[c] = -viewPosition[c];
                Normalize3(toEye);
            }
            const float twice = 2.0f * Dot3(toEye, normal);
            for (int c = 0; c < 3; ++c) in[c] = twice * normal[c] - toEye[c];
            count = 3;
            break;
        }
        case TextureCoordinates::Source::None: break;
    }
    const float* result = in;
    float transformed[4];
    if (from.transform) {
        // The matrix takes four coordinates: the one after the last given is 1, the rest 0,
        // so that the row after a set's last coordinate translates it.
        if (count < 4) in[count] = 1.0f;
        const auto& m = textureTransform_[stage].m;
        for (int c = 0; c < 4; ++c) transformed[c] = in[0] * m[0][c] + in[1] * m[1][c] + in[2] * m[2][c] + in[3] * m[3][c];
        result = transformed;
        count = from.count;
    }
    for (int i = 0; i < layout_.texcoordCount[stage]; ++i) out[i] = i < count ? result[i] : 0.0f;
}

}  // namespace raster::detail
