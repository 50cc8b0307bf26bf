// Golden shots: chosen frames of a scripted run compared with stored pictures. The
// tolerance lets the rasterizer change its rounding, not the picture: at most 1% of the
// pixels may differ by more than 48 in a channel, and the mean difference over every
// channel must stay under 3. TOLVANE_UPDATE_GOLDEN=1 writes the stored pictures anew.

#include <cstdlib>
#include <cstdint>

#include "capture_run.h"
#include "tests/support/image_files.h"

namespace {

struct Rgb {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

bool Read(const std::string& file, Rgb& picture) {
    return support::ReadPngRgb(file, picture.width, picture.height, picture.pixels);
}

struct Golden {
    int frame;
    const char* name;
};

// Chase vehicle B, free flight again at that place, blending, wireframe. A key that types
// a character holds its release back by a pass (its WM_CHAR comes first): the second '2'
// is released in pass 7.
constexpr const char kScript[] = "0 press 2\n5 press 2\n8 press T\n11 press F2\n";
constexpr Golden kGoldens[] = {{5, "chase_b"}, {7, "free_after_chase"}, {10, "blend"}, {13, "wireframe"}};

}  // namespace

TEST(GameGolden, ChosenFramesMatchTheStoredPictures) {
    std::string arguments = "--frames 14";
    for (const Golden& golden : kGoldens)
        arguments += " --shot " + std::to_string(golden.frame) + ":'" + TempPath(golden.name) + ".png'";
    const CaptureResult run = RunCapture(arguments, kScript);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const bool update = std::getenv("TOLVANE_UPDATE_GOLDEN") != nullptr;
    for (const Golden& golden : kGoldens) {
        const std::string shot = TempPath(golden.name) + ".png";
        const std::string stored = std::string(TOLVANE_SOURCE_DIR) + "/tests/game/golden/" + golden.name + ".png";
        if (update) {
            ASSERT_EQ(std::rename(shot.c_str(), stored.c_str()), 0) << stored;
            continue;
        }
        Rgb actual, expected;
        ASSERT_TRUE(Read(shot, actual)) << shot;
        std::remove(shot.c_str());
        ASSERT_TRUE(Read(stored, expected)) << stored;
        ASSERT_EQ(actual.width, expected.width);
        ASSERT_EQ(actual.height, expected.height);
        long long sum = 0;
        int far = 0;
        for (std::size_t p = 0; p < actual.pixels.size(); p += 3) {
            int worst = 0;
            for (int c = 0; c < 3; ++c) {
                const int d = std::abs(actual.pixels[p + c] - expected.pixels[p + c]);
                sum += d;
                worst = std::max(worst, d);
            }
            far += worst > 48;
        }
        const int pixels = actual.width * actual.height;
        EXPECT_LE(far, pixels / 100) << golden.name;
        EXPECT_LT(static_cast<double>(sum) / static_cast<double>(actual.pixels.size()), 3.0) << golden.name;
    }
}
