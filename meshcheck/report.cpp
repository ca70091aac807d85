// meshcheck's two ways of writing a report.
#include "report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "text.hpp"

namespace md3 {

namespace {

std::string surface_label(std::int32_t surface, const std::string& name) {
    return "surface " + std::to_string(surface) + " " + shown_name(name);
}

// A JSON number, or null for what JSON cannot hold.
std::string json_number(double value) {
    if (!std::isfinite(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

// "key":"text", and when the text is not valid UTF-8, "key_bytes":"hex"
// with its exact bytes, since the string alone cannot hold them.
std::string json_field(std::string_view key, std::string_view bytes) {
    std::string field;
    field.append("\"").append(key).append("\":").append(json_string(bytes));
    if (is_utf8(bytes)) return field;
    field.append(",\"").append(key).append("_bytes\":\"");
    for (const char c : bytes) field += printf_text("%02x", static_cast<unsigned char>(c));
    field += '"';
    return field;
}

std::string json_surface_fields(std::int32_t surface, const std::string& name) {
    return "\"surface\":" + std::to_string(surface) + "," + json_field("name", name);
}

// "the model name, 2 shader names, the normals of 2 surfaces, the bounds of
// 3 frames, 24 trailing bytes": what meshmend would change, in short.
std::string change_summary(const ModelReport& r) {
    std::vector<std::string> parts;
    long long shaders = 0;
    for (const NameChange& n : r.names) {
        if (n.surface < 0)
            parts.push_back("the model name");
        else
            ++shaders;
    }
    if (shaders > 0) parts.push_back(counted(shaders, "shader name", "shader names"));
    if (!r.normals.empty())
        parts.push_back("the normals of " +
                        counted(static_cast<long long>(r.normals.size()), "surface", "surfaces"));
    if (r.frames.changed > 0)
        parts.push_back("the bounds of " + counted(r.frames.changed, "frame", "frames"));
    if (r.trailingBytes > 0)
        parts.push_back(counted(r.trailingBytes, "trailing byte", "trailing bytes"));
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i)
        text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
    return text;
}

// The lines that say in detail what meshmend would change, each indented by
// `indent`.
std::string change_details(const ModelReport& r, const std::string& indent) {
    std::string text;
    for (const NameChange& n : r.names) {
        const std::string what =
            n.surface < 0 ? "model name" : surface_label(n.surface, n.surfaceName) + ": shader";
        text += indent + what + ": " + shown_name(n.before) + " -> " + shown_name(n.after) + "\n";
    }
    for (const NormalChange& n : r.normals) {
        text += indent + surface_label(n.surface, n.surfaceName) +
                printf_text(": normals: %lld of %s %s; worst %.1f deg, median %.1f deg",
                            static_cast<long long>(n.changed),
                            counted(n.total, "vertex-frame", "vertex-frames").c_str(),
                            n.changed == 1 ? "changes" : "change", n.worstDegrees, n.medianDegrees);
        if (n.unusedVertices > 0)
            text += "; " + counted(n.unusedVertices, "vertex used by no triangle keeps its own",
                                   "vertices used by no triangle keep theirs");
        text += "\n";
    }
    if (r.frames.changed > 0)
        text +=
            indent + printf_text(
                         "frames: %lld of %lld %s; largest difference: bounds %.2f, centre %.2f, "
                         "radius %.2f\n",
                         static_cast<long long>(r.frames.changed),
                         static_cast<long long>(r.frames.total),
                         r.frames.changed == 1 ? "changes" : "change", r.frames.bounds,
                         r.frames.centre, r.frames.radius);
    if (r.trailingBytes > 0)
        text += indent + "trailing bytes: " + counted(r.trailingBytes, "byte", "bytes") +
                " after ofsEnd, dropped\n";
    return text;
}

}  // namespace

std::string problem_line(const Problem& p) {
    const std::string where = p.surface < 0 ? "" : surface_label(p.surface, p.surfaceName) + ": ";
    return std::string(severity_name(p.severity)) + ": " + where + p.message;
}

std::string advice_line(const Problem& advice) {
    return (advice.surface < 0 ? "" : surface_label(advice.surface, advice.surfaceName) + ": ") +
           advice.message;
}

// Under the default rebuild, the modes of meshmend that would spare what it
// harms: the seams it opens (weld closes most; whether it closes these takes
// its own pass, run under --normals weld), the surfaces whose normals were
// fine (broken, when some surface's are not); empty when neither applies.
std::string mode_hint(const ModelReport& r) {
    if (r.normalChoice.mode != NormalMode::rebuild) return "";
    const auto has = [&](std::int32_t surface, auto test) {
        return std::any_of(r.problems.begin(), r.problems.end(),
                           [&](const Problem& p) { return p.surface == surface && test(p.kind); });
    };
    // A surface left unanalysed is graded by meshmend all the same, so it is
    // counted neither way.
    std::int64_t healthy = 0, broken = 0;
    for (const NormalChange& n : r.normals) {
        if (has(n.surface, normals_wrong))
            ++broken;
        else if (!has(n.surface, [](ProblemKind k) { return k == ProblemKind::not_analysed; }))
            ++healthy;
    }
    const bool seams = std::any_of(r.advice.begin(), r.advice.end(), [](const Problem& a) {
        return a.kind == ProblemKind::repair_seams;
    });
    std::vector<std::string> parts;
    if (seams) parts.push_back("--normals=weld closes such seams (check with --normals weld)");
    if (broken > 0 && healthy > 0)
        parts.push_back("--normals=broken keeps the normals of the " +
                        counted(healthy, "healthy surface", "healthy surfaces"));
    std::string hint;
    for (const std::string& part : parts) hint += (hint.empty() ? "meshmend " : "; ") + part;
    return hint;
}

std::string text_report(const std::string& path, const ModelReport& r, bool withChanges) {
    // A path with a control character (a newline, say) would break the
    // one-line record, and bytes that are not UTF-8 garble a terminal: such
    // a path is shown quoted, like a name.
    std::string text = shown_path(path) + ": " + health_name(health_of(r));
    switch (r.verdict) {
        case Verdict::unreadable: return text + "\n  " + r.error + "\n";
        case Verdict::invalid: return text + "\n  " + r.layout.reason + "\n";
        case Verdict::clean:
        case Verdict::repairable:
        case Verdict::refused: break;
    }
    text += std::string("; meshmend: ") + verdict_name(r.verdict) + "\n";
    for (const Problem& p : r.problems) text += "  " + problem_line(p) + "\n";
    if (!withChanges) return text;
    if (r.verdict == Verdict::refused)
        text += "  meshmend would refuse it: " + surface_label(r.refusedSurface, r.refusedName) +
                printf_text(": %lld vertices; it takes at most %d\n",
                            static_cast<long long>(r.refusedVerts), kMaxSurfaceVerts);
    if (r.verdict == Verdict::repairable) {
        text += "  meshmend would change " + change_summary(r) + ":\n" + change_details(r, "    ");
        for (const Problem& a : r.advice) text += "    " + advice_line(a) + "\n";
        if (const std::string hint = mode_hint(r); !hint.empty()) text += "    " + hint + "\n";
    }
    return text;
}

namespace {

// One figure of a problem as a JSON member (with its leading comma), or
// nothing for a figure that is left out when empty.
std::string figure_json(const Problem& p, const FigureKey& f) {
    const std::string key = std::string(",\"") + f.key + "\":";
    switch (f.figure) {
        case Figure::value: return key + std::to_string(p.value);
        case Figure::limit: return key + std::to_string(p.limit);
        case Figure::frames: return key + std::to_string(p.frames);
        case Figure::firstFrame: return key + std::to_string(p.firstFrame);
        case Figure::count: return key + std::to_string(p.count);
        case Figure::worst: return key + json_number(p.worst);
        case Figure::share: return key + json_number(p.share);
        case Figure::medianDegrees: return key + json_number(p.medianDegrees);
        case Figure::worstDegrees: return key + json_number(p.worstDegrees);
        case Figure::used: return "," + json_field(f.key, p.used);
        case Figure::axis: return "," + json_field(f.key, p.axis);
        case Figure::fittedDegrees: return key + json_number(p.fittedDegrees);
        case Figure::usedMember:
            return p.usedMember.empty() ? "" : "," + json_field(f.key, p.usedMember);
        case Figure::surfaces: {
            std::string list;
            for (const std::int32_t s : p.surfaces)
                list += (list.empty() ? "" : ",") + std::to_string(s);
            return key + "[" + list + "]";
        }
    }
    return "";
}

}  // namespace

std::string problem_json(const Problem& p) {
    const KindRow& row = kind_row(p.kind);
    std::string o = std::string("{\"severity\":\"") + severity_name(p.severity) + "\",\"kind\":\"" +
                    row.name + "\",\"surface\":" + std::to_string(p.surface);
    if (p.surface >= 0) o.append(",").append(json_field("name", p.surfaceName));
    o.append(",").append(json_field("message", p.message));
    for (const FigureKey& f : row.figures)
        if (f.key) o += figure_json(p, f);
    return o + "}";
}

namespace {

// Advice objects are problem objects without a severity: they grade nothing.
std::string advice_json(const std::vector<Problem>& advice) {
    std::string list;
    for (const Problem& a : advice) {
        std::string o = problem_json(a);
        const std::size_t kind = o.find("\"kind\"");
        list += (list.empty() ? "{" : ",{") + o.substr(kind);
    }
    return list;
}

// What meshmend would change, as the members of a repairable model's object.
std::string changes_json(const ModelReport& r) {
    std::string text;
    std::string modelName = "null", shaders;
    for (const NameChange& n : r.names) {
        const std::string change =
            json_field("before", n.before) + "," + json_field("after", n.after);
        if (n.surface < 0) {
            modelName = "{" + change + "}";
        } else {
            shaders += (shaders.empty() ? "{" : ",{") +
                       json_surface_fields(n.surface, n.surfaceName) + "," + change + "}";
        }
    }
    std::string normals;
    for (const NormalChange& n : r.normals)
        normals += (normals.empty() ? "{" : ",{") + json_surface_fields(n.surface, n.surfaceName) +
                   ",\"changed\":" + std::to_string(n.changed) +
                   ",\"total\":" + std::to_string(n.total) +
                   ",\"worst_degrees\":" + json_number(n.worstDegrees) +
                   ",\"median_degrees\":" + json_number(n.medianDegrees) +
                   ",\"unused_vertices\":" + std::to_string(n.unusedVertices) + "}";
    text += ",\"model_name\":" + modelName + ",\"shaders\":[" + shaders + "],\"normals\":[" +
            normals + "]";
    text += ",\"frames\":{\"changed\":" + std::to_string(r.frames.changed) +
            ",\"total\":" + std::to_string(r.frames.total) +
            ",\"bounds\":" + json_number(r.frames.bounds) +
            ",\"centre\":" + json_number(r.frames.centre) +
            ",\"radius\":" + json_number(r.frames.radius) + "}";
    text += ",\"trailing_bytes\":" + std::to_string(r.trailingBytes);
    text += ",\"advice\":[" + advice_json(r.advice) + "]";
    return text;
}

}  // namespace

std::string json_line(const std::string& path, const ModelReport& r, std::string_view member) {
    std::string line = "{";
    line += json_field("path", path);
    if (!member.empty()) line.append(",").append(json_field("member", member));
    line.append(",\"health\":\"")
        .append(health_name(health_of(r)))
        .append(r.shadowed ? "\",\"shadowed\":true" : "\"")
        .append(",\"verdict\":\"")
        .append(verdict_name(r.verdict))
        .append("\"");
    line += ",\"size\":" + (r.size < 0 ? std::string("null") : std::to_string(r.size));
    switch (r.verdict) {
        case Verdict::unreadable: line += ",\"error\":" + json_string(r.error); break;
        case Verdict::invalid:
            line += ",\"rule\":\"" + std::string(layout_rule_name(r.layout.rule)) +
                    "\",\"reason\":" + json_string(r.layout.reason);
            break;
        case Verdict::refused:
            line += ",\"refused\":{" + json_surface_fields(r.refusedSurface, r.refusedName) +
                    ",\"vertices\":" + std::to_string(r.refusedVerts) +
                    ",\"limit\":" + std::to_string(kMaxSurfaceVerts) + "}";
            break;
        case Verdict::repairable: line += changes_json(r); break;
        case Verdict::clean: break;
    }
    std::string problems;
    for (const Problem& p : r.problems) {
        if (!problems.empty()) problems += ',';
        problems += problem_json(p);
    }
    return line + ",\"problems\":[" + problems + "]}\n";
}

std::string assembly_text(const Assembly& a) {
    std::string text = shown_path(assembly_label(a)) + ": " +
                       health_name(health_of_problems(a.problems)) +
                       (a.weapon ? "; weapon\n" : "; player\n");
    for (const Problem& p : a.problems) text += "  " + problem_line(p) + "\n";
    return text;
}

std::string assembly_json(const Assembly& a) {
    std::string line = "{" + json_field(a.weapon ? "weapon" : "player", a.folder);
    if (!a.path.empty()) line.append(",").append(json_field("path", a.path));
    line += ",\"parts\":[";
    for (std::size_t i = 0; i < a.parts.size(); ++i)
        line += (i == 0 ? "" : ",") + json_string(a.parts[i]);
    line += std::string("],\"health\":\"") + health_name(health_of_problems(a.problems)) + "\"";
    std::string problems;
    for (const Problem& p : a.problems) {
        if (!problems.empty()) problems += ',';
        problems += problem_json(p);
    }
    return line + ",\"problems\":[" + problems + "]}\n";
}

void Tally::add(const Assembly& a) {
    ++byHealth[static_cast<std::size_t>(health_of_problems(a.problems))];
    ++(a.weapon ? weapons : players);
}

void Tally::add(const ModelReport& report) {
    if (report.shadowed) {
        ++shadowed;
        return;
    }
    ++byHealth[static_cast<std::size_t>(health_of(report))];
    ++byVerdict[static_cast<std::size_t>(report.verdict)];
    ++models;
}

std::string summary_line(const Tally& t) {
    const auto health = [&](Health h) { return t.byHealth[static_cast<std::size_t>(h)]; };
    const auto verdict = [&](Verdict v) { return t.byVerdict[static_cast<std::size_t>(v)]; };
    std::string text = counted(t.models, "model", "models");
    if (t.players > 0) text += ", " + counted(t.players, "player", "players");
    if (t.weapons > 0) text += ", " + counted(t.weapons, "weapon", "weapons");
    text += printf_text(": %lld ok, %lld with warnings, %lld with errors", health(Health::ok),
                        health(Health::warnings), health(Health::errors));
    if (health(Health::invalid) > 0) text += printf_text(", %lld invalid", health(Health::invalid));
    if (health(Health::unreadable) > 0)
        text += printf_text(", %lld unreadable", health(Health::unreadable));
    text += printf_text("; meshmend would change %lld", verdict(Verdict::repairable));
    if (verdict(Verdict::refused) > 0)
        text += printf_text(" and refuse %lld", verdict(Verdict::refused));
    if (t.shadowed > 0)
        text += "; " + counted(t.shadowed, "shadowed copy", "shadowed copies") + " not counted";
    return text + "\n";
}

}  // namespace md3
