// Packing of unit normals into the two angle bytes.
#include "pack_normal.hpp"

#include <gtest/gtest.h>

using namespace md3;

TEST(PackNormal, AxesPackToTheirAngleUnits) {
    EXPECT_EQ(pack_normal(1, 0, 0), 63);
    EXPECT_EQ(pack_normal(0, 1, 0), 16191);   // azimuth 63, polar 63
    EXPECT_EQ(pack_normal(-1, 0, 0), 32575);  // azimuth 127
    EXPECT_EQ(pack_normal(0, -1, 0), 49471);  // azimuth -63 wraps to 193
}

TEST(PackNormal, ZAxisUsesTheTwoSpecialValues) {
    EXPECT_EQ(pack_normal(0, 0, 1), 0);
    EXPECT_EQ(pack_normal(0, 0, -1), 128);
    EXPECT_EQ(pack_normal(-0.0f, 0.0f, 1), 0);
}

TEST(PackNormal, TruncatesBothAnglesTowardsZero) {
    const float h = 0.70710677f;                        // 45 degrees
    EXPECT_EQ(pack_normal(h, 0, h), 31);                // polar 31.87
    EXPECT_EQ(pack_normal(h, -h, 0), (225 << 8) | 63);  // azimuth -31.87 -> -31 -> 225
}
