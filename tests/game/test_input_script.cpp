// The capture tool's input script: events in frame order, presses split into a key-down
// and a key-up one frame later, key names, and the lines it refuses.
#include <cmath>

#include <gtest/gtest.h>

#include "capture_run.h"
#include "tools/common/input_script.h"

TEST(InputScript, EventsComeInFrameOrderWithPressesSplit) {
    std::vector<ScriptEvent> events;
    std::string error;
    ASSERT_TRUE(ParseInputScript("# comment\n"
                                 "5 keyup w\n"
                                 "\n"
                                 "2 press SPACE\n"
                                 "3 cursor -4 17\n"
                                 "3 mousedown\n"
                                 "3 deactivate\n"
                                 "9 close\n",
                                 events, error))
        << error;
    ASSERT_EQ(events.size(), 7u);
    EXPECT_EQ(events[0].frame, 2);
    EXPECT_EQ(events[0].message, WM_KEYDOWN);
    EXPECT_EQ(events[0].wParam, VK_SPACE);
    // The press's key-up comes before the later lines of frame 3.
    EXPECT_EQ(events[1].frame, 3);
    EXPECT_EQ(events[1].message, WM_KEYUP);
    EXPECT_EQ(events[1].wParam, VK_SPACE);
    EXPECT_EQ(events[2].kind, ScriptEvent::Kind::Cursor);
    EXPECT_EQ(events[2].x, -4);
    EXPECT_EQ(events[2].y, 17);
    EXPECT_EQ(events[3].message, WM_LBUTTONDOWN);
    EXPECT_EQ(events[4].message, WM_ACTIVATE);
    EXPECT_EQ(events[4].wParam, WA_INACTIVE);
    EXPECT_EQ(events[5].frame, 5);
    EXPECT_EQ(events[5].wParam, static_cast<WPARAM>('W'));
    EXPECT_EQ(events[6].message, WM_CLOSE);
}

TEST(InputScript, KeyNamesAndCharacters) {
    EXPECT_EQ(VirtualKeyFromName("ESC"), VK_ESCAPE);
    EXPECT_EQ(VirtualKeyFromName("esc"), VK_ESCAPE);
    EXPECT_EQ(VirtualKeyFromName("F12"), VK_F12);
    EXPECT_EQ(VirtualKeyFromName("LEFT"), VK_LEFT);
    EXPECT_EQ(VirtualKeyFromName("t"), static_cast<WPARAM>('T'));
    EXPECT_EQ(VirtualKeyFromName("1"), static_cast<WPARAM>('1'));
    EXPECT_EQ(VirtualKeyFromName("F13"), 0u);
    EXPECT_EQ(VirtualKeyFromName("?"), 0u);
    EXPECT_EQ(VirtualKeyFromName(""), 0u);
}

TEST(InputScript, BadLinesAreNamed) {
    const char* bad[] = {"x press W", "-1 press W", "3", "3 press", "3 press W W", "3 cursor 1",
                         "3 cursor a b", "3 mousedown 4", "3 fly", "99999999999 press W"};
    for (const char* line : bad) {
        std::vector<ScriptEvent> events;
        std::string error;
        EXPECT_FALSE(ParseInputScript(std::string("0 press W\n") + line + "\n", events, error)) << line;
        EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    }
}

// A drag through the tool: one turning step in the pass that sees the cursor move.
TEST(GameCapture, ScriptedMouseDragsTurnTheCamera) {
    const CaptureResult run = RunCapture("--frames 4", "0 cursor 100 100\n0 mousedown\n2 cursor 900 100\n");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(run.trace.size(), 4u);
    const float x1 = Camera(run.trace[1], "forward").x;
    const float x2 = Camera(run.trace[2], "forward").x;
    const float x3 = Camera(run.trace[3], "forward").x;
    EXPECT_NEAR(std::asin(x2) - std::asin(x1), 0.005, 1e-4);
    EXPECT_EQ(x3, x2);
}
