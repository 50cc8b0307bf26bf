// Internal to d3d8/: the classes of the software device behind the interfaces of d3d8.h.
//
// Lifetimes:
// - Every object starts with one reference and is freed at the Release that brings its
//   count to 0.
// - Surfaces and volumes that are levels of a texture have no count of their own: their
//   AddRef and Release are the texture's, so a level handed out keeps its texture alive.
//   The back buffers and the automatic depth buffer belong to the device: their counts
//   are the application's references only (they start at 0; the device's own does not
//   show), a count back at 0 frees nothing, and each keeps the device alive as a resource
//   does while the application holds it.
// - Resources keep the device alive, but not through its public count: the device counts
//   its live resources separately and is deleted only when both counts are 0. At its
//   last public Release it lets go of what it holds (bound textures, stream, indices),
//   as the platform does, so resources released later still find their device.
// - The device holds a reference to its Direct3D object.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <new>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/format.h"
#include "raster/raster.h"

TOLVANE_INTERFACES_BEGIN
namespace d3d8 {

class Device;

// Enters d3d8.dll and its exports in the window layer's table of modules, once
// (module.cpp).
void RegisterModule();

// Objects of the device that exist right now (a test hook for reference counting).
int LiveObjectCount();

// QueryInterface of an object whose interface chain is ids (IID_IUnknown first): on a
// match the object itself, with a reference added; otherwise E_NOINTERFACE and null.
HRESULT AnswerQuery(IUnknown* self, REFIID riid, void** out, std::initializer_list<const IID*> ids);

// The private data of a resource, surface or volume: bytes by GUID, or an interface that
// it holds a reference to (D3DSPD_IUNKNOWN).
class PrivateData {
public:
    PrivateData() = default;
    PrivateData(const PrivateData&) = delete;
    PrivateData& operator=(const PrivateData&) = delete;
    ~PrivateData();
    HRESULT Set(REFGUID guid, const void* data, DWORD size, DWORD flags);
    HRESULT Get(REFGUID guid, void* data, DWORD* size) const;
    HRESULT Free(REFGUID guid);

private:
    struct Entry {
        GUID guid;
        std::vector<std::uint8_t> bytes;
        IUnknown* object = nullptr;  // D3DSPD_IUNKNOWN: held
    };
    std::vector<Entry> entries_;
};

// Counts the object among the live ones for as long as it exists.
struct LiveObject {
    LiveObject();
    ~LiveObject();
    LiveObject(const LiveObject&) = delete;
    LiveObject& operator=(const LiveObject&) = delete;
};

// Bytes aligned to a cache line, for pixels: the rasterizer's wide loads and stores of a
// row then touch no more lines than they must.
struct AlignedDelete {
    static constexpr std::align_val_t kAlignment{64};
    void operator()(std::uint8_t* p) const { ::operator delete[](p, kAlignment); }
};
using AlignedBytes = std::unique_ptr<std::uint8_t[], AlignedDelete>;
// Memory of size bytes, or null when it runs out.
AlignedBytes AllocateAligned(std::uint64_t size);

// The pixels of a surface or volume in its format's exact layout, and its lock.
class PixelMemory {
public:
    // Allocates memory that reads as zero; false when the size is too large or memory runs
    // out. The zeros are written when the memory is first read or partly written, so a
    // level that its first user overwrites whole is never cleared.
    bool Allocate(const FormatStorage& info, UINT width, UINT height, UINT depth);
    // Lays the pixels over layout.size bytes that another object owns (a texture's block of
    // levels), which read as zero until written. next: the memory that follows these bytes
    // in the block, which a lock hands out too (see Lock).
    void Place(const FormatStorage& info, UINT width, UINT height, UINT depth, const Layout& layout,
               std::uint8_t* bits, PixelMemory* next);

    const FormatStorage& Info() const { return *info_; }
    D3DFORMAT Format() const { return info_->format; }
    UINT Width() const { return width_; }
    UINT Height() const { return height_; }
    UINT Depth() const { return depth_; }
    const Layout& GetLayout() const { return layout_; }
    std::uint8_t* Bits() {
        Settle();
        return bits_;
    }
    const std::uint8_t* Bits() const {
        Settle();
        return bits_;
    }
    // The bits for a caller that writes every byte before anything reads them.
    std::uint8_t* BitsToOverwrite() {
        unset_ = false;
        return bits_;
    }
    UINT Size() const { return static_cast<UINT>(layout_.size); }
    bool IsLocked() const { return locked_; }

    // Locks a box (null: everything). A box must lie inside, be non-empty, and start (and
    // end, unless at the edge) on block boundaries. Returns the address of its first byte.
    // D3DLOCK_DISCARD on a box covering everything promises that the caller writes every
    // byte: memory never written is then handed out without its clearing. The memory that
    // follows in a block of levels is made readable too: a program may write a whole chain
    // of levels through the pointer of the first.
    HRESULT Lock(const D3DBOX* box, DWORD flags, std::uint8_t** bits);
    // Locks a box clamped to the memory (ClampBox): an empty box locks nothing, and its
    // pointer is that of the nearest texel inside.
    HRESULT LockClamped(const D3DBOX& box, DWORD flags, std::uint8_t** bits);
    HRESULT Unlock();
    // Exchanges the pixels with memory of the same format and size (neither locked, both
    // allocated by Allocate).
    void SwapBits(PixelMemory& other) {
        std::swap(owned_, other.owned_);
        std::swap(bits_, other.bits_);
        std::swap(unset_, other.unset_);
    }

    // The one place that says the pixels changed (a writing lock, a copy, a draw or clear
    // into a texture level): whatever the sampler derived from them is rebuilt, unless
    // that copy follows the texture's dirty region instead.
    void ContentsChanged() {
        if (!drawnFromDirtyRegion) dirty = true;
    }
    // Set when the sampler's copy of the level is to be made again from all of it (creation,
    // ContentsChanged, a managed texture's dropped copies).
    bool dirty = true;
    // A level of a managed texture: its sampler copy is the one the resource manager
    // uploaded, refreshed from the texture's dirty region only, so writes made without
    // marking a dirty region (D3DLOCK_NO_DIRTY_UPDATE) are not drawn until one is.
    bool drawnFromDirtyRegion = false;

private:
    const FormatStorage* info_ = nullptr;
    UINT width_ = 0;
    UINT height_ = 0;
    UINT depth_ = 0;
    Layout layout_;
    // Writes the zeros of memory that nothing has written yet.
    void Settle() const;
    // Offset of the block holding pixel (x, y) of slice z.
    std::size_t Offset(UINT x, UINT y, UINT z) const;

    AlignedBytes owned_;            // Allocate's memory; empty for placed memory
    std::uint8_t* bits_ = nullptr;  // owned_ or the bytes of Place
    PixelMemory* next_ = nullptr;
    mutable bool unset_ = false;  // allocated, neither cleared nor overwritten yet
    bool locked_ = false;
    bool lockWrites_ = false;
};

// A box clamped to width x height x depth: each edge moved inside; where a far edge lies
// before its near edge it is moved onto it, so an inverted box comes out empty.
D3DBOX ClampBox(const D3DBOX& box, UINT width, UINT height, UINT depth);
D3DBOX ClampRect(const RECT& rect, UINT width, UINT height);

class TextureCore;

// A surface: a texture level, a cube face level, an image surface, the back buffer or
// the depth buffer.
class Surface final : public IDirect3DSurface8, private LiveObject {
public:
    // container: the object whose count this surface shares (null: a count of its own,
    // and the surface keeps the device alive by itself).
    Surface(Device* device, IUnknown* container, DWORD usage, D3DPOOL pool);
    ~Surface();

    HRESULT QueryInterface(REFIID riid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice8** out) override;
    HRESULT SetPrivateData(REFGUID guid, const void* data, DWORD size, DWORD flags) override {
        return privateData_.Set(guid, data, size, flags);
    }
    HRESULT GetPrivateData(REFGUID guid, void* data, DWORD* size) override { return privateData_.Get(guid, data, size); }
    HRESULT FreePrivateData(REFGUID guid) override { return privateData_.Free(guid); }
    HRESULT GetContainer(REFIID riid, void** out) override;
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    PixelMemory memory;
    // Device surfaces that queued draws write (back buffer, depth buffer): a lock waits
    // for the rasterizer first.
    bool flushBeforeLock = false;
    // Whether the application may lock it: not a level of a texture in the default pool
    // (unless dynamic), a render target made without the lockable flag, a depth surface
    // other than D16_LOCKABLE, or a back buffer made without D3DPRESENTFLAG_LOCKABLE_BACKBUFFER.
    // The device itself reads and writes the memory directly, whatever this says.
    bool lockable = true;
    // A level of a texture: the texture, the cube face and the level (null texture: a
    // surface of its own). Locks of a level clamp their rectangle and mark dirty regions.
    TextureCore* texture = nullptr;
    UINT face = 0;
    UINT level = 0;
    DWORD Usage() const { return usage_; }
    Device* OwnerDevice() const { return device_; }
    // The device itself owns this surface (back buffer, depth buffer).
    bool OwnedBy(const IUnknown* owner) const { return container_ == owner; }
    bool DeviceOwned() const;

private:
    Device* device_;
    IUnknown* container_;
    std::atomic<ULONG> refs_{1};
    DWORD usage_;
    D3DPOOL pool_;
    PrivateData privateData_;
};

// A back buffer locks only when its device or swap chain asked for that; of the depth
// formats only D16_LOCKABLE locks.
inline bool LockableBackBuffer(const D3DPRESENT_PARAMETERS& params) {
    return (params.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0;
}
inline bool LockableDepthFormat(D3DFORMAT format) { return format == D3DFMT_D16_LOCKABLE; }

class Volume final : public IDirect3DVolume8, private LiveObject {
public:
    Volume(Device* device, IUnknown* container, DWORD usage, D3DPOOL pool);

    HRESULT QueryInterface(REFIID riid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice8** out) override;
    HRESULT SetPrivateData(REFGUID guid, const void* data, DWORD size, DWORD flags) override {
        return privateData_.Set(guid, data, size, flags);
    }
    HRESULT GetPrivateData(REFGUID guid, void* data, DWORD* size) override { return privateData_.Get(guid, data, size); }
    HRESULT FreePrivateData(REFGUID guid) override { return privateData_.Free(guid); }
    HRESULT GetContainer(REFIID riid, void** out) override;
    HRESULT GetDesc(D3DVOLUME_DESC* desc) override;
    HRESULT LockBox(D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) override;
    HRESULT UnlockBox() override;

    PixelMemory memory;
    // False for the levels of a volume texture in the default pool that is not dynamic.
    bool lockable = true;
    TextureCore* texture = nullptr;  // the volume texture it is a level of
    UINT level = 0;

private:
    Device* device_;
    IUnknown* container_;
    DWORD usage_;
    D3DPOOL pool_;
    PrivateData privateData_;
};

// What every texture kind shares besides its interface: the device, the one allocation
// that holds the levels, the dirty regions, and the sampler's 32-bit copies of the levels
// (of every face of a cube, every slice of a volume).
//
// Levels lie one after another in level order in one allocation, with no gap, as the
// platform's runtime laid them out (a cube: face by face, each face's levels in order):
// programs of the time wrote a whole chain through the pointer of level 0.
//
// Dirty regions are recorded for level 0 only, as on the platform: one bounding box per
// face in level-0 coordinates, grown to hold each box added (a lock of a sublevel adds
// its box scaled up). A sublevel's region is level 0's scaled down and rounded outward.
// A new texture is wholly dirty. UpdateTexture copies a system-memory source's regions
// and cleans them; a managed texture's sampler copies are refreshed from them at the
// next draw, which cleans them too (the resource manager's upload).
class TextureCore {
public:
    virtual ~TextureCore() = default;
    virtual Device* OwnerDevice() const = 0;
    virtual D3DPOOL CorePool() const = 0;
    // The device's hold while the texture is bound to a stage (see TextureBase).
    virtual void Bind() = 0;
    virtual void Unbind() = 0;
    // Brings the sampler copies of changed levels up to date; null when the sampler
    // cannot read the format (the stage then reads as if unbound).
    const raster::SamplerTexture* Sampler();
    // The channels the format holds as signed values (SignedChannelsOf), for the draw state.
    std::uint8_t SignedChannels();

    // The memory of level i of a face (face 0 but for cubes).
    virtual PixelMemory* LevelMemory(UINT face, UINT level) = 0;
    virtual UINT LevelCount() const = 0;
    UINT FaceCount() const { return SamplerKind() == raster::TextureKind::Cube ? kMaxFaces : 1; }
    virtual raster::TextureKind SamplerKind() const = 0;

    // Adds a box of a level (null: the whole face) to the face's dirty region.
    void AddDirtyRegion(UINT face, UINT level, const D3DBOX* box);
    // The dirty region of a level, inside it; false when the level is clean.
    bool LevelDirtyRegion(UINT face, UINT level, D3DBOX& box) const;
    void CleanDirtyRegions();
    // What a lock of a level marks: its box, unless the lock is read-only, asks for no
    // dirty update, or locked nothing.
    void LevelLocked(UINT face, UINT level, const D3DBOX& box, DWORD flags);
    // ResourceManagerDiscardBytes: a managed texture lets go of its sampler copies, which are
    // made again from the application's copy at the next draw (after a FlushRaster).
    void DropDrawnCopies();

protected:
    // The most detailed level the sampler may use (SetLOD).
    virtual DWORD SamplerFirstLevel() const = 0;
    // Makes the levels' memory: extents[i] is level i's width, height and depth, the same
    // for each face; false when memory runs out or the whole is too large.
    bool PlaceLevels(const FormatStorage& info, UINT faces, const std::vector<std::array<UINT, 3>>& extents);

    static constexpr int kMaxFaces = 6;

private:
    // Unpacks a box of a level into its sampler copy.
    void RefreshCopy(UINT face, UINT level, const D3DBOX& box);

    AlignedBytes levelBlock_;
    struct DirtyRegion {
        bool any = true;
        D3DBOX box{0, 0, ~0u, ~0u, 0, ~0u};  // level 0; ~0u: to the edge
    };
    DirtyRegion dirty_[kMaxFaces];
    std::vector<std::vector<std::uint32_t>> copies_;    // face f, level i at f * kMaxLevels + i
    raster::SamplerLevel levels_[kMaxFaces][raster::SamplerTexture::kMaxLevels];
    raster::SamplerTexture sampler_;  // levels_ from the first level on
    raster::SamplerLevel faceViews_[kMaxFaces][raster::SamplerTexture::kMaxLevels];  // cubes: sampler_.faces
    UINT viewFirst_ = 0;
};

// The parts of the three texture interfaces that are the same for all.
template <class Interface>
class TextureBase : public Interface, public TextureCore, private LiveObject {
public:
    TextureBase(Device* device, DWORD usage, D3DFORMAT format, D3DPOOL pool, UINT levels);
    ~TextureBase() override;

    HRESULT QueryInterface(REFIID riid, void** out) override;
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0 && bound_ == 0) delete this;
        return left;
    }
    // A texture bound to a stage lives on without showing the device's hold in the
    // application's count.
    void Bind() override { ++bound_; }
    void Unbind() override {
        if (--bound_ == 0 && refs_ == 0) delete this;
    }
    HRESULT GetDevice(IDirect3DDevice8** out) override;
    HRESULT SetPrivateData(REFGUID guid, const void* data, DWORD size, DWORD flags) override {
        return privateData_.Set(guid, data, size, flags);
    }
    HRESULT GetPrivateData(REFGUID guid, void* data, DWORD* size) override { return privateData_.Get(guid, data, size); }
    HRESULT FreePrivateData(REFGUID guid) override { return privateData_.Free(guid); }
    DWORD SetPriority(DWORD priority) override;
    DWORD GetPriority() override { return priority_; }
    void PreLoad() override {}
    DWORD SetLOD(DWORD lod) override;
    DWORD GetLOD() override { return lod_; }
    DWORD GetLevelCount() override { return levels_; }
    Device* OwnerDevice() const override { return device_; }
    D3DPOOL CorePool() const override { return pool_; }

protected:
    DWORD SamplerFirstLevel() const override { return lod_; }

    Device* device_;
    DWORD usage_;
    D3DFORMAT format_;
    D3DPOOL pool_;
    UINT levels_;

private:
    std::atomic<ULONG> refs_{1};
    std::atomic<ULONG> bound_{0};
    DWORD priority_ = 0;
    DWORD lod_ = 0;
    PrivateData privateData_;
};

class Texture final : public TextureBase<IDirect3DTexture8> {
public:
    using TextureBase::TextureBase;
    // Makes the level surfaces; false when memory runs out.
    bool Build(UINT width, UINT height);

    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface8** out) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;
    HRESULT AddDirtyRect(const RECT* rect) override;

    PixelMemory* LevelMemory(UINT, UINT level) override { return &levels[level]->memory; }
    UINT LevelCount() const override { return levels_; }
    raster::TextureKind SamplerKind() const override { return raster::TextureKind::Plane; }

public:
    std::vector<std::unique_ptr<Surface>> levels;
};

class CubeTexture final : public TextureBase<IDirect3DCubeTexture8> {
public:
    using TextureBase::TextureBase;
    bool Build(UINT edgeLength);

    D3DRESOURCETYPE GetType() override { return D3DRTYPE_CUBETEXTURE; }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface8** out) override;
    HRESULT LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                     DWORD flags) override;
    HRESULT UnlockRect(D3DCUBEMAP_FACES face, UINT level) override;
    HRESULT AddDirtyRect(D3DCUBEMAP_FACES face, const RECT* rect) override;

    PixelMemory* LevelMemory(UINT face, UINT level) override { return &faces[face][level]->memory; }
    UINT LevelCount() const override { return levels_; }
    raster::TextureKind SamplerKind() const override { return raster::TextureKind::Cube; }

public:
    std::vector<std::unique_ptr<Surface>> faces[6];
};

class VolumeTexture final : public TextureBase<IDirect3DVolumeTexture8> {
public:
    using TextureBase::TextureBase;
    bool Build(UINT width, UINT height, UINT depth);

    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VOLUMETEXTURE; }
    HRESULT GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) override;
    HRESULT GetVolumeLevel(UINT level, IDirect3DVolume8** out) override;
    HRESULT LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) override;
    HRESULT UnlockBox(UINT level) override;
    HRESULT AddDirtyBox(const D3DBOX* box) override;

    PixelMemory* LevelMemory(UINT, UINT level) override { return &levels[level]->memory; }
    UINT LevelCount() const override { return levels_; }
    raster::TextureKind SamplerKind() const override { return raster::TextureKind::Volume; }

public:
    std::vector<std::unique_ptr<Volume>> levels;
};

// Vertex and index buffers: bytes in system memory with a lock.
template <class Interface>
class Buffer : public Interface, private LiveObject {
public:
    Buffer(Device* device, DWORD usage, D3DPOOL pool);
    virtual ~Buffer();
    bool Allocate(UINT length);

    HRESULT QueryInterface(REFIID riid, void** out) override;
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0 && bound_ == 0) delete this;
        return left;
    }
    // A buffer set as a stream or the indices lives on without showing the device's hold
    // in the application's count.
    void Bind() { ++bound_; }
    void Unbind() {
        if (--bound_ == 0 && refs_ == 0) delete this;
    }
    HRESULT GetDevice(IDirect3DDevice8** out) override;
    HRESULT SetPrivateData(REFGUID guid, const void* data, DWORD size, DWORD flags) override {
        return privateData_.Set(guid, data, size, flags);
    }
    HRESULT GetPrivateData(REFGUID guid, void* data, DWORD* size) override { return privateData_.Get(guid, data, size); }
    HRESULT FreePrivateData(REFGUID guid) override { return privateData_.Free(guid); }
    DWORD SetPriority(DWORD priority) override;
    DWORD GetPriority() override { return priority_; }
    void PreLoad() override {}
    HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) override;
    HRESULT Unlock() override;

    const std::uint8_t* Data() const { return bytes_.get(); }
    UINT Length() const { return length_; }
    Device* OwnerDevice() const { return device_; }

protected:
    Device* device_;
    DWORD usage_;
    D3DPOOL pool_;

private:
    std::atomic<ULONG> refs_{1};
    std::atomic<ULONG> bound_{0};
    std::unique_ptr<std::uint8_t[]> bytes_;
    UINT length_ = 0;
    bool locked_ = false;
    DWORD priority_ = 0;
    PrivateData privateData_;
};

class VertexBuffer final : public Buffer<IDirect3DVertexBuffer8> {
public:
    VertexBuffer(Device* device, DWORD usage, D3DPOOL pool, DWORD fvf) : Buffer(device, usage, pool), fvf_(fvf) {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override;
    DWORD Fvf() const { return fvf_; }

private:
    DWORD fvf_;
};

class IndexBuffer final : public Buffer<IDirect3DIndexBuffer8> {
public:
    IndexBuffer(Device* device, DWORD usage, D3DPOOL pool, D3DFORMAT format)
        : Buffer(device, usage, pool), format_(format) {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* desc) override;
    D3DFORMAT Format() const { return format_; }

private:
    D3DFORMAT format_;
};

// Converts a locked rectangle (null: all) of a surface of width x height into a box.
bool RectToBox(const RECT* rect, UINT width, UINT height, D3DBOX& box);

}  // namespace d3d8
TOLVANE_INTERFACES_END
