// A pipe, a socket or a device where a file is expected is refused without
// waiting on it, whatever route named it, and the run goes on. Every run has
// a short timeout: a program that blocks fails the test instead of hanging
// the suite.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "support.hpp"
#include "zip_builder.hpp"

namespace {

class FileTypes : public ScratchDir {
protected:
    // A FIFO nobody writes to: opening it for reading blocks unless asked not to.
    std::string fifo(const std::string& name) const {
        fs::create_directories(fs::path(path(name)).parent_path());
        EXPECT_EQ(::mkfifo(path(name).c_str(), 0644), 0) << name;
        return path(name);
    }

    // A listening socket bound to `name`, closed when the test ends.
    std::string socket_file(const std::string& name) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string where = path(name);
        if (where.size() >= sizeof address.sun_path) return "";
        std::memcpy(address.sun_path, where.c_str(), where.size() + 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return "";
        sockets.push_back(fd);
        return where;
    }

    void TearDown() override {
        for (int fd : sockets) ::close(fd);
        ScratchDir::TearDown();
    }

    void write_bytes(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        fs::create_directories(fs::path(path(name)).parent_path());
        write_file(path(name), ModelBuffer(bytes.begin(), bytes.end()));
    }

    std::vector<int> sockets;
};

RunResult run_briefly(const std::string& binary, const std::vector<std::string>& args) {
    RunOptions options;
    // Long enough for a run through an emulator, short enough that a program
    // that waits fails the test in seconds.
    options.timeoutSeconds = std::string(TOOL_EMULATOR).empty() ? 10 : 60;
    options.mergeStreams = true;
    return run_tool(binary, args, options);
}

}  // namespace

// meshmend and sphereset refuse a pipe, a socket or a device as their input
// with their usual message and status, and write nothing.
TEST_F(FileTypes, RepairToolsRefuseWhatIsNoRegularFile) {
    const std::vector<std::string> inputs = {fifo("pipe.md3"), socket_file("sock.md3"), "/dev/null",
                                             "/dev/zero"};
    for (const std::string& input : inputs) {
        if (input.empty()) continue;  // no socket on this system
        SCOPED_TRACE(input);
        const RunResult mend = run_briefly(MESHMEND_BIN, {input, path("out.md3")});
        EXPECT_EQ(mend.status, 255) << mend.out;
        EXPECT_NE(mend.out.find("Unable to open " + input + ". Abort.\n"), std::string::npos)
            << mend.out;
        const RunResult set = run_briefly(SPHERESET_BIN, {input, path("out.md3"), "5"});
        EXPECT_EQ(set.status, 1) << set.out;
        EXPECT_EQ(set.out, "Unable to open " + input + ". Abort.\n");
        EXPECT_FALSE(fs::exists(dir / "out.md3"));
    }
}

// meshcheck reports each such name as unreadable (or, for the game's own
// archives and scripts, warns and leaves it out), checks the rest and ends.
TEST_F(FileTypes, MeshcheckRefusesThemOnEveryRoute) {
    const ModelBuffer model = repaired(read_file(SAMPLE_MODEL));
    const std::vector<std::uint8_t> bytes(model.begin(), model.end());
    write_bytes("good.md3", bytes);
    write_bytes("game/models/players/bob/head.md3", bytes);
    fifo("game/models/players/bob/head_default.skin");
    fifo("game/zz.pk3");
    fifo("game/scripts/a.shader");
    fifo("game/models/x.md3");
    fifo("game/mod.pk3dir/models/y.md3");
    fifo("tree/walked.md3");
    const std::string sock = socket_file("sock.md3");

    struct Case {
        std::vector<std::string> args;
        std::string expected;  // a line of the report or a warning
    };
    std::vector<Case> cases = {
        {{fifo("pipe.md3")}, path("pipe.md3") + ": unreadable\n  not a regular file"},
        {{fifo("pipe.pk3")}, path("pipe.pk3") + ": unreadable\n  not a regular file"},
        {{"/dev/null"}, "/dev/null: unreadable\n  not a regular file"},
        {{path("tree")}, path("tree/walked.md3") + ": unreadable\n  not a regular file"},
        {{path("game/mod.pk3dir")}, ":models/y.md3: unreadable\n  not a regular file"},
        {{"--game", path("game"), "models/x.md3"},
         path("game/models/x.md3") + ": unreadable\n  not a regular file"},
        {{"--game", path("game"), path("good.md3")},
         "meshcheck: warning: " + path("game/zz.pk3") +
             ": not a regular file; left out of the game"},
        {{"--game", path("game"), path("good.md3")},
         path("game/scripts/a.shader") + ": not a regular file; its shaders are not defined"},
        {{"--game", path("game"), "models/players/bob/head.md3"},
         path("game/models/players/bob/head.md3") + ": "},
    };
    if (!sock.empty()) cases.push_back({{sock}, sock + ": unreadable\n  not a regular file"});
    for (Case& c : cases) {
        c.args.push_back(path("good.md3"));
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        const RunResult r = run_briefly(MESHCHECK_BIN, c.args);
        EXPECT_LT(r.status, 128) << r.out;  // not killed at the timeout
        EXPECT_NE(r.out.find(c.expected), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(path("good.md3") + ": "), std::string::npos) << r.out;
    }
}
