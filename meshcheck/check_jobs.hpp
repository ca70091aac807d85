// The models a run checks, one job each, and checking one: a loose model file
// read from disk, or an archive member read into memory and never extracted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "check.hpp"
#include "engines.hpp"
#include "find_models.hpp"
#include "references.hpp"
#include "zip_reader.hpp"

namespace md3 {

// One model to check, or one record that says why nothing could be.
struct CheckJob {
    std::string path;    // the file on disk: the model, or the archive (or .pk3dir) holding it
    std::string member;  // the name inside the archive, as stored; empty for a loose file
    std::string error;   // set: reported unreadable for this reason, nothing is read
    // For a member: the open archive, shared by its members' jobs and closed
    // when the last of them is done, and the entry's index in it.
    std::shared_ptr<const ZipArchive> archive;
    std::size_t entry = 0;
};

// The jobs `found` stands for, in the order they are reported: a model file
// itself; for an archive, every member whose name ends in ".md3" in any case,
// in byte order of the stored names, or one record with the reason when the
// archive cannot be opened or its directory is broken.
std::vector<CheckJob> jobs_of(const FoundModel& found);

// A name on the command line that is no file on disk but a file of the game
// as the engine names it ("models/players/x/head.md3"): one job for the copy
// the engine uses. Empty when the name is on disk or not in the game. The
// jobs read from `game`, which must outlive them.
std::vector<CheckJob> game_jobs(const GameReferences& game, const std::string& name);

// The memory checking `job` takes at most, as far as it is known before
// anything is read: twice the model's length, for the model and the copy the
// repair pass runs on (the file's whole length for a loose file, whose bytes
// past ofsEnd are in fact never held). 0 for a job that reads nothing.
std::uint64_t job_memory(const CheckJob& job) noexcept;

// What one worker reuses from one model to the next.
struct CheckWorker {
    ModelBuffer model;
    CheckWorkspace workspace;
};

// What every model of a run is checked with.
struct CheckSettings {
    const EngineProfile* engine = &default_engine();  // graded for it; must outlive the run
    // With a game (which must outlive the run), a model the engine would load
    // is also checked against it.
    const GameReferences* game = nullptr;
    // With a frame of 0 or more, the report carries the picture of that frame
    // (kFirstFrameWithAProblem: of the first frame a problem is found in,
    // else 0).
    std::int32_t pictureFrame = -1;
    // The normal mode of meshmend the verdict and changes are for.
    NormalChoice normals;
};

// Reads and checks the model of `job`. A model that cannot be read, or is too
// large to check in the memory there is, is reported unreadable with the
// reason, and the memory it took is given back, so that the run goes on.
ModelReport run_job(const CheckJob& job, CheckWorker& worker, const CheckSettings& settings);

// The reason run_job gives a model it had no memory to check.
inline constexpr const char* kShortOfMemory = "not enough memory to check it";

// Whether run_job found no memory to check the model of `report`.
bool ran_short_of_memory(const ModelReport& report);

}  // namespace md3
