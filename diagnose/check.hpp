// meshcheck's look at one model: what meshmend would do with it, and why.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engines.hpp"
#include "md3_layout.hpp"
#include "model_report.hpp"
#include "packed_normal.hpp"
#include "problems.hpp"
#include "validate_layout.hpp"
#include "workspace.hpp"

namespace md3 {

// The work of checking a model, in vertex- and triangle-frames: the repair
// pass on the copy and the comparisons after it are linear in each surface's
// frames x (triangles + vertices), summed here over the surfaces.
std::int64_t check_work(const std::uint8_t* model);
// Past this much work a model is not checked at all: it is reported
// unreadable, "not computed", with the figure, rather than keep a worker busy
// for minutes. The largest real model measured takes under a million, the
// benchmark model 12 million; this is a second or so of work.
inline constexpr std::int64_t kCheckBudget = std::int64_t{1} << 28;

// Checks a whole model file as read. The verdict comes from running the real
// repair pass on a private copy and comparing bytes, so it is clean exactly
// when meshmend would leave the file as it is, and repairable exactly when
// meshmend would succeed and change something. `file` is never written.
// Its problems are graded for `engine`. With a `fileSize`, `file` holds
// only the file's first bytes, up to the header's ofsEnd, and the rest is
// counted as trailing bytes without having been read.
ModelReport check_model(std::span<const std::uint8_t> file, CheckWorkspace& workspace,
                        const EngineProfile& engine = default_engine(), std::int64_t fileSize = -1);

}  // namespace md3
