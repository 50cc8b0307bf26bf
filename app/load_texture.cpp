// The frame's texture service: texture creation from a file on the frame's device. On
// failure the out texture is left as it was.
#include "app/app_frame.h"
#include "texture/texture.h"

HRESULT AppFrame::LoadTexture(const char* fileName, IDirect3DTexture8** texture) {
    if (!m_pDevice)
        return D3DERR_INVALIDCALL;
    return CreateTextureFromFile(m_pDevice, fileName, texture);
}
