// The window layer on the headless display: classes, windows, the message queue,
// dispatching, message boxes and the cursor.
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win32/host.h"

namespace {

struct Call {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Call> g_calls;
constexpr UINT WM_USER_TEST = 0x0401;  // a message of the program's own

LRESULT RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_calls.push_back(Call{hwnd, message, wParam, lParam});
    return static_cast<LRESULT>(message) * 10;
}

LRESULT DefaultProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_calls.push_back(Call{hwnd, message, wParam, lParam});
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class HeadlessWindow : public ::testing::Test {
protected:
    void SetUp() override {
        host::Shutdown();
        host::SetHeadless(true);
        host::ClearMessageBoxLog();
        g_calls.clear();
    }
    void TearDown() override { host::Shutdown(); }

    static ATOM Register(const char* name, WNDPROC proc = RecordingProc) {
        WNDCLASSA wc{};
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = proc;
        wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
        wc.hCursor = LoadCursorA(nullptr, IDC_CROSS);
        wc.hbrBackground = static_cast<HBRUSH>(static_cast<void*>(GetStockObject(BLACK_BRUSH)));
        wc.lpszClassName = name;
        return RegisterClassA(&wc);
    }
    static HWND Create(const char* className, const char* title = "Tolvane", int width = 800, int height = 600) {
        return CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, width, height, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    static void Drain() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
};

TEST_F(HeadlessWindow, ClassNamesAreUniqueWithoutRegardToCase) {
    EXPECT_NE(Register("CN"), 0);
    EXPECT_EQ(Register("cn"), 0);
    EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);
    EXPECT_TRUE(UnregisterClassA("Cn", nullptr));
    EXPECT_FALSE(UnregisterClassA("CN", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
    EXPECT_NE(Register("CN"), 0);
}

TEST_F(HeadlessWindow, RegistrationRefusesIncompleteClasses) {
    EXPECT_EQ(RegisterClassA(nullptr), 0);
    WNDCLASSA noProc{};
    noProc.lpszClassName = "X";
    EXPECT_EQ(RegisterClassA(&noProc), 0);
    WNDCLASSA noName{};
    noName.lpfnWndProc = RecordingProc;
    EXPECT_EQ(RegisterClassA(&noName), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(HeadlessWindow, CreationNeedsARegisteredClass) {
    EXPECT_EQ(Create("Missing"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
    EXPECT_EQ(CreateWindowExA(0, nullptr, "t", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST_F(HeadlessWindow, WindowReportsItsTitleAndSizes) {
    Register("CN");
    HWND hwnd = CreateWindowExA(0, "CN", "Tolvane", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 30, 800, 600, nullptr,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(IsWindow(hwnd));

    RECT client{};
    ASSERT_TRUE(GetClientRect(hwnd, &client));
    EXPECT_EQ(client.left, 0);
    EXPECT_EQ(client.top, 0);
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 600);
    RECT outer{};
    ASSERT_TRUE(GetWindowRect(hwnd, &outer));
    EXPECT_EQ(outer.left, 20);
    EXPECT_EQ(outer.top, 30);
    EXPECT_EQ(outer.right - outer.left, 800);
    EXPECT_EQ(outer.bottom - outer.top, 600);

    char title[64] = {};
    EXPECT_EQ(GetWindowTextA(hwnd, title, sizeof title), 7);
    EXPECT_STREQ(title, "Tolvane");
    char shortTitle[4] = {};
    EXPECT_EQ(GetWindowTextA(hwnd, shortTitle, sizeof shortTitle), 3);
    EXPECT_STREQ(shortTitle, "Tol");
    EXPECT_FALSE(GetClientRect(hwnd, nullptr));
}

TEST_F(HeadlessWindow, DestroyedWindowIsGoneAfterItsLastMessage) {
    Register("CN");
    HWND hwnd = Create("CN");
    HWND other = Create("CN");
    ASSERT_NE(hwnd, other);
    EXPECT_FALSE(UnregisterClassA("CN", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_CLASS_HAS_WINDOWS);
    ASSERT_TRUE(PostMessageA(hwnd, WM_USER_TEST, 1, 2));
    ASSERT_TRUE(PostMessageA(other, WM_USER_TEST, 3, 4));

    ASSERT_TRUE(DestroyWindow(hwnd));
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].message, WM_DESTROY);
    EXPECT_EQ(g_calls[0].hwnd, hwnd);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(DestroyWindow(hwnd));
    RECT rect;
    EXPECT_FALSE(GetClientRect(hwnd, &rect));
    EXPECT_FALSE(PostMessageA(hwnd, WM_USER_TEST, 0, 0));

    // The destroyed window's queued message went with it; the other's stays.
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, other);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    // A new window never gets the old handle.
    EXPECT_NE(Create("CN"), hwnd);
}

TEST_F(HeadlessWindow, PeekTakesOneMessageAtATimeInPostingOrder) {
    Register("CN");
    HWND hwnd = Create("CN");
    for (WPARAM i = 0; i < 5; ++i) ASSERT_TRUE(PostMessageA(hwnd, WM_KEYDOWN, 'A' + i, static_cast<LPARAM>(i)));

    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, 'A');
    for (WPARAM i = 0; i < 5; ++i) {
        ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
        EXPECT_EQ(msg.hwnd, hwnd);
        EXPECT_EQ(msg.message, WM_KEYDOWN);
        EXPECT_EQ(msg.wParam, 'A' + i);
        EXPECT_EQ(msg.lParam, static_cast<LPARAM>(i));
    }
    EXPECT_FALSE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(nullptr, hwnd, 0, 0, PM_REMOVE));
}

TEST_F(HeadlessWindow, FiltersSkipOtherWindowsAndMessagesButNeverTheQuit) {
    Register("CN");
    HWND first = Create("CN");
    HWND second = Create("CN");
    PostMessageA(second, WM_KEYDOWN, 'X', 0);
    PostMessageA(nullptr, WM_KEYUP, 'T', 0);  // a thread message
    PostQuitMessage(-1);
    PostMessageA(first, WM_KEYUP, 'Y', 0);
    PostMessageA(first, WM_LBUTTONDOWN, 0, 0);

    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, first, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(static_cast<int>(msg.wParam), -1);
    EXPECT_EQ(msg.hwnd, nullptr);
    ASSERT_TRUE(PeekMessageA(&msg, first, WM_LBUTTONDOWN, WM_LBUTTONUP, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_LBUTTONDOWN);
    ASSERT_TRUE(PeekMessageA(&msg, first, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 'Y');
    EXPECT_FALSE(PeekMessageA(&msg, first, 0, 0, PM_REMOVE));
    // Without a window filter the rest comes out in order.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 'X');
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 'T');
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(HeadlessWindow, QuitCarriesTheExitCode) {
    PostQuitMessage(3);
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(HeadlessWindow, DispatchCallsTheWindowProcedureOfTheClass) {
    Register("CN");
    HWND hwnd = Create("CN");
    PostMessageA(hwnd, WM_ACTIVATE, WA_INACTIVE, 0);
    PostMessageA(hwnd, WM_ACTIVATE, WA_ACTIVE, 0);
    MSG msg{};
    std::vector<LRESULT> results;
    while (PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        results.push_back(DispatchMessageA(&msg));
    }
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].hwnd, hwnd);
    EXPECT_EQ(g_calls[0].message, WM_ACTIVATE);
    EXPECT_EQ(LOWORD(g_calls[0].wParam), WA_INACTIVE);
    EXPECT_EQ(LOWORD(g_calls[1].wParam), WA_ACTIVE);
    EXPECT_EQ(results, (std::vector<LRESULT>{WM_ACTIVATE * 10, WM_ACTIVATE * 10}));

    // A thread message has no window procedure to go to.
    MSG thread{};
    thread.message = WM_KEYDOWN;
    EXPECT_EQ(DispatchMessageA(&thread), 0);
    EXPECT_EQ(DispatchMessageA(nullptr), 0);
    EXPECT_EQ(g_calls.size(), 2u);
}

TEST_F(HeadlessWindow, DefaultProcedureDestroysTheWindowOnClose) {
    Register("CN", DefaultProc);
    HWND hwnd = Create("CN");
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
    DispatchMessageA(&msg);
    EXPECT_FALSE(IsWindow(hwnd));
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].message, WM_CLOSE);
    EXPECT_EQ(g_calls[1].message, WM_DESTROY);
    EXPECT_EQ(DefWindowProcA(hwnd, WM_KEYDOWN, 'A', 0), 0);
}

TEST_F(HeadlessWindow, MessageBoxesAreRecordedInOrder) {
    Register("CN");
    HWND hwnd = Create("CN");
    EXPECT_EQ(MessageBoxA(hwnd, "m_pD3D->CreateDevice failed", "Error", MB_ICONWARNING), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "3D could not be initialized", "Error", MB_ICONWARNING), IDOK);
    std::vector<host::MessageBoxRecord> log = host::MessageBoxLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].owner, hwnd);
    EXPECT_EQ(log[0].text, "m_pD3D->CreateDevice failed");
    EXPECT_EQ(log[0].caption, "Error");
    EXPECT_EQ(log[0].type, MB_ICONWARNING);
    EXPECT_EQ(log[1].text, "3D could not be initialized");
    host::ClearMessageBoxLog();
    EXPECT_TRUE(host::MessageBoxLog().empty());
}

TEST_F(HeadlessWindow, CursorPositionIsTheInjectedOne) {
    host::SetCursorPosition(120, -7);
    POINT point{};
    ASSERT_TRUE(GetCursorPos(&point));
    EXPECT_EQ(point.x, 120);
    EXPECT_EQ(point.y, -7);
    SetCursorPos(5, 6);
    ASSERT_TRUE(GetCursorPos(&point));
    EXPECT_EQ(point.x, 5);
    EXPECT_EQ(point.y, 6);
    EXPECT_FALSE(GetCursorPos(nullptr));
}

// A loop that takes one message per pass and translates each, as the program's does.
std::vector<MSG> TakeTranslated(HWND hwnd) {
    std::vector<MSG> taken;
    MSG msg{};
    while (PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        taken.push_back(msg);
    }
    return taken;
}

// WM_CHAR follows its key down at once, with the US keyboard's characters under the Shift
// and Ctrl states of the keys retrieved before it, and the key message's lParam (repeat
// count and scan code). Keys that type nothing, and key ups, make none.
TEST_F(HeadlessWindow, TranslateMakesCharactersOfKeyDowns) {
    Register("CN");
    HWND hwnd = Create("CN");
    const LPARAM repeated = (0x1Eu << 16) | (1u << 30) | 3u;  // scan code, previously down, 3 repeats
    PostMessageA(hwnd, WM_KEYDOWN, 'A', repeated);
    PostMessageA(hwnd, WM_KEYUP, 'A', static_cast<LPARAM>(0xC0000001u));
    PostMessageA(hwnd, WM_KEYDOWN, VK_SHIFT, 1);
    PostMessageA(hwnd, WM_KEYDOWN, 'A', 1);
    PostMessageA(hwnd, WM_KEYDOWN, '2', 1);
    PostMessageA(hwnd, WM_KEYDOWN, VK_F3, 1);
    PostMessageA(hwnd, WM_KEYUP, VK_SHIFT, 1);
    PostMessageA(hwnd, WM_KEYDOWN, '2', 1);
    PostMessageA(hwnd, WM_KEYDOWN, VK_CONTROL, 1);
    PostMessageA(hwnd, WM_KEYDOWN, 'C', 1);
    PostMessageA(hwnd, WM_KEYUP, VK_CONTROL, 1);
    PostMessageA(hwnd, WM_KEYDOWN, VK_RETURN, 1);
    PostMessageA(hwnd, WM_KEYDOWN, VK_ESCAPE, 1);
    std::vector<std::pair<WPARAM, LPARAM>> chars;
    std::vector<UINT> order;
    for (const MSG& msg : TakeTranslated(hwnd)) {
        order.push_back(msg.message);
        if (msg.message == WM_CHAR) chars.emplace_back(msg.wParam, msg.lParam);
    }
    const std::vector<std::pair<WPARAM, LPARAM>> expected = {
        {'a', repeated}, {'A', 1}, {'@', 1}, {'2', 1}, {0x03, 1}, {'\r', 1}, {0x1B, 1}};
    EXPECT_EQ(chars, expected);
    ASSERT_GE(order.size(), 2u);
    EXPECT_EQ(order[0], WM_KEYDOWN);
    EXPECT_EQ(order[1], WM_CHAR);  // the very next message, before the key up
    EXPECT_EQ(order[2], WM_KEYUP);
    EXPECT_EQ(GetKeyState(VK_SHIFT), 0);
    EXPECT_LT(GetKeyState(VK_ESCAPE), 0);  // down: the sign bit
}

// One WM_MOUSEMOVE waits at most, with the latest position and flags, and only when no
// other message does: a loop taking one message per pass sees every key at once.
TEST_F(HeadlessWindow, MouseMovesAreCoalescedBehindOtherMessages) {
    Register("CN");
    HWND hwnd = CreateWindowExA(0, "CN", "Tolvane", WS_VISIBLE, 100, 50, 320, 240, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(host::MoveMouse(hwnd, i, 2 * i, MK_LBUTTON));
    PostMessageA(hwnd, WM_KEYDOWN, VK_LEFT, 1);
    ASSERT_TRUE(host::MoveMouse(hwnd, 300, -4, MK_LBUTTON | MK_SHIFT));
    PostMessageA(hwnd, WM_KEYUP, VK_LEFT, 1);
    const std::vector<MSG> taken = TakeTranslated(hwnd);
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_EQ(taken[0].message, WM_KEYDOWN);
    EXPECT_EQ(taken[1].message, WM_KEYUP);
    EXPECT_EQ(taken[2].message, WM_MOUSEMOVE);
    EXPECT_EQ(taken[2].wParam, MK_LBUTTON | MK_SHIFT);
    EXPECT_EQ(static_cast<short>(LOWORD(taken[2].lParam)), 300);
    EXPECT_EQ(static_cast<short>(HIWORD(taken[2].lParam)), -4);
    POINT cursor{};
    ASSERT_TRUE(GetCursorPos(&cursor));
    EXPECT_EQ(cursor.x, 400);  // the window's position plus the client position
    EXPECT_EQ(cursor.y, 46);

    // A filter that leaves mouse messages out leaves the move waiting; a window that is
    // gone takes its move with it.
    ASSERT_TRUE(host::MoveMouse(hwnd, 1, 1, 0));
    MSG msg{};
    EXPECT_FALSE(PeekMessageA(&msg, hwnd, WM_KEYDOWN, WM_CHAR, PM_REMOVE));
    EXPECT_TRUE(PeekMessageA(&msg, hwnd, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_NOREMOVE));
    ASSERT_TRUE(DestroyWindow(hwnd));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(host::MoveMouse(hwnd, 1, 1, 0));
}

// SIGINT and SIGTERM close every window, as the user's close would; the layer lets go of
// the signals when its windows are gone.
TEST_F(HeadlessWindow, InterruptAndTerminateCloseTheWindows) {
    Register("CN");
    HWND first = Create("CN");
    HWND second = Create("CN");
    for (int signal : {SIGINT, SIGTERM}) {
        ASSERT_EQ(std::raise(signal), 0);
        std::vector<HWND> closed;
        MSG msg{};
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            if (msg.message == WM_CLOSE) closed.push_back(msg.hwnd);
        EXPECT_EQ(closed, (std::vector<HWND>{first, second})) << "signal " << signal;
    }
    host::Shutdown();
    struct sigaction action {};
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &action), 0);
    EXPECT_EQ(action.sa_handler, SIG_DFL);
}

TEST_F(HeadlessWindow, StockResourcesAreDistinctTokens) {
    EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), nullptr);
    EXPECT_NE(LoadCursorA(nullptr, IDC_CROSS), nullptr);
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), LoadCursorA(nullptr, IDC_CROSS));
    EXPECT_NE(GetStockObject(BLACK_BRUSH), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetStockObject(-1), nullptr);
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
    EXPECT_EQ(GetModuleHandleA("other.dll"), nullptr);
}

// A machine without a display: the window is refused (SDL would quietly pick its
// offscreen driver, which is no display).
TEST(NoDisplay, WindowCreationFailsWithoutHeadlessMode) {
    host::Shutdown();
    host::SetHeadless(false);
    std::string saved[3];
    const char* names[3] = {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"};
    bool had[3];
    for (int i = 0; i < 3; ++i) {
        const char* value = std::getenv(names[i]);
        had[i] = value != nullptr;
        if (had[i]) saved[i] = value;
        unsetenv(names[i]);
    }
    WNDCLASSA wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "CN";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND hwnd = CreateWindowExA(0, "CN", "Tolvane", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600, nullptr,
                                nullptr, nullptr, nullptr);
    EXPECT_EQ(hwnd, nullptr);
    int width = 0, height = 0;
    EXPECT_FALSE(host::GetDesktopSize(width, height));
    // SDL's offscreen driver makes windows that nobody sees: that is no display either.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    EXPECT_EQ(CreateWindowExA(0, "CN", "Tolvane", WS_VISIBLE, 0, 0, 80, 60, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    unsetenv("SDL_VIDEODRIVER");
    for (int i = 0; i < 3; ++i) {
        if (had[i]) setenv(names[i], saved[i].c_str(), 1);
    }
    host::Shutdown();
    host::SetHeadless(true);
}

}  // namespace
