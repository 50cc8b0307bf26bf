// <d3d8types.h>: Direct3D 8's types and constants.
#pragma once

#include "platform/d3d8/d3d8types.h"
