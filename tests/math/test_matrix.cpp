// Matrices: product aliasing, inverse failure, rotation and look-at examples, projections
// mapping their frustum to depth 0..1, composed transformations, shadow and reflection.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "math/math3d.h"
#include "math_test_util.h"

namespace {

constexpr float kHalfPi = std::numbers::pi_v<float> / 2.0f;

Matrix SampleA() {
    return MatrixFrom({1.5f, -2, 0.25f, 3, 4, 0.5f, -1, 2, -3, 7, 2.5f, 0.125f, 9, -4, 1, 1});
}
Matrix SampleB() {
    return MatrixFrom({0.3f, 1, -2, 0.7f, -1.25f, 2, 3, 4, 5, -6, 0.1f, 8, 1, 1, -1, 2});
}

TEST(MatrixIdentity, IsTheUnitDiagonal) {
    Matrix m = SampleA();
    MatrixIdentity(&m);
    EXPECT_TRUE(MatrixIsIdentity(&m));
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_EQ(Bits(m.m[i][j]), Bits(i == j ? 1.0f : 0.0f));
    m._23 = 1e-30f;
    EXPECT_FALSE(MatrixIsIdentity(&m));
}

TEST(MatrixMultiply, RowTimesColumn) {
    const Matrix a = SampleA(), b = SampleB();
    Matrix out;
    MatrixMultiply(&out, &a, &b);
    // Element [1][2] by hand: row 2 of a times column 3 of b.
    EXPECT_EQ(out._23, 4 * -2.0f + 0.5f * 3 + -1 * 0.1f + 2 * -1.0f);
    // A translation followed by a scaling scales the translation (a applied first).
    Matrix t, s, ts;
    MatrixTranslation(&t, 1, 2, 3);
    MatrixScaling(&s, 2, 2, 2);
    MatrixMultiply(&ts, &t, &s);
    EXPECT_EQ(ts._41, 2.0f);
    EXPECT_EQ(ts._43, 6.0f);
    EXPECT_TRUE(BitsEqual(ts, t * s));
}

TEST(MatrixMultiply, SameResultWhateverAliases) {
    const Matrix a = SampleA(), b = SampleB();
    Matrix expected;
    MatrixMultiply(&expected, &a, &b);

    Matrix outIsA = a;
    EXPECT_EQ(MatrixMultiply(&outIsA, &outIsA, &b), &outIsA);
    EXPECT_TRUE(BitsEqual(outIsA, expected));

    Matrix outIsB = b;
    EXPECT_EQ(MatrixMultiply(&outIsB, &a, &outIsB), &outIsB);
    EXPECT_TRUE(BitsEqual(outIsB, expected));

    Matrix squared;
    MatrixMultiply(&squared, &a, &a);
    Matrix all = a;
    EXPECT_EQ(MatrixMultiply(&all, &all, &all), &all);
    EXPECT_TRUE(BitsEqual(all, squared));
}

TEST(MatrixTranspose, InPlace) {
    Matrix m = SampleA();
    MatrixTranspose(&m, &m);
    EXPECT_EQ(m._12, SampleA()._21);
    EXPECT_EQ(m._41, SampleA()._14);
    EXPECT_EQ(m._34, SampleA()._43);
}

TEST(MatrixDeterminant, KnownValues) {
    Matrix s;
    MatrixScaling(&s, 2, 3, 4);
    EXPECT_EQ(MatrixDeterminant(&s), 24.0f);
    // Swapping two rows of the identity negates the determinant.
    const Matrix swap = MatrixFrom({0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    EXPECT_EQ(MatrixDeterminant(&swap), -1.0f);
    const Matrix integers = MatrixFrom({2, 0, 1, 3, 1, 1, 0, 2, 0, 4, 1, 1, 3, 0, 2, 1});
    EXPECT_EQ(MatrixDeterminant(&integers), -20.0f);
    Matrix r;
    const Vector3 axis{1, 2, 3};
    MatrixRotationAxis(&r, &axis, 1.1f);
    EXPECT_TRUE(NearUlps(MatrixDeterminant(&r), 1.0f, 8));
}

TEST(MatrixInverse, InvertsAndReportsTheDeterminant) {
    const Matrix integers = MatrixFrom({2, 0, 1, 3, 1, 1, 0, 2, 0, 4, 1, 1, 3, 0, 2, 1});
    Matrix inv;
    float det = 0;
    ASSERT_EQ(MatrixInverse(&inv, &det, &integers), &inv);
    EXPECT_EQ(det, -20.0f);
    Matrix product;
    MatrixMultiply(&product, &integers, &inv);
    Matrix id;
    MatrixIdentity(&id);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(product.m[i][j], id.m[i][j], 1e-6f);

    Matrix self = integers;
    ASSERT_EQ(MatrixInverse(&self, nullptr, &self), &self);
    EXPECT_TRUE(BitsEqual(self, inv));
}

TEST(MatrixInverse, SingularMatrixFailsAndLeavesOutUntouched) {
    const Matrix singular = MatrixFrom({1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 1, 5, 5, 5, 5});
    Matrix out = SampleB();
    float det = 99;
    EXPECT_EQ(MatrixInverse(&out, &det, &singular), nullptr);
    EXPECT_TRUE(BitsEqual(out, SampleB()));
    EXPECT_EQ(det, 0.0f);  // written even when the inverse fails

    const Matrix zero{};
    EXPECT_EQ(MatrixInverse(&out, nullptr, &zero), nullptr);
    Matrix nan = SampleA();
    nan._32 = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(MatrixInverse(&out, nullptr, &nan), nullptr);
    EXPECT_TRUE(BitsEqual(out, SampleB()));
}

TEST(MatrixRotationAxis, NormalisesTheAxis) {
    Matrix axis, y;
    const Vector3 twoY{0, 2, 0};
    MatrixRotationAxis(&axis, &twoY, kHalfPi);
    MatrixRotationY(&y, kHalfPi);
    EXPECT_TRUE(MatrixNearUlps(axis, y, 1));
    // The caller's axis is not changed.
    EXPECT_EQ(twoY, (Vector3{0, 2, 0}));
}

TEST(MatrixRotationAxis, ZeroAxisLeavesCosineTimesIdentity) {
    Matrix m;
    const Vector3 zero{0, 0, 0};
    MatrixRotationAxis(&m, &zero, 0.6f);
    const float c = std::cos(0.6f);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(m.m[i][j], i == j ? c : 0.0f);
    EXPECT_EQ(m._44, 1.0f);
}

TEST(MatrixRotations, TurnTheAxesTheLeftHandedWay) {
    // Positive angles: y about x turns +y toward +z, about y +z toward +x, about z +x toward +y.
    Matrix m;
    Vector3 v;
    const Vector3 ex{1, 0, 0}, ey{0, 1, 0}, ez{0, 0, 1};
    MatrixRotationX(&m, kHalfPi);
    Vec3TransformCoord(&v, &ey, &m);
    EXPECT_NEAR(v.z, 1.0f, 1e-7f);
    MatrixRotationY(&m, kHalfPi);
    Vec3TransformCoord(&v, &ez, &m);
    EXPECT_NEAR(v.x, 1.0f, 1e-7f);
    MatrixRotationZ(&m, kHalfPi);
    Vec3TransformCoord(&v, &ex, &m);
    EXPECT_NEAR(v.y, 1.0f, 1e-7f);
}

TEST(MatrixLookAtLH, CameraOnTheNegativeZAxis) {
    const Vector3 eye{0, 0, -5}, at{0, 0, 0}, up{0, 1, 0};
    Matrix m;
    MatrixLookAtLH(&m, &eye, &at, &up);
    Matrix expected;
    MatrixTranslation(&expected, 0, 0, 5);
    EXPECT_TRUE(m == expected);
}

TEST(MatrixLookAtLH, UpParallelToViewGivesZeroAxes) {
    const Vector3 eye{1, 2, 3}, at{1, 2, 10}, up{0, 0, 4};
    Matrix m;
    MatrixLookAtLH(&m, &eye, &at, &up);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(m.m[i][0], 0.0f);  // xaxis
        EXPECT_EQ(m.m[i][1], 0.0f);  // yaxis
    }
    EXPECT_EQ(m._33, 1.0f);
    EXPECT_EQ(m._43, -3.0f);
}

TEST(MatrixLookAt, MapsTheTargetOntoTheViewAxis) {
    const Vector3 eye{3, -4, 7}, at{-2, 5, 1}, up{0, 1, 0};
    Matrix lh, rh;
    MatrixLookAtLH(&lh, &eye, &at, &up);
    MatrixLookAtRH(&rh, &eye, &at, &up);
    const float distance = std::sqrt(25.0f + 81.0f + 36.0f);
    Vector3 v;
    Vec3TransformCoord(&v, &at, &lh);
    EXPECT_NEAR(v.x, 0.0f, 1e-5f);
    EXPECT_NEAR(v.y, 0.0f, 1e-5f);
    EXPECT_NEAR(v.z, distance, 1e-5f);
    Vec3TransformCoord(&v, &at, &rh);
    EXPECT_NEAR(v.z, -distance, 1e-5f);
    Vec3TransformCoord(&v, &eye, &lh);
    EXPECT_NEAR(v.x, 0.0f, 1e-5f);
    EXPECT_NEAR(v.z, 0.0f, 1e-5f);
}

// Near-plane corners go to x, y = +-1 at depth 0, far ones at depth 1.
void ExpectFrustum(const Matrix& m, float l, float r, float b, float t, float zn, float zf,
                   float handed) {
    const float k = zf / zn;
    const Vector3 nearLow{l, b, handed * zn}, farHigh{r * k, t * k, handed * zf};
    Vector3 v;
    Vec3TransformCoord(&v, &nearLow, &m);
    EXPECT_NEAR(v.x, -1.0f, 1e-5f);
    EXPECT_NEAR(v.y, -1.0f, 1e-5f);
    EXPECT_NEAR(v.z, 0.0f, 1e-5f);
    Vec3TransformCoord(&v, &farHigh, &m);
    EXPECT_NEAR(v.x, 1.0f, 1e-5f);
    EXPECT_NEAR(v.y, 1.0f, 1e-5f);
    EXPECT_NEAR(v.z, 1.0f, 1e-5f);
}

TEST(Projections, MapTheFrustumToDepthZeroToOne) {
    Matrix m;
    MatrixPerspectiveOffCenterLH(&m, -1, 3, -2, 0.5f, 1, 50);
    ExpectFrustum(m, -1, 3, -2, 0.5f, 1, 50, 1);
    MatrixPerspectiveOffCenterRH(&m, -1, 3, -2, 0.5f, 1, 50);
    ExpectFrustum(m, -1, 3, -2, 0.5f, 1, 50, -1);
    MatrixPerspectiveLH(&m, 4, 3, 2, 40);
    ExpectFrustum(m, -2, 2, -1.5f, 1.5f, 2, 40, 1);
    MatrixPerspectiveRH(&m, 4, 3, 2, 40);
    ExpectFrustum(m, -2, 2, -1.5f, 1.5f, 2, 40, -1);
    // fovy pi/2 with aspect 2: the near plane at 1 spans y -1..1 and x -2..2.
    MatrixPerspectiveFovLH(&m, kHalfPi, 2, 1, 10);
    ExpectFrustum(m, -2, 2, -1, 1, 1, 10, 1);
    MatrixPerspectiveFovRH(&m, kHalfPi, 2, 1, 10);
    ExpectFrustum(m, -2, 2, -1, 1, 1, 10, -1);
}

void ExpectNear(const Vector3& v, const Vector3& expected) {
    EXPECT_NEAR(v.x, expected.x, 1e-6f);
    EXPECT_NEAR(v.y, expected.y, 1e-6f);
    EXPECT_NEAR(v.z, expected.z, 1e-6f);
}

TEST(Projections, OrthographicBoxes) {
    Matrix m;
    Vector3 v;
    const Vector3 low{-1, -2, 1}, high{3, 0.5f, 50};
    MatrixOrthoOffCenterLH(&m, -1, 3, -2, 0.5f, 1, 50);
    ExpectNear(*Vec3TransformCoord(&v, &low, &m), {-1, -1, 0});
    ExpectNear(*Vec3TransformCoord(&v, &high, &m), {1, 1, 1});
    MatrixOrthoOffCenterRH(&m, -1, 3, -2, 0.5f, 1, 50);
    const Vector3 lowRH{-1, -2, -1}, highRH{3, 0.5f, -50};
    ExpectNear(*Vec3TransformCoord(&v, &lowRH, &m), {-1, -1, 0});
    ExpectNear(*Vec3TransformCoord(&v, &highRH, &m), {1, 1, 1});
    MatrixOrthoLH(&m, 8, 4, 0, 10);
    const Vector3 corner{4, -2, 10};
    ExpectNear(*Vec3TransformCoord(&v, &corner, &m), {1, -1, 1});
    MatrixOrthoRH(&m, 8, 4, 0, 10);
    const Vector3 cornerRH{4, -2, -10};
    ExpectNear(*Vec3TransformCoord(&v, &cornerRH, &m), {1, -1, 1});
}

TEST(Projections, EqualPlanesGiveInfinitiesNotAFailure) {
    Matrix m;
    EXPECT_EQ(MatrixPerspectiveFovLH(&m, 1, 1, 5, 5), &m);
    EXPECT_TRUE(std::isinf(m._33));
    EXPECT_EQ(MatrixOrthoLH(&m, 0, 1, 0, 1), &m);
    EXPECT_TRUE(std::isinf(m._11));
}

TEST(MatrixAffineTransformation, RotatesAboutTheCentre) {
    Quaternion q;
    const Vector3 zAxis{0, 0, 1};
    QuaternionRotationAxis(&q, &zAxis, kHalfPi);
    const Vector3 centre{1, 1, 0}, move{0, 0, 5};
    Matrix m;
    MatrixAffineTransformation(&m, 1.0f, &centre, &q, &move);
    Vector3 v;
    Vec3TransformCoord(&v, &centre, &m);
    EXPECT_NEAR(v.x, 1.0f, 1e-6f);
    EXPECT_NEAR(v.y, 1.0f, 1e-6f);
    EXPECT_NEAR(v.z, 5.0f, 1e-6f);
    const Vector3 p{2, 1, 0};
    Vec3TransformCoord(&v, &p, &m);
    EXPECT_NEAR(v.x, 1.0f, 1e-6f);
    EXPECT_NEAR(v.y, 2.0f, 1e-6f);
    // Scale only.
    MatrixAffineTransformation(&m, 3.0f, nullptr, nullptr, nullptr);
    Matrix s;
    MatrixScaling(&s, 3, 3, 3);
    EXPECT_TRUE(m == s);
    // Without a centre the rotation is about the origin, after the scale.
    MatrixAffineTransformation(&m, 2.0f, nullptr, &q, &move);
    Vec3TransformCoord(&v, &p, &m);
    EXPECT_NEAR(v.x, -2.0f, 1e-6f);
    EXPECT_NEAR(v.y, 4.0f, 1e-6f);
    EXPECT_NEAR(v.z, 5.0f, 1e-6f);
}

TEST(MatrixTransformation, ComposesScaleRotationAndTranslation) {
    Matrix m;
    MatrixTransformation(&m, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(MatrixIsIdentity(&m));

    // A scaling along axes turned 90 degrees about z swaps the x and y factors.
    Quaternion turn;
    const Vector3 zAxis{0, 0, 1};
    QuaternionRotationAxis(&turn, &zAxis, kHalfPi);
    const Vector3 scaling{2, 3, 1};
    MatrixTransformation(&m, nullptr, &turn, &scaling, nullptr, nullptr, nullptr);
    Vector3 v;
    const Vector3 p{1, 1, 1};
    Vec3TransformCoord(&v, &p, &m);
    EXPECT_NEAR(v.x, 3.0f, 1e-6f);
    EXPECT_NEAR(v.y, 2.0f, 1e-6f);
    EXPECT_NEAR(v.z, 1.0f, 1e-6f);

    // The scaling centre stays where it is, with or without a scaling rotation.
    const Vector3 centre{4, -2, 1};
    const Quaternion* const rotations[] = {nullptr, &turn};
    for (const Quaternion* rotation : rotations) {
        MatrixTransformation(&m, &centre, rotation, &scaling, nullptr, nullptr, nullptr);
        Vec3TransformCoord(&v, &centre, &m);
        EXPECT_NEAR(v.x, centre.x, 1e-5f);
        EXPECT_NEAR(v.y, centre.y, 1e-5f);
        EXPECT_NEAR(v.z, centre.z, 1e-5f);
    }
    // Scale about the centre, then rotate about the rotation centre, then translate.
    const Vector3 rotationCentre{1, 0, 0}, move{10, 20, 30};
    MatrixTransformation(&m, &centre, nullptr, &scaling, &rotationCentre, &turn, &move);
    const Vector3 q{5, -2, 1};  // scaled about centre: (6, -2, 1)
    Vec3TransformCoord(&v, &q, &m);
    // (6, -2) about (1, 0) by 90 degrees: (1 + 2, 0 + 5) = (3, 5); then translated.
    EXPECT_NEAR(v.x, 13.0f, 1e-5f);
    EXPECT_NEAR(v.y, 25.0f, 1e-5f);
    EXPECT_NEAR(v.z, 31.0f, 1e-5f);
}

TEST(MatrixShadow, FlattensOntoThePlane) {
    const Plane ground{0, 2, 0, 0};  // y = 0, not normalised
    const Vector4 pointLight{0, 10, 0, 1};
    Matrix m;
    MatrixShadow(&m, &pointLight, &ground);
    const Vector3 p{1, 5, 2};
    Vector3 v;
    Vec3TransformCoord(&v, &p, &m);
    // From (0, 10, 0) through (1, 5, 2) the ray meets y = 0 at (2, 0, 4).
    EXPECT_NEAR(v.x, 2.0f, 1e-6f);
    EXPECT_NEAR(v.y, 0.0f, 1e-6f);
    EXPECT_NEAR(v.z, 4.0f, 1e-6f);
    const Vector4 sun{1, 1, 0, 0};  // directional
    MatrixShadow(&m, &sun, &ground);
    Vec3TransformCoord(&v, &p, &m);
    EXPECT_NEAR(v.x, -4.0f, 1e-6f);
    EXPECT_NEAR(v.y, 0.0f, 1e-6f);
    EXPECT_NEAR(v.z, 2.0f, 1e-6f);
}

TEST(MatrixReflect, MirrorsAcrossThePlane) {
    const Plane p{0, 3, 0, -3};  // y = 1, not normalised
    Matrix m;
    MatrixReflect(&m, &p);
    const Vector3 above{2, 3, -1};
    Vector3 v;
    Vec3TransformCoord(&v, &above, &m);
    EXPECT_EQ(v, (Vector3{2, -1, -1}));
    EXPECT_EQ(m._14, 0.0f);
    EXPECT_EQ(m._44, 1.0f);
}

}  // namespace
