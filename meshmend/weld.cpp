// Finding and welding the copies of a vertex along a texture seam.
#include "weld.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "md3_layout.hpp"
#include "normal_choice.hpp"

namespace md3 {

namespace {

// A stored position as one number whose order is that of (x, y, z): each
// coordinate offset to an unsigned 16-bit value.
std::uint64_t position_key(const std::uint8_t* vertex) {
    std::uint64_t key = 0;
    for (int k = 0; k < 3; ++k)
        key = (key << 16) | static_cast<std::uint16_t>(Md3Vertex::position(vertex, k) + 32768);
    return key;
}

// Whether the members [first, last) of a group all sit where its first does
// in the frame at `vertices`. Equal positions are equal bytes, in either
// byte order.
bool group_stays(const std::uint8_t* vertices, int first, int last, const RepairWorkspace& work) {
    const std::uint8_t* lead = vertices + std::int64_t{work.weldVertex[first]} * Md3Vertex::kSize;
    for (int i = first + 1; i < last; ++i)
        if (std::memcmp(vertices + std::int64_t{work.weldVertex[i]} * Md3Vertex::kSize, lead,
                        3 * sizeof(std::int16_t)) != 0)
            return false;
    return true;
}

// Sorts members [first, last) of a group by their position in the frame at
// `vertices`, then by vertex, and marks where the position changes.
void split_group(const std::uint8_t* vertices, int first, int last, RepairWorkspace& work) {
    for (int i = first; i < last; ++i) {
        const int v = work.weldVertex[i];
        work.weld.key[v] = position_key(vertices + std::int64_t{v} * Md3Vertex::kSize);
    }
    const std::uint64_t* key = work.weld.key;
    std::sort(work.weldVertex + first, work.weldVertex + last,
              [key](int a, int b) { return key[a] != key[b] ? key[a] < key[b] : a < b; });
    for (int i = first + 1; i < last; ++i)
        work.weld.start[i] = key[work.weldVertex[i]] != key[work.weldVertex[i - 1]];
}

// Drops the groups of one vertex from the first `count` members; returns
// how many members are left. Keeps the order and the end mark.
int drop_single_vertices(int count, RepairWorkspace& work) {
    int kept = 0;
    for (int first = 0, last; first < count; first = last) {
        last = first + 1;
        while (!work.weld.start[last]) ++last;
        if (last - first < 2) continue;
        for (int i = first; i < last; ++i) {
            work.weld.start[kept] = i == first;
            work.weldVertex[kept++] = work.weldVertex[i];
        }
    }
    work.weld.start[kept] = true;
    return kept;
}

// Lists the groups whose starts are marked over the first `count` members.
void list_groups(int count, RepairWorkspace& work) {
    work.numWeldGroups = 0;
    for (int i = 0; i < count; ++i)
        if (work.weld.start[i]) work.weldFirst[work.numWeldGroups++] = i;
    work.weldFirst[work.numWeldGroups] = count;
}

float dot(const Float4& a, const Float4& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// The first cluster among members [first, i) of the current group whose
// every member is within the crease of member i; `clusters` if none is.
int cluster_for(int first, int i, int clusters, float creaseCosine, const RepairWorkspace& work) {
    for (int c = 0; c < clusters; ++c) {
        bool fits = true;
        for (int k = first; k < i && fits; ++k)
            fits = work.weld.cluster[k] != c ||
                   dot(work.weld.unit[k], work.weld.unit[i]) >= creaseCosine;
        if (fits) return c;
    }
    return clusters;
}

// Clusters the members [first, last) of one group; returns how many clusters.
int cluster_group(int first, int last, float creaseCosine, RepairWorkspace& work) {
    int clusters = 0;
    for (int i = first; i < last; ++i) {
        const Float4 s = work.sum[work.weldVertex[i]];
        const float length = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
        work.weld.cluster[i] = -1;
        if (length == 0.0f) continue;
        const float inverse = 1.0f / length;
        work.weld.unit[i] = Float4{s[0] * inverse, s[1] * inverse, s[2] * inverse, 0.0f};
        const int c = cluster_for(first, i, clusters, creaseCosine, work);
        work.weld.cluster[i] = c;
        if (c == clusters) ++clusters;
    }
    return clusters;
}

}  // namespace

void find_position_groups(const std::uint8_t* surface, RepairWorkspace& work) {
    const std::int32_t numFrames = Md3Surface::numFrames(surface);
    const int numVerts = Md3Surface::numVerts(surface);
    work.numWeldGroups = 0;
    work.weldFirst[0] = 0;
    if (numFrames == 0 || numVerts < 2) return;
    // All vertices start as one group, split by each frame's positions in
    // turn; only groups that stay shared are looked at in later frames.
    int count = numVerts;
    for (int v = 0; v < numVerts; ++v) {
        work.weldVertex[v] = v;
        work.weld.start[v] = v == 0;
    }
    work.weld.start[count] = true;
    for (std::int32_t j = 0; j < numFrames && count > 0; ++j) {
        const std::uint8_t* vertices = vertex_frame(surface, j);
        bool split = false;
        // The members are visited in order of position, not of address: the
        // next frame is fetched into the cache meanwhile.
        if (j + 1 < numFrames)
            for (std::int64_t at = 0; at < std::int64_t{numVerts} * Md3Vertex::kSize; at += 64)
                __builtin_prefetch(vertices + std::int64_t{numVerts} * Md3Vertex::kSize + at);
        for (int first = 0, last; first < count; first = last) {
            last = first + 1;
            while (!work.weld.start[last]) ++last;
            // Most groups stay whole from frame to frame: they are only
            // compared, and sorted only when they part.
            if (group_stays(vertices, first, last, work)) continue;
            split_group(vertices, first, last, work);
            split = true;
        }
        if (split) count = drop_single_vertices(count, work);
    }
    list_groups(count, work);
}

void split_creases(float creaseCosine, RepairWorkspace& work) {
    // The clusters are listed in the scratch members, their starts marked,
    // and then become the groups.
    int out = 0;
    for (int g = 0; g < work.numWeldGroups; ++g) {
        const int first = work.weldFirst[g], last = work.weldFirst[g + 1];
        const int clusters = cluster_group(first, last, creaseCosine, work);
        for (int c = 0; c < clusters; ++c) {
            const int start = out;
            for (int i = first; i < last; ++i)
                if (work.weld.cluster[i] == c) work.weld.members[out++] = work.weldVertex[i];
            if (out - start < 2) {
                out = start;
                continue;
            }
            for (int i = start; i < out; ++i) work.weld.start[i] = i == start;
        }
    }
    std::copy_n(work.weld.members, out, work.weldVertex);
    list_groups(out, work);
}

void weld_sums(RepairWorkspace& work) {
    for (int g = 0; g < work.numWeldGroups; ++g) {
        const int first = work.weldFirst[g], last = work.weldFirst[g + 1];
        Float4 total{};
        for (int i = first; i < last; ++i) total += work.sum[work.weldVertex[i]];
        if (total[0] == 0.0f && total[1] == 0.0f && total[2] == 0.0f) continue;
        for (int i = first; i < last; ++i) work.sum[work.weldVertex[i]] = total;
    }
}

float crease_cosine(double degrees) {
    // Folded into [0, 90] degrees, where the series converges fast: by its
    // sixteenth term the remainder is far below a double's precision.
    constexpr double kPi = 3.14159265358979323846;
    const bool obtuse = degrees > 90.0;
    const double x = (obtuse ? 180.0 - degrees : degrees) * (kPi / 180.0);
    double term = 1.0, sum = 1.0;
    for (int n = 1; n <= 16; ++n) {
        term *= -x * x / static_cast<double>((2 * n - 1) * (2 * n));
        sum += term;
    }
    return static_cast<float>(obtuse ? -sum : sum);
}

}  // namespace md3
