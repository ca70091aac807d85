// The report page: every text escaped whatever its bytes, the same bytes for
// the same records, worst first; and its folder replaced only when it holds
// a previous report.
#include "report_page.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "report_rows.hpp"
#include "support.hpp"
#include "utf8_text.hpp"

namespace {

using md3::PageRow;

// Names an attacker could put in an archive, and bytes no text holds.
const std::vector<std::string> kHostile = {"<script>alert(1)</script>",
                                           "a&b",
                                           "\"onload=\"x",
                                           "'",
                                           "</td></tr></table>",
                                           "&lt;",
                                           "line\nbreak",
                                           std::string("nul\0byte", 8),
                                           "\xff\xfe<b>",
                                           "\xc2\x9b"
                                           "31m"};

// The character references html_text writes, read back.
std::string unescaped(std::string text) {
    const std::pair<const char*, const char*> refs[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [ref, c] : refs) {
            if (text.compare(i, std::string(ref).size(), ref) == 0) {
                out += c;
                i += std::string(ref).size();
                replaced = true;
                break;
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

TEST(ReportPage, EveryNameIsTextAndReadsBack) {
    for (const std::string& name : kHostile) {
        const std::string html = md3::html_text(name);
        EXPECT_EQ(html.find_first_of("<>\"'\n"), std::string::npos) << html;
        EXPECT_TRUE(md3::is_utf8(html));
        EXPECT_EQ(unescaped(html), md3::shown_path(name));
    }
}

std::vector<PageRow> hostile_rows() {
    std::vector<PageRow> rows;
    int rank = 0;
    for (const std::string& name : kHostile) {
        PageRow row;
        row.kind = name;
        row.path = "pak.pk3:" + name;
        row.health = name;
        row.rank = rank++ % 3;
        row.verdict = name;
        row.kinds = {name, "normals_broken"};
        row.note = name;
        row.problems = {name};
        row.changes = name + "\n" + name + "\n";
        row.picture = name + ".png";
        row.noPicture = name;
        rows.push_back(row);
    }
    return rows;
}

TEST(ReportPage, NoNameBecomesMarkupAndTheBytesRepeat) {
    md3::PageSummary summary;
    summary.title = kHostile[0];
    summary.line = kHostile[1];
    summary.facts = {{kHostile[2], kHostile[3]}};
    summary.byHealth = {{kHostile[0], 1}};
    summary.byKind = {{kHostile[4], 2}};
    const std::vector<PageRow> rows = hostile_rows();
    const std::string page = md3::report_page(summary, rows);
    EXPECT_EQ(page, md3::report_page(summary, rows));
    EXPECT_TRUE(page.starts_with(md3::kReportPageHead));
    EXPECT_TRUE(md3::is_utf8(page));
    // The page's own script, once; nothing a name holds opens a tag.
    std::size_t scripts = 0;
    for (std::size_t at = page.find("<script"); at != std::string::npos;
         at = page.find("<script", at + 1))
        ++scripts;
    EXPECT_EQ(scripts, 1u);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_EQ(page.find("</td></tr></table>"), std::string::npos);
    // A row and a section each, worst first, ties in the order given.
    std::vector<std::size_t> order;
    for (const std::string& name : kHostile)
        order.push_back(page.find("<h2>" + md3::html_text("pak.pk3:" + name) + "</h2>"));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_NE(order[i], std::string::npos) << i;
        for (std::size_t j = 0; j < rows.size(); ++j)
            if (rows[i].rank < rows[j].rank || (rows[i].rank == rows[j].rank && i < j)) {
                EXPECT_LT(order[i], order[j]) << i << " " << j;
            }
    }
}

TEST(ReportPage, APlayerIsARowAndASectionOfItsProblems) {
    // A player with no part but its head, its folder named to break the page.
    md3::Assembly player;
    player.path = "pak.pk3";
    player.folder = "models/players/" + kHostile[0];
    md3::PlayerFiles files;
    files.name = kHostile[0];
    files.parts[static_cast<std::size_t>(md3::PlayerPart::head)] = md3::PartFacts{};
    player.problems = md3::check_player(files);
    ASSERT_FALSE(player.problems.empty());
    md3::PageRow model;
    model.kind = "model";
    model.path = "ok.md3";
    model.health = "ok";
    model.rank = 4;
    const std::string page = md3::report_page({}, {model, md3::assembly_row(player)});
    const std::string label = md3::html_text("pak.pk3:" + player.folder);
    EXPECT_EQ(page.find(kHostile[0]), std::string::npos);
    // Its row first, of its kind and health, with no size or verdict.
    const std::size_t row = page.find("<tr id=\"row-r1\" class=\"errors\"");
    ASSERT_NE(row, std::string::npos);
    const std::string rowText = page.substr(row, page.find("</tr>", row) - row);
    EXPECT_NE(rowText.find("data-kind=\"player\""), std::string::npos) << rowText;
    EXPECT_NE(rowText.find("<a href=\"#r1\">" + label + "</a>"), std::string::npos) << rowText;
    EXPECT_NE(rowText.find("<td></td><td>player_part_missing"), std::string::npos) << rowText;
    EXPECT_NE(rowText.find("<td class=\"number\"></td><td>player</td>"), std::string::npos);
    // Its section: every problem as the text report has it, and no picture.
    const std::size_t section = page.find("<section class=\"record\" id=\"r1\">\n<h2>" + label +
                                          "</h2>\n<p>player: errors</p>\n<h3>Problems</h3>");
    ASSERT_NE(section, std::string::npos);
    const std::string sectionText =
        page.substr(section, page.find("</section>", section) - section);
    for (const md3::Problem& p : player.problems)
        EXPECT_NE(sectionText.find("<li>" + md3::html_text(md3::problem_line(p)) + "</li>"),
                  std::string::npos)
            << md3::problem_line(p);
    EXPECT_EQ(sectionText.find("picture"), std::string::npos);
}

class ReportFolder : public ScratchDir {
protected:
    RunResult run(const std::string& folder) {
        return run_tool(MESHCHECK_BIN, {"--quiet", "--report", folder, SAMPLE_MODEL});
    }
};

TEST_F(ReportFolder, ReplacesOnlyAPreviousReport) {
    // Missing: made. Then the same run again over it: the same page, and a
    // picture of an earlier report that the new one does not show is gone.
    const std::string report = path("report");
    ASSERT_EQ(run(report).status, 1);
    const ModelBuffer page = read_file(report + "/index.html");
    std::size_t pictures = 0;
    for (const auto& entry : fs::directory_iterator(report))
        pictures += entry.path() != report + "/index.html";
    EXPECT_EQ(pictures, 1u);
    write_file(report + "/old-0123456789abcdef.png",
               ModelBuffer{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'});
    ASSERT_EQ(run(report).status, 1);
    EXPECT_EQ(read_file(report + "/index.html"), page);
    EXPECT_FALSE(fs::exists(report + "/old-0123456789abcdef.png"));

    // Anything else in it, or a file in its place: refused, left as it was.
    const ModelBuffer notes = {'n', 'o', 't', 'e', 's'};
    for (const std::string foreign : {"notes.txt", "index.html"}) {
        const std::string folder = path("other-" + foreign);
        fs::create_directory(folder);
        write_file(folder + "/" + foreign, notes);
        const RunResult r = run(folder);
        EXPECT_EQ(r.status, 2) << foreign;
        EXPECT_NE(r.err.find("is not replaced: it is not a meshcheck report"), std::string::npos)
            << r.err;
        EXPECT_EQ(read_file(folder + "/" + foreign), notes);
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}), 1);
    }
    write_file(path("file"), notes);
    EXPECT_EQ(run(path("file")).status, 2);
    EXPECT_EQ(read_file(path("file")), notes);
}

}  // namespace
