// Pictures of one frame of a model: three panels of the same view, lit with
// the stored normals, lit with the rebuilt ones, and coloured by the angle
// between the two, with the frame's bounds outlined and captions below.
//
// Everything after the input is integer arithmetic, so the same input gives
// the same pixels on every host.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "font.hpp"

namespace md3 {

// One frame of a model as plain arrays. Vertex v has its position at
// positions[3v .. 3v+2] (the file's int16 values, model units * 64) and its
// packed normals (low byte the polar angle from +Z, high byte the azimuth)
// at storedNormals[v] and rebuiltNormals[v]; the vertex count is the
// smallest the three arrays allow. Triangle t joins vertices
// triangles[3t .. 3t+2]; a triangle naming a vertex that is not there is
// left out. The bounds are the frame's own, as stored, trusted for nothing:
// any float, NaN or infinite ones included, is drawn or ignored safely.
struct PictureFrame {
    std::span<const std::int16_t> positions;
    std::span<const std::int32_t> triangles;
    std::span<const std::uint16_t> storedNormals;
    std::span<const std::uint16_t> rebuiltNormals;
    std::array<float, 3> localOrigin{};
    float radius = 0.0f;
    std::array<float, 3> mins{}, maxs{};
};

// What to draw over the model in each panel: the outline of the sphere
// (localOrigin, radius), the outline of the box (mins, maxs), and a mark on
// each vertex that lies outside an outlined sphere or box.
struct PictureOverlays {
    bool sphere = false;
    bool box = false;
    bool marks = false;
};

// One line above the panels, and below each panel as many lines as it has
// room for (kPanelCaptionLines), broken at blanks.
struct PictureCaptions {
    std::string model;
    std::array<std::string, 3> panels;
};

struct Image {
    std::int32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgb;  // three bytes per pixel, rows top to bottom
};

inline constexpr std::int32_t kPictureWidth = 1200;
inline constexpr std::int32_t kPictureHeight = 450;

// Where things are in a picture, for whoever reads one back: panel p covers
// columns [p * kPanelWidth, (p + 1) * kPanelWidth) of rows [kPanelTop,
// kPanelTop + kPanelHeight).
inline constexpr std::int32_t kPanelWidth = 400;
inline constexpr std::int32_t kPanelHeight = 400;
inline constexpr std::int32_t kPanelTop = 14;

// The characters a caption line holds, and the lines a caption has: one for
// the model, above the panels; below them, three under each of the first two
// panels and one under the third, beside its scale.
inline constexpr int kModelCaptionColumns = (kPictureWidth - 8) / kGlyphWidth;
inline constexpr int kPanelCaptionColumns = (kPanelWidth - 16) / kGlyphWidth;
inline constexpr std::array<int, 3> kPanelCaptionLines = {3, 3, 1};

// `text` in at most `lines` lines of at most `columns` characters (bytes),
// broken after a blank where there is one in reach, else inside a word; when
// it does not fit, the last line ends in "...". `fits`, when given, says
// whether the whole text fitted.
std::vector<std::string> caption_lines(std::string_view text, int columns, int lines,
                                       bool* fits = nullptr);
// The most pixels a picture tests for the model's triangles, each triangle
// costing the pixels of its box within a panel, in file order; a triangle
// that would take it past this is left out. That bounds the time a picture
// takes (about a hundred triangles as large as a whole panel), far above
// what any real model's triangles cost.
inline constexpr std::int64_t kPicturePixelTests = std::int64_t{1} << 24;

// The colours a picture is drawn in.
inline constexpr Rgb kBackground = {64, 70, 84};
inline constexpr Rgb kZeroAngleColour = {40, 90, 230};  // normals that agree
inline constexpr Rgb kSphereColour = {0, 230, 255};
inline constexpr Rgb kBoxColour = {255, 140, 0};
inline constexpr Rgb kMarkColour = {255, 0, 255};

// The colour of an angle of `degrees` whole degrees between two normals:
// blue at 0, green at 30, yellow at 60, red at 90 and above.
Rgb angle_colour(int degrees);

// How many vertices lie outside the frame's sphere and outside its box, as
// the engine tests a point against them; a bound that is NaN holds no point.
struct OutsideCounts {
    std::int64_t sphere = 0, box = 0;
};
OutsideCounts vertices_outside(const PictureFrame& frame);

// The picture, kPictureWidth x kPictureHeight pixels. The frame is seen from
// the front left and above, without perspective, and fitted to each panel
// (with the outlined bounds, as far as they stay near the model). Lighting is
// one directional light from above the viewer plus a little ambient light,
// computed at each vertex from its normal as the engine decodes it and
// interpolated across each triangle; both sides of every triangle are drawn,
// so a normal that points away from the light leaves its face dark.
Image render_picture(const PictureFrame& frame, const PictureOverlays& overlays,
                     const PictureCaptions& captions);

}  // namespace md3
