// The game end to end through tolvane-capture: the program's entry and GameApp on the
// headless display, driven by scripted input, observed through the trace and the shots.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <cmath>
#include <cstdint>
#include <thread>

#include "capture_run.h"
#include "tests/support/image_files.h"

namespace {

void ExpectNear(const Vector3& v, float x, float y, float z, float tolerance = 1e-4f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

void ExpectSame(const Vector3& a, const Vector3& b) {
    EXPECT_EQ(a.x, b.x);
    EXPECT_EQ(a.y, b.y);
    EXPECT_EQ(a.z, b.z);
}

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
    std::uint32_t At(int x, int y) const {
        const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
        return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    }
};

bool ReadPng(const std::string& file, Picture& picture) {
    return support::ReadPngRgb(file, picture.width, picture.height, picture.rgb);
}

}  // namespace

TEST(GameCapture, TheFirstFrameLooksAlongTheCorridorFromTheStart) {
    const std::string first = TempPath("first.png");
    const std::string later = TempPath("later.png");
    const CaptureResult run = RunCapture("--frames 30 --shot 0:'" + first + "' --shot 29:'" + later + "'");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(run.trace.size(), 30u);
    const std::string& pass = run.trace[0];
    EXPECT_TRUE(Flag(pass, "rendered"));
    ExpectNear(Camera(pass, "position"), 250, 250, -20, 0);
    ExpectNear(Camera(pass, "forward"), 0, 0, 1, 0);
    ExpectNear(Camera(pass, "right"), 1, 0, 0, 0);
    ExpectNear(Camera(pass, "up"), 0, 1, 0, 0);
    EXPECT_EQ(Number(pass, "speed"), 5.0f);
    EXPECT_FALSE(Flag(pass, "paused") || Flag(pass, "chaseA") || Flag(pass, "chaseB") ||
                 Flag(pass, "autopilot") || Flag(pass, "blend"));
    // Drawn first, then moved: after the pass vehicle A has made one step straight ahead...
    ExpectNear(Vehicle(pass, 0, "position"), 250, 250, 5);
    ExpectNear(Vehicle(pass, 0, "target"), 250, 250, 5000, 0);
    // ...and vehicle B's first waypoint lies to its left: it yawed by -0.0087 rad.
    const Vector3 forwardB = Vehicle(pass, 1, "forward");
    EXPECT_NEAR(forwardB.x, -std::sin(0.0087f), 1e-5);
    EXPECT_NEAR(forwardB.z, std::cos(0.0087f), 1e-5);

    // Vehicle A starts 20 units ahead of the camera: its black back fills the first frame.
    Picture picture;
    ASSERT_TRUE(ReadPng(first, picture));
    std::remove(first.c_str());
    ASSERT_EQ(picture.width, 800);
    ASSERT_EQ(picture.height, 600);
    int black = 0;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x)
            black += picture.At(x, y) == 0;
    }
    EXPECT_EQ(black, picture.width * picture.height);

    // 150 units further the vehicle is a black block in the middle, with the textured
    // walls around it and the dim, untextured floor and ceiling (a quarter of white).
    ASSERT_TRUE(ReadPng(later, picture));
    std::remove(later.c_str());
    EXPECT_EQ(picture.At(400, 300), 0u);
    int dim = 0, textured = 0;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t c = picture.At(x, y);
            dim += c == 0x404040u || c == 0x3F3F3Fu;
            textured += c != 0 && c != 0x404040u && c != 0x3F3F3Fu && c != 0x000055u;
        }
    }
    const int total = picture.width * picture.height;
    EXPECT_GT(dim, total / 20);
    EXPECT_GT(textured, total / 2);
}

// A chase key places the camera above and behind the vehicle at once; from the next
// rendered frame the chase keeps it 200 behind, oriented like the vehicle.
TEST(GameCapture, ChaseKeysPlaceTheCameraAndTheChaseFollows) {
    // Paused while the keys are pressed, so that the trace shows the key's placement. A
    // digit's key down is followed by its WM_CHAR, which takes a pass of its own: '1' is
    // down in pass 3, typed in 4 and released in 5.
    const CaptureResult run = RunCapture("--frames 17",
                                         "0 press F12\n"
                                         "3 press 1\n"
                                         "6 press F12\n"
                                         "9 press F12\n"
                                         "12 press 2\n"
                                         "15 press F12\n");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(run.trace.size(), 17u);
    const std::string& placedA = run.trace[5];
    EXPECT_FALSE(Flag(placedA, "rendered"));
    EXPECT_TRUE(Flag(placedA, "chaseA"));
    const Vector3 a = Vehicle(placedA, 0, "position");
    ExpectNear(Camera(placedA, "position"), a.x, a.y + 50, a.z - 100, 0);
    ExpectSame(Camera(placedA, "forward"), Vehicle(placedA, 0, "forward"));
    ExpectSame(Camera(placedA, "right"), Vehicle(placedA, 0, "right"));

    const std::string& chasedA = run.trace[7];
    EXPECT_TRUE(Flag(chasedA, "rendered"));
    const Vector3 a5 = Vehicle(chasedA, 0, "position");
    const Vector3 f5 = Vehicle(chasedA, 0, "forward");
    ExpectNear(Camera(chasedA, "position"), a5.x - 200 * f5.x, a5.y - 200 * f5.y, a5.z - 200 * f5.z, 1e-3f);
    ExpectSame(Camera(chasedA, "up"), Vehicle(chasedA, 0, "up"));

    // '2' switches from chase A to chase B.
    const std::string& placedB = run.trace[14];
    EXPECT_FALSE(Flag(placedB, "rendered"));
    EXPECT_TRUE(Flag(placedB, "chaseB"));
    EXPECT_FALSE(Flag(placedB, "chaseA"));
    const Vector3 b = Vehicle(placedB, 1, "position");
    ExpectNear(Camera(placedB, "position"), b.x, b.y + 50, b.z - 100, 0);
    ExpectSame(Camera(placedB, "forward"), Vehicle(placedB, 1, "forward"));

    const std::string& chasedB = run.trace[16];
    const Vector3 b11 = Vehicle(chasedB, 1, "position");
    const Vector3 f11 = Vehicle(chasedB, 1, "forward");
    ExpectNear(Camera(chasedB, "position"), b11.x - 200 * f11.x, b11.y - 200 * f11.y, b11.z - 200 * f11.z, 1e-3f);
}

TEST(GameCapture, TheAutopilotFliesItsRouteFromTheStartFrame) {
    const CaptureResult run = RunCapture("--frames 8",
                                         "0 keydown W\n"
                                         "1 keyup W\n"
                                         "2 press 3\n");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(run.trace.size(), 8u);
    // W moved the camera off the start; '3' (down in pass 3 behind W's WM_CHAR and key up,
    // typed in 4, released in 5) resets it and the autopilot flies straight on: -15, -10,
    // then the first target (250, 250, 0) is within 10 and the next one lies straight ahead.
    EXPECT_FALSE(Flag(run.trace[4], "autopilot"));
    EXPECT_TRUE(Flag(run.trace[5], "autopilot"));
    const float expectedZ[] = {-15, -10, -5};
    for (int i = 0; i < 3; ++i) {
        ExpectNear(Camera(run.trace[5 + i], "position"), 250, 250, expectedZ[i], 0);
        ExpectNear(Camera(run.trace[5 + i], "forward"), 0, 0, 1, 0);
    }
}

TEST(GameCapture, VCyclesTheSpeedBackToOneAfterTen) {
    // Each press: down, its WM_CHAR, then the release that changes the speed.
    std::string script;
    for (int i = 0; i < 7; ++i)
        script += std::to_string(3 * i) + " press V\n";
    const CaptureResult run = RunCapture("--frames 21", script);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::vector<float> speeds;
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(Number(run.trace[3 * i + 1], "speed"), i == 0 ? 5 : speeds.back());
        speeds.push_back(Number(run.trace[3 * i + 2], "speed"));
    }
    EXPECT_EQ(speeds, (std::vector<float>{6, 7, 8, 9, 10, 1, 2}));
}

TEST(GameCapture, PauseAndDeactivationFreezeTheVehicles) {
    const CaptureResult run = RunCapture("--frames 10",
                                         "1 press F12\n"
                                         "4 press F12\n"
                                         "6 deactivate\n"
                                         "8 activate\n");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(run.trace.size(), 10u);
    const std::vector<bool> expected = {true, true, false, false, false, true, false, false, true, true};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(Flag(run.trace[i], "rendered"), expected[i]) << i;
        EXPECT_EQ(Flag(run.trace[i], "paused"), !expected[i]) << i;
        if (i > 0 && !expected[i]) {
            ExpectSame(Vehicle(run.trace[i], 0, "position"), Vehicle(run.trace[i - 1], 0, "position"));
            ExpectSame(Vehicle(run.trace[i], 1, "forward"), Vehicle(run.trace[i - 1], 1, "forward"));
        }
    }
    // Five rendered frames: vehicle A is five steps along.
    ExpectNear(Vehicle(run.trace[9], 0, "position"), 250, 250, 25);
}

// Blending changes the corridor's walls; the vehicle drawn after it is not blended.
TEST(GameCapture, TBlendsTheCorridorOnly) {
    const std::string plain = TempPath("plain.png");
    const std::string blended = TempPath("blended.png");
    const CaptureResult run =
        RunCapture("--frames 43 --shot 40:'" + plain + "' --shot 42:'" + blended + "'", "40 press T\n");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    // Down in pass 40, typed in 41, released in 42.
    EXPECT_FALSE(Flag(run.trace[41], "blend"));
    EXPECT_TRUE(Flag(run.trace[42], "blend"));
    Picture a, b;
    ASSERT_TRUE(ReadPng(plain, a));
    ASSERT_TRUE(ReadPng(blended, b));
    std::remove(plain.c_str());
    std::remove(blended.c_str());
    ASSERT_EQ(a.rgb.size(), b.rgb.size());
    int changed = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x)
            changed += a.At(x, y) != b.At(x, y);
    }
    EXPECT_GT(changed, a.width * a.height * 2 / 5);
    // The middle of the picture is vehicle A's black back in both frames.
    for (int y = 290; y < 310; ++y) {
        for (int x = 390; x < 410; ++x) {
            EXPECT_EQ(a.At(x, y), 0u);
            EXPECT_EQ(b.At(x, y), 0u);
        }
    }
}

TEST(GameCapture, EscapeEndsTheProgramWithExitCodeZero) {
    const CaptureResult run = RunCapture("--frames 50", "0 press ESC\n");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    // Down in pass 0, its WM_CHAR in pass 1, up in pass 2 (which posts the quit), the
    // quit retrieved in pass 3.
    EXPECT_EQ(run.trace.size(), 4u);
    const CaptureResult closed = RunCapture("--frames 50", "3 close\n");
    EXPECT_EQ(closed.exitCode, 0) << closed.output;
    EXPECT_EQ(closed.trace.size(), 5u);
}

// Ctrl-C (SIGINT) and kill (SIGTERM) close the window: the game shuts down as on Esc and
// the program exits with code 0, long before its last frame.
TEST(GameCapture, InterruptAndTerminateEndTheProgramWithExitCodeZero) {
    for (int signal : {SIGINT, SIGTERM}) {
        const std::string trace = TempPath("signal_trace.jsonl");
        const std::string program = std::string(TOLVANE_BINARY_DIR) + "/bin/tolvane-capture";
        std::vector<std::string> arguments = {program, "--frames", "100000000", "--trace", trace};
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        // Started from the source folder, where the Textures folder is.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addchdir_np(&actions, TOLVANE_SOURCE_DIR);
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ASSERT_EQ(spawned, 0) << program;

        // Running: a few passes in the trace.
        auto passes = [&] {
            std::ifstream in(trace);
            return std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n');
        };
        for (int i = 0; i < 600 && passes() < 5; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_GE(passes(), 5) << "the program did not start running";
        ASSERT_EQ(kill(pid, signal), 0);
        int status = 0;
        pid_t ended = 0;
        for (int i = 0; i < 400 && ended == 0; ++i) {
            ended = waitpid(pid, &status, WNOHANG);
            if (ended == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (ended == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "signal " << signal << " did not end the program";
            continue;
        }
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_EQ(WEXITSTATUS(status), 0) << "signal " << signal;
        std::remove(trace.c_str());
    }
}

TEST(GameCapture, TheTraceIsTheSameFromRunToRun) {
    const std::string script = "0 press 3\n12 press 2\n";
    const CaptureResult first = RunCapture("--frames 20", script);
    const CaptureResult second = RunCapture("--frames 20", script);
    ASSERT_EQ(first.exitCode, 0) << first.output;
    ASSERT_EQ(first.trace.size(), 20u);
    EXPECT_EQ(first.trace, second.trace);
}

TEST(GameCapture, BadInputIsRefusedWithAMessage) {
    const CaptureResult badEvent = RunCapture("--frames 5", "0 press 3\n2 jump W\n");
    EXPECT_EQ(badEvent.exitCode, 2);
    EXPECT_NE(badEvent.output.find("line 2"), std::string::npos) << badEvent.output;
    const CaptureResult badKey = RunCapture("--frames 5", "0 keydown F13\n");
    EXPECT_EQ(badKey.exitCode, 2);
    EXPECT_NE(badKey.output.find("F13"), std::string::npos) << badKey.output;
    const CaptureResult badFrames = RunCapture("--frames -3");
    EXPECT_EQ(badFrames.exitCode, 2);
    const CaptureResult badTargets = RunCapture("--frames 2 --targets avx2,warp9");
    EXPECT_EQ(badTargets.exitCode, 2);
    EXPECT_NE(badTargets.output.find("warp9"), std::string::npos) << badTargets.output;
    EXPECT_EQ(RunCapture("--frames 2 --threads many").exitCode, 2);
    // A shot of a pass that presented nothing (paused) is reported, not written.
    const std::string shot = TempPath("never.png");
    const CaptureResult paused = RunCapture("--frames 4 --shot 3:'" + shot + "'", "0 press F12\n");
    EXPECT_EQ(paused.exitCode, 3);
    EXPECT_NE(paused.output.find("pass 3"), std::string::npos) << paused.output;
    std::FILE* file = std::fopen(shot.c_str(), "rb");
    EXPECT_EQ(file, nullptr);
    if (file)
        std::fclose(file);
}

TEST(GameCapture, StatsReportTheFramesRendered) {
    const CaptureResult run = RunCapture("--frames 5 --stats");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("{\"frames\":5,\"median_ms\":"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("\"fps\":"), std::string::npos) << run.output;
}

// The vector target and the thread count change the speed, never the picture: the portable
// fallback on one thread draws the frame every target on every core draws.
TEST(GameCapture, TargetsAndThreadsLeaveTheFramesAsTheyAre) {
    const std::string all = TempPath("targets_all.png"), narrow = TempPath("targets_narrow.png");
    const CaptureResult wide = RunCapture("--frames 3 --shot 2:'" + all + "'");
    const CaptureResult fallback = RunCapture("--frames 3 --targets emu128,scalar --threads 1 --shot 2:'" + narrow + "'");
    ASSERT_EQ(wide.exitCode, 0) << wide.output;
    ASSERT_EQ(fallback.exitCode, 0) << fallback.output;
    Picture a, b;
    ASSERT_TRUE(ReadPng(all, a));
    ASSERT_TRUE(ReadPng(narrow, b));
    EXPECT_TRUE(a.rgb == b.rgb);
}
