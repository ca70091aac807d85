// Stacking the game folders as the engine searches them.
#include "game_files.hpp"

#include <algorithm>
#include <filesystem>

#include "archive_source.hpp"
#include "engine_names.hpp"
#include "game_paths.hpp"

namespace md3 {

namespace {

// How the engine sorts archive names: case-insensitively.
bool before_nocase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return ascii_lower(x) < ascii_lower(y);
    });
}

// A path with '/' between components, "." components and repeated
// separators dropped, no separator at the end: for telling whether a file
// lies below a folder from the names alone.
std::string plain_path(std::string_view path) {
    std::string out;
    std::size_t i = 0;
    const auto separator = is_path_separator;
    if (!path.empty() && separator(path[0])) out.assign(1, '/');
    while (i < path.size()) {
        while (i < path.size() && separator(path[i])) ++i;
        std::size_t end = i;
        while (end < path.size() && !separator(path[end])) ++end;
        const std::string_view part = path.substr(i, end - i);
        if (!part.empty() && part != ".") {
            if (!out.empty() && out.back() != '/') out += '/';
            out.append(part);
        }
        i = end;
    }
    return out;
}

// A subfolder of `source` that could not be listed is said once, like an
// archive that cannot be read: the files in it are left out of the game.
void note_unlisted(const GameSource& source, const ZipEntry& entry,
                   std::vector<std::string>& errors) {
    if (!entry.isFolder || entry.problem.empty()) return;
    std::string name = entry.name;
    if (name.ends_with('/')) name.pop_back();
    errors.push_back(member_path(source.path, name) + ": " + entry.problem);
}

struct Listed {
    std::vector<std::unique_ptr<GameSource>> archives;
    std::unique_ptr<GameSource> loose;
};

// One game folder's archives (sorted as the engine searches them, the
// later name first) and its loose files.
Listed list_game(const std::string& folder, std::size_t game, std::vector<std::string>& errors,
                 std::vector<std::string>& unlisted) {
    Listed listed;
    listed.loose = std::make_unique<GameSource>();
    GameSource& loose = *listed.loose;
    loose.path = folder;
    loose.loose = true;
    loose.game = game;
    const ZipResult opened = open_archive_folder(folder, loose.archive);
    if (!opened.ok()) {
        unlisted.push_back(folder + ": " + opened.reason);
        return listed;
    }
    std::vector<std::string> archiveNames, folderNames;
    std::vector<ZipEntry> kept;
    for (ZipEntry& entry : loose.archive.entries) {
        const std::size_t slash = entry.name.find('/');
        const std::string top = entry.name.substr(0, slash);
        if (slash != std::string::npos && ends_with_nocase(top, ".pk3dir")) {
            if (folderNames.empty() || folderNames.back() != top) folderNames.push_back(top);
            continue;
        }
        if (slash == std::string::npos && !entry.isFolder && ends_with_nocase(top, ".pk3")) {
            archiveNames.push_back(top);
            continue;
        }
        note_unlisted(loose, entry, errors);
        kept.push_back(std::move(entry));
    }
    loose.archive.entries = std::move(kept);
    std::vector<std::pair<std::string, bool>> stacked;  // name, is a folder
    for (const std::string& name : archiveNames) stacked.emplace_back(name, false);
    for (const std::string& name : folderNames) stacked.emplace_back(name, true);
    std::sort(stacked.begin(), stacked.end(),
              [](const auto& a, const auto& b) { return before_nocase(b.first, a.first); });
    for (const auto& [name, isFolder] : stacked) {
        auto source = std::make_unique<GameSource>();
        source->path = member_path(folder, name);
        source->game = game;
        const ZipResult result = isFolder ? open_archive_folder(source->path, source->archive)
                                          : open_archive_file(source->path, source->archive);
        if (!result.ok()) {
            errors.push_back(source->path + ": " + result.reason);
            continue;
        }
        if (isFolder)
            for (const ZipEntry& entry : source->archive.entries)
                note_unlisted(*source, entry, errors);
        listed.archives.push_back(std::move(source));
    }
    return listed;
}

// A name as a loose file is opened by it: only the separator changes.
std::string loose_name(std::string_view name) {
    std::string out(name);
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

// One folder named twice (by the same path, or through a link) is one
// folder, at its first place: else each of its files would shadow itself.
std::vector<std::string> distinct_folders(const std::vector<std::string>& folders) {
    std::vector<std::string> kept;
    std::vector<std::filesystem::path> real;
    for (const std::string& folder : folders) {
        std::error_code error;
        std::filesystem::path path =
            std::filesystem::weakly_canonical(std::u8string(folder.begin(), folder.end()), error);
        if (error) path = std::u8string(folder.begin(), folder.end());
        if (std::find(real.begin(), real.end(), path) != real.end()) continue;
        real.push_back(path);
        kept.push_back(folder);
    }
    return kept;
}

// The file system opens a name without one leading '/' or '\'.
std::string_view without_leading_slash(std::string_view name) {
    if (!name.empty() && (name[0] == '/' || name[0] == '\\')) name.remove_prefix(1);
    return name;
}

}  // namespace

GameFiles open_game(const std::vector<std::string>& given, const EngineProfile& engine) {
    GameFiles game;
    const std::vector<std::string> folders = distinct_folders(given);
    game.folders = folders;
    for (std::size_t g = folders.size(); g-- > 0;) {
        Listed listed = list_game(folders[g], g, game.errors, game.unlisted);
        if (engine.looseFiles != LooseOrder::after_archives)
            game.sources.push_back(std::move(listed.loose));
        for (auto& archive : listed.archives) game.sources.push_back(std::move(archive));
        if (engine.looseFiles == LooseOrder::after_archives)
            game.sources.push_back(std::move(listed.loose));
    }
    for (std::size_t s = 0; s < game.sources.size(); ++s) {
        const std::vector<ZipEntry>& entries = game.sources[s]->archive.entries;
        for (std::size_t e = 0; e < entries.size(); ++e) {
            if (entries[e].isFolder) continue;
            game.names[engine_name(entries[e].name)].push_back({s, e});
        }
    }
    return game;
}

std::vector<GamePlace> find_places(const GameFiles& game, std::string_view asked) {
    const std::string_view name = without_leading_slash(asked);
    if (name.empty() || engine_refuses_name(name)) return {};
    const auto found = game.names.find(engine_name(name));
    if (found == game.names.end()) return {};
    std::vector<GamePlace> places;
    // Where the file system tells case apart, a loose file is found only by
    // its own case; an archive's members are found in any.
    const bool exactCase = loose_names_keep_case();
    const std::string asLoose = exactCase ? loose_name(name) : std::string();
    for (const GamePlace& place : found->second) {
        if (exactCase && game.sources[place.source]->loose &&
            place_entry(game, place).name != asLoose)
            continue;
        places.push_back(place);
    }
    return places;
}

const ZipEntry& place_entry(const GameFiles& game, const GamePlace& place) {
    return game.sources[place.source]->archive.entries[place.entry];
}

std::string place_text(const GameFiles& game, const GamePlace& place) {
    const GameSource& source = *game.sources[place.source];
    const std::string& name = place_entry(game, place).name;
    return source.loose ? member_path(source.path, name) : source.path + ":" + name;
}

std::string short_place_text(const GameFiles& game, const GamePlace& place) {
    const GameSource& source = *game.sources[place.source];
    const std::string& name = place_entry(game, place).name;
    const std::string& folder = game.folders[source.game];
    std::string text =
        source.loose ? name : source.path.substr(member_path(folder, "").size()) + ":" + name;
    if (game.folders.size() < 2) return text;
    const std::u8string leaf =
        std::filesystem::path(std::u8string(folder.begin(), folder.end())).filename().u8string();
    return std::string(leaf.begin(), leaf.end()) + "/" + text;
}

std::ptrdiff_t copy_rank(const GameFiles& game, const std::vector<GamePlace>& places,
                         const std::string& path, const std::string& member) {
    const auto same_file = [](const std::string& a, const std::string& b) {
        std::error_code error;
        return std::filesystem::equivalent(std::u8string(a.begin(), a.end()),
                                           std::u8string(b.begin(), b.end()), error);
    };
    // The names first, as the game's own jobs give them: asking the system
    // whether two names are one file, for every copy of every model, would
    // cost a mod of thousands of archives a stat per pair.
    for (const bool asked : {false, true}) {
        for (std::size_t i = 0; i < places.size(); ++i) {
            const GameSource& source = *game.sources[places[i].source];
            const std::string& name = place_entry(game, places[i]).name;
            const std::string file = source.loose ? member_path(source.path, name) : source.path;
            const bool candidate = source.loose ? member.empty() : member == name;
            if (candidate && (asked ? same_file(file, path) : file == path))
                return static_cast<std::ptrdiff_t>(i);
        }
    }
    return -1;
}

ZipResult read_place(const GameFiles& game, const GamePlace& place, ModelBuffer& bytes) {
    return read_member(game.sources[place.source]->archive, place_entry(game, place), bytes);
}

std::vector<std::pair<std::string, GamePlace>> list_game_folder(const GameFiles& game,
                                                                std::string_view folder) {
    std::vector<std::pair<std::string, GamePlace>> listed;
    const std::string prefix = folder.empty() ? "" : engine_name(folder) + "/";
    for (auto it = game.names.lower_bound(prefix);
         it != game.names.end() && it->first.starts_with(prefix); ++it) {
        if (it->first.find('/', prefix.size()) != std::string::npos) continue;
        // Asked for by the name of its first place, as the engine would be
        // by a name it built from the folder's own.
        const std::string& stored = place_entry(game, it->second.front()).name;
        const std::vector<GamePlace> places = find_places(game, stored);
        if (!places.empty())
            listed.emplace_back(place_entry(game, places.front()).name, places.front());
    }
    return listed;
}

std::string game_path_of(const GameFiles& game, const std::string& path) {
    const std::string file = plain_path(path);
    for (std::size_t g = game.folders.size(); g-- > 0;) {
        const std::string folder = plain_path(game.folders[g]);
        const std::string prefix = folder.empty() || folder == "/" ? folder : folder + "/";
        if (file.size() > prefix.size() && file.starts_with(prefix))
            return file.substr(prefix.size());
    }
    return {};
}

}  // namespace md3
