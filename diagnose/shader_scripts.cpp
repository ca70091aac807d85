// Reading shader scripts for the names they define, and nothing else: a
// script's stages and keywords do not decide whether a name resolves.
#include "shader_scripts.hpp"

#include "engine_names.hpp"
#include "md3_layout.hpp"
#include "text.hpp"

namespace md3 {

namespace {

void script_problem(ShaderNames& names, const std::string& where, std::int64_t line,
                    const std::string& what) {
    Problem p = make_problem(ProblemKind::shader_script);
    p.value = line;
    p.message = printf_text("%s:%lld: %s; the shaders after it are not defined", where.c_str(),
                            static_cast<long long>(line), what.c_str());
    names.problems.push_back(std::move(p));
}

bool space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// Where the plain token at `i` ends: at a space, a brace or a comment.
std::size_t plain_token_end(std::string_view text, std::size_t i) {
    while (i < text.size() && !space(text[i]) && text[i] != '{' && text[i] != '}' &&
           !(text[i] == '/' && i + 1 < text.size() && (text[i + 1] == '/' || text[i + 1] == '*')))
        ++i;
    return i;
}

}  // namespace

void read_shader_script(std::string_view text, const std::string& where, ShaderNames& names) {
    std::int64_t line = 1, depth = 0, openedAt = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\n') ++line;
        if (space(c)) {
            ++i;
            continue;
        }
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            while (i < text.size() && text[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            const std::int64_t start = line;
            const std::size_t end = text.find("*/", i + 2);
            if (end == std::string_view::npos)
                return script_problem(names, where, start, "comment never closed");
            for (std::size_t k = i; k < end; ++k) line += text[k] == '\n';
            i = end + 2;
            continue;
        }
        if (c == '{') {
            if (depth++ == 0) openedAt = line;
            ++i;
            continue;
        }
        if (c == '}') {
            if (depth == 0) return script_problem(names, where, line, "'}' with no '{' before it");
            --depth;
            ++i;
            continue;
        }
        std::string_view token;
        if (c == '"') {
            // The quote must close on its own line. Looking for the line's
            // end first would scan the rest of a script without one at every
            // quote; the closing quote bounds the search to the token itself.
            const std::size_t end = text.find('"', i + 1);
            if (end == std::string_view::npos ||
                text.substr(i + 1, end - i - 1).find('\n') != std::string_view::npos)
                return script_problem(names, where, line, "quote never closed");
            token = text.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            const std::size_t start = i;
            i = plain_token_end(text, i);
            token = text.substr(start, i - start);
        }
        // A model's shader field holds at most 63 bytes, so a longer name is
        // never one the engine is asked for: it is not kept, however long.
        if (depth == 0 && !token.empty() && token.size() < kNameSize) {
            names.defined.insert(ascii_lowered(token));
        }
    }
    if (depth > 0) script_problem(names, where, openedAt, "'{' never closed");
}

ShaderNames read_shader_scripts(const GameFiles& game) {
    ShaderNames names;
    ModelBuffer bytes;
    for (const auto& [name, place] : list_game_folder(game, "scripts")) {
        if (!engine_name(name).ends_with(".shader")) continue;
        const std::string where = place_text(game, place);
        const ZipResult read = read_place(game, place, bytes);
        if (!read.ok()) {
            Problem p = make_problem(ProblemKind::shader_script, -1, "",
                                     where + ": " + read.reason + "; its shaders are not defined");
            names.problems.push_back(std::move(p));
            continue;
        }
        read_shader_script(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), where,
            names);
    }
    return names;
}

}  // namespace md3
