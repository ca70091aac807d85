// Exhaustive checks that take tens of seconds; run with the rest of the
// tests, and labelled "long" so that slower builds can skip them.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

#include "model_builder.hpp"
#include "pack_normal.hpp"
#include "reference_repair.hpp"
#include "repair.hpp"

using namespace md3;

TEST(PolarUnits, TablesAndEstimateAgreeWithAcosOnEveryFloatFromMinusOneToOne) {
    const PolarTables& tables = polar_tables();
    // Non-negative floats from +0 up to 1, and their negations.
    const std::uint32_t last = std::bit_cast<std::uint32_t>(1.0f);
    const unsigned workers = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::uint64_t> mismatches(workers, 0);
    std::vector<std::thread> threads;
    for (unsigned w = 0; w < workers; ++w) {
        threads.emplace_back([&, w] {
            for (std::uint32_t bits = w; bits <= last; bits += workers) {
                for (const float z : {std::bit_cast<float>(bits), -std::bit_cast<float>(bits)}) {
                    const int exact = reference_polar_units(z);
                    if (polar_units(tables, z) != exact || polar_units_fast(tables, z) != exact)
                        ++mismatches[w];
                }
            }
        });
    }
    for (std::thread& t : threads) t.join();
    for (unsigned w = 0; w < workers; ++w) EXPECT_EQ(mismatches[w], 0u) << "worker " << w;
}

// Packed normals hide most rounding differences, so an ordering mistake in the
// fast pass shows in only a few vertices in a million: compare on millions.
TEST(FastPassAtScale, WritesTheSameBytesAsThePlainPassOnALargeModel) {
    const ModelBuffer model = build_model(generated_model(8, 256, 1000));
    ModelBuffer plain = model;
    std::FILE* sink = std::fopen("/dev/null", "w");
    ASSERT_TRUE(reference_repair(plain, sink));
    for (const InstructionSet set : usable_instruction_sets()) {
        ModelBuffer fast = model;
        ASSERT_TRUE(repair_model(fast, sink, set));
        std::size_t differing = 0;
        for (std::size_t i = 0; i < model.size(); ++i) differing += fast[i] != plain[i];
        EXPECT_EQ(differing, 0u) << instruction_set_name(set);
    }
    std::fclose(sink);
}
