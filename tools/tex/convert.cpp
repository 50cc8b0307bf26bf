#include "convert.h"

#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <type_traits>

#include "image/convert.h"
#include "image/dxt.h"
#include "image/format_facts.h"
#include "tools/common/names.h"
#include "writers.h"

namespace {

ConvertOutcome Failed(ConvertOutcome outcome, HRESULT hr, const std::string& what) {
    outcome.result = hr;
    outcome.what = what;
    return outcome;
}

ConvertOutcome WriteFailed(ConvertOutcome outcome, const std::string& error) {
    outcome.writeFailed = true;
    outcome.bytesOut = 0;
    return Failed(std::move(outcome), E_FAIL, error);
}

// Reads one level of the texture: its tightly packed bytes in the texture's format, or
// (toRgba) as 8-bit RGBA, or (asA8R8G8B8) as A8R8G8B8.
HRESULT ReadLevel(IDirect3DSurface8* surface, const PALETTEENTRY* palette, bool asA8R8G8B8, bool toRgba,
                  std::vector<std::uint8_t>* bytes) {
    D3DSURFACE_DESC desc = {};
    HRESULT hr = surface->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    SurfaceLock lock(surface);
    hr = lock.Lock(nullptr, D3DLOCK_READONLY);
    if (FAILED(hr)) return hr;
    void* bits = lock.Bits().pBits;
    const UINT pitch = static_cast<UINT>(lock.Bits().Pitch);
    if (toRgba) return ToRgba(bits, desc.Format, pitch, desc.Width, desc.Height, palette, bytes);
    if (asA8R8G8B8) {
        hr = ToRgba(bits, desc.Format, pitch, desc.Width, desc.Height, palette, bytes);
        if (FAILED(hr)) return hr;
        for (std::size_t i = 0; i < bytes->size(); i += 4) std::swap((*bytes)[i], (*bytes)[i + 2]);
        return S_OK;
    }
    UINT rowBytes = 0, rows = 0;
    DdsLevelLayout(desc.Format, desc.Width, desc.Height, &rowBytes, &rows);
    bytes->resize(static_cast<std::size_t>(rowBytes) * rows);
    for (UINT y = 0; y < rows; ++y) {
        std::memcpy(bytes->data() + static_cast<std::size_t>(y) * rowBytes,
                    static_cast<const std::uint8_t*>(bits) + static_cast<std::size_t>(y) * pitch, rowBytes);
    }
    return S_OK;
}

// The application cannot lock a default-pool texture: its levels are copied into a
// system-memory texture of the same shape (CopyRects reads them), which is read instead.
template <class T>
HRESULT CopyToSystemMemory(IDirect3DDevice8* device, T* texture, UINT faces, ComRef<T>* copy) {
    D3DSURFACE_DESC desc = {};
    HRESULT hr = texture->GetLevelDesc(0, &desc);
    if (FAILED(hr)) return hr;
    const UINT levels = texture->GetLevelCount();
    if constexpr (std::is_same_v<T, IDirect3DCubeTexture8>)
        hr = device->CreateCubeTexture(desc.Width, levels, 0, desc.Format, D3DPOOL_SYSTEMMEM, copy->Out());
    else
        hr = device->CreateTexture(desc.Width, desc.Height, levels, 0, desc.Format, D3DPOOL_SYSTEMMEM, copy->Out());
    if (FAILED(hr)) return hr;
    for (UINT face = 0; face < faces; ++face) {
        for (UINT level = 0; level < levels; ++level) {
            ComRef<IDirect3DSurface8> from, to;
            if constexpr (std::is_same_v<T, IDirect3DCubeTexture8>) {
                const auto f = static_cast<D3DCUBEMAP_FACES>(face);
                hr = texture->GetCubeMapSurface(f, level, from.Out());
                if (SUCCEEDED(hr)) hr = (*copy)->GetCubeMapSurface(f, level, to.Out());
            } else {
                hr = texture->GetSurfaceLevel(level, from.Out());
                if (SUCCEEDED(hr)) hr = (*copy)->GetSurfaceLevel(level, to.Out());
            }
            if (SUCCEEDED(hr)) hr = device->CopyRects(from.Get(), nullptr, 0, to.Get(), nullptr);
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

// Encodes a width x height level of A8R8G8B8 pixels (tightly packed, as bytes blue, green,
// red, alpha) with the high-quality encoder. Blocks that reach past the level repeat its
// pixels as the texture layer's codec does: a level of 1 or 2 pixels repeats them, a larger
// one repeats its last row and column.
std::vector<std::uint8_t> EncodeLevelHigh(D3DFORMAT format, const std::vector<std::uint8_t>& argb, UINT width,
                                          UINT height) {
    const UINT bw = (width + 3) / 4, bh = (height + 3) / 4;
    const bool premultiplied = format == D3DFMT_DXT2 || format == D3DFMT_DXT4;
    std::vector<std::uint32_t> blocks(static_cast<std::size_t>(bw) * bh * 16);
    auto coordinate = [](UINT i, UINT size) { return size <= 2 ? (i & (size - 1)) : std::min(i, size - 1); };
    for (UINT by = 0; by < bh; ++by) {
        for (UINT bx = 0; bx < bw; ++bx) {
            std::uint32_t* block = &blocks[(static_cast<std::size_t>(by) * bw + bx) * 16];
            for (UINT i = 0; i < 16; ++i) {
                const UINT x = coordinate(bx * 4 + i % 4, width), y = coordinate(by * 4 + i / 4, height);
                std::uint32_t p;
                std::memcpy(&p, &argb[(static_cast<std::size_t>(y) * width + x) * 4], 4);
                if (premultiplied) {
                    const std::uint32_t a = p >> 24;
                    std::uint32_t q = p & 0xFF000000u;
                    for (int c = 0; c < 3; ++c) q |= ((((p >> (8 * c)) & 0xFF) * a + 127) / 255) << (8 * c);
                    p = q;
                }
                block[i] = p;
            }
        }
    }
    const DxtBlockKind kind = format == D3DFMT_DXT1                                 ? DxtBlockKind::Dxt1
                              : format == D3DFMT_DXT2 || format == D3DFMT_DXT3 ? DxtBlockKind::ExplicitAlpha
                                                                                : DxtBlockKind::InterpolatedAlpha;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(bw) * bh * (kind == DxtBlockKind::Dxt1 ? 8 : 16));
    EncodeDxtBlocksHigh(kind, blocks.data(), static_cast<std::size_t>(bw) * bh, out.data());
    return out;
}

// A name beside path that no other conversion in this process or another uses.
std::string TemporaryName(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1));
}

// Moves a completed temporary file to its final name, or removes it.
bool Commit(const std::string& temporary, const std::string& path, bool ok, std::uint64_t* bytes,
            std::string* error) {
    std::error_code ec;
    if (ok) {
        *bytes = std::filesystem::file_size(temporary, ec);
        std::filesystem::rename(temporary, path, ec);
        if (!ec) return true;
        *error = "cannot write " + path + ": " + ec.message();
    }
    std::filesystem::remove(temporary, ec);
    return false;
}

}  // namespace

bool EndsWith(const std::string& s, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
    }
    return true;
}

std::string TextureSummaryJson(const ConvertOutcome& o) {
    return "{\"width\":" + std::to_string(o.width) + ",\"height\":" + std::to_string(o.height) +
           ",\"levels\":" + std::to_string(o.levels) + ",\"format\":\"" + FormatName(o.format) + "\"}";
}

ConvertOutcome ConvertFile(IDirect3DDevice8* device, const ConvertOptions& o, const std::string& input,
                           const std::string& output,
                           const std::function<void(const ConvertOutcome&)>& onCreated) {
    ConvertOutcome outcome;
    std::error_code ec;
    outcome.bytesIn = std::filesystem::file_size(input, ec);
    if (ec) outcome.bytesIn = 0;

    // A palette is asked for only when a palettised format is wanted, so that the texture
    // keeps it rather than being widened.
    const bool palettised = o.format == D3DFMT_P8 || o.format == D3DFMT_A8P8;
    PALETTEENTRY palette[256] = {};
    ComRef<IDirect3DTexture8> texture;
    ComRef<IDirect3DCubeTexture8> cube;
    auto create = [&](D3DFORMAT format, UINT width, UINT height, UINT levels, IDirect3DTexture8** flat,
                      IDirect3DCubeTexture8** cubic) {
        if (o.cube) {
            const UINT size = width != USE_DEFAULT ? width : height;
            return CreateCubeTextureFromFileEx(device, input.c_str(), size, levels, 0, format, o.pool, o.filter,
                                               o.mipFilter, o.colorKey, nullptr, palettised ? palette : nullptr,
                                               cubic);
        }
        return CreateTextureFromFileEx(device, input.c_str(), width, height, levels, 0, format, o.pool, o.filter,
                                       o.mipFilter, o.colorKey, nullptr, palettised ? palette : nullptr, flat);
    };
    HRESULT hr = create(o.format, o.width, o.height, o.levels, texture.Out(), cube.Out());
    if (FAILED(hr)) return Failed(outcome, hr, "cannot create the texture");

    IDirect3DBaseTexture8* base = o.cube ? static_cast<IDirect3DBaseTexture8*>(cube.Get()) : texture.Get();
    D3DSURFACE_DESC desc = {};
    hr = o.cube ? cube->GetLevelDesc(0, &desc) : texture->GetLevelDesc(0, &desc);
    if (FAILED(hr)) return Failed(outcome, hr, "cannot describe the texture");
    const UINT levels = base->GetLevelCount();
    outcome.created = true;
    outcome.width = desc.Width;
    outcome.height = desc.Height;
    outcome.levels = levels;
    outcome.format = desc.Format;

    const bool png = EndsWith(output, ".png");
    // The high-quality encoder starts from an A8R8G8B8 texture of the same size and levels.
    const bool high = !png && o.dxtQuality == DxtQuality::High && tolvane::pixels::IsDxt(desc.Format);
    if (high) {
        texture.Reset();
        cube.Reset();
        hr = create(D3DFMT_A8R8G8B8, desc.Width, desc.Height, levels, texture.Out(), cube.Out());
        if (FAILED(hr)) return Failed(outcome, hr, "cannot create the A8R8G8B8 texture for the DXT encoder");
        D3DSURFACE_DESC wide = {};
        hr = o.cube ? cube->GetLevelDesc(0, &wide) : texture->GetLevelDesc(0, &wide);
        if (SUCCEEDED(hr) && wide.Format != D3DFMT_A8R8G8B8) hr = D3DERR_NOTAVAILABLE;
        if (FAILED(hr)) return Failed(outcome, hr, "the device offers no A8R8G8B8 texture for the DXT encoder");
    }
    outcome.widened = !png && !HasDdsForm(desc.Format);
    if (onCreated) onCreated(outcome);
    if (o.pool == D3DPOOL_DEFAULT) {
        if (o.cube) {
            ComRef<IDirect3DCubeTexture8> copy;
            hr = CopyToSystemMemory(device, cube.Get(), 6, &copy);
            cube = std::move(copy);
        } else {
            ComRef<IDirect3DTexture8> copy;
            hr = CopyToSystemMemory(device, texture.Get(), 1, &copy);
            texture = std::move(copy);
        }
        if (FAILED(hr)) return Failed(outcome, hr, "cannot copy the texture to system memory");
    }

    auto surfaceOf = [&](UINT face, UINT level, IDirect3DSurface8** out) {
        return o.cube ? cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level, out)
                      : texture->GetSurfaceLevel(level, out);
    };
    const PALETTEENTRY* pal = palettised ? palette : nullptr;
    const std::string temporary = TemporaryName(output);
    std::string error;
    if (png) {
        if (o.level >= levels) return Failed(outcome, D3DERR_INVALIDCALL, "the texture has no such level");
        ComRef<IDirect3DSurface8> surface;
        hr = surfaceOf(o.face, o.level, surface.Out());
        if (FAILED(hr)) return Failed(outcome, hr, "cannot get the level");
        std::vector<std::uint8_t> rgba;
        hr = ReadLevel(surface.Get(), pal, false, true, &rgba);
        if (FAILED(hr)) return Failed(outcome, hr, "cannot read the level");
        D3DSURFACE_DESC ld = {};
        surface->GetDesc(&ld);
        const bool ok = WritePngRgba(temporary, rgba, ld.Width, ld.Height, &error);
        if (!Commit(temporary, output, ok, &outcome.bytesOut, &error)) return WriteFailed(outcome, error);
        return outcome;
    }

    const UINT faces = o.cube ? 6 : 1;
    std::vector<std::vector<std::uint8_t>> data;
    for (UINT face = 0; face < faces; ++face) {
        for (UINT level = 0; level < levels; ++level) {
            ComRef<IDirect3DSurface8> surface;
            hr = surfaceOf(face, level, surface.Out());
            if (FAILED(hr)) return Failed(outcome, hr, "cannot get a level");
            data.emplace_back();
            hr = ReadLevel(surface.Get(), pal, outcome.widened, false, &data.back());
            if (FAILED(hr)) return Failed(outcome, hr, "cannot read a level");
            if (high) {
                D3DSURFACE_DESC ld = {};
                surface->GetDesc(&ld);
                data.back() = EncodeLevelHigh(desc.Format, data.back(), ld.Width, ld.Height);
            }
        }
    }
    const bool ok = WriteDds(temporary, outcome.widened ? D3DFMT_A8R8G8B8 : desc.Format, desc.Width, desc.Height,
                             levels, faces, data, &error);
    if (!Commit(temporary, output, ok, &outcome.bytesOut, &error)) return WriteFailed(outcome, error);
    return outcome;
}
