// Gathering a run's players and weapons from its models, and listing and
// reading the files beside them wherever the models were found.
#include "assemblies.hpp"

#include "animation_cfg.hpp"
#include "archive_source.hpp"
#include "engine_names.hpp"
#include "game_files.hpp"

namespace md3 {

namespace {

constexpr std::string_view kPlayers = "models/players/";
constexpr std::string_view kWeapons = "models/weapons2/";

// The components of a name below models/, split at '/'.
std::vector<std::string> components(std::string_view name) {
    std::vector<std::string> parts;
    std::size_t begin = 0;
    while (begin <= name.size()) {
        const std::size_t end = std::min(name.find('/', begin), name.size());
        parts.emplace_back(name.substr(begin, end - begin));
        begin = end + 1;
    }
    return parts;
}

// The names of the files directly in `folder` of the source, lowercased,
// without the folder.
std::vector<std::string> list_folder(const AssemblySource& source, const std::string& folder) {
    std::vector<std::string> files;
    const std::string prefix = engine_name(folder) + "/";
    const auto add = [&](const std::string& stored) {
        const std::string name = engine_name(stored);
        if (name.starts_with(prefix) && name.find('/', prefix.size()) == std::string::npos)
            files.push_back(name.substr(prefix.size()));
    };
    if (source.game) {
        for (const auto& [stored, place] : list_game_folder(source.game->files, folder))
            add(stored);
    } else if (source.archive) {
        for (const ZipEntry& entry : source.archive->entries)
            if (!entry.isFolder) add(entry.name);
    } else {
        // A loose folder is listed as a .pk3dir is: its own files only.
        ZipArchive listing;
        if (open_archive_folder(member_path(source.root, folder), listing).ok())
            for (const ZipEntry& entry : listing.entries)
                if (!entry.isFolder && entry.name.find('/') == std::string::npos)
                    files.push_back(ascii_lowered(entry.name));
    }
    return files;
}

// Reads the file `name` of the source into `bytes`; false when it is not
// there or cannot be read.
bool read_file(const AssemblySource& source, const std::string& name, ModelBuffer& bytes) {
    if (source.game) {
        const std::vector<GamePlace> places = find_places(source.game->files, name);
        return !places.empty() && read_place(source.game->files, places.front(), bytes).ok();
    }
    if (source.archive) {
        const std::string wanted = engine_name(name);
        for (const ZipEntry& entry : source.archive->entries)
            if (!entry.isFolder && engine_name(entry.name) == wanted)
                return read_member(*source.archive, entry, bytes).ok();
        return false;
    }
    return read_whole_file(member_path(source.root, name), bytes).ok();
}

// A part the run did not check but the folder holds: there, figures unknown.
std::optional<PartFacts> part_of(const std::optional<MetPart>& met,
                                 const std::vector<std::string>& files, const std::string& file) {
    if (met) return met->facts;
    if (std::find(files.begin(), files.end(), file) != files.end()) return PartFacts{};
    return std::nullopt;
}

Assembly assemble_player(const MetAssembly& m) {
    PlayerFiles p;
    const std::vector<std::string> parts = components(m.folder);
    p.name = parts.back();
    p.files = list_folder(m.source, m.folder);
    for (std::size_t i = 0; i < 3; ++i)
        p.parts[i] = part_of(m.parts[i], p.files, kPlayerPartFiles[i]);
    const std::string headsFolder = std::string(kPlayers) + "heads/" + p.name;
    Assembly a;
    auto& head = p.parts[static_cast<std::size_t>(PlayerPart::head)];
    if (!head) {
        p.headFiles = list_folder(m.source, headsFolder);
        head = part_of(m.headFromHeads, p.headFiles, ascii_lowered(p.name) + ".md3");
        p.headFromHeads = head.has_value();
    }
    ModelBuffer bytes;
    p.animationFound = read_file(m.source, m.folder + "/animation.cfg", bytes);
    if (p.animationFound) {
        p.animationSize = static_cast<std::int64_t>(bytes.size());
        if (p.animationSize < kAnimationFileLimit - 1)
            p.animationText.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    for (const auto& part : m.parts)
        if (part) a.parts.push_back(part->shown);
    if (p.headFromHeads && m.headFromHeads) a.parts.push_back(m.headFromHeads->shown);
    a.problems = check_player(p);
    return a;
}

Assembly assemble_weapon(const MetAssembly& m) {
    WeaponFiles w;
    w.name = ascii_lowered(components(m.folder).back());
    w.gun = m.gun->facts;
    w.files = list_folder(m.source, m.folder);
    Assembly a;
    a.weapon = true;
    a.parts.push_back(m.gun->shown);
    a.problems = check_weapon(w);
    return a;
}

}  // namespace

std::string assembly_label(const Assembly& a) {
    return a.path.empty() ? a.folder : a.path + ":" + a.folder;
}

void AssemblyGatherer::add(const CheckJob& job, const ModelReport& report,
                           const GameReferences* game) {
    if (report.shadowed || !job.error.empty()) return;
    AssemblySource source;
    std::string name;  // below the source, as met
    if (game) {
        name = job.archive ? job.member : game_path_of(game->files, job.path);
        source.game = game;
    } else if (job.archive) {
        name = job.member;
        source.archive = job.archive;
        source.path = job.path;
    } else {
        const std::string lowered = ascii_lowered(job.path);
        std::size_t at = lowered.rfind(kPlayers);
        if (at == std::string::npos) at = lowered.rfind(kWeapons);
        if (at == std::string::npos || (at > 0 && job.path[at - 1] != '/')) return;
        source.root = at == 0 ? "." : job.path.substr(0, at - 1);
        source.path = at == 0 ? "" : job.path.substr(0, at - 1);
        name = job.path.substr(at);
    }
    for (char& c : name)
        if (c == '\\') c = '/';
    const std::string lowered = ascii_lowered(name);
    const std::vector<std::string> parts = components(lowered);
    if (parts.size() < 4 || parts[0] != "models") return;
    std::string folder;
    int slot = -1;  // 0-2 a player part, 3 a head from heads/, 4 a gun
    if (parts[1] == "players" && parts.size() == 4) {
        for (int i = 0; i < 3; ++i)
            if (parts[3] == kPlayerPartFiles[static_cast<std::size_t>(i)]) slot = i;
        folder = name.substr(0, kPlayers.size() + parts[2].size());
    } else if (parts[1] == "players" && parts.size() == 5 && parts[2] == "heads" &&
               parts[4] == parts[3] + ".md3") {
        slot = 3;
        folder = std::string(kPlayers) + name.substr(kPlayers.size() + 6, parts[3].size());
    } else if (parts[1] == "weapons2" && parts.size() == 4 && parts[3] == parts[2] + ".md3") {
        slot = 4;
        folder = name.substr(0, kWeapons.size() + parts[2].size());
    }
    if (slot < 0) return;
    const std::string key = (game ? std::string("\n") : source.path + "\n" + source.root) + "\n" +
                            ascii_lowered(folder);
    auto [it, added] = index.emplace(key, met.size());
    if (added) met.push_back({std::move(source), folder, {}, {}, {}});
    MetAssembly& m = met[it->second];
    MetPart part{job.archive ? job.path + ":" + job.member : job.path, report.facts};
    if (slot < 3)
        m.parts[static_cast<std::size_t>(slot)] = std::move(part);
    else if (slot == 3)
        m.headFromHeads = std::move(part);
    else
        m.gun = std::move(part);
}

std::vector<Assembly> AssemblyGatherer::assemble() const {
    std::vector<Assembly> out;
    for (const MetAssembly& m : met) {
        const bool weapon = m.gun.has_value();
        // A head in heads/ met alone is some player's, checked with it.
        if (!weapon && !m.parts[0] && !m.parts[1] && !m.parts[2]) continue;
        Assembly a = weapon ? assemble_weapon(m) : assemble_player(m);
        a.path = m.source.path;
        a.folder = m.folder;
        out.push_back(std::move(a));
    }
    return out;
}

}  // namespace md3
