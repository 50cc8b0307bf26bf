// Shader assembly: vs.1.1 and ps.1.1-1.4 text into token streams and back. Our own
// extension beside the device (the platform left this to its utility library). The
// assembler's output passes the validator, whose message it reports with the line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8types.h"
#include "platform/d3d8/export.h"

TOLVANE_API_BEGIN

// Assembles length characters of text (version line first; one instruction per line; ';'
// and '//' start comments). D3D_OK with the tokens, or D3DERR_INVALIDCALL with errors
// naming the line and the problem ("line 3: unknown instruction 'madd'"). Either output
// may be null.
HRESULT TolvaneAssembleShader(const char* text, std::size_t length, std::vector<DWORD>* tokens, std::string* errors);

// Writes a valid program of at most length DWORDs as assembly that assembles to the same
// tokens (comments are left out). D3DERR_INVALIDCALL with the validator's message for an
// invalid program.
HRESULT TolvaneDisassembleShader(const DWORD* tokens, std::size_t length, std::string* text, std::string* errors);

TOLVANE_API_END
