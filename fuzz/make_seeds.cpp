// Writes the seed corpus for the fuzz targets into the directory named on the
// command line: models from the project's builder with several surfaces and
// frames, degenerate triangles, and names with and without separators.
#include <cstdio>
#include <string>

#include "model_builder.hpp"

namespace {

bool write(const std::string& path, const ModelBuffer& bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];

    bool ok = true;
    for (const auto& [name, model] : seed_models())
        ok = write(dir + "/" + name, build_model(model)) && ok;
    if (!ok) {
        std::fprintf(stderr, "%s: cannot write seeds into %s\n", argv[0], dir.c_str());
        return 1;
    }
    return 0;
}
