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

    BuiltModel degenerate = generated_model(1, 2, 14);
    degenerate.surfaces[0].triangles.push_back({3, 3, 3});
    degenerate.surfaces[0].triangles.push_back({0, 1, 0});
    degenerate.name = "plain_name";
    degenerate.surfaces[0].shaders = {"noextension", "second\\shader.jpeg"};

    BuiltModel framesOnly;
    framesOnly.name = "models\\frames\\only";
    framesOnly.frames.resize(4);

    BuiltModel trailing = generated_model(2, 1, 20);
    trailing.trailingBytes = 64;

    const bool ok = write(dir + "/sample.md3", build_model(sample_model())) &&
                    write(dir + "/three_surfaces.md3", build_model(generated_model(3, 3, 20))) &&
                    write(dir + "/degenerate.md3", build_model(degenerate)) &&
                    write(dir + "/frames_only.md3", build_model(framesOnly)) &&
                    write(dir + "/trailing.md3", build_model(trailing)) &&
                    write(dir + "/header_only.md3", build_model(BuiltModel{}));
    if (!ok) {
        std::fprintf(stderr, "%s: cannot write seeds into %s\n", argv[0], dir.c_str());
        return 1;
    }
    return 0;
}
