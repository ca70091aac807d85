// meshcheck's two ways of writing a report.
#include "report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "text.hpp"

namespace {

std::string surface_label(std::int32_t surface, const std::string& name) {
    return "surface " + std::to_string(surface) + " " + quote_name(name);
}

// A JSON number, or null for what JSON cannot hold.
std::string json_number(double value) {
    if (!std::isfinite(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string json_surface_fields(std::int32_t surface, const std::string& name) {
    return "\"surface\":" + std::to_string(surface) + ",\"name\":" + json_string(name);
}

}  // namespace

std::string json_string(std::string_view bytes) { return escaped_text(bytes, "\\u%04x"); }

std::string text_report(const std::string& path, const ModelReport& r) {
    // A path with a control character (a newline, say) would break the
    // one-line record: such a path is shown quoted, like a name.
    const bool plain = std::none_of(path.begin(), path.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    });
    std::string text = (plain ? path : quote_name(path)) + ": " + verdict_name(r.verdict) + "\n";
    switch (r.verdict) {
        case Verdict::unreadable: text += "  " + r.error + "\n"; break;
        case Verdict::invalid: text += "  " + r.layout.reason + "\n"; break;
        case Verdict::refused:
            text += "  " + surface_label(r.refusedSurface, r.refusedName) +
                    printf_text(": %lld vertices; meshmend takes at most %d\n",
                                static_cast<long long>(r.refusedVerts), kMaxSurfaceVerts);
            break;
        case Verdict::clean:
        case Verdict::repairable: break;
    }
    for (const NameChange& n : r.names) {
        const std::string what =
            n.surface < 0 ? "model name" : surface_label(n.surface, n.surfaceName) + ": shader";
        text += "  " + what + ": " + quote_name(n.before) + " -> " + quote_name(n.after) + "\n";
    }
    for (const NormalChange& n : r.normals) {
        text += "  " + surface_label(n.surface, n.surfaceName) +
                printf_text(
                    ": normals: %lld of %lld vertex-frames change; worst %.1f deg, median %.1f deg",
                    static_cast<long long>(n.changed), static_cast<long long>(n.total),
                    n.worstDegrees, n.medianDegrees);
        if (n.unusedVertices > 0)
            text += printf_text("; %lld vertices used by no triangle keep theirs",
                                static_cast<long long>(n.unusedVertices));
        text += "\n";
    }
    if (r.frames.changed > 0)
        text += printf_text(
            "  frames: %lld of %lld change; largest difference: bounds %g, centre %g, radius %g\n",
            static_cast<long long>(r.frames.changed), static_cast<long long>(r.frames.total),
            r.frames.bounds, r.frames.centre, r.frames.radius);
    if (r.verdict == Verdict::repairable && r.trailingBytes > 0)
        text += printf_text("  trailing bytes: %lld after ofsEnd, dropped\n",
                            static_cast<long long>(r.trailingBytes));
    for (const Warning& w : r.warnings) {
        const std::string where =
            w.surface < 0 ? "" : surface_label(w.surface, w.surfaceName) + ": ";
        text += "  warning: " + where + warning_text(w) + "\n";
    }
    return text;
}

std::string json_line(const std::string& path, const ModelReport& r) {
    std::string line =
        "{\"path\":" + json_string(path) + ",\"verdict\":\"" + verdict_name(r.verdict) + "\"";
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
        case Verdict::repairable: {
            std::string modelName = "null", shaders;
            for (const NameChange& n : r.names) {
                const std::string change =
                    "\"before\":" + json_string(n.before) + ",\"after\":" + json_string(n.after);
                if (n.surface < 0) {
                    modelName = "{" + change + "}";
                } else {
                    shaders += (shaders.empty() ? "{" : ",{") +
                               json_surface_fields(n.surface, n.surfaceName) + "," + change + "}";
                }
            }
            std::string normals;
            for (const NormalChange& n : r.normals)
                normals += (normals.empty() ? "{" : ",{") +
                           json_surface_fields(n.surface, n.surfaceName) +
                           ",\"changed\":" + std::to_string(n.changed) +
                           ",\"total\":" + std::to_string(n.total) +
                           ",\"worst_degrees\":" + json_number(n.worstDegrees) +
                           ",\"median_degrees\":" + json_number(n.medianDegrees) +
                           ",\"unused_vertices\":" + std::to_string(n.unusedVertices) + "}";
            line += ",\"model_name\":" + modelName + ",\"shaders\":[" + shaders +
                    "],\"normals\":[" + normals + "]";
            line += ",\"frames\":{\"changed\":" + std::to_string(r.frames.changed) +
                    ",\"total\":" + std::to_string(r.frames.total) +
                    ",\"bounds\":" + json_number(r.frames.bounds) +
                    ",\"centre\":" + json_number(r.frames.centre) +
                    ",\"radius\":" + json_number(r.frames.radius) + "}";
            line += ",\"trailing_bytes\":" + std::to_string(r.trailingBytes);
            break;
        }
        case Verdict::clean: break;
    }
    std::string warnings;
    for (const Warning& w : r.warnings) {
        warnings += (warnings.empty() ? "{" : ",{") + std::string("\"kind\":\"") + w.kind + "\"";
        if (w.surface >= 0) warnings += "," + json_surface_fields(w.surface, w.surfaceName);
        warnings += ",\"value\":" + std::to_string(w.value) +
                    ",\"limit\":" + std::to_string(w.limit) +
                    ",\"text\":" + json_string(warning_text(w)) + "}";
    }
    return line + ",\"warnings\":[" + warnings + "]}\n";
}

void Tally::add(const ModelReport& report) {
    ++byVerdict[static_cast<int>(report.verdict)];
    ++models;
    warnings += static_cast<long long>(report.warnings.size());
}

std::string summary_line(const Tally& t) {
    return printf_text(
        "%lld models: %lld clean, %lld repairable, %lld refused, %lld invalid, %lld unreadable; "
        "%lld warnings\n",
        t.models, t.byVerdict[0], t.byVerdict[1], t.byVerdict[2], t.byVerdict[3], t.byVerdict[4],
        t.warnings);
}
