// The device's QueryInterface, clip status, texture palettes and higher-order patches.
//
// - The clip status is what SetClipStatus set (zero on a new device): draws do not
//   compute clip codes into it.
// - Palettes are stored and returned: 256 entries each, numbered 0 to 65535. The device
//   samples no palettized format (P8 and A8P8 are not offered), so the current palette
//   only has to name one that was set.
// - Patches are not offered (no patch caps): every patch call is D3DERR_INVALIDCALL.
#include <algorithm>

#include "platform/d3d8/device.h"

namespace d3d8 {
namespace {
constexpr UINT kMaxPalettes = 65536;
}  // namespace

HRESULT Device::QueryInterface(REFIID riid, void** out) {
    return AnswerQuery(this, riid, out, {&IID_IUnknown, &IID_IDirect3DDevice8});
}

HRESULT Device::SetClipStatus(const D3DCLIPSTATUS8* status) {
    if (status == nullptr) return D3DERR_INVALIDCALL;
    clipStatus_ = *status;
    return D3D_OK;
}

HRESULT Device::GetClipStatus(D3DCLIPSTATUS8* status) {
    if (status == nullptr) return D3DERR_INVALIDCALL;
    *status = clipStatus_;
    return D3D_OK;
}

HRESULT Device::SetPaletteEntries(UINT palette, const PALETTEENTRY* entries) {
    if (entries == nullptr || palette >= kMaxPalettes) return D3DERR_INVALIDCALL;
    std::copy(entries, entries + 256, palettes_[palette].begin());
    return D3D_OK;
}

HRESULT Device::GetPaletteEntries(UINT palette, PALETTEENTRY* entries) {
    if (entries == nullptr) return D3DERR_INVALIDCALL;
    auto it = palettes_.find(palette);
    if (it == palettes_.end()) return D3DERR_INVALIDCALL;
    std::copy(it->second.begin(), it->second.end(), entries);
    return D3D_OK;
}

HRESULT Device::SetCurrentTexturePalette(UINT palette) {
    if (palettes_.find(palette) == palettes_.end()) return D3DERR_INVALIDCALL;
    currentPalette_ = palette;
    return D3D_OK;
}

HRESULT Device::GetCurrentTexturePalette(UINT* palette) {
    if (palette == nullptr) return D3DERR_INVALIDCALL;
    *palette = currentPalette_;
    return D3D_OK;
}

HRESULT Device::DrawRectPatch(UINT, const float*, const D3DRECTPATCH_INFO*) { return D3DERR_INVALIDCALL; }
HRESULT Device::DrawTriPatch(UINT, const float*, const D3DTRIPATCH_INFO*) { return D3DERR_INVALIDCALL; }
HRESULT Device::DeletePatch(UINT) { return D3DERR_INVALIDCALL; }

}  // namespace d3d8
