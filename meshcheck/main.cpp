// meshcheck: says what is wrong with MD3 models and what meshmend would
// change, without touching them.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "check.hpp"
#include "find_models.hpp"
#include "model_io.hpp"
#include "report.hpp"
#include "run.hpp"

namespace {

constexpr int kStatusClean = 0;
constexpr int kStatusRepairable = 1;  // some model repairable or refused, none worse
constexpr int kStatusBroken = 2;      // some model invalid or unreadable, or no output
constexpr int kStatusUsage = 22;

constexpr const char* kUsage =
    "Usage: meshcheck [--json] [--quiet] <model or folder>...\n"
    "Says what is wrong with each MD3 model and what meshmend would change, without\n"
    "changing anything. A folder stands for every .md3 file below it.\n"
    "  --json     one JSON object per model per line\n"
    "  --quiet    only the models that are not clean or have a warning\n"
    "  --help     this text\n"
    "  --version  the version\n"
    "Exit status: 0 all clean, 1 some repairable or refused, 2 some invalid or\n"
    "unreadable, 22 usage error.\n";

struct Options {
    bool json = false;
    bool quiet = false;
    std::vector<std::string> names;
};

[[noreturn]] void usage_error(const std::string& problem) {
    print_text(stderr, "meshcheck: " + problem + "\n" + kUsage);
    std::exit(kStatusUsage);
}

[[noreturn]] void print_and_end(const char* text) {
    std::fputs(text, stdout);
    std::exit(std::fflush(stdout) == 0 ? kStatusClean : kStatusBroken);
}

Options parse_options(const std::vector<std::string>& args) {
    Options options;
    bool optionsEnd = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            options.names.push_back(arg);
        } else if (arg == "--") {
            optionsEnd = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--help") {
            print_and_end(kUsage);
        } else if (arg == "--version") {
            print_and_end("meshcheck 0.2\n");
        } else {
            usage_error("unknown option " + arg);
        }
    }
    if (options.names.empty()) usage_error("no model or folder given");
    return options;
}

// Loads and checks one file; `model` and `workspace` are reused between files.
ModelReport check_file(const std::string& path, ModelBuffer& model, CheckWorkspace& workspace) {
    LoadFailure failure;
    switch (load_model(path, model, &failure)) {
        case LoadResult::ok: return check_model(model, workspace);
        case LoadResult::too_short: {
            // In the layout check's own words, which need only the size.
            static const std::uint8_t none[Md3Header::kSize] = {};
            return check_model(std::span(none, static_cast<std::size_t>(failure.size)), workspace);
        }
        case LoadResult::cannot_open:
        case LoadResult::no_memory: break;
    }
    ModelReport report;
    report.verdict = Verdict::unreadable;
    report.size = failure.size;
    report.error = failure.error.message();
    return report;
}

// The same, except that a model too large to check in the memory there is
// (its copy, its angle arrays) is reported for itself, and what it took is
// given back, so that the run goes on to the next model.
ModelReport check_or_report(const std::string& path, ModelBuffer& model,
                            CheckWorkspace& workspace) {
    try {
        return check_file(path, model, workspace);
    } catch (const std::bad_alloc&) {
        const auto size = static_cast<std::int64_t>(model.size());
        ModelBuffer().swap(model);
        ModelBuffer().swap(workspace.copy);
        workspace.first = {};
        workspace.second = {};
        workspace.corners = {};
        workspace.degenerate = {};
        workspace.flat = {};
        workspace.boxes = {};
        workspace.outside = {};
        workspace.order = {};
        workspace.angles = {};
        workspace.farthest = {};
        ModelReport report;
        report.verdict = Verdict::unreadable;
        report.size = size > 0 ? size : -1;
        report.error = "not enough memory to check it";
        return report;
    }
}

// Whether a model is worth showing under --quiet: it is not clean, or it has
// a warning to give.
bool has_something_to_say(const ModelReport& report) {
    return report.verdict != Verdict::clean || !report.warnings.empty();
}

int check_all(const Options& options) {
    ModelBuffer model;
    CheckWorkspace workspace;
    Tally tally;
    for (const std::string& name : options.names) {
        for (const FoundModel& found : find_models(name)) {
            ModelReport report;
            if (found.error.empty()) {
                report = check_or_report(found.path, model, workspace);
            } else {
                report.verdict = Verdict::unreadable;
                report.error = found.error;
            }
            tally.add(report);
            if (options.quiet && !has_something_to_say(report)) continue;
            print_text(stdout, options.json ? json_line(found.path, report)
                                            : text_report(found.path, report));
        }
    }
    const long long worse = tally.byVerdict[static_cast<std::size_t>(Verdict::invalid)] +
                            tally.byVerdict[static_cast<std::size_t>(Verdict::unreadable)];
    const long long notClean =
        tally.models - tally.byVerdict[static_cast<std::size_t>(Verdict::clean)];
    if (!options.json && tally.models != 1 &&
        (!options.quiet || notClean > 0 || tally.warnings > 0))
        print_text(stdout, summary_line(tally));

    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "meshcheck: unable to write the report: %s\n", std::strerror(errno));
        return kStatusBroken;
    }
    if (worse > 0) return kStatusBroken;
    return notClean > 0 ? kStatusRepairable : kStatusClean;
}

int run(const std::vector<std::string>& args) {
    const Options options = parse_options(args);
    try {
        return check_all(options);
    } catch (const std::bad_alloc&) {
        // Outside any one model: listing a folder, or writing the report.
        std::fflush(stdout);
        std::fputs("meshcheck: out of memory\n", stderr);
        return kStatusBroken;
    }
}

}  // namespace

MD3_PROGRAM_ENTRY(run)
