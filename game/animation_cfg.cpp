// Reading animation.cfg the way the game's parser does.
#include "animation_cfg.hpp"

namespace md3 {

namespace {

// The next token from `at`, as the game's tokenizer splits the text; empty
// at the end.
std::string_view next_token(std::string_view text, std::size_t& at) {
    while (at < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (c <= ' ') {
            ++at;
        } else if (text.compare(at, 2, "//") == 0) {
            while (at < text.size() && text[at] != '\n') ++at;
        } else if (text.compare(at, 2, "/*") == 0) {
            const std::size_t end = text.find("*/", at + 2);
            at = end == std::string_view::npos ? text.size() : end + 2;
        } else {
            break;
        }
    }
    if (at >= text.size()) return {};
    if (text[at] == '"') {
        const std::size_t begin = ++at;
        while (at < text.size() && text[at] != '"') ++at;
        const std::string_view token = text.substr(begin, at - begin);
        if (at < text.size()) ++at;
        return token;
    }
    const std::size_t begin = at;
    while (at < text.size() && static_cast<unsigned char>(text[at]) > ' ') ++at;
    return text.substr(begin, at - begin);
}

// The number at the start of `token` as atoi reads it: an optional sign,
// then digits; 0 when there are none. Clamped far beyond any frame count.
std::int64_t leading_number(std::string_view token) {
    std::size_t i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == '-' || token[i] == '+')) negative = token[i++] == '-';
    std::int64_t value = 0;
    for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i)
        if (value < (std::int64_t{1} << 40)) value = value * 10 + (token[i] - '0');
    return negative ? -value : value;
}

}  // namespace

AnimationFile read_animation_file(std::string_view text) {
    AnimationFile file;
    std::size_t at = 0;
    while (true) {
        const std::size_t before = at;
        const std::string_view token = next_token(text, at);
        if (token.empty()) break;
        if (token[0] >= '0' && token[0] <= '9') {
            at = before;
            break;
        }
        if (token == "footsteps" || token == "sex") {
            next_token(text, at);
        } else if (token == "headoffset") {
            for (int k = 0; k < 3; ++k) next_token(text, at);
        } else if (token != "fixedlegs" && token != "fixedtorso") {
            file.unknownWords.emplace_back(token);
        }
    }
    for (std::size_t i = 0; i < kAnimationNames.size(); ++i) {
        std::int64_t values[4] = {};
        int read = 0;
        for (; read < 4; ++read) {
            const std::string_view token = next_token(text, at);
            if (token.empty()) break;
            values[read] = leading_number(token);
        }
        if (read < 4) break;
        file.animations.push_back({values[0], values[1], values[2], values[3]});
    }
    return file;
}

std::int64_t played_first_frame(const AnimationFile& file, std::size_t index) {
    const std::int64_t first = file.animations[index].firstFrame;
    if (index < kLegsWalkCrouched || index > kLegsTurn) return first;
    return first - (file.animations[kLegsWalkCrouched].firstFrame -
                    file.animations[kTorsoGesture].firstFrame);
}

}  // namespace md3
