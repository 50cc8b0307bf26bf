// Plane and colour operations.
#include <cmath>

#include "math/components.h"
#include "math/math3d.h"

using namespace tolvane_math_detail;

// ---- Plane

float PlaneDot(const Plane* p, const Vector4* v) {
    return p->a * v->x + p->b * v->y + p->c * v->z + p->d * v->w;
}

float PlaneDotCoord(const Plane* p, const Vector3* point) {
    return p->a * point->x + p->b * point->y + p->c * point->z + p->d;
}

float PlaneDotNormal(const Plane* p, const Vector3* direction) {
    return p->a * direction->x + p->b * direction->y + p->c * direction->z;
}

Plane* PlaneNormalize(Plane* out, const Plane* p) {
    *out = Normalized(*p, 3);
    return out;
}

Plane* PlaneFromPointNormal(Plane* out, const Vector3* point, const Vector3* normal) {
    const Vector3 n = *normal;
    *out = Plane{n.x, n.y, n.z, -Vec3Dot(point, &n)};
    return out;
}

Plane* PlaneFromPoints(Plane* out, const Vector3* p1, const Vector3* p2, const Vector3* p3) {
    const Vector3 origin = *p1;
    const Vector3 e1 = *p2 - origin;
    const Vector3 e2 = *p3 - origin;
    Vector3 n;
    Vec3Cross(&n, &e1, &e2);
    Vec3Normalize(&n, &n);
    *out = Plane{n.x, n.y, n.z, -Vec3Dot(&n, &origin)};
    return out;
}

Vector3* PlaneIntersectLine(Vector3* out, const Plane* p, const Vector3* p1, const Vector3* p2) {
    const Vector3 n{p->a, p->b, p->c};
    const float d1 = Vec3Dot(&n, p1);
    const float den = d1 - Vec3Dot(&n, p2);
    if (den == 0.0f) return nullptr;
    const float t = (d1 + p->d) / den;
    if (!std::isfinite(t)) return nullptr;
    return Vec3Lerp(out, p1, p2, t);
}

Plane* PlaneTransform(Plane* out, const Plane* p, const Matrix* m) {
    Plane n;
    PlaneNormalize(&n, p);
    // A point of the plane and its normal, each carried through m.
    Vector3 point{-n.d * n.a, -n.d * n.b, -n.d * n.c};
    Vector3 normal{n.a, n.b, n.c};
    Vec3TransformCoord(&point, &point, m);
    Vec3TransformNormal(&normal, &normal, m);
    Vec3Normalize(&normal, &normal);
    *out = Plane{normal.x, normal.y, normal.z, -Vec3Dot(&point, &normal)};
    return out;
}

// ---- Color

Color* ColorNegative(Color* out, const Color* c) {
    *out = Color{1.0f - c->r, 1.0f - c->g, 1.0f - c->b, c->a};
    return out;
}

Color* ColorAdd(Color* out, const Color* c1, const Color* c2) { *out = *c1 + *c2; return out; }
Color* ColorSubtract(Color* out, const Color* c1, const Color* c2) { *out = *c1 - *c2; return out; }
Color* ColorScale(Color* out, const Color* c, float s) { *out = *c * s; return out; }

Color* ColorModulate(Color* out, const Color* c1, const Color* c2) {
    *out = Combine(*c1, *c2, [](float x, float y) { return x * y; });
    return out;
}

Color* ColorLerp(Color* out, const Color* c1, const Color* c2, float s) {
    *out = Lerped(*c1, *c2, s);
    return out;
}

Color* ColorAdjustSaturation(Color* out, const Color* c, float s) {
    const Color v = *c;
    // Luminance weights of the ITU-R BT.709 primaries.
    const float grey = 0.2125f * v.r + 0.7154f * v.g + 0.0721f * v.b;
    *out = Color{grey + s * (v.r - grey), grey + s * (v.g - grey), grey + s * (v.b - grey), v.a};
    return out;
}

Color* ColorAdjustContrast(Color* out, const Color* c, float k) {
    const Color v = *c;
    *out = Color{0.5f + k * (v.r - 0.5f), 0.5f + k * (v.g - 0.5f), 0.5f + k * (v.b - 0.5f), v.a};
    return out;
}
