// Serialisation of a BuiltModel into MD3 bytes.
#include "model_builder.hpp"

#include <algorithm>

namespace {

constexpr std::int64_t kTagSize = 112;

void put_name(ModelBuffer& out, std::size_t at, const std::string& name, std::size_t size) {
    std::copy_n(name.begin(), std::min(name.size(), size), out.begin() + static_cast<long>(at));
}

void put_i32_at(ModelBuffer& out, std::size_t at, std::int64_t v) {
    put_i32(out.data() + at, static_cast<std::int32_t>(v));
}

void fill_pattern(ModelBuffer& out, std::size_t at, std::size_t count, std::uint8_t seed) {
    for (std::size_t i = 0; i < count; ++i) out[at + i] = static_cast<std::uint8_t>(seed + i * 7);
}

std::int64_t surface_size(const BuiltSurface& s) {
    const std::int64_t verts = s.frames.empty() ? 0 : static_cast<std::int64_t>(s.frames[0].size());
    return Md3Surface::kSize + Md3Shader::kSize * static_cast<std::int64_t>(s.shaders.size()) +
           Md3Triangle::kSize * static_cast<std::int64_t>(s.triangles.size()) + 8 * verts +
           Md3Vertex::kSize * verts * static_cast<std::int64_t>(s.frames.size());
}

void write_surface(ModelBuffer& out, std::size_t at, const BuiltSurface& s) {
    const std::int64_t numVerts =
        s.frames.empty() ? 0 : static_cast<std::int64_t>(s.frames[0].size());
    const std::int64_t ofsShaders = Md3Surface::kSize;
    const std::int64_t ofsTriangles =
        ofsShaders + Md3Shader::kSize * static_cast<std::int64_t>(s.shaders.size());
    const std::int64_t ofsSt =
        ofsTriangles + Md3Triangle::kSize * static_cast<std::int64_t>(s.triangles.size());
    const std::int64_t ofsXyz = ofsSt + 8 * numVerts;

    std::copy_n("IDP3", 4, out.begin() + static_cast<long>(at + Md3Surface::kIdent));
    put_name(out, at + Md3Surface::kName, s.name, kNameSize);
    put_i32_at(out, at + Md3Surface::kFlags, 0);
    put_i32_at(out, at + Md3Surface::kNumFrames, static_cast<std::int64_t>(s.frames.size()));
    put_i32_at(out, at + Md3Surface::kNumShaders, static_cast<std::int64_t>(s.shaders.size()));
    put_i32_at(out, at + Md3Surface::kNumVerts, numVerts);
    put_i32_at(out, at + Md3Surface::kNumTriangles, static_cast<std::int64_t>(s.triangles.size()));
    put_i32_at(out, at + Md3Surface::kOfsTriangles, ofsTriangles);
    put_i32_at(out, at + Md3Surface::kOfsShaders, ofsShaders);
    put_i32_at(out, at + Md3Surface::kOfsSt, ofsSt);
    put_i32_at(out, at + Md3Surface::kOfsXyzNormals, ofsXyz);
    put_i32_at(out, at + Md3Surface::kOfsEnd, surface_size(s));

    for (std::size_t k = 0; k < s.shaders.size(); ++k) {
        const std::size_t shader = at + static_cast<std::size_t>(ofsShaders) + k * Md3Shader::kSize;
        put_name(out, shader + Md3Shader::kName, s.shaders[k], kNameSize);
        put_i32_at(out, shader + Md3Shader::kShaderIndex, static_cast<std::int64_t>(k) + 3);
    }
    for (std::size_t t = 0; t < s.triangles.size(); ++t)
        for (int c = 0; c < 3; ++c)
            put_i32_at(out,
                       at + static_cast<std::size_t>(ofsTriangles) + t * Md3Triangle::kSize + 4 * c,
                       s.triangles[t][c]);
    fill_pattern(out, at + static_cast<std::size_t>(ofsSt), static_cast<std::size_t>(8 * numVerts),
                 0x40);
    std::size_t v = at + static_cast<std::size_t>(ofsXyz);
    for (const auto& frame : s.frames) {
        for (const BuiltVertex& vertex : frame) {
            Md3Vertex::set_position(out.data() + v, 0, vertex.x);
            Md3Vertex::set_position(out.data() + v, 1, vertex.y);
            Md3Vertex::set_position(out.data() + v, 2, vertex.z);
            Md3Vertex::set_normal(out.data() + v, vertex.normal);
            v += Md3Vertex::kSize;
        }
    }
}

}  // namespace

ModelBuffer build_model(const BuiltModel& model) {
    const std::int64_t ofsFrames = Md3Header::kSize;
    const std::int64_t ofsTags =
        ofsFrames + Md3Frame::kSize * static_cast<std::int64_t>(model.frames.size());
    const std::int64_t ofsSurfaces =
        ofsTags + kTagSize * model.numTags * static_cast<std::int64_t>(model.frames.size());
    std::int64_t ofsEnd = ofsSurfaces;
    for (const BuiltSurface& s : model.surfaces) ofsEnd += surface_size(s);

    ModelBuffer out(static_cast<std::size_t>(ofsEnd) + model.trailingBytes, 0);
    std::copy_n("IDP3", 4, out.begin() + Md3Header::kIdent);
    put_i32_at(out, Md3Header::kVersion, Md3Header::kFormatVersion);
    put_name(out, Md3Header::kName, model.name, kNameSize);
    put_i32_at(out, Md3Header::kFlags, 0x1001);
    put_i32_at(out, Md3Header::kNumFrames, static_cast<std::int64_t>(model.frames.size()));
    put_i32_at(out, Md3Header::kNumTags, model.numTags);
    put_i32_at(out, Md3Header::kNumSurfaces, static_cast<std::int64_t>(model.surfaces.size()));
    put_i32_at(out, Md3Header::kNumSkins, 0x2002);
    put_i32_at(out, Md3Header::kOfsFrames, ofsFrames);
    put_i32_at(out, Md3Header::kOfsTags, ofsTags);
    put_i32_at(out, Md3Header::kOfsSurfaces, ofsSurfaces);
    put_i32_at(out, Md3Header::kOfsEnd, ofsEnd);

    for (std::size_t i = 0; i < model.frames.size(); ++i) {
        const BuiltFrame& f = model.frames[i];
        std::uint8_t* frame = frame_at(out.data(), static_cast<std::int64_t>(i));
        for (int k = 0; k < 3; ++k) {
            Md3Frame::set_mins(frame, k, f.mins[k]);
            Md3Frame::set_maxs(frame, k, f.maxs[k]);
            Md3Frame::set_localOrigin(frame, k, f.localOrigin[k]);
        }
        Md3Frame::set_radius(frame, f.radius);
        put_name(out, static_cast<std::size_t>(frame - out.data() + Md3Frame::kName), f.name,
                 Md3Frame::kNameSize);
    }
    fill_pattern(out, static_cast<std::size_t>(ofsTags),
                 static_cast<std::size_t>(ofsSurfaces - ofsTags), 0x11);
    const std::size_t named =
        std::min(model.tagNames.size(), static_cast<std::size_t>(model.numTags));
    for (std::size_t j = 0; j < model.frames.size(); ++j)
        for (std::size_t t = 0; t < named; ++t) {
            const std::size_t at = static_cast<std::size_t>(ofsTags) +
                                   static_cast<std::size_t>(kTagSize) *
                                       (j * static_cast<std::size_t>(model.numTags) + t);
            std::fill_n(out.begin() + static_cast<long>(at), kNameSize, 0);
            put_name(out, at, model.tagNames[t], kNameSize);
        }

    std::int64_t at = ofsSurfaces;
    for (const BuiltSurface& s : model.surfaces) {
        write_surface(out, static_cast<std::size_t>(at), s);
        at += surface_size(s);
    }
    fill_pattern(out, static_cast<std::size_t>(ofsEnd), model.trailingBytes, 0x77);
    return out;
}

namespace {

// A closed box from (x0,y0,z0) to (x1,y1,z1), in model units, as 8 vertices
// with a wrong normal; triangles wound so that normals face outwards.
std::vector<BuiltVertex> box(float x0, float y0, float z0, float x1, float y1, float z1) {
    std::vector<BuiltVertex> v;
    for (int i = 0; i < 8; ++i) {
        const auto fixed = [](float c) { return static_cast<std::int16_t>(c * 64.0f); };
        v.push_back(
            {fixed(i & 1 ? x1 : x0), fixed(i & 2 ? y1 : y0), fixed(i & 4 ? z1 : z0), 0x1234});
    }
    return v;
}

const std::vector<std::array<std::int32_t, 3>> kBoxTriangles = {
    {0, 1, 2}, {1, 3, 2}, {4, 6, 5}, {5, 6, 7}, {0, 4, 1}, {1, 4, 5},
    {2, 3, 6}, {3, 7, 6}, {0, 2, 4}, {2, 6, 4}, {1, 5, 3}, {3, 5, 7},
};

}  // namespace

BuiltModel with_seams(BuiltModel m) {
    for (BuiltSurface& surface : m.surfaces) {
        const int numVerts = static_cast<int>(surface.frames[0].size());
        std::vector<int> copyOf(static_cast<std::size_t>(numVerts), -1);
        for (int v = 0; v < numVerts; v += 3) {
            copyOf[v] = static_cast<int>(surface.frames[0].size());
            for (auto& frame : surface.frames) frame.push_back(frame[v]);
        }
        for (std::size_t t = 0; t < surface.triangles.size(); t += 2)
            for (std::int32_t& corner : surface.triangles[t])
                if (copyOf[corner] >= 0) corner = copyOf[corner];
    }
    return m;
}

BuiltModel sample_model() {
    BuiltModel m;
    m.name = "models\\ships\\skiff.md3";
    m.numTags = 1;
    for (int j = 0; j < 3; ++j)
        m.frames.push_back({{0, 0, 0}, {1, 1, 1}, {0, 0, 0}, 1.0f, "frame" + std::to_string(j)});

    BuiltSurface hull;
    hull.name = "hull";
    hull.shaders = {"textures\\ships\\hull.tga"};
    hull.triangles = kBoxTriangles;
    BuiltSurface fin;
    fin.name = "fin";
    fin.shaders = {"textures\\ships\\fin.tga", "textures\\ships\\fin_glow.tga"};
    fin.triangles = {{0, 1, 2}, {0, 3, 1}, {1, 3, 2}, {2, 3, 0}};
    for (int j = 0; j < 3; ++j) {
        const float bob = 0.5f * static_cast<float>(j);
        hull.frames.push_back(box(-16, -6, -4 + bob, 16, 6, 4 + bob));
        fin.frames.push_back(
            {{-12 * 64, 0, static_cast<std::int16_t>((4 + bob) * 64), 0x1234},
             {-4 * 64, 0, static_cast<std::int16_t>((4 + bob) * 64), 0x1234},
             {-12 * 64, 0, static_cast<std::int16_t>((10 + bob) * 64), 0x1234},
             {-8 * 64, 2 * 64, static_cast<std::int16_t>((5 + bob) * 64), 0x1234}});
    }
    m.surfaces = {hull, fin};
    return m;
}

namespace {

// sin(x) from its Taylor series after reduction to [-pi, pi]: basic arithmetic
// only, so the generated positions are the same on every host and C library.
double portable_sin(double x) {
    constexpr double kPi = 3.14159265358979323846;
    while (x > kPi) x -= 2 * kPi;
    while (x < -kPi) x += 2 * kPi;
    double term = x, sum = x;
    for (int n = 1; n < 12; ++n) {
        term = -term * x * x / ((2 * n) * (2 * n + 1));
        sum += term;
    }
    return sum;
}

double portable_cos(double x) { return portable_sin(x + 1.57079632679489661923); }

std::int16_t to_fixed(double units) { return static_cast<std::int16_t>(units * 64.0); }

}  // namespace

BuiltModel generated_model(int numSurfaces, int numFrames, int vertsPerSurface) {
    constexpr double kPi = 3.14159265358979323846;
    // A UV sphere: two poles and (rings - 1) rings of `segments` vertices.
    int segments = 3;
    while ((segments + 1) * (segments + 1) + 2 <= vertsPerSurface) ++segments;
    const int rings = std::max(2, (vertsPerSurface - 2) / segments + 1);

    BuiltModel m;
    m.name = "models\\generated\\blob.md3";
    m.numTags = 2;
    for (int j = 0; j < numFrames; ++j)
        m.frames.push_back({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 0.0f, "wobble" + std::to_string(j)});

    for (int s = 0; s < numSurfaces; ++s) {
        BuiltSurface surface;
        surface.name = "blob" + std::to_string(s);
        surface.shaders = {"textures\\generated\\blob" + std::to_string(s) + ".tga"};
        const auto ring_vertex = [segments](int ring, int seg) {  // ring 1 .. rings-1
            return 1 + (ring - 1) * segments + seg % segments;
        };
        const int south = 1 + (rings - 1) * segments;
        for (int k = 0; k < segments; ++k) {
            surface.triangles.push_back({0, ring_vertex(1, k + 1), ring_vertex(1, k)});
            for (int r = 1; r + 1 < rings; ++r) {
                surface.triangles.push_back(
                    {ring_vertex(r, k), ring_vertex(r, k + 1), ring_vertex(r + 1, k)});
                surface.triangles.push_back(
                    {ring_vertex(r, k + 1), ring_vertex(r + 1, k + 1), ring_vertex(r + 1, k)});
            }
            surface.triangles.push_back(
                {south, ring_vertex(rings - 1, k), ring_vertex(rings - 1, k + 1)});
        }

        const double centre[3] = {(s % 3) * 40.0 - 40.0, (s / 3 % 3) * 40.0 - 40.0, (s / 9) * 40.0};
        const double radius = 12.0 + 2.0 * (s % 4);
        for (int j = 0; j < numFrames; ++j) {
            std::vector<BuiltVertex> frame;
            const auto place = [&](double theta, double phi) {
                const double wobble = 1.0 + 0.15 * portable_sin(3 * phi + 0.2 * j) *
                                                portable_cos(2 * theta + 0.1 * s);
                const double r = radius * wobble;
                frame.push_back({to_fixed(centre[0] + r * portable_sin(theta) * portable_cos(phi)),
                                 to_fixed(centre[1] + r * portable_sin(theta) * portable_sin(phi)),
                                 to_fixed(centre[2] + r * portable_cos(theta) + 0.25 * (j % 64)),
                                 static_cast<std::uint16_t>(0x5A5A + j)});
            };
            place(0, 0);
            for (int r = 1; r < rings; ++r)
                for (int k = 0; k < segments; ++k) place(kPi * r / rings, 2 * kPi * k / segments);
            place(kPi, 0);
            surface.frames.push_back(frame);
        }
        m.surfaces.push_back(surface);
    }
    return m;
}

std::vector<std::pair<std::string, BuiltModel>> seed_models() {
    BuiltModel degenerate = generated_model(1, 2, 14);
    degenerate.surfaces[0].triangles.push_back({3, 3, 3});
    degenerate.surfaces[0].triangles.push_back({0, 1, 0});
    degenerate.name = "plain_name";
    degenerate.surfaces[0].shaders = {"noextension", "second\\shader.jpeg"};

    BuiltModel framesOnly;
    framesOnly.name = "models\\frames\\only";
    framesOnly.frames.resize(4);

    BuiltModel trailing = generated_model(2, 1, 20);
    trailing.trailingBytes = 64;

    return {{"sample.md3", sample_model()}, {"three_surfaces.md3", generated_model(3, 3, 20)},
            {"degenerate.md3", degenerate}, {"frames_only.md3", framesOnly},
            {"trailing.md3", trailing},     {"header_only.md3", BuiltModel{}}};
}

BuiltModel barrel_model() {
    constexpr double kPi = 3.14159265358979323846;
    constexpr int kSegments = 12, kRings = 3;
    const auto fixed = [](double c) {
        return static_cast<std::int16_t>(c >= 0 ? c * 64 + 0.5 : c * 64 - 0.5);
    };
    // A packed normal across the z axis at `u` segments round: polar angle a
    // quarter turn (64 of 255 steps), azimuth u * 255 / kSegments steps.
    const auto across = [](int u) {
        return static_cast<std::uint16_t>((u % kSegments) * 255 / kSegments << 8 | 64);
    };
    BuiltModel m;
    m.name = "models\\mapobjects\\barrel\\barrel.md3";
    m.frames.push_back({{0, 0, 0}, {1, 1, 1}, {0, 0, 0}, 1.0f, "still"});

    // The side: a column of vertices stored twice where the texture wraps
    // round (u = 0 and u = kSegments), each with the normal a modelling tool
    // stores for a smooth cylinder, straight out.
    BuiltSurface side;
    side.name = "side";
    side.shaders = {"models\\mapobjects\\barrel\\side.tga"};
    std::vector<BuiltVertex> sideVertices;
    for (int r = 0; r < kRings; ++r)
        for (int u = 0; u <= kSegments; ++u) {
            const double a = 2 * kPi * (u % kSegments) / kSegments;
            sideVertices.push_back({fixed(16 * portable_cos(a)), fixed(16 * portable_sin(a)),
                                    fixed(16.0 * r), across(u)});
        }
    side.frames = {sideVertices};
    const auto at = [](int r, int u) { return r * (kSegments + 1) + u; };
    for (int r = 0; r + 1 < kRings; ++r)
        for (int u = 0; u < kSegments; ++u) {
            side.triangles.push_back({at(r, u), at(r + 1, u + 1), at(r, u + 1)});
            side.triangles.push_back({at(r, u), at(r + 1, u), at(r + 1, u + 1)});
        }

    // The lid, flat on top, its normals scattered from straight up to
    // straight down: unrelated to its geometry.
    BuiltSurface lid;
    lid.name = "lid";
    lid.shaders = {"models/mapobjects/barrel/lid"};
    const auto scattered = [](int k) {
        return static_cast<std::uint16_t>((k * 5 % kSegments) * 21 << 8 | (k * 37 % 128));
    };
    std::vector<BuiltVertex> lidVertices = {{0, 0, fixed(32), scattered(0)}};
    for (int u = 0; u < kSegments; ++u) {
        const double a = 2 * kPi * u / kSegments;
        lidVertices.push_back({fixed(16 * portable_cos(a)), fixed(16 * portable_sin(a)), fixed(32),
                               scattered(u + 1)});
    }
    lid.frames = {lidVertices};
    for (int u = 0; u < kSegments; ++u)
        lid.triangles.push_back({0, 1 + (u + 1) % kSegments, 1 + u});
    m.surfaces = {side, lid};
    return m;
}
