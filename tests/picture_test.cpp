// Pictures of a model: what each panel shows for clean, inverted and badly
// bounded models, and the same pixels on every host.
#include "picture.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "check.hpp"
#include "engines.hpp"
#include "md3_layout.hpp"
#include "model_frame.hpp"
#include "png_writer.hpp"
#include "render.hpp"
#include "repair.hpp"
#include "support.hpp"

using namespace md3;

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
    // A folder of its own: two runs of the suite at once must not share files.
    char folder[] = "/tmp/png-check-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string dir = folder;
    const auto decodes = [&](std::int64_t width, std::int64_t height,
                             const std::vector<std::uint8_t>& rgb) {
        const std::vector<std::uint8_t> encoded = encode_png(width, height, rgb);
        const std::string pngPath = dir + "/picture.png", rgbPath = dir + "/picture.rgb";
        write_file(pngPath, ModelBuffer(encoded.begin(), encoded.end()));
        write_file(rgbPath, ModelBuffer(rgb.begin(), rgb.end()));
        const std::string command = "python3 " + std::string(PNG_CHECK_SCRIPT) + " " + pngPath +
                                    " " + rgbPath + " " + std::to_string(width) + " " +
                                    std::to_string(height);
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
    };
    decodes(d.image.width, d.image.height, d.image.rgb);
    // Rows are deflated a band at a time: one pixel, a row wider than a
    // band, and a band that ends short of the last row, in noise.
    std::uint32_t state = 12345;
    for (const auto& [width, height] :
         {std::pair<std::int64_t, std::int64_t>{1, 1}, {30000, 2}, {7, 3200}}) {
        std::vector<std::uint8_t> rgb(static_cast<std::size_t>(3 * width * height));
        for (std::uint8_t& byte : rgb)
            byte = static_cast<std::uint8_t>((state *= 1103515245u) >> 24);
        decodes(width, height, rgb);
    }
    fs::remove_all(dir);
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

// Every caption fits the room it is drawn in: no line longer than its
// columns, no more lines than it has; words shorter than a line are never
// cut; what fits is all there, and what does not ends in "...".
TEST(Picture, CaptionsFitTheirLines) {
    const std::string words = "stored normals; broken: left_arm, right_arm, torso_upper, head";
    const std::string longWord(150, 'w');
    const std::vector<std::string> texts = {
        "", "angle", words, words + "; " + words + " " + words, longWord, "a " + longWord + " b"};
    for (const std::string& text : texts)
        for (const int columns : {8, 20, 65})
            for (const int lines : {1, 3}) {
                SCOPED_TRACE(text + " in " + std::to_string(lines) + "x" + std::to_string(columns));
                bool fits = false;
                const std::vector<std::string> got = caption_lines(text, columns, lines, &fits);
                EXPECT_LE(got.size(), static_cast<std::size_t>(lines));
                std::string joined;
                for (const std::string& line : got) {
                    EXPECT_LE(line.size(), static_cast<std::size_t>(columns));
                    joined += (joined.empty() ? "" : " ") + line;
                }
                const auto blanks_out = [](std::string t) {
                    std::erase(t, ' ');
                    return t;
                };
                if (fits) {
                    EXPECT_EQ(blanks_out(joined), blanks_out(text));
                } else {
                    ASSERT_FALSE(got.empty());
                    EXPECT_TRUE(got.back().ends_with("..."));
                }
                // A line breaks inside a word only where the word is longer than a line.
                for (std::size_t i = 0; i + 1 < got.size(); ++i)
                    if (got[i].find(' ') != std::string::npos && got[i].size() < text.size())
                        EXPECT_NE(text.find(got[i] + " "), std::string::npos) << got[i];
            }
}

// The captions meshcheck writes fit too, however many surfaces are named:
// the names that do not fit are counted, and the model's line keeps its
// figures and the end of a long path.
TEST(Picture, ModelCaptionsFitAndCountWhatIsLeftOut) {
    FrameArrays arrays;
    arrays.surfaces = 45;
    ModelReport report;
    report.verdict = Verdict::repairable;
    for (int s = 0; s < 45; ++s) {
        Problem p;
        // Broken normals whose cause is named are marked as broken ones.
        constexpr ProblemKind kBroken[] = {ProblemKind::normals_broken, ProblemKind::normals_turned,
                                           ProblemKind::normals_mirrored,
                                           ProblemKind::normals_swapped};
        p.kind = s < 40 ? kBroken[s % 4] : ProblemKind::normals_inverted;
        p.surfaceName = "surface_with_a_long_name_" + std::to_string(s);
        report.problems.push_back(p);
    }
    const std::string path = std::string(300, 'p') + "/end_of_the_path.md3";
    const PictureCaptions c = picture_captions(arrays, report, path, 2, 9, {});
    bool fits = false;
    caption_lines(c.model, kModelCaptionColumns, 1, &fits);
    EXPECT_TRUE(fits) << c.model;
    EXPECT_TRUE(c.model.starts_with("...")) << c.model;
    EXPECT_NE(c.model.find("end_of_the_path.md3  frame 2 of 9"), std::string::npos) << c.model;
    EXPECT_TRUE(c.model.ends_with("meshmend: repairable")) << c.model;
    for (std::size_t p = 0; p < 3; ++p) {
        caption_lines(c.panels[p], kPanelCaptionColumns, kPanelCaptionLines[p], &fits);
        EXPECT_TRUE(fits) << c.panels[p];
    }
    EXPECT_NE(c.panels[0].find("more surfaces"), std::string::npos) << c.panels[0];
    // Every surface is either named or counted.
    std::size_t named = 0;
    for (std::size_t at = 0; (at = c.panels[0].find("surface_with", at)) != std::string::npos; ++at)
        ++named;
    long long counted = 0;
    for (std::size_t at = 0; (at = c.panels[0].find(" more surface", at)) != std::string::npos;
         ++at) {
        const std::size_t start = c.panels[0].find_last_of(' ', at - 1) + 1;
        counted += std::stoll(c.panels[0].substr(start, at - start));
    }
    EXPECT_EQ(static_cast<long long>(named) + counted, 45) << c.panels[0];
}

// The second panel of a model meshmend refuses shows the normals its repair
// would write without its vertex limit: on models it takes, the very normals
// it writes; on one it refuses, rebuilt ones rather than the stored again.
TEST(Picture, RefusedModelsAreLitWithRebuiltNormals) {
    for (const BuiltModel& built : {sample_model(), generated_model(3, 2, 40)}) {
        const ModelBuffer model = build_model(built);
        ModelBuffer mended = model;
        ASSERT_TRUE(repair_model(mended, nullptr));
        for (std::int32_t frame = 0; frame < Md3Header::numFrames(model.data()); ++frame) {
            FrameArrays expected, rebuilt;
            gather_frame(model.data(), mended.data(), frame, expected);
            gather_frame(model.data(), model.data(), frame, rebuilt);
            rebuild_normals(model.data(), frame, rebuilt);
            EXPECT_EQ(rebuilt.rebuiltNormals, expected.rebuiltNormals) << frame;
        }
    }
    BuiltModel large = generated_model(1, 2, 1200);
    for (auto& frame : large.surfaces[0].frames)
        for (BuiltVertex& v : frame) v.normal = 0xBEEF;
    const ModelBuffer model = build_model(large);
    CheckWorkspace workspace;
    const ModelReport report = check_model(model, workspace, default_engine());
    ASSERT_EQ(report.verdict, Verdict::refused);
    FrameArrays arrays;
    gather_frame(model.data(), model.data(), 1, arrays);
    rebuild_normals(model.data(), 1, arrays);
    const auto kept =
        std::count(arrays.rebuiltNormals.begin(), arrays.rebuiltNormals.end(), 0xBEEF);
    EXPECT_GT(arrays.rebuiltNormals.size(), 1024u);
    EXPECT_LT(kept, 10) << "only unused vertices keep their stored normal";
    EXPECT_EQ(picture_captions(arrays, report, "m", 1, 2, {}).panels[1],
              "normals rebuilt from the triangles (meshmend refuses this model)");
}

// Picture names: short paths as they always were; long ones keep their last
// components whole, or the last words of a component too long alone.
TEST(Picture, FileNamesAreCutAtAComponent) {
    const std::string deep = "mods/" + std::string(60, 'x') + "/models/players/visor/head.md3";
    const std::string wide = "d/" + std::string(50, 'a') + "-" + std::string(50, 'b') + ".md3";
    const struct {
        std::string path, member, readable;
    } rows[] = {
        {"models/ship.md3", "", "models_ship.md3"},
        {"pak0.pk3", "models/ship.md3", "pak0.pk3_models_ship.md3"},
        {".hidden/x.md3", "", "hidden_x.md3"},
        {deep, "", "models_players_visor_head.md3"},
        {wide, "", std::string(50, 'b') + ".md3"},
    };
    for (const auto& row : rows) {
        const std::string name = picture_file_name(row.path, row.member);
        SCOPED_TRACE(name);
        ASSERT_EQ(name.size(), row.readable.size() + 21);
        EXPECT_EQ(name.substr(0, row.readable.size()), row.readable);
        EXPECT_EQ(name[row.readable.size()], '-');
        EXPECT_TRUE(name.ends_with(".png"));
    }
}

// A picture's cost is bounded whatever the model: once copies of one large
// triangle have used up the pixel budget, a triangle as large is left out,
// so the picture of many copies and another triangle is that of one copy.
TEST(Picture, TrianglesPastThePixelBudgetAreLeftOut) {
    // Triangle 0-1-2, and 3-4-5 beside it, a little larger.
    const std::vector<std::int16_t> positions = {-4000, -4000, 0,    4000, -4000, 0,
                                                 0,     4000,  2000, 5000, -4800, 0,
                                                 14600, -4800, 0,    9800, 4800,  2400};
    const std::vector<std::uint16_t> normals(6, 0);
    const auto draw = [&](std::size_t copies, std::vector<std::int32_t> last) {
        std::vector<std::int32_t> triangles;
        for (std::size_t t = 0; t < copies; ++t) triangles.insert(triangles.end(), {0, 1, 2});
        triangles.insert(triangles.end(), last.begin(), last.end());
        PictureFrame frame;
        frame.positions = positions;
        frame.triangles = triangles;
        frame.storedNormals = normals;
        frame.rebuiltNormals = normals;
        return render_picture(frame, {}, {"model", {"stored", "rebuilt", "angle"}}).rgb;
    };
    const std::vector<std::int32_t> other = {3, 4, 5};
    // Triangles with no area draw nothing, but place the picture as 3-4-5 does.
    const std::vector<std::int32_t> placing = {3, 3, 4, 5, 5, 3};
    const std::vector<std::uint8_t> one = draw(1, placing);
    EXPECT_FALSE(draw(1, other) == one);
    // Unbounded, 300000 copies took 39 s to draw.
    for (const std::size_t copies : {std::size_t{1000}, std::size_t{300000}}) {
        SCOPED_TRACE(copies);
        EXPECT_TRUE(draw(copies, placing) == one);
        EXPECT_TRUE(draw(copies, other) == one);
    }
}
