// Checking one model: the real repair pass on a private copy, then the
// differences between the copy and the file, sorted into findings.
#include "check.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "repair.hpp"

namespace {

// Customary limits of the format, and the counts at which the widely used
// engine loaders refuse a surface.
constexpr std::int64_t kCustomarySurfaces = 32;
constexpr std::int64_t kCustomaryFrames = 1024;
constexpr std::int64_t kCustomaryTags = 16;
constexpr std::int64_t kCustomaryShaders = 256;
constexpr std::int64_t kEngineVertices = 1000;
constexpr std::int64_t kEngineTriangles = 2000;

std::string name_of(const std::uint8_t* field) { return std::string(field_text(field, kNameSize)); }

void add_warning(ModelReport& report, const char* kind, std::int32_t surface, const std::string& name,
                 std::int64_t value, std::int64_t limit) {
    report.warnings.push_back({kind, surface, name, value, limit});
}

// Triangles of the surface that have no area in some frame, or use one
// vertex twice. Exact: the cross product of the stored integer positions.
std::int64_t degenerate_triangles(const std::uint8_t* surface, std::vector<char>& degenerate) {
    const std::int32_t numTriangles = Md3Surface::numTriangles(surface);
    degenerate.assign(static_cast<std::size_t>(numTriangles), 0);
    for (std::int32_t t = 0; t < numTriangles; ++t) {
        const std::uint8_t* tri = triangle_at(surface, t);
        const std::int32_t a = Md3Triangle::index(tri, 0), b = Md3Triangle::index(tri, 1),
                           c = Md3Triangle::index(tri, 2);
        degenerate[static_cast<std::size_t>(t)] = a == b || b == c || a == c;
    }
    // Frame by frame, so that one frame's vertices stay in the cache.
    const std::int32_t numFrames = Md3Surface::numFrames(surface);
    for (std::int32_t j = 0; j < numFrames; ++j) {
        const std::uint8_t* vertices = vertex_frame(surface, j);
        for (std::int32_t t = 0; t < numTriangles; ++t) {
            if (degenerate[static_cast<std::size_t>(t)]) continue;
            const std::uint8_t* tri = triangle_at(surface, t);
            std::int64_t p[3][3];
            for (int corner = 0; corner < 3; ++corner) {
                const std::uint8_t* v = vertices + std::int64_t{Md3Triangle::index(tri, corner)} * Md3Vertex::kSize;
                for (int k = 0; k < 3; ++k) p[corner][k] = Md3Vertex::position(v, k);
            }
            const std::int64_t e1[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
            const std::int64_t e2[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
            const bool flat = e2[1] * e1[2] == e2[2] * e1[1] && e2[2] * e1[0] == e2[0] * e1[2] &&
                              e2[0] * e1[1] == e2[1] * e1[0];
            degenerate[static_cast<std::size_t>(t)] = flat;
        }
    }
    return std::count(degenerate.begin(), degenerate.end(), 1);
}

void add_warnings(const std::uint8_t* model, ModelReport& report, std::vector<char>& scratch) {
    const std::int64_t numSurfaces = Md3Header::numSurfaces(model);
    const std::int64_t numFrames = Md3Header::numFrames(model);
    const std::int64_t numTags = Md3Header::numTags(model);
    if (numSurfaces > kCustomarySurfaces) add_warning(report, "surfaces", -1, "", numSurfaces, kCustomarySurfaces);
    if (numFrames > kCustomaryFrames) add_warning(report, "frames", -1, "", numFrames, kCustomaryFrames);
    if (numTags > kCustomaryTags) add_warning(report, "tags", -1, "", numTags, kCustomaryTags);
    for_each_surface(model, [&](const std::uint8_t* surface, std::int32_t s) {
        const std::string name = name_of(Md3Surface::name(surface));
        const std::int64_t numVerts = Md3Surface::numVerts(surface);
        const std::int64_t numTriangles = Md3Surface::numTriangles(surface);
        const std::int64_t numShaders = Md3Surface::numShaders(surface);
        if (numVerts >= kEngineVertices) add_warning(report, "vertices", s, name, numVerts, kEngineVertices);
        if (numTriangles >= kEngineTriangles)
            add_warning(report, "triangles", s, name, numTriangles, kEngineTriangles);
        if (numShaders > kCustomaryShaders) add_warning(report, "shaders", s, name, numShaders, kCustomaryShaders);
        const std::int64_t degenerate = degenerate_triangles(surface, scratch);
        if (degenerate > 0) add_warning(report, "degenerate_triangles", s, name, degenerate, 0);
        return true;
    });
}

// A packed normal decoded as the format defines its two bytes: the low one
// the polar angle from +Z, the high one the azimuth from +X towards +Y, both
// in units of 2*pi/255.
struct AngleTables {
    std::array<double, 256> sine, cosine;
};

const AngleTables& angle_tables() {
    static const AngleTables tables = [] {
        AngleTables t;
        for (int u = 0; u < 256; ++u) {
            const double angle = u * (2.0 * 3.14159265358979323846 / 255.0);
            t.sine[static_cast<std::size_t>(u)] = std::sin(angle);
            t.cosine[static_cast<std::size_t>(u)] = std::cos(angle);
        }
        return t;
    }();
    return tables;
}

// Cosine of the angle between two packed normals.
double normal_cosine(std::uint16_t a, std::uint16_t b) {
    const AngleTables& t = angle_tables();
    const std::size_t pa = a & 0xFFu, ya = a >> 8, pb = b & 0xFFu, yb = b >> 8;
    const double dot = t.sine[pa] * t.sine[pb] * (t.cosine[ya] * t.cosine[yb] + t.sine[ya] * t.sine[yb]) +
                       t.cosine[pa] * t.cosine[pb];
    return std::clamp(dot, -1.0, 1.0);
}

double degrees(double cosine) { return std::acos(cosine) * (180.0 / 3.14159265358979323846); }

void compare_normals(const std::uint8_t* file, const std::uint8_t* copy, ModelReport& report,
                     std::vector<double>& dots) {
    for_each_surface(file, [&](const std::uint8_t* surface, std::int32_t s) {
        const std::int32_t numFrames = Md3Surface::numFrames(surface);
        const std::int32_t numVerts = Md3Surface::numVerts(surface);
        NormalChange change;
        change.surface = s;
        change.surfaceName = name_of(Md3Surface::name(surface));
        change.total = std::int64_t{numFrames} * numVerts;
        dots.clear();
        for (std::int32_t j = 0; j < numFrames; ++j) {
            const std::uint8_t* before = vertex_frame(surface, j);
            const std::uint8_t* after = copy + (before - file);
            for (std::int32_t v = 0; v < numVerts; ++v) {
                const std::uint16_t old = Md3Vertex::normal(before + std::int64_t{v} * Md3Vertex::kSize);
                const std::uint16_t rebuilt = Md3Vertex::normal(after + std::int64_t{v} * Md3Vertex::kSize);
                if (old != rebuilt) dots.push_back(normal_cosine(old, rebuilt));
            }
        }
        if (dots.empty()) return true;
        change.changed = static_cast<std::int64_t>(dots.size());
        // The larger the cosine, the smaller the angle: the median angle is
        // the median cosine counted from the top.
        change.worstDegrees = degrees(*std::min_element(dots.begin(), dots.end()));
        const auto median = dots.begin() + static_cast<std::ptrdiff_t>(dots.size() - 1 - dots.size() / 2);
        std::nth_element(dots.begin(), median, dots.end());
        change.medianDegrees = degrees(*median);

        std::array<bool, kMaxSurfaceVerts> used{};
        for (std::int32_t t = 0; t < Md3Surface::numTriangles(surface); ++t)
            for (int corner = 0; corner < 3; ++corner)
                used[static_cast<std::size_t>(Md3Triangle::index(triangle_at(surface, t), corner))] = true;
        change.unusedVertices = std::count(used.begin(), used.begin() + numVerts, false);
        report.normals.push_back(change);
        return true;
    });
}

// Raises `largest` to `difference`; once either is NaN, it stays NaN.
void keep_largest(double& largest, double difference) {
    if (!std::isnan(largest) && !(difference <= largest)) largest = difference;
}

void keep_largest(double& largest, const std::uint8_t* before, const std::uint8_t* after, int first, int count) {
    for (int k = first; k < first + count; ++k)
        keep_largest(largest, std::fabs(double{get_f32(before + 4 * k)} - double{get_f32(after + 4 * k)}));
}

void compare_frames(const std::uint8_t* file, const std::uint8_t* copy, ModelReport& report) {
    // mins, maxs, localOrigin and radius: the first ten floats of a frame.
    constexpr std::size_t kRewritten = 40;
    FrameChange& frames = report.frames;
    frames.total = Md3Header::numFrames(file);
    for (std::int64_t i = 0; i < frames.total; ++i) {
        const std::uint8_t* before = frame_at(file, i);
        const std::uint8_t* after = copy + (before - file);
        if (std::memcmp(before, after, kRewritten) == 0) continue;
        ++frames.changed;
        keep_largest(frames.bounds, before, after, 0, 6);
        keep_largest(frames.centre, before, after, 6, 3);
        keep_largest(frames.radius, before, after, 9, 1);
    }
}

void compare_names(const std::uint8_t* file, const std::uint8_t* copy, ModelReport& report) {
    const auto compare = [&](const std::uint8_t* before, std::int32_t surface, const std::string& surfaceName) {
        const std::uint8_t* after = copy + (before - file);
        if (std::memcmp(before, after, kNameSize) != 0)
            report.names.push_back({surface, surfaceName, name_of(before), name_of(after)});
    };
    compare(Md3Header::name(file), -1, "");
    for_each_surface(file, [&](const std::uint8_t* surface, std::int32_t s) {
        compare(Md3Shader::name(shader_at(surface)), s, name_of(Md3Surface::name(surface)));
        return true;
    });
}

}  // namespace

const char* verdict_name(Verdict verdict) {
    switch (verdict) {
        case Verdict::clean: return "clean";
        case Verdict::repairable: return "repairable";
        case Verdict::refused: return "refused";
        case Verdict::invalid: return "invalid";
        case Verdict::unreadable: return "unreadable";
    }
    return "unknown";
}

std::string warning_text(const Warning& w) {
    char text[160];
    const std::string kind = w.kind;
    const long long value = w.value, limit = w.limit;
    if (kind == "vertices" || kind == "triangles")
        std::snprintf(text, sizeof text, "%lld %s; engine loaders refuse %lld or more", value, w.kind, limit);
    else if (kind == "degenerate_triangles")
        std::snprintf(text, sizeof text,
                      "%lld degenerate triangles (no area in some frame, or a vertex used twice)", value);
    else
        std::snprintf(text, sizeof text, "%lld %s; the format's customary limit is %lld", value, w.kind, limit);
    return text;
}

ModelReport check_model(std::span<const std::uint8_t> file, CheckWorkspace& workspace) {
    ModelReport report;
    report.size = static_cast<std::int64_t>(file.size());
    report.layout = validate_layout(file);
    if (!report.layout) {
        report.verdict = Verdict::invalid;
        return report;
    }
    add_warnings(file.data(), report, workspace.degenerate);

    // What meshmend would do, done to a copy.
    ModelBuffer& copy = workspace.copy;
    copy.assign(file.begin(), file.end());
    if (!repair_model(copy, nullptr, *workspace.pass)) {
        report.verdict = Verdict::refused;
        for_each_surface(file.data(), [&](const std::uint8_t* surface, std::int32_t s) {
            if (Md3Surface::numVerts(surface) <= kMaxSurfaceVerts) return true;
            report.refusedSurface = s;
            report.refusedName = name_of(Md3Surface::name(surface));
            report.refusedVerts = Md3Surface::numVerts(surface);
            return false;
        });
        return report;
    }

    // meshmend writes the model's first ofsEnd bytes and nothing else.
    const std::int64_t end = Md3Header::ofsEnd(file.data());
    report.trailingBytes = report.size - end;
    const bool same = report.trailingBytes == 0 &&
                      std::memcmp(file.data(), copy.data(), static_cast<std::size_t>(end)) == 0;
    if (same) return report;

    report.verdict = Verdict::repairable;
    compare_names(file.data(), copy.data(), report);
    compare_normals(file.data(), copy.data(), report, workspace.dots);
    compare_frames(file.data(), copy.data(), report);
    return report;
}
