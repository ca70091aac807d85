// Drawing the picture of a checked model, and naming its file.
#include "picture.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "md3_layout.hpp"
#include "model_frame.hpp"
#include "pack_normal.hpp"
#include "png_writer.hpp"
#include "render.hpp"
#include "text.hpp"

namespace md3 {

namespace {

// "; `label`: " and the first `shown` of `names`, joined by ", ", then
// "and N more surfaces" for the rest; nothing when there are no names.
std::string listed(const char* label, const std::vector<std::string>& names, std::size_t shown) {
    if (names.empty()) return "";
    std::string text = std::string("; ") + label + ": ";
    for (std::size_t i = 0; i < shown; ++i) text += (i == 0 ? "" : ", ") + names[i];
    if (shown < names.size())
        text += (shown == 0 ? "" : ", and ") + counted(static_cast<long long>(names.size() - shown),
                                                       "more surface", "more surfaces");
    return text;
}

// The first panel's caption: the surfaces whose stored normals are broken or
// inverted, as many of each as fit, the longer list cut first.
std::string stored_caption(const std::vector<std::string>& broken,
                           const std::vector<std::string>& inverted) {
    // No more names fit than the lines hold characters: that bounds the work.
    constexpr auto kRoom = static_cast<std::size_t>(kPanelCaptionColumns * kPanelCaptionLines[0]);
    std::size_t b = std::min(broken.size(), kRoom), i = std::min(inverted.size(), kRoom);
    for (;;) {
        const std::string text =
            "stored normals" + listed("broken", broken, b) + listed("inverted", inverted, i);
        bool fits = false;
        caption_lines(text, kPanelCaptionColumns, kPanelCaptionLines[0], &fits);
        if (fits || (b == 0 && i == 0)) return text;
        (b >= i ? b : i) -= 1;
    }
}

// The model's line: its name shortened at the front, with "...", when the
// line would not fit whole, so that what follows it always shows.
std::string model_line(const std::string& name, const std::string& rest) {
    const auto room = static_cast<std::size_t>(kModelCaptionColumns);
    if (name.size() + rest.size() <= room || rest.size() + 3 >= room) return name + rest;
    return "..." + name.substr(name.size() - (room - rest.size() - 3)) + rest;
}

}  // namespace

PictureCaptions picture_captions(const FrameArrays& arrays, const ModelReport& report,
                                 const std::string& name, std::int32_t frame, std::int32_t frames,
                                 const OutsideCounts& outside) {
    std::int64_t differing = 0;
    for (std::size_t v = 0; v < arrays.storedNormals.size(); ++v)
        differing += arrays.storedNormals[v] != arrays.rebuiltNormals[v];
    const auto vertices = static_cast<long long>(arrays.storedNormals.size());
    PictureCaptions c;
    std::string rest = "  frame " + std::to_string(frame) + " of " + std::to_string(frames) + "  " +
                       counted(arrays.surfaces, "surface", "surfaces") + "  " +
                       counted(vertices, "vertex", "vertices") + "  " +
                       health_name(health_of(report)) +
                       "; meshmend: " + verdict_name(report.verdict);
    if (outside.sphere > 0) rest += "  sphere misses " + std::to_string(outside.sphere);
    if (outside.box > 0) rest += "  box misses " + std::to_string(outside.box);
    c.model = model_line(name, rest);
    std::vector<std::string> broken, inverted;
    for (const Problem& p : report.problems) {
        // A broken surface whose cause is named is no less broken.
        if (p.kind == ProblemKind::normals_inverted)
            inverted.push_back(p.surfaceName);
        else if (normals_wrong(p.kind))
            broken.push_back(p.surfaceName);
    }
    c.panels[0] = stored_caption(broken, inverted);
    c.panels[1] = report.verdict == Verdict::refused
                      ? "normals rebuilt from the triangles (meshmend refuses this model)"
                      : "normals meshmend writes";
    c.panels[2] = "angle between them: " + std::to_string(differing) + " of " +
                  std::to_string(vertices) + " differ";
    return c;
}

namespace {

struct Vec3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

Vec3 position_of(const std::uint8_t* vertex) {
    return {Md3Vertex::position(vertex, 0) * Md3Vertex::kPositionScale,
            Md3Vertex::position(vertex, 1) * Md3Vertex::kPositionScale,
            Md3Vertex::position(vertex, 2) * Md3Vertex::kPositionScale};
}

// The normals of one surface's frame rebuilt from its triangles as the repair
// pass rebuilds them (each triangle's unit face normal added once at each
// corner, in triangle order, the sum packed), whatever its vertex count; a
// vertex whose sum is zero keeps its stored normal, as there.
void rebuild_surface(const std::uint8_t* surface, std::int32_t frame, std::uint16_t* normals) {
    const std::int32_t numVerts = Md3Surface::numVerts(surface);
    const std::uint8_t* vertices = vertex_frame(surface, frame);
    std::vector<Vec3> sums(static_cast<std::size_t>(std::max(numVerts, 0)));
    const std::int32_t numTriangles = Md3Surface::numTriangles(surface);
    for (std::int32_t t = 0; t < numTriangles; ++t) {
        const std::uint8_t* tri = triangle_at(surface, t);
        std::int32_t at[3];
        Vec3 p[3];
        bool inside = true;
        for (int c = 0; c < 3; ++c) {
            at[c] = Md3Triangle::index(tri, c);
            inside = inside && at[c] >= 0 && at[c] < numVerts;
            if (inside) p[c] = position_of(vertices + std::int64_t{at[c]} * Md3Vertex::kSize);
        }
        if (!inside) continue;
        const Vec3 e1{p[1].x - p[0].x, p[1].y - p[0].y, p[1].z - p[0].z};
        const Vec3 e2{p[2].x - p[0].x, p[2].y - p[0].y, p[2].z - p[0].z};
        Vec3 n{e2.y * e1.z - e2.z * e1.y, e2.z * e1.x - e2.x * e1.z, e2.x * e1.y - e2.y * e1.x};
        const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        if (length == 0.0f) continue;
        const float inverse = 1.0f / length;
        n = {n.x * inverse, n.y * inverse, n.z * inverse};
        for (const std::int32_t v : at) {
            Vec3& sum = sums[static_cast<std::size_t>(v)];
            sum = {sum.x + n.x, sum.y + n.y, sum.z + n.z};
        }
    }
    for (std::size_t v = 0; v < sums.size(); ++v) {
        const Vec3& a = sums[v];
        const float length = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
        if (length == 0.0f) continue;
        const float inverse = 1.0f / length;
        normals[v] = pack_normal(a.x * inverse, a.y * inverse, a.z * inverse);
    }
}

}  // namespace

void rebuild_normals(const std::uint8_t* model, std::int32_t frame, FrameArrays& arrays) {
    std::size_t base = 0;
    for_each_surface(model, [&](const std::uint8_t* surface, std::int32_t) {
        if (frame >= Md3Surface::numFrames(surface)) return true;
        const auto numVerts = static_cast<std::size_t>(std::max(Md3Surface::numVerts(surface), 0));
        if (base + numVerts > arrays.rebuiltNormals.size()) return false;
        rebuild_surface(surface, frame, arrays.rebuiltNormals.data() + base);
        base += numVerts;
        return true;
    });
}

namespace {

// The frame drawn when none is asked for: the first a problem is found in,
// else 0.
std::int32_t first_problem_frame(const ModelReport& report, std::int32_t frames) {
    std::int64_t first = -1;
    for (const Problem& p : report.problems)
        if (p.firstFrame >= 0 && p.firstFrame < frames && (first < 0 || p.firstFrame < first))
            first = p.firstFrame;
    return first < 0 ? 0 : static_cast<std::int32_t>(first);
}

// Where a picture's name starts in `whole` when it may not start before
// `earliest`: after the first separator of components at or past it, else
// after the first byte that is no letter or digit, else at `earliest`.
std::size_t name_start(const std::string& whole, std::size_t earliest) {
    const auto starts_after = [&](auto&& separates) {
        for (std::size_t at = std::max<std::size_t>(earliest, 1); at < whole.size(); ++at)
            if (separates(static_cast<unsigned char>(whole[at - 1]))) return at;
        return std::string::npos;
    };
    std::size_t at =
        starts_after([](unsigned char c) { return c == '/' || c == '\\' || c == ':'; });
    if (at == std::string::npos)
        at = starts_after([](unsigned char c) {
            return !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'));
        });
    return at == std::string::npos ? earliest : at;
}

}  // namespace

std::vector<std::uint8_t> model_picture(const ModelBuffer& model, const CheckWorkspace& workspace,
                                        const ModelReport& report, const std::string& name,
                                        std::int32_t frame) {
    if (report.verdict == Verdict::invalid || report.verdict == Verdict::unreadable) return {};
    const std::int32_t frames = Md3Header::numFrames(model.data());
    if (frame == kFirstFrameWithAProblem) frame = first_problem_frame(report, frames);
    if (frame < 0 || frame >= frames) return {};
    const bool repaired = workspace.repaired && workspace.copy.size() == model.size();
    FrameArrays arrays;
    gather_frame(model.data(), repaired ? workspace.copy.data() : model.data(), frame, arrays);
    if (!repaired && report.verdict == Verdict::refused)
        rebuild_normals(model.data(), frame, arrays);
    const PictureFrame picture = picture_frame(arrays);
    const OutsideCounts outside = vertices_outside(picture);
    PictureOverlays overlays;
    overlays.sphere = outside.sphere > 0;
    overlays.box = outside.box > 0;
    overlays.marks = overlays.sphere || overlays.box;
    const Image image = render_picture(
        picture, overlays, picture_captions(arrays, report, name, frame, frames, outside));
    return encode_png(image.width, image.height, image.rgb);
}

std::string picture_file_name(const std::string& path, const std::string& member) {
    const std::string whole = member.empty() ? path : path + ":" + member;
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a: the same on every host
    for (const unsigned char c : whole) hash = (hash ^ c) * 1099511628211ull;
    std::string readable;
    for (const char c : whole) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        readable += plain ? c : '_';
    }
    // The end of a path says most about it; a name of at most 100 bytes fits
    // every file system. A longer path keeps its last components whole, or,
    // when the last alone is too long, its last words.
    if (readable.size() > 80) readable.erase(0, name_start(whole, readable.size() - 80));
    while (!readable.empty() && readable.front() == '.') readable.erase(0, 1);
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "-%016llx.png", static_cast<unsigned long long>(hash));
    return readable + suffix;
}

}  // namespace md3
