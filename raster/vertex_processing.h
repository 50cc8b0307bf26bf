// Vertex processing: world x view x projection, lighting, texture coordinates and vertex
// fog, the fixed-function vertex stage.
#pragma once

#include "raster/pipeline.h"

namespace raster::detail {

// Where a stage's texture coordinates come from and what the texture transform makes of
// them, for the draw's vertex layout.
struct TextureCoordinates {
    using Source = CoordinateSource;
    Source source = Source::Set;
    int set = 0;             // Source::Set: the vertex's coordinate set
    int count = 2;           // coordinates the stage receives (0: none, read as zeros)
    bool transform = false;  // through the stage's texture transform, keeping count of them
    bool projected = false;  // the last of them divides the others, per pixel
};
TextureCoordinates StageCoordinates(const PipelineState& state, int stage);

struct Matrix4 {
    float m[4][4];
};

class VertexProcessor {
public:
    // Prepares the transforms, lights and fog of a draw. A draw with a vertex program
    // (state.states.vertexProgram) runs that in the place of Prepare and Run, writing the
    // same ClipVertex outputs (Rasterizer::Impl::RunVertexProgram).
    void Prepare(const PipelineState& state, const AttributeLayout& layout);
    // Processes count vertices starting at vertex first of input into out.
    void Run(const VertexInput& input, std::uint32_t first, std::uint32_t count, ClipVertex* out) const;
    bool Pretransformed() const { return fvf_.pretransformed; }

private:
    // The steps of Prepare: the normal matrix, the lighting switches and material sources
    // with vertex fog, each stage's coordinate source and transform, the lights in view space.
    void PrepareNormals();
    void PrepareColorsAndFog(const DrawState& states);
    void PrepareCoordinates(const PipelineState& state);
    void PrepareLights(const PipelineState& state);
    void PreparePointSize(const PipelineState& state);
    // A vertex's point size in pixels before clamping: its own size or the state's, scaled
    // by its distance from the eye when the draw scales points.
    float PointSize(const std::uint8_t* vertex, const float viewPosition[3]) const;
    void Light(const float position[3], const float normal[3], bool hasNormal, const float vertexDiffuse[4],
               const float vertexSpecular[4], float diffuse[4], float specular[4]) const;

    // The stage's coordinates of a vertex (layout texcoordCount of them) into out.
    void WriteTexcoords(int stage, const std::uint8_t* vertex, const float viewPosition[3], const float normal[3],
                            float* out) const;

    const PipelineState* state_ = nullptr;
    AttributeLayout layout_;
    VertexLayout fvf_;
    Matrix4 worldViewProjection_{};
    Matrix4 worldView_{};
    float normalMatrix_[3][3] = {};  // inverse transpose of worldView's upper 3x3
    bool lighting_ = false;
    bool specularLighting_ = false;
    bool normalize_ = false;
    bool localViewer_ = true;
    MaterialSource diffuseSource_ = MaterialSource::Material, specularSource_ = MaterialSource::Material;
    MaterialSource ambientSource_ = MaterialSource::Material, emissiveSource_ = MaterialSource::Material;
    float ambient_[4] = {};
    FogMode fogMode_ = FogMode::None;
    bool rangeFog_ = false;
    float fogStart_ = 0.0f, fogEnd_ = 1.0f, fogDensity_ = 1.0f;
    TextureCoordinates coordinates_[kMaxStages];
    Matrix4 textureTransform_[kMaxStages] = {};
    bool cameraNormal_ = false;    // a stage generates from the camera-space normal
    bool cameraPosition_ = false;  // or from the camera-space position
    float pointSize_ = 1.0f;
    bool pointScale_ = false;
    float pointScaleA_ = 1.0f, pointScaleB_ = 0.0f, pointScaleC_ = 0.0f, viewportHeight_ = 0.0f;
    // Lights moved to view space.
    struct ViewLight {
        LightType type;
        float position[3];
        float direction[3];  // unit vector towards the light (directional and spot)
        float diffuse[4], specular[4], ambient[4];
        float range, falloff, att0, att1, att2, cosHalfTheta, cosHalfPhi;
    };
    int lightCount_ = 0;
    ViewLight lights_[kMaxLights] = {};
};

}  // namespace raster::detail
