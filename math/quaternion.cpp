// Quaternion operations. (x, y, z) is the vector part, w the scalar part.
#include <cmath>

#include "math/components.h"
#include "math/math3d.h"

using namespace tolvane_math_detail;

namespace {

// A sine within the unit tolerance of 0 counts as zero.
inline bool SineIsZero(float s) { return std::fabs(s) <= kUnitTolerance; }

}  // namespace

float QuaternionLengthSq(const Quaternion* q) { return DotOf(*q, *q); }
float QuaternionLength(const Quaternion* q) { return std::sqrt(QuaternionLengthSq(q)); }
float QuaternionDot(const Quaternion* p, const Quaternion* q) { return DotOf(*p, *q); }

Quaternion* QuaternionIdentity(Quaternion* out) {
    *out = Quaternion{0.0f, 0.0f, 0.0f, 1.0f};
    return out;
}

bool QuaternionIsIdentity(const Quaternion* q) { return *q == Quaternion{0.0f, 0.0f, 0.0f, 1.0f}; }

Quaternion* QuaternionConjugate(Quaternion* out, const Quaternion* q) {
    *out = Quaternion{-q->x, -q->y, -q->z, q->w};
    return out;
}

Quaternion* QuaternionInverse(Quaternion* out, const Quaternion* q) {
    const float n = QuaternionLengthSq(q);
    if (!(n > kZeroLengthSq)) {
        *out = Quaternion{0.0f, 0.0f, 0.0f, 0.0f};
        return out;
    }
    Quaternion r{-q->x, -q->y, -q->z, q->w};
    if (!(std::fabs(n - 1.0f) <= kUnitTolerance)) r /= n;
    *out = r;
    return out;
}

Quaternion* QuaternionNormalize(Quaternion* out, const Quaternion* q) {
    *out = Normalized(*q);
    return out;
}

Quaternion* QuaternionMultiply(Quaternion* out, const Quaternion* q1, const Quaternion* q2) {
    const Quaternion a = *q1, b = *q2;
    *out = Quaternion{b.w * a.x + b.x * a.w + b.y * a.z - b.z * a.y,
                      b.w * a.y - b.x * a.z + b.y * a.w + b.z * a.x,
                      b.w * a.z + b.x * a.y - b.y * a.x + b.z * a.w,
                      b.w * a.w - b.x * a.x - b.y * a.y - b.z * a.z};
    return out;
}

Quaternion* QuaternionLn(Quaternion* out, const Quaternion* q) {
    const Quaternion v = *q;
    if (v.w < 1.0f) {
        const float a = std::acos(v.w);
        const float s = std::sin(a);
        if (!SineIsZero(s)) {
            const float k = a / s;
            *out = Quaternion{k * v.x, k * v.y, k * v.z, 0.0f};
            return out;
        }
    }
    *out = Quaternion{v.x, v.y, v.z, 0.0f};
    return out;
}

Quaternion* QuaternionExp(Quaternion* out, const Quaternion* q) {
    const Quaternion v = *q;
    const float a = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    const float s = std::sin(a);
    Quaternion r{v.x, v.y, v.z, std::cos(a)};
    if (!SineIsZero(s)) {
        const float k = s / a;
        r.x = k * v.x;
        r.y = k * v.y;
        r.z = k * v.z;
    }
    *out = r;
    return out;
}

Quaternion* QuaternionSlerp(Quaternion* out, const Quaternion* q1, const Quaternion* q2, float t) {
    const Quaternion a = *q1, b = *q2;
    const float d = QuaternionDot(&a, &b);
    // q and -q are the same rotation: flip b onto a's hemisphere for the shorter arc.
    const float k = d >= 0.0f ? 1.0f : -1.0f;
    const float c = k * d;
    float w1, w2;
    if (1.0f - c > kUnitTolerance) {
        const float angle = std::atan2(std::sqrt(1.0f - c * c), c);
        const float s = std::sin(angle);
        w1 = std::sin((1.0f - t) * angle) / s;
        w2 = std::sin(t * angle) / s;
    } else {
        // Nearly the same rotation: the sines vanish, interpolate linearly instead.
        w1 = 1.0f - t;
        w2 = t;
    }
    const float kw2 = k * w2;
    *out = Quaternion{w1 * a.x + kw2 * b.x, w1 * a.y + kw2 * b.y, w1 * a.z + kw2 * b.z,
                      w1 * a.w + kw2 * b.w};
    return out;
}

Quaternion* QuaternionSquad(Quaternion* out, const Quaternion* q1, const Quaternion* a,
                            const Quaternion* b, const Quaternion* c, float t) {
    Quaternion outer, inner;
    QuaternionSlerp(&outer, q1, c, t);
    QuaternionSlerp(&inner, a, b, t);
    return QuaternionSlerp(out, &outer, &inner, 2.0f * t * (1.0f - t));
}

Quaternion* QuaternionBaryCentric(Quaternion* out, const Quaternion* q1, const Quaternion* q2,
                                  const Quaternion* q3, float f, float g) {
    const float fg = f + g;
    if (std::fabs(fg) <= kUnitTolerance) {
        *out = *q1;
        return out;
    }
    Quaternion toQ2, toQ3;
    QuaternionSlerp(&toQ2, q1, q2, fg);
    QuaternionSlerp(&toQ3, q1, q3, fg);
    return QuaternionSlerp(out, &toQ2, &toQ3, g / fg);
}

Quaternion* QuaternionRotationAxis(Quaternion* out, const Vector3* axis, float angle) {
    Vector3 n;
    Vec3Normalize(&n, axis);
    const float s = std::sin(angle / 2.0f);
    *out = Quaternion{n.x * s, n.y * s, n.z * s, std::cos(angle / 2.0f)};
    return out;
}

Quaternion* QuaternionRotationYawPitchRoll(Quaternion* out, float yaw, float pitch, float roll) {
    const float cy = std::cos(yaw / 2.0f), sy = std::sin(yaw / 2.0f);
    const float cp = std::cos(pitch / 2.0f), sp = std::sin(pitch / 2.0f);
    const float cr = std::cos(roll / 2.0f), sr = std::sin(roll / 2.0f);
    *out = Quaternion{cy * sp * cr + sy * cp * sr, sy * cp * cr - cy * sp * sr,
                      cy * cp * sr - sy * sp * cr, cy * cp * cr + sy * sp * sr};
    return out;
}

Quaternion* QuaternionRotationMatrix(Quaternion* out, const Matrix* matrix) {
    const auto& m = matrix->m;
    const float trace = m[0][0] + m[1][1] + m[2][2];
    if (trace > 0.0f) {
        const float w = std::sqrt(trace + 1.0f) / 2.0f;
        const float f = 0.25f / w;
        *out = Quaternion{(m[1][2] - m[2][1]) * f, (m[2][0] - m[0][2]) * f, (m[0][1] - m[1][0]) * f, w};
        return out;
    }
    // Otherwise start from the largest diagonal term, the best conditioned square root.
    const float diag[3] = {m[0][0] - m[1][1] - m[2][2], m[1][1] - m[0][0] - m[2][2],
                           m[2][2] - m[0][0] - m[1][1]};
    int i = diag[0] >= diag[1] ? 0 : 1;
    if (diag[2] > diag[i]) i = 2;
    const int j = (i + 1) % 3;
    const int k = (j + 1) % 3;
    float v[3];
    v[i] = std::sqrt(diag[i] + 1.0f) / 2.0f;
    const float f = 0.25f / v[i];
    v[j] = (m[i][j] + m[j][i]) * f;
    v[k] = (m[i][k] + m[k][i]) * f;
    *out = Quaternion{v[0], v[1], v[2], (m[j][k] - m[k][j]) * f};
    return out;
}

void QuaternionToAxisAngle(const Quaternion* q, Vector3* axis, float* angle) {
    const float n = QuaternionLengthSq(q);
    Vector3 a{1.0f, 0.0f, 0.0f};
    float theta = 0.0f;
    if (n > kZeroLengthSq) {
        const float r = 1.0f / std::sqrt(n);
        a = Vector3{q->x * r, q->y * r, q->z * r};
        theta = 2.0f * std::acos(q->w);
    }
    if (axis) *axis = a;
    if (angle) *angle = theta;
}
