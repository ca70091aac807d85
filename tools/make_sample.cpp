// Writes a model to the file named on the command line: the bundled sample,
// with the word "barrel" the second one, or with three more numbers a generated model of that many
// surfaces, frames and (at most) vertices per surface, and with a fourth word "seams" the same with
// seams (see with_seams).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model_builder.hpp"

int main(int argc, char** argv) {
    const bool seams = argc == 6 && std::string(argv[5]) == "seams";
    const bool barrel = argc == 3 && std::string(argv[2]) == "barrel";
    if (argc != 2 && argc != 5 && !seams && !barrel) {
        std::fprintf(stderr,
                     "usage: %s <output.md3> [barrel | <surfaces> <frames> <vertices> [seams]]\n",
                     argv[0]);
        return 2;
    }
    BuiltModel model =
        argc == 2 ? sample_model()
        : barrel  ? barrel_model()
                  : generated_model(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    if (seams) model = with_seams(model);
    const ModelBuffer bytes = build_model(model);
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
        std::fclose(out) != 0) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
