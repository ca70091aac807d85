// Checking a model against the files the engine will find for it.
#include "references.hpp"

#include <algorithm>
#include <cstring>

#include "archive_source.hpp"
#include "engine_names.hpp"
#include "md3_layout.hpp"
#include "skins.hpp"
#include "text.hpp"
#include "utf8_text.hpp"

namespace md3 {

namespace {

std::string stripped(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// A surface's name as the engine keeps it at load: lowercased, and one
// whose second-to-last character is '_' without its last two.
std::string loaded_surface_name(std::string_view stored) {
    std::string name = ascii_lowered(stored);
    if (name.size() >= 2 && name[name.size() - 2] == '_') name.resize(name.size() - 2);
    return name;
}

std::string tried_images(const EngineProfile& engine) {
    std::string list;
    for (const char* const* e = engine.imageExtensions; *e; ++e)
        list += std::string(list.empty() ? "" : " ") + *e;
    return list;
}

std::string missing_text(const std::string& shader, const EngineProfile& engine) {
    return "shader " + shown_name(shader) + ": no script defines " + shown_name(stripped(shader)) +
           " and no image matches it (" + tried_images(engine) + "); " + engine.title +
           " draws the default texture";
}

// The problem of a shader name the engine misses, or none (an empty kind).
// A script entry missed only for a leading slash is a warning: that the
// script lookup keeps the slash is worked out from the code.
Problem shader_problem(const std::string& shader, ProblemKind missingKind, std::int32_t surface,
                       const std::string& surfaceName, const std::string& prefix,
                       const GameFiles& game, const ShaderNames& shaders,
                       const EngineProfile& engine) {
    const ShaderFound found = find_shader(shader, game, shaders, engine);
    if (found == ShaderFound::script || found == ShaderFound::image) return Problem();
    if (found == ShaderFound::nothing)
        return make_problem(missingKind, surface, surfaceName,
                            prefix + missing_text(shader, engine));
    const std::string entry = shown_name(stripped(shader).substr(1));
    return make_problem(ProblemKind::shader_slash, surface, surfaceName,
                        prefix + "shader " + shown_name(shader) +
                            ": its leading slash misses the " + "script entry " + entry +
                            " (inferred); " + engine.title +
                            (found == ShaderFound::slash_image
                                 ? " draws the plain image, without the script's stages"
                                 : " finds no image either and draws the default texture"));
}

struct Surface {
    std::int32_t index;
    std::string stored, loaded, shader;
};

// The name of a model file (its last component, lowercased), and for a
// lower detail the name of its base instead.
std::string part_leaf(const std::string& gamePath, const EngineProfile& engine, bool& lod) {
    const std::size_t slash = gamePath.rfind('/');
    std::string leaf = ascii_lowered(gamePath.substr(slash == std::string::npos ? 0 : slash + 1));
    lod = engine.loadsLods && (leaf.ends_with("_1.md3") || leaf.ends_with("_2.md3"));
    if (lod) leaf = leaf.substr(0, leaf.size() - 6) + ".md3";
    return leaf;
}

// Whether the model is a part of a player, which the game always draws
// through its skins: models/players/NAME/{head,upper,lower}.md3 (or below
// models/players/characters/NAME/), and their lower details.
bool player_part(const std::string& gamePath, const EngineProfile& engine) {
    bool lod = false;
    const std::string leaf = part_leaf(gamePath, engine, lod);
    const std::string name = ascii_lowered(gamePath);
    if (leaf != "head.md3" && leaf != "upper.md3" && leaf != "lower.md3") return false;
    if (!name.starts_with("models/players/")) return false;
    const std::size_t depth = static_cast<std::size_t>(std::count(name.begin(), name.end(), '/'));
    return depth == 3 || (depth == 4 && name.starts_with("models/players/characters/"));
}

// The model's surfaces in the order of their loaded names (then of their
// index), so that each skin line finds its surfaces without a walk over all
// of them: a skin may have millions of lines, a model thousands of surfaces.
using SurfacesByName = std::vector<const Surface*>;

struct ByLoadedName {
    bool operator()(const Surface* a, const std::string& b) const { return a->loaded < b; }
    bool operator()(const std::string& a, const Surface* b) const { return a < b->loaded; }
};

SurfacesByName by_name(const std::vector<Surface>& surfaces) {
    SurfacesByName sorted;
    for (const Surface& s : surfaces) sorted.push_back(&s);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Surface* a, const Surface* b) { return a->loaded < b->loaded; });
    return sorted;
}

// One line of a skin against the model's surfaces: marks the surfaces it
// names in `skinned`, and says what it names that the model lacks, or what
// is wrong with its shader (one problem per surface however many lines
// repeat it).
void check_skin_line(const SkinLine& line, const std::string& where, bool lod,
                     const SurfacesByName& surfaces, std::vector<char>& skinned,
                     UnknownSurfaces& unknown, RepeatedFindings& repeated, const GameFiles& game,
                     const ShaderNames& shaders, const EngineProfile& engine,
                     std::vector<Problem>& out) {
    const auto [first, last] =
        std::equal_range(surfaces.begin(), surfaces.end(), line.surface, ByLoadedName{});
    if (first == last) {
        unknown.add(shown_name(line.surface), line.number);
        return;
    }
    // Every surface of that name takes the line, not just the first.
    for (auto it = first; it != last; ++it) skinned[static_cast<std::size_t>((*it)->index)] = 1;
    if (lod || line.shader.empty() || !engine.imageExtensions) return;
    const Surface& named = **first;
    Problem p = shader_problem(
        line.shader, ProblemKind::skin_shader, named.index, named.stored,
        printf_text("%s line %lld: ", where.c_str(), static_cast<long long>(line.number)), game,
        shaders, engine);
    if (p.kind != ProblemKind::none) repeated.add(out, named.index, [&] { return std::move(p); });
}

// The .skin files the engine reads beside a player part (head.md3 takes
// head_default.skin, head_blue.skin, ...), with what each line names.
// Returns the names of the skins read.
std::vector<std::string> check_skins(const std::string& gamePath,
                                     const std::vector<Surface>& surfaces,
                                     std::vector<char>& skinned, const GameFiles& game,
                                     const ShaderNames& shaders, const EngineProfile& engine,
                                     std::vector<Problem>& out) {
    std::vector<std::string> skins;
    const std::size_t slash = gamePath.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : gamePath.substr(0, slash);
    // A lower detail is drawn with its base's skin, whose lines are
    // reported on the base alone.
    bool lod = false;
    const std::string leaf = part_leaf(gamePath, engine, lod);
    if (leaf != "head.md3" && leaf != "upper.md3" && leaf != "lower.md3") return skins;
    const std::string prefix = leaf.substr(0, leaf.size() - 4) + "_";
    ModelBuffer bytes;
    const SurfacesByName sorted = by_name(surfaces);
    for (const auto& [name, place] : list_game_folder(game, folder)) {
        const std::string skin = ascii_lowered(name.substr(name.rfind('/') + 1));
        if (!skin.starts_with(prefix) || !skin.ends_with(".skin")) continue;
        const std::string where = shown_path(name.substr(name.rfind('/') + 1));
        // A skin the archive cannot give up names nothing the engine uses.
        if (!read_place(game, place, bytes).ok()) continue;
        skins.push_back(where);
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        UnknownSurfaces unknown;  // the surfaces it names that the model lacks
        RepeatedFindings repeated;
        read_skin(text, [&](const SkinLine& line) {
            check_skin_line(line, where, lod, sorted, skinned, unknown, repeated, game, shaders,
                            engine, out);
        });
        repeated.finish(out);
        if (!unknown.empty() && !lod)
            out.push_back(make_problem(ProblemKind::skin_surface, -1, "",
                                       where + " names surfaces the model does not have, " +
                                           unknown.text() + ": those lines are ignored"));
    }
    return skins;
}

// x_1.md3 and x_2.md3 are the engine's lower details of x.md3: checked from
// the sibling, against its base. One whose base is nowhere is a model of its
// own, loaded when asked for by its own name.
void check_lod(std::span<const std::uint8_t> model, const std::string& gamePath,
               const GameFiles& game, std::vector<Problem>& out) {
    const std::string name = ascii_lowered(gamePath);
    if (!name.ends_with("_1.md3") && !name.ends_with("_2.md3")) return;
    const std::string base = gamePath.substr(0, gamePath.size() - 6) + ".md3";
    const std::vector<GamePlace> places = find_places(game, base);
    if (places.empty()) return;
    ModelBuffer bytes;
    if (!read_place(game, places.front(), bytes).ok() || bytes.size() < Md3Header::kSize ||
        std::memcmp(bytes.data(), "IDP3", 4) != 0)
        return;  // the base is reported for itself
    const std::int32_t baseFrames = Md3Header::numFrames(bytes.data());
    const std::int32_t frames = Md3Header::numFrames(model.data());
    if (frames == baseFrames) return;
    Problem p = make_problem(
        ProblemKind::lod_frames, -1, "",
        printf_text("%lld frames, its base %s has %lld: ", static_cast<long long>(frames),
                    shown_name(base).c_str(), static_cast<long long>(baseFrames)) +
            (frames < baseFrames
                 ? "frames past its end are read from outside it at this detail (inferred)"
                 : "its extra frames are never shown"));
    if (frames > baseFrames) p.severity = Severity::warning;
    p.value = frames;
    p.limit = baseFrames;
    out.push_back(std::move(p));
}

// The copy checked is not the one the engine loads: one warning naming the
// one it does.
void add_shadowed(const std::string& gamePath, const GameFiles& game, std::vector<Problem>& out) {
    const std::vector<GamePlace> places = find_places(game, gamePath);
    if (places.size() < 2) return;
    Problem p = make_problem(ProblemKind::shadowed, -1, "", "");
    p.count = static_cast<std::int64_t>(places.size());
    p.message = "shadowed: the engine loads " + shown_path(short_place_text(game, places.front())) +
                " instead (one of " + std::to_string(places.size()) +
                " copies); the problems of this one are not counted";
    const GameSource& source = *game.sources[places.front().source];
    const std::string& member = place_entry(game, places.front()).name;
    p.used = source.loose ? member_path(source.path, member) : source.path;
    if (!source.loose) p.usedMember = member;
    out.push_back(std::move(p));
}

void check_path_length(const std::string& gamePath, const EngineProfile& engine,
                       std::vector<Problem>& out) {
    if (engine.refusedPathBytes <= 0 ||
        static_cast<std::int64_t>(gamePath.size()) < engine.refusedPathBytes)
        return;
    Problem p = make_problem(ProblemKind::path_too_long, -1, "",
                             printf_text("its path in the game is %lld bytes; %s refuses to "
                                         "load a path of %lld or more",
                                         static_cast<long long>(gamePath.size()), engine.title,
                                         static_cast<long long>(engine.refusedPathBytes)));
    p.value = static_cast<std::int64_t>(gamePath.size());
    p.limit = engine.refusedPathBytes;
    out.push_back(std::move(p));
}

}  // namespace

ShaderFound find_shader(const std::string& name, const GameFiles& game, const ShaderNames& shaders,
                        const EngineProfile& engine) {
    const std::string base = stripped(name);
    if (shaders.defined.contains(ascii_lowered(base))) return ShaderFound::script;
    const bool slashMissed = !base.empty() && (base[0] == '/' || base[0] == '\\') &&
                             shaders.defined.contains(ascii_lowered(base.substr(1)));
    if (!engine.imageExtensions) return ShaderFound::script;  // not known: not checked
    bool image = false;
    for (const char* const* e = engine.imageExtensions; *e && !image; ++e)
        image = !find_places(game, base + *e).empty();
    if (slashMissed) return image ? ShaderFound::slash_image : ShaderFound::slash_nothing;
    return image ? ShaderFound::image : ShaderFound::nothing;
}

bool shader_resolves(const std::string& name, const GameFiles& game, const ShaderNames& shaders,
                     const EngineProfile& engine) {
    const ShaderFound found = find_shader(name, game, shaders, engine);
    return found == ShaderFound::script || found == ShaderFound::image;
}

void drop_skinned_shader_problems(std::vector<Problem>& problems,
                                  const std::vector<char>& throughSkin) {
    const auto skinned = [&](std::int32_t s) {
        return s >= 0 && static_cast<std::size_t>(s) < throughSkin.size() &&
               throughSkin[static_cast<std::size_t>(s)];
    };
    std::erase_if(problems, [&](const Problem& p) {
        using enum ProblemKind;
        const ProblemKind kind = p.kind;
        if (kind == shader_merged)
            return !p.surfaces.empty() &&
                   std::all_of(p.surfaces.begin(), p.surfaces.end(), skinned);
        return (kind == shader_backslash || kind == shader_empty || kind == shader_missing ||
                kind == shader_slash) &&
               skinned(p.surface);
    });
}

std::vector<Problem> check_references(std::span<const std::uint8_t> model,
                                      const std::string& gamePath, const GameFiles& game,
                                      const ShaderNames& shaders, const EngineProfile& engine,
                                      bool shadowedCopy, std::vector<char>* throughSkin) {
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
        check_path_length(gamePath, engine, out);
        if (shadowedCopy && engine.looseFiles != LooseOrder::not_known)
            add_shadowed(gamePath, game, out);
        if (engine.loadsLods) check_lod(model, gamePath, game, out);
        const std::vector<std::string> skins =
            check_skins(gamePath, surfaces, skinned, game, shaders, engine, out);
        // A player is drawn through its skins alone: a surface none of them
        // names is drawn with the default texture, whatever its own shader.
        if (!skins.empty() && player_part(gamePath, engine)) {
            std::string looked;
            for (const std::string& skin : skins) looked += (looked.empty() ? "" : ", ") + skin;
            for (const Surface& s : surfaces) {
                if (skinned[static_cast<std::size_t>(s.index)]) continue;
                out.push_back(make_problem(ProblemKind::skin_unnamed, s.index, s.stored,
                                           "no skin names this surface (" + looked + "); " +
                                               engine.title +
                                               " draws it with the default texture"));
            }
            std::fill(skinned.begin(), skinned.end(), 1);
        }
    }
    if (engine.imageExtensions)
        for (const Surface& s : surfaces) {
            if (skinned[static_cast<std::size_t>(s.index)] || s.shader.empty()) continue;
            Problem p = shader_problem(s.shader, ProblemKind::shader_missing, s.index, s.stored, "",
                                       game, shaders, engine);
            if (p.kind != ProblemKind::none) out.push_back(std::move(p));
        }
    if (throughSkin) *throughSkin = skinned;
    std::stable_partition(out.begin(), out.end(),
                          [](const Problem& p) { return p.severity == Severity::error; });
    return out;
}

}  // namespace md3
