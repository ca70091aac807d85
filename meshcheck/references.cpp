// Checking a model against the files the engine will find for it.
#include "references.hpp"

#include <algorithm>
#include <cstring>

#include "archive_source.hpp"
#include "md3_layout.hpp"
#include "report.hpp"
#include "skins.hpp"
#include "text.hpp"

namespace {

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string stripped(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// A surface's name as the engine keeps it at load: lowercased, and one
// whose second-to-last character is '_' without its last two.
std::string loaded_surface_name(std::string_view stored) {
    std::string name = lowered(stored);
    if (name.size() >= 2 && name[name.size() - 2] == '_') name.resize(name.size() - 2);
    return name;
}

std::string tried_images(const EngineProfile& engine) {
    std::string list;
    for (const char* const* e = engine.imageExtensions; *e; ++e)
        list += std::string(list.empty() ? "" : " ") + *e;
    return list;
}

Problem problem(Severity severity, const char* kind, std::int32_t surface, std::string surfaceName,
                std::string message) {
    Problem p;
    p.severity = severity;
    p.kind = kind;
    p.surface = surface;
    p.surfaceName = std::move(surfaceName);
    p.message = std::move(message);
    return p;
}

std::string missing_text(const std::string& shader, const EngineProfile& engine) {
    return "shader " + shown_name(shader) + ": no script defines " + shown_name(stripped(shader)) +
           " and no image matches it (" + tried_images(engine) + "); " + engine.title +
           " draws the default texture";
}

struct Surface {
    std::int32_t index;
    std::string stored, loaded, shader;
};

// The .skin files the engine reads beside a player part (head.md3 takes
// head_default.skin, head_blue.skin, ...), with what each line names.
void check_skins(const std::string& gamePath, const std::vector<Surface>& surfaces,
                 std::vector<char>& skinned, const GameFiles& game, const ShaderNames& shaders,
                 const EngineProfile& engine, std::vector<Problem>& out) {
    const std::size_t slash = gamePath.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : gamePath.substr(0, slash);
    std::string leaf = lowered(gamePath.substr(slash == std::string::npos ? 0 : slash + 1));
    // A lower detail is drawn with its base's skin, whose lines are
    // reported on the base alone.
    const bool lod = engine.loadsLods && (leaf.ends_with("_1.md3") || leaf.ends_with("_2.md3"));
    if (lod) leaf = leaf.substr(0, leaf.size() - 6) + ".md3";
    if (leaf != "head.md3" && leaf != "upper.md3" && leaf != "lower.md3") return;
    const std::string prefix = leaf.substr(0, leaf.size() - 4) + "_";
    ModelBuffer bytes;
    for (const auto& [name, place] : list_game_folder(game, folder)) {
        const std::string skin = lowered(name.substr(name.rfind('/') + 1));
        if (!skin.starts_with(prefix) || !skin.ends_with(".skin")) continue;
        const std::string where = name.substr(name.rfind('/') + 1);
        // A skin the archive cannot give up names nothing the engine uses.
        if (!read_place(game, place, bytes).ok()) continue;
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        UnknownSurfaces unknown;  // the surfaces it names that the model lacks
        RepeatedFindings missing;
        read_skin(text, [&](const SkinLine& line) {
            const std::string& surfaceName = line.surface;
            const std::string& shader = line.shader;
            const std::int64_t lineNumber = line.number;
            const auto named =
                std::find_if(surfaces.begin(), surfaces.end(),
                             [&](const Surface& s) { return s.loaded == surfaceName; });
            if (named == surfaces.end()) {
                unknown.add(shown_name(surfaceName), lineNumber);
                return;
            }
            // Every surface of that name takes the line, not just the first.
            for (const Surface& s : surfaces)
                if (s.loaded == surfaceName) skinned[static_cast<std::size_t>(s.index)] = 1;
            if (lod || shader.empty() || !engine.imageExtensions ||
                shader_resolves(shader, game, shaders, engine))
                return;
            missing.add(out, named->index, [&] {
                return problem(Severity::error, "skin_shader", named->index, named->stored,
                               printf_text("%s line %lld: ", where.c_str(),
                                           static_cast<long long>(lineNumber)) +
                                   missing_text(shader, engine));
            });
        });
        missing.finish(out);
        if (!unknown.empty() && !lod)
            out.push_back(problem(Severity::warning, "skin_surface", -1, "",
                                  where + " names surfaces the model does not have, " +
                                      unknown.text() + ": those lines are ignored"));
    }
}

// x_1.md3 and x_2.md3 are the engine's lower details of x.md3: checked from
// the sibling, against its base.
void check_lod(std::span<const std::uint8_t> model, const std::string& gamePath,
               const GameFiles& game, std::vector<Problem>& out) {
    const std::string name = lowered(gamePath);
    if (!name.ends_with("_1.md3") && !name.ends_with("_2.md3")) return;
    const std::string base = gamePath.substr(0, gamePath.size() - 6) + ".md3";
    const std::vector<GamePlace> places = find_places(game, base);
    if (places.empty()) {
        out.push_back(problem(Severity::warning, "lod_base_missing", -1, "",
                              "a lower detail without its base " + shown_name(base) +
                                  ": never loaded, or LOD 0 of it is empty (inferred)"));
        return;
    }
    ModelBuffer bytes;
    if (!read_place(game, places.front(), bytes).ok() || bytes.size() < Md3Header::kSize ||
        std::memcmp(bytes.data(), "IDP3", 4) != 0)
        return;  // the base is reported for itself
    const std::int32_t baseFrames = Md3Header::numFrames(bytes.data());
    const std::int32_t frames = Md3Header::numFrames(model.data());
    if (frames == baseFrames) return;
    Problem p =
        problem(frames < baseFrames ? Severity::error : Severity::warning, "lod_frames", -1, "",
                printf_text("%lld frames, its base %s has %lld: ", static_cast<long long>(frames),
                            shown_name(base).c_str(), static_cast<long long>(baseFrames)) +
                    (frames < baseFrames
                         ? "frames past its end are read from outside it at this detail (inferred)"
                         : "its extra frames are never shown"));
    p.value = frames;
    p.limit = baseFrames;
    out.push_back(std::move(p));
}

}  // namespace

bool shader_resolves(const std::string& name, const GameFiles& game, const ShaderNames& shaders,
                     const EngineProfile& engine) {
    const std::string base = stripped(name);
    if (shaders.defined.contains(lowered(base))) return true;
    if (!engine.imageExtensions) return true;  // not known: not checked
    for (const char* const* e = engine.imageExtensions; *e; ++e)
        if (!find_places(game, base + *e).empty()) return true;
    return false;
}

std::vector<Problem> check_references(std::span<const std::uint8_t> model,
                                      const std::string& gamePath, const GameFiles& game,
                                      const ShaderNames& shaders, const EngineProfile& engine) {
    std::vector<Problem> out;
    const std::uint8_t* m = model.data();
    std::vector<Surface> surfaces;
    for_each_surface(m, [&](const std::uint8_t* surface, std::int32_t s) {
        const std::string stored(field_text(Md3Surface::name(surface), kNameSize));
        const std::string shader =
            Md3Surface::numShaders(surface) > 0
                ? std::string(field_text(Md3Shader::name(shader_at(surface)), kNameSize))
                : std::string();
        surfaces.push_back({s, stored, loaded_surface_name(stored), shader});
        return true;
    });
    std::vector<char> skinned(surfaces.size(), 0);
    if (!gamePath.empty()) {
        if (engine.refusedPathBytes > 0 &&
            static_cast<std::int64_t>(gamePath.size()) >= engine.refusedPathBytes) {
            Problem p = problem(Severity::error, "path_too_long", -1, "",
                                printf_text("its path in the game is %lld bytes; %s refuses to "
                                            "load a path of %lld or more",
                                            static_cast<long long>(gamePath.size()), engine.title,
                                            static_cast<long long>(engine.refusedPathBytes)));
            p.value = static_cast<std::int64_t>(gamePath.size());
            p.limit = engine.refusedPathBytes;
            out.push_back(std::move(p));
        }
        if (engine.looseFiles != LooseOrder::not_known) {
            const std::vector<GamePlace> places = find_places(game, gamePath);
            if (places.size() > 1) {
                Problem p = problem(Severity::warning, "shadowed", -1, "", "");
                std::string others;
                for (std::size_t i = 1; i < places.size(); ++i)
                    others += (i > 1 ? ", " : "") + place_text(game, places[i]);
                p.count = static_cast<std::int64_t>(places.size());
                p.message = "found in " + std::to_string(places.size()) +
                            " places; the engine uses " + place_text(game, places.front()) +
                            ", not " + others;
                const GameSource& source = *game.sources[places.front().source];
                const std::string& member = place_entry(game, places.front()).name;
                p.used = source.loose ? member_path(source.path, member) : source.path;
                if (!source.loose) p.usedMember = member;
                out.push_back(std::move(p));
            }
        }
        if (engine.loadsLods) check_lod(model, gamePath, game, out);
        check_skins(gamePath, surfaces, skinned, game, shaders, engine, out);
    }
    if (engine.imageExtensions)
        for (const Surface& s : surfaces) {
            if (skinned[static_cast<std::size_t>(s.index)] || s.shader.empty()) continue;
            if (shader_resolves(s.shader, game, shaders, engine)) continue;
            out.push_back(problem(Severity::error, "shader_missing", s.index, s.stored,
                                  missing_text(s.shader, engine)));
        }
    std::stable_partition(out.begin(), out.end(),
                          [](const Problem& p) { return p.severity == Severity::error; });
    return out;
}
