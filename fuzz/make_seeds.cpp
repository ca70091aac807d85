// Writes the seed corpus for the fuzz targets into the directories named on
// the command line: models from the project's builder with several surfaces
// and frames, degenerate triangles, and names with and without separators;
// then, into the second, small archives of stored and deflate members.
#include <cstdio>
#include <string>

#include "model_builder.hpp"
#include "zip_builder.hpp"

namespace {

bool write(const std::string& path, const ModelBuffer& bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && ok;
}

bool write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    return write(path, ModelBuffer(bytes.begin(), bytes.end()));
}

bool write_archive_seeds(const std::string& dir) {
    const ModelBuffer model = build_model(generated_model(1, 2, 14));
    const std::vector<std::uint8_t> modelBytes(model.begin(), model.end());
    const std::vector<BuiltMember> mixed = {{"models/", {}, false},
                                            {"models/Ship.MD3", modelBytes, true},
                                            {"scripts/ship.shader", sample_bytes(300, 1), false},
                                            {"Textures\\Ship.tga", sample_bytes(2000, 2), true},
                                            {"empty.txt", {}, true}};
    return write(dir + "/mixed.pk3", build_zip(mixed).bytes) &&
           write(dir + "/stored.pk3", build_zip({{"a.md3", modelBytes, false}}).bytes) &&
           write(dir + "/deflate.pk3",
                 build_zip({{"b.md3", sample_bytes(9000, 3), true}}, "comment").bytes) &&
           write(dir + "/empty.pk3", build_zip({}).bytes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <model directory> <archive directory>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];

    bool ok = true;
    for (const auto& [name, model] : seed_models())
        ok = write(dir + "/" + name, build_model(model)) && ok;
    // Copies of vertices at one position, for the weld mode to group and
    // split: seams across smooth and sharp stretches of an animated model.
    ok = write(dir + "/seams.md3", build_model(with_seams(generated_model(2, 3, 30)))) && ok;
    ok = write_archive_seeds(argv[2]) && ok;
    if (!ok) {
        std::fprintf(stderr, "%s: cannot write seeds into %s\n", argv[0], dir.c_str());
        return 1;
    }
    return 0;
}
