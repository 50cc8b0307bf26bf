// The texture tool's conversion of one file: a texture (or cube texture) made from the file on
// the software device, written as a DDS holding every level or as a PNG of one level.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "tools/common/device.h"
#include "platform/d3d8/scoped.h"
#include "texture/texture.h"

// The DXT encoder of --dxt-quality: the texture layer's own (Exact) or the image layer's
// least-squares encoder run on the A8R8G8B8 levels (High).
enum class DxtQuality { Exact, High };

struct ConvertOptions {
    UINT width = USE_DEFAULT, height = USE_DEFAULT, levels = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    D3DPOOL pool = D3DPOOL_MANAGED;
    DWORD filter = USE_DEFAULT, mipFilter = USE_DEFAULT;
    D3DCOLOR colorKey = 0;
    bool cube = false;
    DWORD level = 0, face = 0;
    DxtQuality dxtQuality = DxtQuality::Exact;
    D3DDeviceProfile profile;
};

// What one conversion did. On failure, result is the first failing result code and what
// says which step failed; a failure to write the output (result E_FAIL) carries the
// system's message in what.
struct ConvertOutcome {
    HRESULT result = S_OK;
    std::string what;
    bool created = false;  // the texture was made: width ... format hold its summary
    UINT width = 0, height = 0, levels = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    bool widened = false;  // the DDS holds A8R8G8B8 levels in place of the texture's format
    bool writeFailed = false;  // the output could not be written; what holds the reason
    std::uint64_t bytesIn = 0, bytesOut = 0;
};

bool EndsWith(const std::string& s, const char* suffix);

// Converts input to output (ending in .dds or .png). The output is written under a temporary
// name in the same folder and renamed when complete, so a failed conversion leaves no file.
// onCreated, when given, runs once the texture exists and before anything is written.
ConvertOutcome ConvertFile(IDirect3DDevice8* device, const ConvertOptions& options, const std::string& input,
                           const std::string& output,
                           const std::function<void(const ConvertOutcome&)>& onCreated = {});

// The one-line JSON summary of a created texture: {"width":W,"height":H,"levels":N,"format":"..."}.
std::string TextureSummaryJson(const ConvertOutcome& outcome);
