// The files the engine sees: the loose files, .pk3 archives and .pk3dir
// folders of each game folder, stacked as the engine stacks them, and every
// place a name is found in, the one the engine uses first.
//
// Only directories are read when it is built (the folder listings and the
// archives' central directories); a file's bytes are read when asked for.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engines.hpp"
#include "md3_layout.hpp"
#include "zip_reader.hpp"

namespace md3 {

// A folder of loose files, an archive or a .pk3dir folder of one game folder.
struct GameSource {
    std::string path;  // on disk: the game folder (loose files), the .pk3 or the .pk3dir
    bool loose = false;
    std::size_t game = 0;  // which game folder, in the order given
    ZipArchive archive;    // the listing: for loose files, the whole game folder's
};

// One place a name is found: an entry of a source's listing.
struct GamePlace {
    std::size_t source = 0;
    std::size_t entry = 0;  // in sources[source].archive.entries
};

struct GameFiles {
    std::vector<std::string> folders;  // the game folders, as given
    std::vector<std::unique_ptr<GameSource>> sources;
    // By the name as the engine compares names inside archives: every place,
    // the one searched first first.
    std::map<std::string, std::vector<GamePlace>> names;
    // Archives and .pk3dir folders that could not be listed: "path: reason".
    std::vector<std::string> errors;
    // Game folders that could not be listed at all: "path: reason".
    std::vector<std::string> unlisted;
};

// Lists `folders` (base game first, then each mod; one named twice counts
// once, at its first place) in the engine's search order for `engine`: later game folders first;
// inside one, loose files before or after its archives as the engine does; archives by name
// case-insensitively, later ones first.
GameFiles open_game(const std::vector<std::string>& folders, const EngineProfile& engine);

// Every place where the engine finds `name` (as it would be asked to load
// it), the one it uses first. A name is found in an archive when it equals
// a member's after both are compared as the engine compares them; a loose
// file is opened by its real path, so there only '\' counts as '/' and case
// matters except on Windows. One leading '/' or '\' is dropped, as the
// engine's file system drops it. Names the engine refuses (with ".." or
// "::") are found nowhere.
std::vector<GamePlace> find_places(const GameFiles& game, std::string_view name);

// The entry a place stands for, and its name as stored.
const ZipEntry& place_entry(const GameFiles& game, const GamePlace& place);

// Where a place is, for a message: the loose file's path, or
// "archive.pk3:member".
std::string place_text(const GameFiles& game, const GamePlace& place);

// The same, relative to its game folder ("pak1.pk3:models/x.md3",
// "models/x.md3" for a loose file), the folder's own name first when there
// are several.
std::string short_place_text(const GameFiles& game, const GamePlace& place);

// Which of `places` is the file `path` on disk (for a loose file, `member`
// empty) or the member `member` of the archive `path`: its index, 0 for the
// copy the engine uses, or -1 when it is none of them.
std::ptrdiff_t copy_rank(const GameFiles& game, const std::vector<GamePlace>& places,
                         const std::string& path, const std::string& member);

// Reads the file at `place` into `bytes`.
ZipResult read_place(const GameFiles& game, const GamePlace& place, ModelBuffer& bytes);

// The names (as stored) of the files found directly in the folder `folder`
// of the game ("models/players/x", no trailing '/'; "" for the top), each
// once, that the engine would find, with the place it uses: for listing a
// model's .skin files.
std::vector<std::pair<std::string, GamePlace>> list_game_folder(const GameFiles& game,
                                                                std::string_view folder);

// The model's path inside the game for a model file `path` on disk, when it
// lies below one of the game folders: its path relative to the last such
// folder, with '/' between components. Empty when it lies below none.
std::string game_path_of(const GameFiles& game, const std::string& path);

}  // namespace md3
