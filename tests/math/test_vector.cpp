// Vectors: the normalise rule and its two tolerances, transforms and the w divide,
// interpolation end points, projection to a viewport and back, the 4D cross product.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "math/math3d.h"
#include "math_test_util.h"

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(Tolerances, HaveTheirExactBits) {
    EXPECT_EQ(Bits(kUnitTolerance), 0x3727C5ACu);
    EXPECT_EQ(Bits(kZeroLengthSq), 0x2EDBE6FEu);
    // The zero threshold is not the float nearest 1e-10 but the square of the unit tolerance.
    EXPECT_NE(Bits(kZeroLengthSq), Bits(1e-10f));
    EXPECT_EQ(Bits(kUnitTolerance * kUnitTolerance), 0x2EDBE6FEu);
}

TEST(Vec3Normalize, ZeroAndTinyVectorsBecomeZero) {
    const Vector3 inputs[] = {{0, 0, 0}, {1e-6f, 0, 0}, {-0.0f, -0.0f, -0.0f},
                              {1e-40f, 0, 0} /* denormal */, {0, 0, -1e-20f}};
    for (const Vector3& v : inputs) {
        Vector3 out{7, 7, 7};
        EXPECT_EQ(Vec3Normalize(&out, &v), &out);
        EXPECT_EQ(Bits(out.x), 0u);
        EXPECT_EQ(Bits(out.y), 0u);
        EXPECT_EQ(Bits(out.z), 0u);
    }
}

TEST(Vec3Normalize, ZeroThresholdIsInclusive) {
    // 1e-5f squared is exactly the threshold: counts as zero length.
    const Vector3 atThreshold{kUnitTolerance, 0, 0};
    ASSERT_EQ(Bits(Vec3LengthSq(&atThreshold)), 0x2EDBE6FEu);
    Vector3 out;
    Vec3Normalize(&out, &atThreshold);
    EXPECT_EQ(out, (Vector3{0, 0, 0}));

    const Vector3 above{std::nextafter(kUnitTolerance, 1.0f), 0, 0};
    ASSERT_GT(Vec3LengthSq(&above), kZeroLengthSq);
    Vec3Normalize(&out, &above);
    EXPECT_TRUE(NearUlps(out.x, 1.0f, 2));
    EXPECT_EQ(out.y, 0.0f);
}

TEST(Vec3Normalize, NearUnitLengthIsLeftUnchanged) {
    const Vector3 v{0, 0, 1.000004f};
    Vector3 out;
    Vec3Normalize(&out, &v);
    EXPECT_TRUE(SameBits(out, v));

    // Just inside the tolerance below 1: unchanged; a clearly shorter vector is scaled.
    const Vector3 shorter{0.999996f, 0, 0};
    Vec3Normalize(&out, &shorter);
    EXPECT_TRUE(SameBits(out, shorter));
    const Vector3 muchShorter{0.99f, 0, 0};
    Vec3Normalize(&out, &muchShorter);
    EXPECT_TRUE(NearUlps(out.x, 1.0f, 1));
}

TEST(Vec3Normalize, ScalesOrdinaryVectors) {
    const Vector3 v{3, 0, 4};
    Vector3 out;
    Vec3Normalize(&out, &v);
    EXPECT_TRUE(NearUlps(out.x, 0.6f, 1));
    EXPECT_EQ(out.y, 0.0f);
    EXPECT_TRUE(NearUlps(out.z, 0.8f, 1));

    Vector3 inPlace{3, 0, 4};
    Vec3Normalize(&inPlace, &inPlace);
    EXPECT_TRUE(SameBits(inPlace, out));
}

TEST(Vec3Normalize, NaNGivesZero) {
    const Vector3 v{kNaN, 1, 0};
    Vector3 out{5, 5, 5};
    Vec3Normalize(&out, &v);
    EXPECT_EQ(out, (Vector3{0, 0, 0}));
}

TEST(OtherNormalizes, FollowTheSameRule) {
    const Vector2 v2{3, 4};
    Vector2 o2;
    Vec2Normalize(&o2, &v2);
    EXPECT_TRUE(NearUlps(o2.x, 0.6f, 1));
    EXPECT_TRUE(NearUlps(o2.y, 0.8f, 1));
    const Vector2 tiny2{1e-6f, 0};
    Vec2Normalize(&o2, &tiny2);
    EXPECT_EQ(o2, (Vector2{0, 0}));

    const Vector4 v4{0, 0, 0, 1.000004f};
    Vector4 o4;
    Vec4Normalize(&o4, &v4);
    EXPECT_TRUE(SameBits(o4, v4));
    const Vector4 w4{2, 0, 0, 0};
    Vec4Normalize(&o4, &w4);
    EXPECT_EQ(o4, (Vector4{1, 0, 0, 0}));
}

TEST(Vec3Cross, RightHandedBasisAndAliasing) {
    const Vector3 x{1, 0, 0}, y{0, 1, 0};
    Vector3 z;
    Vec3Cross(&z, &x, &y);
    EXPECT_EQ(z, (Vector3{0, 0, 1}));
    Vector3 u{1, 2, 3};
    const Vector3 v{4, 5, 6};
    Vec3Cross(&u, &u, &v);
    EXPECT_EQ(u, (Vector3{2 * 6 - 3 * 5, 3 * 4 - 1 * 6, 1 * 5 - 2 * 4}));
}

// A matrix whose w row (fourth column) gives w exactly for the origin.
Matrix WithW(float w) {
    Matrix m;
    MatrixIdentity(&m);
    m._41 = 3;
    m._42 = -6;
    m._43 = 9;
    m._44 = w;
    return m;
}

TEST(Vec3TransformCoord, AffineMatrixNeedsNoDivide) {
    Matrix m;
    MatrixTranslation(&m, 1, 2, 3);
    const Vector3 p{0.1f, 0.2f, 0.3f};
    Vector3 out;
    Vec3TransformCoord(&out, &p, &m);
    EXPECT_TRUE(SameBits(out, (Vector3{0.1f + 1, 0.2f + 2, 0.3f + 3})));
}

TEST(Vec3TransformCoord, WWithinToleranceOfOneIsNotDivided) {
    // The last w above and below 1 that lie within the tolerance, and the first outside.
    float above = 1.0f;
    while (std::nextafter(above, 2.0f) - 1.0f <= kUnitTolerance) above = std::nextafter(above, 2.0f);
    float below = 1.0f;
    while (1.0f - std::nextafter(below, 0.0f) <= kUnitTolerance) below = std::nextafter(below, 0.0f);
    const Vector3 origin{0, 0, 0};
    for (float w : {above, below}) {
        const Matrix m = WithW(w);
        Vector3 out;
        Vec3TransformCoord(&out, &origin, &m);
        EXPECT_EQ(out, (Vector3{3, -6, 9})) << "w = " << w;
    }
    for (float w : {std::nextafter(above, 2.0f), std::nextafter(below, 0.0f)}) {
        const Matrix m = WithW(w);
        Vector3 out;
        Vec3TransformCoord(&out, &origin, &m);
        EXPECT_NE(out.x, 3.0f) << "w = " << w;
        EXPECT_TRUE(NearUlps(out.x, 3.0f / w, 1));
    }
}

TEST(Vec3TransformCoord, ProjectionDividesAndZeroWGivesNonFinite) {
    const Matrix half = WithW(2);
    const Vector3 origin{0, 0, 0};
    Vector3 out;
    Vec3TransformCoord(&out, &origin, &half);
    EXPECT_EQ(out, (Vector3{1.5f, -3, 4.5f}));

    Matrix proj;
    MatrixPerspectiveFovLH(&proj, 1.0f, 1.0f, 1.0f, 100.0f);
    const Vector3 onNear{0, 0, 1}, onFar{0, 0, 100};
    Vec3TransformCoord(&out, &onNear, &proj);
    EXPECT_NEAR(out.z, 0.0f, 1e-6f);
    Vec3TransformCoord(&out, &onFar, &proj);
    EXPECT_NEAR(out.z, 1.0f, 1e-6f);

    const Matrix zero = WithW(0);
    Vec3TransformCoord(&out, &origin, &zero);
    EXPECT_FALSE(std::isfinite(out.x));
    EXPECT_FALSE(std::isfinite(out.y));
    EXPECT_FALSE(std::isfinite(out.z));
}

TEST(Vec3TransformCoord, InPlace) {
    Matrix m;
    MatrixRotationZ(&m, 0.7f);
    const Vector3 p{1, 2, 3};
    Vector3 expected, q = p;
    Vec3TransformCoord(&expected, &p, &m);
    Vec3TransformCoord(&q, &q, &m);
    EXPECT_TRUE(SameBits(q, expected));
}

TEST(VectorTransforms, NormalIgnoresTranslationAndTransformKeepsW) {
    Matrix m;
    MatrixTranslation(&m, 10, 20, 30);
    m._14 = 1;  // makes w depend on x
    const Vector3 v{1, 2, 3};
    Vector3 n;
    Vec3TransformNormal(&n, &v, &m);
    EXPECT_EQ(n, v);
    Vector4 t;
    Vec3Transform(&t, &v, &m);
    EXPECT_EQ(t, (Vector4{11, 22, 33, 2}));
    const Vector2 v2{1, 2};
    Vec2Transform(&t, &v2, &m);
    EXPECT_EQ(t, (Vector4{11, 22, 30, 2}));
    Vector2 c2;
    Vec2TransformCoord(&c2, &v2, &m);
    EXPECT_EQ(c2, (Vector2{5.5f, 11}));
    const Vector4 v4{1, 2, 3, 0};
    Vec4Transform(&t, &v4, &m);
    EXPECT_EQ(t, (Vector4{1, 2, 3, 1}));
}

TEST(Interpolation, EndPointsAndMidpoints) {
    const Vector3 p0{-1, 5, 2}, p1{0, 0, 0}, p2{4, 2, -2}, p3{9, 9, 9}, t1{1, 1, 1}, t2{-3, 0, 2};
    Vector3 out;
    EXPECT_EQ(*Vec3Hermite(&out, &p1, &t1, &p2, &t2, 0.0f), p1);
    EXPECT_EQ(*Vec3Hermite(&out, &p1, &t1, &p2, &t2, 1.0f), p2);
    EXPECT_EQ(*Vec3CatmullRom(&out, &p0, &p1, &p2, &p3, 0.0f), p1);
    EXPECT_EQ(*Vec3CatmullRom(&out, &p0, &p1, &p2, &p3, 1.0f), p2);
    // Collinear, evenly spaced control points make Catmull-Rom a straight line.
    const Vector3 a{0, 0, 0}, b{1, 2, 3}, c{2, 4, 6}, d{3, 6, 9};
    Vec3CatmullRom(&out, &a, &b, &c, &d, 0.5f);
    EXPECT_EQ(out, (Vector3{1.5f, 3, 4.5f}));
    EXPECT_EQ(*Vec3BaryCentric(&out, &p1, &p2, &p3, 1, 0), p2);
    EXPECT_EQ(*Vec3BaryCentric(&out, &p1, &p2, &p3, 0, 1), p3);
    EXPECT_EQ(*Vec3Lerp(&out, &p1, &p2, 0.25f), (Vector3{1, 0.5f, -0.5f}));
    Vector4 o4;
    const Vector4 q1{1, 2, 3, 4}, q2{5, 6, 7, 8}, zero4{0, 0, 0, 0};
    EXPECT_EQ(*Vec4Hermite(&o4, &q1, &zero4, &q2, &zero4, 0.5f), (Vector4{3, 4, 5, 6}));
    Vector2 o2;
    const Vector2 r1{1, 2}, r2{3, 4}, r3{5, 8};
    EXPECT_EQ(*Vec2BaryCentric(&o2, &r1, &r2, &r3, 0.5f, 0.5f), (Vector2{4, 6}));
}

TEST(VectorComponentwise, MinMaxAddScaleAndOperators) {
    const Vector3 u{1, -2, 3}, v{-1, 5, 3};
    Vector3 out;
    EXPECT_EQ(*Vec3Minimize(&out, &u, &v), (Vector3{-1, -2, 3}));
    EXPECT_EQ(*Vec3Maximize(&out, &u, &v), (Vector3{1, 5, 3}));
    EXPECT_EQ(*Vec3Add(&out, &u, &v), (Vector3{0, 3, 6}));
    EXPECT_EQ(*Vec3Subtract(&out, &u, &v), (Vector3{2, -7, 0}));
    EXPECT_EQ(*Vec3Scale(&out, &u, 2), (Vector3{2, -4, 6}));
    EXPECT_EQ(Vec3Dot(&u, &v), -1 - 10 + 9);
    EXPECT_EQ(Vec3Length(&v), std::sqrt(35.0f));
    // Division multiplies by one reciprocal, and a zero divisor gives infinities.
    const Vector3 w = Vector3{1, 2, 3} / 3.0f;
    const float third = 1.0f / 3.0f;
    EXPECT_TRUE(SameBits(w, (Vector3{1 * third, 2 * third, 3 * third})));
    const Vector3 inf = Vector3{1, -1, 0} / 0.0f;
    EXPECT_EQ(inf.x, kInf);
    EXPECT_EQ(inf.y, -kInf);
    EXPECT_TRUE(std::isnan(inf.z));
    EXPECT_EQ((-Vector2{1, -2}), (Vector2{-1, 2}));
    const Vector2 a2{1, 0}, b2{0, 1};
    EXPECT_EQ(Vec2CCW(&a2, &b2), 1.0f);
}

TEST(Vec4Cross, IsOrthogonalAndGivesTheDeterminant) {
    const Vector4 e1{1, 0, 0, 0}, e2{0, 1, 0, 0}, e3{0, 0, 1, 0};
    Vector4 out;
    Vec4Cross(&out, &e1, &e2, &e3);
    EXPECT_EQ(out, (Vector4{0, 0, 0, -1}));

    const Vector4 u{1, 2, -1, 3}, v{0, 4, 2, -2}, w{5, -1, 1, 1}, x{2, 3, 7, -4};
    Vec4Cross(&out, &u, &v, &w);
    EXPECT_EQ(Vec4Dot(&out, &u), 0.0f);
    EXPECT_EQ(Vec4Dot(&out, &v), 0.0f);
    EXPECT_EQ(Vec4Dot(&out, &w), 0.0f);
    // x . cross(u, v, w) is the determinant of the rows x, u, v, w.
    const Matrix rows = MatrixFrom({x.x, x.y, x.z, x.w, u.x, u.y, u.z, u.w, v.x, v.y, v.z, v.w,
                                    w.x, w.y, w.z, w.w});
    EXPECT_EQ(Vec4Dot(&x, &out), MatrixDeterminant(&rows));
}

TEST(Vec3Project, MapsToTheViewportAndBack) {
    const Viewport vp{10, 20, 800, 600, 0.25f, 0.75f};
    const Vector3 origin{0, 0, 0};
    Vector3 out;
    Vec3Project(&out, &origin, &vp, nullptr, nullptr, nullptr);
    EXPECT_EQ(out, (Vector3{410, 320, 0.25f}));
    const Vector3 corner{1, 1, 1};
    Vec3Project(&out, &corner, &vp, nullptr, nullptr, nullptr);
    EXPECT_EQ(out, (Vector3{810, 20, 0.75f}));
    // Without a viewport the transformed point itself.
    Matrix t;
    MatrixTranslation(&t, 1, 2, 3);
    Vec3Project(&out, &origin, nullptr, nullptr, &t, nullptr);
    EXPECT_EQ(out, (Vector3{1, 2, 3}));

    Matrix world, view, proj;
    MatrixRotationYawPitchRoll(&world, 0.3f, -0.2f, 0.1f);
    const Vector3 eye{3, 4, -10}, at{0, 0, 0}, up{0, 1, 0};
    MatrixLookAtLH(&view, &eye, &at, &up);
    MatrixPerspectiveFovLH(&proj, 0.8f, 4.0f / 3.0f, 1.0f, 100.0f);
    const Vector3 p{1.5f, -0.5f, 2.0f};
    Vector3 screen, back;
    Vec3Project(&screen, &p, &vp, &proj, &view, &world);
    EXPECT_GT(screen.x, 10.0f);
    EXPECT_LT(screen.x, 810.0f);
    ASSERT_EQ(Vec3Unproject(&back, &screen, &vp, &proj, &view, &world), &back);
    EXPECT_NEAR(back.x, p.x, 1e-3f);
    EXPECT_NEAR(back.y, p.y, 1e-3f);
    EXPECT_NEAR(back.z, p.z, 1e-3f);
}

TEST(Vec3Unproject, SingularChainFailsAndLeavesOutUntouched) {
    Matrix flat;
    MatrixScaling(&flat, 1, 1, 0);
    const Vector3 v{1, 2, 3};
    Vector3 out{7, 8, 9};
    EXPECT_EQ(Vec3Unproject(&out, &v, nullptr, nullptr, nullptr, &flat), nullptr);
    EXPECT_EQ(out, (Vector3{7, 8, 9}));
}

}  // namespace
