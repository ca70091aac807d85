// Pictures of a model: what each panel shows for clean, inverted and badly
// bounded models, and the same pixels on every host.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "md3_layout.hpp"
#include "model_frame.hpp"
#include "png_writer.hpp"
#include "render.hpp"
#include "repair.hpp"
#include "support.hpp"

namespace {

struct Drawn {
    ModelBuffer model, repaired;
    FrameArrays arrays;
    Image image;
};

// Frame `frame` of `model` drawn with its rebuilt normals; `overlays` as
// meshcheck would ask for them when vertices lie outside the bounds.
Drawn draw(ModelBuffer model, std::int32_t frame = 0, void (*damage)(FrameArrays&) = nullptr) {
    Drawn d;
    d.model = std::move(model);
    d.repaired = d.model;
    repair_model(d.repaired, nullptr);
    gather_frame(d.model.data(), d.repaired.data(), frame, d.arrays);
    if (damage) damage(d.arrays);
    const PictureFrame picture = picture_frame(d.arrays);
    const OutsideCounts outside = vertices_outside(picture);
    const PictureOverlays overlays{outside.sphere > 0, outside.box > 0,
                                   outside.sphere + outside.box > 0};
    d.image = render_picture(picture, overlays, {"model", {"stored", "rebuilt", "angle"}});
    return d;
}

Rgb pixel(const Image& image, std::int32_t panel, std::int32_t x, std::int32_t y) {
    const std::size_t at =
        3 * (static_cast<std::size_t>(kPanelTop + y) * static_cast<std::size_t>(image.width) +
             static_cast<std::size_t>(panel * kPanelWidth + x));
    return {image.rgb[at], image.rgb[at + 1], image.rgb[at + 2]};
}

bool same(Rgb a, Rgb b) { return a == b; }
int brightness(Rgb c) { return c[0] + c[1] + c[2]; }

// The model as meshmend leaves it: its normals are the rebuilt ones.
ModelBuffer clean_model(const BuiltModel& built) {
    ModelBuffer model = build_model(built);
    repair_model(model, nullptr);
    return model;
}

// The normal pointing the other way, in the packed form the engine decodes
// (256 steps a turn): polar angle 128 - p, azimuth half a turn on.
void negate_stored(FrameArrays& a) {
    for (std::uint16_t& n : a.storedNormals) {
        const unsigned polar = n & 0xFFu, azimuth = n >> 8;
        n = static_cast<std::uint16_t>(((azimuth + 128u) & 0xFFu) << 8 | ((128u - polar) & 0xFFu));
    }
}

std::uint64_t fnv(std::span<const std::uint8_t> bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (std::uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
    return h;
}

}  // namespace

// A model whose normals are meshmend's: the two lit panels are the same
// pixels, and the angle panel shows the model all in the zero colour.
TEST(Picture, CleanModelPanelsAgree) {
    for (const BuiltModel& built : {sample_model(), generated_model(2, 3, 200)}) {
        const Drawn d = draw(clean_model(built));
        ASSERT_EQ(d.image.width, kPictureWidth);
        ASSERT_EQ(d.image.height, kPictureHeight);
        std::int64_t model = 0;
        for (std::int32_t y = 0; y < kPanelHeight; ++y) {
            for (std::int32_t x = 0; x < kPanelWidth; ++x) {
                ASSERT_TRUE(same(pixel(d.image, 0, x, y), pixel(d.image, 1, x, y)))
                    << x << "," << y;
                const Rgb angle = pixel(d.image, 2, x, y);
                ASSERT_TRUE(same(angle, kBackground) || same(angle, kZeroAngleColour))
                    << x << "," << y;
                model += same(angle, kZeroAngleColour);
            }
        }
        EXPECT_GT(model, kPanelWidth * kPanelHeight / 20) << "the model fills part of the panel";
    }
}

// Normals turned inside out leave the faces dark under the light where the
// rebuilt normals light them.
TEST(Picture, InvertedNormalsShowDark) {
    const Drawn d = draw(clean_model(generated_model(1, 2, 300)), 1, negate_stored);
    std::int64_t stored = 0, rebuilt = 0, covered = 0;
    for (std::int32_t y = 0; y < kPanelHeight; ++y) {
        for (std::int32_t x = 0; x < kPanelWidth; ++x) {
            if (same(pixel(d.image, 1, x, y), kBackground)) continue;
            ++covered;
            stored += brightness(pixel(d.image, 0, x, y));
            rebuilt += brightness(pixel(d.image, 1, x, y));
        }
    }
    ASSERT_GT(covered, 1000);
    EXPECT_LT(2 * stored, rebuilt) << "the stored panel is less than half as bright";
}

// A frame whose sphere and box leave vertices outside shows both outlines
// and marks the vertices; bounds that hold every vertex show none of it.
TEST(Picture, MissedVerticesAreOutlinedAndMarked) {
    const auto colours = [](const Image& image) {
        bool sphere = false, box = false, mark = false;
        for (std::size_t i = 0; i + 2 < image.rgb.size(); i += 3) {
            const Rgb c{image.rgb[i], image.rgb[i + 1], image.rgb[i + 2]};
            sphere |= same(c, kSphereColour);
            box |= same(c, kBoxColour);
            mark |= same(c, kMarkColour);
        }
        return std::array<bool, 3>{sphere, box, mark};
    };
    // The sample as shipped has stale bounds: radius 1, a box around the origin.
    EXPECT_EQ(colours(draw(build_model(sample_model())).image),
              (std::array<bool, 3>{true, true, true}));
    EXPECT_EQ(colours(draw(clean_model(sample_model())).image),
              (std::array<bool, 3>{false, false, false}));
}

// The PNG holds the picture: a real decoder reads it back with its size and
// pixels (the test script decodes it with Python's zlib and struct).
TEST(Picture, PngDecodesToThePixels) {
    const Drawn d = draw(build_model(sample_model()));
    const std::vector<std::uint8_t> png = encode_png(d.image.width, d.image.height, d.image.rgb);
    ASSERT_FALSE(png.empty());
    EXPECT_TRUE(encode_png(0, 10, {}).empty());
    EXPECT_TRUE(encode_png(2, 2, d.image.rgb).empty()) << "pixels that do not match the size";
    if (std::system("command -v python3 >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 is not installed";
    const std::string dir = ::testing::TempDir();
    const std::string pngPath = dir + "/picture.png", rgbPath = dir + "/picture.rgb";
    write_file(pngPath, ModelBuffer(png.begin(), png.end()));
    write_file(rgbPath, ModelBuffer(d.image.rgb.begin(), d.image.rgb.end()));
    const std::string command =
        "python3 " + std::string(PNG_CHECK_SCRIPT) + " " + pngPath + " " + rgbPath + " 1200 450";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

// The same model gives the same pixels on every host the project builds for.
TEST(Picture, SamePixelsEverywhere) {
    struct Golden {
        const char* name;
        ModelBuffer model;
        std::int32_t frame;
        std::uint64_t pixels;
    };
    const Golden goldens[] = {
        {"sample", build_model(sample_model()), 0, 0x8a7842c2a65a8525ull},
        {"sample mended", clean_model(sample_model()), 2, 0x0063e98cbfe7feddull},
        {"generated", build_model(generated_model(2, 4, 300)), 1, 0xd4c2ad7682b22cd1ull},
    };
    for (const Golden& g : goldens) {
        SCOPED_TRACE(g.name);
        const Drawn d = draw(g.model, g.frame);
        EXPECT_EQ(fnv(d.image.rgb), g.pixels) << std::hex << fnv(d.image.rgb);
    }
}

// A picture's cost is bounded whatever the model: copies of one large
// triangle past the pixel budget are left out, and as the first copy drawn
// stays where they are at the same depth, the picture is that of one copy.
TEST(Picture, ManyLargeTrianglesCostABoundedTime) {
    const std::vector<std::int16_t> positions = {-4000, -4000, 0, 4000, -4000, 0, 0, 4000, 2000};
    const std::vector<std::uint16_t> normals = {0, 0, 0};
    const auto draw_copies = [&](std::size_t copies) {
        std::vector<std::int32_t> triangles;
        for (std::size_t t = 0; t < copies; ++t) triangles.insert(triangles.end(), {0, 1, 2});
        PictureFrame frame;
        frame.positions = positions;
        frame.triangles = triangles;
        frame.storedNormals = normals;
        frame.rebuiltNormals = normals;
        return render_picture(frame, {}, {"model", {"stored", "rebuilt", "angle"}}).rgb;
    };
    const std::vector<std::uint8_t> one = draw_copies(1);
    for (const std::size_t copies : {std::size_t{1000}, std::size_t{300000}}) {
        SCOPED_TRACE(copies);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(draw_copies(copies) == one);
        // Unbounded, 300000 copies took 39 s; the budget is a fraction of a second.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    }
}
