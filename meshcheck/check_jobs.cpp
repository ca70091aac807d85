// Listing what a name on the command line stands for, and reading and
// checking one model of it.
#include "check_jobs.hpp"

#include <algorithm>
#include <filesystem>
#include <new>
#include <utility>

#include "archive_source.hpp"
#include "model_io.hpp"
#include "picture.hpp"

namespace md3 {

namespace {

ModelReport unreadable(std::string reason, std::int64_t size = -1) {
    ModelReport report;
    report.verdict = Verdict::unreadable;
    report.size = size;
    report.error = std::move(reason);
    return report;
}

ModelReport check_loose_file(const std::string& path, CheckWorker& worker,
                             const EngineProfile& engine) {
    LoadFailure failure;
    std::int64_t fileSize = -1;
    switch (load_model_head(path, worker.model, fileSize, &failure)) {
        case LoadResult::ok: return check_model(worker.model, worker.workspace, engine, fileSize);
        case LoadResult::too_short: {
            // In the layout check's own words, which need only the size.
            static const std::uint8_t none[Md3Header::kSize] = {};
            return check_model(std::span(none, static_cast<std::size_t>(failure.size)),
                               worker.workspace, engine);
        }
        case LoadResult::cannot_open:
        case LoadResult::no_memory: break;
    }
    return unreadable(failure.error.message(), failure.size);
}

ModelReport check_member(const CheckJob& job, CheckWorker& worker, const EngineProfile& engine) {
    const ZipResult read = read_member(*job.archive, job.archive->entries[job.entry], worker.model);
    if (!read.ok()) return unreadable(read.reason);
    return check_model(worker.model, worker.workspace, engine);
}

// Gives back what a model too large for the memory there is took.
void release(CheckWorker& worker) {
    ModelBuffer().swap(worker.model);
    CheckWorkspace& w = worker.workspace;
    ModelBuffer().swap(w.copy);
    w.rebuiltNormals = {};
    w.first = {};
    w.second = {};
    w.degenerate = {};
    w.flat = {};
    w.boxes = {};
    w.outside = {};
    w.order = {};
    w.angles = {};
    w.farthest = {};
}

// The model's references in the game, and its own problems graded as the
// game shows it: culling by where the model is seen, its own shader names
// dropped where a skin decides, all of it apart when the engine loads
// another copy.
void check_in_game(const CheckJob& job, CheckWorker& worker, const EngineProfile& engine,
                   const GameReferences& game, ModelReport& report) {
    // What the engine is asked to load: a member by its name, which the
    // engine matches whatever its case, a loose file by its path below the
    // game folder, case and all.
    const std::string gamePath =
        job.archive ? engine_name(job.member) : game_path_of(game.files, job.path);
    grade_culling(report.problems,
                  gamePath.empty() ? (job.archive ? job.member : job.path) : gamePath);
    if (!gamePath.empty() && engine.looseFiles != LooseOrder::not_known)
        report.shadowed =
            copy_rank(game.files, find_places(game.files, gamePath), job.path, job.member) > 0;
    std::vector<char> throughSkin;
    std::vector<Problem> found = check_references(worker.model, gamePath, game.files, game.shaders,
                                                  engine, report.shadowed, &throughSkin);
    report.problems.insert(report.problems.end(), std::make_move_iterator(found.begin()),
                           std::make_move_iterator(found.end()));
    drop_skinned_shader_problems(report.problems, throughSkin);
    std::stable_partition(report.problems.begin(), report.problems.end(),
                          [](const Problem& p) { return p.severity == Severity::error; });
}
// Buffers a worker keeps from one model to the next up to this size: every
// real model fits, and the few larger ones give theirs back at once, so that
// what idle workers hold stays out of the memory the pool shares.
constexpr std::size_t kKeptBuffer = std::size_t{64} << 20;

struct GiveBackLarge {
    CheckWorker& worker;
    ~GiveBackLarge() {
        if (worker.model.capacity() > kKeptBuffer || worker.workspace.copy.capacity() > kKeptBuffer)
            release(worker);
    }
};

}  // namespace

std::vector<CheckJob> jobs_of(const FoundModel& found) {
    std::vector<CheckJob> jobs;
    if (!found.error.empty() || found.kind == FoundKind::model) {
        jobs.push_back({found.path, "", found.error, nullptr, 0});
        return jobs;
    }
    auto archive = std::make_shared<ZipArchive>();
    const ZipResult opened = found.kind == FoundKind::archive
                                 ? open_archive_file(found.path, *archive)
                                 : open_archive_folder(found.path, *archive);
    if (!opened.ok()) {
        jobs.push_back({found.path, "", opened.reason, nullptr, 0});
        return jobs;
    }
    const std::vector<ZipEntry>& entries = archive->entries;
    std::vector<std::size_t> models;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!entries[i].isFolder && has_ending(entries[i].name, ".md3")) models.push_back(i);
    // The directory's order is the writer's; byte order of the names reports
    // an archive as its files extracted to a folder would be.
    std::stable_sort(models.begin(), models.end(), [&](std::size_t a, std::size_t b) {
        return entries[a].name < entries[b].name;
    });
    std::shared_ptr<const ZipArchive> shared = std::move(archive);
    for (const std::size_t i : models) jobs.push_back({found.path, entries[i].name, "", shared, i});
    return jobs;
}

std::uint64_t job_memory(const CheckJob& job) noexcept {
    if (!job.error.empty()) return 0;
    if (job.archive) return 2 * job.archive->entries[job.entry].size;
    // The pool asks on a worker's thread, outside any model's check: with no
    // memory even for the path, the cost is not known, and the check that
    // follows finds the shortage and says so.
    try {
        std::error_code error;
        const std::u8string utf8(job.path.begin(), job.path.end());
        const std::uintmax_t size = std::filesystem::file_size(std::filesystem::path(utf8), error);
        return error ? 0 : 2 * static_cast<std::uint64_t>(size);
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

std::vector<CheckJob> game_jobs(const GameReferences& game, const std::string& name) {
    std::error_code error;
    // The name is UTF-8 on every system.
    const std::u8string utf8(name.begin(), name.end());
    if (std::filesystem::exists(std::filesystem::path(utf8), error) || error) return {};
    const std::vector<GamePlace> places = find_places(game.files, name);
    if (places.empty()) return {};
    const GameSource& source = *game.files.sources[places.front().source];
    const std::string& stored = place_entry(game.files, places.front()).name;
    if (source.loose) return {{member_path(source.path, stored), "", "", nullptr, 0}};
    // The game owns the archive: the job only points at it.
    return {
        {source.path, stored, "",
         std::shared_ptr<const ZipArchive>(std::shared_ptr<const ZipArchive>(), &source.archive),
         places.front().entry}};
}

ModelReport run_job(const CheckJob& job, CheckWorker& worker, const CheckSettings& settings) {
    if (!job.error.empty()) return unreadable(job.error);
    const EngineProfile& engine = *settings.engine;
    worker.workspace.normals = settings.normals;
    const GameReferences* game = settings.game;
    const std::int32_t pictureFrame = settings.pictureFrame;
    const GiveBackLarge giveBack{worker};
    try {
        ModelReport report = job.archive ? check_member(job, worker, engine)
                                         : check_loose_file(job.path, worker, engine);
        if (game && report.verdict != Verdict::invalid && report.verdict != Verdict::unreadable)
            check_in_game(job, worker, engine, *game, report);
        else
            grade_culling(report.problems, job.archive ? job.member : job.path);
        if (pictureFrame >= 0 || pictureFrame == kFirstFrameWithAProblem)
            report.picture =
                model_picture(worker.model, worker.workspace, report,
                              job.archive ? job.path + ":" + job.member : job.path, pictureFrame);
        return report;
    } catch (const std::bad_alloc&) {
        const auto size = static_cast<std::int64_t>(worker.model.size());
        release(worker);
        return unreadable(kShortOfMemory, size > 0 ? size : -1);
    }
}

bool ran_short_of_memory(const ModelReport& report) {
    return report.verdict == Verdict::unreadable && report.error == kShortOfMemory;
}

}  // namespace md3
