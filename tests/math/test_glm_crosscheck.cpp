// Cross-check against GLM on a few hundred random inputs per operation.
//
// Conventions: a glm::mat4 stores columns and multiplies column vectors; our Matrix stores
// rows and multiplies row vectors. The two transposes cancel: for the same transformation
// both hold the same sixteen floats in the same order, so matrices are compared element for
// element after a plain copy. The product order flips, though: our a x b (a first) is GLM's
// B * A. GLM's quaternion constructor takes w first, and its q1 * q2 applies q2 first, so our
// QuaternionMultiply(q1, q2) is GLM's q2 * q1.
//
// Tolerances are in units in the last place of the magnitude that the value is computed
// from (a row's scale, a product's sum of absolute terms), since a component that cancels to
// near zero carries the rounding of its large terms. Each bound is about twice the worst
// difference seen with this seed.
#include <gtest/gtest.h>

#define GLM_ENABLE_EXPERIMENTAL
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtx/euler_angles.hpp>

#include <cmath>
#include <functional>
#include <random>

#include "math/math3d.h"
#include "math_test_util.h"

namespace {

constexpr int kSamples = 300;

glm::mat4 ToGlm(const Matrix& m) {
    glm::mat4 g;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) g[i][j] = m.m[i][j];
    return g;
}

Matrix FromGlm(const glm::mat4& g) {
    Matrix m;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) m.m[i][j] = g[i][j];
    return m;
}

Matrix FromGlm(const glm::dmat4& g) {
    Matrix m;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) m.m[i][j] = static_cast<float>(g[i][j]);
    return m;
}

glm::quat ToGlm(const Quaternion& q) { return glm::quat(q.w, q.x, q.y, q.z); }
Quaternion FromGlm(const glm::quat& q) { return Quaternion{q.x, q.y, q.z, q.w}; }
glm::vec3 ToGlm(const Vector3& v) { return glm::vec3(v.x, v.y, v.z); }

// The largest difference seen, in ulps of the element's scale, over a whole run.
class UlpTracker {
public:
    void Add(float ours, float reference, float scale) {
        const float m = std::max({std::fabs(ours), std::fabs(reference), std::fabs(scale)});
        const float ulps = ours == reference ? 0.0f : std::fabs(ours - reference) / UlpAt(m);
        if (!(ulps <= worst_)) worst_ = ulps;  // NaN sticks
    }
    // Rows scaled separately: a translation row is judged by its own magnitude.
    void AddRows(const Matrix& ours, const Matrix& reference, float minScale = 0.0f) {
        for (int i = 0; i < 4; ++i) {
            float scale = minScale;
            for (int j = 0; j < 4; ++j)
                scale = std::max({scale, std::fabs(reference.m[i][j]), std::fabs(ours.m[i][j])});
            for (int j = 0; j < 4; ++j) Add(ours.m[i][j], reference.m[i][j], scale);
        }
    }
    void AddQuaternion(const Quaternion& ours, const Quaternion& reference) {
        Add(ours.x, reference.x, 1.0f);
        Add(ours.y, reference.y, 1.0f);
        Add(ours.z, reference.z, 1.0f);
        Add(ours.w, reference.w, 1.0f);
    }
    float worst() const { return worst_; }

private:
    float worst_ = 0.0f;
};

class GlmCrossCheck : public ::testing::Test {
protected:
    float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng_); }
    Vector3 RandomVector(float range) {
        return Vector3{Uniform(-range, range), Uniform(-range, range), Uniform(-range, range)};
    }
    Quaternion RandomUnitQuaternion() {
        for (;;) {
            const Quaternion q{Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1)};
            const float n = QuaternionLength(&q);
            if (n > 0.2f && n < 1.0f) return q / n;
        }
    }
    // A well-conditioned affine or projective matrix: rotation, scaling 0.5..2, translation,
    // with a small general perturbation so that no element is structurally zero.
    Matrix RandomMatrix() {
        const Vector3 axis = RandomVector(1);
        Matrix r, s, m;
        MatrixRotationAxis(&r, &axis, Uniform(-3, 3));
        // One draw per statement: the order in which a call's arguments are evaluated differs
        // between compilers and targets (GCC takes them right to left on x86-64, not on
        // arm64), and the samples must not. z, y, x keeps the samples the bounds were set on.
        const float sz = Uniform(0.5f, 2), sy = Uniform(0.5f, 2), sx = Uniform(0.5f, 2);
        MatrixScaling(&s, sx, sy, sz);
        MatrixMultiply(&m, &s, &r);
        m._41 = Uniform(-10, 10);
        m._42 = Uniform(-10, 10);
        m._43 = Uniform(-10, 10);
        for (auto& row : m.m)
            for (float& v : row) v += Uniform(-0.1f, 0.1f);
        return m;
    }

    std::mt19937 rng_{20251209};
};

TEST_F(GlmCrossCheck, LookAt) {
    UlpTracker lh, rh;
    for (int n = 0; n < kSamples; ++n) {
        const Vector3 eye = RandomVector(100), at = RandomVector(100), up = RandomVector(2);
        Matrix ours;
        const float eyeScale = std::max({std::fabs(eye.x), std::fabs(eye.y), std::fabs(eye.z)});
        MatrixLookAtLH(&ours, &eye, &at, &up);
        lh.AddRows(ours, FromGlm(glm::lookAtLH(ToGlm(eye), ToGlm(at), ToGlm(up))), eyeScale);
        MatrixLookAtRH(&ours, &eye, &at, &up);
        rh.AddRows(ours, FromGlm(glm::lookAtRH(ToGlm(eye), ToGlm(at), ToGlm(up))), eyeScale);
    }
    EXPECT_LE(lh.worst(), 2.0f);
    EXPECT_LE(rh.worst(), 2.0f);
}

TEST_F(GlmCrossCheck, Projections) {
    UlpTracker fov, size, offCenter, ortho;
    for (int n = 0; n < kSamples; ++n) {
        const float fovy = Uniform(0.2f, 2.5f), aspect = Uniform(0.5f, 2.5f);
        const float zn = Uniform(0.1f, 10), zf = zn + Uniform(1, 1000);
        const float w = Uniform(0.5f, 20), h = Uniform(0.5f, 20);
        const float l = Uniform(-10, 5), r = l + Uniform(0.5f, 10);
        const float b = Uniform(-10, 5), t = b + Uniform(0.5f, 10);
        Matrix ours;
        MatrixPerspectiveFovLH(&ours, fovy, aspect, zn, zf);
        fov.AddRows(ours, FromGlm(glm::perspectiveLH_ZO(fovy, aspect, zn, zf)));
        MatrixPerspectiveFovRH(&ours, fovy, aspect, zn, zf);
        fov.AddRows(ours, FromGlm(glm::perspectiveRH_ZO(fovy, aspect, zn, zf)));

        MatrixPerspectiveLH(&ours, w, h, zn, zf);
        size.AddRows(ours, FromGlm(glm::frustumLH_ZO(-w / 2, w / 2, -h / 2, h / 2, zn, zf)));
        MatrixPerspectiveRH(&ours, w, h, zn, zf);
        size.AddRows(ours, FromGlm(glm::frustumRH_ZO(-w / 2, w / 2, -h / 2, h / 2, zn, zf)));

        // GLM's left-handed frustum centres its window mirrored in x and y (its third row
        // has the right-handed sign), so the mirrored window gives our left-handed matrix.
        MatrixPerspectiveOffCenterLH(&ours, l, r, b, t, zn, zf);
        offCenter.AddRows(ours, FromGlm(glm::frustumLH_ZO(-r, -l, -t, -b, zn, zf)));
        MatrixPerspectiveOffCenterRH(&ours, l, r, b, t, zn, zf);
        offCenter.AddRows(ours, FromGlm(glm::frustumRH_ZO(l, r, b, t, zn, zf)));

        MatrixOrthoLH(&ours, w, h, zn, zf);
        ortho.AddRows(ours, FromGlm(glm::orthoLH_ZO(-w / 2, w / 2, -h / 2, h / 2, zn, zf)));
        MatrixOrthoRH(&ours, w, h, zn, zf);
        ortho.AddRows(ours, FromGlm(glm::orthoRH_ZO(-w / 2, w / 2, -h / 2, h / 2, zn, zf)));
        MatrixOrthoOffCenterLH(&ours, l, r, b, t, zn, zf);
        ortho.AddRows(ours, FromGlm(glm::orthoLH_ZO(l, r, b, t, zn, zf)));
        MatrixOrthoOffCenterRH(&ours, l, r, b, t, zn, zf);
        ortho.AddRows(ours, FromGlm(glm::orthoRH_ZO(l, r, b, t, zn, zf)));
    }
    EXPECT_LE(fov.worst(), 8.0f);
    EXPECT_LE(size.worst(), 2.0f);
    EXPECT_LE(offCenter.worst(), 2.0f);
    EXPECT_LE(ortho.worst(), 2.0f);
}

TEST_F(GlmCrossCheck, RotationsTranslationScaling) {
    UlpTracker axes, axis, affine;
    const glm::mat4 id(1.0f);
    for (int n = 0; n < kSamples; ++n) {
        const float a = Uniform(-7, 7);
        Matrix ours;
        MatrixRotationX(&ours, a);
        axes.AddRows(ours, FromGlm(glm::rotate(id, a, glm::vec3(1, 0, 0))));
        MatrixRotationY(&ours, a);
        axes.AddRows(ours, FromGlm(glm::rotate(id, a, glm::vec3(0, 1, 0))));
        MatrixRotationZ(&ours, a);
        axes.AddRows(ours, FromGlm(glm::rotate(id, a, glm::vec3(0, 0, 1))));
        const Vector3 v = RandomVector(3);
        MatrixRotationAxis(&ours, &v, a);
        axis.AddRows(ours, FromGlm(glm::rotate(id, a, ToGlm(v))));

        MatrixTranslation(&ours, v.x, v.y, v.z);
        affine.AddRows(ours, FromGlm(glm::translate(id, ToGlm(v))));
        MatrixScaling(&ours, v.x, v.y, v.z);
        affine.AddRows(ours, FromGlm(glm::scale(id, ToGlm(v))));

        const float yaw = Uniform(-4, 4), pitch = Uniform(-4, 4), roll = Uniform(-4, 4);
        MatrixRotationYawPitchRoll(&ours, yaw, pitch, roll);
        axis.AddRows(ours, FromGlm(glm::eulerAngleYXZ(yaw, pitch, roll)));
    }
    EXPECT_LE(axes.worst(), 1.0f);
    EXPECT_LE(axis.worst(), 16.0f);
    EXPECT_EQ(affine.worst(), 0.0f);
}

TEST_F(GlmCrossCheck, ProductAndTransformCoord) {
    UlpTracker product, coord;
    for (int n = 0; n < kSamples; ++n) {
        const Matrix a = RandomMatrix(), b = RandomMatrix();
        Matrix ours;
        MatrixMultiply(&ours, &a, &b);
        const Matrix reference = FromGlm(ToGlm(b) * ToGlm(a));
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) {
                float terms = 0;
                for (int k = 0; k < 4; ++k) terms += std::fabs(a.m[i][k] * b.m[k][j]);
                product.Add(ours.m[i][j], reference.m[i][j], terms);
            }

        Matrix proj;
        MatrixPerspectiveFovLH(&proj, 1.0f, 1.3f, 1.0f, 500.0f);
        Matrix chain;
        MatrixMultiply(&chain, &a, &proj);
        const Vector3 p = RandomVector(50);
        Vector3 v;
        Vec3TransformCoord(&v, &p, &chain);
        const glm::vec4 g = ToGlm(chain) * glm::vec4(p.x, p.y, p.z, 1.0f);
        // Scale: the largest term of the homogeneous sum, carried through the divide.
        const float scale = (std::fabs(p.x) + std::fabs(p.y) + std::fabs(p.z) + 1.0f) * MaxAbs(chain) /
                            std::fabs(g.w);
        coord.Add(v.x, g.x / g.w, scale);
        coord.Add(v.y, g.y / g.w, scale);
        coord.Add(v.z, g.z / g.w, scale);
    }
    EXPECT_LE(product.worst(), 1.0f);
    EXPECT_LE(coord.worst(), 8.0f);
}

TEST_F(GlmCrossCheck, InverseAndDeterminant) {
    UlpTracker inverse, determinant, floatInverse;
    for (int n = 0; n < kSamples; ++n) {
        const Matrix m = RandomMatrix();
        Matrix ours;
        float det = 0;
        ASSERT_NE(MatrixInverse(&ours, &det, &m), nullptr);
        EXPECT_EQ(det, MatrixDeterminant(&m));
        // References: GLM's inverse in single precision, and in double precision rounded once.
        const glm::dmat4 exact = glm::inverse(glm::dmat4(ToGlm(m)));
        inverse.AddRows(ours, FromGlm(exact));
        floatInverse.AddRows(ours, FromGlm(glm::inverse(ToGlm(m))));
        determinant.Add(det, static_cast<float>(glm::determinant(glm::dmat4(ToGlm(m)))), 0.0f);
    }
    // Both single-precision inverses cancel in their cofactors: a few ulps apart from each
    // other, a few tens from the exact inverse.
    EXPECT_LE(floatInverse.worst(), 16.0f);
    EXPECT_LE(inverse.worst(), 64.0f);
    EXPECT_LE(determinant.worst(), 64.0f);
}

TEST_F(GlmCrossCheck, Quaternions) {
    UlpTracker multiply, toMatrix, fromAxis, slerp, fromMatrix;
    for (int n = 0; n < kSamples; ++n) {
        const Quaternion q1 = RandomUnitQuaternion(), q2 = RandomUnitQuaternion();
        Quaternion ours;
        QuaternionMultiply(&ours, &q1, &q2);
        multiply.AddQuaternion(ours, FromGlm(ToGlm(q2) * ToGlm(q1)));

        Matrix m;
        MatrixRotationQuaternion(&m, &q1);
        toMatrix.AddRows(m, FromGlm(glm::mat4_cast(ToGlm(q1))), 1.0f);

        const Vector3 axis = RandomVector(3);
        const float angle = Uniform(-6, 6);
        QuaternionRotationAxis(&ours, &axis, angle);
        fromAxis.AddQuaternion(ours, FromGlm(glm::angleAxis(angle, glm::normalize(ToGlm(axis)))));

        const float t = Uniform(0, 1);
        QuaternionSlerp(&ours, &q1, &q2, t);
        slerp.AddQuaternion(ours, FromGlm(glm::slerp(ToGlm(q1), ToGlm(q2), t)));

        // From a rotation matrix back to the quaternion (either sign is the same rotation).
        QuaternionRotationMatrix(&ours, &m);
        Quaternion reference = FromGlm(glm::quat_cast(glm::mat3(ToGlm(m))));
        if (QuaternionDot(&ours, &reference) < 0) reference = -reference;
        fromMatrix.AddQuaternion(ours, reference);
    }
    EXPECT_LE(multiply.worst(), 2.0f);
    EXPECT_LE(toMatrix.worst(), 2.0f);
    EXPECT_LE(fromAxis.worst(), 2.0f);
    EXPECT_LE(slerp.worst(), 4.0f);
    EXPECT_LE(fromMatrix.worst(), 8.0f);
}

}  // namespace
