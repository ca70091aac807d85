// Runs meshcheck's problem checks over every model below the folders named
// and prints how often each kind fires, then the figures the normals
// thresholds are chosen from: for each surface that meshmend would give other
// normals, the share of its vertex-frames more than 10, 20, 30, 45, 60 and 90
// degrees off the rebuilt normals, and the median angle.
//
//   problem_census [--engine NAME] [--surfaces] [--maps] FOLDER...
//
// --surfaces lists every such surface, one line each, worst first. --maps
// lists, for each of them, how the simple maps that name a cause of broken
// normals fit it: the spread of its rebuilt normals and the two maps that
// leave the smallest median angle.
#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "check.hpp"
#include "engines.hpp"
#include "find_models.hpp"
#include "model_io.hpp"
#include "normal_causes.hpp"

using namespace md3;

namespace {

constexpr double kAngles[] = {10, 20, 30, 45, 60, 90};
constexpr int kNumAngles = 6;

struct SurfaceFigures {
    std::string where;
    double share[kNumAngles] = {};
    double median = 0;
};

// Share of each surface's vertex-frames beyond each angle, from the file and
// the repaired copy.
void measure_surfaces(const std::string& path, const ModelBuffer& model,
                      const CheckWorkspace& workspace, const ModelReport& report,
                      std::vector<SurfaceFigures>& out) {
    for (const NormalChange& change : report.normals) {
        const std::uint8_t* surface = model.data() + surface_offset(model.data(), change.surface);
        SurfaceFigures f;
        f.where = path + " surface " + std::to_string(change.surface) + " " + change.surfaceName;
        const std::int32_t numVerts = Md3Surface::numVerts(surface);
        std::int64_t beyond[kNumAngles] = {};
        std::vector<double> angles;
        for (std::int32_t j = 0; j < Md3Surface::numFrames(surface); ++j) {
            const std::uint8_t* before = vertex_frame(surface, j);
            const std::uint8_t* after = workspace.copy.data() + (before - model.data());
            for (std::int32_t v = 0; v < numVerts; ++v) {
                const double angle =
                    normal_angle(Md3Vertex::normal(before + std::int64_t{v} * Md3Vertex::kSize),
                                 Md3Vertex::normal(after + std::int64_t{v} * Md3Vertex::kSize));
                for (int a = 0; a < kNumAngles; ++a) beyond[a] += angle > kAngles[a];
                angles.push_back(angle);
            }
        }
        // The median as meshcheck takes it: the total/2-th smallest angle.
        std::nth_element(angles.begin(),
                         angles.begin() + static_cast<std::ptrdiff_t>(angles.size() / 2),
                         angles.end());
        f.median = angles[angles.size() / 2];
        for (int a = 0; a < kNumAngles; ++a)
            f.share[a] = static_cast<double>(beyond[a]) / static_cast<double>(change.total);
        out.push_back(f);
    }
}

// "turn +90 z", "mirror x", "swap".
std::string map_name(const NormalMap& map) {
    if (map.kind == NormalMapKind::swap) return "swap";
    if (map.kind == NormalMapKind::mirror) return std::string("mirror ") + axis_name(map.axis);
    return std::string("turn ") +
           (map.degrees == 90    ? "+90"
            : map.degrees == 180 ? "180"
                                 : "-90") +
           " " + axis_name(map.axis);
}

// One line per surface whose normals meshmend would change: its spread and
// grade, and the two best-fitting maps with their medians.
void list_maps(const std::string& path, const ModelBuffer& model, const CheckWorkspace& workspace,
               const ModelReport& report) {
    for (const NormalChange& change : report.normals) {
        const std::uint8_t* surface = model.data() + surface_offset(model.data(), change.surface);
        const NormalFit fit = fit_normal_maps(model.data(), workspace.copy.data(), surface);
        std::array<int, kNormalMaps> order{};
        for (int m = 0; m < kNormalMaps; ++m) order[static_cast<std::size_t>(m)] = m;
        std::sort(order.begin(), order.end(), [&](int a, int b) {
            return fit.medianDegrees[static_cast<std::size_t>(a)] <
                   fit.medianDegrees[static_cast<std::size_t>(b)];
        });
        const char* grade = "";
        for (const Problem& p : report.problems)
            if (p.surface == change.surface &&
                std::string(kind_name(p.kind)).starts_with("normals_"))
                grade = kind_name(p.kind);
        const auto& maps = normal_maps();
        std::printf(
            "maps %s surface %d %s: as stored %.1f, spread %.3f, best %s %.1f, next %s %.1f%s%s\n",
            path.c_str(), change.surface, change.surfaceName.c_str(), change.overallMedianDegrees,
            fit.spread, map_name(maps[static_cast<std::size_t>(order[0])]).c_str(),
            fit.medianDegrees[static_cast<std::size_t>(order[0])],
            map_name(maps[static_cast<std::size_t>(order[1])]).c_str(),
            fit.medianDegrees[static_cast<std::size_t>(order[1])], *grade ? ", " : "", grade);
    }
}

double quantile(std::vector<double> values, double q) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1) + 0.5)];
}

}  // namespace

int main(int argc, char** argv) {
    const EngineProfile* engine = &default_engine();
    bool listSurfaces = false, listMaps = false;
    std::vector<std::string> folders;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--engine" && i + 1 < argc) {
            engine = find_engine(argv[++i]);
            if (!engine) {
                std::fprintf(stderr, "engines: %s\n", engine_names().c_str());
                return 22;
            }
        } else if (arg == "--surfaces") {
            listSurfaces = true;
        } else if (arg == "--maps") {
            listMaps = true;
        } else {
            folders.push_back(arg);
        }
    }
    ModelBuffer model;
    CheckWorkspace workspace;
    std::map<std::string, std::pair<std::set<std::string>, long long>> kinds;  // models, count
    std::map<std::string, long long> verdicts;
    std::vector<SurfaceFigures> surfaces;
    long long models = 0, surfaceCount = 0, healthy = 0;
    for (const std::string& folder : folders)
        for (const FoundModel& found : find_models(folder)) {
            if (!found.error.empty() || found.kind != FoundKind::model ||
                load_model(found.path, model) != LoadResult::ok)
                continue;
            const ModelReport report = check_model(model, workspace, *engine);
            ++models;
            ++verdicts[verdict_name(report.verdict)];
            if (report.verdict == Verdict::invalid) continue;
            surfaceCount += Md3Header::numSurfaces(model.data());
            bool error = false;
            for (const Problem& p : report.problems) {
                auto& entry =
                    kinds[std::string(severity_name(p.severity)) + " " + kind_name(p.kind)];
                entry.first.insert(found.path);
                ++entry.second;
                error = error || p.severity == Severity::error;
                if (listSurfaces)
                    std::printf("%s: %s %s: %s surface %d: %s\n", found.path.c_str(),
                                severity_name(p.severity), kind_name(p.kind), p.surfaceName.c_str(),
                                p.surface, p.message.c_str());
            }
            healthy += !error;
            if (workspace.repaired)
                measure_surfaces(found.path, model, workspace, report, surfaces);
            if (workspace.repaired && listMaps) list_maps(found.path, model, workspace, report);
        }
    std::printf("%lld models, %lld surfaces, engine %s; %lld without an error\n", models,
                surfaceCount, engine->name, healthy);
    for (const auto& [verdict, n] : verdicts)
        std::printf("  verdict %s: %lld\n", verdict.c_str(), n);
    std::printf("%-34s %8s %8s\n", "kind", "models", "problems");
    for (const auto& [kind, entry] : kinds)
        std::printf("%-34s %8zu %8lld\n", kind.c_str(), entry.first.size(), entry.second);

    std::printf(
        "\n%zu surfaces with other normals after meshmend; share of vertex-frames beyond "
        "each angle, over those surfaces:\n",
        surfaces.size());
    std::printf("%-12s", "quantile");
    for (const double a : kAngles) std::printf(" %6.0f deg", a);
    std::printf(" %10s\n", "median");
    for (const double q : {0.5, 0.9, 0.95, 0.99, 1.0}) {
        std::printf("%-12.2f", q);
        for (int a = 0; a < kNumAngles; ++a) {
            std::vector<double> column;
            for (const SurfaceFigures& f : surfaces) column.push_back(f.share[a]);
            std::printf(" %10.3f", quantile(column, q));
        }
        std::vector<double> medians;
        for (const SurfaceFigures& f : surfaces) medians.push_back(f.median);
        std::printf(" %10.1f\n", quantile(medians, q));
    }
    std::sort(
        surfaces.begin(), surfaces.end(),
        [](const SurfaceFigures& a, const SurfaceFigures& b) { return a.share[3] > b.share[3]; });
    const std::size_t shown =
        listSurfaces ? surfaces.size() : std::min<std::size_t>(10, surfaces.size());
    std::printf("\nsurfaces with the largest share beyond 45 deg:\n");
    for (std::size_t i = 0; i < shown; ++i) {
        const SurfaceFigures& f = surfaces[i];
        std::printf("  %5.3f %5.3f %5.3f  median %5.1f  %s\n", f.share[2], f.share[3], f.share[5],
                    f.median, f.where.c_str());
    }
    return 0;
}
