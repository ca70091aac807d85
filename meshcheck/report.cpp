// meshcheck's two ways of writing a report.
#include "report.hpp"

#include <cmath>

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

std::string json_string(std::string_view bytes) {
    std::string text = "\"";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            text += '\\';
            text += c;
        } else if (byte < 0x20 || byte > 0x7e) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            text += escape;
        } else {
            text += c;
        }
    }
    return text + "\"";
}

void print_text(std::FILE* out, const std::string& path, const ModelReport& r) {
    std::fprintf(out, "%s: %s\n", path.c_str(), verdict_name(r.verdict));
    switch (r.verdict) {
        case Verdict::unreadable: std::fprintf(out, "  %s\n", r.error.c_str()); break;
        case Verdict::invalid: std::fprintf(out, "  %s\n", r.layout.reason.c_str()); break;
        case Verdict::refused:
            std::fprintf(out, "  %s: %lld vertices; meshmend takes at most %d\n",
                         surface_label(r.refusedSurface, r.refusedName).c_str(),
                         static_cast<long long>(r.refusedVerts), kMaxSurfaceVerts);
            break;
        case Verdict::clean:
        case Verdict::repairable: break;
    }
    for (const NameChange& n : r.names) {
        const std::string what = n.surface < 0 ? "model name" : surface_label(n.surface, n.surfaceName) + ": shader";
        std::fprintf(out, "  %s: %s -> %s\n", what.c_str(), quote_name(n.before).c_str(),
                     quote_name(n.after).c_str());
    }
    for (const NormalChange& n : r.normals) {
        std::fprintf(out, "  %s: normals: %lld of %lld vertex-frames change; worst %.1f deg, median %.1f deg",
                     surface_label(n.surface, n.surfaceName).c_str(), static_cast<long long>(n.changed),
                     static_cast<long long>(n.total), n.worstDegrees, n.medianDegrees);
        if (n.unusedVertices > 0)
            std::fprintf(out, "; %lld vertices used by no triangle keep theirs",
                         static_cast<long long>(n.unusedVertices));
        std::fprintf(out, "\n");
    }
    if (r.frames.changed > 0)
        std::fprintf(out, "  frames: %lld of %lld change; largest difference: bounds %g, centre %g, radius %g\n",
                     static_cast<long long>(r.frames.changed), static_cast<long long>(r.frames.total),
                     r.frames.bounds, r.frames.centre, r.frames.radius);
    if (r.verdict == Verdict::repairable && r.trailingBytes > 0)
        std::fprintf(out, "  trailing bytes: %lld after ofsEnd, dropped\n", static_cast<long long>(r.trailingBytes));
    for (const Warning& w : r.warnings) {
        const std::string where = w.surface < 0 ? "" : surface_label(w.surface, w.surfaceName) + ": ";
        std::fprintf(out, "  warning: %s%s\n", where.c_str(), warning_text(w).c_str());
    }
}

std::string json_line(const std::string& path, const ModelReport& r) {
    std::string line = "{\"path\":" + json_string(path) + ",\"verdict\":\"" + verdict_name(r.verdict) + "\"";
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
                const std::string change = "\"before\":" + json_string(n.before) + ",\"after\":" + json_string(n.after);
                if (n.surface < 0) {
                    modelName = "{" + change + "}";
                } else {
                    shaders += (shaders.empty() ? "{" : ",{") + json_surface_fields(n.surface, n.surfaceName) +
                               "," + change + "}";
                }
            }
            std::string normals;
            for (const NormalChange& n : r.normals)
                normals += (normals.empty() ? "{" : ",{") + json_surface_fields(n.surface, n.surfaceName) +
                           ",\"changed\":" + std::to_string(n.changed) + ",\"total\":" + std::to_string(n.total) +
                           ",\"worst_degrees\":" + json_number(n.worstDegrees) +
                           ",\"median_degrees\":" + json_number(n.medianDegrees) +
                           ",\"unused_vertices\":" + std::to_string(n.unusedVertices) + "}";
            line += ",\"model_name\":" + modelName + ",\"shaders\":[" + shaders + "],\"normals\":[" + normals + "]";
            line += ",\"frames\":{\"changed\":" + std::to_string(r.frames.changed) +
                    ",\"total\":" + std::to_string(r.frames.total) + ",\"bounds\":" + json_number(r.frames.bounds) +
                    ",\"centre\":" + json_number(r.frames.centre) + ",\"radius\":" + json_number(r.frames.radius) +
                    "}";
            line += ",\"trailing_bytes\":" + std::to_string(r.trailingBytes);
            break;
        }
        case Verdict::clean: break;
    }
    std::string warnings;
    for (const Warning& w : r.warnings) {
        warnings += (warnings.empty() ? "{" : ",{") + std::string("\"kind\":\"") + w.kind + "\"";
        if (w.surface >= 0) warnings += "," + json_surface_fields(w.surface, w.surfaceName);
        warnings += ",\"value\":" + std::to_string(w.value) + ",\"limit\":" + std::to_string(w.limit) +
                    ",\"text\":" + json_string(warning_text(w)) + "}";
    }
    return line + ",\"warnings\":[" + warnings + "]}\n";
}

void Tally::add(const ModelReport& report) {
    ++byVerdict[static_cast<int>(report.verdict)];
    ++models;
    warnings += static_cast<long long>(report.warnings.size());
}

void print_summary(std::FILE* out, const Tally& t) {
    std::fprintf(out, "%lld models: %lld clean, %lld repairable, %lld refused, %lld invalid, %lld unreadable; %lld warnings\n",
                 t.models, t.byVerdict[0], t.byVerdict[1], t.byVerdict[2], t.byVerdict[3], t.byVerdict[4],
                 t.warnings);
}
