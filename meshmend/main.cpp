// meshmend: repairs an MD3 model's names, vertex normals and frame bounds, in
// place or into a new file.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "command_line.hpp"
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

std::string usage_text(const std::string& program) {
    return "Fixes a corrupted Quake III Arena MD3 model, including bad shader names and malformed "
           "vertex normals.\nUsage: " +
           program + " <in> [<out>]\n" +
           "If no output filename is specified, it will overwrite the original model.\n\n";
}

std::string options_text() {
    char crease[32];
    std::snprintf(crease, sizeof crease, "%g", kDefaultCreaseDegrees);
    return std::string(
               "Options, before the first name:\n"
               "  --normals=rebuild  rebuild every vertex normal from the triangles (the "
               "default)\n"
               "  --normals=weld     the same, but copies of a vertex along a texture seam "
               "share one normal\n"
               "  --normals=broken   weld only surfaces whose normals are broken or inverted; "
               "keep the rest\n"
               "  --normals=keep     change no normal\n"
               "  --crease=DEGREES   with weld or broken: copies whose normals are further "
               "apart stay apart (") +
           crease +
           ")\n"
           "  --help             this text\n"
           "  --version          the version\n"
           "  --                 ends the options, for a name that begins with --\n";
}

// The usage error: what was wrong, if anything, then the usage text.
[[noreturn]] void show_usage(const std::string& program, const std::string& problem = "") {
    print_text(stderr,
               (problem.empty() ? "" : "meshmend: " + problem + "\n") + usage_text(program));
    std::exit(kStatusUsage);
}

[[noreturn]] void print_and_end(const std::string& text) {
    print_text(stdout, text);
    std::exit(std::fflush(stdout) == 0 ? 0 : kStatusAbort);
}

// The mode, beside the banner, when it is not the default.
void say_normals(const NormalChoice& normals) {
    if (normals.mode == NormalMode::weld)
        std::fprintf(stderr, "Normals: weld, crease %g degrees\n", normals.creaseDegrees);
    else if (normals.mode == NormalMode::broken)
        std::fprintf(stderr, "Normals: broken surfaces welded, crease %g degrees\n",
                     normals.creaseDegrees);
    else if (normals.mode == NormalMode::keep)
        std::fprintf(stderr, "Normals: keep\n");
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
    const CommandLine line = parse_command_line(args);
    switch (line.action) {
        case CommandLine::Action::usage: show_usage(program, line.problem);
        case CommandLine::Action::help: print_and_end(usage_text(program) + options_text());
        case CommandLine::Action::version: print_and_end("meshmend 0.2\n");
        case CommandLine::Action::repair: break;
    }
    say_normals(line.normals);
    const std::string& input = line.input;
    const std::string output = line.output.empty() ? default_output_name(input) : line.output;

    ModelBuffer model = load_and_validate(input);
    const auto workspace = std::make_unique_for_overwrite<RepairWorkspace>();
    if (!repair_model(model, stdout, *workspace, best_instruction_set(), line.normals))
        abort_run(kStatusAbort, "Surface has more than %s vertexes. Abort.\n",
                  std::to_string(kMaxSurfaceVerts));
    save(output, model);
    std::fflush(stdout);
    return 0;
}

}  // namespace

}  // namespace md3

MD3_PROGRAM_ENTRY(md3::run)
