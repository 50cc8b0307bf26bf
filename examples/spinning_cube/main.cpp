// spinning_cube: a textured, lit cube spinning in a window, drawn by the software
// Direct3D 8 device. Without a display (or with --headless) the window is headless: the
// cube turns for a number of frames and the last frame is written as a PNG.
//
//   spinning_cube [--headless] [--frames N] [--shot FILE.png]
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <tolvane/image/result_name.h>
#include <tolvane/math/math3d.h>
#include <tolvane/platform/d3d8/d3d8.h>
#include <tolvane/platform/d3d8/scoped.h>
#include <tolvane/platform/win32/host.h>

namespace {

constexpr int kWidth = 320, kHeight = 240;

struct Vertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};
constexpr DWORD kVertexFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

// Six faces of two triangles each: the face's normal, two axes across it, and the whole
// texture on it. Culling is off, so the winding does not matter.
std::vector<Vertex> CubeVertices() {
    const float faces[6][3][3] = {
        {{0, 0, -1}, {1, 0, 0}, {0, 1, 0}},  {{0, 0, 1}, {-1, 0, 0}, {0, 1, 0}},
        {{-1, 0, 0}, {0, 0, -1}, {0, 1, 0}}, {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
        {{0, 1, 0}, {1, 0, 0}, {0, 0, 1}},   {{0, -1, 0}, {1, 0, 0}, {0, 0, -1}},
    };
    std::vector<Vertex> out;
    for (const auto& face : faces) {
        const float *n = face[0], *u = face[1], *v = face[2];
        auto corner = [&](float a, float b) {
            out.push_back({n[0] + a * u[0] + b * v[0], n[1] + a * u[1] + b * v[1], n[2] + a * u[2] + b * v[2], n[0],
                           n[1], n[2], (a + 1) / 2, (1 - b) / 2});
        };
        corner(-1, -1), corner(-1, 1), corner(1, 1);
        corner(-1, -1), corner(1, 1), corner(1, -1);
    }
    return out;
}

int Fail(const char* what, HRESULT hr) {
    std::fprintf(stderr, "spinning_cube: %s: %s (%s)\n", what, ResultName(hr), ResultDescription(hr));
    return 1;
}

bool WritePng(const char* path, const std::vector<std::uint32_t>& pixels, int width, int height) {
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(width * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = pixels[y * width + x];
            row[x * 3] = (p >> 16) & 0xFF, row[x * 3 + 1] = (p >> 8) & 0xFF, row[x * 3 + 2] = p & 0xFF;
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE) PostQuitMessage(0);
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    bool headless = !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY");
    int frames = headless ? 60 : -1;  // with a window: until it is closed
    std::string shot = "spinning_cube.png";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0) {
            headless = true;
            if (frames < 0) frames = 60;
        } else if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            frames = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--shot") == 0 && i + 1 < argc) {
            shot = argv[++i];
        } else {
            std::fprintf(stderr, "usage: spinning_cube [--headless] [--frames N] [--shot FILE.png]\n");
            return 2;
        }
    }

    // Headless, every presented frame goes to the frame sink: keep the last one.
    std::vector<std::uint32_t> last(kWidth * kHeight);
    int presented = 0;
    host::SetHeadless(headless);
    host::SetFrameSink([&](HWND, const std::uint32_t* pixels, int width, int height, int pitchBytes) {
        for (int y = 0; y < height && y < kHeight; ++y)
            std::memcpy(&last[y * kWidth], reinterpret_cast<const std::uint8_t*>(pixels) + y * pitchBytes,
                        sizeof(std::uint32_t) * std::min(width, kWidth));
        ++presented;
    });

    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.lpszClassName = "spinning_cube";
    RegisterClassA(&wc);
    RECT outer = {0, 0, kWidth, kHeight};  // the client area; the window grows by its frame
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW | WS_VISIBLE, FALSE);
    HWND window = CreateWindowExA(0, "spinning_cube", "Tolvane: spinning cube", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                  0, outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, nullptr,
                                  nullptr);
    if (!window) return Fail("CreateWindowExA (no display? try --headless)", HRESULT_FROM_WIN32(GetLastError()));

    ComRef<IDirect3D8> d3d(Direct3DCreate8(D3D_SDK_VERSION));
    D3DPRESENT_PARAMETERS pp = {};
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.hDeviceWindow = window;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    ComRef<IDirect3DDevice8> device;
    HRESULT hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                   &pp, device.Out());
    if (FAILED(hr)) return Fail("CreateDevice", hr);

    // A checkerboard texture, made in place.
    ComRef<IDirect3DTexture8> texture;
    hr = device->CreateTexture(64, 64, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, texture.Out());
    if (FAILED(hr)) return Fail("CreateTexture", hr);
    D3DLOCKED_RECT bits = {};
    if (FAILED(hr = texture->LockRect(0, &bits, nullptr, 0))) return Fail("LockRect", hr);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(bits.pBits) + y * bits.Pitch)[x] =
                ((x / 8 + y / 8) % 2) ? 0xFFE0A030u : 0xFF2050C0u;
    texture->UnlockRect(0);

    const std::vector<Vertex> cube = CubeVertices();
    D3DMATERIAL8 material = {};
    material.Diffuse = {1, 1, 1, 1};
    material.Ambient = {1, 1, 1, 1};
    D3DLIGHT8 light = {};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1, 1, 1, 1};
    light.Direction = {-0.4f, -0.6f, 0.7f};
    device->SetMaterial(&material);
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetRenderState(D3DRS_AMBIENT, 0xFF303030u);
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetTexture(0, texture.Get());
    device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);

    Matrix view, projection;
    const Vector3 eye = {0, 1.5f, -5}, at = {0, 0, 0}, up = {0, 1, 0};
    MatrixLookAtLH(&view, &eye, &at, &up);
    MatrixPerspectiveFovLH(&projection, 0.8f, float(kWidth) / kHeight, 0.5f, 20);
    device->SetTransform(D3DTS_VIEW, reinterpret_cast<const D3DMATRIX*>(&view));
    device->SetTransform(D3DTS_PROJECTION, reinterpret_cast<const D3DMATRIX*>(&projection));

    MSG msg = {};
    for (int frame = 0; frames < 0 || frame < frames; ++frame) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) frames = frame;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (frames >= 0 && frame >= frames) break;
        Matrix world;
        MatrixRotationYawPitchRoll(&world, 0.05f * frame, 0.5f + 0.02f * frame, 0);
        device->SetTransform(D3DTS_WORLD, reinterpret_cast<const D3DMATRIX*>(&world));
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF101018u, 1.0f, 0);
        device->BeginScene();
        device->SetVertexShader(kVertexFormat);
        hr = device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(cube.size() / 3), cube.data(),
                                     sizeof(Vertex));
        device->EndScene();
        if (FAILED(hr)) return Fail("DrawPrimitiveUP", hr);
        if (FAILED(hr = device->Present(nullptr, nullptr, nullptr, nullptr))) return Fail("Present", hr);
    }

    int status = 0;
    if (headless) {
        if (presented == 0 || !WritePng(shot.c_str(), last, kWidth, kHeight)) {
            std::fprintf(stderr, "spinning_cube: cannot write %s\n", shot.c_str());
            status = 1;
        } else {
            std::printf("%d frames drawn headless, the last written to %s\n", presented, shot.c_str());
        }
    }
    host::SetFrameSink(nullptr);
    texture.Reset();
    device.Reset();
    d3d.Reset();
    DestroyWindow(window);
    host::Shutdown();
    return status;
}
