#include "support.hpp"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include "pack_normal.hpp"
#include "packed_normal.hpp"
#include "repair.hpp"
#include "validate_layout.hpp"

using namespace md3;

void ScratchDir::SetUp() {
    std::string pattern = (fs::temp_directory_path() / "md3test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
}

void ScratchDir::TearDown() { fs::remove_all(dir); }

std::string ScratchDir::model_file(const std::string& name, const ModelBuffer& bytes) const {
    write_file(path(name), bytes);
    return path(name);
}

std::size_t ScratchDir::entries() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

ModelBuffer read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return ModelBuffer(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const ModelBuffer& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

namespace {

std::string slurp_and_remove(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fs::remove(path);
    return text;
}

}  // namespace

RunResult run_tool(const std::string& binary, const std::vector<std::string>& args,
                   const RunOptions& options) {
    const std::string base =
        (fs::temp_directory_path() / ("md3run-" + std::to_string(getpid()))).string();
    const std::string outPath = base + ".out", errPath = base + ".err";

    std::vector<std::string> command;
    if (std::string(TOOL_EMULATOR).size() > 0) command.push_back(TOOL_EMULATOR);
    command.push_back(binary);
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err =
            options.mergeStreams ? out : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(err, 2);
        if (options.fileSizeLimit >= 0) {
            const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                               static_cast<rlim_t>(options.fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (options.memoryLimit >= 0) {
            const rlimit limit{static_cast<rlim_t>(options.memoryLimit),
                               static_cast<rlim_t>(options.memoryLimit)};
            setrlimit(RLIMIT_AS, &limit);
        }
        alarm(options.timeoutSeconds);  // survives exec: a hung tool is killed
        execvp(argv[0], argv.data());
        _exit(127);
    }
    RunResult result;
    int wstatus = 0;
    waitpid(child, &wstatus, 0);
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    result.out = slurp_and_remove(outPath);
    if (!options.mergeStreams) result.err = slurp_and_remove(errPath);
    return result;
}

BuiltModel triangle_model(const std::vector<std::array<float, 3>>& corners,
                          std::vector<std::array<std::int32_t, 3>> triangles) {
    BuiltModel m;
    m.name = "tri";
    m.frames.resize(1);
    BuiltSurface s;
    s.name = "surface";
    s.triangles = std::move(triangles);
    std::vector<BuiltVertex> frame;
    for (const auto& c : corners)
        frame.push_back({static_cast<std::int16_t>(c[0] * 64), static_cast<std::int16_t>(c[1] * 64),
                         static_cast<std::int16_t>(c[2] * 64), 0xBEEF});
    s.frames.push_back(frame);
    m.surfaces.push_back(s);
    return m;
}

ModelBuffer repaired(ModelBuffer bytes) {
    // A refused pass leaves half-done changes behind: it works on a copy.
    ModelBuffer copy = bytes;
    if (!repair_model(copy, nullptr)) return bytes;
    copy.resize(static_cast<std::size_t>(Md3Header::ofsEnd(copy.data())));
    return copy;
}

BuiltModel frames_only_model(int numFrames) {
    BuiltModel m;
    m.name = "frames";
    for (int i = 0; i < numFrames; ++i)
        m.frames.push_back({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, 64.0f, "f" + std::to_string(i)});
    return m;
}

PassOutput run_pass(const std::function<bool(std::span<std::uint8_t>, std::FILE*)>& pass,
                    ModelBuffer& model) {
    EXPECT_TRUE(validate_layout(model));
    char* text = nullptr;
    std::size_t length = 0;
    std::FILE* out = open_memstream(&text, &length);
    PassOutput result;
    result.ok = pass(model, out);
    std::fclose(out);
    result.lines.assign(text, length);
    std::free(text);
    return result;
}

std::uint16_t normal_of(const ModelBuffer& model, int s, int j, int v) {
    const std::uint8_t* surface = model.data() + surface_offset(model.data(), s);
    return Md3Vertex::normal(vertex_frame(surface, j) + std::int64_t{v} * Md3Vertex::kSize);
}

void each_vertex(ModelBuffer& model, int s, const std::function<void(std::uint8_t*)>& visit) {
    std::uint8_t* surface = model.data() + surface_offset(model.data(), s);
    for (std::int32_t j = 0; j < Md3Surface::numFrames(surface); ++j)
        for (std::int32_t v = 0; v < Md3Surface::numVerts(surface); ++v)
            visit(vertex_frame(surface, j) + std::int64_t{v} * Md3Vertex::kSize);
}

void randomise_normals(ModelBuffer& model, int s, std::uint32_t seed) {
    std::mt19937 random(seed);
    each_vertex(model, s, [&](std::uint8_t* v) {
        Md3Vertex::set_normal(v, static_cast<std::uint16_t>(random()));
    });
}

void negate_normals(ModelBuffer& model, int s) {
    each_vertex(model, s, [&](std::uint8_t* v) {
        float n[3];
        decode_normal(Md3Vertex::normal(v), n);
        Md3Vertex::set_normal(v, pack_normal(-n[0], -n[1], -n[2]));
    });
}
