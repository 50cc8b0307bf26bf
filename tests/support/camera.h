// Camera matrices for the tests and the benchmarks, in Direct3D's left-handed, row-vector
// convention: a point p goes to p * view * projection.
#pragma once

namespace support {

struct Matrix {
    float m[4][4];
};

Matrix Identity();
// The view from eye towards at, with up as the picture's upward direction.
Matrix LookAt(const float eye[3], const float at[3], const float up[3]);
// Vertical field of view in radians, width over height, near and far planes: depth 0 at
// the near plane, 1 at the far one.
Matrix Perspective(float fovY, float aspect, float zNear, float zFar);

// The matrix as the caller's own 4x4 type (D3DMATRIX or a layer's own), element by element.
template <class Out>
Out As(const Matrix& in) {
    Out out{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out.m[r][c] = in.m[r][c];
    return out;
}

}  // namespace support
