// A checked model, player or weapon as a row of the report page, and the
// run's summary.
#include "report_rows.hpp"

#include <algorithm>

namespace md3 {

namespace {

constexpr const char* kShadowedNote = "shadowed copy, not counted";

// The lines of `text` after its first, each without its indent.
std::vector<std::string> indented_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = text.find('\n');
    while (at != std::string::npos && at + 1 < text.size()) {
        const std::size_t end = text.find('\n', at + 1);
        std::string line = text.substr(at + 1, end - at - 1);
        line.erase(0, std::min(line.find_first_not_of(' '), line.size()));
        lines.push_back(std::move(line));
        at = end;
    }
    return lines;
}

// Worst first: what cannot even be read, then what is broken, then errors.
int health_rank(Health health) {
    static constexpr int kRanks[kHealths] = {4, 3, 2, 0, 1};
    return kRanks[static_cast<std::size_t>(health)];
}

// The problem kinds of `problems`, each once, in the order met.
std::vector<std::string> kinds_of(const std::vector<Problem>& problems) {
    std::vector<std::string> kinds;
    for (const Problem& p : problems) {
        const std::string name = kind_name(p.kind);
        if (std::find(kinds.begin(), kinds.end(), name) == kinds.end()) kinds.push_back(name);
    }
    return kinds;
}

}  // namespace

PageRow model_row(const CheckJob& job, const ModelReport& report, const std::string& picture,
                  const std::string& noPicture) {
    PageRow row;
    row.kind = "model";
    row.path = job.archive ? job.path + ":" + job.member : job.path;
    const Health health = health_of(report);
    row.health = health_name(health);
    row.rank = health_rank(health);
    row.verdict = verdict_name(report.verdict);
    row.size = report.size;
    if (report.shadowed) row.note = kShadowedNote;
    row.kinds = kinds_of(report.problems);
    // The text report's own lines, so that the page says what it says: the
    // problems (or why the model could not be checked), then what meshmend
    // would change or why it would refuse.
    const std::string problems = text_report(row.path, report, false);
    row.problems = indented_lines(problems);
    const std::string all = text_report(row.path, report, true);
    if (all.size() > problems.size() && all.starts_with(problems)) {
        for (const std::string& line : indented_lines("\n" + all.substr(problems.size())))
            row.changes += line + "\n";
    }
    row.picture = picture;
    row.noPicture = noPicture;
    return row;
}

PageRow assembly_row(const Assembly& assembly) {
    PageRow row;
    row.kind = assembly.weapon ? "weapon" : "player";
    row.path = assembly_label(assembly);
    const Health health = health_of_problems(assembly.problems);
    row.health = health_name(health);
    row.rank = health_rank(health);
    row.kinds = kinds_of(assembly.problems);
    row.problems = indented_lines(assembly_text(assembly));
    row.file = false;
    return row;
}

PageSummary run_summary(const Tally& tally, const std::vector<PageRow>& rows,
                        const RunFacts& facts) {
    PageSummary s;
    s.title = "meshcheck report";
    s.line = summary_line(tally);
    if (!s.line.empty() && s.line.back() == '\n') s.line.pop_back();
    const std::string title = facts.engine->title, name = facts.engine->name;
    s.facts.emplace_back("engine", title == name ? name : title + " (" + name + ")");
    std::string games;
    for (const std::string& g : facts.games) games += (games.empty() ? "" : ", ") + g;
    s.facts.emplace_back("--game folders", games.empty() ? "none" : games);
    s.facts.emplace_back("version", facts.version);
    for (std::size_t h = 0; h < kHealths; ++h)
        s.byHealth.push_back({health_name(static_cast<Health>(h)), tally.byHealth[h]});
    for (std::size_t v = 0; v < kVerdicts; ++v)
        s.byVerdict.push_back({verdict_name(static_cast<Verdict>(v)), tally.byVerdict[v]});
    for (std::size_t k = 0; k < kind_count(); ++k) {
        const std::string name = kind_name(static_cast<ProblemKind>(k));
        long long count = 0;
        for (const PageRow& row : rows)
            count += row.note != kShadowedNote &&
                     std::find(row.kinds.begin(), row.kinds.end(), name) != row.kinds.end();
        if (count > 0) s.byKind.push_back({name, count});
    }
    return s;
}

}  // namespace md3
