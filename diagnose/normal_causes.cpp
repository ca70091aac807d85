// Naming the cause of stored normals unrelated to the geometry: the one
// simple map, if any, that takes meshmend's rebuilt normals to them.
#include "normal_causes.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "md3_layout.hpp"
#include "model_report.hpp"
#include "packed_normal.hpp"
#include "text.hpp"

namespace md3 {

namespace {

using enum NormalMapKind;

constexpr std::array<NormalMap, kNormalMaps> kMaps = {{
    {turn, 0, 90},
    {turn, 0, 180},
    {turn, 0, -90},
    {turn, 1, 90},
    {turn, 1, 180},
    {turn, 1, -90},
    {turn, 2, 90},
    {turn, 2, 180},
    {turn, 2, -90},
    {mirror, 0, 0},
    {mirror, 1, 0},
    {mirror, 2, 0},
    {swap, 0, 0},
}};

// Angles are counted by 1 - cosine, which grows with the angle from 0 to 2:
// first in 256 bins, then, within the bin that holds the median, in 256
// parts, so that the median is found in two passes over the surface, without
// an arc cosine for each vertex-frame, with counts that fit on the stack
// however large the surface is. A part is 3e-5 of 1 - cosine: 0.04 degrees
// at 3 degrees, less beyond (0.45 degrees at 0).
constexpr int kBins = 256;
constexpr int kParts = 256;

// The bin of 1 - cosine `away`, and where in that bin it lies (0 to 1).
std::size_t bin_of(float away, double& within) {
    const double scaled = double{away} * (kBins / 2.0);
    const auto bin =
        std::min(static_cast<std::size_t>(std::max(scaled, 0.0)), std::size_t{kBins - 1});
    within = scaled - static_cast<double>(bin);
    return bin;
}

// The smallest eigenvalue of the symmetric matrix m (row by row), by the
// closed form for three by three: the roots of its characteristic
// polynomial as q + 2p cos(phi + 2k pi / 3).
double smallest_eigenvalue(const double m[3][3]) {
    const double off = m[0][1] * m[0][1] + m[0][2] * m[0][2] + m[1][2] * m[1][2];
    if (off == 0) return std::min({m[0][0], m[1][1], m[2][2]});
    const double q = (m[0][0] + m[1][1] + m[2][2]) / 3;
    const double d0 = m[0][0] - q, d1 = m[1][1] - q, d2 = m[2][2] - q;
    const double p = std::sqrt((d0 * d0 + d1 * d1 + d2 * d2 + 2 * off) / 6);
    // det((m - qI) / p) / 2, which lies within -1 .. 1 up to rounding.
    const double b01 = m[0][1] / p, b02 = m[0][2] / p, b12 = m[1][2] / p;
    const double b0 = d0 / p, b1 = d1 / p, b2 = d2 / p;
    const double det =
        b0 * (b1 * b2 - b12 * b12) - b01 * (b01 * b2 - b12 * b02) + b02 * (b01 * b12 - b1 * b02);
    const double phi = std::acos(std::clamp(det / 2, -1.0, 1.0)) / 3;
    constexpr double kThird = 2.0943951023931954923;  // 2 pi / 3
    return q + 2 * p * std::cos(phi + kThird);
}

// The cosine of the angle between a stored normal s and the map of a
// rebuilt one r is a sum of the products s[a] r[b]: for each map but the
// swap, the weight (1, -1 or 0) of each product: w[3a + b][m]. Summed
// product by product over all maps at once, so that the maps are added side
// by side rather than each in a chain of nine.
using Weights = std::array<std::array<float, kNormalMaps - 1>, 9>;
constexpr Weights map_weights() {
    Weights w{};
    for (std::size_t m = 0; m + 1 < kNormalMaps; ++m) {
        const NormalMap& map = kMaps[m];
        const int a = map.axis;
        const auto add = [&](int sa, int rb, float weight) {
            w[static_cast<std::size_t>(3 * sa + rb)][m] += weight;
        };
        if (map.kind == mirror) {
            for (int k = 0; k < 3; ++k) add(k, k, k == a ? -1 : 1);
            continue;
        }
        // The two other axes in right-handed order: a quarter turn takes the
        // first towards the second, so that +90 degrees maps r to
        // (r_a, -r_j, r_i) on (a, i, j).
        const int i = (a + 1) % 3, j = (a + 2) % 3;
        add(a, a, 1);
        if (map.degrees == 180) {
            add(i, i, -1);
            add(j, j, -1);
        } else {
            const float sign = map.degrees == 90 ? 1 : -1;
            add(i, j, -sign);
            add(j, i, sign);
        }
    }
    return w;
}
constexpr Weights kWeights = map_weights();
static_assert(kMaps[kNormalMaps - 1].kind == swap, "the swap is the last map");

// Calls visit(rebuilt, away) for every vertex-frame of the surface with
// its rebuilt normal and, for each map, 1 - the cosine of the angle between
// its stored normal and the map of the rebuilt one.
template <typename Visit>
void each_vertex_away(const std::uint8_t* model, const std::uint8_t* copy,
                      const std::uint8_t* surface, Visit visit) {
    const std::int32_t numVerts = Md3Surface::numVerts(surface);
    for (std::int32_t j = 0; j < Md3Surface::numFrames(surface); ++j) {
        const std::uint8_t* vertices = vertex_frame(surface, j);
        const std::uint8_t* rebuiltVertices = copy + (vertices - model);
        for (std::int32_t v = 0; v < numVerts; ++v) {
            const std::int64_t at = std::int64_t{v} * Md3Vertex::kSize;
            const std::uint16_t packed = Md3Vertex::normal(rebuiltVertices + at);
            float stored[3], rebuilt[3], swapped[3];
            decode_normal(Md3Vertex::normal(vertices + at), stored);
            decode_normal(packed, rebuilt);
            decode_normal(static_cast<std::uint16_t>(packed >> 8 | (packed & 0xFFu) << 8), swapped);
            std::array<float, 9> p;
            for (std::size_t k = 0; k < 9; ++k) p[k] = stored[k / 3] * rebuilt[k % 3];
            std::array<float, kNormalMaps> away{};
            for (std::size_t k = 0; k < 9; ++k)
                for (std::size_t m = 0; m + 1 < kNormalMaps; ++m) away[m] -= kWeights[k][m] * p[k];
            for (std::size_t m = 0; m + 1 < kNormalMaps; ++m) away[m] += 1;
            away[kNormalMaps - 1] =
                1 - (stored[0] * swapped[0] + stored[1] * swapped[1] + stored[2] * swapped[2]);
            visit(rebuilt, away);
        }
    }
}

// The bin that holds the value of rank `rank` among those counted in
// `bins`; `rank` becomes its rank within that bin.
template <std::size_t N>
std::size_t bin_of_rank(const std::array<std::uint32_t, N>& bins, std::int64_t& rank) {
    std::size_t b = 0;
    while (b + 1 < N && rank >= bins[b]) rank -= bins[b++];
    return b;
}

}  // namespace

const std::array<NormalMap, kNormalMaps>& normal_maps() { return kMaps; }

const char* axis_name(int axis) { return axis == 0 ? "x" : axis == 1 ? "y" : "z"; }

NormalFit fit_normal_maps(const std::uint8_t* model, const std::uint8_t* copy,
                          const std::uint8_t* surface) {
    NormalFit fit;
    const std::int64_t count =
        std::int64_t{Md3Surface::numFrames(surface)} * Md3Surface::numVerts(surface);
    if (count <= 0) return fit;
    // The bins, and the spread.
    std::array<std::array<std::uint32_t, kBins>, kNormalMaps> bins{};
    double moment[3][3] = {};
    each_vertex_away(model, copy, surface, [&](const float n[3], const auto& away) {
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b) moment[a][b] += double{n[a]} * n[b];
        double within = 0;
        for (std::size_t m = 0; m < kNormalMaps; ++m) ++bins[m][bin_of(away[m], within)];
    });
    for (auto& row : moment)
        for (double& value : row) value /= static_cast<double>(count);
    fit.spread = smallest_eigenvalue(moment);
    // The (count / 2)-th smallest angle, as meshcheck takes a median: its
    // bin, and where in it, found in a second pass only for the maps whose
    // bin reaches down to the fit threshold; the others get the middle of
    // their bin, within half a degree from 30 to 150 degrees.
    const double fittedAway = 1 - std::cos(kFittedDegrees * 3.14159265358979323846 / 180);
    std::array<std::size_t, kNormalMaps> median{};
    std::array<std::int64_t, kNormalMaps> rank{};
    std::array<bool, kNormalMaps> close{};
    bool refine = false;
    for (std::size_t m = 0; m < kNormalMaps; ++m) {
        rank[m] = count / 2;
        median[m] = bin_of_rank(bins[m], rank[m]);
        close[m] = static_cast<double>(median[m]) / (kBins / 2.0) <= fittedAway;
        refine = refine || close[m];
    }
    std::array<std::array<std::uint32_t, kParts>, kNormalMaps> parts{};
    if (refine)
        each_vertex_away(model, copy, surface, [&](const float*, const auto& away) {
            for (std::size_t m = 0; m < kNormalMaps; ++m) {
                double within = 0;
                if (!close[m] || bin_of(away[m], within) != median[m]) continue;
                ++parts[m][std::min(static_cast<std::size_t>(std::max(within * kParts, 0.0)),
                                    std::size_t{kParts - 1})];
            }
        });
    int fitting = 0;
    for (std::size_t m = 0; m < kNormalMaps; ++m) {
        const double part =
            close[m] ? (static_cast<double>(bin_of_rank(parts[m], rank[m])) + 0.5) / kParts : 0.5;
        const double away = (static_cast<double>(median[m]) + part) / (kBins / 2.0);
        fit.medianDegrees[m] = degrees(std::clamp(1 - away, -1.0, 1.0));
        if (fit.medianDegrees[m] <= kFittedDegrees) {
            ++fitting;
            fit.fitted = static_cast<int>(m);
        }
    }
    if (fitting != 1 || fit.spread < kSpreadEigenvalue) fit.fitted = -1;
    return fit;
}

void name_normal_cause(const std::uint8_t* model, CheckWorkspace& workspace,
                       const std::uint8_t* surface, Problem& p) {
    if (!workspace.repaired || p.kind != ProblemKind::normals_broken) return;
    const NormalFit fit = fit_normal_maps(model, workspace.copy.data(), surface);
    if (fit.fitted < 0) return;
    const NormalMap& map = kMaps[static_cast<std::size_t>(fit.fitted)];
    const double fitted = fit.medianDegrees[static_cast<std::size_t>(fit.fitted)];
    const char axis = "XYZ"[map.axis];
    const ProblemKind kind = map.kind == turn     ? ProblemKind::normals_turned
                             : map.kind == mirror ? ProblemKind::normals_mirrored
                                                  : ProblemKind::normals_swapped;
    Problem cause = make_problem(kind, p.surface, p.surfaceName);
    cause.share = p.share;
    cause.medianDegrees = p.medianDegrees;
    cause.fittedDegrees = fitted;
    if (map.kind != swap) cause.axis = axis_name(map.axis);
    if (map.kind == turn) cause.value = map.degrees;
    const std::string figures =
        printf_text("median %.1f deg off as stored, %.1f deg once ", p.medianDegrees, fitted);
    if (map.kind == turn)
        cause.message = printf_text(
            "stored normals are the geometry's turned %s deg about %c (%sturned back): the model "
            "was turned after its normals were made; lit wrong",
            map.degrees == 180 ? "180"
            : map.degrees > 0  ? "+90"
                               : "-90",
            axis, figures.c_str());
    else if (map.kind == mirror)
        cause.message = printf_text(
            "stored normals are the geometry's mirrored in %c (%smirrored back): the model was "
            "mirrored after its normals were made, or their %c negated alone; lit wrong",
            axis, figures.c_str(), axis);
    else
        cause.message = printf_text(
            "stored normals are the geometry's with their two angle bytes swapped (%sswapped "
            "back): packed with polar angle and azimuth the other way round; lit wrong",
            figures.c_str());
    p = std::move(cause);
}

}  // namespace md3
