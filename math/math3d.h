// The math library: operators on the value types and free functions on them.
//
// Conventions every function follows:
// - Row vectors: a point is the row (x, y, z, 1) times the matrix, the translation sits in
//   _41, _42, _43, and A x B applies A first. World x view x projection is the chain.
// - Angles in radians; projections map view depth to 0 (near) .. 1 (far).
// - The first argument points at the result; the function writes it and returns it. The
//   result may be the same object as any input (each function reads what it needs first,
//   or works through a temporary). Inputs are pointers; only those documented as optional
//   may be null.
// - MatrixInverse, PlaneIntersectLine and Vec3Unproject return null when they fail and then
//   leave the result untouched; nothing else reports errors.
// - Arithmetic is single precision, evaluated in the order the formulas are written.
#pragma once

#include <bit>
#include <cstdint>

#include "math/types.h"
#include "math/export.h"

TOLVANE_API_BEGIN

// The two tolerances, compared inclusively, defined by their float bits. kUnitTolerance
// (0x3727C5AC, the float nearest 1e-5): a squared length within it of 1 is already unit, a w
// within it of 1 needs no divide, a sine within it of 0 counts as zero. kZeroLengthSq
// (0x2EDBE6FE, 9.99999943e-11): a squared length at or below it counts as zero. This is one
// ulp below the float nearest 1e-10 (0x2EDBE6FF), so it cannot be written as the literal.
inline constexpr float kUnitTolerance = std::bit_cast<float>(0x3727C5ACu);
inline constexpr float kZeroLengthSq = std::bit_cast<float>(0x2EDBE6FEu);
static_assert(kUnitTolerance == 1e-5f);
static_assert(kZeroLengthSq < 1e-10f);

// A viewport record with the layout of the platform's D3DVIEWPORT8 (X, Y, Width, Height as
// 32-bit unsigned integers, then MinZ, MaxZ), so a platform viewport can be handed over by
// reinterpreting its address. The math layer includes no platform header, hence this twin.
struct Viewport {
    std::uint32_t X, Y, Width, Height;
    float MinZ, MaxZ;
};
static_assert(sizeof(Viewport) == 24);

// ---- Componentwise operators. Division by s multiplies by the one reciprocal 1/s; a zero
// s gives IEEE infinities, as intended.

#define TOLVANE_MATH_COMPONENTWISE_OPS(T, A, B, C, D)                                        \
    inline T operator+(const T& p, const T& q) { return T{p.A + q.A, p.B + q.B, p.C + q.C, p.D + q.D}; } \
    inline T operator-(const T& p, const T& q) { return T{p.A - q.A, p.B - q.B, p.C - q.C, p.D - q.D}; } \
    inline T operator-(const T& p) { return T{-p.A, -p.B, -p.C, -p.D}; }                 \
    inline T operator*(const T& p, float s) { return T{p.A * s, p.B * s, p.C * s, p.D * s}; } \
    inline T operator*(float s, const T& p) { return p * s; }                            \
    inline T operator/(const T& p, float s) { return p * (1.0f / s); }                    \
    inline T& operator+=(T& p, const T& q) { return p = p + q; }                          \
    inline T& operator-=(T& p, const T& q) { return p = p - q; }                          \
    inline T& operator*=(T& p, float s) { return p = p * s; }                             \
    inline T& operator/=(T& p, float s) { return p = p / s; }                             \
    inline bool operator==(const T& p, const T& q) { return p.A == q.A && p.B == q.B && p.C == q.C && p.D == q.D; } \
    inline bool operator!=(const T& p, const T& q) { return !(p == q); }

TOLVANE_MATH_COMPONENTWISE_OPS(Vector4, x, y, z, w)
TOLVANE_MATH_COMPONENTWISE_OPS(Quaternion, x, y, z, w)
TOLVANE_MATH_COMPONENTWISE_OPS(Plane, a, b, c, d)
TOLVANE_MATH_COMPONENTWISE_OPS(Color, r, g, b, a)
#undef TOLVANE_MATH_COMPONENTWISE_OPS

inline Vector2 operator+(const Vector2& p, const Vector2& q) { return {p.x + q.x, p.y + q.y}; }
inline Vector2 operator-(const Vector2& p, const Vector2& q) { return {p.x - q.x, p.y - q.y}; }
inline Vector2 operator-(const Vector2& p) { return {-p.x, -p.y}; }
inline Vector2 operator*(const Vector2& p, float s) { return {p.x * s, p.y * s}; }
inline Vector2 operator*(float s, const Vector2& p) { return p * s; }
inline Vector2 operator/(const Vector2& p, float s) { return p * (1.0f / s); }
inline Vector2& operator+=(Vector2& p, const Vector2& q) { return p = p + q; }
inline Vector2& operator-=(Vector2& p, const Vector2& q) { return p = p - q; }
inline Vector2& operator*=(Vector2& p, float s) { return p = p * s; }
inline Vector2& operator/=(Vector2& p, float s) { return p = p / s; }
inline bool operator==(const Vector2& p, const Vector2& q) { return p.x == q.x && p.y == q.y; }
inline bool operator!=(const Vector2& p, const Vector2& q) { return !(p == q); }

inline Vector3 operator+(const Vector3& p, const Vector3& q) { return {p.x + q.x, p.y + q.y, p.z + q.z}; }
inline Vector3 operator-(const Vector3& p, const Vector3& q) { return {p.x - q.x, p.y - q.y, p.z - q.z}; }
inline Vector3 operator-(const Vector3& p) { return {-p.x, -p.y, -p.z}; }
inline Vector3 operator*(const Vector3& p, float s) { return {p.x * s, p.y * s, p.z * s}; }
inline Vector3 operator*(float s, const Vector3& p) { return p * s; }
inline Vector3 operator/(const Vector3& p, float s) { return p * (1.0f / s); }
inline Vector3& operator+=(Vector3& p, const Vector3& q) { return p = p + q; }
inline Vector3& operator-=(Vector3& p, const Vector3& q) { return p = p - q; }
inline Vector3& operator*=(Vector3& p, float s) { return p = p * s; }
inline Vector3& operator/=(Vector3& p, float s) { return p = p / s; }
inline bool operator==(const Vector3& p, const Vector3& q) { return p.x == q.x && p.y == q.y && p.z == q.z; }
inline bool operator!=(const Vector3& p, const Vector3& q) { return !(p == q); }

// Matrix equality compares all sixteen elements; the product is MatrixMultiply.
bool operator==(const Matrix& p, const Matrix& q);
inline bool operator!=(const Matrix& p, const Matrix& q) { return !(p == q); }
Matrix operator*(const Matrix& p, const Matrix& q);

// ---- Vector2

float Vec2Length(const Vector2* v);
float Vec2LengthSq(const Vector2* v);
float Vec2Dot(const Vector2* u, const Vector2* v);
// The z component of the 3D cross product of (u, 0) and (v, 0).
float Vec2CCW(const Vector2* u, const Vector2* v);
Vector2* Vec2Add(Vector2* out, const Vector2* u, const Vector2* v);
Vector2* Vec2Subtract(Vector2* out, const Vector2* u, const Vector2* v);
Vector2* Vec2Minimize(Vector2* out, const Vector2* u, const Vector2* v);
Vector2* Vec2Maximize(Vector2* out, const Vector2* u, const Vector2* v);
Vector2* Vec2Scale(Vector2* out, const Vector2* v, float s);
Vector2* Vec2Lerp(Vector2* out, const Vector2* a, const Vector2* b, float s);
Vector2* Vec2Normalize(Vector2* out, const Vector2* v);
Vector2* Vec2Hermite(Vector2* out, const Vector2* p1, const Vector2* t1, const Vector2* p2,
                     const Vector2* t2, float s);
Vector2* Vec2CatmullRom(Vector2* out, const Vector2* p0, const Vector2* p1, const Vector2* p2,
                        const Vector2* p3, float s);
Vector2* Vec2BaryCentric(Vector2* out, const Vector2* p1, const Vector2* p2, const Vector2* p3,
                         float f, float g);
// The row (x, y, 0, 1) times m.
Vector4* Vec2Transform(Vector4* out, const Vector2* v, const Matrix* m);
// The row (x, y, 0, 1) times m, divided by w unless w is within the unit tolerance of 1.
Vector2* Vec2TransformCoord(Vector2* out, const Vector2* v, const Matrix* m);
// v times the upper-left 2x2 of m.
Vector2* Vec2TransformNormal(Vector2* out, const Vector2* v, const Matrix* m);

// ---- Vector3

float Vec3Length(const Vector3* v);
float Vec3LengthSq(const Vector3* v);
float Vec3Dot(const Vector3* u, const Vector3* v);
Vector3* Vec3Cross(Vector3* out, const Vector3* u, const Vector3* v);
Vector3* Vec3Add(Vector3* out, const Vector3* u, const Vector3* v);
Vector3* Vec3Subtract(Vector3* out, const Vector3* u, const Vector3* v);
Vector3* Vec3Minimize(Vector3* out, const Vector3* u, const Vector3* v);
Vector3* Vec3Maximize(Vector3* out, const Vector3* u, const Vector3* v);
Vector3* Vec3Scale(Vector3* out, const Vector3* v, float s);
// a + s (b - a).
Vector3* Vec3Lerp(Vector3* out, const Vector3* a, const Vector3* b, float s);
// Squared length L: within the unit tolerance of 1, v is copied unchanged; above the zero
// threshold, v times 1/sqrt(L); otherwise (tiny, or NaN) the zero vector.
Vector3* Vec3Normalize(Vector3* out, const Vector3* v);
Vector3* Vec3Hermite(Vector3* out, const Vector3* p1, const Vector3* t1, const Vector3* p2,
                     const Vector3* t2, float s);
Vector3* Vec3CatmullRom(Vector3* out, const Vector3* p0, const Vector3* p1, const Vector3* p2,
                        const Vector3* p3, float s);
Vector3* Vec3BaryCentric(Vector3* out, const Vector3* p1, const Vector3* p2, const Vector3* p3,
                         float f, float g);
// The row (x, y, z, 1) times m.
Vector4* Vec3Transform(Vector4* out, const Vector3* v, const Matrix* m);
// The point transformed by m and divided by w unless w is within the unit tolerance of 1;
// w = 0 gives non-finite components, it is not tested for.
Vector3* Vec3TransformCoord(Vector3* out, const Vector3* v, const Matrix* m);
// v times the upper-left 3x3 of m (no translation).
Vector3* Vec3TransformNormal(Vector3* out, const Vector3* v, const Matrix* m);
// M = world x view x projection (a null matrix is left out; all null: identity), then the
// viewport mapping when a viewport is given. viewport, projection, view, world are optional.
Vector3* Vec3Project(Vector3* out, const Vector3* v, const Viewport* viewport,
                     const Matrix* projection, const Matrix* view, const Matrix* world);
// The inverse of Vec3Project. Fails (null, out untouched) when M cannot be inverted.
Vector3* Vec3Unproject(Vector3* out, const Vector3* v, const Viewport* viewport,
                       const Matrix* projection, const Matrix* view, const Matrix* world);

// ---- Vector4

float Vec4Length(const Vector4* v);
float Vec4LengthSq(const Vector4* v);
float Vec4Dot(const Vector4* u, const Vector4* v);
Vector4* Vec4Add(Vector4* out, const Vector4* u, const Vector4* v);
Vector4* Vec4Subtract(Vector4* out, const Vector4* u, const Vector4* v);
Vector4* Vec4Minimize(Vector4* out, const Vector4* u, const Vector4* v);
Vector4* Vec4Maximize(Vector4* out, const Vector4* u, const Vector4* v);
Vector4* Vec4Scale(Vector4* out, const Vector4* v, float s);
Vector4* Vec4Lerp(Vector4* out, const Vector4* a, const Vector4* b, float s);
// The vector orthogonal to u, v and w: component i is (-1)^i times the 3x3 minor of the rows
// u, v, w without column i, so that Vec4Dot(x, result) is the determinant of rows x, u, v, w.
Vector4* Vec4Cross(Vector4* out, const Vector4* u, const Vector4* v, const Vector4* w);
Vector4* Vec4Normalize(Vector4* out, const Vector4* v);
Vector4* Vec4Hermite(Vector4* out, const Vector4* p1, const Vector4* t1, const Vector4* p2,
                     const Vector4* t2, float s);
Vector4* Vec4CatmullRom(Vector4* out, const Vector4* p0, const Vector4* p1, const Vector4* p2,
                        const Vector4* p3, float s);
Vector4* Vec4BaryCentric(Vector4* out, const Vector4* p1, const Vector4* p2, const Vector4* p3,
                         float f, float g);
Vector4* Vec4Transform(Vector4* out, const Vector4* v, const Matrix* m);

// ---- Matrix

Matrix* MatrixIdentity(Matrix* out);
bool MatrixIsIdentity(const Matrix* m);
// out = a x b; out may be a, b or both.
Matrix* MatrixMultiply(Matrix* out, const Matrix* a, const Matrix* b);
Matrix* MatrixTranspose(Matrix* out, const Matrix* m);
// The 4x4 determinant by cofactor expansion along the first row.
float MatrixDeterminant(const Matrix* m);
// Adjugate divided by the determinant. The determinant is written first when determinant
// is not null. Fails (null, out untouched) when 1/determinant is not finite.
Matrix* MatrixInverse(Matrix* out, float* determinant, const Matrix* m);
Matrix* MatrixScaling(Matrix* out, float sx, float sy, float sz);
Matrix* MatrixTranslation(Matrix* out, float x, float y, float z);
Matrix* MatrixRotationX(Matrix* out, float angle);
Matrix* MatrixRotationY(Matrix* out, float angle);
Matrix* MatrixRotationZ(Matrix* out, float angle);
// The axis is normalised first (a zero axis leaves cos(angle) times the identity).
Matrix* MatrixRotationAxis(Matrix* out, const Vector3* axis, float angle);
Matrix* MatrixRotationQuaternion(Matrix* out, const Quaternion* q);
// Roll about z, then pitch about x, then yaw about y.
Matrix* MatrixRotationYawPitchRoll(Matrix* out, float yaw, float pitch, float roll);
// Uniform scale s; with a rotation: about the centre when one is given; then the
// translation. centre, rotation and translation are optional.
Matrix* MatrixAffineTransformation(Matrix* out, float scaling, const Vector3* centre,
                                   const Quaternion* rotation, const Vector3* translation);
// Scaling (about scalingCentre, along the axes turned by scalingRotation), then rotation
// (about rotationCentre), then translation. Every argument is optional; no scaling means no
// scaling step at all.
Matrix* MatrixTransformation(Matrix* out, const Vector3* scalingCentre,
                             const Quaternion* scalingRotation, const Vector3* scaling,
                             const Vector3* rotationCentre, const Quaternion* rotation,
                             const Vector3* translation);
Matrix* MatrixLookAtLH(Matrix* out, const Vector3* eye, const Vector3* at, const Vector3* up);
Matrix* MatrixLookAtRH(Matrix* out, const Vector3* eye, const Vector3* at, const Vector3* up);
// In the projection builders nothing guards against zn = zf or a zero size: the divisions
// give IEEE infinities.
Matrix* MatrixPerspectiveLH(Matrix* out, float w, float h, float zn, float zf);
Matrix* MatrixPerspectiveRH(Matrix* out, float w, float h, float zn, float zf);
Matrix* MatrixPerspectiveFovLH(Matrix* out, float fovy, float aspect, float zn, float zf);
Matrix* MatrixPerspectiveFovRH(Matrix* out, float fovy, float aspect, float zn, float zf);
Matrix* MatrixPerspectiveOffCenterLH(Matrix* out, float l, float r, float b, float t, float zn,
                                     float zf);
Matrix* MatrixPerspectiveOffCenterRH(Matrix* out, float l, float r, float b, float t, float zn,
                                     float zf);
Matrix* MatrixOrthoLH(Matrix* out, float w, float h, float zn, float zf);
Matrix* MatrixOrthoRH(Matrix* out, float w, float h, float zn, float zf);
Matrix* MatrixOrthoOffCenterLH(Matrix* out, float l, float r, float b, float t, float zn, float zf);
Matrix* MatrixOrthoOffCenterRH(Matrix* out, float l, float r, float b, float t, float zn, float zf);
// Flattens geometry onto the plane as seen from the light (w = 0: directional light).
Matrix* MatrixShadow(Matrix* out, const Vector4* light, const Plane* plane);
Matrix* MatrixReflect(Matrix* out, const Plane* plane);

// ---- Quaternion

float QuaternionLength(const Quaternion* q);
float QuaternionLengthSq(const Quaternion* q);
float QuaternionDot(const Quaternion* p, const Quaternion* q);
Quaternion* QuaternionIdentity(Quaternion* out);
bool QuaternionIsIdentity(const Quaternion* q);
Quaternion* QuaternionConjugate(Quaternion* out, const Quaternion* q);
Quaternion* QuaternionInverse(Quaternion* out, const Quaternion* q);
Quaternion* QuaternionNormalize(Quaternion* out, const Quaternion* q);
// The Hamilton product q2 q1: rotation q1 followed by q2.
Quaternion* QuaternionMultiply(Quaternion* out, const Quaternion* q1, const Quaternion* q2);
Quaternion* QuaternionLn(Quaternion* out, const Quaternion* q);
Quaternion* QuaternionExp(Quaternion* out, const Quaternion* q);
// Spherical interpolation along the shorter arc; the result is not renormalised.
Quaternion* QuaternionSlerp(Quaternion* out, const Quaternion* q1, const Quaternion* q2, float t);
Quaternion* QuaternionSquad(Quaternion* out, const Quaternion* q1, const Quaternion* a,
                            const Quaternion* b, const Quaternion* c, float t);
Quaternion* QuaternionBaryCentric(Quaternion* out, const Quaternion* q1, const Quaternion* q2,
                                  const Quaternion* q3, float f, float g);
Quaternion* QuaternionRotationAxis(Quaternion* out, const Vector3* axis, float angle);
Quaternion* QuaternionRotationYawPitchRoll(Quaternion* out, float yaw, float pitch, float roll);
Quaternion* QuaternionRotationMatrix(Quaternion* out, const Matrix* m);
// Either output may be null. A quaternion of (near) zero length gives axis (1, 0, 0), angle 0.
void QuaternionToAxisAngle(const Quaternion* q, Vector3* axis, float* angle);

// ---- Plane

float PlaneDot(const Plane* p, const Vector4* v);
float PlaneDotCoord(const Plane* p, const Vector3* point);
float PlaneDotNormal(const Plane* p, const Vector3* direction);
// Normalises by the length of (a, b, c), scaling all four components.
Plane* PlaneNormalize(Plane* out, const Plane* p);
Plane* PlaneFromPointNormal(Plane* out, const Vector3* point, const Vector3* normal);
Plane* PlaneFromPoints(Plane* out, const Vector3* p1, const Vector3* p2, const Vector3* p3);
// The point where the line through p1 and p2 meets the plane. Fails (null, out untouched)
// when the line is parallel to the plane or the parameter is not finite.
Vector3* PlaneIntersectLine(Vector3* out, const Plane* p, const Vector3* p1, const Vector3* p2);
// Applies m itself to the plane's point and normal (not the inverse transpose).
Plane* PlaneTransform(Plane* out, const Plane* p, const Matrix* m);

// ---- Color (channels are never clamped)

// (1 - r, 1 - g, 1 - b, a).
Color* ColorNegative(Color* out, const Color* c);
Color* ColorAdd(Color* out, const Color* c1, const Color* c2);
Color* ColorSubtract(Color* out, const Color* c1, const Color* c2);
Color* ColorScale(Color* out, const Color* c, float s);
Color* ColorModulate(Color* out, const Color* c1, const Color* c2);
Color* ColorLerp(Color* out, const Color* c1, const Color* c2, float s);
Color* ColorAdjustSaturation(Color* out, const Color* c, float s);
Color* ColorAdjustContrast(Color* out, const Color* c, float k);

TOLVANE_API_END
