// Grading a model by what the engine does with it: load limits, culling
// bounds, normals against the geometry, names, and the seams a repair would
// open.
#include "problems.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>

#include "engine_names.hpp"
#include "md3_layout.hpp"
#include "model_report.hpp"
#include "normal_causes.hpp"
#include "packed_normal.hpp"
#include "text.hpp"
#include "utf8_text.hpp"

namespace md3 {

namespace {

constexpr double kPi = 3.14159265358979323846;

bool is_culling(ProblemKind kind) {
    return kind == ProblemKind::culling_sphere || kind == ProblemKind::culling_box;
}

// A problem of `kind` about the surface at `surfaceRecord` (null: the model).
Problem problem(ProblemKind kind, std::int32_t surface, const std::uint8_t* surfaceRecord) {
    return make_problem(kind, surface,
                        surfaceRecord ? name_of(Md3Surface::name(surfaceRecord)) : std::string());
}

void check_limits(const std::uint8_t* model, const EngineProfile& engine,
                  std::vector<Problem>& out) {
    const auto limit = [&](const std::uint8_t* surface, std::int32_t s, ProblemKind kind,
                           std::int64_t value, std::int64_t refused, const char* what) {
        if (refused == 0 || value < refused) return;
        Problem p = problem(kind, s, surface);
        p.value = value;
        p.limit = refused;
        p.message = printf_text(
            "%lld %s; %s %s %lld or more", static_cast<long long>(value), what, engine.title,
            engine.dropsToConsole ? "drops to the console at" : "refuses the model at",
            static_cast<long long>(refused));
        out.push_back(std::move(p));
    };
    for_each_surface(model, [&](const std::uint8_t* surface, std::int32_t s) {
        limit(surface, s, ProblemKind::too_many_vertices, Md3Surface::numVerts(surface),
              engine.refusedVertices, "vertices");
        limit(surface, s, ProblemKind::too_many_triangles, Md3Surface::numTriangles(surface),
              engine.refusedTriangles, "triangles");
        return true;
    });
    if (engine.refusesNoFrames && Md3Header::numFrames(model) == 0) {
        Problem p = problem(ProblemKind::no_frames, -1, nullptr);
        p.message = printf_text("no frames; %s refuses the model", engine.title);
        out.push_back(std::move(p));
    }
}

// "frame 4", "frames 3-9", "frames 0, 2, 5 and 12 more": the frames flagged
// by outside[i] > 0, at most four named.
std::string frame_list(const std::vector<double>& outside) {
    std::vector<std::int64_t> frames;
    for (std::size_t i = 0; i < outside.size(); ++i)
        if (outside[i] > 0) frames.push_back(static_cast<std::int64_t>(i));
    const auto n = static_cast<std::int64_t>(frames.size());
    if (n == 1) return printf_text("frame %lld", static_cast<long long>(frames[0]));
    if (frames.back() - frames.front() + 1 == n)
        return printf_text("frames %lld-%lld", static_cast<long long>(frames.front()),
                           static_cast<long long>(frames.back()));
    std::string text = "frames ";
    const std::int64_t named = std::min<std::int64_t>(n, 4);
    for (std::int64_t i = 0; i < named; ++i) {
        if (i > 0) text += i + 1 == n ? " and " : ", ";
        text += std::to_string(frames[static_cast<std::size_t>(i)]);
    }
    if (n > named) text += printf_text(" and %lld more", static_cast<long long>(n - named));
    return text;
}

// How far vertices lie outside, to 0.01 units: "up to 0.25 units", or
// "less than 0.01 units" for what would read 0.00.
std::string outside_text(double units) {
    return units < 0.005 ? "less than 0.01 units" : printf_text("up to %.2f units", units);
}

// What a culling miss of `worst` units does, graded against `shown`.
std::string culling_consequence(double worst, double shown) {
    return worst >= shown ? "the model can vanish while on screen"
                          : printf_text("too thin a sliver to be seen (under %.2f units)", shown);
}

// Adds a frame problem when any frame is flagged: outside[i] is how far
// frame i is off (0: not flagged).
void add_frame_problem(ProblemKind kind, const char* what, const std::vector<double>& outside,
                       std::vector<Problem>& out) {
    Problem p = problem(kind, -1, nullptr);
    const bool culling = is_culling(kind);
    for (std::size_t i = 0; i < outside.size(); ++i) {
        if (!(outside[i] > 0)) continue;
        if (p.frames++ == 0) p.firstFrame = static_cast<std::int64_t>(i);
        if (culling) p.worst = std::max(p.worst, outside[i]);
    }
    if (p.frames == 0) return;
    if (!culling) {
        p.message = frame_list(outside) + ": " + what;
    } else {
        if (p.worst < kCullingShownUnits) p.severity = Severity::warning;
        p.message = printf_text("%s: vertices %s outside the %s the engine culls with; ",
                                frame_list(outside).c_str(), outside_text(p.worst).c_str(), what) +
                    culling_consequence(p.worst, kCullingShownUnits);
    }
    out.push_back(std::move(p));
}

// Each frame's box of its vertices over every surface, six ints per frame
// in 1/64 units (lows then highs), a low above its high when the frame has
// no vertex. From meshmend's copy, whose bounds are exactly that box, or
// counted here when the pass did not finish.
void vertex_boxes(const std::uint8_t* model, const CheckWorkspace& w,
                  std::vector<std::int32_t>& boxes) {
    const std::int32_t numFrames = Md3Header::numFrames(model);
    boxes.assign(6 * static_cast<std::size_t>(numFrames), 0);
    for (std::int32_t i = 0; i < numFrames; ++i)
        for (int k = 0; k < 3; ++k) {
            boxes[6 * static_cast<std::size_t>(i) + k] = INT32_MAX;
            boxes[6 * static_cast<std::size_t>(i) + 3 + k] = INT32_MIN;
        }
    if (w.repaired) {
        // Positions decode exactly, so the copy's bounds are whole 1/64
        // units; a frame no surface reaches keeps the pass's inverted box.
        for (std::int32_t i = 0; i < numFrames; ++i) {
            const std::uint8_t* frame = frame_at(w.copy.data(), i);
            if (!(Md3Frame::mins(frame, 0) <= Md3Frame::maxs(frame, 0))) continue;
            for (int k = 0; k < 3; ++k) {
                boxes[6 * static_cast<std::size_t>(i) + k] =
                    static_cast<std::int32_t>(Md3Frame::mins(frame, k) * 64.0f);
                boxes[6 * static_cast<std::size_t>(i) + 3 + k] =
                    static_cast<std::int32_t>(Md3Frame::maxs(frame, k) * 64.0f);
            }
        }
        return;
    }
    for_each_surface(model, [&](const std::uint8_t* surface, std::int32_t) {
        const std::int32_t numVerts = Md3Surface::numVerts(surface);
        for (std::int32_t j = 0; j < Md3Surface::numFrames(surface); ++j) {
            std::int32_t* box = &boxes[6 * static_cast<std::size_t>(j)];
            const std::uint8_t* vertices = vertex_frame(surface, j);
            for (std::int32_t v = 0; v < numVerts; ++v)
                for (int k = 0; k < 3; ++k) {
                    const std::int32_t c =
                        Md3Vertex::position(vertices + std::int64_t{v} * Md3Vertex::kSize, k);
                    box[k] = std::min(box[k], c);
                    box[3 + k] = std::max(box[3 + k], c);
                }
        }
        return true;
    });
}

bool finite_frame(const std::uint8_t* frame) {
    for (int k = 0; k < 10; ++k)
        if (!std::isfinite(get_f32(frame + 4 * k))) return false;
    return true;
}

// Whether every bound, the centre and the radius of a finite frame could
// belong to a model: positions are stored within +-512 units, so a value
// far beyond is no measurement but garbage in the record.
bool plausible_frame(const std::uint8_t* frame) {
    for (int k = 0; k < 10; ++k)
        if (std::fabs(get_f32(frame + 4 * k)) > kPlausibleFrameUnits) return false;
    return true;
}

// A squared distance computed in double is within a few units in the last
// place of the exact one; positions are 1/64 apart, so a vertex truly
// outside lies farther out than this by many orders of magnitude, and one
// on the sphere itself (a radius rounded up to a float) is not reported.
constexpr double kSquaredSlack = 1e-12;

// The squared distance, in 1/64 units, from `o` (the centre times 64) of
// the farthest of `count` vertices. Positions are integers there and the
// centre times 64 is exact.
double farthest_squared(const std::uint8_t* vertex, std::int32_t count, const double o[3]) {
    // Four running maxima, so that each vertex waits on none before it.
    double most[4] = {0, 0, 0, 0};
    for (std::int32_t v = 0; v < count; ++v, vertex += Md3Vertex::kSize) {
        const double dx = Md3Vertex::position(vertex, 0) - o[0];
        const double dy = Md3Vertex::position(vertex, 1) - o[1];
        const double dz = Md3Vertex::position(vertex, 2) - o[2];
        const double squared = dx * dx + dy * dy + dz * dz;
        double& m = most[v & 3];
        m = squared > m ? squared : m;
    }
    return std::max({most[0], most[1], most[2], most[3]});
}

void centre_times_64(const std::uint8_t* frame, double o[3]) {
    for (int k = 0; k < 3; ++k) o[k] = double{Md3Frame::localOrigin(frame, k)} * 64;
}

// How far the farthest vertex of frame i lies outside its sphere, 0 when
// none does, given its squared distance in 1/64 units.
double sphere_outside(double farthest, double radius) {
    const double r = radius * 64;
    // A negative radius leaves every vertex outside.
    if (r >= 0 && farthest <= r * r * (1 + kSquaredSlack)) return 0;
    return (std::sqrt(farthest) - r) / 64;
}

// The same for frame i, measured here.
double sphere_outside(const std::uint8_t* model, std::int32_t i, double radius) {
    double o[3];
    centre_times_64(frame_at(model, i), o);
    double farthest = 0;
    for_each_surface(model, [&](const std::uint8_t* surface, std::int32_t) {
        if (i < Md3Surface::numFrames(surface))
            farthest = std::max(farthest, farthest_squared(vertex_frame(surface, i),
                                                           Md3Surface::numVerts(surface), o));
        return true;
    });
    return sphere_outside(farthest, radius);
}

}  // namespace

namespace {

// Whether the frame's stored box lies inside its stored sphere: then a
// vertex can leave the sphere only by leaving the box.
bool box_in_sphere(const std::uint8_t* frame) {
    if (!finite_frame(frame)) return false;
    const double radius = Md3Frame::radius(frame);
    double corner = 0;
    for (int k = 0; k < 3; ++k) {
        const double o = Md3Frame::localOrigin(frame, k);
        const double d = std::max(std::fabs(Md3Frame::mins(frame, k) - o),
                                  std::fabs(Md3Frame::maxs(frame, k) - o));
        corner += d * d;
    }
    return radius >= 0 && corner <= radius * radius * (1 + kSquaredSlack);
}

}  // namespace

void measure_farthest(const std::uint8_t* model, std::vector<double>& farthest) {
    const std::int32_t numFrames = Md3Header::numFrames(model);
    farthest.assign(static_cast<std::size_t>(numFrames), 0.0);
    std::vector<double> centres(3 * static_cast<std::size_t>(numFrames));
    for (std::int32_t i = 0; i < numFrames; ++i) {
        centre_times_64(frame_at(model, i), &centres[3 * static_cast<std::size_t>(i)]);
        // Such a frame needs measuring only if its box turns out wrong,
        // which is rare: that is left to be done then.
        if (box_in_sphere(frame_at(model, i))) farthest[static_cast<std::size_t>(i)] = -1;
    }
    // Surface by surface, each one's frames in file order.
    for_each_surface(model, [&](const std::uint8_t* surface, std::int32_t) {
        for (std::int32_t j = 0; j < Md3Surface::numFrames(surface); ++j) {
            double& most = farthest[static_cast<std::size_t>(j)];
            if (most < 0) continue;
            most = std::max(
                most, farthest_squared(vertex_frame(surface, j), Md3Surface::numVerts(surface),
                                       &centres[3 * static_cast<std::size_t>(j)]));
        }
        return true;
    });
}

namespace {

void check_frames(const std::uint8_t* model, CheckWorkspace& w, std::vector<Problem>& out) {
    const std::int32_t numFrames = Md3Header::numFrames(model);
    vertex_boxes(model, w, w.boxes);
    std::vector<double>& outside = w.outside;
    const bool measured = w.farthest.size() == static_cast<std::size_t>(numFrames);
    const auto frames = static_cast<std::size_t>(numFrames);
    std::vector<double> boxOutside(frames, 0.0), nonFinite(frames, 0.0), garbage(frames, 0.0);
    outside.assign(frames, 0.0);
    for (std::int32_t i = 0; i < numFrames; ++i) {
        const std::uint8_t* frame = frame_at(model, i);
        if (!finite_frame(frame)) {
            nonFinite[static_cast<std::size_t>(i)] = 1;
            continue;
        }
        if (!plausible_frame(frame)) {
            garbage[static_cast<std::size_t>(i)] = 1;
            continue;
        }
        const std::int32_t* box = &w.boxes[6 * static_cast<std::size_t>(i)];
        if (box[0] > box[3]) continue;  // no vertex in this frame
        // The box: exact, as a float times 64 is exact in double.
        double beyond = 0;
        for (int k = 0; k < 3; ++k) {
            beyond = std::max(beyond, double{Md3Frame::mins(frame, k)} - box[k] / 64.0);
            beyond = std::max(beyond, box[3 + k] / 64.0 - double{Md3Frame::maxs(frame, k)});
        }
        boxOutside[static_cast<std::size_t>(i)] = beyond;
        // The sphere: when every corner of the vertices' box lies inside,
        // so does every vertex; only otherwise are the vertices measured.
        const double origin[3] = {Md3Frame::localOrigin(frame, 0), Md3Frame::localOrigin(frame, 1),
                                  Md3Frame::localOrigin(frame, 2)};
        const double radius = Md3Frame::radius(frame);
        double corner = 0;
        for (int k = 0; k < 3; ++k) {
            const double d = std::max(std::fabs(box[k] / 64.0 - origin[k]),
                                      std::fabs(box[3 + k] / 64.0 - origin[k]));
            corner += d * d;
        }
        if (radius >= 0 && corner <= radius * radius) continue;
        outside[static_cast<std::size_t>(i)] =
            measured && w.farthest[static_cast<std::size_t>(i)] >= 0
                ? sphere_outside(w.farthest[static_cast<std::size_t>(i)], radius)
                : sphere_outside(model, i, radius);
    }
    add_frame_problem(ProblemKind::non_finite,
                      "NaN or infinity in the bounds, centre or radius; the engine culls, fogs "
                      "and picks the detail level with them, so what it draws is not predictable",
                      nonFinite, out);
    add_frame_problem(ProblemKind::garbage_frame,
                      printf_text("a bound, the centre or the radius beyond %.0f units, where a "
                                  "model's positions lie within 512: a garbage frame record; the "
                                  "engine culls, fogs and picks the detail level with it, so what "
                                  "it draws is not predictable",
                                  kPlausibleFrameUnits)
                          .c_str(),
                      garbage, out);
    add_frame_problem(ProblemKind::culling_sphere, "sphere", outside, out);
    add_frame_problem(ProblemKind::culling_box, "box", boxOutside, out);
}

// Normals against the geometry, from the comparison with meshmend's rebuilt
// normals when the pass finished, else against the sum of the face normals
// as the triangles' winding gives them (e2 x e1, as the pass builds them).
struct NormalFigures {
    NormalTally tally;
    double medianDegrees = 0;
};

NormalFigures winding_figures(const std::uint8_t* surface, CheckWorkspace& w) {
    NormalFigures f;
    // Without frames a surface has no vertices to look at, whatever its
    // count says: nothing in the file backs that count then.
    if (Md3Surface::numFrames(surface) == 0) return f;
    const std::int32_t numVerts = Md3Surface::numVerts(surface);
    const std::int32_t numTriangles = Md3Surface::numTriangles(surface);
    std::vector<double> sums(3 * static_cast<std::size_t>(numVerts));
    w.angles.clear();
    for (std::int32_t j = 0; j < Md3Surface::numFrames(surface); ++j) {
        const std::uint8_t* vertices = vertex_frame(surface, j);
        const auto at = [&](std::int32_t v, int k) -> double {
            return Md3Vertex::position(vertices + std::int64_t{v} * Md3Vertex::kSize, k);
        };
        std::fill(sums.begin(), sums.end(), 0.0);
        for (std::int32_t t = 0; t < numTriangles; ++t) {
            const std::uint8_t* tri = triangle_at(surface, t);
            const std::int32_t c[3] = {Md3Triangle::index(tri, 0), Md3Triangle::index(tri, 1),
                                       Md3Triangle::index(tri, 2)};
            double e1[3], e2[3];
            for (int k = 0; k < 3; ++k) {
                e1[k] = at(c[1], k) - at(c[0], k);
                e2[k] = at(c[2], k) - at(c[0], k);
            }
            double n[3] = {e2[1] * e1[2] - e2[2] * e1[1], e2[2] * e1[0] - e2[0] * e1[2],
                           e2[0] * e1[1] - e2[1] * e1[0]};
            const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            if (length == 0) continue;
            for (const std::int32_t v : c)
                for (int k = 0; k < 3; ++k)
                    sums[3 * static_cast<std::size_t>(v) + k] += n[k] / length;
        }
        for (std::int32_t v = 0; v < numVerts; ++v) {
            const double* n = &sums[3 * static_cast<std::size_t>(v)];
            const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            if (length == 0) continue;  // used by no triangle with area: any normal will do
            float stored[3];
            decode_normal(Md3Vertex::normal(vertices + std::int64_t{v} * Md3Vertex::kSize), stored);
            const double cosine = std::clamp(
                (stored[0] * n[0] + stored[1] * n[1] + stored[2] * n[2]) / length, -1.0, 1.0);
            w.angles.push_back(static_cast<float>(degrees(cosine)));
            tally_normal(f.tally, static_cast<float>(cosine));
        }
    }
    const std::int64_t total = f.tally.total;
    if (total > 0) {
        const auto median = w.angles.begin() + total / 2;
        std::nth_element(w.angles.begin(), median, w.angles.end());
        f.medianDegrees = *median;
    }
    return f;
}

void check_normals(const std::uint8_t* model, const ModelReport& report, CheckWorkspace& w,
                   const std::vector<char>& skipped, std::vector<Problem>& out) {
    // Graded against the default rebuild, whatever the mode checked.
    const std::vector<NormalChange>& changes =
        w.normals.mode == NormalMode::rebuild ? report.normals : w.rebuiltNormals;
    std::size_t next = 0;  // changes are in surface order
    for_each_surface(model, [&](const std::uint8_t* surface, std::int32_t s) {
        if (skipped[static_cast<std::size_t>(s)]) return true;
        NormalFigures f;
        if (w.repaired) {
            while (next < changes.size() && changes[next].surface < s) ++next;
            if (next == changes.size() || changes[next].surface != s) return true;
            const NormalChange& change = changes[next];
            f = {change.tally, change.overallMedianDegrees};
        } else {
            f = winding_figures(surface, w);
        }
        const NormalGrade grade = grade_normals(f.tally);
        if (grade == NormalGrade::healthy) return true;
        const auto share = [&](std::int64_t count) {
            return static_cast<double>(count) / static_cast<double>(f.tally.total);
        };
        const double inwardShare = share(f.tally.inward), farShare = share(f.tally.farOff);
        const bool inverted = grade == NormalGrade::inverted;
        Problem p = problem(inverted ? ProblemKind::normals_inverted : ProblemKind::normals_broken,
                            s, surface);
        p.share = inverted ? inwardShare : farShare;
        p.medianDegrees = f.medianDegrees;
        p.message = inverted ? printf_text(
                                   "normals point into the surface on %.0f%% of vertex-frames "
                                   "(median %.1f deg off the triangles' winding): lit from the "
                                   "wrong side",
                                   100 * inwardShare, f.medianDegrees)
                             : printf_text(
                                   "normals unrelated to the geometry: %.0f%% of vertex-frames "
                                   "more than %.0f deg off, median %.1f deg: lit wrong",
                                   100 * farShare, kFarOffDegrees, f.medianDegrees);
        name_normal_cause(model, w, surface, p);
        out.push_back(std::move(p));
        return true;
    });
}

// Vertices at one place in every frame whose stored normals agree but whose
// rebuilt ones would not: meshmend sums face normals per vertex, so a
// texture seam an exporter smoothed over shows once it has run.
constexpr std::size_t kLargestSeam = 16;

// The surface's vertices in the order of their places in the first frame
// (`position` of `first`), each place's in their own order.
template <typename Position>
void order_by_place(const std::uint8_t* first, std::int32_t numVerts, const Position& position,
                    std::vector<std::int32_t>& order) {
    order.resize(static_cast<std::size_t>(numVerts));
    for (std::int32_t v = 0; v < numVerts; ++v) order[static_cast<std::size_t>(v)] = v;
    std::sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
        const auto pa = position(first, a), pb = position(first, b);
        return pa != pb ? pa < pb : a < b;
    });
}

// The widest angle (as its cosine) between the rebuilt normals of two
// vertices at one place over the surface's frames; 2 when their positions or
// stored normals part in some frame, so that they make no seam.
float rebuilt_apart(const std::uint8_t* model, const std::uint8_t* copy,
                    const std::uint8_t* surface, std::int32_t numFrames, std::int32_t va,
                    std::int32_t vb, float agreeing) {
    const auto position = [](const std::uint8_t* vertices, std::int32_t v) {
        const std::uint8_t* p = vertices + std::int64_t{v} * Md3Vertex::kSize;
        return std::array<std::int16_t, 3>{Md3Vertex::position(p, 0), Md3Vertex::position(p, 1),
                                           Md3Vertex::position(p, 2)};
    };
    const auto normal = [](const std::uint8_t* vs, std::int32_t v) {
        return Md3Vertex::normal(vs + std::int64_t{v} * Md3Vertex::kSize);
    };
    bool together = true;
    float apart = 1;  // the smallest cosine: the widest angle
    for (std::int32_t j = 0; j < numFrames && together; ++j) {
        const std::uint8_t* vertices = vertex_frame(surface, j);
        const std::uint8_t* rebuilt = copy + (vertices - model);
        const std::uint16_t a = normal(vertices, va), b = normal(vertices, vb);
        together = position(vertices, va) == position(vertices, vb) &&
                   (a == b || normal_angle_cosine(a, b) >= agreeing);
        const std::uint16_t ra = normal(rebuilt, va), rb = normal(rebuilt, vb);
        if (ra != rb) apart = std::min(apart, normal_angle_cosine(ra, rb));
    }
    return together ? apart : 2.0f;
}

void check_seams(const std::uint8_t* model, const std::uint8_t* copy, CheckWorkspace& w,
                 const std::vector<char>& skipped, std::vector<Problem>& out) {
    const auto cosine = [](double degrees) {
        return static_cast<float>(std::cos(degrees * kPi / 180.0));
    };
    const float agreeing = cosine(kAgreeingDegrees), seam = cosine(kSeamDegrees);
    // Wider than the crease: a hard edge, or faces back to back, kept apart.
    const float crease = crease_cosine(w.normals.creaseDegrees);
    for_each_surface(model, [&](const std::uint8_t* surface, std::int32_t s) {
        if (skipped[static_cast<std::size_t>(s)]) return true;
        const std::int32_t numVerts = Md3Surface::numVerts(surface);
        const std::int32_t numFrames = Md3Surface::numFrames(surface);
        if (numFrames == 0 || numVerts < 2) return true;
        const std::uint8_t* first = vertex_frame(surface, 0);
        const auto position = [&](const std::uint8_t* vertices, std::int32_t v) {
            const std::uint8_t* p = vertices + std::int64_t{v} * Md3Vertex::kSize;
            return std::array<std::int16_t, 3>{Md3Vertex::position(p, 0), Md3Vertex::position(p, 1),
                                               Md3Vertex::position(p, 2)};
        };
        order_by_place(first, numVerts, position, w.order);
        std::int64_t count = 0;
        float worst = 1;  // cosine
        std::vector<char> inSeam(static_cast<std::size_t>(numVerts), 0);
        for (std::size_t g = 0; g < w.order.size();) {
            std::size_t end = g + 1;
            while (end < w.order.size() &&
                   position(first, w.order[end]) == position(first, w.order[g]))
                ++end;
            // A seam joins a few copies of a vertex; a crowd at one place
            // is something else (a collapsed part), and comparing all its
            // pairs in every frame would take long.
            if (end - g > kLargestSeam) {
                g = end;
                continue;
            }
            for (std::size_t a = g; a < end; ++a)
                for (std::size_t b = a + 1; b < end; ++b) {
                    const std::int32_t va = w.order[a], vb = w.order[b];
                    const float apart =
                        rebuilt_apart(model, copy, surface, numFrames, va, vb, agreeing);
                    if (apart >= seam || apart < crease) continue;
                    worst = std::min(worst, apart);
                    for (const std::int32_t v : {va, vb}) {
                        count += !inSeam[static_cast<std::size_t>(v)];
                        inSeam[static_cast<std::size_t>(v)] = 1;
                    }
                }
            g = end;
        }
        if (count == 0) return true;
        Problem p = problem(ProblemKind::repair_seams, s, surface);
        p.count = count;
        p.worstDegrees = degrees(worst);
        p.message = "meshmend would open a seam in smooth shading at " +
                    counted(count, "vertex", "vertices") +
                    printf_text(" (stored normals agree, rebuilt ones up to %.1f deg apart)",
                                p.worstDegrees);
        out.push_back(std::move(p));
        return true;
    });
}

// The surfaces whose normals and seams are not analysed, one flag each, and
// a not_analysed problem for each: a surface the engine refuses anyway, or
// one too large to analyse within the budget.
std::vector<char> skipped_surfaces(const std::uint8_t* model, const EngineProfile& engine,
                                   std::vector<Problem>& out) {
    std::vector<char> skipped;
    for_each_surface(model, [&](const std::uint8_t* surface, std::int32_t s) {
        const std::int64_t frames = Md3Surface::numFrames(surface);
        const std::int64_t verts = Md3Surface::numVerts(surface);
        const std::int64_t triangles = Md3Surface::numTriangles(surface);
        const bool refused = (engine.refusedVertices > 0 && verts >= engine.refusedVertices) ||
                             (engine.refusedTriangles > 0 && triangles >= engine.refusedTriangles);
        const std::int64_t work = frames * std::max(verts, triangles);
        skipped.push_back(refused || work > kAnalysisBudget);
        if (!skipped.back()) return true;
        Problem p = problem(ProblemKind::not_analysed, s, surface);
        p.message =
            refused ? printf_text("normals and seams not analysed: %s refuses the surface anyway",
                                  engine.title)
                    : printf_text(
                          "normals and seams not analysed: %lld vertex- or triangle-frames, "
                          "over the budget of %lld",
                          static_cast<long long>(work), static_cast<long long>(kAnalysisBudget));
        out.push_back(std::move(p));
        return true;
    });
    return skipped;
}

bool has_nul(const std::uint8_t* field) { return std::memchr(field, 0, kNameSize) != nullptr; }

// Shader names that differ only in their extension, which the engine finds
// as one: `stripped` maps each name as it is looked up to its surfaces.
// `shaders` holds each surface's shader name as stored, gathered in the one
// walk over the surfaces: finding a surface by its index walks all before it.
void check_merged_shaders(const std::vector<std::string>& shaders,
                          const std::map<std::string, std::vector<std::int32_t>>& stripped,
                          std::vector<Problem>& out) {
    for (const auto& [name, surfaces] : stripped) {
        if (surfaces.size() < 2) continue;
        std::vector<std::string> stored;
        for (const std::int32_t s : surfaces)
            stored.push_back(shaders[static_cast<std::size_t>(s)]);
        std::sort(stored.begin(), stored.end());
        if (stored.front() == stored.back()) continue;  // one name, shared on purpose
        Problem p = problem(ProblemKind::shader_merged, -1, nullptr);
        p.surfaces = surfaces;
        std::string list;
        for (const std::int32_t s : surfaces) {
            if (!list.empty()) list += ", ";
            list += std::to_string(s);
        }
        p.message = "surfaces " + list + ": shader names that differ only in their extension all " +
                    "become " + shown_name(name) + " in the engine, which draws them all with it";
        out.push_back(std::move(p));
    }
}

void check_names(const std::uint8_t* model, const CheckWorkspace& w, std::vector<Problem>& out) {
    const auto too_long = [&](const std::uint8_t* field, std::int32_t s,
                              const std::uint8_t* surface, const char* what) {
        if (has_nul(field)) return;
        Problem p = problem(ProblemKind::name_too_long, s, surface);
        p.value = static_cast<std::int64_t>(kNameSize);
        p.limit = static_cast<std::int64_t>(kNameSize) - 1;
        p.message = printf_text(
            "%s fills all 64 bytes of its field, with no NUL to end it: a name the engine reads "
            "must end inside its field, so what it makes of this one is not known",
            what);
        out.push_back(std::move(p));
    };
    too_long(Md3Header::name(model), -1, nullptr, "model name");
    // The shader names as the engine looks them up, extension stripped from
    // the last dot, and the surfaces that use each.
    std::map<std::string, std::vector<std::int32_t>> stripped;
    std::vector<std::string> shaders;  // each surface's, as stored
    for_each_surface(model, [&](const std::uint8_t* surface, std::int32_t s) {
        too_long(Md3Surface::name(surface), s, surface, "surface name");
        const std::uint8_t* field = Md3Shader::name(shader_at(surface));
        too_long(field, s, surface, "shader name");
        const std::string shader = name_of(field);
        shaders.push_back(shader);
        if (shader.empty()) {
            Problem p = problem(ProblemKind::shader_empty, s, surface);
            p.message = "empty shader name: drawn with the default texture unless a skin names one";
            out.push_back(std::move(p));
        }
        if (shader.find('\\') != std::string::npos) {
            Problem p = problem(ProblemKind::shader_backslash, s, surface);
            p.message = "shader " + shown_name(shader) +
                        " has '\\': its shader-script entry may be missed and the plain image used";
            out.push_back(std::move(p));
        }
        const std::size_t dot = shader.rfind('.');
        stripped[dot == std::string::npos ? shader : shader.substr(0, dot)].push_back(s);
        const std::int64_t flat = w.flat[static_cast<std::size_t>(s)];
        if (flat > 0) {
            Problem p = problem(ProblemKind::degenerate_triangles, s, surface);
            p.value = flat;
            p.message = counted(flat, "degenerate triangle", "degenerate triangles") +
                        " (no area in some frame, or a vertex used twice): they draw nothing there";
            out.push_back(std::move(p));
        }
        return true;
    });
    check_merged_shaders(shaders, stripped, out);
}

}  // namespace

std::vector<Problem> find_problems(std::span<const std::uint8_t> file, const EngineProfile& engine,
                                   const ModelReport& report, CheckWorkspace& workspace) {
    const std::uint8_t* model = file.data();
    std::vector<Problem> problems;
    check_limits(model, engine, problems);
    check_frames(model, workspace, problems);
    const std::vector<char> skipped = skipped_surfaces(model, engine, problems);
    check_normals(model, report, workspace, skipped, problems);
    check_names(model, workspace, problems);
    std::stable_partition(problems.begin(), problems.end(),
                          [](const Problem& p) { return p.severity == Severity::error; });
    return problems;
}

std::vector<Problem> find_advice(std::span<const std::uint8_t> file, const EngineProfile& engine,
                                 CheckWorkspace& workspace) {
    std::vector<Problem> advice;
    if (!workspace.repaired) return advice;
    // The surfaces the problems leave unanalysed (their not_analysed
    // problems are find_problems' to report) get no seam advice either.
    std::vector<Problem> unanalysed;
    const std::vector<char> skipped = skipped_surfaces(file.data(), engine, unanalysed);
    check_seams(file.data(), workspace.copy.data(), workspace, skipped, advice);
    return advice;
}

double culling_shown_units(std::string_view gamePath) {
    std::string name(gamePath);
    std::replace(name.begin(), name.end(), '\\', '/');
    for (char& c : name) c = ascii_lower(c);
    const bool weapon =
        name.starts_with("models/weapons") || name.find("/models/weapons") != std::string::npos;
    return weapon ? kCullingShownWeaponUnits : kCullingShownUnits;
}

void grade_culling(std::vector<Problem>& problems, std::string_view path) {
    const double shown = culling_shown_units(path);
    for (Problem& p : problems) {
        if (!is_culling(p.kind)) continue;
        p.severity = p.worst >= shown ? Severity::error : Severity::warning;
        const std::size_t cut = p.message.rfind("; ");
        if (cut != std::string::npos)
            p.message = p.message.substr(0, cut + 2) + culling_consequence(p.worst, shown);
    }
    std::stable_partition(problems.begin(), problems.end(),
                          [](const Problem& p) { return p.severity == Severity::error; });
}

}  // namespace md3
