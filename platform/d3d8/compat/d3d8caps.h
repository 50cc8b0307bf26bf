// <d3d8caps.h>: D3DCAPS8 and its flags, which this system declares with the other types.
#pragma once

#include "platform/d3d8/d3d8types.h"
