// Quaternions (order of the product, inverse, logarithm, slerp's shorter arc, conversions),
// planes (construction, intersection failures, transformation) and colours.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "math/math3d.h"
#include "math_test_util.h"

namespace {

constexpr float kPi = std::numbers::pi_v<float>;
constexpr float kInf = std::numeric_limits<float>::infinity();

Quaternion AxisAngle(Vector3 axis, float angle) {
    Quaternion q;
    QuaternionRotationAxis(&q, &axis, angle);
    return q;
}

Matrix ToMatrix(const Quaternion& q) {
    Matrix m;
    MatrixRotationQuaternion(&m, &q);
    return m;
}

void ExpectSameRotation(const Quaternion& a, const Quaternion& b, float tolerance) {
    const float sign = QuaternionDot(&a, &b) < 0 ? -1.0f : 1.0f;
    EXPECT_NEAR(a.x, sign * b.x, tolerance);
    EXPECT_NEAR(a.y, sign * b.y, tolerance);
    EXPECT_NEAR(a.z, sign * b.z, tolerance);
    EXPECT_NEAR(a.w, sign * b.w, tolerance);
}

TEST(QuaternionMultiply, AppliesTheFirstRotationFirst) {
    const Quaternion q1 = AxisAngle({1, 0, 0}, 0.7f), q2 = AxisAngle({0, 1, 1}, -1.3f);
    Quaternion q;
    QuaternionMultiply(&q, &q1, &q2);
    // Row vectors: the matrix product M1 x M2 also applies q1 first.
    Matrix m1 = ToMatrix(q1), m2 = ToMatrix(q2), expected;
    MatrixMultiply(&expected, &m1, &m2);
    EXPECT_TRUE(MatrixNearUlps(ToMatrix(q), expected, 8));

    // Hamilton units with the operands swapped: i then j gives j*i = -k.
    const Quaternion i{1, 0, 0, 0}, j{0, 1, 0, 0};
    QuaternionMultiply(&q, &i, &j);
    EXPECT_EQ(q, (Quaternion{0, 0, -1, 0}));

    Quaternion alias = q1;
    QuaternionMultiply(&alias, &alias, &q2);
    Quaternion plain;
    QuaternionMultiply(&plain, &q1, &q2);
    EXPECT_TRUE(SameBits(alias, plain));
    alias = q2;
    QuaternionMultiply(&alias, &q1, &alias);
    EXPECT_TRUE(SameBits(alias, plain));
}

TEST(QuaternionInverse, ConjugateScaledByTheSquaredLength) {
    const Quaternion unit = AxisAngle({1, 2, 3}, 0.4f);
    Quaternion out;
    QuaternionInverse(&out, &unit);
    Quaternion conjugate;
    QuaternionConjugate(&conjugate, &unit);
    EXPECT_TRUE(SameBits(out, conjugate));  // within the tolerance of 1: no divide
    const Quaternion two{0, 0, 0, 2};
    EXPECT_EQ(*QuaternionInverse(&out, &two), (Quaternion{0, 0, 0, 0.5f}));
    const Quaternion tiny{1e-6f, 0, 0, 0};
    EXPECT_EQ(*QuaternionInverse(&out, &tiny), (Quaternion{0, 0, 0, 0}));
    const Quaternion mixed{1, -2, 0, 1};
    QuaternionInverse(&out, &mixed);
    Quaternion product;
    QuaternionMultiply(&product, &mixed, &out);
    ExpectSameRotation(product, {0, 0, 0, 1}, 1e-6f);
}

TEST(QuaternionLnExp, AreInverseAndHandleTheIdentity) {
    Quaternion out;
    Quaternion identity;
    QuaternionIdentity(&identity);
    EXPECT_TRUE(QuaternionIsIdentity(&identity));
    EXPECT_EQ(*QuaternionLn(&out, &identity), (Quaternion{0, 0, 0, 0}));
    const Quaternion zero{0, 0, 0, 0};
    EXPECT_EQ(*QuaternionExp(&out, &zero), identity);

    const Quaternion q = AxisAngle({0, 0, 1}, 1.2f);
    QuaternionLn(&out, &q);
    EXPECT_NEAR(out.z, 0.6f, 1e-6f);  // half the angle along the axis
    EXPECT_EQ(out.w, 0.0f);
    QuaternionExp(&out, &out);
    ExpectSameRotation(out, q, 1e-6f);

    // Near the identity the sine is within tolerance: the vector part is copied.
    const Quaternion almost{1e-6f, 0, 0, 1};
    QuaternionLn(&out, &almost);
    EXPECT_EQ(out, (Quaternion{1e-6f, 0, 0, 0}));
    const Quaternion small{2e-6f, 0, 0, 0};
    QuaternionExp(&out, &small);
    EXPECT_EQ(out.x, 2e-6f);
    EXPECT_EQ(out.w, 1.0f);
}

TEST(QuaternionSlerp, TakesTheShorterArc) {
    const Quaternion q = AxisAngle({1, 1, 0}, 0.9f);
    const Quaternion minusQ = -q;
    Quaternion out;
    QuaternionSlerp(&out, &q, &minusQ, 0.5f);
    EXPECT_TRUE(NearUlps(out.x, q.x, 1, 1));
    EXPECT_TRUE(NearUlps(out.y, q.y, 1, 1));
    EXPECT_TRUE(NearUlps(out.z, q.z, 1, 1));
    EXPECT_TRUE(NearUlps(out.w, q.w, 1, 1));

    // Between rotations 0.2 and 1.8 rad about z, but given as q2 = -q(1.8).
    const Quaternion a = AxisAngle({0, 0, 1}, 0.2f), b = -AxisAngle({0, 0, 1}, 1.8f);
    QuaternionSlerp(&out, &a, &b, 0.25f);
    ExpectSameRotation(out, AxisAngle({0, 0, 1}, 0.6f), 1e-6f);
    EXPECT_GT(out.w, 0.0f);  // stays on q1's side

    EXPECT_TRUE(SameBits(*QuaternionSlerp(&out, &a, &b, 0.0f), a));
    QuaternionSlerp(&out, &a, &b, 1.0f);
    ExpectSameRotation(out, b, 1e-6f);
}

TEST(QuaternionSlerp, NearlyEqualEndsInterpolateLinearly) {
    const Quaternion a{0, 0, 0, 1}, b{0, 0, 1e-4f, 1};
    Quaternion out;
    QuaternionSlerp(&out, &a, &b, 0.5f);
    EXPECT_EQ(out, (Quaternion{0, 0, 0.5f * 1e-4f, 1}));
}

TEST(QuaternionSquadAndBaryCentric, EndPoints) {
    const Quaternion q1 = AxisAngle({1, 0, 0}, 0.3f), a = AxisAngle({0, 1, 0}, 0.5f),
                     b = AxisAngle({0, 0, 1}, 0.7f), c = AxisAngle({1, 1, 1}, 0.9f);
    Quaternion out;
    QuaternionSquad(&out, &q1, &a, &b, &c, 0.0f);
    EXPECT_TRUE(SameBits(out, q1));
    QuaternionSquad(&out, &q1, &a, &b, &c, 1.0f);
    ExpectSameRotation(out, c, 1e-6f);

    QuaternionBaryCentric(&out, &q1, &a, &b, 0.0f, 0.0f);
    EXPECT_TRUE(SameBits(out, q1));
    QuaternionBaryCentric(&out, &q1, &a, &b, 1.0f, 0.0f);
    ExpectSameRotation(out, a, 1e-6f);
    QuaternionBaryCentric(&out, &q1, &a, &b, 0.0f, 1.0f);
    ExpectSameRotation(out, b, 1e-6f);
}

TEST(QuaternionRotationMatrix, RoundTripsThroughEveryBranch) {
    // Small angles take the trace branch; half turns about x, y and z each pick their axis.
    const Quaternion cases[] = {AxisAngle({1, 2, 3}, 0.5f), AxisAngle({1, 0, 0}, kPi),
                                AxisAngle({0, 1, 0}, kPi), AxisAngle({0, 0, 1}, kPi),
                                AxisAngle({1, -2, 0.5f}, 3.0f), AxisAngle({-0.2f, 0.1f, 1}, 2.9f)};
    for (const Quaternion& q : cases) {
        const Matrix m = ToMatrix(q);
        Quaternion back;
        QuaternionRotationMatrix(&back, &m);
        ExpectSameRotation(back, q, 2e-6f);
    }
}

TEST(QuaternionRotations, YawPitchRollAndAxisAngle) {
    // Yaw alone turns about y, pitch about x, roll about z; the order is roll, pitch, yaw.
    Quaternion q;
    QuaternionRotationYawPitchRoll(&q, 0.4f, 0, 0);
    ExpectSameRotation(q, AxisAngle({0, 1, 0}, 0.4f), 1e-7f);
    Matrix ypr, roll, pitch, yaw, expected;
    MatrixRotationYawPitchRoll(&ypr, 0.4f, -0.3f, 1.1f);
    MatrixRotationZ(&roll, 1.1f);
    MatrixRotationX(&pitch, -0.3f);
    MatrixRotationY(&yaw, 0.4f);
    MatrixMultiply(&expected, &roll, &pitch);
    MatrixMultiply(&expected, &expected, &yaw);
    EXPECT_TRUE(MatrixNearUlps(ypr, expected, 8));

    Vector3 axis;
    float angle;
    const Quaternion r = AxisAngle({0, 3, 4}, 1.0f);
    QuaternionToAxisAngle(&r, &axis, &angle);
    EXPECT_NEAR(axis.y, 0.6f * std::sin(0.5f), 1e-6f);  // the vector part, normalised with w
    EXPECT_NEAR(angle, 1.0f, 1e-6f);
    const Quaternion zero{0, 0, 0, 0};
    QuaternionToAxisAngle(&zero, &axis, &angle);
    EXPECT_EQ(axis, (Vector3{1, 0, 0}));
    EXPECT_EQ(angle, 0.0f);
    QuaternionToAxisAngle(&r, nullptr, &angle);
    QuaternionToAxisAngle(&r, &axis, nullptr);
}

TEST(QuaternionNormalize, SameRuleAsVectors) {
    const Quaternion q{0, 3, 0, 4};
    Quaternion out;
    QuaternionNormalize(&out, &q);
    EXPECT_TRUE(NearUlps(out.y, 0.6f, 1));
    EXPECT_TRUE(NearUlps(out.w, 0.8f, 1));
    const Quaternion nearUnit{0, 0, 0, 1.000004f};
    EXPECT_TRUE(SameBits(*QuaternionNormalize(&out, &nearUnit), nearUnit));
}

TEST(Planes, ConstructionAndDots) {
    Plane p;
    const Vector3 a{0, 0, 2}, b{1, 0, 2}, c{0, 1, 2};
    PlaneFromPoints(&p, &a, &b, &c);
    EXPECT_EQ(p, (Plane{0, 0, 1, -2}));
    const Vector3 point{0, 1, 2}, normal{0, 2, 0};
    PlaneFromPointNormal(&p, &point, &normal);
    EXPECT_EQ(p, (Plane{0, 2, 0, -2}));
    const Vector3 q{5, 3, 1};
    EXPECT_EQ(PlaneDotCoord(&p, &q), 4.0f);
    EXPECT_EQ(PlaneDotNormal(&p, &q), 6.0f);
    const Vector4 h{5, 3, 1, 0.5f};
    EXPECT_EQ(PlaneDot(&p, &h), 5.0f);
    // Normalising scales all four components by the length of the normal.
    PlaneNormalize(&p, &p);
    EXPECT_EQ(p, (Plane{0, 1, 0, -1}));
}

TEST(PlaneIntersectLine, MeetsThePlaneOrFails) {
    const Plane ground{0, 1, 0, -1};  // y = 1
    const Vector3 p1{0, 3, 0}, p2{2, -1, 4};
    Vector3 out{7, 7, 7};
    ASSERT_EQ(PlaneIntersectLine(&out, &ground, &p1, &p2), &out);
    EXPECT_EQ(out, (Vector3{1, 1, 2}));

    // Parallel to the plane: no intersection, out untouched.
    const Vector3 q1{0, 3, 0}, q2{5, 3, 1};
    out = Vector3{7, 7, 7};
    EXPECT_EQ(PlaneIntersectLine(&out, &ground, &q1, &q2), nullptr);
    EXPECT_EQ(out, (Vector3{7, 7, 7}));
    // A parameter that overflows is no intersection either.
    const Plane far{0, 1, 0, -3e38f};
    const Vector3 r1{0, 0, 0}, r2{0, 1e-30f, 0};
    EXPECT_EQ(PlaneIntersectLine(&out, &far, &r1, &r2), nullptr);
    const Plane nan{0, 1, 0, std::numeric_limits<float>::quiet_NaN()};
    EXPECT_EQ(PlaneIntersectLine(&out, &nan, &p1, &p2), nullptr);
    EXPECT_EQ(out, (Vector3{7, 7, 7}));
}

TEST(PlaneTransform, MovesThePlaneWithTheMatrix) {
    const Plane p{0, 2, 0, -2};  // y = 1
    Matrix m;
    MatrixTranslation(&m, 0, 5, 0);
    Plane out;
    PlaneTransform(&out, &p, &m);
    EXPECT_EQ(out, (Plane{0, 1, 0, -6}));
    MatrixRotationZ(&m, kPi / 2);  // turns +y toward -x
    PlaneTransform(&out, &p, &m);
    EXPECT_NEAR(out.a, -1.0f, 1e-6f);
    EXPECT_NEAR(out.b, 0.0f, 1e-6f);
    EXPECT_NEAR(out.d, -1.0f, 1e-6f);
}

TEST(Colors, AdjustWithoutClamping) {
    const Color c{0.2f, 0.6f, 1.0f, 0.3f};
    Color out;
    ColorAdjustSaturation(&out, &c, 0.0f);
    const float grey = 0.2125f * 0.2f + 0.7154f * 0.6f + 0.0721f * 1.0f;
    EXPECT_NEAR(out.r, grey, 1e-7f);
    EXPECT_NEAR(out.b, grey, 1e-7f);
    EXPECT_EQ(out.a, 0.3f);
    ColorAdjustSaturation(&out, &c, 1.0f);
    EXPECT_NEAR(out.r, c.r, 1e-7f);
    EXPECT_NEAR(out.g, c.g, 1e-7f);
    EXPECT_NEAR(out.b, c.b, 1e-7f);
    ColorAdjustContrast(&out, &c, 2.0f);
    EXPECT_EQ(out.b, 1.5f);  // not clamped
    EXPECT_NEAR(out.r, -0.1f, 1e-7f);
    EXPECT_EQ(out.a, 0.3f);
    EXPECT_EQ(*ColorNegative(&out, &c), (Color{0.8f, 1.0f - 0.6f, 0.0f, 0.3f}));
    const Color d{2, 0.5f, 0, 1};
    EXPECT_EQ(*ColorModulate(&out, &c, &d), (Color{0.4f, 0.3f, 0, 0.3f}));
    EXPECT_EQ(*ColorLerp(&out, &c, &d, 1.0f), d);
    EXPECT_EQ(*ColorScale(&out, &d, 2), (Color{4, 1, 0, 2}));
    const Color e = d / 0.0f;
    EXPECT_EQ(e.r, kInf);
}

}  // namespace
