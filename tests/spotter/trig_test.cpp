// The portable sine and cosine: exact where the value is exact, close to
// the C library's elsewhere, and bit for bit the same on every build.
#include "spotter/trig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>

namespace {

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
template <typename Visit>
void ForEachSpotterAngle(Visit visit) {
    for (int raw = 0; raw < 65536; ++raw) {
        const double degrees = static_cast<double>(360.0f) - raw * static_cast<double>(0.0054945056f);
        for (double extra : {0.0, 90.0}) visit(raw, (degrees + extra) * 0.0174532925);
    }
}

void Mix(uint64_t& hash, const void* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        hash ^= static_cast<const unsigned char*>(bytes)[i];
        hash *= 1099511628211ull;
    }
}

// The same bits on every build: these hashes of all the values above were
// taken from builds with gcc and clang on Linux and MinGW on Windows.
TEST(TrigTest, EverySpotterAngleGivesTheSameBitsEverywhere) {
    uint64_t doubles = 1469598103934665603ull;
    uint64_t floats = doubles;
    ForEachSpotterAngle([&](int, double t) {
        const double s = PortableSin(t);
        const double c = PortableCos(t);
        const float fs = static_cast<float>(s);
        const float fc = static_cast<float>(c);
        Mix(doubles, &s, 8);
        Mix(doubles, &c, 8);
        Mix(floats, &fs, 4);
        Mix(floats, &fc, 4);
    });
    EXPECT_EQ(0xfb86af0d26088db9ull, doubles);
    EXPECT_EQ(0x7b9475830a1d1ab9ull, floats);
}

// Close to the C library's values; its own accuracy varies by platform, so
// the bound is absolute, about one unit in the last place at magnitude 1.
TEST(TrigTest, EverySpotterAngleIsAccurate) {
    ForEachSpotterAngle([](int raw, double t) {
        ASSERT_NEAR(std::sin(t), PortableSin(t), 2.3e-16) << raw;
        ASSERT_NEAR(std::cos(t), PortableCos(t), 2.3e-16) << raw;
    });
}

TEST(TrigTest, WideArgumentsStayClose) {
    for (double t = -50.0; t < 50.0; t += 0.0137) {
        EXPECT_NEAR(std::sin(t), PortableSin(t), 4e-16) << t;
        EXPECT_NEAR(std::cos(t), PortableCos(t), 4e-16) << t;
    }
    EXPECT_NEAR(std::sin(123456.7), PortableSin(123456.7), 1e-10);
}

}  // namespace
