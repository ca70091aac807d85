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
#include "engines.hpp"
#include "find_models.hpp"
#include "model_io.hpp"
#include "report.hpp"
#include "run.hpp"

namespace {

constexpr int kStatusFine = 0;
constexpr int kStatusErrors = 1;  // some model with an error (or, as asked, a warning or a change)
constexpr int kStatusBroken = 2;  // some model invalid or unreadable, or no output
constexpr int kStatusUsage = 22;

constexpr const char* kUsage =
    "Usage: meshcheck [--engine NAME] [--strict] [--changes] [--json] [--quiet]\n"
    "                 <model or folder>...\n"
    "Says what is wrong with each MD3 model in the game, and what meshmend would\n"
    "change, without changing anything. A folder stands for every .md3 file below it.\n"
    "  --engine NAME  grade for this engine: ioq3 (the default), q3, quake3e, etlegacy\n"
    "  --strict       a warning fails the run too\n"
    "  --changes      a model meshmend would change or refuse fails the run too\n"
    "  --json         one JSON object per model per line\n"
    "  --quiet        only the models with a problem (and, with --changes, those\n"
    "                 meshmend would change or refuse)\n"
    "  --help         this text\n"
    "  --version      the version\n"
    "Exit status: 0 no model with an error, 1 some model with an error, 2 some\n"
    "invalid or unreadable, 22 usage error; the highest applies.\n";

struct Options {
    bool json = false;
    bool quiet = false;
    bool strict = false;
    bool changes = false;
    const EngineProfile* engine = &default_engine();
    std::vector<std::string> names;
};

[[noreturn]] void usage_error(const std::string& problem) {
    print_text(stderr, "meshcheck: " + problem + "\n" + kUsage);
    std::exit(kStatusUsage);
}

[[noreturn]] void print_and_end(const char* text) {
    std::fputs(text, stdout);
    std::exit(std::fflush(stdout) == 0 ? kStatusFine : kStatusBroken);
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
        } else if (arg == "--strict") {
            options.strict = true;
        } else if (arg == "--changes") {
            options.changes = true;
        } else if (arg == "--engine" || arg.starts_with("--engine=")) {
            std::string name;
            if (arg == "--engine") {
                if (++i == args.size()) usage_error("--engine needs a name: " + engine_names());
                name = args[i];
            } else {
                name = arg.substr(9);
            }
            options.engine = find_engine(name);
            if (!options.engine)
                usage_error("unknown engine \"" + name + "\"; engines: " + engine_names());
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
ModelReport check_file(const std::string& path, ModelBuffer& model, CheckWorkspace& workspace,
                       const EngineProfile& engine) {
    LoadFailure failure;
    switch (load_model(path, model, &failure)) {
        case LoadResult::ok: return check_model(model, workspace, engine);
        case LoadResult::too_short: {
            // In the layout check's own words, which need only the size.
            static const std::uint8_t none[Md3Header::kSize] = {};
            return check_model(std::span(none, static_cast<std::size_t>(failure.size)), workspace,
                               engine);
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
ModelReport check_or_report(const std::string& path, ModelBuffer& model, CheckWorkspace& workspace,
                            const EngineProfile& engine) {
    try {
        return check_file(path, model, workspace, engine);
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

// Whether a model is worth showing under --quiet: it has a problem, or it
// is invalid or unreadable, or (under --changes) meshmend would change or
// refuse it.
bool has_something_to_say(const ModelReport& report, const Options& options) {
    return health_of(report) != Health::ok || (options.changes && report.verdict != Verdict::clean);
}

// The exit status the models seen call for: the highest that applies.
int status_of(const Tally& tally, const Options& options) {
    const auto health = [&](Health h) { return tally.byHealth[static_cast<std::size_t>(h)]; };
    if (health(Health::invalid) + health(Health::unreadable) > 0) return kStatusBroken;
    if (health(Health::errors) > 0) return kStatusErrors;
    if (options.strict && health(Health::warnings) > 0) return kStatusErrors;
    if (options.changes && tally.byVerdict[static_cast<std::size_t>(Verdict::clean)] < tally.models)
        return kStatusErrors;
    return kStatusFine;
}

int check_all(const Options& options) {
    ModelBuffer model;
    CheckWorkspace workspace;
    Tally tally;
    bool shown = false;
    for (const std::string& name : options.names) {
        for (const FoundModel& found : find_models(name)) {
            ModelReport report;
            if (found.error.empty()) {
                report = check_or_report(found.path, model, workspace, *options.engine);
            } else {
                report.verdict = Verdict::unreadable;
                report.error = found.error;
            }
            tally.add(report);
            if (options.quiet && !has_something_to_say(report, options)) continue;
            shown = true;
            print_text(stdout, options.json ? json_line(found.path, report)
                                            : text_report(found.path, report));
        }
    }
    if (!options.json && tally.models != 1 && (!options.quiet || shown))
        print_text(stdout, summary_line(tally));

    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "meshcheck: unable to write the report: %s\n", std::strerror(errno));
        return kStatusBroken;
    }
    return status_of(tally, options);
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
