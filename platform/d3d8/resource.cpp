// Surfaces, volumes, textures of the three kinds, and vertex and index buffers.
//
// All of them keep their bytes in system memory in the exact layout of their format
// (format.h), whatever their pool. A lock hands out the address of the locked region's
// first byte with the pitch of the whole surface; one lock at a time, and only of a
// region that lies inside and starts on a block boundary (DXT: 4x4, YUV: pairs).
// A writing lock marks the level as changed, so the sampler's 32-bit copy of it is
// rebuilt before the next draw that reads it.
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

bool PixelMemory::Allocate(const FormatStorage& info, UINT width, UINT height, UINT depth) {
    Layout layout;
    if (!ComputeLayout(info, width, height, depth, layout)) return false;
    bits_.reset(static_cast<std::uint8_t*>(::operator new[](layout.size, kAlignment, std::nothrow)));
    if (!bits_) return false;
    unset_ = true;
    info_ = &info;
    width_ = width;
    height_ = height;
    depth_ = depth;
    layout_ = layout;
    return true;
}

void PixelMemory::Settle() const {
    if (!unset_) return;
    std::memset(bits_.get(), 0, layout_.size);
    unset_ = false;
}

HRESULT PixelMemory::Lock(const D3DBOX* box, DWORD flags, std::uint8_t** bits) {
    if (bits == nullptr || locked_ || !bits_) return D3DERR_INVALIDCALL;
    D3DBOX region = box != nullptr ? *box : D3DBOX{0, 0, width_, height_, 0, depth_};
    if (region.Left >= region.Right || region.Top >= region.Bottom || region.Front >= region.Back ||
        region.Right > width_ || region.Bottom > height_ || region.Back > depth_)
        return D3DERR_INVALIDCALL;
    const UINT bw = info_->blockWidth;
    const UINT bh = info_->blockHeight;
    if (region.Left % bw != 0 || region.Top % bh != 0 || (region.Right % bw != 0 && region.Right != width_) ||
        (region.Bottom % bh != 0 && region.Bottom != height_))
        return D3DERR_INVALIDCALL;
    std::size_t offset = std::size_t{region.Front} * layout_.slicePitch +
                         std::size_t{region.Top / bh} * layout_.pitch + std::size_t{region.Left / bw} * info_->blockBytes;
    const bool everything = region.Left == 0 && region.Top == 0 && region.Front == 0 && region.Right == width_ &&
                            region.Bottom == height_ && region.Back == depth_;
    if (everything && (flags & D3DLOCK_DISCARD) != 0 && (flags & D3DLOCK_READONLY) == 0) unset_ = false;
    Settle();
    *bits = bits_.get() + offset;
    locked_ = true;
    lockWrites_ = (flags & D3DLOCK_READONLY) == 0;
    return D3D_OK;
}

HRESULT PixelMemory::Unlock() {
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    if (lockWrites_) ContentsChanged();
    return D3D_OK;
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
    if (!RectToBox(rect, memory.Width(), memory.Height(), box)) return D3DERR_INVALIDCALL;
    if (flushBeforeLock) device_->FlushRaster();
    std::uint8_t* bits = nullptr;
    HRESULT result = memory.Lock(&box, flags, &bits);
    if (FAILED(result)) return result;
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
    std::uint8_t* bits = nullptr;
    HRESULT result = memory.Lock(box, flags, &bits);
    if (FAILED(result)) return result;
    locked->RowPitch = static_cast<INT>(memory.GetLayout().pitch);
    locked->SlicePitch = static_cast<INT>(memory.GetLayout().slicePitch);
    locked->pBits = bits;
    return D3D_OK;
}

HRESULT Volume::UnlockBox() { return memory.Unlock(); }

// ---- textures ---------------------------------------------------------------------------

const raster::SamplerTexture* TextureCore::Sampler() {
    UINT count = std::min<UINT>(SamplerLevelCount(), raster::SamplerTexture::kMaxLevels);
    if (count == 0 || !SamplerReadsFormat(SamplerSource(0, 0)->Format())) return nullptr;
    const raster::TextureKind kind = SamplerKind();
    const UINT faces = kind == raster::TextureKind::Cube ? kMaxFaces : 1;
    if (copies_.empty()) copies_.resize(static_cast<std::size_t>(kMaxFaces) * raster::SamplerTexture::kMaxLevels);
    bool flushed = false;
    for (UINT face = 0; face < faces; ++face)
        for (UINT i = 0; i < count; ++i) {
            PixelMemory& level = *SamplerSource(face, i);
            // A level locked for writing right now is copied as it stands; its unlock marks it
            // changed again.
            if (!level.dirty) continue;
            if (!flushed) {
                OwnerDevice()->FlushRaster();  // queued draws may still read the old copy
                flushed = true;
            }
            const int width = static_cast<int>(level.Width());
            const int height = static_cast<int>(level.Height());
            const int depth = static_cast<int>(level.Depth());
            const std::size_t slice = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
            std::vector<std::uint32_t>& copy = copies_[face * raster::SamplerTexture::kMaxLevels + i];
            copy.resize(slice * static_cast<std::size_t>(depth));
            const Layout& layout = level.GetLayout();
            for (int z = 0; z < depth; ++z)
                UnpackLevel(level.Format(), level.Bits() + static_cast<std::size_t>(z) * layout.slicePitch,
                                    static_cast<int>(layout.pitch), width, height, copy.data() + z * slice, width);
            level.dirty = false;
            raster::SamplerLevel& out = levels_[face][i];
            out = raster::SamplerLevel{copy.data(), width, height, width};
            out.depth = depth;
            out.slicePitch = static_cast<std::ptrdiff_t>(slice);
        }
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

template <class Interface>
TextureBase<Interface>::TextureBase(Device* device, DWORD usage, D3DFORMAT format, D3DPOOL pool, UINT levels)
    : device_(device), usage_(usage), format_(format), pool_(pool), levels_(levels) {
    device_->RetainResource();
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

bool SameLevels(const PixelMemory& a, const PixelMemory& b) {
    return a.Format() == b.Format() && a.Width() == b.Width() && a.Height() == b.Height() && a.Depth() == b.Depth();
}

// Copies one level; both must be unlocked and of the same size and format.
void CopyLevel(const PixelMemory& source, PixelMemory& destination) {
    std::memcpy(destination.BitsToOverwrite(), source.Bits(), source.Size());
    destination.ContentsChanged();
}

}  // namespace

bool Texture::Build(UINT width, UINT height) {
    const FormatStorage* info = FindFormat(format_);
    for (UINT i = 0; i < levels_; ++i) {
        levels.push_back(std::make_unique<Surface>(device_, this, usage_, pool_));
        levels.back()->flushBeforeLock = (usage_ & D3DUSAGE_RENDERTARGET) != 0;  // draws may write it
        if (!levels.back()->memory.Allocate(*info, LevelExtent(width, i), LevelExtent(height, i), 1)) return false;
    }
    return true;
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

HRESULT Texture::AddDirtyRect(const RECT* rect) {
    D3DBOX box;
    const PixelMemory& top = levels[0]->memory;
    if (!RectToBox(rect, top.Width(), top.Height(), box) || box.Left >= box.Right || box.Top >= box.Bottom ||
        box.Right > top.Width() || box.Bottom > top.Height())
        return D3DERR_INVALIDCALL;
    return D3D_OK;  // UpdateTexture copies whole levels, so nothing needs recording
}

HRESULT Texture::CopyFrom(TextureCore& source) {
    auto* from = dynamic_cast<Texture*>(&source);
    if (from == nullptr || from->levels_ < levels_) return D3DERR_INVALIDCALL;
    for (UINT i = 0; i < levels_; ++i) {
        const PixelMemory& a = from->levels[i]->memory;
        const PixelMemory& b = levels[i]->memory;
        if (!SameLevels(a, b) || a.IsLocked() || b.IsLocked()) return D3DERR_INVALIDCALL;
    }
    for (UINT i = 0; i < levels_; ++i) CopyLevel(from->levels[i]->memory, levels[i]->memory);
    return D3D_OK;
}

bool CubeTexture::Build(UINT edgeLength) {
    const FormatStorage* info = FindFormat(format_);
    for (auto& face : faces) {
        for (UINT i = 0; i < levels_; ++i) {
            face.push_back(std::make_unique<Surface>(device_, this, usage_, pool_));
            face.back()->flushBeforeLock = (usage_ & D3DUSAGE_RENDERTARGET) != 0;
            UINT size = LevelExtent(edgeLength, i);
            if (!face.back()->memory.Allocate(*info, size, size, 1)) return false;
        }
    }
    return true;
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
    D3DBOX box;
    const PixelMemory& top = faces[face][0]->memory;
    if (!RectToBox(rect, top.Width(), top.Height(), box) || box.Left >= box.Right || box.Top >= box.Bottom ||
        box.Right > top.Width() || box.Bottom > top.Height())
        return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT CubeTexture::CopyFrom(TextureCore& source) {
    auto* from = dynamic_cast<CubeTexture*>(&source);
    if (from == nullptr || from->levels_ < levels_) return D3DERR_INVALIDCALL;
    for (int f = 0; f < 6; ++f) {
        for (UINT i = 0; i < levels_; ++i) {
            const PixelMemory& a = from->faces[f][i]->memory;
            const PixelMemory& b = faces[f][i]->memory;
            if (!SameLevels(a, b) || a.IsLocked() || b.IsLocked()) return D3DERR_INVALIDCALL;
        }
    }
    for (int f = 0; f < 6; ++f)
        for (UINT i = 0; i < levels_; ++i) CopyLevel(from->faces[f][i]->memory, faces[f][i]->memory);
    return D3D_OK;
}

bool VolumeTexture::Build(UINT width, UINT height, UINT depth) {
    const FormatStorage* info = FindFormat(format_);
    for (UINT i = 0; i < levels_; ++i) {
        levels.push_back(std::make_unique<Volume>(device_, this, usage_, pool_));
        if (!levels.back()->memory.Allocate(*info, LevelExtent(width, i), LevelExtent(height, i),
                                            LevelExtent(depth, i)))
            return false;
    }
    return true;
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
    if (box == nullptr) return D3D_OK;
    const PixelMemory& top = levels[0]->memory;
    if (box->Left >= box->Right || box->Top >= box->Bottom || box->Front >= box->Back || box->Right > top.Width() ||
        box->Bottom > top.Height() || box->Back > top.Depth())
        return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT VolumeTexture::CopyFrom(TextureCore& source) {
    auto* from = dynamic_cast<VolumeTexture*>(&source);
    if (from == nullptr || from->levels_ < levels_) return D3DERR_INVALIDCALL;
    for (UINT i = 0; i < levels_; ++i) {
        const PixelMemory& a = from->levels[i]->memory;
        const PixelMemory& b = levels[i]->memory;
        if (!SameLevels(a, b) || a.IsLocked() || b.IsLocked()) return D3DERR_INVALIDCALL;
    }
    for (UINT i = 0; i < levels_; ++i) CopyLevel(from->levels[i]->memory, levels[i]->memory);
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
