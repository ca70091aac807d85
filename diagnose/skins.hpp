// Reading .skin files for what the checks need: each line's surface and
// shader names, never more than a name's worth of either, and findings that
// repeat over many lines kept as one with a count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "problems.hpp"

namespace md3 {

// The most of a skin line's name that is kept. A surface name the engine
// compares fills at most 63 bytes, and no shader or file name of a real game
// comes near this; a longer name is cut here, so a huge line costs nothing.
inline constexpr std::size_t kSkinNameBytes = 256;

struct SkinLine {
    std::int64_t number = 0;  // from 1
    std::string surface;      // trimmed and lowercased, as the engine compares it
    std::string shader;       // trimmed
};

// Calls `each` for every line of the skin `text` that gives a surface its
// shader: lines holding "tag_", lines without a comma and lines with no
// surface name are skipped, as the engine skips them.
void read_skin(std::string_view text, const std::function<void(const SkinLine&)>& each);

// One problem per key (a surface) however many lines repeat the finding: the
// first line's problem as it is, and how many lines after it said the same.
class RepeatedFindings {
public:
    // Adds `problem` to `out` unless `key` already has one; then counts it.
    // `make` builds the problem only when it is added.
    void add(std::vector<Problem>& out, std::int32_t key, const std::function<Problem()>& make);
    // Says on each problem added how many more lines there were like it.
    void finish(std::vector<Problem>& out) const;

private:
    struct Seen {
        std::size_t problem = 0;  // in `out`
        std::int64_t more = 0;
    };
    std::map<std::int32_t, Seen> seen_;
};

// The surfaces a skin names that the model lacks, listed "name (line 3), ..."
// up to a few, the rest counted.
class UnknownSurfaces {
public:
    void add(const std::string& shownName, std::int64_t line);
    bool empty() const { return listed_.empty(); }
    // "a (line 3), b (line 5)", then ", and 12 more lines" if there were more.
    std::string text() const;

private:
    std::string listed_;
    std::int64_t shown_ = 0, more_ = 0;
};

// 1234567 as "1,234,567".
std::string grouped(std::int64_t number);

}  // namespace md3
