// sphereset: sets the bounding radius of every frame of an MD3 model.
#include <cstdio>
#include <string>
#include <vector>

#include "md3_layout.hpp"
#include "model_io.hpp"
#include "radius.hpp"
#include "run.hpp"
#include "validate_layout.hpp"

namespace md3 {

namespace {

constexpr int kStatusFailure = 1;

void show_usage() {
    std::printf(
        "sphereset 1.0:\n"
        " - changes the radius value for each frame of animation\n\n"
        " USAGE:\n"
        "   sphereset <input md3 filename> <output md3 filename> <new radius value>\n\n"
        " EXAMPLE:\n"
        "   sphereset dreadnought.md3 dn.md3 1024\n"
        "    - modifies radius and outputs dn.md3\n\n"
        "   sphereset skiff.md3 same 128\n"
        "    - modifies radius and outputs skiff.md3\n");
}

int run(const std::vector<std::string>& args) {
    ignore_file_size_signal();
    if (args.size() < 4) {
        show_usage();
        return 0;
    }
    // Checked before anything is read: a typo must not zero every radius.
    const std::optional<double> radius = parse_radius(args[3].c_str());
    if (!radius) abort_run(kStatusFailure, "Invalid radius value: %s. Abort.\n", args[3]);

    const std::string& input = args[1];
    ModelBuffer model = load_or_abort(input, kStatusFailure);
    // Only the frame array is touched, so only it is checked; magic and
    // version are deliberately not looked at.
    if (!frames_inside(model.data(), static_cast<std::int64_t>(model.size())))
        abort_run(kStatusFailure, kCorruptModel, input);

    set_radii(model, *radius, stdout);

    const std::string& output = args[2] == "same" ? input : args[2];
    PendingOutput pending;
    if (!open_output_removed_on_interrupt(output, pending))
        abort_run(kStatusFailure, kUnableToOpen, output);
    std::printf("new radius: %zu\n", model.size());
    const bool committed = commit_output(pending, model);
    remove_on_interrupt(nullptr);
    if (!committed) abort_run(kStatusFailure, kUnableToWrite, output);
    std::printf("got here\n");
    return 0;
}

}  // namespace

}  // namespace md3

MD3_PROGRAM_ENTRY(md3::run)
