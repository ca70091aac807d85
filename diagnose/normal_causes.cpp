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

// Angles are counted in whole degrees, from 0 to 180, and then, within the
// degree that holds the median, in sixteenths: a median found in two passes
// over the surface with counts that fit on the stack, however large it is.
constexpr int kDegreeBins = 181;
constexpr int kSixteenths = 16;

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

// Calls visit(rebuilt, angles) for every vertex-frame of the surface with
// its rebuilt normal and the angles in degrees between its stored normal and
// each map of the rebuilt one.
template <typename Visit>
void each_vertex_angles(const std::uint8_t* model, const std::uint8_t* copy,
                        const std::uint8_t* surface, Visit visit) {
    const std::int32_t numVerts = Md3Surface::numVerts(surface);
    for (std::int32_t j = 0; j < Md3Surface::numFrames(surface); ++j) {
        const std::uint8_t* vertices = vertex_frame(surface, j);
        const std::uint8_t* rebuiltVertices = copy + (vertices - model);
        for (std::int32_t v = 0; v < numVerts; ++v) {
            const std::int64_t at = std::int64_t{v} * Md3Vertex::kSize;
            const std::uint16_t packed = Md3Vertex::normal(rebuiltVertices + at);
            float stored[3], rebuilt[3];
            decode_normal(Md3Vertex::normal(vertices + at), stored);
            decode_normal(packed, rebuilt);
            std::array<double, kNormalMaps> angles;
            for (std::size_t m = 0; m < kNormalMaps; ++m) {
                float mapped[3];
                apply_normal_map(kMaps[m], rebuilt, packed, mapped);
                angles[m] = degrees(std::clamp(double{stored[0]} * mapped[0] +
                                                   double{stored[1]} * mapped[1] +
                                                   double{stored[2]} * mapped[2],
                                               -1.0, 1.0));
            }
            visit(rebuilt, angles);
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

void apply_normal_map(const NormalMap& map, const float in[3], std::uint16_t packed, float out[3]) {
    if (map.kind == swap) {
        decode_normal(static_cast<std::uint16_t>(packed >> 8 | (packed & 0xFFu) << 8), out);
        return;
    }
    for (int k = 0; k < 3; ++k) out[k] = in[k];
    if (map.kind == mirror) {
        out[map.axis] = -in[map.axis];
        return;
    }
    // The two other axes in right-handed order: a quarter turn takes the
    // first towards the second.
    const int i = (map.axis + 1) % 3, j = (map.axis + 2) % 3;
    if (map.degrees == 90) {
        out[i] = -in[j];
        out[j] = in[i];
    } else if (map.degrees == 180) {
        out[i] = -in[i];
        out[j] = -in[j];
    } else {
        out[i] = in[j];
        out[j] = -in[i];
    }
}

NormalFit fit_normal_maps(const std::uint8_t* model, const std::uint8_t* copy,
                          const std::uint8_t* surface) {
    NormalFit fit;
    const std::int64_t count =
        std::int64_t{Md3Surface::numFrames(surface)} * Md3Surface::numVerts(surface);
    if (count <= 0) return fit;
    // Whole degrees, and the spread.
    std::array<std::array<std::uint32_t, kDegreeBins>, kNormalMaps> whole{};
    double moment[3][3] = {};
    each_vertex_angles(model, copy, surface, [&](const float n[3], const auto& angles) {
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b) moment[a][b] += double{n[a]} * n[b];
        for (std::size_t m = 0; m < kNormalMaps; ++m)
            ++whole[m][std::min(static_cast<std::size_t>(angles[m]), std::size_t{kDegreeBins - 1})];
    });
    for (auto& row : moment)
        for (double& value : row) value /= static_cast<double>(count);
    fit.spread = smallest_eigenvalue(moment);
    // Sixteenths within the degree of each median: the (count / 2)-th
    // smallest angle, as meshcheck takes a median.
    std::array<std::size_t, kNormalMaps> degree{};
    std::array<std::int64_t, kNormalMaps> rank{};
    for (std::size_t m = 0; m < kNormalMaps; ++m) {
        rank[m] = count / 2;
        degree[m] = bin_of_rank(whole[m], rank[m]);
    }
    std::array<std::array<std::uint32_t, kSixteenths>, kNormalMaps> parts{};
    each_vertex_angles(model, copy, surface, [&](const float*, const auto& angles) {
        for (std::size_t m = 0; m < kNormalMaps; ++m) {
            const double within = angles[m] - static_cast<double>(degree[m]);
            if (within >= 0 && (within < 1 || degree[m] == kDegreeBins - 1))
                ++parts[m][std::min(static_cast<std::size_t>(within * kSixteenths),
                                    std::size_t{kSixteenths - 1})];
        }
    });
    int within = 0;
    for (std::size_t m = 0; m < kNormalMaps; ++m) {
        const std::size_t part = bin_of_rank(parts[m], rank[m]);
        fit.medianDegrees[m] =
            static_cast<double>(degree[m]) + (static_cast<double>(part) + 0.5) / kSixteenths;
        if (fit.medianDegrees[m] <= kFittedDegrees) {
            ++within;
            fit.fitted = static_cast<int>(m);
        }
    }
    if (within != 1 || fit.spread < kSpreadEigenvalue) fit.fitted = -1;
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
