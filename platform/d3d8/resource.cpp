// Surfaces, volumes, textures of the three kinds, and vertex and index buffers.
//
// All of them keep their bytes in system memory in the exact layout of their format
// (format.h), whatever their pool. A lock hands out the address of the locked region's
// first byte with the pitch of the whole surface; one lock at a time, and only of a
// region that starts on a block boundary (DXT: 4x4, YUV: pairs). A surface of its own
// refuses a region that does not lie inside; a texture level clamps it, as drivers did,
// and an empty one locks nothing.
// A writing lock marks the level as changed, so the sampler's 32-bit copy of it is
// rebuilt before the next draw that reads it; a managed texture's copy is refreshed from
// its dirty region instead (objects.h, TextureCore).
// What the platform keeps from the application refuses a lock with D3DERR_INVALIDCALL
// (see Surface::lockable): default-pool textures that are not dynamic, render targets
// made unlockable, depth surfaces but D16_LOCKABLE, back buffers without the lockable
// flag. Vertex and index buffers lock in every pool: for them the pool is a placement hint.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/d3d8/device.h"

namespace d3d8 {

namespace {
std::atomic<int> g_liveObjects{0};
}  // namespace

int LiveObjectCount() { return g_liveObjects.load(); }
LiveObject::LiveObject() { ++g_liveObjects; }
LiveObject::~LiveObject() { --g_liveObjects; }

// ---- interfaces and private data -------------------------------------------------------

HRESULT AnswerQuery(IUnknown* self, REFIID riid, void** out, std::initializer_list<const IID*> ids) {
    if (out == nullptr) return E_POINTER;
    for (const IID* id : ids)
        if (IsEqualGUID(*id, riid)) {
            self->AddRef();
            *out = self;
            return S_OK;
        }
    *out = nullptr;
    return E_NOINTERFACE;
}

PrivateData::~PrivateData() {
    for (Entry& entry : entries_)
        if (entry.object != nullptr) entry.object->Release();
}

HRESULT PrivateData::Set(REFGUID guid, const void* data, DWORD size, DWORD flags) {
    if (data == nullptr && size != 0) return D3DERR_INVALIDCALL;
    if ((flags & ~DWORD{D3DSPD_IUNKNOWN}) != 0) return D3DERR_INVALIDCALL;
    Entry entry{guid, {}, nullptr};
    if ((flags & D3DSPD_IUNKNOWN) != 0) {
        if (size != sizeof(IUnknown*) || data == nullptr) return D3DERR_INVALIDCALL;
        std::memcpy(&entry.object, data, sizeof(IUnknown*));
        if (entry.object == nullptr) return D3DERR_INVALIDCALL;
        entry.object->AddRef();
    } else {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        entry.bytes.assign(bytes, bytes + size);
    }
    Free(guid);
    entries_.push_back(std::move(entry));
    return D3D_OK;
}

HRESULT PrivateData::Get(REFGUID guid, void* data, DWORD* size) const {
    if (size == nullptr) return D3DERR_INVALIDCALL;
    for (const Entry& entry : entries_) {
        if (!IsEqualGUID(entry.guid, guid)) continue;
        const DWORD needed = entry.object != nullptr ? DWORD{sizeof(IUnknown*)} : static_cast<DWORD>(entry.bytes.size());
        if (data == nullptr || *size < needed) {
            *size = needed;
            return D3DERR_MOREDATA;
        }
        *size = needed;
        if (entry.object != nullptr) {
            // An interface handed out carries a reference of its own.
            entry.object->AddRef();
            std::memcpy(data, &entry.object, sizeof(IUnknown*));
        } else if (needed != 0) {
            std::memcpy(data, entry.bytes.data(), needed);
        }
        return D3D_OK;
    }
    return D3DERR_NOTFOUND;
}

HRESULT PrivateData::Free(REFGUID guid) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (!IsEqualGUID(it->guid, guid)) continue;
        IUnknown* object = it->object;
        entries_.erase(it);
        if (object != nullptr) object->Release();  // last: the release may reach back here
        return D3D_OK;
    }
    return D3DERR_NOTFOUND;
}

// ---- PixelMemory ------------------------------------------------------------------------

AlignedBytes AllocateAligned(std::uint64_t size) {
    if (size > SIZE_MAX) return nullptr;
    return AlignedBytes(static_cast<std::uint8_t*>(
        ::operator new[](static_cast<std::size_t>(size), AlignedDelete::kAlignment, std::nothrow)));
}

bool PixelMemory::Allocate(const FormatStorage& info, UINT width, UINT height, UINT depth) {
    Layout layout;
    if (!ComputeLayout(info, width, height, depth, layout)) return false;
    AlignedBytes bytes = AllocateAligned(layout.size);
    if (!bytes) return false;
    owned_ = std::move(bytes);
    Place(info, width, height, depth, layout, owned_.get(), nullptr);
    return true;
}

void PixelMemory::Place(const FormatStorage& info, UINT width, UINT height, UINT depth, const Layout& layout,
                        std::uint8_t* bits, PixelMemory* next) {
    bits_ = bits;
    next_ = next;
    unset_ = true;
    info_ = &info;
    width_ = width;
    height_ = height;
    depth_ = depth;
    layout_ = layout;
}

void PixelMemory::Settle() const {
    if (!unset_) return;
    std::memset(bits_, 0, layout_.size);
    unset_ = false;
}

std::size_t PixelMemory::Offset(UINT x, UINT y, UINT z) const {
    return std::size_t{z} * layout_.slicePitch + std::size_t{y / info_->blockHeight} * layout_.pitch +
           std::size_t{x / info_->blockWidth} * info_->blockBytes;
}

HRESULT PixelMemory::Lock(const D3DBOX* box, DWORD flags, std::uint8_t** bits) {
    if (bits == nullptr || locked_ || bits_ == nullptr) return D3DERR_INVALIDCALL;
    D3DBOX region = box != nullptr ? *box : D3DBOX{0, 0, width_, height_, 0, depth_};
    if (region.Left >= region.Right || region.Top >= region.Bottom || region.Front >= region.Back ||
        region.Right > width_ || region.Bottom > height_ || region.Back > depth_)
        return D3DERR_INVALIDCALL;
    const UINT bw = info_->blockWidth;
    const UINT bh = info_->blockHeight;
    if (region.Left % bw != 0 || region.Top % bh != 0 || (region.Right % bw != 0 && region.Right != width_) ||
        (region.Bottom % bh != 0 && region.Bottom != height_))
        return D3DERR_INVALIDCALL;
    const bool everything = region.Left == 0 && region.Top == 0 && region.Front == 0 && region.Right == width_ &&
                            region.Bottom == height_ && region.Back == depth_;
    if (everything && (flags & D3DLOCK_DISCARD) != 0 && (flags & D3DLOCK_READONLY) == 0) unset_ = false;
    Settle();
    for (PixelMemory* after = next_; after != nullptr; after = after->next_) after->Settle();
    *bits = bits_ + Offset(region.Left, region.Top, region.Front);
    locked_ = true;
    lockWrites_ = (flags & D3DLOCK_READONLY) == 0;
    return D3D_OK;
}

HRESULT PixelMemory::LockClamped(const D3DBOX& box, DWORD flags, std::uint8_t** bits) {
    if (box.Left < box.Right && box.Top < box.Bottom && box.Front < box.Back) return Lock(&box, flags, bits);
    if (bits == nullptr || locked_ || bits_ == nullptr) return D3DERR_INVALIDCALL;
    Settle();
    for (PixelMemory* after = next_; after != nullptr; after = after->next_) after->Settle();
    *bits = bits_ + Offset(std::min(box.Left, width_ - 1), std::min(box.Top, height_ - 1),
                           std::min(box.Front, depth_ - 1));
    locked_ = true;
    lockWrites_ = false;  // nothing was locked, so nothing can have changed
    return D3D_OK;
}

HRESULT PixelMemory::Unlock() {
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    if (lockWrites_) ContentsChanged();
    return D3D_OK;
}

D3DBOX ClampBox(const D3DBOX& box, UINT width, UINT height, UINT depth) {
    D3DBOX out;
    out.Left = std::min(box.Left, width);
    out.Top = std::min(box.Top, height);
    out.Front = std::min(box.Front, depth);
    out.Right = std::max(out.Left, std::min(box.Right, width));
    out.Bottom = std::max(out.Top, std::min(box.Bottom, height));
    out.Back = std::max(out.Front, std::min(box.Back, depth));
    return out;
}

D3DBOX ClampRect(const RECT& rect, UINT width, UINT height) {
    auto edge = [](LONG value) { return value < 0 ? 0u : static_cast<UINT>(value); };
    return ClampBox(D3DBOX{edge(rect.left), edge(rect.top), edge(rect.right), edge(rect.bottom), 0, 1}, width, height,
                    1);
}

bool RectToBox(const RECT* rect, UINT width, UINT height, D3DBOX& box) {
    if (rect == nullptr) {
        box = D3DBOX{0, 0, width, height, 0, 1};
        return true;
    }
    if (rect->left < 0 || rect->top < 0 || rect->right < 0 || rect->bottom < 0) return false;
    box = D3DBOX{static_cast<UINT>(rect->left), static_cast<UINT>(rect->top), static_cast<UINT>(rect->right),
                 static_cast<UINT>(rect->bottom), 0, 1};
    return true;
}

// ---- Surface ----------------------------------------------------------------------------

Surface::Surface(Device* device, IUnknown* container, DWORD usage, D3DPOOL pool)
    : device_(device), container_(container), usage_(usage), pool_(pool) {
    if (container_ == nullptr) device_->RetainResource();
    // The device's own buffers: the device's reference does not show in their count.
    if (DeviceOwned()) refs_ = 0;
}

Surface::~Surface() {
    if (container_ == nullptr) {
        device_->ForgetDefaultPool(this);
        device_->ReleaseResource();
    }
}

HRESULT Surface::QueryInterface(REFIID riid, void** out) {
    return AnswerQuery(this, riid, out, {&IID_IUnknown, &IID_IDirect3DSurface8});
}

// The texture or swap chain the surface is a level or buffer of; the device for its own
// buffers and for surfaces of their own (image surfaces, render targets, depth surfaces).
HRESULT Surface::GetContainer(REFIID riid, void** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    IUnknown* container = container_ != nullptr ? container_ : static_cast<IUnknown*>(device_);
    HRESULT result = container->QueryInterface(riid, out);
    return SUCCEEDED(result) ? D3D_OK : E_NOINTERFACE;
}

bool Surface::DeviceOwned() const { return container_ != nullptr && container_ == static_cast<IUnknown*>(device_); }

// The device's buffers count the application's references only (GetBackBuffer then
// Release gives 0, as on the platform); each of them keeps the device alive as a resource.
ULONG Surface::AddRef() {
    if (DeviceOwned()) {
        device_->RetainResource();
        return ++refs_;
    }
    return container_ != nullptr ? container_->AddRef() : ++refs_;
}

ULONG Surface::Release() {
    if (DeviceOwned()) {
        if (refs_ == 0) return 0;  // a release too many
        const ULONG left = --refs_;
        device_->ReleaseResource();  // may free the device and with it this surface
        return left;
    }
    if (container_ != nullptr) {
        IUnknown* container = container_;  // the release may free this surface
        return container->Release();
    }
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT Surface::GetDevice(IDirect3DDevice8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *out = device_;
    return D3D_OK;
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) {
    if (desc == nullptr) return D3DERR_INVALIDCALL;
    *desc = D3DSURFACE_DESC{memory.Format(), D3DRTYPE_SURFACE, usage_,       pool_, memory.Size(),
                            D3DMULTISAMPLE_NONE, memory.Width(), memory.Height()};
    return D3D_OK;
}

// A lock that fails leaves the caller's structure zeroed.
HRESULT Surface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    if (locked == nullptr) return D3DERR_INVALIDCALL;
    *locked = D3DLOCKED_RECT{};
    if (!lockable) return D3DERR_INVALIDCALL;
    D3DBOX box;
    if (texture != nullptr) {
        // A texture level takes any rectangle, as drivers did: clamped to the level, and an
        // empty or inverted one locks nothing. Surfaces of their own refuse one that does
        // not lie inside.
        box = rect != nullptr ? ClampRect(*rect, memory.Width(), memory.Height())
                              : D3DBOX{0, 0, memory.Width(), memory.Height(), 0, 1};
    } else if (!RectToBox(rect, memory.Width(), memory.Height(), box)) {
        return D3DERR_INVALIDCALL;
    }
    if (flushBeforeLock) device_->FlushRaster();
    std::uint8_t* bits = nullptr;
    HRESULT result = texture != nullptr ? memory.LockClamped(box, flags, &bits) : memory.Lock(&box, flags, &bits);
    if (FAILED(result)) return result;
    if (texture != nullptr) texture->LevelLocked(face, level, box, flags);
    locked->Pitch = static_cast<INT>(memory.GetLayout().pitch);
    locked->pBits = bits;
    return D3D_OK;
}

HRESULT Surface::UnlockRect() { return memory.Unlock(); }

// ---- Volume -----------------------------------------------------------------------------

Volume::Volume(Device* device, IUnknown* container, DWORD usage, D3DPOOL pool)
    : device_(device), container_(container), usage_(usage), pool_(pool) {}

HRESULT Volume::QueryInterface(REFIID riid, void** out) {
    return AnswerQuery(this, riid, out, {&IID_IUnknown, &IID_IDirect3DVolume8});
}

HRESULT Volume::GetContainer(REFIID riid, void** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    HRESULT result = container_->QueryInterface(riid, out);
    return SUCCEEDED(result) ? D3D_OK : E_NOINTERFACE;
}

ULONG Volume::AddRef() { return container_->AddRef(); }

ULONG Volume::Release() {
    IUnknown* container = container_;
    return container->Release();
}

HRESULT Volume::GetDevice(IDirect3DDevice8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *out = device_;
    return D3D_OK;
}

HRESULT Volume::GetDesc(D3DVOLUME_DESC* desc) {
    if (desc == nullptr) return D3DERR_INVALIDCALL;
    *desc = D3DVOLUME_DESC{memory.Format(), D3DRTYPE_VOLUME, usage_,         pool_,
                           memory.Size(),   memory.Width(),  memory.Height(), memory.Depth()};
    return D3D_OK;
}

HRESULT Volume::LockBox(D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) {
    if (locked == nullptr) return D3DERR_INVALIDCALL;
    *locked = D3DLOCKED_BOX{};
    if (!lockable) return D3DERR_INVALIDCALL;
    // Clamped as a texture level's rectangle is (Surface::LockRect).
    const D3DBOX region = box != nullptr ? ClampBox(*box, memory.Width(), memory.Height(), memory.Depth())
                                         : D3DBOX{0, 0, memory.Width(), memory.Height(), 0, memory.Depth()};
    std::uint8_t* bits = nullptr;
    HRESULT result = memory.LockClamped(region, flags, &bits);
    if (FAILED(result)) return result;
    if (texture != nullptr) texture->LevelLocked(0, level, region, flags);
    locked->RowPitch = static_cast<INT>(memory.GetLayout().pitch);
    locked->SlicePitch = static_cast<INT>(memory.GetLayout().slicePitch);
    locked->pBits = bits;
    return D3D_OK;
}

HRESULT Volume::UnlockBox() { return memory.Unlock(); }

// ---- textures ---------------------------------------------------------------------------

namespace {

// A box widened outward to whole blocks, inside the level.
D3DBOX WholeBlocksOf(const D3DBOX& box, const PixelMemory& level) {
    const UINT bw = level.Info().blockWidth, bh = level.Info().blockHeight;
    D3DBOX out = box;
    out.Left -= out.Left % bw;
    out.Top -= out.Top % bh;
    out.Right = std::min(level.Width(), (out.Right + bw - 1) / bw * bw);
    out.Bottom = std::min(level.Height(), (out.Bottom + bh - 1) / bh * bh);
    return out;
}

}  // namespace

void TextureCore::RefreshCopy(UINT face, UINT level, const D3DBOX& region) {
    PixelMemory& memory = *LevelMemory(face, level);
    const int width = static_cast<int>(memory.Width());
    const int height = static_cast<int>(memory.Height());
    const int depth = static_cast<int>(memory.Depth());
    const std::size_t slice = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<std::uint32_t>& copy = copies_[face * raster::SamplerTexture::kMaxLevels + level];
    copy.resize(slice * static_cast<std::size_t>(depth));
    const D3DBOX box = WholeBlocksOf(region, memory);
    const Layout& layout = memory.GetLayout();
    const FormatStorage& info = memory.Info();
    const std::uint8_t* bits = memory.Bits();
    for (UINT z = box.Front; z < box.Back; ++z) {
        const std::uint8_t* first = bits + std::size_t{z} * layout.slicePitch +
                                    std::size_t{box.Top / info.blockHeight} * layout.pitch +
                                    std::size_t{box.Left / info.blockWidth} * info.blockBytes;
        std::uint32_t* out = copy.data() + z * slice + std::size_t{box.Top} * static_cast<std::size_t>(width) + box.Left;
        UnpackLevel(memory.Format(), first, static_cast<int>(layout.pitch), static_cast<int>(box.Right - box.Left),
                    static_cast<int>(box.Bottom - box.Top), out, width);
    }
    raster::SamplerLevel& view = levels_[face][level];
    view = raster::SamplerLevel{copy.data(), width, height, width};
    view.depth = depth;
    view.slicePitch = static_cast<std::ptrdiff_t>(slice);
}

const raster::SamplerTexture* TextureCore::Sampler() {
    UINT count = std::min<UINT>(LevelCount(), raster::SamplerTexture::kMaxLevels);
    if (count == 0 || !SamplerReadsFormat(LevelMemory(0, 0)->Format())) return nullptr;
    const raster::TextureKind kind = SamplerKind();
    const UINT faces = FaceCount();
    if (copies_.empty()) copies_.resize(static_cast<std::size_t>(kMaxFaces) * raster::SamplerTexture::kMaxLevels);
    bool flushed = false;
    bool uploaded = false;
    for (UINT face = 0; face < faces; ++face)
        for (UINT i = 0; i < count; ++i) {
            PixelMemory& level = *LevelMemory(face, i);
            // A level locked for writing right now is copied as it stands; its unlock marks it
            // changed again. A managed level's copy takes its dirty region only.
            D3DBOX region{0, 0, level.Width(), level.Height(), 0, level.Depth()};
            const bool whole = level.dirty || copies_[face * raster::SamplerTexture::kMaxLevels + i].empty();
            if (!whole && !(level.drawnFromDirtyRegion && LevelDirtyRegion(face, i, region))) continue;
            if (!flushed) {
                OwnerDevice()->FlushRaster();  // queued draws may still read the old copy
                flushed = true;
            }
            RefreshCopy(face, i, region);
            level.dirty = false;
            uploaded = uploaded || level.drawnFromDirtyRegion;
        }
    if (uploaded) CleanDirtyRegions();
    // Queued draws read sampler_ itself, so it is rewritten only after a flush.
    UINT first = std::min<UINT>(SamplerFirstLevel(), count - 1);
    if (flushed || first != viewFirst_ || sampler_.levelCount != static_cast<int>(count - first)) {
        if (!flushed) OwnerDevice()->FlushRaster();
        viewFirst_ = first;
        sampler_.levelCount = static_cast<int>(count - first);
        sampler_.kind = kind;
        for (UINT i = first; i < count; ++i) sampler_.levels[i - first] = levels_[0][i];
        if (kind == raster::TextureKind::Cube)
            for (UINT face = 0; face < faces; ++face) {
                for (UINT i = first; i < count; ++i) faceViews_[face][i - first] = levels_[face][i];
                sampler_.faces[face] = faceViews_[face];
            }
        if (flushed) sampler_.copies.Changed();
    }
    return &sampler_;
}

bool TextureCore::PlaceLevels(const FormatStorage& info, UINT faces, const std::vector<std::array<UINT, 3>>& extents) {
    std::vector<Layout> layouts(extents.size());
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < extents.size(); ++i) {
        if (!ComputeLayout(info, extents[i][0], extents[i][1], extents[i][2], layouts[i])) return false;
        total += layouts[i].size;
    }
    total *= faces;
    if (total > (std::uint64_t{1} << 31)) return false;  // the limit of one region (format.h)
    levelBlock_ = AllocateAligned(total);
    if (!levelBlock_) return false;
    std::vector<PixelMemory*> order;  // block order: face by face, level by level
    for (UINT face = 0; face < faces; ++face)
        for (std::size_t i = 0; i < extents.size(); ++i) order.push_back(LevelMemory(face, static_cast<UINT>(i)));
    std::uint8_t* at = levelBlock_.get();
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::size_t i = k % extents.size();
        order[k]->Place(info, extents[i][0], extents[i][1], extents[i][2], layouts[i], at,
                        k + 1 < order.size() ? order[k + 1] : nullptr);
        order[k]->drawnFromDirtyRegion = CorePool() == D3DPOOL_MANAGED;
        at += layouts[i].size;
    }
    return true;
}

void TextureCore::AddDirtyRegion(UINT face, UINT level, const D3DBOX* box) {
    DirtyRegion& region = dirty_[face];
    if (box == nullptr) {
        region = DirtyRegion{};
        return;
    }
    // Up to level 0: each edge times 2^level, the far ones clamped to level 0's extent.
    const PixelMemory& top = *LevelMemory(face, 0);
    auto up = [level](UINT value, UINT limit) {
        return static_cast<UINT>(std::min<std::uint64_t>(std::uint64_t{value} << level, limit));
    };
    const D3DBOX scaled{up(box->Left, top.Width()),  up(box->Top, top.Height()),   up(box->Right, top.Width()),
                        up(box->Bottom, top.Height()), up(box->Front, top.Depth()), up(box->Back, top.Depth())};
    if (!region.any) {
        region.any = true;
        region.box = scaled;
        return;
    }
    region.box.Left = std::min(region.box.Left, scaled.Left);
    region.box.Top = std::min(region.box.Top, scaled.Top);
    region.box.Front = std::min(region.box.Front, scaled.Front);
    region.box.Right = std::max(region.box.Right, scaled.Right);
    region.box.Bottom = std::max(region.box.Bottom, scaled.Bottom);
    region.box.Back = std::max(region.box.Back, scaled.Back);
}

bool TextureCore::LevelDirtyRegion(UINT face, UINT level, D3DBOX& box) const {
    const DirtyRegion& region = dirty_[face];
    if (!region.any) return false;
    const PixelMemory& memory = *const_cast<TextureCore*>(this)->LevelMemory(face, level);
    // Down from level 0: near edges rounded down, far edges up.
    auto down = [level](UINT value, UINT limit) {
        return static_cast<UINT>(std::min<std::uint64_t>(value >> level, limit));
    };
    auto downUp = [level](UINT value, UINT limit) {
        return static_cast<UINT>(
            std::min<std::uint64_t>((std::uint64_t{value} + (std::uint64_t{1} << level) - 1) >> level, limit));
    };
    box = ClampBox(D3DBOX{down(region.box.Left, memory.Width()), down(region.box.Top, memory.Height()),
                          downUp(region.box.Right, memory.Width()), downUp(region.box.Bottom, memory.Height()),
                          down(region.box.Front, memory.Depth()), downUp(region.box.Back, memory.Depth())},
                   memory.Width(), memory.Height(), memory.Depth());
    return box.Left < box.Right && box.Top < box.Bottom && box.Front < box.Back;
}

void TextureCore::CleanDirtyRegions() {
    for (DirtyRegion& region : dirty_) region.any = false;
}

void TextureCore::LevelLocked(UINT face, UINT level, const D3DBOX& box, DWORD flags) {
    if ((flags & (D3DLOCK_READONLY | D3DLOCK_NO_DIRTY_UPDATE)) != 0) return;
    if (box.Left >= box.Right || box.Top >= box.Bottom || box.Front >= box.Back) return;
    AddDirtyRegion(face, level, &box);
}

// The caller has flushed the queued draws: none reads the copies any more, and the next
// Sampler() makes them again before a draw does.
void TextureCore::DropDrawnCopies() {
    for (std::vector<std::uint32_t>& copy : copies_) std::vector<std::uint32_t>().swap(copy);
    for (UINT face = 0; face < FaceCount(); ++face)
        for (UINT i = 0; i < LevelCount(); ++i) LevelMemory(face, i)->dirty = true;
}

template <class Interface>
TextureBase<Interface>::TextureBase(Device* device, DWORD usage, D3DFORMAT format, D3DPOOL pool, UINT levels)
    : device_(device), usage_(usage), format_(format), pool_(pool), levels_(levels) {
    device_->RetainResource();
    if (pool_ == D3DPOOL_MANAGED) device_->AddManagedTexture(this);
}

namespace {
template <class Interface>
const IID& InterfaceId();
template <>
const IID& InterfaceId<IDirect3DTexture8>() { return IID_IDirect3DTexture8; }
template <>
const IID& InterfaceId<IDirect3DCubeTexture8>() { return IID_IDirect3DCubeTexture8; }
template <>
const IID& InterfaceId<IDirect3DVolumeTexture8>() { return IID_IDirect3DVolumeTexture8; }
template <>
const IID& InterfaceId<IDirect3DVertexBuffer8>() { return IID_IDirect3DVertexBuffer8; }
template <>
const IID& InterfaceId<IDirect3DIndexBuffer8>() { return IID_IDirect3DIndexBuffer8; }
}  // namespace

template <class Interface>
HRESULT TextureBase<Interface>::QueryInterface(REFIID riid, void** out) {
    return AnswerQuery(static_cast<Interface*>(this), riid, out,
                       {&IID_IUnknown, &IID_IDirect3DResource8, &IID_IDirect3DBaseTexture8, &InterfaceId<Interface>()});
}

template <class Interface>
TextureBase<Interface>::~TextureBase() {
    device_->FlushRaster();  // no queued draw may sample this texture any more
    device_->ForgetDefaultPool(this);
    if (pool_ == D3DPOOL_MANAGED) device_->RemoveManagedTexture(this);
    device_->ReleaseResource();
}

template <class Interface>
HRESULT TextureBase<Interface>::GetDevice(IDirect3DDevice8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *out = device_;
    return D3D_OK;
}

template <class Interface>
DWORD TextureBase<Interface>::SetPriority(DWORD priority) {
    DWORD previous = priority_;
    if (pool_ == D3DPOOL_MANAGED) priority_ = priority;
    return previous;
}

template <class Interface>
DWORD TextureBase<Interface>::SetLOD(DWORD lod) {
    // Only managed textures have a level of detail; the sampler starts at that level.
    DWORD previous = lod_;
    if (pool_ == D3DPOOL_MANAGED) lod_ = std::min<DWORD>(lod, levels_ - 1);
    return previous;
}

template class TextureBase<IDirect3DTexture8>;
template class TextureBase<IDirect3DCubeTexture8>;
template class TextureBase<IDirect3DVolumeTexture8>;

namespace {

// A texture the application may lock: one kept in system memory (managed, system-memory,
// scratch) or a dynamic one. The levels of a default-pool texture live where the card
// reads them and are filled through UpdateTexture or CopyRects; render-target and depth
// textures are always in the default pool, so they never lock.
bool LockableTexture(D3DPOOL pool, DWORD usage) { return pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC) != 0; }

}  // namespace

bool Texture::Build(UINT width, UINT height) {
    std::vector<std::array<UINT, 3>> extents;
    for (UINT i = 0; i < levels_; ++i) {
        levels.push_back(std::make_unique<Surface>(device_, this, usage_, pool_));
        levels.back()->flushBeforeLock = (usage_ & D3DUSAGE_RENDERTARGET) != 0;  // draws may write it
        levels.back()->lockable = LockableTexture(pool_, usage_);
        levels.back()->texture = this;
        levels.back()->level = i;
        extents.push_back({LevelExtent(width, i), LevelExtent(height, i), 1});
    }
    return PlaceLevels(*FindFormat(format_), 1, extents);
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (level >= levels_) return D3DERR_INVALIDCALL;
    return levels[level]->GetDesc(desc);
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface8** out) {
    if (out == nullptr || level >= levels_) return D3DERR_INVALIDCALL;
    levels[level]->AddRef();
    *out = levels[level].get();
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    if (level >= levels_) {
        if (locked != nullptr) *locked = D3DLOCKED_RECT{};
        return D3DERR_INVALIDCALL;
    }
    return levels[level]->LockRect(locked, rect, flags);
}

HRESULT Texture::UnlockRect(UINT level) {
    if (level >= levels_) return D3DERR_INVALIDCALL;
    return levels[level]->UnlockRect();
}

// Dirty rectangles are clamped to level 0 as locked ones are; an empty one adds nothing.
HRESULT Texture::AddDirtyRect(const RECT* rect) {
    if (rect == nullptr) {
        AddDirtyRegion(0, 0, nullptr);
        return D3D_OK;
    }
    const D3DBOX box = ClampRect(*rect, levels[0]->memory.Width(), levels[0]->memory.Height());
    LevelLocked(0, 0, box, 0);
    return D3D_OK;
}

bool CubeTexture::Build(UINT edgeLength) {
    std::vector<std::array<UINT, 3>> extents;
    for (UINT i = 0; i < levels_; ++i) extents.push_back({LevelExtent(edgeLength, i), LevelExtent(edgeLength, i), 1});
    for (UINT f = 0; f < 6; ++f) {
        for (UINT i = 0; i < levels_; ++i) {
            faces[f].push_back(std::make_unique<Surface>(device_, this, usage_, pool_));
            faces[f].back()->flushBeforeLock = (usage_ & D3DUSAGE_RENDERTARGET) != 0;
            faces[f].back()->lockable = LockableTexture(pool_, usage_);
            faces[f].back()->texture = this;
            faces[f].back()->face = f;
            faces[f].back()->level = i;
        }
    }
    return PlaceLevels(*FindFormat(format_), 6, extents);
}

HRESULT CubeTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (level >= levels_) return D3DERR_INVALIDCALL;
    return faces[0][level]->GetDesc(desc);
}

HRESULT CubeTexture::GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface8** out) {
    if (out == nullptr || face > D3DCUBEMAP_FACE_NEGATIVE_Z || level >= levels_) return D3DERR_INVALIDCALL;
    faces[face][level]->AddRef();
    *out = faces[face][level].get();
    return D3D_OK;
}

HRESULT CubeTexture::LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                              DWORD flags) {
    if (face > D3DCUBEMAP_FACE_NEGATIVE_Z || level >= levels_) {
        if (locked != nullptr) *locked = D3DLOCKED_RECT{};
        return D3DERR_INVALIDCALL;
    }
    return faces[face][level]->LockRect(locked, rect, flags);
}

HRESULT CubeTexture::UnlockRect(D3DCUBEMAP_FACES face, UINT level) {
    if (face > D3DCUBEMAP_FACE_NEGATIVE_Z || level >= levels_) return D3DERR_INVALIDCALL;
    return faces[face][level]->UnlockRect();
}

HRESULT CubeTexture::AddDirtyRect(D3DCUBEMAP_FACES face, const RECT* rect) {
    if (face > D3DCUBEMAP_FACE_NEGATIVE_Z) return D3DERR_INVALIDCALL;
    if (rect == nullptr) {
        AddDirtyRegion(face, 0, nullptr);
        return D3D_OK;
    }
    const PixelMemory& top = faces[face][0]->memory;
    LevelLocked(face, 0, ClampRect(*rect, top.Width(), top.Height()), 0);
    return D3D_OK;
}

bool VolumeTexture::Build(UINT width, UINT height, UINT depth) {
    std::vector<std::array<UINT, 3>> extents;
    for (UINT i = 0; i < levels_; ++i) {
        levels.push_back(std::make_unique<Volume>(device_, this, usage_, pool_));
        levels.back()->lockable = LockableTexture(pool_, usage_);
        levels.back()->texture = this;
        levels.back()->level = i;
        extents.push_back({LevelExtent(width, i), LevelExtent(height, i), LevelExtent(depth, i)});
    }
    return PlaceLevels(*FindFormat(format_), 1, extents);
}

HRESULT VolumeTexture::GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) {
    if (level >= levels_) return D3DERR_INVALIDCALL;
    return levels[level]->GetDesc(desc);
}

HRESULT VolumeTexture::GetVolumeLevel(UINT level, IDirect3DVolume8** out) {
    if (out == nullptr || level >= levels_) return D3DERR_INVALIDCALL;
    levels[level]->AddRef();
    *out = levels[level].get();
    return D3D_OK;
}

HRESULT VolumeTexture::LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) {
    if (level >= levels_) {
        if (locked != nullptr) *locked = D3DLOCKED_BOX{};
        return D3DERR_INVALIDCALL;
    }
    return levels[level]->LockBox(locked, box, flags);
}

HRESULT VolumeTexture::UnlockBox(UINT level) {
    if (level >= levels_) return D3DERR_INVALIDCALL;
    return levels[level]->UnlockBox();
}

HRESULT VolumeTexture::AddDirtyBox(const D3DBOX* box) {
    if (box == nullptr) {
        AddDirtyRegion(0, 0, nullptr);
        return D3D_OK;
    }
    const PixelMemory& top = levels[0]->memory;
    LevelLocked(0, 0, ClampBox(*box, top.Width(), top.Height(), top.Depth()), 0);
    return D3D_OK;
}

// ---- buffers ----------------------------------------------------------------------------

template <class Interface>
Buffer<Interface>::Buffer(Device* device, DWORD usage, D3DPOOL pool) : device_(device), usage_(usage), pool_(pool) {
    device_->RetainResource();
}

template <class Interface>
HRESULT Buffer<Interface>::QueryInterface(REFIID riid, void** out) {
    return AnswerQuery(this, riid, out, {&IID_IUnknown, &IID_IDirect3DResource8, &InterfaceId<Interface>()});
}

template <class Interface>
Buffer<Interface>::~Buffer() {
    device_->ForgetDefaultPool(this);
    device_->ReleaseResource();
}

template <class Interface>
bool Buffer<Interface>::Allocate(UINT length) {
    bytes_.reset(new (std::nothrow) std::uint8_t[length]());
    length_ = bytes_ ? length : 0;
    return bytes_ != nullptr;
}

template <class Interface>
HRESULT Buffer<Interface>::GetDevice(IDirect3DDevice8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *out = device_;
    return D3D_OK;
}

template <class Interface>
DWORD Buffer<Interface>::SetPriority(DWORD priority) {
    DWORD previous = priority_;
    if (pool_ == D3DPOOL_MANAGED) priority_ = priority;
    return previous;
}

template <class Interface>
HRESULT Buffer<Interface>::Lock(UINT offset, UINT size, BYTE** data, DWORD flags) {
    if (data == nullptr || locked_) return D3DERR_INVALIDCALL;
    // A size of 0 locks everything from the offset on.
    if (offset > length_ || (size != 0 && size > length_ - offset) || (size == 0 && offset == length_))
        return D3DERR_INVALIDCALL;
    *data = bytes_.get() + offset;
    locked_ = true;
    return D3D_OK;
}

template <class Interface>
HRESULT Buffer<Interface>::Unlock() {
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    return D3D_OK;
}

template class Buffer<IDirect3DVertexBuffer8>;
template class Buffer<IDirect3DIndexBuffer8>;

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
    if (desc == nullptr) return D3DERR_INVALIDCALL;
    *desc = D3DVERTEXBUFFER_DESC{D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage_, pool_, Length(), fvf_};
    return D3D_OK;
}

HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* desc) {
    if (desc == nullptr) return D3DERR_INVALIDCALL;
    *desc = D3DINDEXBUFFER_DESC{format_, D3DRTYPE_INDEXBUFFER, usage_, pool_, Length()};
    return D3D_OK;
}

}  // namespace d3d8
