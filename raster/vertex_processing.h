// Vertex processing: decoding of the flexible vertex format, world x view x projection,
// lighting and vertex fog.
#pragma once

#include "raster/pipeline.h"

namespace raster::detail {

// Byte offsets of the elements of a flexible vertex format (-1: absent).
struct FvfLayout {
    bool pretransformed = false;  // XYZRHW: screen x, y, z and 1/w
    int normal = -1;
    int pointSize = -1;
    int diffuse = -1;
    int specular = -1;
    int texCount = 0;
    int texcoord[8] = {};
    int texcoordFloats[8] = {};
    int size = 0;  // bytes of one vertex
};

// Decodes fvf; false when the position type is not one the pipeline reads.
bool DecodeFvf(DWORD fvf, FvfLayout& layout);

// Where a stage's texture coordinates come from (TEXCOORDINDEX) and what the texture
// transform makes of them (TEXTURETRANSFORMFLAGS).
struct TextureCoordinates {
    enum class Source : std::uint8_t { Set, CameraNormal, CameraPosition, CameraReflection, None };
    Source source = Source::Set;
    int set = 0;             // Source::Set: the vertex's coordinate set
    int count = 2;           // coordinates the stage receives (0: none, read as zeros)
    bool transform = false;  // through the stage's D3DTS_TEXTUREn matrix, keeping count of them
    bool projected = false;  // the last of them divides the others, per pixel
};
TextureCoordinates StageCoordinates(const PipelineState& state, int stage, const FvfLayout& fvf);

struct Matrix4 {
    float m[4][4];
};

class VertexProcessor {
public:
    // Prepares the transforms, lights and fog of a draw.
    void Prepare(const PipelineState& state, const AttributeLayout& layout);
    // Processes count vertices starting at vertex first of input into out.
    void Run(const VertexInput& input, UINT first, UINT count, ClipVertex* out) const;
    bool Pretransformed() const { return fvf_.pretransformed; }

private:
    void Light(const float position[3], const float normal[3], bool hasNormal, const float vertexDiffuse[4],
               const float vertexSpecular[4], float diffuse[4], float specular[4]) const;

    // The stage's coordinates of a vertex (layout texcoordCount of them) into out.
    void WriteTexcoords(int stage, const std::uint8_t* vertex, const float viewPosition[3], const float normal[3],
                            float* out) const;

    const PipelineState* state_ = nullptr;
    AttributeLayout layout_;
    FvfLayout fvf_;
    Matrix4 worldViewProjection_{};
    Matrix4 worldView_{};
    float normalMatrix_[3][3] = {};  // inverse transpose of worldView's upper 3x3
    bool lighting_ = false;
    bool specularLighting_ = false;
    bool normalize_ = false;
    bool localViewer_ = true;
    DWORD diffuseSource_ = D3DMCS_MATERIAL, specularSource_ = D3DMCS_MATERIAL;
    DWORD ambientSource_ = D3DMCS_MATERIAL, emissiveSource_ = D3DMCS_MATERIAL;
    float ambient_[4] = {};
    FogMode fogMode_ = FogMode::None;
    bool rangeFog_ = false;
    float fogStart_ = 0.0f, fogEnd_ = 1.0f, fogDensity_ = 1.0f;
    TextureCoordinates coordinates_[kMaxStages];
    Matrix4 textureTransform_[kMaxStages] = {};
    bool cameraNormal_ = false;    // a stage generates from the camera-space normal
    bool cameraPosition_ = false;  // or from the camera-space position
    // Lights moved to view space.
    struct ViewLight {
        D3DLIGHTTYPE type;
        float position[3];
        float direction[3];  // unit vector towards the light (directional and spot)
        float diffuse[4], specular[4], ambient[4];
        float range, falloff, att0, att1, att2, cosHalfTheta, cosHalfPhi;
    };
    int lightCount_ = 0;
    ViewLight lights_[PipelineState::kMaxLights] = {};
};

}  // namespace raster::detail
