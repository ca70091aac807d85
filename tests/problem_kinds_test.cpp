// The table of problem kinds and the report of any kind from it: every row
// has a name of its own, and a problem's JSON object carries exactly the
// figures its row lists, under their keys, with the values it holds.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "report.hpp"

using namespace md3;

namespace {

// The value a problem's field holds for a figure, as the JSON reads back.
nlohmann::json figure_value(const Problem& p, Figure figure) {
    switch (figure) {
        case Figure::value: return p.value;
        case Figure::limit: return p.limit;
        case Figure::frames: return p.frames;
        case Figure::firstFrame: return p.firstFrame;
        case Figure::worst: return p.worst;
        case Figure::share: return p.share;
        case Figure::medianDegrees: return p.medianDegrees;
        case Figure::count: return p.count;
        case Figure::worstDegrees: return p.worstDegrees;
        case Figure::surfaces: return p.surfaces;
        case Figure::used: return p.used;
        case Figure::usedMember: return p.usedMember;
        case Figure::axis: return p.axis;
        case Figure::fittedDegrees: return p.fittedDegrees;
    }
    return nullptr;
}

TEST(ProblemKinds, EveryKindReportedWithTheFiguresOfItsRow) {
    std::set<std::string> names;
    EXPECT_STREQ(kind_name(ProblemKind::none), "");
    for (std::size_t k = 1; k < kind_count(); ++k) {
        const auto kind = static_cast<ProblemKind>(k);
        const KindRow& row = kind_row(kind);
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.kind, kind);
        EXPECT_TRUE(names.insert(row.name).second) << "two kinds of one name";
        EXPECT_NE(std::string(row.restsOn), "");
        // Every field a distinct value, so that a figure read from the wrong
        // field shows; once with a used member and once without.
        for (const bool member : {true, false}) {
            Problem p;
            p.kind = kind;
            p.severity = row.severity;
            p.surface = 2;
            p.surfaceName = "hull";
            p.message = "m";
            p.value = 11, p.limit = 12, p.frames = 13, p.firstFrame = 14, p.count = 15;
            p.worst = 1.5, p.share = 0.25, p.medianDegrees = 61.5, p.worstDegrees = 33.5;
            p.surfaces = {0, 2};
            p.used = "pak0.pk3";
            p.usedMember = member ? "models/x.md3" : "";
            p.axis = "y", p.fittedDegrees = 3.25;
            const nlohmann::json o = nlohmann::json::parse(problem_json(p));
            std::vector<std::string> keys;
            for (auto it = o.begin(); it != o.end(); ++it) keys.push_back(it.key());
            std::set<std::string> expected = {"severity", "kind", "surface", "name", "message"};
            for (const FigureKey& f : row.figures) {
                if (!f.key || (f.figure == Figure::usedMember && !member)) continue;
                expected.insert(f.key);
                ASSERT_TRUE(o.contains(f.key)) << f.key;
                EXPECT_EQ(o[f.key], figure_value(p, f.figure)) << f.key;
            }
            EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()), expected);
            EXPECT_EQ(o["kind"], row.name);
            EXPECT_EQ(o["severity"], severity_name(row.severity));
            EXPECT_EQ(problem_line(p),
                      std::string(severity_name(row.severity)) + ": surface 2 \"hull\": m");
        }
    }
    EXPECT_GT(names.size(), 20u);
}

}  // namespace
