// The players and weapons a run meets: their parts gathered from the models
// checked (each part's facts recorded while it was checked, never read
// again), the files beside them listed, and each checked as the game puts
// it together.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "check_jobs.hpp"
#include "players.hpp"

namespace md3 {

// A player or weapon found, with its own problems.
struct Assembly {
    bool weapon = false;
    std::string path;                // the archive, .pk3dir or folder holding it; empty: the game
    std::string folder;              // "models/players/NAME" or "models/weapons2/W", as met
    std::vector<std::string> parts;  // where each part found was read, as reported
    std::vector<Problem> problems;
};

// "path:folder", or the folder alone for the game's.
std::string assembly_label(const Assembly& assembly);

// Where a player's or weapon's files are looked for, and a part met.
struct AssemblySource {
    const GameReferences* game = nullptr;       // set: the files the engine sees
    std::shared_ptr<const ZipArchive> archive;  // set: a .pk3 or .pk3dir
    std::string root;                           // else the folder models/ lies in
    std::string path;                           // the archive or folder, as reported
};

struct MetPart {
    std::string shown;  // the model as reported
    PartFacts facts;
};

struct MetAssembly {
    AssemblySource source;
    std::string folder;                           // as met, case and all
    std::array<std::optional<MetPart>, 3> parts;  // a player's lower, upper, head
    std::optional<MetPart> headFromHeads;         // models/players/heads/NAME/NAME.md3
    std::optional<MetPart> gun;                   // a weapon's W.md3
};

// Gathers the parts of the models of a run as they are reported.
struct AssemblyGatherer {
    // Notes the model of `job` when it is a part of a player or a weapon;
    // with `game`, the copy the engine loads only.
    void add(const CheckJob& job, const ModelReport& report, const GameReferences* game);
    // Every player and weapon met, in the order first met, checked.
    std::vector<Assembly> assemble() const;

    std::vector<MetAssembly> met;
    std::map<std::string, std::size_t> index;  // by source and folder, lowercased
};

}  // namespace md3
