// meshcheck: says what is wrong with MD3 models and what meshmend would
// change, without touching them.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "check.hpp"
#include "check_jobs.hpp"
#include "check_pool.hpp"
#include "engines.hpp"
#include "find_models.hpp"
#include "interrupt.hpp"
#include "model_io.hpp"
#include "picture.hpp"
#include "picture_output.hpp"
#include "references.hpp"
#include "report.hpp"
#include "report_folder.hpp"
#include "report_rows.hpp"
#include "run.hpp"

namespace md3 {

namespace {

constexpr int kStatusFine = 0;
constexpr int kStatusErrors = 1;  // some model with an error (or, as asked, a warning or a change)
constexpr int kStatusBroken = 2;  // some model invalid or unreadable, or no output (a picture)
constexpr int kStatusUsage = 22;
constexpr const char* kVersion = "meshcheck 0.2\n";

constexpr const char* kUsage =
    "Usage: meshcheck [--engine NAME] [--game DIR]... [--strict] [--changes] [--json]\n"
    "                 [--quiet] [--jobs N] [--picture FILE.png | --pictures DIR]\n"
    "                 [--frame N] [--report DIR] [--normals MODE [--crease DEG]]\n"
    "                 <model, archive or folder>...\n"
    "Says what is wrong with each MD3 model in the game, and what meshmend would\n"
    "change, without changing anything. A .pk3 archive or .pk3dir folder stands for\n"
    "every .md3 member in it, a folder for every .md3 file and archive below it.\n"
    "  --engine NAME  grade for this engine: ioq3 (the default), q3, quake3e, etlegacy\n"
    "  --game DIR     check shaders, skins, lower details and copies against the\n"
    "                 files the engine sees in DIR: the base game first, then each mod;\n"
    "                 a name that is no file but the game's (models/x.md3) is read\n"
    "                 from the copy the engine uses\n"
    "  --strict       a warning fails the run too\n"
    "  --changes      a model meshmend would change or refuse fails the run too\n"
    "  --json         one JSON object per model per line\n"
    "  --quiet        only the models with a problem, and only their problems\n"
    "                 (with --changes, also what meshmend would change or refuse)\n"
    "  --jobs N       check on N cores (the default: all); the report is the same\n"
    "  --picture FILE.png  draw the one model: lit with its stored normals, with\n"
    "                 meshmend's, and the angle between them\n"
    "  --pictures DIR draw every model, one PNG each in DIR\n"
    "  --report DIR   a page of every model, player and weapon, DIR/index.html, with\n"
    "                 the models' pictures: errors first, filtered and sorted in any\n"
    "                 browser\n"
    "  --frame N      the frame drawn (from 0; the default: the first frame with a\n"
    "                 problem, else 0)\n"
    "  --normals MODE the verdict and changes of meshmend --normals=MODE: rebuild\n"
    "                 (the default), weld, broken or keep\n"
    "  --crease DEG   with weld or broken: as meshmend --crease=DEG\n"
    "  --help         this text\n"
    "  --version      the version\n"
    "Exit status: 0 no model with an error, 1 some model with an error, 2 some\n"
    "invalid or unreadable or a picture not written, 22 usage error; the highest\n"
    "applies.\n";

struct Options {
    bool json = false;
    bool quiet = false;
    bool strict = false;
    bool changes = false;
    const EngineProfile* engine = &default_engine();
    unsigned jobs = 0;               // 0: one per core
    std::string picture;             // --picture: the file for the one model's picture
    std::string pictures;            // --pictures: the folder for every model's picture
    std::string report;              // --report: the folder of the page and its pictures
    std::int32_t frame = -1;         // --frame: the frame they show; -1 the first with a problem
    NormalChoice normals;            // --normals, --crease: the meshmend run checked for
    bool crease = false;             // whether --crease was given
    std::vector<std::string> games;  // --game, in the order given
    std::vector<std::string> names;
};

[[noreturn]] void usage_error(const std::string& problem) {
    print_text(stderr, "meshcheck: " + problem + "\n" + kUsage);
    std::exit(kStatusUsage);
}

// The worker count of --jobs: a whole number from 1 to kMaxJobs.
constexpr unsigned long kMaxJobs = 1024;
std::int32_t parse_frame(const std::string& text) {
    long long value = 0;
    bool digits = !text.empty();
    for (const char c : text) {
        if (c < '0' || c > '9' || value > (1ll << 30)) {
            digits = false;
            break;
        }
        value = value * 10 + (c - '0');
    }
    if (!digits || value > (1ll << 30))
        usage_error("--frame needs a frame number from 0, not \"" + text + "\"");
    return static_cast<std::int32_t>(value);
}

unsigned parse_jobs(const std::string& text) {
    unsigned long value = 0;
    bool digits = !text.empty();
    for (const char c : text) {
        if (c < '0' || c > '9' || value > kMaxJobs) {
            digits = false;
            break;
        }
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (!digits || value < 1 || value > kMaxJobs)
        usage_error("--jobs needs a whole number from 1 to " + std::to_string(kMaxJobs) +
                    ", not \"" + text + "\"");
    return static_cast<unsigned>(value);
}

[[noreturn]] void print_and_end(const char* text) {
    std::fputs(text, stdout);
    std::exit(std::fflush(stdout) == 0 ? kStatusFine : kStatusBroken);
}

// The options that make no sense together, or without the names they need.
void check_together(const Options& options) {
    if (options.names.empty()) usage_error("no model or folder given");
    if (!options.picture.empty() && !options.pictures.empty())
        usage_error("--picture and --pictures do not go together");
    if (!options.picture.empty() && options.names.size() != 1)
        usage_error("--picture draws one model; --pictures DIR draws several");
    if (options.frame >= 0 && options.picture.empty() && options.pictures.empty() &&
        options.report.empty())
        usage_error(
            "--frame chooses the frame of --picture, --pictures or --report, and none is given");
    if (options.crease && !welds(options.normals.mode)) usage_error(kCreaseAlone);
}

// The folder of --report, at args[i].
std::string report_folder_option(const std::vector<std::string>& args, std::size_t i,
                                 const std::string& earlier) {
    if (i >= args.size() || args[i].empty()) usage_error("--report needs a folder");
    if (!earlier.empty()) usage_error("--report given twice");
    return args[i];
}

// Takes --normals or --crease at args[i] (and its value after it), as
// meshmend takes them; false for any other argument.
bool take_normals_option(const std::vector<std::string>& args, std::size_t& i, Options& options) {
    const std::string& arg = args[i];
    if (arg == "--normals" || arg.starts_with("--normals=")) {
        if (arg == "--normals" && ++i == args.size()) usage_error("--normals needs a mode");
        const std::string mode = arg == "--normals" ? args[i] : arg.substr(10);
        if (!parse_normal_mode(mode, options.normals.mode)) usage_error(bad_normal_mode(mode));
        return true;
    }
    if (arg != "--crease" && !arg.starts_with("--crease=")) return false;
    if (arg == "--crease" && ++i == args.size()) usage_error("--crease needs an angle");
    const std::string degrees = arg == "--crease" ? args[i] : arg.substr(9);
    if (!parse_crease_degrees(degrees, options.normals.creaseDegrees))
        usage_error(bad_crease(degrees));
    options.crease = true;
    return true;
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
        } else if (arg == "--game" || arg.starts_with("--game=")) {
            if (arg == "--game" && ++i == args.size()) usage_error("--game needs a folder");
            options.games.push_back(arg == "--game" ? args[i] : arg.substr(7));
            if (options.games.back().empty()) usage_error("--game needs a folder");
        } else if (arg == "--jobs" || arg.starts_with("--jobs=")) {
            if (arg == "--jobs" && ++i == args.size()) usage_error("--jobs needs a number");
            options.jobs = parse_jobs(arg == "--jobs" ? args[i] : arg.substr(7));
        } else if (arg == "--picture" || arg == "--pictures") {
            if (++i == args.size() || args[i].empty()) usage_error(arg + " needs a name");
            std::string& name = arg == "--picture" ? options.picture : options.pictures;
            // Only one would be written: the other would be lost without a word.
            if (!name.empty()) usage_error(arg + " given twice");
            name = args[i];
            if (arg == "--picture" && !is_png_name(args[i]))
                usage_error("--picture needs a name ending in .png, not " + shown_path(args[i]) +
                            ": it writes a PNG file");
        } else if (arg == "--report") {
            options.report = report_folder_option(args, ++i, options.report);
        } else if (arg == "--frame") {
            if (++i == args.size()) usage_error("--frame needs a number");
            if (options.frame >= 0) usage_error("--frame given twice");
            options.frame = parse_frame(args[i]);
        } else if (take_normals_option(args, i, options)) {
        } else if (arg == "--help" || arg == "--version") {
            print_and_end(arg == "--help" ? kUsage : kVersion);
        } else {
            usage_error("unknown option " + shown_path(arg));
        }
    }
    check_together(options);
    return options;
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

// The picture's file for the model of `job`, and how a link there is taken:
// followed for the one named by --picture, as any output's would be; replaced
// as a link in the --pictures folder, whose names anyone can predict.
std::string picture_file(const CheckJob& job, const Options& options, OutputLinks& links) {
    links = options.picture.empty() ? OutputLinks::replace : OutputLinks::follow;
    if (!options.picture.empty()) return options.picture;
    return options.pictures + (options.pictures.ends_with('/') ? "" : "/") +
           picture_file_name(job.path, job.member);
}

// Makes the --pictures folder if it is missing. The system's reason when
// that fails, once, rather than a puzzling failure for every picture in it;
// empty when the folder is there.
std::string make_picture_folder(const std::string& folder) {
    const std::filesystem::path path(std::u8string(folder.begin(), folder.end()));
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return {};
    if (std::filesystem::exists(path, error))
        return std::make_error_code(std::errc::not_a_directory).message();
    if (std::filesystem::create_directory(path, error)) return {};
    return error.message();
}

// Whether pictures are drawn: asked for, and (for --pictures) their folder is
// there or made. A folder that cannot be made is said once and fails the run.
bool pictures_wanted(const Options& options, bool& failed) {
    if (options.picture.empty() && options.pictures.empty()) return false;
    if (options.pictures.empty()) return true;
    const std::string why = make_picture_folder(options.pictures);
    if (why.empty()) return true;
    print_text(stderr, "meshcheck: no pictures drawn: unable to make the folder " +
                           shown_path(options.pictures) + ": " + why + "\n");
    failed = true;
    return false;
}

// Writes the picture a report carries to the file asked for, and says where
// it went on standard error, so that the report itself stays as it is.
// Returns false when a picture was due but not written: no output.
bool save_picture(const CheckJob& job, const ModelReport& report, const Options& options,
                  const PictureInputs& inputs) {
    const std::string shown = shown_path(job.archive ? job.path + ":" + job.member : job.path);
    if (report.verdict == Verdict::invalid || report.verdict == Verdict::unreadable) {
        print_text(stderr, "meshcheck: no picture of " + shown + ": it is " +
                               verdict_name(report.verdict) + "\n");
        return true;
    }
    if (report.picture.empty()) {
        print_text(stderr, "meshcheck: no picture of " + shown + ": it has no frame" +
                               (options.frame >= 0 ? " " + std::to_string(options.frame) : "") +
                               "\n");
        return true;
    }
    OutputLinks links;
    const std::string file = picture_file(job, options, links);
    const std::string refusal = picture_refusal(file, links, inputs, job.path);
    if (!refusal.empty()) {
        print_text(stderr, "meshcheck: no picture of " + shown + ": " + shown_path(file) +
                               " is not replaced: " + refusal + "\n");
        return false;
    }
    // Written as meshmend writes a model: whole or not at all, with nothing
    // left behind by an interrupt or a failed write.
    PendingOutput out;
    errno = 0;
    bool written = open_output_removed_on_interrupt(file, out, links);
    written = written && commit_output(out, report.picture);
    const int why = errno;
    remove_on_interrupt(nullptr);
    if (!written) {
        print_text(stderr, "meshcheck: unable to write the picture " + shown_path(file) + " of " +
                               shown + ": " +
                               (why != 0 ? std::strerror(why) : "no regular file in its place") +
                               "\n");
        return false;
    }
    print_text(stderr, "meshcheck: picture of " + shown + ": " + shown_path(file) + "\n");
    return true;
}

// The jobs a name on the command line stands for, in the order they are
// reported: the game's copy for a game name, else every model below it.
std::vector<CheckJob> jobs_named(const GameReferences* game, const std::string& name) {
    if (game) {
        std::vector<CheckJob> jobs = game_jobs(*game, name);
        if (!jobs.empty()) return jobs;
    }
    std::vector<CheckJob> jobs;
    for (const FoundModel& found : find_models(name))
        for (CheckJob& job : jobs_of(found)) jobs.push_back(std::move(job));
    return jobs;
}

// The one job --picture draws: its name listed first, and refused (a usage
// error, before any model is checked) when it stands for more than one model,
// or when the picture would replace what it must not.
std::vector<CheckJob> picture_job(const GameReferences* game, const Options& options,
                                  const PictureInputs& inputs) {
    std::vector<CheckJob> jobs = jobs_named(game, options.names.front());
    if (jobs.size() > 1)
        usage_error("--picture draws one model, and " + shown_path(options.names.front()) +
                    " holds " + std::to_string(jobs.size()) + "; --pictures DIR draws several");
    const std::string refusal = picture_refusal(options.picture, OutputLinks::follow, inputs,
                                                jobs.empty() ? "" : jobs.front().path);
    if (!refusal.empty())
        usage_error("--picture " + shown_path(options.picture) + " is not replaced: " + refusal);
    return jobs;
}

// The game is listed once, before any model; what cannot be read of it is
// said once, on standard error, and the run goes on without it. False when a
// --game folder cannot be listed: the run ends then.
bool open_game_references(const Options& options, std::unique_ptr<GameReferences>& game) {
    if (options.games.empty()) {
        std::fputs(
            "meshcheck: no --game folder: shader, skin, lower-detail and copy references "
            "not checked\n",
            stderr);
    } else {
        game = std::make_unique<GameReferences>();
        game->files = open_game(options.games, *options.engine);
        // Without one of its folders the game is not the one the engine
        // sees: every reference there would be reported missing.
        if (!game->files.unlisted.empty()) {
            for (const std::string& error : game->files.unlisted)
                print_text(stderr, "meshcheck: --game " + shown_path(error) + "\n");
            return false;
        }
        for (const std::string& error : game->files.errors)
            print_text(stderr,
                       "meshcheck: warning: " + shown_path(error) + "; left out of the game\n");
        game->shaders = read_shader_scripts(game->files);
        for (const Problem& p : game->shaders.problems)
            print_text(stderr, "meshcheck: warning: " + shown_path(p.message) + "\n");
        if (!options.engine->imageExtensions || options.engine->looseFiles == LooseOrder::not_known)
            print_text(stderr, std::string("meshcheck: how ") + options.engine->title +
                                   " searches its files and images is not known: shader "
                                   "references and copies not checked\n");
    }
    return true;
}

// Queues the models of every name given: through the game when it has the
// name, else the files, archives and folders it names.
template <typename Submit>
void queue_names(const Options& options, const GameReferences* game, const Submit& submit) {
    for (const std::string& name : options.names) {
        if (game) {
            std::vector<CheckJob> jobs = game_jobs(*game, name);
            for (CheckJob& job : jobs) submit(job);
            if (!jobs.empty()) continue;
        }
        std::size_t queued = 0;
        for (const FoundModel& found : find_models(name)) {
            for (CheckJob& job : jobs_of(found)) {
                submit(job);
                ++queued;
            }
        }
        // A folder or archive without a model is most often a wrong name:
        // said, though it is no fault of a model and leaves the status.
        if (queued == 0)
            print_text(stderr, "meshcheck: no .md3 model in " + shown_path(name) + "\n");
    }
}

// The page of --report as the run goes: each model's row, and its picture
// written into the folder as soon as it is checked, so that no picture is
// held for the page.
struct ReportPage {
    std::vector<PageRow> rows;
    std::vector<std::string> pictures;  // the files written, kept by the folder's tidying
    bool failed = false;
};

void add_to_page(const CheckJob& job, const ModelReport& report, const Options& options,
                 ReportPage& page) {
    std::string picture, why;
    if (report.verdict == Verdict::invalid || report.verdict == Verdict::unreadable) {
        why = std::string("it is ") + verdict_name(report.verdict);
    } else if (report.picture.empty()) {
        why = "it has no frame" + (options.frame >= 0 ? " " + std::to_string(options.frame) : "");
    } else {
        picture = picture_file_name(job.path, job.member);
        why = write_report_file(options.report, picture, report.picture);
        if (!why.empty()) {
            print_text(stderr, "meshcheck: unable to write the picture " + shown_path(picture) +
                                   " of the report: " + why + "\n");
            page.failed = true;
            why = "it could not be written: " + why;
            picture.clear();
        } else {
            page.pictures.push_back(picture);
        }
    }
    page.rows.push_back(model_row(job, report, picture, why));
}

// Writes the page over the folder's index.html, then removes the pictures
// of an earlier report that it does not show. False when it failed.
bool finish_page(const Tally& tally, ReportPage& page, const Options& options) {
    std::string version = kVersion;
    version.pop_back();
    const std::string html = report_page(
        run_summary(tally, page.rows, {options.engine, options.games, version}), page.rows);
    const std::string why =
        write_report_file(options.report, "index.html",
                          {reinterpret_cast<const std::uint8_t*>(html.data()), html.size()});
    if (!why.empty()) {
        print_text(stderr, "meshcheck: unable to write the report page in " +
                               shown_path(options.report) + ": " + why + "\n");
        return false;
    }
    remove_unshown_pictures(options.report, page.pictures);
    return !page.failed;
}

// Whether the folder of --report, when asked for, may be filled: said once
// when it may not, before any model is checked.
bool start_page(const Options& options) {
    if (options.report.empty()) return true;
    const std::string why = prepare_report_folder(options.report);
    if (why.empty()) return true;
    print_text(stderr, "meshcheck: no report written: " + shown_path(options.report) +
                           " is not replaced: " + why + "\n");
    return false;
}

// The players and weapons of the run, once every part is checked (a
// player's parts may come from several places of the run), counted and put
// on the page like models; then the summary, unless the run was of one model
// or there was nothing to show.
void show_assemblies_and_tally(const AssemblyGatherer& gatherer, const Options& options,
                               Tally& tally, ReportPage& page, bool shown) {
    for (const Assembly& assembly : gatherer.assemble()) {
        tally.add(assembly);
        if (!options.report.empty()) page.rows.push_back(assembly_row(assembly));
        if (options.quiet && health_of_problems(assembly.problems) == Health::ok) continue;
        shown = true;
        print_text(stdout, options.json ? assembly_json(assembly) : assembly_text(assembly));
    }
    if (!options.json && tally.models + tally.shadowed + tally.players + tally.weapons != 1 &&
        (!options.quiet || shown))
        print_text(stdout, summary_line(tally));
}

int check_all(const Options& options) {
    ReportPage page;
    if (!start_page(options)) return kStatusBroken;
    Tally tally;
    AssemblyGatherer gatherer;
    std::unique_ptr<GameReferences> game;
    bool shown = false, pictureFailed = false;
    const bool drawing = pictures_wanted(options, pictureFailed);
    const PictureInputs inputs =
        drawing ? picture_inputs(options.names, options.games) : PictureInputs{};
    // Results come back in the order the jobs were queued, whichever worker
    // checked them, so the report is the same on any number of cores.
    const auto show = [&](const CheckResult& result) {
        const CheckJob& job = result.job;
        const ModelReport& report = result.report;
        tally.add(report);
        gatherer.add(job, report, game.get());
        if (!options.report.empty()) add_to_page(job, report, options, page);
        // Under --quiet the folder of pictures holds the models shown; the
        // one model named by --picture is drawn whatever it has to say.
        const bool quiet = options.quiet && !has_something_to_say(report, options);
        if (drawing && !(quiet && options.picture.empty()) &&
            !save_picture(job, report, options, inputs))
            pictureFailed = true;
        if (quiet) return;
        shown = true;
        // Under --quiet only the problems are shown: what meshmend would do
        // is shown when it was asked about.
        print_text(stdout, options.json
                               ? json_line(job.path, report, job.member)
                               : text_report(job.archive ? job.path + ":" + job.member : job.path,
                                             report, !options.quiet || options.changes));
    };
    if (!open_game_references(options, game)) return kStatusBroken;
    std::vector<CheckJob> drawn;
    if (!options.picture.empty()) drawn = picture_job(game.get(), options, inputs);
    const std::int32_t frame = options.frame >= 0 ? options.frame : kFirstFrameWithAProblem;
    CheckPool pool(options.jobs > 0 ? options.jobs : default_workers(),
                   {.engine = options.engine,
                    .game = game.get(),
                    .pictureFrame = drawing || !options.report.empty() ? frame : -1,
                    .normals = options.normals});
    const auto submit = [&](CheckJob& job) {
        while (pool.full() || pool.ready()) show(pool.take());
        pool.submit(std::move(job));
    };
    for (CheckJob& job : drawn) submit(job);
    if (!options.picture.empty() && drawn.empty())
        print_text(stderr,
                   "meshcheck: no .md3 model in " + shown_path(options.names.front()) + "\n");
    if (options.picture.empty()) queue_names(options, game.get(), submit);
    while (pool.pending()) show(pool.take());
    show_assemblies_and_tally(gatherer, options, tally, page, shown);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "meshcheck: unable to write the report: %s\n", std::strerror(errno));
        return kStatusBroken;
    }
    if (!options.report.empty() && !finish_page(tally, page, options)) pictureFailed = true;
    return pictureFailed ? kStatusBroken : status_of(tally, options);
}

int run(const std::vector<std::string>& args) {
    // A picture written past a file-size limit fails and is reported.
    ignore_file_size_signal();
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

}  // namespace md3

MD3_PROGRAM_ENTRY(md3::run)
