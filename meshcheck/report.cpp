// meshcheck's two ways of writing a report.
#include "report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "text.hpp"

namespace {

// How many bytes the UTF-8 sequence at bytes[i] takes, or 0 when the byte
// there starts no valid one (a stray continuation byte, an overlong form, a
// surrogate, past U+10FFFF, or cut short).
std::size_t utf8_length(std::string_view bytes, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[i + k]); };
    const unsigned lead = at(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (bytes.size() - i < length || at(1) < low || at(1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if ((at(k) & 0xC0) != 0x80) return 0;
    return length;
}

bool is_control(unsigned char byte) { return byte < 0x20 || byte == 0x7f; }

// `bytes` between double quotes, every valid UTF-8 sequence copied as it
// is; every other byte, each control byte and each of `special` is written
// by `escape`.
template <typename Escape>
std::string quoted_utf8(std::string_view bytes, std::string_view special, Escape escape) {
    std::string text;
    text.reserve(bytes.size() + 2);
    text += '"';
    for (std::size_t i = 0; i < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = utf8_length(bytes, i);
        if (length == 0 || is_control(byte) || special.find(bytes[i]) != std::string_view::npos) {
            escape(text, byte, length != 0);
            ++i;
        } else {
            text.append(bytes, i, length);
            i += length;
        }
    }
    text += '"';
    return text;
}

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

}  // namespace

bool is_utf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = utf8_length(bytes, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string json_string(std::string_view bytes) {
    return quoted_utf8(bytes, "\"\\", [](std::string& text, unsigned char byte, bool valid) {
        if (!valid) {
            text += "\\ufffd";
        } else if (byte == '"' || byte == '\\') {
            text += '\\';
            text += static_cast<char>(byte);
        } else {
            text += printf_text("\\u%04x", byte);
        }
    });
}

std::string shown_name(std::string_view bytes) {
    return quoted_utf8(bytes, "\"", [](std::string& text, unsigned char byte, bool) {
        if (byte == '"') {
            text += "\\\"";
        } else {
            text += printf_text("\\x%02x", byte);
        }
    });
}

std::string text_report(const std::string& path, const ModelReport& r) {
    // A path with a control character (a newline, say) would break the
    // one-line record: such a path is shown quoted, like a name.
    const bool plain = std::none_of(path.begin(), path.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    });
    std::string text = (plain ? path : shown_name(path)) + ": " + verdict_name(r.verdict) + "\n";
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
        text += "  " + what + ": " + shown_name(n.before) + " -> " + shown_name(n.after) + "\n";
    }
    for (const NormalChange& n : r.normals) {
        text += "  " + surface_label(n.surface, n.surfaceName) +
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
        text += printf_text(
            "  frames: %lld of %lld %s; largest difference: bounds %.2f, centre %.2f, radius "
            "%.2f\n",
            static_cast<long long>(r.frames.changed), static_cast<long long>(r.frames.total),
            r.frames.changed == 1 ? "changes" : "change", r.frames.bounds, r.frames.centre,
            r.frames.radius);
    if (r.verdict == Verdict::repairable && r.trailingBytes > 0)
        text += "  trailing bytes: " + counted(r.trailingBytes, "byte", "bytes") +
                " after ofsEnd, dropped\n";
    for (const Warning& w : r.warnings) {
        const std::string where =
            w.surface < 0 ? "" : surface_label(w.surface, w.surfaceName) + ": ";
        text += "  warning: " + where + warning_text(w) + "\n";
    }
    return text;
}

std::string json_line(const std::string& path, const ModelReport& r) {
    std::string line = "{";
    line += json_field("path", path) + ",\"verdict\":\"" + verdict_name(r.verdict) + "\"";
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
        if (w.surface >= 0)
            warnings.append(",").append(json_surface_fields(w.surface, w.surfaceName));
        warnings += ",\"value\":" + std::to_string(w.value) +
                    ",\"limit\":" + std::to_string(w.limit) +
                    ",\"text\":" + json_string(warning_text(w)) + "}";
    }
    return line + ",\"warnings\":[" + warnings + "]}\n";
}

void Tally::add(const ModelReport& report) {
    ++byVerdict[static_cast<std::size_t>(report.verdict)];
    ++models;
    warnings += static_cast<long long>(report.warnings.size());
}

std::string summary_line(const Tally& t) {
    return printf_text(
        "%s: %lld clean, %lld repairable, %lld refused, %lld invalid, %lld unreadable; %s\n",
        counted(t.models, "model", "models").c_str(), t.byVerdict[0], t.byVerdict[1],
        t.byVerdict[2], t.byVerdict[3], t.byVerdict[4],
        counted(t.warnings, "warning", "warnings").c_str());
}
