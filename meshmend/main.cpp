// meshmend: repairs an MD3 model's names, vertex normals and frame bounds, in
// place or into a new file.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "md3_layout.hpp"
#include "model_io.hpp"
#include "output_name.hpp"
#include "repair.hpp"
#include "run.hpp"
#include "validate_layout.hpp"

namespace md3 {

namespace {

constexpr int kStatusUsage = 22;
constexpr int kStatusAbort = -1;  // 255 where only eight bits survive

[[noreturn]] void show_usage(const std::string& program) {
    const std::string usage =
        "Fixes a corrupted Quake III Arena MD3 model, including bad shader names and malformed "
        "vertex normals.\nUsage: " +
        program + " <in> [<out>]\n" +
        "If no output filename is specified, it will overwrite the original model.\n\n";
    print_text(stderr, usage);
    std::exit(kStatusUsage);
}

ModelBuffer load_and_validate(const std::string& input) {
    ModelBuffer model = load_or_abort(input, kStatusAbort);
    // The reason is meshcheck's to show; here a broken model is only refused.
    if (!validate_layout(model)) abort_run(kStatusAbort, kCorruptModel, input);
    return model;
}

void save(const std::string& output, const ModelBuffer& model) {
    // Bytes past ofsEnd are not part of the model and are not written.
    const std::size_t length = static_cast<std::size_t>(Md3Header::ofsEnd(model.data()));
    PendingOutput pending;
    if (!open_output_removed_on_interrupt(output, pending))
        abort_run(kStatusAbort, kUnableToOpen, output);
    const bool committed = commit_output(pending, std::span(model).first(length));
    remove_on_interrupt(nullptr);
    if (!committed) abort_run(kStatusAbort, kUnableToWrite, output);
}

int run(const std::vector<std::string>& args) {
    ignore_file_size_signal();
    const std::string program = args.empty() ? "meshmend" : args[0];
    std::fprintf(stderr, "meshmend 0.2\n");
    if (args.size() < 2) show_usage(program);

    // Names fill the input slot, then the output slot; an empty argument
    // leaves its slot empty for the next one.
    std::string input, output;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (input.empty())
            input = args[i];
        else if (output.empty())
            output = args[i];
        else
            show_usage(program);
    }
    if (output.empty()) output = default_output_name(input);

    ModelBuffer model = load_and_validate(input);
    const auto workspace = std::make_unique_for_overwrite<RepairWorkspace>();
    if (!repair_model(model, stdout, *workspace))
        abort_run(kStatusAbort, "Surface has more than %s vertexes. Abort.\n",
                  std::to_string(kMaxSurfaceVerts));
    save(output, model);
    std::fflush(stdout);
    return 0;
}

}  // namespace

}  // namespace md3

MD3_PROGRAM_ENTRY(md3::run)
