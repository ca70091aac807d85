// The bundled sample is what the builder makes, so it can always be rebuilt.
#include "support.hpp"

TEST(Sample, BundledFileMatchesItsBuilder) {
    EXPECT_EQ(read_file(SAMPLE_MODEL), build_model(sample_model()))
        << "regenerate with: make_sample samples/skiff.md3";
}
