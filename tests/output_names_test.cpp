// Both programs on output names the system treats specially: symbolic links
// that never end, and names at the system's length limits.
#include <sys/stat.h>

#include <functional>
#include <map>
#include <string_view>

#include "support.hpp"

namespace {

struct Tool {
    const char* label;
    const char* binary;
    int abortStatus;
    std::string banner;  // what standard error starts with
    const char* radius;  // sphereset's third argument, or nullptr
    std::vector<std::string> args(const std::string& in, const std::string& out) const {
        if (!radius) return {in, out};
        return {in, out, radius};
    }
};

const Tool kTools[] = {{"meshmend", MESHMEND_BIN, 255, "meshmend 0.2\n", nullptr},
                       {"sphereset", SPHERESET_BIN, 1, "", "64"}};

std::string digest(const ModelBuffer& bytes) {
    const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return std::to_string(bytes.size()) + " bytes, hash " +
           std::to_string(std::hash<std::string_view>()(view));
}

class OutputNames : public ScratchDir {
protected:
    // Every entry below the directory: a link's target, a file's size and hash.
    std::map<std::string, std::string> snapshot() const {
        std::map<std::string, std::string> seen;
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir)) {
            const std::string name = e.path().lexically_relative(dir).string();
            if (e.is_symlink())
                seen[name] = "-> " + fs::read_symlink(e.path()).string();
            else if (e.is_directory())
                seen[name] = "folder";
            else if (e.is_fifo())
                seen[name] = "pipe";
            else
                seen[name] = digest(read_file(e.path().string()));
        }
        return seen;
    }

    // Runs `tool` into output `out`, which the system cannot open, and checks
    // that it is refused with nothing on disk changed.
    void expect_refused(const Tool& tool, const std::string& in, const std::string& out) {
        const auto before = snapshot();
        const RunResult r = run_tool(tool.binary, tool.args(in, out));
        EXPECT_EQ(r.status, tool.abortStatus) << tool.label;
        EXPECT_EQ(r.err, tool.banner + "Unable to open " + out + ". Abort.\n") << tool.label;
        EXPECT_EQ(snapshot(), before) << tool.label;
    }

    // What `tool` writes from `in` to a plain new name.
    ModelBuffer plain_output(const Tool& tool, const std::string& in) {
        const std::string out = path("plain.out");
        EXPECT_EQ(run_tool(tool.binary, tool.args(in, out)).status, 0);
        ModelBuffer bytes = read_file(out);
        fs::remove(out);
        return bytes;
    }
};

}  // namespace

TEST_F(OutputNames, LinkLoopIsRefused) {
    const std::string in = model_file("in.md3", read_file(SAMPLE_MODEL));
    fs::create_symlink("l2", dir / "l1");
    fs::create_symlink("l1", dir / "l2");
    fs::create_symlink("self", dir / "self");
    for (const Tool& tool : kTools) {
        expect_refused(tool, in, path("l1"));
        expect_refused(tool, in, path("self"));
    }
}

TEST_F(OutputNames, OutputThatIsNoFileIsRefused) {
    const std::string in = model_file("in.md3", read_file(SAMPLE_MODEL));
    ASSERT_EQ(mkfifo(path("pipe.md3").c_str(), 0644), 0);
    fs::create_directory(dir / "folder.md3");
    fs::create_symlink("pipe.md3", dir / "to-pipe.md3");
    for (const Tool& tool : kTools)
        for (const char* out : {"pipe.md3", "folder.md3", "to-pipe.md3"})
            expect_refused(tool, in, path(out));
}

TEST_F(OutputNames, ChainLongerThanTheSystemFollowsIsRefused) {
    // No system follows more than 40 links in one name.
    const std::string in = model_file("in.md3", read_file(SAMPLE_MODEL));
    model_file("real.md3", ModelBuffer(200, 'r'));
    std::string previous = "real.md3";
    for (int i = 1; i <= 41; ++i) {
        const std::string link = "c" + std::to_string(i);
        fs::create_symlink(previous, dir / link);
        previous = link;
    }
    for (const Tool& tool : kTools) expect_refused(tool, in, path(previous));
}

TEST_F(OutputNames, NamesAtTheLengthLimitsAreWritten) {
    const ModelBuffer sample = read_file(SAMPLE_MODEL);
    const std::string in = model_file("in.md3", sample);
    // A last component of 255 bytes, the usual limit, repaired in place.
    const std::string longest = std::string(251, 'n') + ".md3";
    // A whole path of 4095 bytes, the usual limit, in folders of 100.
    std::string deep = dir.string();
    while (4095 - deep.size() - 1 > 200) deep += "/" + std::string(100, 'd');
    fs::create_directories(deep);
    deep += "/" + std::string(4095 - deep.size() - 1, 'o');
    ASSERT_EQ(deep.size(), 4095u);

    for (const Tool& tool : kTools) {
        const ModelBuffer expected = plain_output(tool, in);
        model_file(longest, sample);
        auto after = snapshot();
        after[longest] = digest(expected);
        const RunResult inPlace =
            run_tool(tool.binary, tool.args(path(longest), tool.radius ? "same" : ""));
        EXPECT_EQ(inPlace.status, 0) << tool.label << inPlace.err;
        EXPECT_EQ(snapshot(), after) << tool.label;

        const RunResult far = run_tool(tool.binary, tool.args(in, deep));
        EXPECT_EQ(far.status, 0) << tool.label << far.err;
        after[fs::path(deep).lexically_relative(dir).string()] = digest(expected);
        EXPECT_EQ(snapshot(), after) << tool.label;
        fs::remove(deep);
    }
}
