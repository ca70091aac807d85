// Reading .skin files line by line without keeping any line whole.
#include "skins.hpp"

#include "engine_names.hpp"

namespace md3 {

namespace {

// A skin file lists a few dozen surfaces; past this many the rest are counted.
constexpr std::int64_t kListedSurfaces = 16;

// `text` without the blanks around it, cut to kSkinNameBytes.
std::string skin_name(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return std::string(text.substr(0, kSkinNameBytes));
}

}  // namespace

void read_skin(std::string_view text, const std::function<void(const SkinLine&)>& each) {
    SkinLine line;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view whole = text.substr(start, end - start);
        start = end + 1;
        ++line.number;
        if (whole.find("tag_") != std::string_view::npos) continue;
        const std::size_t comma = whole.find(',');
        if (comma == std::string_view::npos) continue;
        line.surface = skin_name(whole.substr(0, comma));
        for (char& c : line.surface) c = ascii_lower(c);
        if (line.surface.empty()) continue;
        line.shader = skin_name(whole.substr(comma + 1));
        each(line);
    }
}

void RepeatedFindings::add(std::vector<Problem>& out, std::int32_t key,
                           const std::function<Problem()>& make) {
    const auto [it, added] = seen_.try_emplace(key);
    if (!added) {
        ++it->second.more;
        return;
    }
    it->second.problem = out.size();
    out.push_back(make());
}

void RepeatedFindings::finish(std::vector<Problem>& out) const {
    for (const auto& [key, seen] : seen_) {
        if (seen.more == 0) continue;
        Problem& p = out[seen.problem];
        p.count = seen.more + 1;
        p.message += "; and " + grouped(seen.more) +
                     (seen.more == 1 ? " more line" : " more lines") + " like it";
    }
}

void UnknownSurfaces::add(const std::string& shownName, std::int64_t line) {
    if (shown_ == kListedSurfaces) {
        ++more_;
        return;
    }
    listed_ += (listed_.empty() ? "" : ", ") + shownName + " (line " + std::to_string(line) + ")";
    ++shown_;
}

std::string UnknownSurfaces::text() const {
    if (more_ == 0) return listed_;
    return listed_ + ", and " + grouped(more_) + (more_ == 1 ? " more line" : " more lines");
}

std::string grouped(std::int64_t number) {
    const std::string digits = std::to_string(number);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && digits[i - 1] != '-' && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

}  // namespace md3
