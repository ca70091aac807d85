#include "fuzz_entries.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "check.hpp"
#include "md3_layout.hpp"
#include "picture.hpp"
#include "radius.hpp"
#include "reference_repair.hpp"
#include "repair.hpp"
#include "report.hpp"
#include "report_page.hpp"
#include "report_rows.hpp"
#include "shader_scripts.hpp"
#include "skins.hpp"
#include "validate_layout.hpp"
#include "zip_reader.hpp"

using namespace md3;

namespace {

std::FILE* sink() {
    static std::FILE* file = std::fopen("/dev/null", "w");
    return file;
}

bool has_upper(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

}  // namespace

void fuzz_meshmend_once(const std::uint8_t* data, std::size_t size) {
    if (size < static_cast<std::size_t>(Md3Header::kSize)) return;  // refused on load
    ModelBuffer model(data, data + size);
    std::copy_n("IDP3", 4, model.begin() + Md3Header::kIdent);
    put_i32(model.data() + Md3Header::kVersion, Md3Header::kFormatVersion);
    if (!validate_layout(model)) return;
    // The plain pass is the oracle: on every model the checks accept, the
    // fast pass must leave the same bytes, in every normal mode and on
    // every instruction set. Either stops at an oversized surface, where the
    // program would stop and save nothing. The last byte picks a second
    // crease for weld and broken.
    const double crease = data[size - 1] % 181;
    const NormalChoice choices[] = {{NormalMode::rebuild},      {NormalMode::weld},
                                    {NormalMode::weld, crease}, {NormalMode::keep},
                                    {NormalMode::broken},       {NormalMode::broken, crease}};
    ModelBuffer plain;
    for (const NormalChoice& choice : choices) {
        plain = model;
        const bool plainRepaired = reference_repair(plain, sink(), choice);
        for (const InstructionSet set : usable_instruction_sets()) {
            ModelBuffer fast = model;
            const bool repaired = repair_model(fast, sink(), set, choice);
            if (repaired != plainRepaired) std::abort();
            if (repaired && fast != plain) std::abort();
        }
    }
    const std::int64_t saved = Md3Header::ofsEnd(plain.data());
    if (saved < Md3Header::kSize || saved > static_cast<std::int64_t>(plain.size())) std::abort();
}

void fuzz_sphereset_once(const std::uint8_t* data, std::size_t size) {
    const std::string radiusText(reinterpret_cast<const char*>(data),
                                 std::min<std::size_t>(size, 12));
    const double radius = parse_radius(radiusText.c_str()).value_or(64.0);
    if (size < static_cast<std::size_t>(Md3Header::kSize)) return;
    ModelBuffer model(data, data + size);
    if (!frames_inside(model.data(), static_cast<std::int64_t>(model.size()))) return;
    set_radii(model, radius, sink());
}

namespace {

// The report page of the model, named by its first bytes as an archive
// member could be: it stays well formed, the page's own script its only one,
// one row for the model, whatever the name and the problems hold.
void fuzz_report_page(const ModelReport& report, const std::uint8_t* data, std::size_t size) {
    CheckJob job;
    job.path = "fuzz.pk3";
    job.member.assign(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 40));
    job.archive = std::make_shared<const ZipArchive>();
    const std::vector<PageRow> rows = {model_row(job, report, "fuzz.png", "")};
    Tally tally;
    tally.add(report);
    const std::string page = report_page(run_summary(tally, rows, {}), rows);
    std::size_t tags = 0;
    for (std::size_t at = page.find("<script"); at != std::string::npos;
         at = page.find("<script", at + 1))
        ++tags;
    if (tags != 1 || !is_utf8(page) || page.find("<tr id=\"row-r1\"") == std::string::npos ||
        page.find("<tr id=\"row-r2\"") != std::string::npos)
        std::abort();
    const std::string name = html_text(rows.front().path);
    if (name.find_first_of("<>\"'") != std::string::npos || page.find(name) == std::string::npos)
        std::abort();
}

}  // namespace

void fuzz_meshcheck_once(const std::uint8_t* data, std::size_t size) {
    ModelBuffer model(data, data + size);
    if (size >= static_cast<std::size_t>(Md3Header::kSize) && (data[size - 1] & 1) != 0) {
        std::copy_n("IDP3", 4, model.begin() + Md3Header::kIdent);
        put_i32(model.data() + Md3Header::kVersion, Md3Header::kFormatVersion);
    }
    // The mode checked for, from the last byte.
    static CheckWorkspace workspace;
    workspace.normals = {size > 0 ? static_cast<NormalMode>((data[size - 1] >> 1) % 4)
                                  : NormalMode::rebuild};
    const ModelReport report = check_model(model, workspace);
    const std::string text = text_report("fuzz.md3", report);
    std::fwrite(text.data(), 1, text.size(), sink());
    if (!nlohmann::json::accept(json_line("fuzz.md3", report))) std::abort();
    // Under broken, meshmend rewrites the normals only of the surfaces graded
    // wrong, or of those the check leaves unanalysed, which it grades alike.
    if (workspace.normals.mode == NormalMode::broken)
        for (const NormalChange& change : report.normals)
            if (std::none_of(report.problems.begin(), report.problems.end(), [&](const Problem& p) {
                    return p.surface == change.surface &&
                           (normals_wrong(p.kind) || p.kind == ProblemKind::not_analysed);
                }))
                std::abort();
    // Every problem renders in both formats, and its JSON says what it is.
    for (const Problem& p : report.problems) {
        if (text.find(problem_line(p)) == std::string::npos) std::abort();
        const nlohmann::json object = nlohmann::json::parse(problem_json(p), nullptr, false);
        if (object.is_discarded() || object.value("kind", "") != kind_name(p.kind) ||
            object.value("severity", "") != severity_name(p.severity) ||
            object.value("surface", -2) != p.surface || !object.contains("message"))
            std::abort();
    }

    // One input in eight is also drawn (a picture takes far longer than the
    // check): any model that checks draws, bounds and all, and only a frame
    // it has.
    if (size > 1 && data[0] % 8 == 0) {
        const std::int32_t frame = data[1] % 4;
        const std::vector<std::uint8_t> png =
            model_picture(model, workspace, report, "fuzz", frame);
        const bool drawable = report.verdict != Verdict::invalid &&
                              report.verdict != Verdict::unreadable &&
                              frame < Md3Header::numFrames(model.data());
        if (png.empty() == drawable) std::abort();
    }

    fuzz_report_page(report, data, size);

    if ((report.verdict == Verdict::invalid) != !validate_layout(model)) std::abort();
    const bool findings = !report.names.empty() || !report.normals.empty() ||
                          report.frames.changed > 0 || report.trailingBytes > 0;
    if ((report.verdict == Verdict::repairable) != findings) std::abort();
}

void fuzz_archive_once(const std::uint8_t* data, std::size_t size) {
    ZipArchive archive;
    const ZipResult opened = open_archive_memory({data, size}, archive);
    if (opened.ok() != opened.reason.empty()) std::abort();
    if (!opened.ok() && !archive.entries.empty()) std::abort();
    ModelBuffer bytes;
    for (const ZipEntry& entry : archive.entries) {
        const ZipResult read = read_member(archive, entry, bytes);
        if (read.ok() != read.reason.empty()) std::abort();
        if (read.ok() && (bytes.size() != entry.size || entry.size > kMaxMemberSize)) std::abort();
        if (!read.ok() && !bytes.empty()) std::abort();
        if (!entry.problem.empty() && read.ok()) std::abort();
    }
}

void fuzz_game_text_once(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ShaderNames names;
    read_shader_script(text, "fuzz.shader", names);
    if (names.problems.size() > 1) std::abort();
    for (const std::string& name : names.defined)
        if (name.empty() || name.size() >= kNameSize || has_upper(name)) std::abort();

    std::int64_t last = 0;
    read_skin(text, [&](const SkinLine& line) {
        if (line.number <= last || line.surface.empty() || has_upper(line.surface) ||
            line.surface.size() > kSkinNameBytes || line.shader.size() > kSkinNameBytes ||
            line.surface.find('\n') != std::string::npos ||
            line.shader.find('\n') != std::string::npos)
            std::abort();
        last = line.number;
    });
}
