// Randomly damaged models through both real programs: whatever the damage,
// each run ends with a documented status and message, a refusal changes no
// file, and a success writes a file of the expected length.
#include <random>
#include <set>

#include "mutator.hpp"
#include "support.hpp"

namespace {

class Stress : public ScratchDir {};

bool one_of(const std::string& text, const std::set<std::string>& allowed) {
    return allowed.count(text) > 0;
}

}  // namespace

TEST_F(Stress, MutatedModelsEndCleanlyInBothPrograms) {
    BuiltModel trailing = generated_model(2, 3, 30);
    trailing.trailingBytes = 24;
    const std::vector<ModelBuffer> originals = {
        read_file(SAMPLE_MODEL), build_model(generated_model(3, 2, 20)), build_model(trailing)};
    Mutator mutator(20261208);
    const RunOptions limits{.timeoutSeconds = 30};
    const std::string in = path("model.md3"), out = path("out.md3");
    const std::string banner = "meshmend 0.2\n";
    int repaired = 0, radiusSet = 0;

    for (int n = 0; n < 300; ++n) {
        const ModelBuffer bytes = mutator.mutate(originals[n % originals.size()]);
        SCOPED_TRACE("mutant " + std::to_string(n));

        write_file(in, bytes);
        const RunResult mend = run_tool(MESHMEND_BIN, {in}, limits);
        if (mend.status == 0) {
            ++repaired;
            EXPECT_EQ(mend.err, banner);
            EXPECT_EQ(read_file(in).size(),
                      static_cast<std::size_t>(Md3Header::ofsEnd(bytes.data())));
        } else {
            EXPECT_EQ(mend.status, 255);
            EXPECT_TRUE(one_of(mend.err, {banner + "Corrupt/invalid model: " + in + ". Abort.\n",
                                          banner + "Surface has more than 1024 vertexes. Abort.\n",
                                          banner + "Unable to allocate enough memory to load " +
                                              in + ". Abort.\n"}))
                << mend.err;
            EXPECT_EQ(read_file(in), bytes);
        }
        EXPECT_EQ(entries(), 1u);

        write_file(in, bytes);
        const RunResult radius = run_tool(SPHERESET_BIN, {in, out, "64"}, limits);
        if (radius.status == 0) {
            ++radiusSet;
            EXPECT_EQ(radius.err, "");
            EXPECT_EQ(read_file(out).size(), bytes.size());
            fs::remove(out);
        } else {
            EXPECT_EQ(radius.status, 1);
            EXPECT_TRUE(one_of(radius.err,
                               {"Corrupt/invalid model: " + in + ". Abort.\n",
                                "Unable to allocate enough memory to load " + in + ". Abort.\n"}))
                << radius.err;
            EXPECT_FALSE(fs::exists(out));
        }
        EXPECT_EQ(read_file(in), bytes);
        EXPECT_EQ(entries(), 1u);
    }
    // The mutants must exercise both outcomes of both programs.
    EXPECT_GT(repaired, 10);
    EXPECT_LT(repaired, 290);
    EXPECT_GT(radiusSet, 10);
    EXPECT_LT(radiusSet, 290);
}
