// A probe application and a fixture that runs the real frame on the headless display:
// messages are posted with PostMessageA between passes of the frame's own loop, the
// cursor is set through the host, and frames and message boxes are read back.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "app/app_frame.h"
#include "platform/win32/host.h"

// The frame with its protected state opened for inspection and its virtual operations
// counted. Render draws the axis scene the way a game does: clear, begin, matrices, the
// bright emissive material, the frame's axis lines, end, present.
class ProbeFrame : public AppFrame {
public:
    using AppFrame::m_bCreated;
    using AppFrame::m_bCulling;
    using AppFrame::m_bDepthBuffer;
    using AppFrame::m_bInvertMouse;
    using AppFrame::m_bLighting;
    using AppFrame::m_bMouseDown;
    using AppFrame::m_bPaused;
    using AppFrame::m_bShowAxes;
    using AppFrame::m_camera;
    using AppFrame::m_dwClassStyle;
    using AppFrame::m_dwWindowStyle;
    using AppFrame::m_fFarDistance;
    using AppFrame::m_fMoveSpeed;
    using AppFrame::m_hInstance;
    using AppFrame::m_hWnd;
    using AppFrame::m_keys;
    using AppFrame::m_lastCursor;
    using AppFrame::m_nHeight;
    using AppFrame::m_nWidth;
    using AppFrame::m_pAxesVB;
    using AppFrame::m_pD3D;
    using AppFrame::m_pDevice;
    using AppFrame::m_szError;
    using AppFrame::m_szTitle;
    using AppFrame::ReleaseDevice;

    int InitScene() override {
        ++initScenes;
        SetCameraFrame(&start);
        return 0;
    }

    int Render() override {
        ++renders;
        if (failRender)
            return failRender(renders);
        m_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClearColor, 1.0f, 0);
        m_pDevice->BeginScene();
        SetupMatrices();
        D3DMATERIAL8 bright{};
        bright.Emissive = {1.0f, 1.0f, 1.0f, 0.0f};
        m_pDevice->SetMaterial(&bright);
        AppFrame::Render();
        m_pDevice->EndScene();
        return m_pDevice->Present(nullptr, nullptr, nullptr, nullptr);
    }

    int ReleaseScene() override {
        ++releaseScenes;
        return releaseResult;
    }

    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
        seen.push_back({message, wParam});
        return AppFrame::HandleMessage(window, message, wParam, lParam);
    }

    static constexpr D3DCOLOR kClearColor = 0xFF000055u;

    // Back and to the side of the origin, looking along +z, so that all three axis lines
    // cross the picture: x at row 0.80 of the height, y at column 0.047 of the width.
    CameraFrame start{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {300, 200, -800}};
    // When set, Render returns its result for the n-th call (from 1) and draws nothing.
    std::function<int(int n)> failRender;
    int releaseResult = 0;

    int initScenes = 0;
    int renders = 0;
    int releaseScenes = 0;
    struct Seen {
        UINT message;
        WPARAM wParam;
    };
    std::vector<Seen> seen;
};

struct Post {
    int pass;
    UINT message;
    WPARAM wParam;
    LPARAM lParam = 0;
};

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::SetHeadless(true);
        host::ClearMessageBoxLog();
        host::SetCursorPosition(0, 0);
        host::SetFrameSink([this](HWND, const std::uint32_t* pixels, int width, int height, int pitchBytes) {
            frameWidth = width;
            frameHeight = height;
            frame.assign(static_cast<std::size_t>(width) * height, 0);
            for (int y = 0; y < height; ++y) {
                const auto* row = reinterpret_cast<const std::uint32_t*>(
                    reinterpret_cast<const std::uint8_t*>(pixels) + static_cast<std::ptrdiff_t>(y) * pitchBytes);
                for (int x = 0; x < width; ++x)
                    frame[static_cast<std::size_t>(y) * width + x] = row[x];
            }
            ++framesPresented;
        });
        app = std::make_unique<ProbeFrame>();
    }

    void TearDown() override {
        // A test that never ran the loop still holds the device: the frame leaves it to
        // the process's end, the test releases it.
        if (app)
            app->ReleaseDevice();
        // The window goes while its application still exists: the window procedure
        // reaches it through g_pApp.
        if (app && app->m_hWnd && IsWindow(app->m_hWnd))
            DestroyWindow(app->m_hWnd);
        UnregisterClassA("CN", Instance());
        // A quit posted by the last pass stays queued; it must not end the next test's loop.
        MSG leftover{};
        while (PeekMessageA(&leftover, nullptr, 0, 0, PM_REMOVE)) {
        }
        host::SetFrameSink(nullptr);
        host::Shutdown();
        app.reset();
        g_pApp = nullptr;
    }

    static HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

    // The settings of the program entry, then Create.
    int CreateLikeTheGame(bool showAxes = true) {
        app->SetCulling(false);
        app->SetLighting(true);
        app->SetDepthBuffer(true);
        app->SetShowAxes(showAxes);
        app->SetTitle("Tolvane");
        app->SetSize(800, 600);
        return app->Create(Instance());
    }

    // Runs the frame's loop, posting each message before its pass, for at most maxPasses
    // passes; `after` sees the state once each pass is over. Returns Run's result.
    int RunPasses(const std::vector<Post>& posts, int maxPasses,
                  std::function<void(int pass, bool rendered)> after = {}) {
        PassHooks hooks;
        hooks.before = [this, &posts](int pass) {
            for (const Post& post : posts) {
                if (post.pass == pass)
                    PostMessageA(app->m_hWnd, post.message, post.wParam, post.lParam);
            }
        };
        hooks.after = [this, maxPasses, after](int pass, bool rendered) {
            passes = pass + 1;
            rendered_.push_back(rendered);
            if (after)
                after(pass, rendered);
            return pass + 1 < maxPasses;
        };
        app->SetPassHooks(std::move(hooks));
        return app->Run();
    }

    int CountWhite() const {
        int white = 0;
        for (std::uint32_t pixel : frame)
            white += (pixel & 0xFFFFFFu) == 0xFFFFFFu;
        return white;
    }

    int WhiteInRow(int y) const {
        int white = 0;
        for (int x = 0; x < frameWidth; ++x)
            white += (frame[static_cast<std::size_t>(y) * frameWidth + x] & 0xFFFFFFu) == 0xFFFFFFu;
        return white;
    }

    int WhiteInColumn(int x) const {
        int white = 0;
        for (int y = 0; y < frameHeight; ++y)
            white += (frame[static_cast<std::size_t>(y) * frameWidth + x] & 0xFFFFFFu) == 0xFFFFFFu;
        return white;
    }

    std::unique_ptr<ProbeFrame> app;
    std::vector<std::uint32_t> frame;
    int frameWidth = 0;
    int frameHeight = 0;
    int framesPresented = 0;
    int passes = 0;
    std::vector<bool> rendered_;
};
