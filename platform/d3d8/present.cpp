#include "platform/d3d8/present.h"

#include <algorithm>
#include <cstring>

#include "platform/d3d8/device.h"
#include "platform/win32/host.h"

namespace d3d8 {

bool FrontImage::Compose(HWND target, int clientWidth, int clientHeight, const std::uint32_t* source,
                         int sourceWidth, int sourceHeight, int sourcePitchBytes, const RECT* sourceRect,
                         const RECT* destRect) {
    RECT from = sourceRect != nullptr ? *sourceRect : RECT{0, 0, sourceWidth, sourceHeight};
    const RECT to = destRect != nullptr ? *destRect : RECT{0, 0, clientWidth, clientHeight};
    if (from.left > from.right || from.top > from.bottom || to.left > to.right || to.top > to.bottom) return false;
    if (target != window || clientWidth != width || clientHeight != height) {
        window = target;
        width = clientWidth;
        height = clientHeight;
        pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    }
    from.left = std::max<LONG>(from.left, 0);
    from.top = std::max<LONG>(from.top, 0);
    from.right = std::min<LONG>(from.right, sourceWidth);
    from.bottom = std::min<LONG>(from.bottom, sourceHeight);
    // In 64 bits: a destination rectangle may span the whole range of LONG.
    const std::int64_t fromWidth = std::int64_t{from.right} - from.left;
    const std::int64_t fromHeight = std::int64_t{from.bottom} - from.top;
    const std::int64_t toWidth = std::int64_t{to.right} - to.left;
    const std::int64_t toHeight = std::int64_t{to.bottom} - to.top;
    if (fromWidth <= 0 || fromHeight <= 0 || toWidth <= 0 || toHeight <= 0) return true;  // nothing to copy

    // Point sampling: the destination pixel's centre, mapped into the source rectangle of
    // the unclipped destination, picks the source pixel; only pixels inside the client
    // area are written.
    const LONG x0 = std::max<LONG>(to.left, 0), x1 = std::min<LONG>(to.right, width);
    const LONG y0 = std::max<LONG>(to.top, 0), y1 = std::min<LONG>(to.bottom, height);
    for (LONG y = y0; y < y1; ++y) {
        const std::int64_t sy = from.top + ((2 * (std::int64_t{y} - to.top) + 1) * fromHeight) / (2 * toHeight);
        const auto* row = reinterpret_cast<const std::uint32_t*>(reinterpret_cast<const std::uint8_t*>(source) +
                                                                 sy * static_cast<std::int64_t>(sourcePitchBytes));
        std::uint32_t* out = &pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width)];
        for (LONG x = x0; x < x1; ++x) {
            const std::int64_t sx = from.left + ((2 * (std::int64_t{x} - to.left) + 1) * fromWidth) / (2 * toWidth);
            out[x] = row[sx];
        }
    }
    return true;
}

}  // namespace d3d8

// ---- the device's presentation calls --------------------------------------------------------
//
// - Present keeps the frame it showed: the back buffer's pixels, exchanged with a second
//   buffer (no copy), or for a device whose swap effect copies the composed client area
//   (FrontImage). GetFrontBuffer copies that frame into an
//   A8R8G8B8 surface as the desktop shows it: at the client area's position on a surface of
//   at least the desktop's size, the rest black. Headless there is no desktop: the surface
//   must be as large as the back buffer and the frame goes to its top left corner. Before
//   the first Present the frame is black. The destination is an image surface
//   (CreateImageSurface).
// - A full-screen frame is scaled onto the desktop by the window layer, whose display is
//   not ours to recolour: the gamma ramp is kept and returned, identity until set.
// - The cursor is validated (an A8R8G8B8 surface whose sides are powers of two smaller
//   than the display mode's, alpha 0 or 255, hot spot inside) and handed to the window
//   layer, which shows it in place of the system's cursor (with a display, as SDL's colour
//   cursor: the window system draws it where the mouse is, at once, and it is never part of
//   a frame, as a hardware cursor is not). ShowCursor shows nothing until an image is set:
//   it answers whether the device's cursor was shown, and the request waits for the image.
//   SetCursorPosition moves the pointer (screen coordinates, the device window's client
//   area at the screen's origin in full screen), which reaches the window as WM_MOUSEMOVE;
//   a position the pointer is at already moves nothing.
// - The scan line cannot be read (no D3DCAPS_READ_SCANLINE): GetRasterStatus fails.
namespace d3d8 {

HRESULT Device::GetFrontBuffer(IDirect3DSurface8* destination) {
    auto* surface = dynamic_cast<Surface*>(destination);
    // An image surface: one of its own, neither a target nor a texture level.
    if (surface == nullptr || surface->OwnerDevice() != this || !surface->OwnedBy(nullptr) || surface->Usage() != 0)
        return D3DERR_INVALIDCALL;
    PixelMemory& memory = surface->memory;
    if (memory.Format() != D3DFMT_A8R8G8B8 || memory.IsLocked()) return D3DERR_INVALIDCALL;
    UINT needWidth = backBuffer_->memory.Width();
    UINT needHeight = backBuffer_->memory.Height();
    POINT origin{0, 0};
    if (!host::IsHeadless()) {
        needWidth = displayMode_.Width;
        needHeight = displayMode_.Height;
        if (!ClientToScreen(window_, &origin)) origin = POINT{0, 0};
    }
    if (memory.Width() < needWidth || memory.Height() < needHeight) return D3DERR_INVALIDCALL;

    const int width = static_cast<int>(memory.Width());
    const int height = static_cast<int>(memory.Height());
    const std::size_t pitch = memory.GetLayout().pitch;
    std::uint8_t* bits = memory.Bits();
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(bits + static_cast<std::size_t>(y) * pitch);
        std::fill(row, row + width, 0xFF000000u);
    }
    // The frame, clipped to the surface.
    const std::uint32_t* frame = nullptr;
    int frameWidth = 0, frameHeight = 0;
    std::size_t framePitch = 0;  // in pixels
    if (shown_ == Shown::BackBuffer) {
        frame = reinterpret_cast<const std::uint32_t*>(presented_.Bits());
        frameWidth = static_cast<int>(presented_.Width());
        frameHeight = static_cast<int>(presented_.Height());
        framePitch = presented_.GetLayout().pitch / 4;
    } else if (shown_ == Shown::Front) {
        frame = front_.pixels.data();
        frameWidth = front_.width;
        frameHeight = front_.height;
        framePitch = static_cast<std::size_t>(front_.width);
    }
    const int x0 = std::max<LONG>(origin.x, 0), x1 = std::min<LONG>(origin.x + frameWidth, width);
    const int y0 = std::max<LONG>(origin.y, 0), y1 = std::min<LONG>(origin.y + frameHeight, height);
    for (int y = y0; y < y1; ++y) {
        const std::uint32_t* from = frame + static_cast<std::size_t>(y - origin.y) * framePitch;
        auto* row = reinterpret_cast<std::uint32_t*>(bits + static_cast<std::size_t>(y) * pitch);
        for (int x = x0; x < x1; ++x) row[x] = from[x - origin.x] | 0xFF000000u;
    }
    return D3D_OK;
}

HRESULT Device::GetRasterStatus(D3DRASTER_STATUS* /*status*/) { return D3DERR_INVALIDCALL; }

void Device::SetGammaRamp(DWORD /*flags*/, const D3DGAMMARAMP* ramp) {
    if (ramp != nullptr) gamma_ = *ramp;
}

void Device::GetGammaRamp(D3DGAMMARAMP* ramp) {
    if (ramp != nullptr) *ramp = gamma_;
}

HRESULT Device::SetCursorProperties(UINT xHotSpot, UINT yHotSpot, IDirect3DSurface8* cursorBitmap) {
    auto* surface = dynamic_cast<Surface*>(cursorBitmap);
    if (surface == nullptr || surface->OwnerDevice() != this) return D3DERR_INVALIDCALL;
    PixelMemory& memory = surface->memory;
    const UINT width = memory.Width(), height = memory.Height();
    auto powerOfTwo = [](UINT v) { return v != 0 && (v & (v - 1)) == 0; };
    if (memory.Format() != D3DFMT_A8R8G8B8 || memory.IsLocked() || !powerOfTwo(width) || !powerOfTwo(height) ||
        width >= displayMode_.Width || height >= displayMode_.Height || xHotSpot >= width || yHotSpot >= height)
        return D3DERR_INVALIDCALL;
    FlushRaster();  // the surface may be a render target
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    const std::uint8_t* bits = memory.Bits();
    for (UINT y = 0; y < height; ++y) {
        std::memcpy(&pixels[static_cast<std::size_t>(y) * width], bits + y * memory.GetLayout().pitch,
                    std::size_t{width} * 4);
    }
    for (std::uint32_t pixel : pixels) {
        const std::uint32_t alpha = pixel >> 24;
        if (alpha != 0 && alpha != 0xFF) return D3DERR_INVALIDCALL;
    }
    cursor_.hotSpotX = xHotSpot;
    cursor_.hotSpotY = yHotSpot;
    cursor_.width = width;
    cursor_.height = height;
    cursor_.pixels = std::move(pixels);
    host::SetDeviceCursor(cursor_.pixels.data(), static_cast<int>(width), static_cast<int>(height),
                          static_cast<int>(xHotSpot), static_cast<int>(yHotSpot));
    host::ShowDeviceCursor(cursor_.visible);
    return D3D_OK;
}

void Device::SetCursorPosition(UINT xScreenSpace, UINT yScreenSpace, DWORD /*flags*/) {
    cursor_.x = xScreenSpace;
    cursor_.y = yScreenSpace;
    POINT current{};
    POINT point{static_cast<LONG>(xScreenSpace), static_cast<LONG>(yScreenSpace)};
    if (GetCursorPos(&current) && current.x == point.x && current.y == point.y) return;
    if (ScreenToClient(window_, &point)) host::WarpMouse(window_, point.x, point.y);
}

BOOL Device::ShowCursor(BOOL show) {
    const bool previous = cursor_.visible && !cursor_.pixels.empty();
    cursor_.visible = show != FALSE;
    if (!cursor_.pixels.empty()) host::ShowDeviceCursor(cursor_.visible);
    return previous ? TRUE : FALSE;
}

// The device has none of the optional information (resource manager, vertex statistics).
HRESULT Device::GetInfo(DWORD /*devInfoId*/, void* devInfo, DWORD devInfoSize) {
    if (devInfo == nullptr || devInfoSize == 0) return D3DERR_INVALIDCALL;
    return S_FALSE;
}

HRESULT FrontImage::Show(HWND target, const std::uint32_t* source, int sourceWidth, int sourceHeight,
                         int sourcePitchBytes, const RECT* sourceRect, const RECT* destRect) {
    RECT client{};
    if (!GetClientRect(target, &client)) return D3DERR_INVALIDCALL;
    if (!Compose(target, client.right, client.bottom, source, sourceWidth, sourceHeight, sourcePitchBytes,
                 sourceRect, destRect))
        return D3DERR_INVALIDCALL;
    if (pixels.empty()) return D3D_OK;  // a client area of no pixels
    if (!host::PresentFrame(target, pixels.data(), width, height, width * 4)) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

}  // namespace d3d8
