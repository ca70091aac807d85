// The bundled samples are what the builder makes, so they can always be rebuilt.
#include "support.hpp"

TEST(Sample, BundledFileMatchesItsBuilder) {
    EXPECT_EQ(read_file(SAMPLE_MODEL), build_model(sample_model()))
        << "regenerate with: make_sample samples/skiff.md3";
    EXPECT_EQ(read_file(BARREL_MODEL), build_model(barrel_model()))
        << "regenerate with: make_sample samples/barrel.md3 barrel";
}
