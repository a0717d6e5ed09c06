#include <gtest/gtest.h>
#include "fake/fake_platform.h"
#include "link/endpoint.h"
TEST(Smoke, Builds) { fake::Reset(); EXPECT_EQ(1, Init()); }
