// The picture a window shows, kept by a device whose swap effect copies (D3DSWAPEFFECT_COPY
// and COPY_VSYNC): only such a device may present part of its back buffer into part of
// the client area, and the rest of the client area must keep what it showed before.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32/windows.h"

namespace d3d8 {

struct FrontImage {
    HWND window = nullptr;
    int width = 0;  // the client area's size
    int height = 0;
    std::vector<std::uint32_t> pixels;  // X8R8G8B8, width * height, black at first

    // Copies the source rectangle of the back buffer into the destination rectangle of
    // the client area (null: the whole of each), stretched with point sampling. The source
    // rectangle is clipped to the back buffer and the destination to the client area, as
    // the platform does; a new window or client size starts from black. False for an
    // inverted rectangle.
    bool Compose(HWND target, int clientWidth, int clientHeight, const std::uint32_t* source, int sourceWidth,
                 int sourceHeight, int sourcePitchBytes, const RECT* sourceRect, const RECT* destRect);

    // Compose into the window's client area as it is now, then hand the picture to the
    // window (nothing for a client area of no pixels). D3DERR_INVALIDCALL when the window
    // is gone, a rectangle is inverted or the window refuses the frame.
    HRESULT Show(HWND target, const std::uint32_t* source, int sourceWidth, int sourceHeight, int sourcePitchBytes,
                 const RECT* sourceRect, const RECT* destRect);
};

}  // namespace d3d8
