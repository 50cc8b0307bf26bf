// The pixel shader calls. The device has no pixel shaders yet (caps PixelShaderVersion is
// 0), so it answers as such a device does: creating one is D3DERR_INVALIDCALL, no handle
// names one, and pixel shader 0 (the fixed-function pipeline) is the only one that can be
// set. The vertex shader calls are in vertex_shaders.cpp.
#include "platform/d3d8/device.h"

namespace d3d8 {

HRESULT Device::CreatePixelShader(const DWORD* /*function*/, DWORD* handle) {
    if (handle != nullptr) *handle = 0;
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetPixelShader(DWORD handle) {
    if (handle != 0) return D3DERR_INVALIDCALL;
    pixelShader_ = handle;
    return D3D_OK;
}

HRESULT Device::GetPixelShader(DWORD* handle) {
    if (handle == nullptr) return D3DERR_INVALIDCALL;
    *handle = pixelShader_;
    return D3D_OK;
}

HRESULT Device::DeletePixelShader(DWORD /*handle*/) { return D3DERR_INVALIDCALL; }

HRESULT Device::SetPixelShaderConstant(DWORD /*reg*/, const void* /*data*/, DWORD /*count*/) {
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetPixelShaderConstant(DWORD /*reg*/, void* /*data*/, DWORD /*count*/) {
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetPixelShaderFunction(DWORD /*handle*/, void* /*data*/, DWORD* /*size*/) {
    return D3DERR_INVALIDCALL;
}

}  // namespace d3d8
