// The free-flight camera: held keys, left-button drags and the view and projection the
// frame builds from it. Expected rotations are computed here from sines and cosines of
// the 0.005-radian step, not through the math library the frame uses.
#include <cmath>
#include <cstring>

#include "frame_fixture.h"

namespace {

constexpr float kStep = 0.005f;

float Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

double AngleBetween(const Vector3& a, const Vector3& b) {
    const double c = Dot(a, b) / std::sqrt(double(Dot(a, a)) * Dot(b, b));
    return std::acos(std::fmin(1.0, c));
}

void ExpectVector(const Vector3& v, double x, double y, double z, double tolerance = 1e-6) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

}  // namespace

TEST_F(FrameTest, HeldKeysStepTogetherAndOppositeKeysCancel) {
    ASSERT_GE(CreateLikeTheGame(), 0);
    std::vector<Vector3> positions;
    // Each key down is followed by its WM_CHAR, which takes a pass of its own.
    RunPasses({{0, WM_KEYDOWN, 'W'}, {2, WM_KEYDOWN, 'S'}, {4, WM_KEYDOWN, 'D'}, {6, WM_KEYDOWN, VK_SPACE},
               {8, WM_KEYUP, 'W'}, {10, WM_KEYDOWN, 'A'}, {12, WM_KEYDOWN, 'C'}},
              14, [&](int, bool) { positions.push_back(app->m_camera.position); });
    ASSERT_EQ(positions.size(), 14u);
    ExpectVector(positions[0], 300, 200, -795, 0);  // W alone
    ExpectVector(positions[1], 300, 200, -790, 0);
    ExpectVector(positions[2], 300, 200, -790, 0);  // W and S: no net movement
    ExpectVector(positions[3], 300, 200, -790, 0);
    ExpectVector(positions[4], 305, 200, -790, 0);  // D: right
    ExpectVector(positions[5], 310, 200, -790, 0);
    ExpectVector(positions[6], 315, 205, -790, 0);  // D and Space
    ExpectVector(positions[7], 320, 210, -790, 0);
    ExpectVector(positions[8], 325, 215, -795, 0);  // S, D, Space
    ExpectVector(positions[9], 330, 220, -800, 0);
    ExpectVector(positions[10], 330, 225, -805, 0);  // A cancels D
    ExpectVector(positions[11], 330, 230, -810, 0);
    ExpectVector(positions[12], 330, 230, -815, 0);  // C cancels Space
    ExpectVector(positions[13], 330, 230, -820, 0);
}

TEST_F(FrameTest, TurningMovesForwardAndRightAboutUpAndPitchingLeavesRightAlone) {
    ASSERT_GE(CreateLikeTheGame(), 0);
    std::vector<CameraFrame> frames;
    RunPasses({{0, WM_KEYDOWN, VK_RIGHT}, {1, WM_KEYUP, VK_RIGHT}, {2, WM_KEYDOWN, VK_UP}}, 3,
              [&](int, bool) { frames.push_back(app->m_camera); });
    ASSERT_EQ(frames.size(), 3u);
    // Turning right by one step: +z toward +x, and right toward -z.
    const double s = std::sin(kStep), c = std::cos(kStep);
    ExpectVector(frames[0].forward, s, 0, c);
    ExpectVector(frames[0].right, c, 0, -s);
    ExpectVector(frames[0].up, 0, 1, 0, 0);
    // Pass 1 releases the key: no step.
    EXPECT_EQ(std::memcmp(&frames[0], &frames[1], sizeof(CameraFrame)), 0);
    // Pass 2 looks up by one step: forward tilts toward +y about right.
    EXPECT_NEAR(frames[2].forward.y, s, 1e-6);
    EXPECT_NEAR(AngleBetween(frames[1].forward, frames[2].forward), kStep, 1e-5);
    EXPECT_EQ(frames[2].right.x, frames[1].right.x);
    EXPECT_EQ(frames[2].right.z, frames[1].right.z);
    EXPECT_EQ(frames[2].up.y, 1.0f);
}

TEST_F(FrameTest, PitchStopsAtTheLimitAndTurningNeverDoes) {
    // forward.y exactly at +0.95: looking up does nothing, looking down works.
    const float y = 0.95f;
    const float z = std::sqrt(1.0f - y * y);
    app->start = CameraFrame{{1, 0, 0}, {0, 1, 0}, {0, y, z}, {0, 0, 0}};
    ASSERT_GE(CreateLikeTheGame(), 0);
    std::vector<Vector3> forward;
    RunPasses({{0, WM_KEYDOWN, VK_UP}, {3, WM_KEYUP, VK_UP}, {4, WM_KEYDOWN, VK_DOWN}}, 6,
              [&](int pass, bool) {
                  forward.push_back(app->m_camera.forward);
                  if (pass == 4) {
                      // Now at -0.95 and looking down: nothing.
                      app->m_camera.forward = {0, -y, z};
                  }
              });
    ASSERT_EQ(forward.size(), 6u);
    for (int pass = 0; pass < 4; ++pass)
        ExpectVector(forward[pass], 0, y, z, 0);
    EXPECT_LT(forward[4].y, y);
    ExpectVector(forward[5], 0, -y, z, 0);

    // Turning goes on whatever the pitch.
    const Vector3 before = app->m_camera.forward;
    app->MoveCamera(kTurnLeft);
    EXPECT_NEAR(AngleBetween(before, app->m_camera.forward), kStep * z, 1e-4);
    // Codes outside 0 to 9 do nothing.
    const CameraFrame unchanged = app->m_camera;
    EXPECT_EQ(app->MoveCamera(10), 0);
    EXPECT_EQ(app->MoveCamera(-1), 0);
    EXPECT_EQ(std::memcmp(&unchanged, &app->m_camera, sizeof unchanged), 0);
}

// A drag turns by one step per direction and frame, however far the mouse went; the
// inverted mouse swaps up and down; the last cursor is kept only while the button is held.
TEST_F(FrameTest, MouseDragsTakeOneStepPerDirectionWhateverTheDistance) {
    ASSERT_GE(CreateLikeTheGame(), 0);
    const POINT cursor[] = {{100, 100}, {101, 100}, {201, 100}, {201, 150}, {201, 150},
                            {201, 100}, {300, 300}, {300, 300}, {300, 300}};
    std::vector<CameraFrame> frames;
    std::vector<POINT> last;
    PassHooks hooks;
    const std::vector<Post> posts = {
        {0, WM_LBUTTONDOWN, 0}, {4, WM_KEYUP, VK_F3}, {6, WM_LBUTTONUP, 0}, {7, WM_LBUTTONDOWN, 0}};
    hooks.before = [&](int pass) {
        host::SetCursorPosition(cursor[pass].x, cursor[pass].y);
        for (const Post& post : posts) {
            if (post.pass == pass)
                PostMessageA(app->m_hWnd, post.message, post.wParam, post.lParam);
        }
    };
    hooks.after = [&](int pass, bool) {
        frames.push_back(app->m_camera);
        last.push_back(app->m_lastCursor);
        return pass + 1 < 9;
    };
    app->SetPassHooks(hooks);
    app->Run();
    ASSERT_EQ(frames.size(), 9u);

    // Passes 1 and 2: one pixel and a hundred pixels to the right turn by the same step.
    EXPECT_NEAR(AngleBetween(frames[0].forward, frames[1].forward), kStep, 1e-5);
    EXPECT_NEAR(AngleBetween(frames[1].forward, frames[2].forward), kStep, 1e-5);
    EXPECT_GT(frames[2].forward.x, frames[1].forward.x);
    EXPECT_EQ(frames[1].forward.y, frames[2].forward.y);
    // Pass 3: the mouse moves down (y grows): look down.
    EXPECT_LT(frames[3].forward.y, frames[2].forward.y);
    EXPECT_NEAR(AngleBetween(frames[2].forward, frames[3].forward), kStep, 1e-5);
    // Pass 4: F3, no movement.
    EXPECT_EQ(std::memcmp(&frames[3], &frames[4], sizeof(CameraFrame)), 0);
    // Pass 5: inverted, the mouse moves up: look down.
    EXPECT_LT(frames[5].forward.y, frames[4].forward.y);
    // Pass 6: button released first, then the cursor is not read nor kept.
    EXPECT_EQ(std::memcmp(&frames[5], &frames[6], sizeof(CameraFrame)), 0);
    EXPECT_EQ(last[6].x, 201);
    EXPECT_EQ(last[6].y, 100);
    // Pass 7: pressed again at (300, 300), compared with (201, 100): right and (inverted) up.
    EXPECT_GT(frames[7].forward.x, frames[6].forward.x);
    EXPECT_GT(frames[7].forward.y, frames[6].forward.y);
    EXPECT_EQ(last[7].x, 300);
    // Pass 8: held still, no step.
    EXPECT_EQ(std::memcmp(&frames[7], &frames[8], sizeof(CameraFrame)), 0);
}

TEST_F(FrameTest, TheStartFrameLooksAlongPlusZWithASquareProjection) {
    app->start = CameraFrame{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {250, 250, -20}};
    ASSERT_GE(CreateLikeTheGame(), 0);
    app->SetCameraFrame(&app->start);
    ASSERT_EQ(app->SetupMatrices(), D3D_OK);

    D3DMATRIX world{}, view{}, projection{};
    app->m_pDevice->GetTransform(D3DTS_WORLD, &world);
    app->m_pDevice->GetTransform(D3DTS_VIEW, &view);
    app->m_pDevice->GetTransform(D3DTS_PROJECTION, &projection);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(world.m[r][c], r == c ? 1.0f : 0.0f);
    }
    // Row vectors: the eye (250, 250, -20) goes to the origin, the target (250, 250, -19)
    // one unit down +z, and up stays +y.
    const float expectedView[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {-250, -250, 20, 1}};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(view.m[r][c], expectedView[r][c], 1e-6) << r << c;
    }
    const float target[4] = {250, 250, -19, 1};
    float viewed[4] = {};
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r)
            viewed[c] += target[r] * view.m[r][c];
    }
    EXPECT_NEAR(viewed[0], 0, 1e-4);
    EXPECT_NEAR(viewed[1], 0, 1e-4);
    EXPECT_NEAR(viewed[2], 1, 1e-4);

    // Field of view pi/4, aspect 1 (the 800 by 600 window is stretched), near 1, far 5000.
    const double cot = 1.0 / std::tan(3.14159265358979323846 / 8);
    EXPECT_NEAR(projection._11, cot, 1e-5);
    EXPECT_NEAR(projection._22, cot, 1e-5);
    EXPECT_NEAR(projection._33, 5000.0 / 4999.0, 1e-6);
    EXPECT_EQ(projection._34, 1.0f);
    EXPECT_NEAR(projection._43, -5000.0 / 4999.0, 1e-5);
    EXPECT_EQ(projection._44, 0.0f);
    EXPECT_EQ(projection._12, 0.0f);
    EXPECT_EQ(projection._31, 0.0f);
}
