// Device operations on surfaces and states that draw nothing: CopyRects,
// MultiplyTransform and ValidateDevice.
//
// - CopyRects copies rectangles between two different surfaces of the same colour format
//   without stretching or conversion. No rectangles (a null array or a count of 0) copies
//   the whole source; no points puts each rectangle at its own place. A rectangle that is
//   empty, leaves the source, does not fit at its point in the destination, or splits a
//   block of a block format refuses the whole call before anything is copied.
//   A texture level that receives a copy adds the copied rectangles to its dirty region.
// - UpdateTexture copies the dirty regions of a system-memory texture into a default-pool
//   texture of the same kind, and cleans them; ResourceManagerDiscardBytes makes every
//   managed texture upload its levels whole at its next draw (UpdateLevels below).
// - MultiplyTransform sets a transform to the given matrix times the current one.
// - ValidateDevice answers one pass when the pixel stage runs the current states: stage
//   operations and arguments it has, filters it has, formats its sampler reads, no more
//   stages or textures than the caps give, blend factors the caps list.
#include <cstring>

#include "platform/d3d8/device.h"

namespace d3d8 {
namespace {

struct CopyRegion {
    UINT left, top, right, bottom;  // in the source
    UINT x, y;                      // in the destination
};

// Whether a copy of one rectangle is allowed: inside both surfaces, not empty, on block
// boundaries (a partial block only at the edge of both surfaces).
bool ValidRegion(const CopyRegion& r, const PixelMemory& from, const PixelMemory& to) {
    const FormatStorage& info = from.Info();
    const UINT bw = info.blockWidth, bh = info.blockHeight;
    if (r.left >= r.right || r.top >= r.bottom || r.right > from.Width() || r.bottom > from.Height()) return false;
    const std::uint64_t width = r.right - r.left, height = r.bottom - r.top;
    if (r.x + width > to.Width() || r.y + height > to.Height()) return false;
    if (r.left % bw != 0 || r.top % bh != 0 || r.x % bw != 0 || r.y % bh != 0) return false;
    if (r.right % bw != 0 && (r.right != from.Width() || r.x + width != to.Width())) return false;
    if (r.bottom % bh != 0 && (r.bottom != from.Height() || r.y + height != to.Height())) return false;
    return true;
}

void CopyRegionBytes(const CopyRegion& r, const PixelMemory& from, PixelMemory& to) {
    const FormatStorage& info = from.Info();
    const UINT bw = info.blockWidth, bh = info.blockHeight;
    const UINT blocksAcross = (r.right - r.left + bw - 1) / bw;
    const UINT blockRows = (r.bottom - r.top + bh - 1) / bh;
    const std::size_t bytes = std::size_t{blocksAcross} * info.blockBytes;
    const std::uint8_t* source = from.Bits();
    std::uint8_t* destination = to.Bits();
    for (UINT row = 0; row < blockRows; ++row) {
        const std::size_t s = std::size_t{r.top / bh + row} * from.GetLayout().pitch + std::size_t{r.left / bw} * info.blockBytes;
        const std::size_t d = std::size_t{r.y / bh + row} * to.GetLayout().pitch + std::size_t{r.x / bw} * info.blockBytes;
        std::memcpy(destination + d, source + s, bytes);
    }
}

}  // namespace

HRESULT Device::CopyRects(IDirect3DSurface8* source, const RECT* sourceRects, UINT rectCount,
                          IDirect3DSurface8* destination, const POINT* destPoints) {
    auto* from = dynamic_cast<Surface*>(source);
    auto* to = dynamic_cast<Surface*>(destination);
    if (from == nullptr || to == nullptr || from == to || from->OwnerDevice() != this || to->OwnerDevice() != this)
        return D3DERR_INVALIDCALL;
    const PixelMemory& a = from->memory;
    PixelMemory& b = to->memory;
    if (a.Format() != b.Format() || a.Info().kind != FormatKind::Color || a.IsLocked() || b.IsLocked())
        return D3DERR_INVALIDCALL;
    const bool whole = sourceRects == nullptr || rectCount == 0;
    const UINT count = whole ? 1 : rectCount;
    std::vector<CopyRegion> regions(count);
    for (UINT i = 0; i < count; ++i) {
        CopyRegion& r = regions[i];
        if (whole) {
            r = CopyRegion{0, 0, a.Width(), a.Height(), 0, 0};
        } else {
            const RECT& rect = sourceRects[i];
            if (rect.left < 0 || rect.top < 0 || rect.right < 0 || rect.bottom < 0) return D3DERR_INVALIDCALL;
            r = CopyRegion{static_cast<UINT>(rect.left), static_cast<UINT>(rect.top), static_cast<UINT>(rect.right),
                           static_cast<UINT>(rect.bottom), static_cast<UINT>(rect.left),
                           static_cast<UINT>(rect.top)};
        }
        if (destPoints != nullptr) {
            if (destPoints[i].x < 0 || destPoints[i].y < 0) return D3DERR_INVALIDCALL;
            r.x = static_cast<UINT>(destPoints[i].x);
            r.y = static_cast<UINT>(destPoints[i].y);
        }
        if (!ValidRegion(r, a, b)) return D3DERR_INVALIDCALL;
    }
    FlushRaster();  // queued draws may write either surface
    for (const CopyRegion& r : regions) {
        CopyRegionBytes(r, a, b);
        if (to->texture == nullptr) continue;
        const D3DBOX box{r.x, r.y, r.x + (r.right - r.left), r.y + (r.bottom - r.top), 0, 1};
        to->texture->AddDirtyRegion(to->face, to->level, &box);
    }
    b.ContentsChanged();
    return D3D_OK;
}

namespace {

// UpdateTexture between formats: the same format, or A8R8G8B8 and X8R8G8B8 either way (the
// same texels; into A8R8G8B8 the unused byte becomes an opaque alpha). Other pairs are
// refused, as the platform's reference asks: drivers differed there (some converted, some
// copied nothing), and a copy that silently changes texels is worse than a clear error.
bool CopyableFormats(D3DFORMAT from, D3DFORMAT to) {
    auto rgb32 = [](D3DFORMAT f) { return f == D3DFMT_A8R8G8B8 || f == D3DFMT_X8R8G8B8; };
    return from == to || (rgb32(from) && rgb32(to));
}

bool SameExtent(const PixelMemory& a, const PixelMemory& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() && a.Depth() == b.Depth();
}

// Copies a box (whole blocks) of one level into a level of the same size.
void CopyBox(const D3DBOX& box, const PixelMemory& from, PixelMemory& to) {
    const FormatStorage& info = from.Info();
    const UINT bw = info.blockWidth, bh = info.blockHeight;
    const UINT firstBlock = box.Left / bw, endBlock = (box.Right + bw - 1) / bw;
    const std::size_t bytes = std::size_t{endBlock - firstBlock} * info.blockBytes;
    const bool opaque = from.Format() == D3DFMT_X8R8G8B8 && to.Format() == D3DFMT_A8R8G8B8;
    const Layout& layout = from.GetLayout();  // the same for both
    const std::uint8_t* source = from.Bits();
    std::uint8_t* destination = to.Bits();
    for (UINT z = box.Front; z < box.Back; ++z)
        for (UINT row = box.Top / bh; row < (box.Bottom + bh - 1) / bh; ++row) {
            const std::size_t at = std::size_t{z} * layout.slicePitch + std::size_t{row} * layout.pitch +
                                   std::size_t{firstBlock} * info.blockBytes;
            std::memcpy(destination + at, source + at, bytes);
            if (opaque)
                for (std::size_t x = 3; x < bytes; x += 4) destination[at + x] = 0xFF;
        }
}

}  // namespace

// The destination's levels line up with the source's from the source level of the
// destination's top size on (a smaller destination takes that level and those below it,
// one with fewer levels as many as it has); where no source level has that size, or the
// source runs out of levels first, the call fails. Only dirty regions are copied, so a
// clean source copies nothing.
HRESULT Device::UpdateTexture(IDirect3DBaseTexture8* source, IDirect3DBaseTexture8* destination) {
    auto* from = dynamic_cast<TextureCore*>(source);
    auto* to = dynamic_cast<TextureCore*>(destination);
    if (from == nullptr || to == nullptr || from == to || from->OwnerDevice() != this || to->OwnerDevice() != this)
        return D3DERR_INVALIDCALL;
    if (source->GetType() != destination->GetType()) return D3DERR_INVALIDCALL;
    // System memory to the default pool only: managed and scratch sources are refused.
    if (from->CorePool() != D3DPOOL_SYSTEMMEM || to->CorePool() != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if (!CopyableFormats(from->LevelMemory(0, 0)->Format(), to->LevelMemory(0, 0)->Format()))
        return D3DERR_INVALIDCALL;
    UINT first = 0;
    while (first < from->LevelCount() && !SameExtent(*from->LevelMemory(0, first), *to->LevelMemory(0, 0))) ++first;
    if (first + to->LevelCount() > from->LevelCount()) return D3DERR_INVALIDCALL;
    for (UINT face = 0; face < from->FaceCount(); ++face) {
        for (UINT i = 0; i < from->LevelCount(); ++i)
            if (from->LevelMemory(face, i)->IsLocked()) return D3DERR_INVALIDCALL;
        for (UINT i = 0; i < to->LevelCount(); ++i)
            if (to->LevelMemory(face, i)->IsLocked() ||
                !SameExtent(*from->LevelMemory(face, first + i), *to->LevelMemory(face, i)))
                return D3DERR_INVALIDCALL;
    }
    FlushRaster();  // queued draws may read the destination
    for (UINT face = 0; face < from->FaceCount(); ++face)
        for (UINT i = 0; i < to->LevelCount(); ++i) {
            D3DBOX box;
            if (!from->LevelDirtyRegion(face, first + i, box)) continue;
            PixelMemory& level = *to->LevelMemory(face, i);
            CopyBox(box, *from->LevelMemory(face, first + i), level);
            level.ContentsChanged();
        }
    from->CleanDirtyRegions();
    return D3D_OK;
}

HRESULT Device::ResourceManagerDiscardBytes(DWORD /*bytes*/) {
    FlushRaster();  // queued draws read the copies
    for (TextureCore* texture : managedTextures_) texture->DropDrawnCopies();
    return D3D_OK;
}

HRESULT Device::MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    D3DMATRIX current;
    if (matrix == nullptr) return D3DERR_INVALIDCALL;
    if (HRESULT result = GetTransform(state, &current); FAILED(result)) return result;
    // While a block records, the product is recorded: it starts from the block's matrix
    // when the block already has one, and the device's transform stays as it is.
    if (recording_) {
        auto recorded = recording_->transforms.find(state);
        if (recorded != recording_->transforms.end()) current = recorded->second;
    }
    D3DMATRIX product;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            product.m[i][j] = matrix->m[i][0] * current.m[0][j] + matrix->m[i][1] * current.m[1][j] +
                              matrix->m[i][2] * current.m[2][j] + matrix->m[i][3] * current.m[3][j];
    return SetTransform(state, &product);
}

namespace {

bool ValidArgument(DWORD arg) {
    return (arg & ~(D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE)) == 0 &&
           (arg & D3DTA_SELECTMASK) <= D3DTA_TEMP;
}

// Whether an operation reads its first, second and zeroth arguments.
bool ReadsArg1(DWORD op) { return op != D3DTOP_SELECTARG2; }
bool ReadsArg2(DWORD op) { return op != D3DTOP_SELECTARG1; }
bool ReadsArg0(DWORD op) { return op == D3DTOP_MULTIPLYADD || op == D3DTOP_LERP; }

bool HasOp(DWORD opCaps, DWORD op) { return op >= D3DTOP_DISABLE && op <= 32 && (opCaps >> (op - 1) & 1) != 0; }

// The format of a texture's top level.
D3DFORMAT TextureFormat(IDirect3DBaseTexture8* texture) {
    if (auto* t = dynamic_cast<IDirect3DTexture8*>(texture)) {
        D3DSURFACE_DESC desc{};
        t->GetLevelDesc(0, &desc);
        return desc.Format;
    }
    if (auto* t = dynamic_cast<IDirect3DCubeTexture8*>(texture)) {
        D3DSURFACE_DESC desc{};
        t->GetLevelDesc(0, &desc);
        return desc.Format;
    }
    if (auto* t = dynamic_cast<IDirect3DVolumeTexture8*>(texture)) {
        D3DVOLUME_DESC desc{};
        t->GetLevelDesc(0, &desc);
        return desc.Format;
    }
    return D3DFMT_UNKNOWN;
}

}  // namespace

HRESULT Device::ValidateDevice(DWORD* numPasses) {
    if (numPasses == nullptr) return D3DERR_INVALIDCALL;
    *numPasses = 0;
    D3DCAPS8 caps{};
    GetDeviceCaps(&caps);
    DWORD textures = 0;
    bool bumpStages = false;
    for (DWORD stage = 0; stage < D3DMAXTEXTURESTAGES; ++stage) {
        const DWORD* ts = state_.stageState[stage];
        const DWORD colorOp = ts[D3DTSS_COLOROP];
        if (colorOp == D3DTOP_DISABLE) break;
        if (stage >= caps.MaxTextureBlendStages) return D3DERR_TOOMANYOPERATIONS;
        if (!HasOp(caps.TextureOpCaps, colorOp)) return D3DERR_UNSUPPORTEDCOLOROPERATION;
        // A bump stage moves the next stage's lookup: it needs one, within the six stages
        // the bump-mapping path draws.
        const bool bump = colorOp == D3DTOP_BUMPENVMAP || colorOp == D3DTOP_BUMPENVMAPLUMINANCE;
        if (bump && (stage + 1 >= 6 || state_.stageState[stage + 1][D3DTSS_COLOROP] == D3DTOP_DISABLE))
            return D3DERR_UNSUPPORTEDCOLOROPERATION;
        bumpStages = bumpStages || bump;
        if (bumpStages && stage >= 6) return D3DERR_UNSUPPORTEDCOLOROPERATION;
        if ((ReadsArg1(colorOp) && !ValidArgument(ts[D3DTSS_COLORARG1])) ||
            (ReadsArg2(colorOp) && !ValidArgument(ts[D3DTSS_COLORARG2])) ||
            (ReadsArg0(colorOp) && !ValidArgument(ts[D3DTSS_COLORARG0])))
            return D3DERR_UNSUPPORTEDCOLORARG;
        const DWORD alphaOp = ts[D3DTSS_ALPHAOP];
        // DOTPRODUCT3 is a colour operation (it writes its result to alpha too); in alpha
        // alone there is no dot product to take.
        if (!HasOp(caps.TextureOpCaps, alphaOp) || alphaOp == D3DTOP_DOTPRODUCT3 || alphaOp == D3DTOP_BUMPENVMAP ||
            alphaOp == D3DTOP_BUMPENVMAPLUMINANCE)
            return D3DERR_UNSUPPORTEDALPHAOPERATION;
        if (alphaOp != D3DTOP_DISABLE &&
            ((ReadsArg1(alphaOp) && !ValidArgument(ts[D3DTSS_ALPHAARG1])) ||
             (ReadsArg2(alphaOp) && !ValidArgument(ts[D3DTSS_ALPHAARG2])) ||
             (ReadsArg0(alphaOp) && !ValidArgument(ts[D3DTSS_ALPHAARG0]))))
            return D3DERR_UNSUPPORTEDALPHAARG;
        if (ts[D3DTSS_RESULTARG] != D3DTA_CURRENT && ts[D3DTSS_RESULTARG] != D3DTA_TEMP)
            return D3DERR_UNSUPPORTEDCOLORARG;
        if (textures_[stage] == nullptr) continue;
        if (++textures > caps.MaxSimultaneousTextures) return D3DERR_TOOMANYOPERATIONS;
        const DWORD mag = ts[D3DTSS_MAGFILTER], min = ts[D3DTSS_MINFILTER], mip = ts[D3DTSS_MIPFILTER];
        // Every filter the platform names is accepted: the sampler maps the ones it does not
        // have (anisotropic, cubic) to linear and none to point for MAG and MIN.
        if (mag > D3DTEXF_GAUSSIANCUBIC || min > D3DTEXF_GAUSSIANCUBIC || mip > D3DTEXF_GAUSSIANCUBIC)
            return D3DERR_UNSUPPORTEDTEXTUREFILTER;
        if (!SamplerReadsFormat(TextureFormat(textures_[stage]))) return D3DERR_WRONGTEXTUREFORMAT;
    }
    const DWORD* rs = state_.renderState;
    if (rs[D3DRS_ALPHABLENDENABLE] != FALSE) {
        auto listed = [](DWORD factorCaps, DWORD factor) {
            return factor >= D3DBLEND_ZERO && factor <= 32 && (factorCaps >> (factor - 1) & 1) != 0;
        };
        if (!listed(caps.SrcBlendCaps, rs[D3DRS_SRCBLEND]) || !listed(caps.DestBlendCaps, rs[D3DRS_DESTBLEND]))
            return D3DERR_UNSUPPORTEDFACTORVALUE;
    }
    *numPasses = 1;
    return D3D_OK;
}

}  // namespace d3d8
