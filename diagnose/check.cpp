// Checking one model: the real repair pass on a private copy, then the
// differences between the copy and the file, sorted into findings.
#include "check.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>

#include "packed_normal.hpp"
#include "repair.hpp"
#include "side_by_side.hpp"
#include "text.hpp"

namespace md3 {

namespace {

// Whether triangle t of the surface has no area in frame j: exact, the
// cross product of the stored integer positions.
bool flat_in_frame(const std::uint8_t* surface, std::int32_t j, std::int32_t t) {
    const std::uint8_t* vertices = vertex_frame(surface, j);
    const std::uint8_t* tri = triangle_at(surface, t);
    const auto at = [&](int corner, int k) -> std::int64_t {
        return Md3Vertex::position(
            vertices + std::int64_t{Md3Triangle::index(tri, corner)} * Md3Vertex::kSize, k);
    };
    const std::int64_t e1[3] = {at(1, 0) - at(0, 0), at(1, 1) - at(0, 1), at(1, 2) - at(0, 2)};
    const std::int64_t e2[3] = {at(2, 0) - at(0, 0), at(2, 1) - at(0, 1), at(2, 2) - at(0, 2)};
    return e2[1] * e1[2] == e2[2] * e1[1] && e2[2] * e1[0] == e2[0] * e1[2] &&
           e2[0] * e1[1] == e2[1] * e1[0];
}

// Degenerate triangles: those that use one vertex twice, or have no area in
// some frame. Flags for every triangle of the model, surface after surface;
// the surfaces' offsets in the model and where each one's flags begin.
struct FlatCount {
    const std::uint8_t* model;  // the one the pass works on
    std::vector<char>& degenerate;
    std::vector<std::int64_t> surfaceAt;
    std::vector<std::size_t> firstFlag;
    std::size_t current = 0;  // the surface last told of: they come in order
};

// Starts the count with the triangles that use one vertex twice.
void start_flat_count(const std::uint8_t* model, FlatCount& count) {
    count.degenerate.clear();
    for_each_surface(model, [&](const std::uint8_t* surface, std::int32_t) {
        count.surfaceAt.push_back(surface - model);
        count.firstFlag.push_back(count.degenerate.size());
        for (std::int32_t t = 0; t < Md3Surface::numTriangles(surface); ++t) {
            const std::uint8_t* tri = triangle_at(surface, t);
            const std::int32_t c[3] = {Md3Triangle::index(tri, 0), Md3Triangle::index(tri, 1),
                                       Md3Triangle::index(tri, 2)};
            count.degenerate.push_back(c[0] == c[1] || c[1] == c[2] || c[0] == c[2]);
        }
        return true;
    });
}

// The pass's report of a zero cross product, which it forms in rounded
// floats: an exactly flat triangle always gives one (equal exact products
// round alike), so only these need the exact test.
void note_zero_cross(void* context, const std::uint8_t* surface, std::int32_t j, std::int32_t t) {
    FlatCount& count = *static_cast<FlatCount*>(context);
    while (count.surfaceAt[count.current] != surface - count.model) ++count.current;
    char& flag = count.degenerate[count.firstFlag[count.current] + static_cast<std::size_t>(t)];
    if (!flag) flag = flat_in_frame(surface, j, t);
}

// Every triangle-frame tested exactly: where the pass stopped short of the
// end of the model.
void test_every_frame(const std::uint8_t* model, FlatCount& count) {
    std::size_t s = 0;
    for_each_surface(model, [&](const std::uint8_t* surface, std::int32_t) {
        // A surface without triangles may start past the last flag.
        char* flags = count.degenerate.data() + count.firstFlag[s++];
        for (std::int32_t j = 0; j < Md3Surface::numFrames(surface); ++j)
            for (std::int32_t t = 0; t < Md3Surface::numTriangles(surface); ++t)
                if (!flags[t]) flags[t] = flat_in_frame(surface, j, t);
        return true;
    });
}

// The degenerate triangles of every surface, in file order.
void finish_flat_count(const FlatCount& count, std::vector<std::int64_t>& flat) {
    flat.clear();
    for (std::size_t s = 0; s < count.firstFlag.size(); ++s) {
        const auto first =
            count.degenerate.begin() + static_cast<std::ptrdiff_t>(count.firstFlag[s]);
        const auto last =
            s + 1 < count.firstFlag.size()
                ? count.degenerate.begin() + static_cast<std::ptrdiff_t>(count.firstFlag[s + 1])
                : count.degenerate.end();
        flat.push_back(std::count(first, last, 1));
    }
}

// Triangle-frames past which the farthest vertices are measured on a thread
// of their own beside the copy and the repair pass: that reads only the
// original.
constexpr std::int64_t kThreadedFarthest = 200000;

std::int64_t triangle_frames(const std::uint8_t* model) {
    std::int64_t total = 0;
    for_each_surface(model, [&](const std::uint8_t* surface, std::int32_t) {
        total += std::int64_t{Md3Surface::numTriangles(surface)} * Md3Surface::numFrames(surface);
        return true;
    });
    return total;
}

// A float's bits as a number that orders like the float: larger floats,
// larger keys. The top 16 bits of a key are its bucket.
std::uint32_t order_key(float f) {
    const auto bits = std::bit_cast<std::uint32_t>(f);
    return (bits & 0x80000000u) != 0 ? ~bits : bits | 0x80000000u;
}
float from_order_key(std::uint32_t key) {
    return std::bit_cast<float>((key & 0x80000000u) != 0 ? key & 0x7FFFFFFFu : ~key);
}

// The rank-th smallest of the values `visit` goes through (it calls its
// argument with each), given how many values fall in each bucket
// (`buckets`, 65536 counts): a radix selection that takes one more pass over
// the values, where sorting, or even nth_element, takes many. On a very
// large surface the values are made again by that pass rather than kept:
// they would take half the model's size again.
template <typename Visit>
float select_rank(Visit visit, std::size_t rank, const std::vector<std::uint32_t>& buckets,
                  std::vector<std::uint32_t>& low) {
    std::uint32_t bucket = 0;
    while (rank >= buckets[bucket]) rank -= buckets[bucket++];
    low.assign(65536, 0);
    visit([&](float value) {
        const std::uint32_t key = order_key(value);
        if (key >> 16 == bucket) ++low[key & 0xFFFFu];
    });
    std::uint32_t rest = 0;
    while (rank >= low[rest]) rank -= low[rest++];
    return from_order_key(bucket << 16 | rest);
}

// The rank-th smallest of values[0 .. n), found a digit of the values'
// order keys at a time (11, 11 and 10 bits): the values whose leading digits
// are the rank's are copied aside as keys, so each digit counts fewer. Unlike
// nth_element it takes no branch that depends on the values, and it leaves
// them as they are.
float select_kept(const float* values, std::size_t n, std::size_t rank,
                  std::vector<std::uint32_t>& keys, std::vector<std::uint32_t>& counts) {
    if (keys.size() < n) keys.resize(n);
    std::uint32_t prefix = 0;
    std::size_t m = n;
    for (const int shift : {21, 10, 0}) {
        const std::uint32_t digits = shift == 0 ? 1024 : 2048;
        counts.assign(digits, 0);
        if (shift == 21)
            for (std::size_t i = 0; i < n; ++i) {
                keys[i] = order_key(values[i]);
                ++counts[keys[i] >> 21];
            }
        else
            for (std::size_t i = 0; i < m; ++i) ++counts[(keys[i] >> shift) & (digits - 1)];
        std::uint32_t digit = 0;
        while (rank >= counts[digit]) rank -= counts[digit++];
        prefix |= digit << shift;
        if (shift == 0) break;
        // The keys that share the digits found so far, in place.
        std::size_t kept = 0;
        for (std::size_t i = 0; i < m; ++i) {
            keys[kept] = keys[i];
            kept += (keys[i] >> shift) == prefix >> shift;
        }
        m = kept;
    }
    return from_order_key(prefix);
}

// Changes of a surface up to which their median is found by nth_element,
// past which by select_kept: for a few hundred values, clearing its counts
// would cost more than nth_element's mispredicted branches.
constexpr std::size_t kSelectedKept = 512;

// The rank-th smallest of the first `changed` kept cosines. Ranks are asked
// for in increasing order: each nth_element leaves the larger values after
// its rank, `from`, where the next one looks.
float kept_rank(NormalScratch& w, std::size_t changed, std::size_t rank, std::size_t& from) {
    if (changed > kSelectedKept) return select_kept(w.cosines.data(), changed, rank, w.keys, w.low);
    const auto median = w.cosines.begin() + static_cast<std::ptrdiff_t>(rank);
    std::nth_element(w.cosines.begin() + static_cast<std::ptrdiff_t>(from), median,
                     w.cosines.begin() + static_cast<std::ptrdiff_t>(changed));
    from = rank;
    return *median;
}

// Vertex-frames of a surface from which its median is found by buckets.
constexpr std::int64_t kBucketedMedian = 65536;
// Vertex-frames of a surface up to which the cosines are kept for the
// selection (16 MiB of them); past that each selection makes them again.
constexpr std::int64_t kKeptCosines = std::int64_t{1} << 22;

// What the first pass over a surface's normal changes counts.
struct CosineCounts {
    std::size_t changed = 0;  // vertex-frames whose packed normal changes
    NormalTally tally;        // over every vertex-frame, changed or not
    float worst = 1.0f;       // the smallest cosine of a change
};

// Counts the changes of the surface's normals from `file` to `copy`, their
// cosines into w.buckets when `bucketed` and into w.cosines when `kept`.
CosineCounts count_cosines(const std::uint8_t* file, const std::uint8_t* copy,
                           const std::uint8_t* surface, bool bucketed, bool kept,
                           NormalScratch& w) {
    const AngleTables& tables = angle_tables();
    const std::int32_t numFrames = Md3Surface::numFrames(surface);
    const std::int32_t numVerts = Md3Surface::numVerts(surface);
    CosineCounts c;
    for (std::int32_t j = 0; j < numFrames; ++j) {
        const std::uint8_t* before = vertex_frame(surface, j);
        const std::uint8_t* after = copy + (before - file);
        for (std::int32_t v = 0; v < numVerts; ++v) {
            const std::uint16_t old =
                Md3Vertex::normal(before + std::int64_t{v} * Md3Vertex::kSize);
            const std::uint16_t rebuilt =
                Md3Vertex::normal(after + std::int64_t{v} * Md3Vertex::kSize);
            // Without a branch, as tally_normal counts: most often every
            // normal or none changes, but in between a branch would be a
            // coin toss.
            const float cosine = normal_cosine(tables, old, rebuilt);
            const bool differs = old != rebuilt;
            c.worst = differs && cosine < c.worst ? cosine : c.worst;
            if (bucketed) w.buckets[order_key(cosine) >> 16] += differs;
            if (kept) w.cosines[c.changed] = cosine;
            c.changed += differs;
            tally_normal(c.tally, cosine);
        }
    }
    return c;
}

// Calls `visit` with the cosine of each change of the surface's normals from
// `file` to `copy`, in the order of the first pass.
template <typename Visit>
void for_each_changed_cosine(const std::uint8_t* file, const std::uint8_t* copy,
                             const std::uint8_t* surface, Visit& visit) {
    const AngleTables& tables = angle_tables();
    const std::int32_t numFrames = Md3Surface::numFrames(surface);
    const std::int32_t numVerts = Md3Surface::numVerts(surface);
    for (std::int32_t j = 0; j < numFrames; ++j) {
        const std::uint8_t* before = vertex_frame(surface, j);
        const std::uint8_t* after = copy + (before - file);
        for (std::int32_t v = 0; v < numVerts; ++v) {
            const std::uint16_t old =
                Md3Vertex::normal(before + std::int64_t{v} * Md3Vertex::kSize);
            const std::uint16_t rebuilt =
                Md3Vertex::normal(after + std::int64_t{v} * Md3Vertex::kSize);
            if (old != rebuilt) visit(normal_cosine(tables, old, rebuilt));
        }
    }
}

// The surface's vertices that no triangle uses.
std::int64_t unused_vertices(const std::uint8_t* surface, std::int32_t numVerts) {
    std::array<bool, kMaxSurfaceVerts> used{};
    for (std::int32_t t = 0; t < Md3Surface::numTriangles(surface); ++t)
        for (int corner = 0; corner < 3; ++corner)
            used[static_cast<std::size_t>(Md3Triangle::index(triangle_at(surface, t), corner))] =
                true;
    return std::count(used.begin(), used.begin() + numVerts, false);
}

// The normal changes of one surface; `changed` is 0 when there are none.
NormalChange compare_surface_normals(const std::uint8_t* file, const std::uint8_t* copy,
                                     const std::uint8_t* surface, std::int32_t s,
                                     NormalScratch& w) {
    const std::int32_t numFrames = Md3Surface::numFrames(surface);
    const std::int32_t numVerts = Md3Surface::numVerts(surface);
    NormalChange change;
    change.surface = s;
    change.surfaceName = name_of(Md3Surface::name(surface));
    change.total = std::int64_t{numFrames} * numVerts;
    // Counting buckets for the median pays on a large surface; on a small one
    // clearing them would cost more than finding the median outright.
    const bool bucketed = change.total >= kBucketedMedian;
    const bool kept = change.total <= kKeptCosines;
    if (bucketed) w.buckets.assign(65536, 0);
    // Grown only: shrinking and growing again would zero the difference.
    if (kept && w.cosines.size() < static_cast<std::size_t>(change.total))
        w.cosines.resize(static_cast<std::size_t>(change.total));
    const CosineCounts counts = count_cosines(file, copy, surface, bucketed, kept, w);
    const std::size_t changed = counts.changed;
    const std::int64_t farOff = counts.tally.farOff, inward = counts.tally.inward;
    if (changed == 0) return change;
    change.changed = static_cast<std::int64_t>(changed);
    change.tally = counts.tally;
    change.worstDegrees = degrees(counts.worst);
    // The larger the cosine, the smaller the angle: the median angle is the
    // median cosine counted from the top.
    // Ranks are asked for in increasing order: each selection leaves the
    // larger values after its rank, where the next one looks.
    std::size_t from = 0;
    const auto each_change = [&](auto visit) {
        if (kept) {
            for (std::size_t i = 0; i < changed; ++i) visit(w.cosines[i]);
            return;
        }
        for_each_changed_cosine(file, copy, surface, visit);
    };
    const auto angle_at = [&](std::size_t rank) {
        if (bucketed) return degrees(select_rank(each_change, rank, w.buckets, w.low));
        return degrees(kept_rank(w, changed, rank, from));
    };
    change.medianDegrees = angle_at(changed - 1 - changed / 2);
    // Over every vertex-frame, the unchanged ones are the smallest angles:
    // the median is 0 unless more than half change. It takes another
    // selection, made only where the normals may be broken or inverted.
    const auto total = static_cast<std::size_t>(change.total);
    const std::size_t unchanged = total - changed;
    const auto share = [&](std::int64_t count) {
        return static_cast<double>(count) / static_cast<double>(total);
    };
    if (total / 2 < unchanged || (share(farOff) < kBrokenShare && share(inward) <= kInvertedShare))
        change.overallMedianDegrees = 0;
    else if (unchanged == 0)
        change.overallMedianDegrees = change.medianDegrees;
    else
        change.overallMedianDegrees = angle_at(changed - 1 - (total / 2 - unchanged));

    change.unusedVertices = unused_vertices(surface, numVerts);
    return change;
}

// Vertex-frames past which the surfaces' normals are compared in two halves,
// the second on a thread of its own.
constexpr std::int64_t kThreadedNormals = 200000;

void compare_normals(const std::uint8_t* file, const std::uint8_t* copy,
                     std::vector<NormalChange>& out, CheckWorkspace& w) {
    std::vector<const std::uint8_t*> surfaces;
    std::int64_t total = 0;
    for_each_surface(file, [&](const std::uint8_t* surface, std::int32_t) {
        surfaces.push_back(surface);
        total += std::int64_t{Md3Surface::numFrames(surface)} * Md3Surface::numVerts(surface);
        return true;
    });
    std::vector<NormalChange> changes(surfaces.size());
    const auto compare = [&](std::size_t first, std::size_t last, NormalScratch& scratch) {
        for (std::size_t s = first; s < last; ++s)
            changes[s] = compare_surface_normals(file, copy, surfaces[s],
                                                 static_cast<std::int32_t>(s), scratch);
    };
    // The second half starts at the surface where half the work is done.
    std::size_t half = surfaces.size();
    if (total >= kThreadedNormals) {
        std::int64_t done = 0;
        for (half = 0; half < surfaces.size() && 2 * done < total; ++half)
            done += std::int64_t{Md3Surface::numFrames(surfaces[half])} *
                    Md3Surface::numVerts(surfaces[half]);
    }
    side_by_side(
        half < surfaces.size(), [&] { compare(0, half, w.first); },
        [&] { compare(half, surfaces.size(), w.second); });
    for (const NormalChange& change : changes)
        if (change.changed > 0) out.push_back(change);
}

// Raises `largest` to `difference`; once either is NaN, it stays NaN.
void keep_largest(double& largest, double difference) {
    if (!std::isnan(largest) && !(difference <= largest)) largest = difference;
}

void keep_largest(double& largest, const std::uint8_t* before, const std::uint8_t* after, int first,
                  int count) {
    for (int k = first; k < first + count; ++k)
        keep_largest(largest,
                     std::fabs(double{get_f32(before + 4 * k)} - double{get_f32(after + 4 * k)}));
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
    const auto compare = [&](const std::uint8_t* before, std::int32_t surface,
                             const std::string& surfaceName) {
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

namespace {

// Copies the file into workspace.copy and runs the pass on the copy in
// `normals`; true when it finished. The copy is resized without being
// filled, then copied in one block: assigning from iterators would construct
// the bytes one at a time. With `countFlat`, which takes the default rebuild,
// the flat triangles are counted into workspace.flat as the pass goes: it
// forms every triangle's cross product in every frame, and names those that
// come out as zeros.
bool repair_copy_of(std::span<const std::uint8_t> file, CheckWorkspace& workspace,
                    const NormalChoice& normals, bool countFlat) {
    ModelBuffer& copy = workspace.copy;
    copy.resize(file.size());
    std::memcpy(copy.data(), file.data(), file.size());
    if (!countFlat)
        return repair_model(copy, nullptr, *workspace.pass, best_instruction_set(), normals);
    FlatCount flat{copy.data(), workspace.degenerate, {}, {}};
    start_flat_count(copy.data(), flat);
    const ZeroCrossWatch watch{note_zero_cross, &flat};
    workspace.pass->watch = &watch;
    const bool repaired =
        repair_model(copy, nullptr, *workspace.pass, best_instruction_set(), normals);
    workspace.pass->watch = nullptr;
    if (!repaired) test_every_frame(copy.data(), flat);
    finish_flat_count(flat, workspace.flat);
    return repaired;
}

// A model meshmend refuses: the first surface with more vertices than it takes.
void note_refused(const std::uint8_t* model, ModelReport& report) {
    report.verdict = Verdict::refused;
    for_each_surface(model, [&](const std::uint8_t* surface, std::int32_t s) {
        if (Md3Surface::numVerts(surface) <= kMaxSurfaceVerts) return true;
        report.refusedSurface = s;
        report.refusedName = name_of(Md3Surface::name(surface));
        report.refusedVerts = Md3Surface::numVerts(surface);
        return false;
    });
}

// Under a normal mode other than rebuild, the normals are graded against the
// default rebuild all the same (a model's health does not depend on how it
// would be repaired): that rebuild's normal changes, made in the copy that
// the mode's own pass then overwrites.
void compare_with_rebuild(std::span<const std::uint8_t> file, CheckWorkspace& workspace) {
    workspace.rebuiltNormals.clear();
    if (workspace.normals.mode == NormalMode::rebuild) return;
    if (repair_copy_of(file, workspace, NormalChoice{}, true))
        compare_normals(file.data(), workspace.copy.data(), workspace.rebuiltNormals, workspace);
}

// The verdict and what meshmend would change.
ModelReport check_changes(std::span<const std::uint8_t> file, CheckWorkspace& workspace,
                          std::int64_t fileSize) {
    ModelReport report;
    report.size = fileSize >= 0 ? fileSize : static_cast<std::int64_t>(file.size());
    report.layout = validate_layout(file, fileSize);
    if (!report.layout) {
        report.verdict = Verdict::invalid;
        return report;
    }
    workspace.repaired = false;
    // The modes other than rebuild run the pass twice; broken, besides,
    // rebuilds each surface once more than it welds.
    const std::int64_t passes = workspace.normals.mode == NormalMode::rebuild  ? 1
                                : workspace.normals.mode == NormalMode::broken ? 3
                                                                               : 2;
    const std::int64_t once = check_work(file.data());  // saturates
    const std::int64_t work = once > kCheckBudget ? once : passes * once;
    if (work > kCheckBudget) {
        report.verdict = Verdict::unreadable;
        report.error = printf_text(
            "not computed: checking it takes %lld vertex- and triangle-frames, over the "
            "budget of %lld",
            static_cast<long long>(work), static_cast<long long>(kCheckBudget));
        return report;
    }
    // What meshmend would do, done to a copy; under the default rebuild the
    // flat triangles are counted as it goes (else compare_with_rebuild does).
    const auto repair_copy = [&] {
        workspace.repaired = repair_copy_of(file, workspace, workspace.normals,
                                            workspace.normals.mode == NormalMode::rebuild);
    };
    // On a large model, the farthest vertex of each frame from its centre
    // too: the sphere check needs it on every frame whose bounds are off,
    // and beside the pass it costs no time.
    const bool large = triangle_frames(file.data()) >= kThreadedFarthest;
    workspace.farthest.clear();
    compare_with_rebuild(file, workspace);
    side_by_side(large, repair_copy, [&] {
        if (large) measure_farthest(file.data(), workspace.farthest);
    });
    const ModelBuffer& copy = workspace.copy;
    if (!workspace.repaired) {
        note_refused(file.data(), report);
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
    compare_normals(file.data(), copy.data(), report.normals, workspace);
    compare_frames(file.data(), copy.data(), report);
    return report;
}

}  // namespace

std::int64_t check_work(const std::uint8_t* model) {
    // Counts are not negative once the layout is checked; the sum saturates.
    constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
    std::int64_t total = 0;
    for_each_surface(model, [&](const std::uint8_t* surface, std::int32_t) {
        const std::int64_t work =
            std::int64_t{Md3Surface::numFrames(surface)} *
            (std::int64_t{Md3Surface::numTriangles(surface)} + Md3Surface::numVerts(surface));
        total = work > kMost - total ? kMost : total + work;
        return true;
    });
    return total;
}

namespace {

// The frame count and first frame's tag names of a model the layout check
// passed. The layout check does not cover the tags, so their offset and
// count are checked here against the file.
PartFacts part_facts(std::span<const std::uint8_t> file) {
    PartFacts facts;
    const std::uint8_t* h = file.data();
    facts.frames = Md3Header::numFrames(h);
    const std::int64_t ofsTags = Md3Header::ofsTags(h);
    const std::int64_t numTags = Md3Header::numTags(h);
    const auto size = static_cast<std::int64_t>(file.size());
    if (ofsTags < 0 || numTags < 0 || numTags > size / Md3Tag::kSize ||
        ofsTags + numTags * Md3Tag::kSize > size)
        return facts;
    facts.tagsKnown = true;
    for (std::int64_t t = 0; t < numTags; ++t)
        facts.tags.push_back(name_of(Md3Tag::name(h + ofsTags + t * Md3Tag::kSize)));
    return facts;
}

}  // namespace

ModelReport check_model(std::span<const std::uint8_t> file, CheckWorkspace& workspace,
                        const EngineProfile& engine, std::int64_t fileSize) {
    ModelReport report = check_changes(file, workspace, fileSize);
    report.normalChoice = workspace.normals;
    if (report.verdict != Verdict::invalid && report.verdict != Verdict::unreadable) {
        report.problems = find_problems(file, engine, report, workspace);
        report.advice = find_advice(file, engine, workspace);
        report.facts = part_facts(file);
    }
    return report;
}

}  // namespace md3
