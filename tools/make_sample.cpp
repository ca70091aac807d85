// Writes the bundled sample model to the file named on the command line.
#include <cstdio>

#include "model_builder.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.md3>\n", argv[0]);
        return 2;
    }
    const ModelBuffer bytes = build_model(sample_model());
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
