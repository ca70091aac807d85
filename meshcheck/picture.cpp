// Drawing the picture of a checked model, and naming its file.
#include "picture.hpp"

#include <cstdio>

#include "model_frame.hpp"
#include "png_writer.hpp"
#include "render.hpp"
#include "text.hpp"

namespace {

PictureCaptions captions_for(const FrameArrays& arrays, const ModelReport& report,
                             const std::string& name, std::int32_t frame, std::int32_t frames,
                             const OutsideCounts& outside) {
    std::int64_t differing = 0;
    for (std::size_t v = 0; v < arrays.storedNormals.size(); ++v)
        differing += arrays.storedNormals[v] != arrays.rebuiltNormals[v];
    const auto vertices = static_cast<long long>(arrays.storedNormals.size());
    PictureCaptions c;
    c.model = name + "  frame " + std::to_string(frame) + " of " + std::to_string(frames) + "  " +
              counted(arrays.surfaces, "surface", "surfaces") + "  " +
              counted(vertices, "vertex", "vertices") + "  " + health_name(health_of(report)) +
              "; meshmend: " + verdict_name(report.verdict);
    if (outside.sphere > 0) c.model += "  sphere misses " + std::to_string(outside.sphere);
    if (outside.box > 0) c.model += "  box misses " + std::to_string(outside.box);
    c.panels[0] = "stored normals";
    for (const Problem& p : report.problems) {
        const std::string kind = p.kind;
        if (kind == "normals_broken" || kind == "normals_inverted")
            c.panels[0] += "; " + kind.substr(8) + ": " + p.surfaceName;
    }
    c.panels[1] =
        report.verdict == Verdict::refused ? "meshmend would refuse it" : "normals meshmend writes";
    c.panels[2] = "angle between them: " + std::to_string(differing) + " of " +
                  std::to_string(vertices) + " differ";
    return c;
}

}  // namespace

std::vector<std::uint8_t> model_picture(const ModelBuffer& model, const CheckWorkspace& workspace,
                                        const ModelReport& report, const std::string& name,
                                        std::int32_t frame) {
    if (report.verdict == Verdict::invalid || report.verdict == Verdict::unreadable) return {};
    const std::int32_t frames = Md3Header::numFrames(model.data());
    if (frame < 0 || frame >= frames) return {};
    const bool repaired = workspace.repaired && workspace.copy.size() == model.size();
    FrameArrays arrays;
    gather_frame(model.data(), repaired ? workspace.copy.data() : model.data(), frame, arrays);
    const PictureFrame picture = picture_frame(arrays);
    const OutsideCounts outside = vertices_outside(picture);
    PictureOverlays overlays;
    overlays.sphere = outside.sphere > 0;
    overlays.box = outside.box > 0;
    overlays.marks = overlays.sphere || overlays.box;
    const Image image = render_picture(picture, overlays,
                                       captions_for(arrays, report, name, frame, frames, outside));
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
    // every file system.
    if (readable.size() > 80) readable.erase(0, readable.size() - 80);
    while (!readable.empty() && readable.front() == '.') readable.erase(0, 1);
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "-%016llx.png", static_cast<unsigned long long>(hash));
    return readable + suffix;
}
