// The program entry. Until the game exists it shows the application frame's axis lines:
// three white lines through the origin on the cleared back buffer, with the free-flight
// camera and the frame's keys.
#include "app/app_frame.h"

namespace {

// The frame's defaults light every vertex; the only light is the emissive colour of the
// material, white here, so the lines come out white.
class AxisViewer final : public AppFrame {
public:
    int InitScene() override {
        // Back and to the side of the origin, looking along +z: all three lines are in view.
        const CameraFrame start{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {300, 200, -800}};
        SetCameraFrame(&start);
        return 0;
    }

    int Render() override {
        m_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000055u, 1.0f, 0);
        m_pDevice->BeginScene();
        SetupMatrices();
        D3DMATERIAL8 bright{};
        bright.Emissive = {1.0f, 1.0f, 1.0f, 0.0f};
        m_pDevice->SetMaterial(&bright);
        AppFrame::Render();
        m_pDevice->EndScene();
        return m_pDevice->Present(nullptr, nullptr, nullptr, nullptr);
    }
};

}  // namespace

int main() {
    AxisViewer app;
    return RunApplication(app, GetModuleHandleA(nullptr));
}
