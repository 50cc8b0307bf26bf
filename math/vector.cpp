// Vector2, Vector3 and Vector4 operations.
#include <cmath>

#include "math/components.h"
#include "math/math3d.h"

using namespace tolvane_math_detail;

namespace {

// w within the unit tolerance of 1 means the point needs no divide.
inline bool NeedsDivide(float w) { return !(std::fabs(w - 1.0f) <= kUnitTolerance); }

}  // namespace

// ---- Vector2

float Vec2LengthSq(const Vector2* v) { return DotOf(*v, *v); }
float Vec2Length(const Vector2* v) { return std::sqrt(Vec2LengthSq(v)); }
float Vec2Dot(const Vector2* u, const Vector2* v) { return DotOf(*u, *v); }
float Vec2CCW(const Vector2* u, const Vector2* v) { return u->x * v->y - u->y * v->x; }

Vector2* Vec2Add(Vector2* out, const Vector2* u, const Vector2* v) { *out = *u + *v; return out; }
Vector2* Vec2Subtract(Vector2* out, const Vector2* u, const Vector2* v) { *out = *u - *v; return out; }
Vector2* Vec2Minimize(Vector2* out, const Vector2* u, const Vector2* v) { *out = Minimum(*u, *v); return out; }
Vector2* Vec2Maximize(Vector2* out, const Vector2* u, const Vector2* v) { *out = Maximum(*u, *v); return out; }
Vector2* Vec2Scale(Vector2* out, const Vector2* v, float s) { *out = *v * s; return out; }
Vector2* Vec2Lerp(Vector2* out, const Vector2* a, const Vector2* b, float s) { *out = Lerped(*a, *b, s); return out; }
Vector2* Vec2Normalize(Vector2* out, const Vector2* v) { *out = Normalized(*v); return out; }

Vector2* Vec2Hermite(Vector2* out, const Vector2* p1, const Vector2* t1, const Vector2* p2,
                     const Vector2* t2, float s) {
    *out = Hermite(*p1, *t1, *p2, *t2, s);
    return out;
}

Vector2* Vec2CatmullRom(Vector2* out, const Vector2* p0, const Vector2* p1, const Vector2* p2,
                        const Vector2* p3, float s) {
    *out = CatmullRom(*p0, *p1, *p2, *p3, s);
    return out;
}

Vector2* Vec2BaryCentric(Vector2* out, const Vector2* p1, const Vector2* p2, const Vector2* p3,
                         float f, float g) {
    *out = BaryCentric(*p1, *p2, *p3, f, g);
    return out;
}

Vector4* Vec2Transform(Vector4* out, const Vector2* v, const Matrix* m) {
    const float x = v->x, y = v->y;
    *out = Vector4{x * m->_11 + y * m->_21 + m->_41, x * m->_12 + y * m->_22 + m->_42,
                   x * m->_13 + y * m->_23 + m->_43, x * m->_14 + y * m->_24 + m->_44};
    return out;
}

Vector2* Vec2TransformCoord(Vector2* out, const Vector2* v, const Matrix* m) {
    Vector4 t;
    Vec2Transform(&t, v, m);
    Vector2 r{t.x, t.y};
    if (NeedsDivide(t.w)) r *= 1.0f / t.w;
    *out = r;
    return out;
}

Vector2* Vec2TransformNormal(Vector2* out, const Vector2* v, const Matrix* m) {
    const float x = v->x, y = v->y;
    *out = Vector2{x * m->_11 + y * m->_21, x * m->_12 + y * m->_22};
    return out;
}

// ---- Vector3

float Vec3LengthSq(const Vector3* v) { return DotOf(*v, *v); }
float Vec3Length(const Vector3* v) { return std::sqrt(Vec3LengthSq(v)); }
float Vec3Dot(const Vector3* u, const Vector3* v) { return DotOf(*u, *v); }

Vector3* Vec3Cross(Vector3* out, const Vector3* u, const Vector3* v) {
    *out = Vector3{u->y * v->z - u->z * v->y, u->z * v->x - u->x * v->z, u->x * v->y - u->y * v->x};
    return out;
}

Vector3* Vec3Add(Vector3* out, const Vector3* u, const Vector3* v) { *out = *u + *v; return out; }
Vector3* Vec3Subtract(Vector3* out, const Vector3* u, const Vector3* v) { *out = *u - *v; return out; }
Vector3* Vec3Minimize(Vector3* out, const Vector3* u, const Vector3* v) { *out = Minimum(*u, *v); return out; }
Vector3* Vec3Maximize(Vector3* out, const Vector3* u, const Vector3* v) { *out = Maximum(*u, *v); return out; }
Vector3* Vec3Scale(Vector3* out, const Vector3* v, float s) { *out = *v * s; return out; }
Vector3* Vec3Lerp(Vector3* out, const Vector3* a, const Vector3* b, float s) { *out = Lerped(*a, *b, s); return out; }
Vector3* Vec3Normalize(Vector3* out, const Vector3* v) { *out = Normalized(*v); return out; }

Vector3* Vec3Hermite(Vector3* out, const Vector3* p1, const Vector3* t1, const Vector3* p2,
                     const Vector3* t2, float s) {
    *out = Hermite(*p1, *t1, *p2, *t2, s);
    return out;
}

Vector3* Vec3CatmullRom(Vector3* out, const Vector3* p0, const Vector3* p1, const Vector3* p2,
                        const Vector3* p3, float s) {
    *out = CatmullRom(*p0, *p1, *p2, *p3, s);
    return out;
}

Vector3* Vec3BaryCentric(Vector3* out, const Vector3* p1, const Vector3* p2, const Vector3* p3,
                         float f, float g) {
    *out = BaryCentric(*p1, *p2, *p3, f, g);
    return out;
}

Vector4* Vec3Transform(Vector4* out, const Vector3* v, const Matrix* m) {
    const float x = v->x, y = v->y, z = v->z;
    *out = Vector4{x * m->_11 + y * m->_21 + z * m->_31 + m->_41,
                   x * m->_12 + y * m->_22 + z * m->_32 + m->_42,
                   x * m->_13 + y * m->_23 + z * m->_33 + m->_43,
                   x * m->_14 + y * m->_24 + z * m->_34 + m->_44};
    return out;
}

Vector3* Vec3TransformCoord(Vector3* out, const Vector3* v, const Matrix* m) {
    Vector4 t;
    Vec3Transform(&t, v, m);
    Vector3 r{t.x, t.y, t.z};
    if (NeedsDivide(t.w)) r *= 1.0f / t.w;
    *out = r;
    return out;
}

Vector3* Vec3TransformNormal(Vector3* out, const Vector3* v, const Matrix* m) {
    const float x = v->x, y = v->y, z = v->z;
    *out = Vector3{x * m->_11 + y * m->_21 + z * m->_31, x * m->_12 + y * m->_22 + z * m->_32,
                   x * m->_13 + y * m->_23 + z * m->_33};
    return out;
}

namespace {

// world x view x projection, leaving out the null ones; identity when all are null.
Matrix CombinedTransform(const Matrix* projection, const Matrix* view, const Matrix* world) {
    Matrix m;
    MatrixIdentity(&m);
    if (world) m = *world;
    if (view) MatrixMultiply(&m, &m, view);
    if (projection) MatrixMultiply(&m, &m, projection);
    return m;
}

}  // namespace

Vector3* Vec3Project(Vector3* out, const Vector3* v, const Viewport* viewport,
                     const Matrix* projection, const Matrix* view, const Matrix* world) {
    const Matrix m = CombinedTransform(projection, view, world);
    Vector3 p;
    Vec3TransformCoord(&p, v, &m);
    if (viewport) {
        p.x = (p.x + 1.0f) * static_cast<float>(viewport->Width) * 0.5f + static_cast<float>(viewport->X);
        p.y = (1.0f - p.y) * static_cast<float>(viewport->Height) * 0.5f + static_cast<float>(viewport->Y);
        p.z = viewport->MinZ + p.z * (viewport->MaxZ - viewport->MinZ);
    }
    *out = p;
    return out;
}

Vector3* Vec3Unproject(Vector3* out, const Vector3* v, const Viewport* viewport,
                       const Matrix* projection, const Matrix* view, const Matrix* world) {
    Matrix m = CombinedTransform(projection, view, world);
    // A singular chain has no inverse: report it rather than transform by garbage.
    if (!MatrixInverse(&m, nullptr, &m)) return nullptr;
    Vector3 p = *v;
    if (viewport) {
        p.x = 2.0f * (v->x - static_cast<float>(viewport->X)) / static_cast<float>(viewport->Width) - 1.0f;
        p.y = -(2.0f * (v->y - static_cast<float>(viewport->Y)) / static_cast<float>(viewport->Height) - 1.0f);
        p.z = (v->z - viewport->MinZ) / (viewport->MaxZ - viewport->MinZ);
    }
    Vec3TransformCoord(out, &p, &m);
    return out;
}

// ---- Vector4

float Vec4LengthSq(const Vector4* v) { return DotOf(*v, *v); }
float Vec4Length(const Vector4* v) { return std::sqrt(Vec4LengthSq(v)); }
float Vec4Dot(const Vector4* u, const Vector4* v) { return DotOf(*u, *v); }

Vector4* Vec4Add(Vector4* out, const Vector4* u, const Vector4* v) { *out = *u + *v; return out; }
Vector4* Vec4Subtract(Vector4* out, const Vector4* u, const Vector4* v) { *out = *u - *v; return out; }
Vector4* Vec4Minimize(Vector4* out, const Vector4* u, const Vector4* v) { *out = Minimum(*u, *v); return out; }
Vector4* Vec4Maximize(Vector4* out, const Vector4* u, const Vector4* v) { *out = Maximum(*u, *v); return out; }
Vector4* Vec4Scale(Vector4* out, const Vector4* v, float s) { *out = *v * s; return out; }
Vector4* Vec4Lerp(Vector4* out, const Vector4* a, const Vector4* b, float s) { *out = Lerped(*a, *b, s); return out; }
Vector4* Vec4Normalize(Vector4* out, const Vector4* v) { *out = Normalized(*v); return out; }

Vector4* Vec4Cross(Vector4* out, const Vector4* u, const Vector4* v, const Vector4* w) {
    // 2x2 minors of the rows v, w, named by their two columns.
    const float xy = v->x * w->y - v->y * w->x;
    const float xz = v->x * w->z - v->z * w->x;
    const float xw = v->x * w->w - v->w * w->x;
    const float yz = v->y * w->z - v->z * w->y;
    const float yw = v->y * w->w - v->w * w->y;
    const float zw = v->z * w->w - v->w * w->z;
    *out = Vector4{u->y * zw - u->z * yw + u->w * yz, -(u->x * zw - u->z * xw + u->w * xz),
                   u->x * yw - u->y * xw + u->w * xy, -(u->x * yz - u->y * xz + u->z * xy)};
    return out;
}

Vector4* Vec4Hermite(Vector4* out, const Vector4* p1, const Vector4* t1, const Vector4* p2,
                     const Vector4* t2, float s) {
    *out = Hermite(*p1, *t1, *p2, *t2, s);
    return out;
}

Vector4* Vec4CatmullRom(Vector4* out, const Vector4* p0, const Vector4* p1, const Vector4* p2,
                        const Vector4* p3, float s) {
    *out = CatmullRom(*p0, *p1, *p2, *p3, s);
    return out;
}

Vector4* Vec4BaryCentric(Vector4* out, const Vector4* p1, const Vector4* p2, const Vector4* p3,
                         float f, float g) {
    *out = BaryCentric(*p1, *p2, *p3, f, g);
    return out;
}

Vector4* Vec4Transform(Vector4* out, const Vector4* v, const Matrix* m) {
    const float x = v->x, y = v->y, z = v->z, w = v->w;
    *out = Vector4{x * m->_11 + y * m->_21 + z * m->_31 + w * m->_41,
                   x * m->_12 + y * m->_22 + z * m->_32 + w * m->_42,
                   x * m->_13 + y * m->_23 + z * m->_33 + w * m->_43,
                   x * m->_14 + y * m->_24 + z * m->_34 + w * m->_44};
    return out;
}
