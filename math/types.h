// The value types of the math library: plain records of 32-bit floats. Vector3, Color and
// Matrix have the layouts of the platform's D3DVECTOR, D3DCOLORVALUE and D3DMATRIX.
#pragma once

#include "math/export.h"

TOLVANE_API_BEGIN

struct Vector2 {
    float x, y;
};

struct Vector3 {
    float x, y, z;
};

struct Vector4 {
    float x, y, z, w;
};

// (x, y, z) is the vector part, w the scalar part.
struct Quaternion {
    float x, y, z, w;
};

// The plane a*x + b*y + c*z + d = 0.
struct Plane {
    float a, b, c, d;
};

// No operation clamps the channels.
struct Color {
    float r, g, b, a;
};

// 16 floats row by row; row vectors, so the translation sits in _41, _42, _43.
struct Matrix {
    union {
        struct {
            float _11, _12, _13, _14;
            float _21, _22, _23, _24;
            float _31, _32, _33, _34;
            float _41, _42, _43, _44;
        };
        float m[4][4];
    };
};

TOLVANE_API_END
