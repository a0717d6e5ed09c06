// The portable sine and cosine: exact where the value is exact, within one
// unit in the last place of the C library's elsewhere, and never off by a
// float rounding at any heading the spotter can see.
#include "spotter/trig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

int64_t UlpsApart(double a, double b) {
    int64_t ia;
    int64_t ib;
    memcpy(&ia, &a, 8);
    memcpy(&ib, &b, 8);
    return ia > ib ? ia - ib : ib - ia;
}

TEST(TrigTest, ExactValues) {
    EXPECT_EQ(0.0, PortableSin(0.0));
    EXPECT_EQ(1.0, PortableCos(0.0));
    EXPECT_EQ(1.0, PortableSin(M_PI / 2));
    EXPECT_EQ(-1.0, PortableCos(M_PI));
    EXPECT_TRUE(std::isnan(PortableSin(INFINITY)));
    EXPECT_TRUE(std::isnan(PortableCos(NAN)));
}

// Every angle the spotter forms: 360 - raw * 1/182 degrees, and the same
// plus 90, in radians by the spotter's factor.
TEST(TrigTest, EveryHeadingAngleMatchesTheLibraryToOneUlpAndAsFloat) {
    int64_t worst = 0;
    for (int raw = 0; raw < 65536; ++raw) {
        const double degrees = static_cast<double>(360.0f) - raw * static_cast<double>(0.0054945056f);
        for (double extra : {0.0, 90.0}) {
            const double t = (degrees + extra) * 0.0174532925;
            const double pairs[2][2] = {{PortableSin(t), std::sin(t)}, {PortableCos(t), std::cos(t)}};
            for (const auto& p : pairs) {
                // Tiny values near a zero crossing are compared absolutely.
                if (std::fabs(p[1]) > 1e-6) worst = std::max(worst, UlpsApart(p[0], p[1]));
                else ASSERT_NEAR(p[0], p[1], 1e-22) << raw;
                ASSERT_EQ(static_cast<float>(p[0]), static_cast<float>(p[1])) << "raw " << raw << " +" << extra;
            }
        }
    }
    EXPECT_LE(worst, 1);
}

TEST(TrigTest, WideArgumentsStayClose) {
    for (double t = -50.0; t < 50.0; t += 0.0137) {
        EXPECT_NEAR(std::sin(t), PortableSin(t), 4e-16) << t;
        EXPECT_NEAR(std::cos(t), PortableCos(t), 4e-16) << t;
    }
    EXPECT_NEAR(std::sin(123456.7), PortableSin(123456.7), 1e-10);
}

}  // namespace
