// Randomly damaged models through both real programs: whatever the damage,
// each run ends with a documented status and message, a refusal changes no
// file, and a success writes a file of the expected length.
#include <random>
#include <set>

#include "support.hpp"

namespace {

// Fields worth aiming at: the header's counts and offsets and those of the
// first surface header (found by the header's ofsSurfaces in the valid model).
const std::vector<int> kHeaderFields = {76, 84, 92, 100, 104};
const std::vector<int> kSurfaceFields = {72, 76, 80, 84, 88, 92, 96, 100, 104};

// A deterministic mutator: std::mt19937 is specified bit for bit, and only
// its raw output is used, so every host makes the same mutants.
class Mutator {
public:
    explicit Mutator(std::uint32_t seed) : rng_(seed) {}

    ModelBuffer mutate(ModelBuffer bytes) {
        const std::int64_t firstSurface = Md3Header::ofsSurfaces(bytes.data());
        const int count = 1 + static_cast<int>(pick(3));
        for (int i = 0; i < count && !bytes.empty(); ++i) {
            switch (pick(4)) {
                case 0:  // flip a few bits
                    for (std::uint32_t b = pick(8) + 1; b > 0; --b)
                        bytes[pick(static_cast<std::uint32_t>(bytes.size()))] ^= static_cast<std::uint8_t>(1u << pick(8));
                    break;
                case 1:  // truncate
                    bytes.resize(pick(static_cast<std::uint32_t>(bytes.size())));
                    break;
                default: {  // a count or offset set to a boundary value
                    const bool header = pick(2) == 0;
                    const std::int64_t at = header ? kHeaderFields[pick(5)] : firstSurface + kSurfaceFields[pick(9)];
                    const std::int64_t size = static_cast<std::int64_t>(bytes.size());
                    const std::int64_t values[] = {-1, 0, 1, 0x7fffffff, INT32_MIN, size, size - 1, 107, 108, 1025};
                    if (at + 4 <= size) put_i32(bytes.data() + at, static_cast<std::int32_t>(values[pick(10)]));
                }
            }
        }
        return bytes;
    }

private:
    std::uint32_t pick(std::uint32_t n) { return n == 0 ? 0 : static_cast<std::uint32_t>(rng_() % n); }
    std::mt19937 rng_;
};

class Stress : public ScratchDir {};

bool one_of(const std::string& text, const std::set<std::string>& allowed) { return allowed.count(text) > 0; }

}  // namespace

TEST_F(Stress, MutatedModelsEndCleanlyInBothPrograms) {
    BuiltModel trailing = generated_model(2, 3, 30);
    trailing.trailingBytes = 24;
    const std::vector<ModelBuffer> originals = {read_file(SAMPLE_MODEL), build_model(generated_model(3, 2, 20)),
                                                build_model(trailing)};
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
            EXPECT_EQ(read_file(in).size(), static_cast<std::size_t>(Md3Header::ofsEnd(bytes.data())));
        } else {
            EXPECT_EQ(mend.status, 255);
            EXPECT_TRUE(one_of(mend.err, {banner + "Corrupt/invalid model: " + in + ". Abort.\n",
                                          banner + "Surface has more than 1024 vertexes. Abort.\n",
                                          banner + "Unable to allocate enough memory to load " + in + ". Abort.\n"}))
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
            EXPECT_TRUE(one_of(radius.err, {"Corrupt/invalid model: " + in + ". Abort.\n",
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
