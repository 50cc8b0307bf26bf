// The frame's texture service: texture creation from a file on the frame's device. On
// failure the out texture is left as it was. A relative name is read from the data
// directory when one is set.
#include "app/app_frame.h"

#include <string>

#include "texture/texture.h"

HRESULT AppFrame::LoadTexture(const char* fileName, IDirect3DTexture8** texture) {
    if (!m_pDevice)
        return D3DERR_INVALIDCALL;
    if (fileName && fileName[0] != '/' && fileName[0] != '\\' && !m_szDataDir.empty()) {
        const std::string path = m_szDataDir + "/" + fileName;
        return CreateTextureFromFile(m_pDevice, path.c_str(), texture);
    }
    return CreateTextureFromFile(m_pDevice, fileName, texture);
}

int AppFrame::SetDataDirectory(const char* directory) {
    if (!directory)
        return -1;
    m_szDataDir = directory;
    return 0;
}
