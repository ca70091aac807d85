// Helpers shared by the tests: scratch directories, files, small models and
// running the real programs.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "model_builder.hpp"

namespace fs = std::filesystem;

// A fresh directory per test, removed afterwards.
class ScratchDir : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string path(const std::string& name) const { return (dir / name).string(); }
    // Writes `bytes` as file `name` in the directory and returns its path.
    std::string model_file(const std::string& name, const ModelBuffer& bytes) const;
    // Number of entries in the directory: shows whether a temporary was left.
    std::size_t entries() const;
    fs::path dir;
};

ModelBuffer read_file(const std::string& path);
void write_file(const std::string& path, const ModelBuffer& bytes);

struct RunResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out, err;
};

struct RunOptions {
    bool mergeStreams = false;     // standard error into the standard output capture
    long long fileSizeLimit = -1;  // RLIMIT_FSIZE in bytes for the child
    long long memoryLimit = -1;    // RLIMIT_AS in bytes for the child
    unsigned timeoutSeconds = 60;  // the child is killed after this long
};

// Runs `binary` (through the cross-compiling emulator, if the tests were built
// with one) and captures its output.
RunResult run_tool(const std::string& binary, const std::vector<std::string>& args,
                   const RunOptions& options = {});

// A model with one frame and one surface whose single frame holds `corners`
// (in model units) joined by one triangle (0, 1, 2). Every vertex starts with
// normal 0xBEEF.
BuiltModel triangle_model(const std::vector<std::array<float, 3>>& corners,
                          std::vector<std::array<std::int32_t, 3>> triangles = {{0, 1, 2}});

// The model as meshmend would save it; unchanged if meshmend would refuse it.
ModelBuffer repaired(ModelBuffer bytes);

// A model with `numFrames` frames, no surfaces.
BuiltModel frames_only_model(int numFrames);

// What a repair pass returned and printed.
struct PassOutput {
    bool ok = false;
    std::string lines;
};

// Runs `pass` (repair_model or the plain reference pass) over `model`,
// which must pass validation, capturing its progress lines.
PassOutput run_pass(const std::function<bool(std::span<std::uint8_t>, std::FILE*)>& pass,
                    ModelBuffer& model);
inline PassOutput run_pass(bool (*pass)(std::span<std::uint8_t>, std::FILE*), ModelBuffer& model) {
    return run_pass(std::function<bool(std::span<std::uint8_t>, std::FILE*)>(pass), model);
}

// Calls visit(vertex) for every vertex-frame of surface s.
void each_vertex(ModelBuffer& model, int s, const std::function<void(std::uint8_t*)>& visit);
// Damage to surface s's normals: random directions, or each turned round.
void randomise_normals(ModelBuffer& model, int s, std::uint32_t seed);
void negate_normals(ModelBuffer& model, int s);

// Normal of vertex v of frame j of surface s.
std::uint16_t normal_of(const ModelBuffer& model, int s, int j, int v);
