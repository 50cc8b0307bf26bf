// Lines far longer than the guard band are clipped to it, not dropped: the application's
// axis lines span the whole far distance (50000 units in the game) in each direction.
#include "raster_fixture.h"

namespace {

using rastertest::D3DState;
using rastertest::Rasterizer;
using rastertest::Target;

struct LineVertex {  // D3DFVF_XYZ | D3DFVF_DIFFUSE
    float x, y, z;
    std::uint32_t diffuse;
};

int WhitePixels(const Target& target) {
    int count = 0;
    for (std::uint32_t c : target.color) count += (c & 0xFFFFFF) == 0xFFFFFF;
    return count;
}

void CheckAxes(const float eye[3], const float at[3], float zFar) {
    const float up[3] = {0.0f, 1.0f, 0.0f};
    int previous = -1;
    for (float length : {5000.0f, 20000.0f, 50000.0f}) {
        Target target(800, 600);
        D3DState state = rastertest::BasicState(target.width, target.height, D3DFVF_XYZ | D3DFVF_DIFFUSE);
        state.view = rastertest::LookAt(eye, at, up);
        state.projection = rastertest::Perspective(3.14159265f / 4, 1.0f, 1.0f, zFar);
        const std::vector<LineVertex> axes = {
            {-length, 0, 0, 0xFFFFFFFF}, {length, 0, 0, 0xFFFFFFFF}, {0, length, 0, 0xFFFFFFFF},
            {0, -length, 0, 0xFFFFFFFF}, {0, 0, -length, 0xFFFFFFFF}, {0, 0, length, 0xFFFFFFFF}};
        Rasterizer rasterizer(1);
        rasterizer.Clear(target.View(false), state.viewport, 0, nullptr, D3DCLEAR_TARGET, 0xFF000055, 1.0f);
        rasterizer.Draw(state, target.View(false), D3DPT_LINELIST, rastertest::Input(axes), 0, 3);
        rasterizer.Flush();
        const int white = WhitePixels(target);
        EXPECT_GT(white, 200) << "axis lines of half-length " << length;
        // Longer lines only reach further: the visible part never shrinks.
        EXPECT_GE(white, previous) << "axis lines of half-length " << length;
        previous = white;
    }
}

// Inside the game's corridor, looking along it.
TEST(LongLines, AxisLinesOfAnyLengthStayVisibleFromTheStartView) {
    const float eye[3] = {250.0f, 250.0f, -20.0f};
    const float at[3] = {250.0f, 250.0f, -19.0f};
    CheckAxes(eye, at, 50000.0f);
}

// Back from the origin with the frame's default far plane: the x axis crosses the whole
// picture and the z axis runs through the far plane.
TEST(LongLines, AxisLinesOfAnyLengthStayVisibleFromBehind) {
    const float eye[3] = {300.0f, 200.0f, -800.0f};
    const float at[3] = {300.0f, 200.0f, -799.0f};
    CheckAxes(eye, at, 5000.0f);
}

}  // namespace
