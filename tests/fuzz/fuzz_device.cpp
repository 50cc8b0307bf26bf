// Fuzz entry over the device's calls: the input is a sequence of operations, each an opcode
// byte and its arguments, run on a fresh headless device (windowed, small back buffer, one
// rasterizer thread). Objects live in small tables indexed by input bytes: textures (plain,
// cube, volume), surfaces, volumes, vertex and index buffers, state block tokens. Every call
// gets any value the input names (out-of-range types, formats, pools, rectangles, counts,
// floats); the device must refuse what is invalid and never read or write outside its
// memory. Memory a lock hands out is written within the pitch and size the lock reported.
// Everything is released at the end of each input, so a reference the device keeps shows as
// a leak. Sizes are bounded by the device profile (textures) or here (surfaces, buffers,
// vertex arrays, scratch textures), so one input allocates a few MiB at most.
//
// DeviceSeeds() builds the hand-made inputs of tests/fuzz/device_seeds (device_replay_main.cpp
// writes them with --write-seeds), through the same encoder the opcodes below read.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/win32/host.h"

namespace {

enum Op : std::uint8_t {
    kCreateTexture,
    kCreateCube,
    kCreateVolume,
    kCreateVertexBuffer,
    kCreateIndexBuffer,
    kCreateImageSurface,
    kCreateRenderTarget,
    kCreateDepthStencil,
    kGetSurface,
    kGetVolume,
    kRelease,
    kLockTexture,
    kUnlockTexture,
    kLockSurface,
    kUnlockSurface,
    kLockVolume,
    kUnlockVolume,
    kLockVertexBuffer,
    kLockIndexBuffer,
    kUnlockBuffer,
    kRenderState,
    kStageState,
    kSetTexture,
    kSetStream,
    kSetIndices,
    kSetVertexShader,
    kViewport,
    kTransform,
    kMaterial,
    kLight,
    kLightEnable,
    kDraw,
    kDrawIndexed,
    kDrawUp,
    kDrawIndexedUp,
    kClear,
    kUpdateTexture,
    kCopyRects,
    kSetRenderTarget,
    kScene,
    kStateBlock,
    kReset,
    kPresent,
    kClipPlane,
    kProcessVertices,
    kFrontBuffer,
    kResourceCalls,
    kPixelShader,
    kOpCount
};

constexpr int kSlots = 4;
constexpr int kMaxOps = 192;
constexpr UINT kMaxBuffer = 1u << 16;     // bytes of one vertex or index buffer
constexpr UINT kMaxSurface = 96;           // edge of image surfaces and targets
constexpr UINT kMaxUpVertices = 1u << 12;  // vertices of one UP draw

constexpr D3DFORMAT kFormats[] = {
    D3DFMT_UNKNOWN,  D3DFMT_R8G8B8,   D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8,  D3DFMT_R5G6B5,    D3DFMT_X1R5G5B5,
    D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_R3G3B2,   D3DFMT_A8,        D3DFMT_A8R3G3B2,  D3DFMT_X4R4G4B4,
    D3DFMT_A8P8,     D3DFMT_P8,       D3DFMT_L8,       D3DFMT_A8L8,      D3DFMT_A4L4,      D3DFMT_V8U8,
    D3DFMT_L6V5U5,   D3DFMT_X8L8V8U8, D3DFMT_Q8W8V8U8, D3DFMT_V16U16,    D3DFMT_W11V11U10, D3DFMT_UYVY,
    D3DFMT_YUY2,     D3DFMT_DXT1,     D3DFMT_DXT2,     D3DFMT_DXT3,      D3DFMT_DXT4,      D3DFMT_DXT5,
    D3DFMT_D16_LOCKABLE, D3DFMT_D32,  D3DFMT_D15S1,    D3DFMT_D24S8,     D3DFMT_D16,       D3DFMT_D24X8,
    D3DFMT_D24X4S4,  D3DFMT_VERTEXDATA, D3DFMT_INDEX16, D3DFMT_INDEX32,
};
constexpr std::size_t kFormatCount = sizeof(kFormats) / sizeof(kFormats[0]);

constexpr DWORD kFvfs[] = {
    D3DFVF_XYZ | D3DFVF_DIFFUSE,
    D3DFVF_XYZRHW | D3DFVF_DIFFUSE,
    D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1,
    D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1,
    D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2,
    D3DFVF_XYZB2 | D3DFVF_NORMAL | D3DFVF_TEX1,
    D3DFVF_XYZRHW | D3DFVF_PSIZE | D3DFVF_DIFFUSE,
    D3DFVF_XYZ | D3DFVF_TEX3 | D3DFVF_TEXCOORDSIZE3(0) | D3DFVF_TEXCOORDSIZE1(1) | D3DFVF_TEXCOORDSIZE4(2),
};

const float kFloats[] = {0.0f,
                         1.0f,
                         -1.0f,
                         0.5f,
                         2.0f,
                         8.0f,
                         64.0f,
                         -64.0f,
                         1e-30f,
                         1e30f,
                         -1e30f,
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(),
                         std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::denorm_min(),
                         3.0e9f};

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ >= size_; }
    std::uint32_t Byte() { return at_ < size_ ? data_[at_++] : 0u; }
    std::uint32_t Word() {
        const std::uint32_t low = Byte();
        return low | (Byte() << 8);
    }
    std::uint32_t Long() {
        const std::uint32_t low = Word();
        return low | (Word() << 16);
    }
    // A value most often small, now and then any 32 bits or a value near a boundary.
    std::uint32_t Value() {
        const std::uint32_t tag = Byte();
        if (tag < 0xC0) return tag;
        if (tag < 0xE0) return Word();
        if (tag < 0xF0) return Long();
        const std::uint32_t edges[16] = {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 0x10000u, 0xFFFFu, 0x1000u,
                                         0x100u,      0xFFu,       0x101u,      0x3F800000u, 0xBF800000u,
                                         0x7FC00000u, 0x7F800000u, 0x00FFFFFFu, 0x01000000u, 0xFFFFFFFEu};
        return edges[tag & 15];
    }
    float Float() {
        const std::uint32_t tag = Byte();
        if (tag < 0x80) return static_cast<float>(static_cast<int>(tag) - 0x20) * 0.5f;
        if (tag < 0xF0) return kFloats[tag & 15];
        const std::uint32_t bits = Long();
        float value;
        std::memcpy(&value, &bits, sizeof(value));
        return value;
    }
    D3DFORMAT Format() {
        const std::uint32_t tag = Byte();
        if (tag < kFormatCount) return kFormats[tag];
        if (tag == 0xFF) return static_cast<D3DFORMAT>(Long());
        return kFormats[tag % kFormatCount];
    }
    DWORD Fvf() {
        const std::uint32_t tag = Byte();
        if (tag < 0x80) return kFvfs[tag % (sizeof(kFvfs) / sizeof(kFvfs[0]))];
        if (tag < 0xF0) return tag == 0x80 ? 0 : Word();
        return Long();
    }
    // A size for a dimension: small mostly, sometimes zero, huge, or past every limit.
    UINT Size(UINT bound) {
        const std::uint32_t tag = Byte();
        if (tag < 0xF0) return tag % (bound + 1);
        const UINT edges[16] = {0, 1, 2, 3, 4, 5, 7, 8, 255, 256, 257, 4096, 65536, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
        return edges[tag & 15];
    }
    RECT Rect() {
        RECT r;
        r.left = static_cast<LONG>(Signed());
        r.top = static_cast<LONG>(Signed());
        r.right = static_cast<LONG>(Signed());
        r.bottom = static_cast<LONG>(Signed());
        return r;
    }
    std::int32_t Signed() {
        const std::uint32_t tag = Byte();
        if (tag < 0xF0) return static_cast<std::int32_t>(tag) - 0x10;
        return static_cast<std::int32_t>(Value());
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

LRESULT FuzzWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND Window() {
    static HWND window = [] {
        host::SetHeadless(true);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = FuzzWindowProc;
        wc.lpszClassName = "fuzz-device";
        RegisterClassA(&wc);
        return CreateWindowExA(0, "fuzz-device", "fuzz", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, nullptr, nullptr,
                               nullptr, nullptr);
    }();
    return window;
}

bool IsBlockFormat(D3DFORMAT f) {
    return f == D3DFMT_DXT1 || f == D3DFMT_DXT2 || f == D3DFMT_DXT3 || f == D3DFMT_DXT4 || f == D3DFMT_DXT5;
}

// Writes into memory a lock returned: every byte of every row when the whole level is
// locked, else the first byte of every row of the rectangle or box as the device clamps it
// to the level (a texture level accepts one reaching outside). Rows of a DXT format are
// rows of 4x4 blocks.
LONG LockedRows(std::int64_t from, std::int64_t to, UINT extent, bool blocks) {
    const std::int64_t top = std::clamp<std::int64_t>(from, 0, extent);
    const auto rows = static_cast<LONG>(std::clamp<std::int64_t>(to, top, extent) - top);
    return blocks ? (rows + 3) / 4 : rows;
}

void WriteLocked(const D3DLOCKED_RECT& locked, const D3DSURFACE_DESC& desc, const RECT* rect, std::uint8_t value) {
    if (locked.pBits == nullptr) return;
    auto* bits = static_cast<std::uint8_t*>(locked.pBits);
    const bool blocks = IsBlockFormat(desc.Format);
    if (rect == nullptr) {
        const UINT rows = blocks ? (desc.Height + 3) / 4 : desc.Height;
        if (rows == 0) return;
        const std::size_t rowBytes = desc.Size / rows;
        for (UINT y = 0; y < rows; ++y) std::memset(bits + std::ptrdiff_t{y} * locked.Pitch, value, rowBytes);
        return;
    }
    const LONG rows = LockedRows(rect->top, rect->bottom, desc.Height, blocks);
    for (LONG y = 0; y < rows; ++y) bits[std::ptrdiff_t{y} * locked.Pitch] = value;
}

void WriteLockedBox(const D3DLOCKED_BOX& locked, const D3DVOLUME_DESC& desc, const D3DBOX* box, std::uint8_t value) {
    if (locked.pBits == nullptr) return;
    auto* bits = static_cast<std::uint8_t*>(locked.pBits);
    const bool blocks = IsBlockFormat(desc.Format);
    if (box == nullptr) {
        const std::size_t rows = std::size_t{blocks ? (desc.Height + 3) / 4 : desc.Height} * desc.Depth;
        if (rows == 0) return;
        const std::size_t rowBytes = desc.Size / rows;
        for (UINT z = 0; z < desc.Depth; ++z) {
            for (UINT y = 0; y < rows / desc.Depth; ++y)
                std::memset(bits + std::ptrdiff_t{z} * locked.SlicePitch + std::ptrdiff_t{y} * locked.RowPitch, value,
                            rowBytes);
        }
        return;
    }
    const LONG rows = LockedRows(box->Top, box->Bottom, desc.Height, blocks);
    const LONG slices = LockedRows(box->Front, box->Back, desc.Depth, false);
    for (LONG z = 0; z < slices; ++z) {
        for (LONG y = 0; y < rows; ++y) bits[std::ptrdiff_t{z} * locked.SlicePitch + std::ptrdiff_t{y} * locked.RowPitch] = value;
    }
}

// The vertices a primitive count draws, 0 for an unknown type.
UINT VerticesOf(D3DPRIMITIVETYPE type, UINT count) {
    switch (type) {
        case D3DPT_POINTLIST: return count;
        case D3DPT_LINELIST: return count * 2;
        case D3DPT_LINESTRIP: return count + 1;
        case D3DPT_TRIANGLELIST: return count * 3;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: return count + 2;
        default: return count;
    }
}

D3DPRIMITIVETYPE PrimitiveType(Reader& in) {
    const std::uint32_t tag = in.Byte();
    if (tag < 0xF0) return static_cast<D3DPRIMITIVETYPE>(tag % 8);  // 0 and 7 are no type
    return static_cast<D3DPRIMITIVETYPE>(in.Value());
}

// Vertex floats from input bytes: small coordinates that land on the target, and now and
// then a special value.
void FillVertices(Reader& in, std::vector<std::uint8_t>& bytes) {
    for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        float f = in.Empty() ? static_cast<float>(i % 37) : in.Float();
        std::memcpy(&bytes[i], &f, 4);
    }
}

// With TOLVANE_FUZZ_TRACE set, the results of the draws and copies go to stderr, to see how
// far an input gets.
void Trace(const char* call, HRESULT result) {
    static const bool on = std::getenv("TOLVANE_FUZZ_TRACE") != nullptr;
    if (on) std::fprintf(stderr, "%s: %s\n", call, SUCCEEDED(result) ? "ok" : "refused");
}

class Session {
public:
    Session(IDirect3DDevice8* device) : device_(device) {}

    ~Session() {
        for (auto*& t : textures_) Drop(t);
        for (auto*& s : surfaces_) Drop(s);
        for (auto*& v : volumes_) Drop(v);
        for (auto*& b : vertexBuffers_) Drop(b);
        for (auto*& b : indexBuffers_) Drop(b);
    }

    void Run(Reader& in) {
        for (int op = 0; op < kMaxOps && !in.Empty(); ++op) Step(in);
    }

private:
    template <class T>
    static void Drop(T*& object) {
        if (object != nullptr) object->Release();
        object = nullptr;
    }
    template <class T>
    static void Put(T*& slot, T* object) {
        Drop(slot);
        slot = object;
    }

    IDirect3DBaseTexture8* Texture(Reader& in) { return textures_[in.Byte() % kSlots]; }
    IDirect3DSurface8* Surface(Reader& in) {
        const std::uint32_t i = in.Byte();
        return i == 0xFF ? nullptr : surfaces_[i % kSlots];
    }

    static D3DPOOL Pool(Reader& in) {
        const std::uint32_t tag = in.Byte();
        return static_cast<D3DPOOL>(tag < 0xF0 ? tag % 4 : in.Value());
    }
    // Scratch textures take any size (the profile's limits are for the device's own pools):
    // the ones larger than a few MiB are not asked for, so no input allocates gigabytes.
    static bool Bounded(D3DPOOL pool, UINT w, UINT h, UINT d) {
        return pool != D3DPOOL_SCRATCH || std::uint64_t{w} * h * d <= (std::uint64_t{1} << 20);
    }
    static DWORD Usage(Reader& in) {
        const std::uint32_t tag = in.Byte();
        const DWORD usages[8] = {0,
                                 D3DUSAGE_RENDERTARGET,
                                 D3DUSAGE_DEPTHSTENCIL,
                                 D3DUSAGE_DYNAMIC,
                                 D3DUSAGE_WRITEONLY,
                                 D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC,
                                 D3DUSAGE_POINTS | D3DUSAGE_DONOTCLIP | D3DUSAGE_SOFTWAREPROCESSING,
                                 D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC};
        return tag < 0xF0 ? usages[tag % 8] : in.Value();
    }
    static DWORD LockFlags(Reader& in) {
        const std::uint32_t tag = in.Byte();
        const DWORD flags[8] = {0, D3DLOCK_READONLY, D3DLOCK_DISCARD, D3DLOCK_NOOVERWRITE, D3DLOCK_NOSYSLOCK,
                                D3DLOCK_NO_DIRTY_UPDATE, D3DLOCK_DISCARD | D3DLOCK_READONLY, 0x10000};
        return tag < 0xF0 ? flags[tag % 8] : in.Value();
    }
    static D3DMATRIX Matrix(Reader& in) {
        D3DMATRIX m;
        float* f = &m._11;
        const std::uint32_t tag = in.Byte();
        for (int i = 0; i < 16; ++i) f[i] = (tag & 1) != 0 ? in.Float() : (i % 5 == 0 ? 1.0f : 0.0f);
        if ((tag & 2) != 0) f[15] = in.Float();
        return m;
    }
    static D3DCOLORVALUE Color(Reader& in) { return {in.Float(), in.Float(), in.Float(), in.Float()}; }

    // A pixel shader token stream: a ps.1.1 to ps.1.4 version token, then instructions whose
    // opcodes are mostly the pixel instructions and whose parameters are mostly registers of
    // the four pixel files with any write mask, swizzle and modifiers, now and then any 32
    // bits; then the end token, which the platform's callers always give.
    // A token from the input that is never a comment reaching past the stream: the device
    // reads a comment's size from its token and skips that many DWORDs, so a comment could
    // swallow the end token and send the validator past the caller's buffer (as it would on
    // the platform).
    static DWORD LooseToken(Reader& in) {
        const DWORD token = in.Long();
        return (token & D3DSI_OPCODE_MASK) == D3DSIO_COMMENT ? token & ~D3DSI_COMMENTSIZE_MASK : token;
    }

    static std::vector<DWORD> PixelTokens(Reader& in) {
        constexpr DWORD kOps[] = {0,    1,    2,    3,    4,    5,    8,    9,    0x12, 0x40, 0x41, 0x42,
                                  0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x50,
                                  0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, D3DSIO_PHASE};
        std::vector<DWORD> tokens = {0xFFFF0100u | (1 + in.Byte() % 4)};
        const std::uint32_t instructions = in.Byte() % 24;
        for (std::uint32_t i = 0; i < instructions && !in.Empty(); ++i) {
            const std::uint32_t tag = in.Byte();
            DWORD op = tag < 0xF0 ? kOps[tag % (sizeof(kOps) / sizeof(kOps[0]))] : LooseToken(in);
            if ((tag & 0x40) != 0 && tag < 0xF0) op |= D3DSI_COISSUE;
            tokens.push_back(op);
            const std::uint32_t parameters = in.Byte() % 6;
            for (std::uint32_t k = 0; k < parameters; ++k) {
                const std::uint32_t kind = in.Byte();
                if (kind >= 0xF0) {
                    tokens.push_back(LooseToken(in));
                    continue;
                }
                const DWORD file = (kind & 3) << D3DSP_REGTYPE_SHIFT;
                const DWORD index = (kind >> 2) & 7;
                const std::uint32_t bits = in.Byte();
                // A destination (write mask, result modifier and shift) or a source (swizzle,
                // source modifier); which one the validator reads it as is up to the opcode.
                const DWORD rest = (kind & 0x20) != 0
                                       ? ((bits & 0xF) << 16) | ((bits >> 4 & 1) << D3DSP_DSTMOD_SHIFT) |
                                             ((bits >> 5) << D3DSP_DSTSHIFT_SHIFT)
                                       : ((bits & 0x80) != 0 ? (bits * 0x5555u & 0xFFu) << D3DSP_SWIZZLE_SHIFT
                                                              : D3DSP_NOSWIZZLE) |
                                             ((bits % 11) << D3DSP_SRCMOD_SHIFT);
                tokens.push_back(0x80000000u | file | index | rest);
            }
        }
        tokens.push_back(0x0000FFFFu);
        return tokens;
    }

    void Step(Reader& in) {
        const auto op = static_cast<Op>(in.Byte() % kOpCount);
        switch (op) {
            case kCreateTexture: {
                const std::uint32_t slot = in.Byte() % kSlots;
                const UINT w = in.Size(300), h = in.Size(300), levels = in.Size(12);
                const DWORD usage = Usage(in);
                const D3DFORMAT format = in.Format();
                const D3DPOOL pool = Pool(in);
                if (!Bounded(pool, w, h, 1)) break;
                IDirect3DTexture8* t = nullptr;
                if (SUCCEEDED(device_->CreateTexture(w, h, levels, usage, format, pool, &t))) Put(textures_[slot], static_cast<IDirect3DBaseTexture8*>(t));
                break;
            }
            case kCreateCube: {
                const std::uint32_t slot = in.Byte() % kSlots;
                const UINT edge = in.Size(300), levels = in.Size(12);
                const DWORD usage = Usage(in);
                const D3DFORMAT format = in.Format();
                const D3DPOOL pool = Pool(in);
                if (!Bounded(pool, edge, edge, 6)) break;
                IDirect3DCubeTexture8* t = nullptr;
                if (SUCCEEDED(device_->CreateCubeTexture(edge, levels, usage, format, pool, &t))) Put(textures_[slot], static_cast<IDirect3DBaseTexture8*>(t));
                break;
            }
            case kCreateVolume: {
                const std::uint32_t slot = in.Byte() % kSlots;
                const UINT w = in.Size(40), h = in.Size(40), d = in.Size(40), levels = in.Size(8);
                const DWORD usage = Usage(in);
                const D3DFORMAT format = in.Format();
                const D3DPOOL pool = Pool(in);
                if (!Bounded(pool, w, h, d)) break;
                IDirect3DVolumeTexture8* t = nullptr;
                if (SUCCEEDED(device_->CreateVolumeTexture(w, h, d, levels, usage, format, pool, &t))) Put(textures_[slot], static_cast<IDirect3DBaseTexture8*>(t));
                break;
            }
            case kCreateVertexBuffer: {
                const std::uint32_t slot = in.Byte() % kSlots;
                const UINT length = in.Value() % (kMaxBuffer + 1);
                const DWORD usage = Usage(in);
                const DWORD fvf = in.Fvf();
                IDirect3DVertexBuffer8* b = nullptr;
                if (SUCCEEDED(device_->CreateVertexBuffer(length, usage, fvf, Pool(in), &b))) Put(vertexBuffers_[slot], b);
                break;
            }
            case kCreateIndexBuffer: {
                const std::uint32_t slot = in.Byte() % kSlots;
                const UINT length = in.Value() % (kMaxBuffer + 1);
                const DWORD usage = Usage(in);
                const D3DFORMAT format = in.Format();
                IDirect3DIndexBuffer8* b = nullptr;
                if (SUCCEEDED(device_->CreateIndexBuffer(length, usage, format, Pool(in), &b))) Put(indexBuffers_[slot], b);
                break;
            }
            case kCreateImageSurface: {
                const std::uint32_t slot = in.Byte() % kSlots;
                const UINT w = in.Size(kMaxSurface) % (4 * kMaxSurface), h = in.Size(kMaxSurface) % (4 * kMaxSurface);
                IDirect3DSurface8* s = nullptr;
                if (SUCCEEDED(device_->CreateImageSurface(w, h, in.Format(), &s))) Put(surfaces_[slot], s);
                break;
            }
            case kCreateRenderTarget:
            case kCreateDepthStencil: {
                const bool target = op == kCreateRenderTarget;
                const std::uint32_t slot = in.Byte() % kSlots;
                const UINT w = in.Size(kMaxSurface) % (2 * kMaxSurface), h = in.Size(kMaxSurface) % (2 * kMaxSurface);
                const D3DFORMAT format = in.Format();
                const auto ms = static_cast<D3DMULTISAMPLE_TYPE>(in.Byte() % 3);
                IDirect3DSurface8* s = nullptr;
                const HRESULT hr = target ? device_->CreateRenderTarget(w, h, format, ms, in.Byte() & 1, &s)
                                          : device_->CreateDepthStencilSurface(w, h, format, ms, &s);
                if (SUCCEEDED(hr)) Put(surfaces_[slot], s);
                break;
            }
            case kGetSurface: {
                const std::uint32_t slot = in.Byte() % kSlots;
                const std::uint32_t from = in.Byte();
                const UINT level = in.Value();
                IDirect3DSurface8* s = nullptr;
                HRESULT hr = E_FAIL;
                switch (from % 5) {
                    case 0: hr = device_->GetBackBuffer(level, static_cast<D3DBACKBUFFER_TYPE>(in.Value()), &s); break;
                    case 1: hr = device_->GetRenderTarget(&s); break;
                    case 2: hr = device_->GetDepthStencilSurface(&s); break;
                    default: {
                        IDirect3DBaseTexture8* t = textures_[(from >> 3) % kSlots];
                        if (t == nullptr) break;
                        const D3DRESOURCETYPE type = t->GetType();
                        if (type == D3DRTYPE_TEXTURE)
                            hr = static_cast<IDirect3DTexture8*>(t)->GetSurfaceLevel(level, &s);
                        else if (type == D3DRTYPE_CUBETEXTURE)
                            hr = static_cast<IDirect3DCubeTexture8*>(t)->GetCubeMapSurface(
                                static_cast<D3DCUBEMAP_FACES>(in.Value()), level, &s);
                        break;
                    }
                }
                if (SUCCEEDED(hr) && s != nullptr) Put(surfaces_[slot], s);
                break;
            }
            case kGetVolume: {
                const std::uint32_t slot = in.Byte() % kSlots;
                IDirect3DBaseTexture8* t = Texture(in);
                const UINT level = in.Value();
                IDirect3DVolume8* v = nullptr;
                if (t != nullptr && t->GetType() == D3DRTYPE_VOLUMETEXTURE &&
                    SUCCEEDED(static_cast<IDirect3DVolumeTexture8*>(t)->GetVolumeLevel(level, &v)))
                    Put(volumes_[slot], v);
                break;
            }
            case kRelease: {
                const std::uint32_t which = in.Byte();
                const std::uint32_t slot = (which >> 3) % kSlots;
                switch (which % 5) {
                    case 0: Drop(textures_[slot]); break;
                    case 1: Drop(surfaces_[slot]); break;
                    case 2: Drop(volumes_[slot]); break;
                    case 3: Drop(vertexBuffers_[slot]); break;
                    default: Drop(indexBuffers_[slot]); break;
                }
                break;
            }
            case kLockTexture: {
                IDirect3DBaseTexture8* t = Texture(in);
                const UINT level = in.Value() % 16;
                const std::uint32_t face = in.Value();
                const bool whole = (in.Byte() & 1) != 0;
                RECT rect = in.Rect();
                D3DBOX box = {in.Value(), in.Value(), in.Value(), in.Value(), in.Value(), in.Value()};
                const DWORD flags = LockFlags(in);
                const auto value = static_cast<std::uint8_t>(in.Byte());
                if (t == nullptr) break;
                const D3DRESOURCETYPE type = t->GetType();
                if (type == D3DRTYPE_TEXTURE || type == D3DRTYPE_CUBETEXTURE) {
                    D3DSURFACE_DESC desc = {};
                    D3DLOCKED_RECT locked = {};
                    const RECT* r = whole ? nullptr : &rect;
                    HRESULT hr;
                    if (type == D3DRTYPE_TEXTURE) {
                        auto* tex = static_cast<IDirect3DTexture8*>(t);
                        if (FAILED(tex->GetLevelDesc(level, &desc))) desc = {};
                        hr = tex->LockRect(level, &locked, r, flags);
                    } else {
                        auto* cube = static_cast<IDirect3DCubeTexture8*>(t);
                        if (FAILED(cube->GetLevelDesc(level, &desc))) desc = {};
                        hr = cube->LockRect(static_cast<D3DCUBEMAP_FACES>(face), level, &locked, r, flags);
                    }
                    if (SUCCEEDED(hr) && (flags & D3DLOCK_READONLY) == 0) WriteLocked(locked, desc, r, value);
                } else if (type == D3DRTYPE_VOLUMETEXTURE) {
                    auto* vol = static_cast<IDirect3DVolumeTexture8*>(t);
                    D3DVOLUME_DESC desc = {};
                    D3DLOCKED_BOX locked = {};
                    if (FAILED(vol->GetLevelDesc(level, &desc))) desc = {};
                    const D3DBOX* b = whole ? nullptr : &box;
                    if (SUCCEEDED(vol->LockBox(level, &locked, b, flags)) && (flags & D3DLOCK_READONLY) == 0)
                        WriteLockedBox(locked, desc, b, value);
                }
                break;
            }
            case kUnlockTexture: {
                IDirect3DBaseTexture8* t = Texture(in);
                const UINT level = in.Value() % 16;
                const std::uint32_t face = in.Value();
                if (t == nullptr) break;
                const D3DRESOURCETYPE type = t->GetType();
                if (type == D3DRTYPE_TEXTURE) static_cast<IDirect3DTexture8*>(t)->UnlockRect(level);
                if (type == D3DRTYPE_CUBETEXTURE)
                    static_cast<IDirect3DCubeTexture8*>(t)->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), level);
                if (type == D3DRTYPE_VOLUMETEXTURE) static_cast<IDirect3DVolumeTexture8*>(t)->UnlockBox(level);
                break;
            }
            case kLockSurface: {
                IDirect3DSurface8* s = Surface(in);
                const bool whole = (in.Byte() & 1) != 0;
                RECT rect = in.Rect();
                const DWORD flags = LockFlags(in);
                const auto value = static_cast<std::uint8_t>(in.Byte());
                if (s == nullptr) break;
                D3DSURFACE_DESC desc = {};
                D3DLOCKED_RECT locked = {};
                s->GetDesc(&desc);
                const RECT* r = whole ? nullptr : &rect;
                if (SUCCEEDED(s->LockRect(&locked, r, flags)) && (flags & D3DLOCK_READONLY) == 0)
                    WriteLocked(locked, desc, r, value);
                break;
            }
            case kUnlockSurface: {
                IDirect3DSurface8* s = Surface(in);
                if (s != nullptr) s->UnlockRect();
                break;
            }
            case kLockVolume: {
                IDirect3DVolume8* v = volumes_[in.Byte() % kSlots];
                const bool whole = (in.Byte() & 1) != 0;
                D3DBOX box = {in.Value(), in.Value(), in.Value(), in.Value(), in.Value(), in.Value()};
                const DWORD flags = LockFlags(in);
                const auto value = static_cast<std::uint8_t>(in.Byte());
                if (v == nullptr) break;
                D3DVOLUME_DESC desc = {};
                D3DLOCKED_BOX locked = {};
                v->GetDesc(&desc);
                const D3DBOX* b = whole ? nullptr : &box;
                if (SUCCEEDED(v->LockBox(&locked, b, flags)) && (flags & D3DLOCK_READONLY) == 0)
                    WriteLockedBox(locked, desc, b, value);
                break;
            }
            case kUnlockVolume: {
                IDirect3DVolume8* v = volumes_[in.Byte() % kSlots];
                if (v != nullptr) v->UnlockBox();
                break;
            }
            case kLockVertexBuffer:
            case kLockIndexBuffer: {
                const bool vertices = op == kLockVertexBuffer;
                const std::uint32_t slot = in.Byte() % kSlots;
                const UINT offset = in.Value(), size = in.Value();
                const DWORD flags = LockFlags(in);
                BYTE* data = nullptr;
                UINT length = 0;
                HRESULT hr = E_FAIL;
                if (vertices && vertexBuffers_[slot] != nullptr) {
                    D3DVERTEXBUFFER_DESC desc = {};
                    vertexBuffers_[slot]->GetDesc(&desc);
                    length = desc.Size;
                    hr = vertexBuffers_[slot]->Lock(offset, size, &data, flags);
                } else if (!vertices && indexBuffers_[slot] != nullptr) {
                    D3DINDEXBUFFER_DESC desc = {};
                    indexBuffers_[slot]->GetDesc(&desc);
                    length = desc.Size;
                    hr = indexBuffers_[slot]->Lock(offset, size, &data, flags);
                }
                if (FAILED(hr) || data == nullptr || (flags & D3DLOCK_READONLY) != 0 || offset >= length) break;
                const UINT span = size == 0 || size > length - offset ? length - offset : size;
                std::vector<std::uint8_t> bytes(span);
                if (vertices) {
                    FillVertices(in, bytes);
                } else {
                    for (auto& b : bytes) b = static_cast<std::uint8_t>(in.Empty() ? 0 : in.Byte() % 24);
                }
                std::memcpy(data, bytes.data(), span);
                break;
            }
            case kUnlockBuffer: {
                const std::uint32_t which = in.Byte();
                if ((which & 1) == 0 && vertexBuffers_[(which >> 1) % kSlots] != nullptr)
                    vertexBuffers_[(which >> 1) % kSlots]->Unlock();
                if ((which & 1) != 0 && indexBuffers_[(which >> 1) % kSlots] != nullptr)
                    indexBuffers_[(which >> 1) % kSlots]->Unlock();
                break;
            }
            case kRenderState: {
                const std::uint32_t tag = in.Byte();
                const auto state = static_cast<D3DRENDERSTATETYPE>(tag < 0xF0 ? tag % 180 : in.Value());
                device_->SetRenderState(state, in.Value());
                DWORD back = 0;
                device_->GetRenderState(state, &back);
                break;
            }
            case kStageState: {
                const std::uint32_t tag = in.Byte();
                const DWORD stage = tag < 0xF0 ? tag % 10 : in.Value();
                const std::uint32_t typeTag = in.Byte();
                const auto type = static_cast<D3DTEXTURESTAGESTATETYPE>(typeTag < 0xF0 ? typeTag % 32 : in.Value());
                const std::uint32_t kind = in.Byte();
                const DWORD value = (kind & 1) != 0 ? in.Value() : [&] {
                    const float f = in.Float();
                    DWORD bits;
                    std::memcpy(&bits, &f, 4);
                    return bits;
                }();
                device_->SetTextureStageState(stage, type, value);
                DWORD back = 0;
                device_->GetTextureStageState(stage, type, &back);
                break;
            }
            case kSetTexture: {
                const std::uint32_t tag = in.Byte();
                const DWORD stage = tag < 0xF0 ? tag % 10 : in.Value();
                const std::uint32_t which = in.Byte();
                device_->SetTexture(stage, which >= 0x80 ? nullptr : textures_[which % kSlots]);
                IDirect3DBaseTexture8* back = nullptr;
                if (SUCCEEDED(device_->GetTexture(stage, &back)) && back != nullptr) back->Release();
                break;
            }
            case kSetStream: {
                const UINT stream = in.Byte() % 3;
                const std::uint32_t which = in.Byte();
                const UINT stride = in.Value();
                device_->SetStreamSource(stream, which >= 0x80 ? nullptr : vertexBuffers_[which % kSlots], stride);
                break;
            }
            case kSetIndices: {
                const std::uint32_t which = in.Byte();
                device_->SetIndices(which >= 0x80 ? nullptr : indexBuffers_[which % kSlots], in.Value());
                break;
            }
            case kSetVertexShader: device_->SetVertexShader(in.Fvf()); break;
            case kViewport: {
                D3DVIEWPORT8 vp = {in.Value(), in.Value(), in.Value(), in.Value(), 0.0f, 1.0f};
                if ((in.Byte() & 1) != 0) {
                    vp.MinZ = in.Float();
                    vp.MaxZ = in.Float();
                }
                device_->SetViewport(vp.X == 0xFFFFFFFFu ? nullptr : &vp);
                break;
            }
            case kTransform: {
                const std::uint32_t tag = in.Byte();
                const auto state = static_cast<D3DTRANSFORMSTATETYPE>(tag < 0xF0 ? (tag < 0x80 ? tag % 24 : 256 + tag % 8) : in.Value());
                const D3DMATRIX m = Matrix(in);
                if ((tag & 1) != 0)
                    device_->MultiplyTransform(state, &m);
                else
                    device_->SetTransform(state, &m);
                break;
            }
            case kMaterial: {
                D3DMATERIAL8 m;
                m.Diffuse = Color(in);
                m.Ambient = Color(in);
                m.Specular = Color(in);
                m.Emissive = Color(in);
                m.Power = in.Float();
                device_->SetMaterial(&m);
                break;
            }
            case kLight: {
                const DWORD index = in.Value();
                D3DLIGHT8 l;
                l.Type = static_cast<D3DLIGHTTYPE>(in.Value());
                l.Diffuse = Color(in);
                l.Specular = Color(in);
                l.Ambient = Color(in);
                l.Position = {in.Float(), in.Float(), in.Float()};
                l.Direction = {in.Float(), in.Float(), in.Float()};
                l.Range = in.Float();
                l.Falloff = in.Float();
                l.Attenuation0 = in.Float();
                l.Attenuation1 = in.Float();
                l.Attenuation2 = in.Float();
                l.Theta = in.Float();
                l.Phi = in.Float();
                device_->SetLight(index, &l);
                break;
            }
            case kLightEnable: device_->LightEnable(in.Value(), in.Byte() & 1); break;
            case kDraw: {
                const D3DPRIMITIVETYPE type = PrimitiveType(in);
                const UINT start = in.Value(), count = in.Value();
                Trace("DrawPrimitive", device_->DrawPrimitive(type, start, count));
                break;
            }
            case kDrawIndexed: {
                const D3DPRIMITIVETYPE type = PrimitiveType(in);
                const UINT minIndex = in.Value(), vertices = in.Value(), start = in.Value(), count = in.Value();
                Trace("DrawIndexedPrimitive", device_->DrawIndexedPrimitive(type, minIndex, vertices, start, count));
                break;
            }
            case kDrawUp: {
                const D3DPRIMITIVETYPE type = PrimitiveType(in);
                const UINT count = in.Value() % 1024;
                const UINT stride = in.Value() % 129;
                const UINT vertices = VerticesOf(type, count) % (kMaxUpVertices + 1);
                std::vector<std::uint8_t> bytes(std::size_t{vertices} * stride);
                FillVertices(in, bytes);
                Trace("DrawPrimitiveUP", device_->DrawPrimitiveUP(type, count, bytes.empty() ? nullptr : bytes.data(), stride));
                break;
            }
            case kDrawIndexedUp: {
                const D3DPRIMITIVETYPE type = PrimitiveType(in);
                const UINT count = in.Value() % 1024;
                const UINT minIndex = in.Value() % 1024, numVertices = in.Value() % 1024;
                const UINT stride = in.Value() % 129;
                const bool wide = (in.Byte() & 1) != 0;
                const D3DFORMAT format = wide ? D3DFMT_INDEX32 : ((in.Byte() & 7) == 7 ? in.Format() : D3DFMT_INDEX16);
                const UINT indexCount = VerticesOf(type, count) % (kMaxUpVertices + 1);
                const UINT span = minIndex + numVertices;
                std::vector<std::uint32_t> indices32(indexCount);
                std::vector<std::uint16_t> indices16(indexCount);
                for (UINT i = 0; i < indexCount; ++i) {
                    const std::uint32_t v = in.Empty() ? i : in.Value();
                    const std::uint32_t index = v < 0xC0 && span != 0 ? v % span : v;
                    indices32[i] = index;
                    indices16[i] = static_cast<std::uint16_t>(index);
                }
                std::vector<std::uint8_t> bytes(std::size_t{span} * stride);
                FillVertices(in, bytes);
                const void* indexData = indexCount == 0 ? nullptr
                                        : wide          ? static_cast<const void*>(indices32.data())
                                                        : static_cast<const void*>(indices16.data());
                device_->DrawIndexedPrimitiveUP(type, minIndex, numVertices, count, indexData, format,
                                                bytes.empty() ? nullptr : bytes.data(), stride);
                break;
            }
            case kClear: {
                const DWORD count = in.Byte() % 6;
                const bool nullRects = (in.Byte() & 7) == 7;
                std::vector<D3DRECT> rects(count);
                for (auto& r : rects) r = {in.Signed(), in.Signed(), in.Signed(), in.Signed()};
                const std::uint32_t tag = in.Byte();
                const DWORD flags = tag < 0xF0 ? tag & 7 : in.Value();
                const D3DCOLOR color = in.Long();
                const float z = in.Float();
                device_->Clear(count, nullRects || count == 0 ? nullptr : rects.data(), flags, color, z, in.Value());
                break;
            }
            case kUpdateTexture: {
                IDirect3DBaseTexture8* source = Texture(in);
                IDirect3DBaseTexture8* destination = Texture(in);
                device_->UpdateTexture(source, destination);
                break;
            }
            case kCopyRects: {
                IDirect3DSurface8* source = Surface(in);
                IDirect3DSurface8* destination = Surface(in);
                const UINT count = in.Byte() % 5;
                const bool noRects = (in.Byte() & 3) == 3;
                const bool noPoints = (in.Byte() & 3) == 3;
                std::vector<RECT> rects(count);
                std::vector<POINT> points(count);
                for (UINT i = 0; i < count; ++i) {
                    rects[i] = in.Rect();
                    points[i] = {in.Signed(), in.Signed()};
                }
                const HRESULT copied = device_->CopyRects(source, noRects || count == 0 ? nullptr : rects.data(), noRects ? 0 : count,
                                   destination, noPoints || count == 0 ? nullptr : points.data());
                Trace("CopyRects", copied);
                break;
            }
            case kSetRenderTarget: {
                IDirect3DSurface8* target = Surface(in);
                IDirect3DSurface8* depth = Surface(in);
                Trace("SetRenderTarget", device_->SetRenderTarget(target, depth));
                break;
            }
            case kScene:
                if ((in.Byte() & 1) != 0)
                    device_->BeginScene();
                else
                    device_->EndScene();
                break;
            case kStateBlock: {
                const std::uint32_t what = in.Byte();
                const std::uint32_t slot = (what >> 3) % kSlots;
                DWORD token = 0;
                switch (what % 7) {
                    case 0: device_->BeginStateBlock(); break;
                    case 1:
                        if (SUCCEEDED(device_->EndStateBlock(&token))) tokens_.push_back(token);
                        break;
                    case 2:
                        if (SUCCEEDED(device_->CreateStateBlock(static_cast<D3DSTATEBLOCKTYPE>(in.Byte() % 5), &token)))
                            tokens_.push_back(token);
                        break;
                    case 3: device_->ApplyStateBlock(slot < tokens_.size() ? tokens_[slot] : in.Value()); break;
                    case 4: device_->CaptureStateBlock(slot < tokens_.size() ? tokens_[slot] : in.Value()); break;
                    case 5: device_->DeleteStateBlock(slot < tokens_.size() ? tokens_[slot] : in.Value()); break;
                    default: {
                        DWORD passes = 0;
                        device_->ValidateDevice(&passes);
                        break;
                    }
                }
                break;
            }
            case kReset: {
                D3DPRESENT_PARAMETERS pp = {};
                pp.BackBufferWidth = in.Size(64);
                pp.BackBufferHeight = in.Size(64);
                if (pp.BackBufferWidth > 128) pp.BackBufferWidth = 0;
                if (pp.BackBufferHeight > 128) pp.BackBufferHeight = 0;
                pp.BackBufferFormat = in.Format();
                pp.BackBufferCount = in.Byte() % 4;
                pp.MultiSampleType = static_cast<D3DMULTISAMPLE_TYPE>(in.Byte() % 3);
                pp.SwapEffect = static_cast<D3DSWAPEFFECT>(in.Byte() % 6);
                pp.hDeviceWindow = Window();
                pp.Windowed = (in.Byte() & 7) != 7;
                pp.EnableAutoDepthStencil = in.Byte() & 1;
                pp.AutoDepthStencilFormat = in.Format();
                pp.Flags = in.Value();
                device_->Reset(&pp);
                break;
            }
            case kPresent: {
                const std::uint32_t tag = in.Byte();
                RECT source = in.Rect();
                RECT dest = in.Rect();
                device_->Present((tag & 1) != 0 ? &source : nullptr, (tag & 2) != 0 ? &dest : nullptr, nullptr,
                                 nullptr);
                break;
            }
            case kClipPlane: {
                const DWORD index = in.Value();
                const float plane[4] = {in.Float(), in.Float(), in.Float(), in.Float()};
                device_->SetClipPlane(index, plane);
                float back[4];
                device_->GetClipPlane(index, back);
                break;
            }
            case kProcessVertices: {
                const UINT start = in.Value(), dest = in.Value(), count = in.Value();
                IDirect3DVertexBuffer8* buffer = vertexBuffers_[in.Byte() % kSlots];
                device_->ProcessVertices(start, dest, count, buffer, in.Value());
                break;
            }
            case kFrontBuffer: {
                IDirect3DSurface8* s = Surface(in);
                device_->GetFrontBuffer(s);
                break;
            }
            case kResourceCalls: {
                IDirect3DBaseTexture8* t = Texture(in);
                const std::uint32_t what = in.Byte();
                const DWORD value = in.Value();
                RECT rect = in.Rect();
                if (t == nullptr) break;
                switch (what % 5) {
                    case 0: t->SetLOD(value); break;
                    case 1: t->SetPriority(value); break;
                    case 2: t->PreLoad(); break;
                    case 3:
                        if (t->GetType() == D3DRTYPE_TEXTURE)
                            static_cast<IDirect3DTexture8*>(t)->AddDirtyRect((what & 8) != 0 ? nullptr : &rect);
                        break;
                    default: device_->ResourceManagerDiscardBytes(value); break;
                }
                break;
            }
            case kPixelShader: {
                const std::uint32_t what = in.Byte();
                const std::uint32_t slot = (what >> 3) % kSlots;
                auto handle = [&] { return slot < pixelShaders_.size() ? pixelShaders_[slot] : in.Value(); };
                switch (what % 6) {
                    case 0:
                    case 1: {
                        const std::vector<DWORD> tokens = PixelTokens(in);
                        DWORD created = 0;
                        if (SUCCEEDED(device_->CreatePixelShader(tokens.data(), &created))) {
                            pixelShaders_.push_back(created);
                            device_->SetPixelShader(created);
                        }
                        break;
                    }
                    case 2: device_->SetPixelShader((what & 0x40) != 0 ? 0 : handle()); break;
                    case 3: {
                        float values[8][4];
                        for (auto& v : values)
                            for (float& f : v) f = in.Float();
                        device_->SetPixelShaderConstant(in.Value(), values, in.Byte() % 10);
                        break;
                    }
                    case 4: device_->DeletePixelShader(handle()); break;
                    default: {
                        DWORD size = in.Byte() * 4;
                        std::vector<DWORD> copy(size / 4 + 1);
                        device_->GetPixelShaderFunction(handle(), (what & 0x40) != 0 ? nullptr : copy.data(), &size);
                        break;
                    }
                }
                break;
            }
            case kOpCount: break;
        }
    }

    IDirect3DDevice8* device_;
    IDirect3DBaseTexture8* textures_[kSlots] = {};
    IDirect3DSurface8* surfaces_[kSlots] = {};
    IDirect3DVolume8* volumes_[kSlots] = {};
    IDirect3DVertexBuffer8* vertexBuffers_[kSlots] = {};
    IDirect3DIndexBuffer8* indexBuffers_[kSlots] = {};
    std::vector<DWORD> tokens_;
    std::vector<DWORD> pixelShaders_;
};

// The device every input starts from: texture limits small enough that no input allocates
// much, one rasterizer thread.
D3DDeviceProfile FuzzProfile() {
    D3DDeviceProfile profile = D3DDefaultDeviceProfile();
    profile.MaxTextureWidth = 256;
    profile.MaxTextureHeight = 256;
    profile.MaxVolumeExtent = 32;
    profile.MaxTextureAspectRatio = 64;
    profile.RasterThreads = 1;
    return profile;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    Reader in(data, size);
    static const D3DDeviceProfile profile = FuzzProfile();
    IDirect3D8* d3d = Direct3DCreate8WithProfile(D3D_SDK_VERSION, profile);
    if (d3d == nullptr || Window() == nullptr) return 0;
    const std::uint32_t setup = in.Byte();
    D3DPRESENT_PARAMETERS pp = {};
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.BackBufferFormat = (setup & 1) != 0 ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8;
    pp.BackBufferWidth = 1 + in.Byte() % 64;
    pp.BackBufferHeight = 1 + in.Byte() % 64;
    pp.EnableAutoDepthStencil = (setup & 2) != 0;
    pp.AutoDepthStencilFormat = (setup & 4) != 0 ? D3DFMT_D24S8 : D3DFMT_D16;
    pp.hDeviceWindow = Window();
    IDirect3DDevice8* device = nullptr;
    if (SUCCEEDED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, Window(), D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                    &pp, &device))) {
        {
            Session session(device);
            session.Run(in);
        }
        device->Release();
    }
    d3d->Release();
    return 0;
}

// ---- seeds -------------------------------------------------------------------------------

namespace {

class Writer {
public:
    Writer& B(std::uint32_t byte) {
        bytes.push_back(static_cast<std::uint8_t>(byte));
        return *this;
    }
    // A value through Reader::Value: one byte below 0xC0, else a 16- or 32-bit form.
    Writer& V(std::uint32_t value) {
        if (value < 0xC0) return B(value);
        if (value <= 0xFFFF) return B(0xC0).B(value & 0xFF).B(value >> 8);
        return B(0xE0).B(value).B(value >> 8).B(value >> 16).B(value >> 24);
    }
    // A float through Reader::Float: halves from -16 to 47.5 in one byte.
    Writer& F(float f) { return B(static_cast<std::uint32_t>(static_cast<int>(f * 2.0f) + 0x20)); }
    Writer& Fmt(D3DFORMAT format) {
        for (std::size_t i = 0; i < kFormatCount; ++i) {
            if (kFormats[i] == format) return B(static_cast<std::uint32_t>(i));
        }
        return B(0);
    }
    Writer& Op(::Op op) { return B(op); }
    std::vector<std::uint8_t> bytes;
};

// Vertex data for Reader::Float-filled buffers: x, y, z, rhw, colour (as a float pattern),
// u, v for D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1 (kFvfs[2], 28 bytes).
void Quad(Writer& w) {
    const float corners[4][2] = {{0, 0}, {40, 0}, {0, 40}, {40, 40}};
    for (const auto& c : corners) {
        w.F(c[0]).F(c[1]).F(0.5f).F(1.0f).F(-1.0f).F(c[0] / 40.0f).F(c[1] / 40.0f);
    }
}

void Header(Writer& w) { w.B(2).B(31).B(31); }  // depth buffer D16, 32x32

void TexturedStage(Writer& w, D3DFORMAT format, D3DPOOL pool) {
    w.Op(kCreateTexture).B(0).B(16).B(16).B(0).B(0).Fmt(format).B(pool);
    w.Op(kLockTexture).B(0).V(0).V(0).B(1).B(0).B(0).B(0).B(0).V(0).V(0).V(0).V(0).V(0).V(0).B(0).B(0x5A);
    w.Op(kUnlockTexture).B(0).V(0).V(0);
    w.Op(kSetTexture).B(0).B(0);
}

}  // namespace

std::vector<std::vector<std::uint8_t>> DeviceSeeds() {
    std::vector<std::vector<std::uint8_t>> seeds;
    {  // a textured quad drawn from user memory
        Writer w;
        Header(w);
        TexturedStage(w, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
        w.Op(kSetVertexShader).B(2);
        w.Op(kScene).B(1);
        w.Op(kClear).B(0).B(0).B(3).B(0x78).B(0x56).B(0x34).B(0x12).F(1.0f).V(0);
        w.Op(kDrawUp).B(D3DPT_TRIANGLESTRIP).V(2).V(28);
        Quad(w);
        w.Op(kScene).B(0);
        w.Op(kPresent).B(0).B(0).B(0).B(0).B(0).B(0).B(0).B(0).B(0);
        seeds.push_back(w.bytes);
    }
    {  // the same quad from a vertex buffer and an index buffer, DXT1 texture, blending on
        Writer w;
        Header(w);
        TexturedStage(w, D3DFMT_DXT1, D3DPOOL_MANAGED);
        w.Op(kCreateVertexBuffer).B(0).V(112).B(0).B(2).B(1);
        w.Op(kLockVertexBuffer).B(0).V(0).V(0).B(0);
        Quad(w);
        w.Op(kUnlockBuffer).B(0);
        w.Op(kCreateIndexBuffer).B(0).V(12).B(0).Fmt(D3DFMT_INDEX16).B(1);
        w.Op(kLockIndexBuffer).B(0).V(0).V(0).B(0);
        for (int i : {0, 0, 1, 0, 2, 0, 2, 0, 1, 0, 3, 0}) w.B(i);
        w.Op(kUnlockBuffer).B(1);
        w.Op(kSetVertexShader).B(2);
        w.Op(kSetStream).B(0).B(0).V(28);
        w.Op(kSetIndices).B(0).V(0);
        w.Op(kRenderState).B(27).V(1);  // D3DRS_ALPHABLENDENABLE
        w.Op(kStageState).B(0).B(1).B(1).V(4);  // D3DTSS_COLOROP = D3DTOP_MODULATE
        w.Op(kScene).B(1);
        w.Op(kDrawIndexed).B(D3DPT_TRIANGLELIST).V(0).V(4).V(0).V(2);
        w.Op(kDraw).B(D3DPT_TRIANGLESTRIP).V(0).V(2);
        w.Op(kScene).B(0);
        seeds.push_back(w.bytes);
    }
    {  // a cube and a volume texture, a render target texture drawn into and copied
        Writer w;
        Header(w);
        w.Op(kCreateCube).B(1).B(8).B(0).B(0).Fmt(D3DFMT_X8R8G8B8).B(D3DPOOL_MANAGED);
        w.Op(kCreateVolume).B(2).B(4).B(4).B(4).B(0).B(0).Fmt(D3DFMT_A8R8G8B8).B(D3DPOOL_MANAGED);
        w.Op(kLockTexture).B(2).V(0).V(0).B(1).B(0).B(0).B(0).B(0).V(0).V(0).V(0).V(0).V(0).V(0).B(0).B(0x33);
        w.Op(kUnlockTexture).B(2).V(0).V(0);
        w.Op(kCreateTexture).B(3).B(32).B(32).B(1).B(1).Fmt(D3DFMT_X8R8G8B8).B(D3DPOOL_DEFAULT);
        w.Op(kGetSurface).B(0).B(24).V(0);  // level 0 of texture 3
        w.Op(kGetSurface).B(1).B(2).V(0);
        w.Op(kSetRenderTarget).B(0).B(1);
        w.Op(kSetTexture).B(0).B(1);
        w.Op(kSetTexture).B(1).B(2);
        w.Op(kSetVertexShader).B(2);
        w.Op(kScene).B(1);
        w.Op(kDrawUp).B(D3DPT_TRIANGLESTRIP).V(2).V(28);
        Quad(w);
        w.Op(kScene).B(0);
        w.Op(kCreateImageSurface).B(2).B(32).B(32).Fmt(D3DFMT_X8R8G8B8);
        w.Op(kCopyRects).B(0).B(2).B(0).B(0).B(0);
        w.Op(kStateBlock).B(2).B(1);
        w.Op(kStateBlock).B(3);
        w.Op(kReset).B(16).B(16).Fmt(D3DFMT_X8R8G8B8).B(1).B(0).B(1).B(0).B(1).Fmt(D3DFMT_D16).V(0);
        seeds.push_back(w.bytes);
    }
    {  // lit, transformed geometry with fog
        Writer w;
        Header(w);
        w.Op(kSetVertexShader).B(3);
        w.Op(kLight).V(0).V(D3DLIGHT_DIRECTIONAL);
        for (int i = 0; i < 12; ++i) w.F(1.0f);
        w.F(0).F(0).F(0).F(0).F(0).F(1.0f).F(10.0f).F(1.0f).F(1.0f).F(0).F(0).F(0.5f).F(1.0f);
        w.Op(kLightEnable).V(0).B(1);
        w.Op(kRenderState).B(137).V(1);  // D3DRS_LIGHTING
        w.Op(kRenderState).B(28).V(1);   // D3DRS_FOGENABLE
        w.Op(kMaterial);
        for (int i = 0; i < 16; ++i) w.F(0.5f);
        w.F(4.0f);
        w.Op(kScene).B(1);
        w.Op(kDrawUp).B(D3DPT_TRIANGLELIST).V(1).V(32);
        for (int v = 0; v < 3; ++v) w.F(v == 1 ? 1.0f : -0.5f).F(v == 2 ? 1.0f : -0.5f).F(0.5f).F(0).F(0).F(-1.0f).F(0).F(0);
        w.Op(kScene).B(0);
        seeds.push_back(w.bytes);
    }
    {  // a V8U8 bump map moving stage 1's lookup: first a ps.1.1 texbem program, then the
       // BUMPENVMAP stage
        Writer w;
        Header(w);
        TexturedStage(w, D3DFMT_V8U8, D3DPOOL_MANAGED);
        w.Op(kCreateTexture).B(1).B(16).B(16).B(0).B(0).Fmt(D3DFMT_A8R8G8B8).B(D3DPOOL_MANAGED);
        w.Op(kSetTexture).B(1).B(1);
        w.Op(kStageState).B(1).B(11).B(1).V(0);     // stage 1 D3DTSS_TEXCOORDINDEX 0
        w.Op(kStageState).B(1).B(7).B(0).F(0.5f);   // stage 1 D3DTSS_BUMPENVMAT00
        w.Op(kStageState).B(0).B(10).B(0).F(0.5f);  // stage 0 D3DTSS_BUMPENVMAT11
        // ps.1.1: tex t0; texbem t1, t0; mov r0, t1 (opcode tags index PixelTokens' list).
        w.Op(kPixelShader).B(0).B(0).B(3);
        w.B(11).B(1).B(0x23).B(0x0F);
        w.B(12).B(2).B(0x27).B(0x0F).B(0x03).B(0);
        w.B(1).B(2).B(0x20).B(0x0F).B(0x07).B(0);
        w.Op(kSetVertexShader).B(2);
        w.Op(kScene).B(1);
        w.Op(kDrawUp).B(D3DPT_TRIANGLESTRIP).V(2).V(28);
        Quad(w);
        w.Op(kPixelShader).B(0x44);                 // SetPixelShader(0): back to the stages
        w.Op(kStageState).B(0).B(1).B(1).V(22);     // stage 0 D3DTOP_BUMPENVMAP
        w.Op(kStageState).B(1).B(1).B(1).V(4);      // stage 1 D3DTOP_MODULATE
        w.Op(kDrawUp).B(D3DPT_TRIANGLESTRIP).V(2).V(28);
        Quad(w);
        w.Op(kScene).B(0);
        w.Op(kStateBlock).B(2).B(1);
        seeds.push_back(w.bytes);
    }
    return seeds;
}
