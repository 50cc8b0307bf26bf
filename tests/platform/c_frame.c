/* A Direct3D 8 program in C (C99, COBJMACROS): a lit, textured triangle on the headless
   device, read back from the back buffer. test_c_callers.cpp runs it and the same program
   written in C++, and compares the pixels. */
#define COBJMACROS
#include <string.h>

#include "platform/d3d8/d3d8.h"
#include "c_programs.h"

typedef struct Vertex { /* D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1 */
    float x, y, z;
    float nx, ny, nz;
    float u, v;
} Vertex;

static HRESULT FillTexture(IDirect3DTexture8* texture) {
    D3DLOCKED_RECT locked;
    HRESULT hr = IDirect3DTexture8_LockRect(texture, 0, &locked, NULL, 0);
    if (FAILED(hr)) return hr;
    static const DWORD texels[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    for (int y = 0; y < 2; ++y) memcpy((BYTE*)locked.pBits + y * locked.Pitch, texels + 2 * y, 2 * sizeof(DWORD));
    return IDirect3DTexture8_UnlockRect(texture, 0);
}

static HRESULT Draw(IDirect3DDevice8* device) {
    IDirect3DTexture8* texture = NULL;
    HRESULT hr = IDirect3DDevice8_CreateTexture(device, 2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture);
    if (FAILED(hr)) return hr;
    hr = FillTexture(texture);
    if (FAILED(hr)) {
        IDirect3DTexture8_Release(texture);
        return hr;
    }
    D3DMATERIAL8 material;
    memset(&material, 0, sizeof material);
    material.Diffuse.r = material.Diffuse.g = material.Diffuse.b = material.Diffuse.a = 1.0f;
    material.Ambient.r = material.Ambient.g = material.Ambient.b = 0.25f;
    D3DLIGHT8 light;
    memset(&light, 0, sizeof light);
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse.r = 0.9f;
    light.Diffuse.g = 0.8f;
    light.Diffuse.b = 0.7f;
    light.Direction.x = 0.3f;
    light.Direction.y = -0.4f;
    light.Direction.z = 1.0f;
    static const Vertex triangle[3] = {
        {-0.8f, -0.8f, 0.5f, 0.0f, 0.0f, -1.0f, 0.0f, 1.0f},
        {0.0f, 0.8f, 0.5f, 0.0f, 0.0f, -1.0f, 0.5f, 0.0f},
        {0.8f, -0.8f, 0.5f, 0.0f, 0.0f, -1.0f, 1.0f, 1.0f},
    };
    IDirect3DDevice8_SetMaterial(device, &material);
    IDirect3DDevice8_SetLight(device, 0, &light);
    IDirect3DDevice8_LightEnable(device, 0, TRUE);
    IDirect3DDevice8_SetRenderState(device, D3DRS_LIGHTING, TRUE);
    IDirect3DDevice8_SetRenderState(device, D3DRS_AMBIENT, D3DCOLOR_XRGB(40, 40, 40));
    IDirect3DDevice8_SetRenderState(device, D3DRS_CULLMODE, D3DCULL_NONE);
    IDirect3DDevice8_SetTexture(device, 0, (IDirect3DBaseTexture8*)texture);
    IDirect3DDevice8_SetTextureStageState(device, 0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    IDirect3DDevice8_SetVertexShader(device, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    IDirect3DDevice8_Clear(device, 0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(16, 32, 48), 1.0f, 0);
    IDirect3DDevice8_BeginScene(device);
    hr = IDirect3DDevice8_DrawPrimitiveUP(device, D3DPT_TRIANGLELIST, 1, triangle, sizeof(Vertex));
    IDirect3DDevice8_EndScene(device);
    IDirect3DDevice8_SetTexture(device, 0, NULL);
    IDirect3DTexture8_Release(texture);
    return hr;
}

static HRESULT ReadBack(IDirect3DDevice8* device, unsigned* pixels, int width, int height) {
    IDirect3DSurface8* back = NULL;
    HRESULT hr = IDirect3DDevice8_GetBackBuffer(device, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    if (FAILED(hr)) return hr;
    D3DLOCKED_RECT locked;
    hr = IDirect3DSurface8_LockRect(back, &locked, NULL, D3DLOCK_READONLY);
    if (SUCCEEDED(hr)) {
        for (int y = 0; y < height; ++y)
            memcpy(pixels + y * width, (const BYTE*)locked.pBits + y * locked.Pitch, (size_t)width * 4);
        IDirect3DSurface8_UnlockRect(back);
    }
    IDirect3DSurface8_Release(back);
    return hr;
}

long TolvaneCFrame(unsigned* pixels, int width, int height) {
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "TolvaneCFrame";
    if (RegisterClassA(&wc) == 0) return E_FAIL;
    HWND window = CreateWindowExA(0, "TolvaneCFrame", "C", WS_OVERLAPPEDWINDOW, 0, 0, width, height, NULL, NULL,
                                  NULL, NULL);
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    HRESULT hr = window != NULL && d3d != NULL ? S_OK : E_FAIL;
    IDirect3DDevice8* device = NULL;
    if (SUCCEEDED(hr)) {
        D3DPRESENT_PARAMETERS params;
        memset(&params, 0, sizeof params);
        params.BackBufferWidth = (UINT)width;
        params.BackBufferHeight = (UINT)height;
        params.BackBufferFormat = D3DFMT_X8R8G8B8;
        params.SwapEffect = D3DSWAPEFFECT_DISCARD;
        params.Windowed = TRUE;
        params.EnableAutoDepthStencil = TRUE;
        params.AutoDepthStencilFormat = D3DFMT_D16;
        params.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER; /* the frame is read back */
        hr = IDirect3D8_CreateDevice(d3d, D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                     D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device);
    }
    if (SUCCEEDED(hr)) hr = Draw(device);
    if (SUCCEEDED(hr)) hr = ReadBack(device, pixels, width, height);
    if (device != NULL) IDirect3DDevice8_Release(device);
    if (d3d != NULL) IDirect3D8_Release(d3d);
    if (window != NULL) DestroyWindow(window);
    UnregisterClassA("TolvaneCFrame", NULL);
    return hr;
}
