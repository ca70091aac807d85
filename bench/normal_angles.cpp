// How far each normal mode of meshmend moves the normals an exporter wrote on
// surfaces whose stored normals are healthy: over every vertex-frame of
// every surface meshcheck grades neither normals_broken nor normals_inverted,
// the angle between the stored normal and the one the repair pass writes,
// for each of rebuild, weld and broken. Graded for the default engine.
//
//   normal_angles [--crease DEG] FOLDER...
//
// Prints, per mode, the vertex-frames measured, the share whose packed normal
// changes, and the median and 95th percentile of the angle (over all of them,
// unchanged ones as 0, and over the changed ones alone). Models meshcheck
// calls invalid, and those the pass refuses, are counted and left out.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "check.hpp"
#include "engines.hpp"
#include "find_models.hpp"
#include "model_io.hpp"
#include "repair.hpp"

using namespace md3;

namespace {

// Angles are counted in bins of this many degrees, from 0 to 180: a run over
// a game's models is ten million vertex-frames and more.
constexpr double kBinDegrees = 0.01;
constexpr int kBins = 18001;

struct ModeFigures {
    std::vector<std::int64_t> all = std::vector<std::int64_t>(kBins, 0);
    std::vector<std::int64_t> changed = std::vector<std::int64_t>(kBins, 0);
    std::int64_t total = 0, numChanged = 0;
};

// The angle at or below which a share `q` of the counted vertex-frames lie,
// to the bin: the ceil(q * n)-th smallest.
double quantile(const std::vector<std::int64_t>& bins, std::int64_t n, double q) {
    if (n == 0) return 0;
    std::int64_t rank = static_cast<std::int64_t>(q * static_cast<double>(n) + 0.999999);
    if (rank < 1) rank = 1;
    std::int64_t seen = 0;
    for (int b = 0; b < kBins; ++b) {
        seen += bins[static_cast<std::size_t>(b)];
        if (seen >= rank) return b * kBinDegrees;
    }
    return 180;
}

// Adds the angles from `stored` to `repaired` over every vertex-frame of the
// surfaces not in `unhealthy`.
void measure(const ModelBuffer& stored, const ModelBuffer& repaired,
             const std::set<std::int32_t>& unhealthy, ModeFigures& f) {
    for_each_surface(stored.data(), [&](const std::uint8_t* surface, std::int32_t s) {
        if (unhealthy.count(s)) return true;
        const std::int64_t numVerts = Md3Surface::numVerts(surface);
        for (std::int32_t j = 0; j < Md3Surface::numFrames(surface); ++j) {
            const std::uint8_t* before = vertex_frame(surface, j);
            const std::uint8_t* after = repaired.data() + (before - stored.data());
            for (std::int64_t v = 0; v < numVerts; ++v) {
                const std::uint16_t a = Md3Vertex::normal(before + v * Md3Vertex::kSize);
                const std::uint16_t b = Md3Vertex::normal(after + v * Md3Vertex::kSize);
                const double angle = a == b ? 0 : normal_angle(a, b);
                const auto bin = static_cast<std::size_t>(angle / kBinDegrees + 0.5);
                ++f.total;
                ++f.all[bin];
                if (a == b) continue;
                ++f.numChanged;
                ++f.changed[bin];
            }
        }
        return true;
    });
}

}  // namespace

int main(int argc, char** argv) {
    const EngineProfile& engine = default_engine();
    double crease = kDefaultCreaseDegrees;
    std::vector<std::string> folders;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--crease" && i + 1 < argc) {
            if (!parse_crease_degrees(argv[++i], crease)) {
                std::fprintf(stderr, "%s\n", bad_crease(argv[i]).c_str());
                return 22;
            }
        } else {
            folders.push_back(arg);
        }
    }
    const NormalMode modes[] = {NormalMode::rebuild, NormalMode::weld, NormalMode::broken};
    const char* modeNames[] = {"rebuild", "weld", "broken"};
    ModeFigures figures[3];
    ModelBuffer model, copy;
    CheckWorkspace workspace;
    long long models = 0, invalid = 0, refused = 0, surfaces = 0, unhealthySurfaces = 0;
    for (const std::string& folder : folders)
        for (const FoundModel& found : find_models(folder)) {
            if (!found.error.empty() || found.kind != FoundKind::model ||
                load_model(found.path, model) != LoadResult::ok)
                continue;
            ++models;
            const ModelReport report = check_model(model, workspace, engine);
            if (report.verdict == Verdict::invalid) {
                ++invalid;
                continue;
            }
            if (report.verdict == Verdict::refused) {
                ++refused;
                continue;
            }
            std::set<std::int32_t> unhealthy;
            for (const Problem& p : report.problems)
                if (p.kind == ProblemKind::normals_broken ||
                    p.kind == ProblemKind::normals_inverted)
                    unhealthy.insert(p.surface);
            surfaces += Md3Header::numSurfaces(model.data());
            unhealthySurfaces += static_cast<long long>(unhealthy.size());
            for (int m = 0; m < 3; ++m) {
                copy = model;
                if (!repair_model(copy, nullptr, best_instruction_set(),
                                  NormalChoice{modes[m], crease}))
                    continue;  // refused above already
                measure(model, copy, unhealthy, figures[m]);
            }
        }
    std::printf(
        "%lld models (%lld invalid, %lld refused by meshmend, left out), engine %s, crease "
        "%g deg\n%lld surfaces, %lld of them normals_broken or normals_inverted, left out\n",
        models, invalid, refused, engine.name, crease, surfaces, unhealthySurfaces);
    std::printf("%-8s %12s %8s %8s %8s %14s %14s\n", "mode", "vertex-frames", "changed", "median",
                "95th", "changed median", "changed 95th");
    for (int m = 0; m < 3; ++m) {
        const ModeFigures& f = figures[m];
        std::printf("%-8s %12lld %8.3f %8.1f %8.1f %14.1f %14.1f\n", modeNames[m],
                    static_cast<long long>(f.total),
                    f.total ? static_cast<double>(f.numChanged) / static_cast<double>(f.total) : 0,
                    quantile(f.all, f.total, 0.5), quantile(f.all, f.total, 0.95),
                    quantile(f.changed, f.numChanged, 0.5),
                    quantile(f.changed, f.numChanged, 0.95));
    }
    return 0;
}
