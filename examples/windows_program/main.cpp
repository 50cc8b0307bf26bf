// windows_program: a program written for Windows and Direct3D 8 as programs of the time
// were, built unchanged against Tolvane. It finds Direct3DCreate8 in d3d8.dll at run time,
// opens a window whose client area is 320x240, clears and presents a number of frames,
// and reports what it got: the client size, the frame's colour read back from the front
// buffer, and the time the frames took.
//
//   windows_program [frames]
#include <windows.h>
#include <mmsystem.h>
#include <d3d8.h>
#include <stdio.h>
#include <stdlib.h>

typedef IDirect3D8* (WINAPI* LPDIRECT3DCREATE8)(UINT SDKVersion);

#define WINDOW_WIDTH 320
#define WINDOW_HEIGHT 240

static LPDIRECT3D8 g_pD3D = NULL;
static LPDIRECT3DDEVICE8 g_pd3dDevice = NULL;

LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg)
    {
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
            DestroyWindow(hWnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProc(hWnd, msg, wParam, lParam);
}

static void Cleanup(HMODULE hD3D8)
{
    if (g_pd3dDevice != NULL)
        g_pd3dDevice->Release();
    if (g_pD3D != NULL)
        g_pD3D->Release();
    if (hD3D8 != NULL)
        FreeLibrary(hD3D8);
}

int main(int argc, char* argv[])
{
    int frameCount = argc > 1 ? atoi(argv[1]) : 60;
    HINSTANCE hInstance = GetModuleHandle(NULL);

    WNDCLASS wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIcon(NULL, IDI_APPLICATION);
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.lpszClassName = TEXT("D3D8Window");
    if (!RegisterClass(&wc))
    {
        fprintf(stderr, "RegisterClass failed (%lu)\n", (unsigned long)GetLastError());
        return 1;
    }

    // Size the window so that its client area is WINDOW_WIDTH x WINDOW_HEIGHT.
    RECT rc = { 0, 0, WINDOW_WIDTH, WINDOW_HEIGHT };
    AdjustWindowRect(&rc, WS_OVERLAPPEDWINDOW, FALSE);
    HWND hWnd = CreateWindowEx(0, TEXT("D3D8Window"), TEXT("Direct3D 8"), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                               CW_USEDEFAULT, rc.right - rc.left, rc.bottom - rc.top, NULL, NULL, hInstance, NULL);
    if (hWnd == NULL)
    {
        fprintf(stderr, "CreateWindowEx failed (%lu)\n", (unsigned long)GetLastError());
        return 1;
    }
    ShowWindow(hWnd, SW_SHOWDEFAULT);
    UpdateWindow(hWnd);

    HMODULE hD3D8 = LoadLibrary(TEXT("d3d8.dll"));
    if (hD3D8 == NULL)
    {
        fprintf(stderr, "d3d8.dll is not installed (%lu)\n", (unsigned long)GetLastError());
        return 1;
    }
    LPDIRECT3DCREATE8 pfnDirect3DCreate8 = (LPDIRECT3DCREATE8)GetProcAddress(hD3D8, "Direct3DCreate8");
    if (pfnDirect3DCreate8 == NULL || (g_pD3D = pfnDirect3DCreate8(D3D_SDK_VERSION)) == NULL)
    {
        fprintf(stderr, "Direct3DCreate8 failed\n");
        Cleanup(hD3D8);
        return 1;
    }

    D3DDISPLAYMODE d3ddm;
    if (FAILED(g_pD3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &d3ddm)))
    {
        Cleanup(hD3D8);
        return 1;
    }
    D3DPRESENT_PARAMETERS d3dpp;
    ZeroMemory(&d3dpp, sizeof(d3dpp));
    d3dpp.Windowed = TRUE;
    d3dpp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    d3dpp.BackBufferFormat = d3ddm.Format;
    HRESULT hr = g_pD3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, hWnd, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                      &d3dpp, &g_pd3dDevice);
    if (FAILED(hr))
    {
        fprintf(stderr, "CreateDevice failed (0x%08lx)\n", (unsigned long)hr);
        Cleanup(hD3D8);
        return 1;
    }

    RECT client;
    GetClientRect(hWnd, &client);
    printf("client %dx%d\n", (int)(client.right - client.left), (int)(client.bottom - client.top));

    DWORD startTime = timeGetTime();
    D3DCOLOR color = 0;
    int frame = 0;
    MSG msg;
    ZeroMemory(&msg, sizeof(msg));
    while (msg.message != WM_QUIT && frame < frameCount)
    {
        if (PeekMessage(&msg, NULL, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
            continue;
        }
        color = D3DCOLOR_XRGB(0x20, (frame * 4) & 0xFF, 0x80);
        g_pd3dDevice->Clear(0, NULL, D3DCLEAR_TARGET, color, 1.0f, 0);
        if (SUCCEEDED(g_pd3dDevice->BeginScene()))
            g_pd3dDevice->EndScene();
        g_pd3dDevice->Present(NULL, NULL, NULL, NULL);
        ++frame;
    }
    DWORD elapsed = timeGetTime() - startTime;

    // Read the last frame back from the front buffer.
    LPDIRECT3DSURFACE8 pFront = NULL;
    DWORD pixel = 0;
    if (SUCCEEDED(g_pd3dDevice->CreateImageSurface(client.right, client.bottom, D3DFMT_A8R8G8B8, &pFront)))
    {
        D3DLOCKED_RECT locked;
        if (SUCCEEDED(g_pd3dDevice->GetFrontBuffer(pFront)) && SUCCEEDED(pFront->LockRect(&locked, NULL, D3DLOCK_READONLY)))
        {
            pixel = ((DWORD*)((BYTE*)locked.pBits + (client.bottom / 2) * locked.Pitch))[client.right / 2];
            pFront->UnlockRect();
        }
        pFront->Release();
    }
    printf("frames %d in %lu ms\n", frame, (unsigned long)elapsed);
    printf("cleared 0x%08lx read 0x%08lx\n", (unsigned long)color, (unsigned long)pixel);

    Cleanup(hD3D8);
    if (IsWindow(hWnd))
        DestroyWindow(hWnd);
    UnregisterClass(TEXT("D3D8Window"), hInstance);
    return 0;
}
