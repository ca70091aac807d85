// What the report page shows of a run: each checked model, player and weapon
// as a row, and the summary of the whole run.
#pragma once

#include <string>
#include <vector>

#include "check_jobs.hpp"
#include "engines.hpp"
#include "report.hpp"
#include "report_page.hpp"

namespace md3 {

// The row of the model of `job`, checked into `report`: its path as the text
// report shows it (archive:member), its problems as their lines, and what
// meshmend would change or refuse as the text report says it. `picture` is
// the picture's file name beside the page, or empty with `noPicture` saying
// why there is none.
PageRow model_row(const CheckJob& job, const ModelReport& report, const std::string& picture,
                  const std::string& noPicture);

// The row of a player or weapon: its label as the text report shows it, its
// problems as their lines. It is no one file: no size, verdict or picture
// (its parts' rows have theirs).
PageRow assembly_row(const Assembly& assembly);

// The facts the summary shows besides the counts.
struct RunFacts {
    const EngineProfile* engine = &default_engine();
    std::vector<std::string> games;  // --game, in the order given
    std::string version;             // "meshcheck 0.2"
};

// The summary of a run whose records were counted into `tally` and shown as
// `rows`: counts by health and verdict as the tally has them, records by
// problem kind (shadowed copies left out, as the tally leaves them), the
// engine, the game's folders and the version.
PageSummary run_summary(const Tally& tally, const std::vector<PageRow>& rows,
                        const RunFacts& facts);

}  // namespace md3
