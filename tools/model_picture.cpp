// Writes the picture of one frame of a model: lit with its stored normals,
// lit with the normals meshmend would write, and coloured by the angle
// between them, with the frame's bounds outlined where vertices lie outside.
// A developer's tool, for looking at what the renderer draws.
//
//   model_picture <model.md3> <picture.png> [<frame>] [--rgb <pixels.rgb>]
//
// --rgb also writes the raw pixels (three bytes each, rows top to bottom).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "model_frame.hpp"
#include "model_io.hpp"
#include "png_writer.hpp"
#include "render.hpp"
#include "repair.hpp"
#include "validate_layout.hpp"

namespace {

bool write_bytes(const std::string& path, const std::uint8_t* bytes, std::size_t size) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    const bool written = std::fwrite(bytes, 1, size, out) == size;
    return std::fclose(out) == 0 && written;
}

int fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "model_picture: %s%s\n", what, detail.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string in, out, rgbPath;
    long long frame = 0;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rgb") == 0 && i + 1 < argc) {
            rgbPath = argv[++i];
        } else if (positional == 0) {
            in = argv[i], ++positional;
        } else if (positional == 1) {
            out = argv[i], ++positional;
        } else if (positional == 2) {
            char* end = nullptr;
            frame = std::strtoll(argv[i], &end, 10);
            if (*argv[i] == '\0' || *end != '\0' || frame < 0) return fail("bad frame: ", argv[i]);
            ++positional;
        } else {
            positional = 99;
        }
    }
    if (positional < 2 || positional > 3) {
        std::fprintf(
            stderr,
            "usage: model_picture <model.md3> <picture.png> [<frame>] [--rgb <pixels.rgb>]\n");
        return 2;
    }

    ModelBuffer model;
    if (load_model(in, model) != LoadResult::ok) return fail("cannot read ", in);
    const LayoutVerdict verdict = validate_layout(model);
    if (!verdict) return fail("invalid model: ", verdict.reason);
    const std::int32_t numFrames = Md3Header::numFrames(model.data());
    if (frame >= numFrames)
        return fail("no such frame: ", std::to_string(frame) + " of " + std::to_string(numFrames));

    ModelBuffer repaired = model;
    if (!repair_model(repaired, nullptr))
        return fail("meshmend would refuse it (a surface of more than 1024 vertices): ", in);

    FrameArrays arrays;
    gather_frame(model.data(), repaired.data(), static_cast<std::int32_t>(frame), arrays);
    const PictureFrame picture = picture_frame(arrays);
    const OutsideCounts outside = vertices_outside(picture);
    PictureOverlays overlays;
    overlays.sphere = outside.sphere > 0;
    overlays.box = outside.box > 0;
    overlays.marks = overlays.sphere || overlays.box;

    std::int64_t differing = 0;
    for (std::size_t v = 0; v < arrays.storedNormals.size(); ++v)
        differing += arrays.storedNormals[v] != arrays.rebuiltNormals[v];
    const auto vertices = static_cast<long long>(arrays.storedNormals.size());
    const bool clean = model == repaired;
    PictureCaptions captions;
    captions.model = in + "  frame " + std::to_string(frame) + " of " + std::to_string(numFrames) +
                     "  " + std::to_string(arrays.surfaces) + " surfaces  " +
                     std::to_string(vertices) + " vertices  " +
                     std::to_string(arrays.triangles.size() / 3) + " triangles  " +
                     (clean ? "clean" : "repairable");
    if (overlays.sphere) captions.model += "  sphere misses " + std::to_string(outside.sphere);
    if (overlays.box) captions.model += "  box misses " + std::to_string(outside.box);
    captions.panels[0] = "stored normals";
    captions.panels[1] = "normals meshmend writes";
    if (!arrays.changedSurfaces.empty()) {
        captions.panels[1] += "; changed in:";
        for (const std::string& name : arrays.changedSurfaces) captions.panels[1] += " " + name;
    }
    captions.panels[2] = "angle between them: " + std::to_string(differing) + " of " +
                         std::to_string(vertices) + " differ";

    const Image image = render_picture(picture, overlays, captions);
    const std::vector<std::uint8_t> png = encode_png(image.width, image.height, image.rgb);
    if (png.empty()) return fail("cannot encode the picture", "");
    if (!write_bytes(out, png.data(), png.size())) return fail("cannot write ", out);
    if (!rgbPath.empty() && !write_bytes(rgbPath, image.rgb.data(), image.rgb.size()))
        return fail("cannot write ", rgbPath);
    return 0;
}
