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

// A program sizes its window with AdjustWindowRect and gets the client area it asked for:
// the frame of WS_OVERLAPPEDWINDOW (a sizing frame of 4 and a caption of 19) lies around it.
TEST_F(HeadlessWindow, WindowReportsItsTitleAndSizes) {
    Register("CN");
    RECT asked{20, 30, 820, 630};
    ASSERT_TRUE(AdjustWindowRect(&asked, WS_OVERLAPPEDWINDOW | WS_VISIBLE, FALSE));
    EXPECT_EQ(asked.left, 16);
    EXPECT_EQ(asked.top, 7);
    EXPECT_EQ(asked.right, 824);
    EXPECT_EQ(asked.bottom, 634);
    HWND hwnd = CreateWindowExA(0, "CN", "Tolvane", WS_OVERLAPPEDWINDOW | WS_VISIBLE, asked.left, asked.top,
                                asked.right - asked.left, asked.bottom - asked.top, nullptr, nullptr, nullptr, nullptr);
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
    EXPECT_EQ(outer.left, asked.left);
    EXPECT_EQ(outer.top, asked.top);
    EXPECT_EQ(outer.right, asked.right);
    EXPECT_EQ(outer.bottom, asked.bottom);
    // The client area's corner is where the program asked for it on the screen.
    POINT corner{0, 0};
    ASSERT_TRUE(ClientToScreen(hwnd, &corner));
    EXPECT_EQ(corner.x, 20);
    EXPECT_EQ(corner.y, 30);
    ASSERT_TRUE(ScreenToClient(hwnd, &corner));
    EXPECT_EQ(corner.x, 0);
    EXPECT_EQ(corner.y, 0);

    // Other frames: none for a popup, a dialog frame and a menu, client edges.
    RECT popup{0, 0, 64, 48};
    ASSERT_TRUE(AdjustWindowRect(&popup, WS_POPUP, FALSE));
    EXPECT_EQ(popup.right - popup.left, 64);
    EXPECT_EQ(popup.bottom - popup.top, 48);
    RECT dialog{0, 0, 64, 48};
    ASSERT_TRUE(AdjustWindowRectEx(&dialog, WS_CAPTION | WS_SYSMENU, TRUE, WS_EX_CLIENTEDGE));
    EXPECT_EQ(dialog.right - dialog.left, 64 + 2 * (3 + 2));
    EXPECT_EQ(dialog.bottom - dialog.top, 48 + 2 * (3 + 2) + 19 + 19);
    EXPECT_FALSE(AdjustWindowRect(nullptr, WS_OVERLAPPEDWINDOW, FALSE));

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

// ---- window management -----------------------------------------------------------------

WNDPROC g_previousProc = nullptr;

// A subclass that answers WM_USER_TEST itself and passes everything else on.
LRESULT SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER_TEST) return 7;
    return CallWindowProcA(g_previousProc, hwnd, message, wParam + 1, lParam);
}

// The procedure a program sets with GWLP_WNDPROC receives the messages, and CallWindowProcA
// reaches the class's procedure it replaced.
TEST_F(HeadlessWindow, SubclassingReachesTheOldProcedureThroughCallWindowProc) {
    Register("CN");
    HWND hwnd = Create("CN");
    g_previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc)));
    ASSERT_EQ(g_previousProc, &RecordingProc);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&SubclassProc));

    EXPECT_EQ(SendMessageA(hwnd, WM_USER_TEST, 0, 0), 7);
    EXPECT_TRUE(g_calls.empty());
    PostMessageA(hwnd, WM_KEYDOWN, 'A', 0);
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(DispatchMessageA(&msg), static_cast<LRESULT>(WM_KEYDOWN) * 10);  // the old procedure's answer
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].message, WM_KEYDOWN);
    EXPECT_EQ(g_calls[0].wParam, 'A' + 1u);  // as the subclass passed it on

    EXPECT_EQ(SetWindowLongPtrA(hwnd, GWLP_WNDPROC, 0), 0);  // a window keeps a procedure
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&SubclassProc));
    // The 32-bit calls cannot hold a procedure, as on 64-bit Windows.
    EXPECT_EQ(GetWindowLongA(hwnd, GWLP_WNDPROC), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_INDEX);
}

// GWLP_USERDATA and the class's extra bytes keep what was set and answer the value before.
TEST_F(HeadlessWindow, WindowDataKeepsWhatWasSet) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.cbWndExtra = 16;
    wc.lpszClassName = "Extra";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND hwnd = CreateWindowExA(0, "Extra", "t", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    int object = 0;
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), 0);
    EXPECT_EQ(SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&object)), 0);
    EXPECT_EQ(reinterpret_cast<int*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)), &object);
    EXPECT_EQ(SetWindowLongA(hwnd, GWL_USERDATA, 5), static_cast<LONG>(reinterpret_cast<LONG_PTR>(&object)));
    EXPECT_EQ(GetWindowLongA(hwnd, GWL_USERDATA), 5);

    EXPECT_EQ(SetWindowLongPtrA(hwnd, 8, -3), 0);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, 8), -3);
    EXPECT_EQ(SetWindowLongA(hwnd, 0, 42), 0);
    EXPECT_EQ(GetWindowLongA(hwnd, 0), 42);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, 12), 0);  // 8 bytes from 12 pass the end
    EXPECT_EQ(GetLastError(), ERROR_INVALID_INDEX);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)), WS_POPUP);
    EXPECT_EQ(GetWindowLongPtrA(reinterpret_cast<HWND>(0x1234), GWLP_USERDATA), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

// ShowWindow answers whether the window was visible before; the style follows.
TEST_F(HeadlessWindow, ShowWindowAnswersThePreviousVisibility) {
    Register("CN");
    HWND hwnd = CreateWindowExA(0, "CN", "t", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_FALSE(ShowWindow(hwnd, SW_SHOWDEFAULT));
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_NE(static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)) & WS_VISIBLE, 0u);
    EXPECT_TRUE(ShowWindow(hwnd, SW_SHOW));
    EXPECT_TRUE(UpdateWindow(hwnd));
    EXPECT_TRUE(ShowWindow(hwnd, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_TRUE(SetWindowTextA(hwnd, "renamed"));
    char title[16] = {};
    EXPECT_EQ(GetWindowTextA(hwnd, title, sizeof title), 7);
    EXPECT_STREQ(title, "renamed");
}

// SetWindowPos moves and sizes the window rectangle; the new client size comes in WM_SIZE.
TEST_F(HeadlessWindow, SetWindowPosMovesAndSizesTheWindowRectangle) {
    Register("CN");
    HWND hwnd = Create("CN", "t", 200, 100);
    ASSERT_TRUE(SetWindowPos(hwnd, HWND_TOP, 50, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
    EXPECT_TRUE(g_calls.empty());  // the same size: no WM_SIZE
    ASSERT_TRUE(SetWindowPos(hwnd, nullptr, 0, 0, 408, 327, SWP_NOMOVE | SWP_NOZORDER));
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].message, WM_SIZE);
    EXPECT_EQ(LOWORD(g_calls[0].lParam), 400);
    EXPECT_EQ(HIWORD(g_calls[0].lParam), 300);
    RECT outer{}, client{};
    ASSERT_TRUE(GetWindowRect(hwnd, &outer));
    ASSERT_TRUE(GetClientRect(hwnd, &client));
    EXPECT_EQ(outer.left, 50);
    EXPECT_EQ(outer.top, 60);
    EXPECT_EQ(outer.right, 458);
    EXPECT_EQ(client.right, 400);
    EXPECT_EQ(client.bottom, 300);
    EXPECT_FALSE(SetWindowPos(reinterpret_cast<HWND>(0x1234), nullptr, 0, 0, 1, 1, 0));
}

// A key goes down on the keyboard: GetAsyncKeyState sees it at once, GetKeyState only once
// the program has taken the key's message.
TEST_F(HeadlessWindow, AsyncKeyStateFollowsTheKeyboardBeforeTheMessages) {
    Register("CN");
    HWND hwnd = Create("CN");
    EXPECT_EQ(GetAsyncKeyState(VK_SPACE), 0);
    ASSERT_TRUE(host::PressKey(hwnd, VK_SPACE, true));
    EXPECT_LT(GetAsyncKeyState(VK_SPACE), 0);
    EXPECT_EQ(GetAsyncKeyState(VK_SPACE) & 1, 0);  // "pressed since" told once
    EXPECT_EQ(GetKeyState(VK_SPACE), 0);
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_KEYDOWN);
    EXPECT_EQ(msg.wParam, VK_SPACE);
    EXPECT_LT(GetKeyState(VK_SPACE), 0);
    ASSERT_TRUE(host::PressKey(hwnd, VK_SPACE, false));
    EXPECT_EQ(GetAsyncKeyState(VK_SPACE), 0);
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_KEYUP);
    // A press and release between two looks leaves the "pressed since" bit alone.
    ASSERT_TRUE(host::PressKey(hwnd, 'Q', true));
    ASSERT_TRUE(host::PressKey(hwnd, 'Q', false));
    EXPECT_EQ(GetAsyncKeyState('Q'), 1);
    EXPECT_EQ(GetAsyncKeyState('Q'), 0);
    EXPECT_FALSE(host::PressKey(reinterpret_cast<HWND>(0x1234), 'Q', true));
    EXPECT_EQ(GetAsyncKeyState(-1), 0);
}

// ShowCursor answers its display counter: it starts at 0 and the cursor shows while it is
// not negative.
TEST_F(HeadlessWindow, ShowCursorKeepsTheDisplayCounter) {
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_EQ(ShowCursor(FALSE), -2);
    EXPECT_EQ(ShowCursor(TRUE), -1);
    EXPECT_EQ(ShowCursor(TRUE), 0);
    EXPECT_EQ(ShowCursor(TRUE), 1);
    HCURSOR cross = LoadCursorA(nullptr, IDC_CROSS);
    EXPECT_EQ(SetCursor(cross), nullptr);
    EXPECT_EQ(SetCursor(nullptr), cross);
}

// While a window holds the capture, the mouse messages of other windows come to it in its
// client coordinates; the window that loses the capture is told.
TEST_F(HeadlessWindow, CaptureTakesTheMouseAndTellsTheWindowThatLosesIt) {
    Register("CN");
    HWND first = CreateWindowExA(0, "CN", "a", WS_POPUP, 100, 100, 50, 50, nullptr, nullptr, nullptr, nullptr);
    HWND second = CreateWindowExA(0, "CN", "b", WS_POPUP, 300, 100, 50, 50, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(SetCapture(first), nullptr);
    EXPECT_EQ(GetCapture(), first);
    ASSERT_TRUE(host::MoveMouse(second, 5, 6, MK_LBUTTON));
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, first);
    EXPECT_EQ(static_cast<short>(LOWORD(msg.lParam)), 205);
    EXPECT_EQ(static_cast<short>(HIWORD(msg.lParam)), 6);

    EXPECT_EQ(SetCapture(second), first);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].hwnd, first);
    EXPECT_EQ(g_calls[0].message, WM_CAPTURECHANGED);
    EXPECT_EQ(g_calls[0].lParam, reinterpret_cast<LPARAM>(second));
    EXPECT_TRUE(ReleaseCapture());
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[1].hwnd, second);
    EXPECT_EQ(g_calls[1].lParam, 0);
    EXPECT_EQ(GetCapture(), nullptr);
    ASSERT_TRUE(host::MoveMouse(second, 5, 6, 0));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, second);
    EXPECT_EQ(SetCapture(reinterpret_cast<HWND>(0x1234)), nullptr);
    EXPECT_EQ(GetCapture(), nullptr);
}

// The millisecond counters and the performance counter run forward together, and Sleep
// waits at least as long as asked.
TEST(Timers, CountersRunForwardTogether) {
    LARGE_INTEGER frequency{}, before{}, after{};
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency.QuadPart, 10'000'000);
    EXPECT_FALSE(QueryPerformanceCounter(nullptr));
    const DWORD startTime = timeGetTime();
    const DWORD startTicks = GetTickCount();
    ASSERT_TRUE(QueryPerformanceCounter(&before));
    EXPECT_EQ(timeBeginPeriod(1), static_cast<UINT>(TIMERR_NOERROR));
    Sleep(20);
    EXPECT_EQ(timeEndPeriod(1), static_cast<UINT>(TIMERR_NOERROR));
    ASSERT_TRUE(QueryPerformanceCounter(&after));
    EXPECT_GE(timeGetTime() - startTime, 20u);
    EXPECT_GE(GetTickCount() - startTicks, 20u);
    EXPECT_GE(after.QuadPart - before.QuadPart, frequency.QuadPart / 50);
    LONGLONG last = after.QuadPart;
    for (int i = 0; i < 1000; ++i) {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        ASSERT_GE(now.QuadPart, last);
        last = now.QuadPart;
    }
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
