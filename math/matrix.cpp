// Matrix operations and builders.
#include <cmath>

#include "math/components.h"
#include "math/math3d.h"

using namespace tolvane_math_detail;

namespace {

Matrix Zero() { return Matrix{}; }

Matrix Identity() {
    Matrix m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

Matrix Translation(const Vector3& t) {
    Matrix m = Identity();
    m._41 = t.x;
    m._42 = t.y;
    m._43 = t.z;
    return m;
}

void AddToRow4(Matrix& m, const Vector3& t) {
    m._41 += t.x;
    m._42 += t.y;
    m._43 += t.z;
}

// The determinant of the 3x3 matrix of rows r0, r1, r2 and columns c0, c1, c2 of m, by
// expansion along its first row.
float Minor(const Matrix& m, int r0, int r1, int r2, int c0, int c1, int c2) {
    const auto& a = m.m;
    return a[r0][c0] * (a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1]) -
           a[r0][c1] * (a[r1][c0] * a[r2][c2] - a[r1][c2] * a[r2][c0]) +
           a[r0][c2] * (a[r1][c0] * a[r2][c1] - a[r1][c1] * a[r2][c0]);
}

// The indices 0..3 without `skip`, in order.
struct Others {
    int i[3];
};

Others Without(int skip) {
    Others o{};
    int n = 0;
    for (int k = 0; k < 4; ++k)
        if (k != skip) o.i[n++] = k;
    return o;
}

float Cofactor(const Matrix& m, int row, int column) {
    const Others r = Without(row);
    const Others c = Without(column);
    const float minor = Minor(m, r.i[0], r.i[1], r.i[2], c.i[0], c.i[1], c.i[2]);
    return (row + column) % 2 == 0 ? minor : -minor;
}

// The look-at matrix from its three axes: each axis is a column, row 4 the negated
// projections of the eye.
Matrix LookAt(const Vector3& xaxis, const Vector3& yaxis, const Vector3& zaxis, const Vector3& eye) {
    Matrix m{};
    m._11 = xaxis.x; m._12 = yaxis.x; m._13 = zaxis.x;
    m._21 = xaxis.y; m._22 = yaxis.y; m._23 = zaxis.y;
    m._31 = xaxis.z; m._32 = yaxis.z; m._33 = zaxis.z;
    m._41 = -Vec3Dot(&xaxis, &eye);
    m._42 = -Vec3Dot(&yaxis, &eye);
    m._43 = -Vec3Dot(&zaxis, &eye);
    m._44 = 1.0f;
    return m;
}

// The look-at axes for a viewing direction zaxis already normalised.
Matrix LookAlong(const Vector3& zaxis, const Vector3& up, const Vector3& eye) {
    Vector3 xaxis, yaxis;
    Vec3Cross(&xaxis, &up, &zaxis);
    Vec3Normalize(&xaxis, &xaxis);
    Vec3Cross(&yaxis, &zaxis, &xaxis);
    return LookAt(xaxis, yaxis, zaxis, eye);
}

}  // namespace

bool operator==(const Matrix& p, const Matrix& q) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (p.m[i][j] != q.m[i][j]) return false;
    return true;
}

Matrix operator*(const Matrix& p, const Matrix& q) {
    Matrix r;
    MatrixMultiply(&r, &p, &q);
    return r;
}

Matrix* MatrixIdentity(Matrix* out) {
    *out = Identity();
    return out;
}

bool MatrixIsIdentity(const Matrix* m) { return *m == Identity(); }

Matrix* MatrixMultiply(Matrix* out, const Matrix* a, const Matrix* b) {
    if (out == a && out == b) {
        // Square in place: rows of out are written while later rows of b are still needed.
        const Matrix copy = *b;
        return MatrixMultiply(out, a, &copy);
    }
    if (out != b) {
        // Row by row: row i of a is read completely before row i of out is written, and no
        // later row of a is touched by it.
        for (int i = 0; i < 4; ++i) {
            const float a0 = a->m[i][0], a1 = a->m[i][1], a2 = a->m[i][2], a3 = a->m[i][3];
            for (int j = 0; j < 4; ++j)
                out->m[i][j] = a0 * b->m[0][j] + a1 * b->m[1][j] + a2 * b->m[2][j] + a3 * b->m[3][j];
        }
        return out;
    }
    // out is b but not a: column by column, each column of b read before it is written.
    for (int j = 0; j < 4; ++j) {
        const float b0 = b->m[0][j], b1 = b->m[1][j], b2 = b->m[2][j], b3 = b->m[3][j];
        for (int i = 0; i < 4; ++i)
            out->m[i][j] = a->m[i][0] * b0 + a->m[i][1] * b1 + a->m[i][2] * b2 + a->m[i][3] * b3;
    }
    return out;
}

Matrix* MatrixTranspose(Matrix* out, const Matrix* m) {
    Matrix t;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) t.m[i][j] = m->m[j][i];
    *out = t;
    return out;
}

float MatrixDeterminant(const Matrix* m) {
    float det = m->m[0][0] * Cofactor(*m, 0, 0);
    for (int j = 1; j < 4; ++j) det += m->m[0][j] * Cofactor(*m, 0, j);
    return det;
}

Matrix* MatrixInverse(Matrix* out, float* determinant, const Matrix* m) {
    Matrix cofactors;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) cofactors.m[i][j] = Cofactor(*m, i, j);
    float det = m->m[0][0] * cofactors.m[0][0];
    for (int j = 1; j < 4; ++j) det += m->m[0][j] * cofactors.m[0][j];
    if (determinant) *determinant = det;
    const float reciprocal = 1.0f / det;
    if (!std::isfinite(reciprocal)) return nullptr;
    // The adjugate is the transposed cofactor matrix.
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) out->m[i][j] = cofactors.m[j][i] * reciprocal;
    return out;
}

Matrix* MatrixScaling(Matrix* out, float sx, float sy, float sz) {
    Matrix m = Identity();
    m._11 = sx;
    m._22 = sy;
    m._33 = sz;
    *out = m;
    return out;
}

Matrix* MatrixTranslation(Matrix* out, float x, float y, float z) {
    *out = Translation(Vector3{x, y, z});
    return out;
}

Matrix* MatrixRotationX(Matrix* out, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    Matrix m = Identity();
    m._22 = c; m._23 = s;
    m._32 = -s; m._33 = c;
    *out = m;
    return out;
}

Matrix* MatrixRotationY(Matrix* out, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    Matrix m = Identity();
    m._11 = c; m._13 = -s;
    m._31 = s; m._33 = c;
    *out = m;
    return out;
}

Matrix* MatrixRotationZ(Matrix* out, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    Matrix m = Identity();
    m._11 = c; m._12 = s;
    m._21 = -s; m._22 = c;
    *out = m;
    return out;
}

Matrix* MatrixRotationAxis(Matrix* out, const Vector3* axis, float angle) {
    Vector3 n;
    Vec3Normalize(&n, axis);
    const float x = n.x, y = n.y, z = n.z;
    const float c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
    Matrix m{};
    m._11 = t * x * x + c;     m._12 = t * x * y + s * z; m._13 = t * x * z - s * y;
    m._21 = t * x * y - s * z; m._22 = t * y * y + c;     m._23 = t * y * z + s * x;
    m._31 = t * x * z + s * y; m._32 = t * y * z - s * x; m._33 = t * z * z + c;
    m._44 = 1.0f;
    *out = m;
    return out;
}

Matrix* MatrixRotationQuaternion(Matrix* out, const Quaternion* q) {
    const float x = q->x, y = q->y, z = q->z, w = q->w;
    Matrix m{};
    m._11 = 1.0f - 2.0f * y * y - 2.0f * z * z;
    m._12 = 2.0f * x * y + 2.0f * z * w;
    m._13 = 2.0f * x * z - 2.0f * y * w;
    m._21 = 2.0f * x * y - 2.0f * z * w;
    m._22 = 1.0f - 2.0f * x * x - 2.0f * z * z;
    m._23 = 2.0f * y * z + 2.0f * x * w;
    m._31 = 2.0f * x * z + 2.0f * y * w;
    m._32 = 2.0f * y * z - 2.0f * x * w;
    m._33 = 1.0f - 2.0f * x * x - 2.0f * y * y;
    m._44 = 1.0f;
    *out = m;
    return out;
}

Matrix* MatrixRotationYawPitchRoll(Matrix* out, float yaw, float pitch, float roll) {
    Quaternion q;
    QuaternionRotationYawPitchRoll(&q, yaw, pitch, roll);
    return MatrixRotationQuaternion(out, &q);
}

Matrix* MatrixAffineTransformation(Matrix* out, float scaling, const Vector3* centre,
                                   const Quaternion* rotation, const Vector3* translation) {
    Matrix m;
    MatrixScaling(&m, scaling, scaling, scaling);
    if (rotation) {
        Matrix r;
        MatrixRotationQuaternion(&r, rotation);
        if (centre) {
            const Matrix toOrigin = Translation(-*centre);
            MatrixMultiply(&m, &m, &toOrigin);
            MatrixMultiply(&m, &m, &r);
            AddToRow4(m, *centre);
        } else {
            MatrixMultiply(&m, &m, &r);
        }
    }
    if (translation) AddToRow4(m, *translation);
    *out = m;
    return out;
}

Matrix* MatrixTransformation(Matrix* out, const Vector3* scalingCentre,
                             const Quaternion* scalingRotation, const Vector3* scaling,
                             const Vector3* rotationCentre, const Quaternion* rotation,
                             const Vector3* translation) {
    Matrix m = Identity();
    if (scaling) {
        // Scale along the axes turned by the scaling rotation R: R^T x S x R, about the
        // scaling centre c when one is given: translate(-c) x ... then c added back.
        Matrix s;
        MatrixScaling(&s, scaling->x, scaling->y, scaling->z);
        if (scalingCentre) m = Translation(-*scalingCentre);
        if (scalingRotation) {
            Matrix r, rt;
            MatrixRotationQuaternion(&r, scalingRotation);
            MatrixTranspose(&rt, &r);
            MatrixMultiply(&m, &m, &rt);
            MatrixMultiply(&m, &m, &s);
            MatrixMultiply(&m, &m, &r);
        } else {
            MatrixMultiply(&m, &m, &s);
        }
        if (scalingCentre) AddToRow4(m, *scalingCentre);
    }
    if (rotation) {
        Matrix r;
        MatrixRotationQuaternion(&r, rotation);
        if (rotationCentre) {
            const Matrix toOrigin = Translation(-*rotationCentre);
            MatrixMultiply(&m, &m, &toOrigin);
            MatrixMultiply(&m, &m, &r);
            AddToRow4(m, *rotationCentre);
        } else {
            MatrixMultiply(&m, &m, &r);
        }
    }
    if (translation) AddToRow4(m, *translation);
    *out = m;
    return out;
}

Matrix* MatrixLookAtLH(Matrix* out, const Vector3* eye, const Vector3* at, const Vector3* up) {
    const Vector3 e = *eye, u = *up;
    Vector3 zaxis = *at - e;
    Vec3Normalize(&zaxis, &zaxis);
    *out = LookAlong(zaxis, u, e);
    return out;
}

Matrix* MatrixLookAtRH(Matrix* out, const Vector3* eye, const Vector3* at, const Vector3* up) {
    const Vector3 e = *eye, u = *up;
    Vector3 zaxis = e - *at;
    Vec3Normalize(&zaxis, &zaxis);
    *out = LookAlong(zaxis, u, e);
    return out;
}

Matrix* MatrixPerspectiveLH(Matrix* out, float w, float h, float zn, float zf) {
    Matrix m = Zero();
    m._11 = 2.0f * zn / w;
    m._22 = 2.0f * zn / h;
    m._33 = zf / (zf - zn);
    m._34 = 1.0f;
    m._43 = -zn * zf / (zf - zn);
    *out = m;
    return out;
}

Matrix* MatrixPerspectiveRH(Matrix* out, float w, float h, float zn, float zf) {
    Matrix m = Zero();
    m._11 = 2.0f * zn / w;
    m._22 = 2.0f * zn / h;
    m._33 = zf / (zn - zf);
    m._34 = -1.0f;
    m._43 = zn * zf / (zn - zf);
    *out = m;
    return out;
}

Matrix* MatrixPerspectiveFovLH(Matrix* out, float fovy, float aspect, float zn, float zf) {
    const float y = std::cos(fovy / 2.0f) / std::sin(fovy / 2.0f);
    Matrix m = Zero();
    m._11 = y / aspect;
    m._22 = y;
    m._33 = zf / (zf - zn);
    m._34 = 1.0f;
    m._43 = -zn * zf / (zf - zn);
    *out = m;
    return out;
}

Matrix* MatrixPerspectiveFovRH(Matrix* out, float fovy, float aspect, float zn, float zf) {
    const float y = std::cos(fovy / 2.0f) / std::sin(fovy / 2.0f);
    Matrix m = Zero();
    m._11 = y / aspect;
    m._22 = y;
    m._33 = zf / (zn - zf);
    m._34 = -1.0f;
    m._43 = zn * zf / (zn - zf);
    *out = m;
    return out;
}

Matrix* MatrixPerspectiveOffCenterLH(Matrix* out, float l, float r, float b, float t, float zn,
                                     float zf) {
    Matrix m = Zero();
    m._11 = 2.0f * zn / (r - l);
    m._22 = 2.0f * zn / (t - b);
    m._31 = -(l + r) / (r - l);
    m._32 = -(t + b) / (t - b);
    m._33 = zf / (zf - zn);
    m._34 = 1.0f;
    m._43 = -zn * zf / (zf - zn);
    *out = m;
    return out;
}

Matrix* MatrixPerspectiveOffCenterRH(Matrix* out, float l, float r, float b, float t, float zn,
                                     float zf) {
    Matrix m = Zero();
    m._11 = 2.0f * zn / (r - l);
    m._22 = 2.0f * zn / (t - b);
    m._31 = (l + r) / (r - l);
    m._32 = (t + b) / (t - b);
    m._33 = zf / (zn - zf);
    m._34 = -1.0f;
    m._43 = zn * zf / (zn - zf);
    *out = m;
    return out;
}

Matrix* MatrixOrthoLH(Matrix* out, float w, float h, float zn, float zf) {
    Matrix m = Zero();
    m._11 = 2.0f / w;
    m._22 = 2.0f / h;
    m._33 = 1.0f / (zf - zn);
    m._43 = -zn / (zf - zn);
    m._44 = 1.0f;
    *out = m;
    return out;
}

Matrix* MatrixOrthoRH(Matrix* out, float w, float h, float zn, float zf) {
    Matrix m = Zero();
    m._11 = 2.0f / w;
    m._22 = 2.0f / h;
    m._33 = 1.0f / (zn - zf);
    m._43 = zn / (zn - zf);
    m._44 = 1.0f;
    *out = m;
    return out;
}

Matrix* MatrixOrthoOffCenterLH(Matrix* out, float l, float r, float b, float t, float zn, float zf) {
    Matrix m = Zero();
    m._11 = 2.0f / (r - l);
    m._22 = 2.0f / (t - b);
    m._33 = 1.0f / (zf - zn);
    m._41 = -(l + r) / (r - l);
    m._42 = -(t + b) / (t - b);
    m._43 = -zn / (zf - zn);
    m._44 = 1.0f;
    *out = m;
    return out;
}

Matrix* MatrixOrthoOffCenterRH(Matrix* out, float l, float r, float b, float t, float zn, float zf) {
    MatrixOrthoOffCenterLH(out, l, r, b, t, zn, zf);
    out->_33 = 1.0f / (zn - zf);
    out->_43 = zn / (zn - zf);
    return out;
}

Matrix* MatrixShadow(Matrix* out, const Vector4* light, const Plane* plane) {
    Plane p;
    PlaneNormalize(&p, plane);
    const Vector4 l = *light;
    const float d = p.a * l.x + p.b * l.y + p.c * l.z + p.d * l.w;
    const float pv[4] = {p.a, p.b, p.c, p.d};
    const float lv[4] = {l.x, l.y, l.z, l.w};
    Matrix m;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) m.m[i][j] = (i == j ? d : 0.0f) - pv[i] * lv[j];
    *out = m;
    return out;
}

Matrix* MatrixReflect(Matrix* out, const Plane* plane) {
    Plane p;
    PlaneNormalize(&p, plane);
    const float n[3] = {p.a, p.b, p.c};
    Matrix m{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m.m[i][j] = (i == j ? 1.0f : 0.0f) - 2.0f * n[i] * n[j];
    m._41 = -2.0f * p.d * p.a;
    m._42 = -2.0f * p.d * p.b;
    m._43 = -2.0f * p.d * p.c;
    m._44 = 1.0f;
    *out = m;
    return out;
}
