// The repair pass written as plainly as possible, one vertex and one triangle
// at a time, with the C library's atan2 and acos for every normal: the
// definition the optimised pass must match byte for byte.
#include "reference_repair.hpp"

#include <array>
#include <cmath>
#include <vector>

#include "md3_layout.hpp"
#include "normal_grade.hpp"
#include "pack_normal.hpp"
#include "packed_normal.hpp"
#include "pass_steps.hpp"

using namespace md3;

namespace {

struct Vec3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

using NormalAccumulator = std::array<Vec3, kMaxSurfaceVerts>;

Vec3 decode_position(const std::uint8_t* vertex) {
    return {Md3Vertex::position(vertex, 0) * Md3Vertex::kPositionScale,
            Md3Vertex::position(vertex, 1) * Md3Vertex::kPositionScale,
            Md3Vertex::position(vertex, 2) * Md3Vertex::kPositionScale};
}

void add(Vec3& sum, const Vec3& v) {
    sum.x += v.x;
    sum.y += v.y;
    sum.z += v.z;
}

// Adds each triangle's unit face normal once at each of its corners, whatever
// its area, in triangle order. Degenerate triangles add nothing.
void accumulate_face_normals(const std::uint8_t* surface, const std::uint8_t* vertices,
                             NormalAccumulator& sums) {
    const std::int32_t numTriangles = Md3Surface::numTriangles(surface);
    for (std::int32_t t = 0; t < numTriangles; ++t) {
        const std::uint8_t* tri = triangle_at(surface, t);
        const std::int32_t i0 = Md3Triangle::index(tri, 0);
        const std::int32_t i1 = Md3Triangle::index(tri, 1);
        const std::int32_t i2 = Md3Triangle::index(tri, 2);
        const Vec3 p0 = decode_position(vertices + std::int64_t{i0} * Md3Vertex::kSize);
        const Vec3 p1 = decode_position(vertices + std::int64_t{i1} * Md3Vertex::kSize);
        const Vec3 p2 = decode_position(vertices + std::int64_t{i2} * Md3Vertex::kSize);
        const Vec3 e1{p1.x - p0.x, p1.y - p0.y, p1.z - p0.z};
        const Vec3 e2{p2.x - p0.x, p2.y - p0.y, p2.z - p0.z};
        // e2 x e1: clockwise corners face the viewer.
        Vec3 n{e2.y * e1.z - e2.z * e1.y, e2.z * e1.x - e2.x * e1.z, e2.x * e1.y - e2.y * e1.x};
        const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        if (length == 0.0f) continue;
        const float inverse = 1.0f / length;
        n = {n.x * inverse, n.y * inverse, n.z * inverse};
        add(sums[i0], n);
        add(sums[i1], n);
        add(sums[i2], n);
    }
}

// Widens `frame`'s running bounds by each vertex and stores its new normal,
// unless normals are kept. A vertex whose sum is zero (unused, or
// contributions that cancel) keeps its old normal.
void finish_vertices(std::uint8_t* vertices, std::int32_t numVerts, const NormalAccumulator& sums,
                     std::uint8_t* frame, bool keepNormals) {
    for (std::int32_t v = 0; v < numVerts; ++v) {
        std::uint8_t* vertex = vertices + std::int64_t{v} * Md3Vertex::kSize;
        const Vec3 p = decode_position(vertex);
        const float coords[3] = {p.x, p.y, p.z};
        for (int k = 0; k < 3; ++k) {
            if (coords[k] < Md3Frame::mins(frame, k)) Md3Frame::set_mins(frame, k, coords[k]);
            if (coords[k] > Md3Frame::maxs(frame, k)) Md3Frame::set_maxs(frame, k, coords[k]);
        }

        if (keepNormals) continue;
        const Vec3& a = sums[v];
        const float length = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
        if (length == 0.0f) continue;
        const float inverse = 1.0f / length;
        Md3Vertex::set_normal(vertex, pack_normal(a.x * inverse, a.y * inverse, a.z * inverse));
    }
}

using Groups = std::vector<std::vector<int>>;

bool same_position_in_every_frame(const std::uint8_t* surface, int u, int v) {
    for (std::int32_t j = 0; j < Md3Surface::numFrames(surface); ++j) {
        const std::uint8_t* vertices = vertex_frame(surface, j);
        for (int k = 0; k < 3; ++k)
            if (Md3Vertex::position(vertices + std::int64_t{u} * Md3Vertex::kSize, k) !=
                Md3Vertex::position(vertices + std::int64_t{v} * Md3Vertex::kSize, k))
                return false;
    }
    return true;
}

// The sets of two or more vertices at one position in every frame, each in
// vertex order, found by comparing every pair.
Groups copies_of_each_position(const std::uint8_t* surface) {
    const std::int32_t numVerts = Md3Surface::numVerts(surface);
    Groups groups;
    std::vector<int> groupOf(static_cast<std::size_t>(numVerts), -1);
    for (int v = 0; v < numVerts; ++v)
        for (int u = 0; u < v; ++u) {
            if (!same_position_in_every_frame(surface, u, v)) continue;
            if (groupOf[u] < 0) {
                groupOf[u] = static_cast<int>(groups.size());
                groups.push_back({u});
            }
            groupOf[v] = groupOf[u];
            groups[groupOf[u]].push_back(v);
            break;
        }
    return groups;
}

Vec3 unit(const Vec3& a) {
    const float inverse = 1.0f / std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    return {a.x * inverse, a.y * inverse, a.z * inverse};
}

// Which copies weld, from the first frame's sums: in vertex order, each copy
// with a normal joins the first cluster all of whose members' normals are
// within the crease of its own, or starts one.
Groups welded_clusters(const Groups& copies, const NormalAccumulator& sums, float creaseCosine) {
    Groups welded;
    for (const std::vector<int>& group : copies) {
        Groups clusters;
        for (const int v : group) {
            const Vec3& s = sums[v];
            if (s.x == 0.0f && s.y == 0.0f && s.z == 0.0f) continue;
            const Vec3 n = unit(s);
            std::vector<int>* home = nullptr;
            for (std::vector<int>& cluster : clusters) {
                bool fits = true;
                for (const int u : cluster) {
                    const Vec3 m = unit(sums[u]);
                    fits = fits && m.x * n.x + m.y * n.y + m.z * n.z >= creaseCosine;
                }
                if (fits) {
                    home = &cluster;
                    break;
                }
            }
            if (home)
                home->push_back(v);
            else
                clusters.push_back({v});
        }
        for (const std::vector<int>& cluster : clusters)
            if (cluster.size() > 1) welded.push_back(cluster);
    }
    return welded;
}

// Each cluster's members get the sum of their sums, unless it is zero.
void weld(const Groups& clusters, NormalAccumulator& sums) {
    for (const std::vector<int>& cluster : clusters) {
        Vec3 total;
        for (const int v : cluster) add(total, sums[v]);
        if (total.x == 0.0f && total.y == 0.0f && total.z == 0.0f) continue;
        for (const int v : cluster) sums[v] = total;
    }
}

// Prints the surface's lines and rebuilds its normals frame by frame; false
// when the surface has more vertices than the accumulator holds.
bool repair_surface(std::uint8_t* model, std::uint8_t* surface, NormalAccumulator& sums,
                    const NormalChoice& normals, std::FILE* out) {
    repair_shader_name(surface, out);
    if (!report_surface_counts(surface, out)) return false;
    const std::int32_t numFrames = Md3Surface::numFrames(surface);
    const std::int32_t numVerts = Md3Surface::numVerts(surface);
    const bool welding = normals.mode == NormalMode::weld;
    const Groups copies = welding ? copies_of_each_position(surface) : Groups{};
    Groups clusters;

    for (std::int32_t j = 0; j < numFrames; ++j) {
        std::uint8_t* vertices = vertex_frame(surface, j);
        sums.fill(Vec3{});
        accumulate_face_normals(surface, vertices, sums);
        if (welding) {
            if (j == 0)
                clusters = welded_clusters(copies, sums, crease_cosine(normals.creaseDegrees));
            weld(clusters, sums);
        }
        finish_vertices(vertices, numVerts, sums, frame_at(model, j),
                        normals.mode == NormalMode::keep);
    }
    return true;
}

}  // namespace

bool reference_repair(std::span<std::uint8_t> bytes, std::FILE* out) {
    return reference_repair(bytes, out, NormalChoice{});
}

namespace {

// Broken, plainly: the whole model welded, and the surfaces whose stored
// normals grade healthy against a whole rebuild given their stored normals
// back.
bool broken_repair(std::span<std::uint8_t> bytes, std::FILE* out, double creaseDegrees) {
    std::vector<std::uint8_t> rebuilt(bytes.begin(), bytes.end());
    if (!reference_repair(rebuilt, nullptr)) return reference_repair(bytes, out);
    const std::vector<std::uint8_t> stored(bytes.begin(), bytes.end());
    reference_repair(bytes, out, NormalChoice{NormalMode::weld, creaseDegrees});
    for_each_surface(stored.data(), [&](const std::uint8_t* surface, std::int32_t) {
        const std::int64_t first = vertex_frame(surface, 0) - stored.data();
        const std::int64_t count =
            std::int64_t{Md3Surface::numFrames(surface)} * Md3Surface::numVerts(surface);
        NormalTally tally;
        for (std::int64_t i = 0; i < count; ++i) {
            const std::int64_t at = first + i * Md3Vertex::kSize;
            tally_normal(tally, normal_cosine(angle_tables(), Md3Vertex::normal(&stored[at]),
                                              Md3Vertex::normal(&rebuilt[at])));
        }
        if (grade_normals(tally) == NormalGrade::healthy)
            for (std::int64_t i = 0; i < count; ++i) {
                const std::int64_t at = first + i * Md3Vertex::kSize;
                Md3Vertex::set_normal(&bytes[at], Md3Vertex::normal(&stored[at]));
            }
        return true;
    });
    return true;
}

}  // namespace

bool reference_repair(std::span<std::uint8_t> bytes, std::FILE* out, const NormalChoice& normals) {
    if (normals.mode == NormalMode::broken) return broken_repair(bytes, out, normals.creaseDegrees);
    std::uint8_t* model = bytes.data();

    repair_model_name(model, out);
    reset_frame_bounds(model);

    NormalAccumulator sums;
    const bool repaired = for_each_surface(model, [&](std::uint8_t* surface, std::int32_t) {
        return repair_surface(model, surface, sums, normals, out);
    });
    if (!repaired) return false;

    finish_frame_bounds(model, out);
    return true;
}
