// The picture of one frame: projection, rasterisation, overlays and captions,
// all in integers after the frame's floats have been read.
#include "render.hpp"

#include <algorithm>
#include <cstddef>
#include <limits>

#include "packed_normal.hpp"

namespace md3 {

namespace {

// --- Exact tables --------------------------------------------------------
//
// The tables are computed while compiling, from series in basic double
// arithmetic: the compiler evaluates them with exact IEEE rounding whatever
// the target, so no host's libm ever touches a pixel.

constexpr double kPi = 3.14159265358979323846;

// sin(x) for 0 <= x <= pi / 2, by its Taylor series (the terms past the
// twentieth are below the rounding of a double).
constexpr double series_sine(double x) {
    double term = x, sum = x;
    for (int k = 1; k < 20; ++k) {
        term = -term * x * x / ((2.0 * k) * (2.0 * k + 1.0));
        sum += term;
    }
    return sum;
}

constexpr std::int64_t rounded(double v) {
    return static_cast<std::int64_t>(v + (v >= 0 ? 0.5 : -0.5));
}

// One in fixed point.
constexpr std::int64_t kOne = 65536;

// sin(2 pi u / 256) * kOne for the 256 angle steps the engine decodes a
// normal's bytes with; cos(u) is sin(u + 64). Made from the first quarter
// turn by symmetry, so that sin(pi - x) = sin(x) holds exactly.
struct SineTable {
    std::int64_t value[256];
};
constexpr SineTable make_sine_table() {
    SineTable t{};
    for (int u = 0; u <= 64; ++u) {
        const std::int64_t s = rounded(series_sine(u * (2.0 * kPi / 256.0)) * kOne);
        t.value[u] = s;
        t.value[128 - u] = s;
        t.value[(128 + u) & 255] = -s;
        t.value[(256 - u) & 255] = -s;
    }
    return t;
}
constexpr SineTable kSine = make_sine_table();
static_assert(kSine.value[0] == 0 && kSine.value[64] == kOne && kSine.value[192] == -kOne);

// cos(k degrees) * kOne^2 for k = 0 .. 90: the dot products of two decoded
// normals are compared with these to find the whole degrees between them.
struct DegreeTable {
    std::int64_t cosine[91];
};
constexpr DegreeTable make_degree_table() {
    DegreeTable t{};
    for (int k = 0; k <= 90; ++k)
        t.cosine[k] = rounded(series_sine((90 - k) * (kPi / 180.0)) * double(kOne * kOne));
    return t;
}
constexpr DegreeTable kDegrees = make_degree_table();
static_assert(kDegrees.cosine[0] == kOne * kOne && kDegrees.cosine[90] == 0);

// --- Integer helpers -----------------------------------------------------

// Division rounding towards minus infinity, so that a picture is not squeezed
// towards its centre.
std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// A float from the file, in 1/64 model units like the positions, clamped far
// beyond anything drawn so that every later product fits 64 bits; false for
// NaN.
constexpr double kFarAway = 2147483648.0;  // 2^31 / 64 = 33554432 model units
bool to_fixed(float v, std::int64_t& out) {
    if (!(v == v)) return false;
    const double d = std::clamp(static_cast<double>(v) * 64.0, -kFarAway, kFarAway);
    out = static_cast<std::int64_t>(d);
    return true;
}

// --- The view ------------------------------------------------------------
//
// The model is seen from the front left and above: yaw atan(3/4), pitch
// atan(8/15). Both have rational sines and cosines, so the rotation is the
// integer matrix below, divided by 85: screen right, screen up, and towards
// the viewer (depth), each a unit vector times 85.
constexpr std::int64_t kRight[3] = {51, 68, 0};
constexpr std::int64_t kUp[3] = {-32, 24, 75};
constexpr std::int64_t kToward[3] = {60, -45, 40};
// The light comes from (0.8 toward + 0.6 up): (144, -108, 385) / 425, a unit
// vector, so that a face turned to the viewer is lit and its back is dark.
constexpr std::int64_t kLight[3] = {144, -108, 385};
constexpr std::int64_t kLightLength = 425;
constexpr std::int64_t kAmbient = kOne * 15 / 100;
constexpr Rgb kClay = {225, 200, 165};

struct Point3 {
    std::int64_t x, y, z;
};
Point3 view_of(std::int64_t x, std::int64_t y, std::int64_t z) {
    return {kRight[0] * x + kRight[1] * y + kRight[2] * z, kUp[0] * x + kUp[1] * y + kUp[2] * z,
            kToward[0] * x + kToward[1] * y + kToward[2] * z};
}

// Sixteenths of a pixel: triangles are placed with that much precision.
constexpr std::int64_t kSub = 16;
// The part of a panel a frame is fitted to, in pixels.
constexpr std::int64_t kFitted = 360;

// Screen x and y of the fitted region, twice its centre and its larger side.
struct Fit {
    std::int64_t centreX2 = 0, centreY2 = 0, extent = 1;
};

struct Bounds2 {
    std::int64_t minX = std::numeric_limits<std::int64_t>::max(), maxX = -minX - 1;
    std::int64_t minY = minX, maxY = maxX;
    bool empty() const { return minX > maxX; }
    void add(std::int64_t x, std::int64_t y) {
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
};

// Panel coordinates in sixteenths of a pixel, y downwards.
std::int64_t screen_x(const Fit& fit, std::int64_t x) {
    return kSub * kPanelWidth / 2 +
           floor_div((2 * x - fit.centreX2) * kSub * kFitted, 2 * fit.extent);
}
std::int64_t screen_y(const Fit& fit, std::int64_t y) {
    return kSub * kPanelHeight / 2 -
           floor_div((2 * y - fit.centreY2) * kSub * kFitted, 2 * fit.extent);
}

// --- Shading -------------------------------------------------------------

struct Normal {
    std::int64_t x, y, z;  // times kOne
};
// As the engine decodes the two bytes: 256 steps per turn.
Normal decode(std::uint16_t packed) {
    const unsigned polar = polar_byte(packed), azimuth = azimuth_byte(packed);
    const std::int64_t sinPolar = kSine.value[polar];
    return {floor_div(kSine.value[(azimuth + 64) & 255] * sinPolar, kOne),
            floor_div(kSine.value[azimuth] * sinPolar, kOne), kSine.value[(polar + 64) & 255]};
}

// Light at a vertex, 0 .. kOne.
std::int64_t intensity(std::uint16_t packed) {
    const Normal n = decode(packed);
    const std::int64_t diffuse =
        floor_div(n.x * kLight[0] + n.y * kLight[1] + n.z * kLight[2], kLightLength);
    return kAmbient +
           floor_div((kOne - kAmbient) * std::clamp<std::int64_t>(diffuse, 0, kOne), kOne);
}

// Whole degrees between two packed normals, 90 for 90 and more.
int degrees_between(std::uint16_t a, std::uint16_t b) {
    if (a == b) return 0;
    const Normal na = decode(a), nb = decode(b);
    const std::int64_t dot = na.x * nb.x + na.y * nb.y + na.z * nb.z;
    int k = 0;
    while (k < 90 && dot <= kDegrees.cosine[k + 1]) ++k;
    return k;
}

Rgb mix(Rgb a, Rgb b, int t, int steps) {
    Rgb out;
    for (int c = 0; c < 3; ++c)
        out[c] = static_cast<std::uint8_t>(a[c] + (b[c] - a[c]) * t / steps);
    return out;
}

// --- Drawing -------------------------------------------------------------

struct Canvas {
    std::uint8_t* rgb;
    std::int32_t width, height;
};

void put(const Canvas& canvas, std::int64_t x, std::int64_t y, Rgb colour) {
    if (x < 0 || y < 0 || x >= canvas.width || y >= canvas.height) return;
    std::uint8_t* p = canvas.rgb + 3 * (static_cast<std::size_t>(y) * canvas.width + x);
    p[0] = colour[0], p[1] = colour[1], p[2] = colour[2];
}

// Puts a pixel at panel pixel (x, y) of every panel, clipped to the panel.
void put_in_panels(const Canvas& canvas, std::int64_t x, std::int64_t y, Rgb colour) {
    if (x < 0 || y < 0 || x >= kPanelWidth || y >= kPanelHeight) return;
    for (int p = 0; p < 3; ++p) put(canvas, p * kPanelWidth + x, kPanelTop + y, colour);
}

void fill(const Canvas& canvas, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
          Rgb colour) {
    for (std::int64_t y = y0; y < y1; ++y)
        for (std::int64_t x = x0; x < x1; ++x) put(canvas, x, y, colour);
}

// A point far outside the panel is pulled in to where products of two
// coordinates still fit 64 bits; what is drawn inside the panel barely moves.
constexpr std::int64_t kClampPixels = std::int64_t{1} << 23;
std::int64_t clamp_pixel(std::int64_t sub) {
    return std::clamp(floor_div(sub, kSub), -kClampPixels, kClampPixels);
}

// A line between panel pixels, cut to the panel first so that a far corner
// costs no more than a near one.
void draw_line(const Canvas& canvas, std::int64_t x0, std::int64_t y0, std::int64_t x1,
               std::int64_t y1, Rgb colour) {
    const std::int64_t right = kPanelWidth - 1, bottom = kPanelHeight - 1;
    const auto code = [&](std::int64_t x, std::int64_t y) {
        return (x < 0 ? 1 : 0) | (x > right ? 2 : 0) | (y < 0 ? 4 : 0) | (y > bottom ? 8 : 0);
    };
    int c0 = code(x0, y0), c1 = code(x1, y1);
    // Exact clipping needs at most four cuts; rounding may ask for a few
    // more, and a line that still has not settled touches the panel at most
    // in a corner.
    for (int cuts = 0; c0 | c1; ++cuts) {
        if (cuts == 8) return;
        if (c0 & c1) return;  // wholly on one side
        const int out = c0 ? c0 : c1;
        std::int64_t x, y;
        if (out & 4 || out & 8) {
            y = out & 4 ? 0 : bottom;
            x = x0 + floor_div((x1 - x0) * (y - y0), y1 - y0);
        } else {
            x = out & 1 ? 0 : right;
            y = y0 + floor_div((y1 - y0) * (x - x0), x1 - x0);
        }
        if (out == c0) {
            x0 = x, y0 = y, c0 = code(x0, y0);
        } else {
            x1 = x, y1 = y, c1 = code(x1, y1);
        }
    }
    const std::int64_t dx = x1 > x0 ? x1 - x0 : x0 - x1, sx = x0 < x1 ? 1 : -1;
    const std::int64_t dy = y1 > y0 ? y0 - y1 : y1 - y0, sy = y0 < y1 ? 1 : -1;
    std::int64_t error = dx + dy;
    for (;;) {
        put_in_panels(canvas, x0, y0, colour);
        if (x0 == x1 && y0 == y1) return;
        const std::int64_t e2 = 2 * error;
        if (e2 >= dy) error += dy, x0 += sx;
        if (e2 <= dx) error += dx, y0 += sy;
    }
}

// The outline of a circle of radius r around (cx, cy), all in sixteenths of a
// pixel: the pixels whose centre lies within about half a pixel of it.
void draw_circle(const Canvas& canvas, std::int64_t cx, std::int64_t cy, std::int64_t r,
                 Rgb colour) {
    constexpr std::int64_t kClampSub = kClampPixels * kSub;
    cx = std::clamp(cx, -kClampSub, kClampSub);
    cy = std::clamp(cy, -kClampSub, kClampSub);
    r = std::clamp<std::int64_t>(r, 0, kClampSub);
    const std::int64_t band = 20 * r + 64;  // |d^2 - r^2| ~ 2 r |d - r|: 0.6 pixel each way
    const std::int64_t x0 = std::max<std::int64_t>(0, floor_div(cx - r, kSub) - 1);
    const std::int64_t x1 = std::min<std::int64_t>(kPanelWidth - 1, floor_div(cx + r, kSub) + 1);
    const std::int64_t y0 = std::max<std::int64_t>(0, floor_div(cy - r, kSub) - 1);
    const std::int64_t y1 = std::min<std::int64_t>(kPanelHeight - 1, floor_div(cy + r, kSub) + 1);
    for (std::int64_t y = y0; y <= y1; ++y)
        for (std::int64_t x = x0; x <= x1; ++x) {
            const std::int64_t dx = x * kSub + kSub / 2 - cx, dy = y * kSub + kSub / 2 - cy;
            const std::int64_t off = dx * dx + dy * dy - r * r;
            if (off >= -band && off <= band) put_in_panels(canvas, x, y, colour);
        }
}

struct ScreenVertex {
    std::int64_t x, y, depth;
    std::int64_t light[2];  // stored, rebuilt: 0 .. kOne
    std::int64_t angle[3];  // the angle's colour, times 256
};

std::int64_t orient(const ScreenVertex& a, const ScreenVertex& b, std::int64_t px,
                    std::int64_t py) {
    return (b.x - a.x) * (py - a.y) - (b.y - a.y) * (px - a.x);
}

// Draws one triangle into all three panels through the shared depth buffer.
// Pixels whose centre lies inside or on an edge are drawn; where two
// triangles are at the same depth, the first one drawn stays. Each pixel of
// its box within the panel is tested, and counted against `pixelsLeft`: a
// triangle whose box would take more than is left is not drawn.
void draw_triangle(const Canvas& canvas, std::int64_t* depth, const ScreenVertex* v0,
                   const ScreenVertex* v1, const ScreenVertex* v2, std::int64_t& pixelsLeft) {
    std::int64_t area = orient(*v0, *v1, v2->x, v2->y);
    if (area == 0) return;
    if (area < 0) std::swap(v1, v2), area = -area;  // both sides are drawn
    const std::int64_t x0 =
        std::max<std::int64_t>(0, floor_div(std::min({v0->x, v1->x, v2->x}), kSub));
    const std::int64_t x1 =
        std::min<std::int64_t>(kPanelWidth - 1, floor_div(std::max({v0->x, v1->x, v2->x}), kSub));
    const std::int64_t y0 =
        std::max<std::int64_t>(0, floor_div(std::min({v0->y, v1->y, v2->y}), kSub));
    const std::int64_t y1 =
        std::min<std::int64_t>(kPanelHeight - 1, floor_div(std::max({v0->y, v1->y, v2->y}), kSub));
    if (x0 > x1 || y0 > y1) return;
    const std::int64_t tested = (x1 - x0 + 1) * (y1 - y0 + 1);
    if (tested > pixelsLeft) return;
    pixelsLeft -= tested;

    // Each weight grows by a fixed step from one pixel to the next.
    const std::int64_t stepX0 = -(v2->y - v1->y) * kSub, stepY0 = (v2->x - v1->x) * kSub;
    const std::int64_t stepX1 = -(v0->y - v2->y) * kSub, stepY1 = (v0->x - v2->x) * kSub;
    const std::int64_t stepX2 = -(v1->y - v0->y) * kSub, stepY2 = (v1->x - v0->x) * kSub;
    const std::int64_t px = x0 * kSub + kSub / 2, py = y0 * kSub + kSub / 2;
    std::int64_t row0 = orient(*v1, *v2, px, py), row1 = orient(*v2, *v0, px, py),
                 row2 = orient(*v0, *v1, px, py);
    for (std::int64_t y = y0; y <= y1; ++y) {
        std::int64_t w0 = row0, w1 = row1, w2 = row2;
        for (std::int64_t x = x0; x <= x1; ++x) {
            if ((w0 | w1 | w2) >= 0) {
                const std::size_t at = static_cast<std::size_t>(y * kPanelWidth + x);
                const std::int64_t z =
                    floor_div(w0 * v0->depth + w1 * v1->depth + w2 * v2->depth, area);
                if (z > depth[at]) {
                    depth[at] = z;
                    // The weights are not negative and add up to the area:
                    // equal corners give exactly their own value.
                    const auto blend = [&](std::int64_t a, std::int64_t b, std::int64_t c) {
                        return (w0 * a + w1 * b + w2 * c) / area;
                    };
                    for (int panel = 0; panel < 2; ++panel) {
                        const std::int64_t light =
                            blend(v0->light[panel], v1->light[panel], v2->light[panel]);
                        Rgb colour;
                        for (int c = 0; c < 3; ++c)
                            colour[c] = static_cast<std::uint8_t>(kClay[c] * light / kOne);
                        put(canvas, panel * kPanelWidth + x, kPanelTop + y, colour);
                    }
                    Rgb colour;
                    for (int c = 0; c < 3; ++c)
                        colour[c] = static_cast<std::uint8_t>(
                            blend(v0->angle[c], v1->angle[c], v2->angle[c]) >> 8);
                    put(canvas, 2 * kPanelWidth + x, kPanelTop + y, colour);
                }
            }
            w0 += stepX0, w1 += stepX1, w2 += stepX2;
        }
        row0 += stepY0, row1 += stepY1, row2 += stepY2;
    }
}

bool inside_sphere(const PictureFrame& frame, std::size_t v) {
    double d2 = 0;
    for (int k = 0; k < 3; ++k) {
        const double d = frame.positions[3 * v + k] * 0.015625 - frame.localOrigin[k];
        d2 += d * d;
    }
    const double r = frame.radius;
    return r >= 0 && d2 <= r * r;
}

bool inside_box(const PictureFrame& frame, std::size_t v) {
    for (int k = 0; k < 3; ++k) {
        const float p = static_cast<float>(frame.positions[3 * v + k] * 0.015625);
        if (!(frame.mins[k] <= p && p <= frame.maxs[k])) return false;
    }
    return true;
}

std::size_t vertex_count(const PictureFrame& frame) {
    return std::min(
        {frame.positions.size() / 3, frame.storedNormals.size(), frame.rebuiltNormals.size()});
}

bool triangle_usable(const PictureFrame& frame, std::size_t t, std::size_t vertices) {
    for (int c = 0; c < 3; ++c) {
        const std::int32_t i = frame.triangles[3 * t + c];
        if (i < 0 || static_cast<std::size_t>(i) >= vertices) return false;
    }
    return true;
}

// The sphere's centre and radius, and the box's corners, in view units; false
// for a bound that cannot be drawn (NaN, or a negative radius).
bool sphere_in_view(const PictureFrame& frame, Point3& centre, std::int64_t& radius) {
    std::int64_t o[3], r;
    for (int k = 0; k < 3; ++k)
        if (!to_fixed(frame.localOrigin[k], o[k])) return false;
    if (!to_fixed(frame.radius, r) || r < 0) return false;
    centre = view_of(o[0], o[1], o[2]);
    radius = r * 85;
    return true;
}
bool box_in_view(const PictureFrame& frame, Point3 corners[8]) {
    std::int64_t lo[3], hi[3];
    for (int k = 0; k < 3; ++k)
        if (!to_fixed(frame.mins[k], lo[k]) || !to_fixed(frame.maxs[k], hi[k])) return false;
    for (int i = 0; i < 8; ++i)
        corners[i] = view_of(i & 1 ? hi[0] : lo[0], i & 2 ? hi[1] : lo[1], i & 4 ? hi[2] : lo[2]);
    return true;
}

// The region the panels show: the model, and the outlined bounds as far as
// they reach no more than half the model's size beyond it, so that a stale
// bound of a million units does not shrink the model to a dot.
Fit fit_of(const PictureFrame& frame, const PictureOverlays& overlays,
           const std::vector<Point3>& view, const std::vector<bool>& used) {
    Bounds2 model;
    for (std::size_t v = 0; v < view.size(); ++v)
        if (used[v]) model.add(view[v].x, view[v].y);
    Bounds2 all = model;
    Point3 centre;
    std::int64_t radius;
    if (overlays.sphere && sphere_in_view(frame, centre, radius)) {
        all.add(centre.x - radius, centre.y - radius);
        all.add(centre.x + radius, centre.y + radius);
    }
    Point3 corners[8];
    if (overlays.box && box_in_view(frame, corners))
        for (const Point3& c : corners) all.add(c.x, c.y);
    if (!model.empty()) {
        const std::int64_t margin = std::max(model.maxX - model.minX, model.maxY - model.minY) / 2;
        all.minX = std::max(all.minX, model.minX - margin);
        all.maxX = std::min(all.maxX, model.maxX + margin);
        all.minY = std::max(all.minY, model.minY - margin);
        all.maxY = std::min(all.maxY, model.maxY + margin);
    }
    Fit fit;
    if (all.empty()) return fit;
    fit.centreX2 = all.minX + all.maxX;
    fit.centreY2 = all.minY + all.maxY;
    // At least one model unit across, so that a single point is not blown up.
    fit.extent = std::max({all.maxX - all.minX, all.maxY - all.minY, std::int64_t{64 * 85}});
    return fit;
}

constexpr Rgb kBand = {28, 30, 36};
constexpr Rgb kText = {230, 230, 230};
constexpr Rgb kSeparator = {20, 22, 26};

// The colour scale under the third panel: a bar from 0 to 90 degrees.
void draw_legend(const Canvas& canvas) {
    constexpr int kLeft = 2 * kPanelWidth + 30, kTop = 430, kStep = 3;
    for (int k = 0; k <= 90; ++k)
        fill(canvas, kLeft + kStep * k, kTop, kLeft + kStep * (k + 1), kTop + 8, angle_colour(k));
    const int labelY = kTop + 11;
    draw_text(canvas.rgb, canvas.width, canvas.height, kLeft - 2, labelY, canvas.width, "0", kText);
    draw_text(canvas.rgb, canvas.width, canvas.height, kLeft + 30 * kStep - 5, labelY, canvas.width,
              "30", kText);
    draw_text(canvas.rgb, canvas.width, canvas.height, kLeft + 60 * kStep - 5, labelY, canvas.width,
              "60", kText);
    draw_text(canvas.rgb, canvas.width, canvas.height, kLeft + 90 * kStep - 5, labelY, canvas.width,
              "90+ deg", kText);
}

}  // namespace

std::vector<std::string> caption_lines(std::string_view text, int columns, int lines, bool* fits) {
    std::vector<std::string> out;
    const auto width = static_cast<std::size_t>(std::max(columns, 4));
    while (!text.empty() && static_cast<int>(out.size()) < lines) {
        if (text.size() <= width) {
            out.emplace_back(text);
            text = {};
            break;
        }
        // Break after the last blank that leaves the line at most `width`.
        std::size_t cut = text.substr(0, width + 1).find_last_of(' ');
        if (cut == std::string_view::npos || cut == 0) cut = width;
        out.emplace_back(text.substr(0, cut));
        text.remove_prefix(cut);
        while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    }
    if (fits) *fits = text.empty();
    if (!text.empty() && !out.empty()) {
        std::string& last = out.back();
        if (last.size() + 3 > width) last.resize(width - 3);
        last += "...";
    }
    return out;
}

Rgb angle_colour(int degrees) {
    constexpr Rgb kStops[4] = {kZeroAngleColour, {40, 200, 110}, {240, 210, 40}, {230, 40, 40}};
    const int d = std::clamp(degrees, 0, 90);
    if (d == 90) return kStops[3];
    return mix(kStops[d / 30], kStops[d / 30 + 1], d % 30, 30);
}

OutsideCounts vertices_outside(const PictureFrame& frame) {
    OutsideCounts counts;
    const std::size_t vertices = vertex_count(frame);
    for (std::size_t v = 0; v < vertices; ++v) {
        counts.sphere += inside_sphere(frame, v) ? 0 : 1;
        counts.box += inside_box(frame, v) ? 0 : 1;
    }
    return counts;
}

Image render_picture(const PictureFrame& frame, const PictureOverlays& overlays,
                     const PictureCaptions& captions) {
    Image image;
    image.width = kPictureWidth;
    image.height = kPictureHeight;
    image.rgb.resize(static_cast<std::size_t>(3) * kPictureWidth * kPictureHeight);
    const Canvas canvas{image.rgb.data(), image.width, image.height};
    fill(canvas, 0, 0, kPictureWidth, kPictureHeight, kBand);
    fill(canvas, 0, kPanelTop, kPictureWidth, kPanelTop + kPanelHeight, kBackground);

    const std::size_t vertices = vertex_count(frame);
    const std::size_t triangles = frame.triangles.size() / 3;
    std::vector<Point3> view(vertices);
    std::vector<bool> used(vertices, false);
    bool anyTriangle = false;
    for (std::size_t v = 0; v < vertices; ++v)
        view[v] =
            view_of(frame.positions[3 * v], frame.positions[3 * v + 1], frame.positions[3 * v + 2]);
    for (std::size_t t = 0; t < triangles; ++t) {
        if (!triangle_usable(frame, t, vertices)) continue;
        anyTriangle = true;
        for (int c = 0; c < 3; ++c)
            used[static_cast<std::size_t>(frame.triangles[3 * t + c])] = true;
    }
    // A frame of loose points is still placed by its points.
    if (!anyTriangle) used.assign(vertices, true);
    const Fit fit = fit_of(frame, overlays, view, used);

    std::vector<ScreenVertex> screen(vertices);
    for (std::size_t v = 0; v < vertices; ++v) {
        ScreenVertex& s = screen[v];
        s.x = screen_x(fit, view[v].x);
        s.y = screen_y(fit, view[v].y);
        s.depth = view[v].z;
        s.light[0] = intensity(frame.storedNormals[v]);
        s.light[1] = intensity(frame.rebuiltNormals[v]);
        const Rgb colour =
            angle_colour(degrees_between(frame.storedNormals[v], frame.rebuiltNormals[v]));
        for (int c = 0; c < 3; ++c) s.angle[c] = std::int64_t{colour[c]} << 8;
    }
    std::vector<std::int64_t> depth(static_cast<std::size_t>(kPanelWidth) * kPanelHeight,
                                    std::numeric_limits<std::int64_t>::min());
    std::int64_t pixelsLeft = kPicturePixelTests;
    for (std::size_t t = 0; t < triangles; ++t) {
        if (!triangle_usable(frame, t, vertices)) continue;
        const auto corner = [&](int c) {
            return &screen[static_cast<std::size_t>(frame.triangles[3 * t + c])];
        };
        draw_triangle(canvas, depth.data(), corner(0), corner(1), corner(2), pixelsLeft);
    }

    Point3 centre;
    std::int64_t radius;
    if (overlays.sphere && sphere_in_view(frame, centre, radius))
        draw_circle(canvas, screen_x(fit, centre.x), screen_y(fit, centre.y),
                    floor_div(radius * kSub * kFitted, fit.extent), kSphereColour);
    Point3 corners[8];
    if (overlays.box && box_in_view(frame, corners)) {
        std::int64_t px[8], py[8];
        for (int i = 0; i < 8; ++i) {
            px[i] = clamp_pixel(screen_x(fit, corners[i].x));
            py[i] = clamp_pixel(screen_y(fit, corners[i].y));
        }
        for (int i = 0; i < 8; ++i)
            for (int bit = 1; bit < 8; bit <<= 1)
                if ((i & bit) == 0)
                    draw_line(canvas, px[i], py[i], px[i | bit], py[i | bit], kBoxColour);
    }
    if (overlays.marks && (overlays.sphere || overlays.box))
        for (std::size_t v = 0; v < vertices; ++v) {
            if ((!overlays.sphere || inside_sphere(frame, v)) &&
                (!overlays.box || inside_box(frame, v)))
                continue;
            const std::int64_t x = floor_div(screen[v].x, kSub), y = floor_div(screen[v].y, kSub);
            for (int i = -2; i <= 2; ++i) {
                put_in_panels(canvas, x + i, y - 2, kMarkColour);
                put_in_panels(canvas, x + i, y + 2, kMarkColour);
                put_in_panels(canvas, x - 2, y + i, kMarkColour);
                put_in_panels(canvas, x + 2, y + i, kMarkColour);
            }
        }

    // Panels 1 and 2 end in a dark column, so that the three read apart.
    for (int p = 0; p < 2; ++p)
        fill(canvas, (p + 1) * kPanelWidth - 1, kPanelTop, (p + 1) * kPanelWidth,
             kPanelTop + kPanelHeight, kSeparator);
    const std::vector<std::string> model = caption_lines(captions.model, kModelCaptionColumns, 1);
    if (!model.empty())
        draw_text(image.rgb.data(), image.width, image.height, 4, 3, kPictureWidth - 4,
                  model.front(), kText);
    for (int p = 0; p < 3; ++p) {
        const auto at = static_cast<std::size_t>(p);
        const std::vector<std::string> lines =
            caption_lines(captions.panels[at], kPanelCaptionColumns, kPanelCaptionLines[at]);
        for (std::size_t line = 0; line < lines.size(); ++line)
            draw_text(image.rgb.data(), image.width, image.height, p * kPanelWidth + 6,
                      kPanelTop + kPanelHeight + 4 + static_cast<int>(line) * (kGlyphHeight + 1),
                      (p + 1) * kPanelWidth - 4, lines[line], kText);
    }
    draw_legend(canvas);
    return image;
}

}  // namespace md3
