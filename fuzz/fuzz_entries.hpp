// Each tool's in-memory work over arbitrary bytes, exactly as the programs do
// it between loading and saving. Shared by the fuzz targets and the test that
// replays inputs they once crashed on.
#pragma once

#include <cstddef>
#include <cstdint>

// meshmend: ident/version check, layout validation, the repair pass in each
// normal mode checked against the plain reference pass, and the length of
// what would be saved. Inputs are given the right ident and version so that
// the fuzzer spends its time on the layout.
void fuzz_meshmend_once(const std::uint8_t* data, std::size_t size);

// sphereset: the size and frame checks, then the frame loop; the last bytes
// also serve as a radius argument.
void fuzz_sphereset_once(const std::uint8_t* data, std::size_t size);

// meshcheck: the check of one model (layout reasons, the pass on a copy and
// the comparison) and both renderings of its report. Aborts when the JSON
// does not parse, when the verdict disagrees with the layout check, or when
// a repairable model has no finding to show for it, or when its report page
// (named by the input's first bytes) is not well formed. The last byte, when odd,
// gives the input the right ident and version.
void fuzz_meshcheck_once(const std::uint8_t* data, std::size_t size);

// The archive reader over arbitrary bytes in memory: the listing, then every
// member read. Aborts when a member reads as anything but exactly its
// declared size, or larger than the reader's bound.
void fuzz_archive_once(const std::uint8_t* data, std::size_t size);

// The game's text files over arbitrary bytes: the shader-script reader, then
// the skin reader, on the same bytes. Aborts when a script gives more than
// one problem or a name that could not be a model's shader (empty, longer
// than 63 bytes, with an uppercase letter), or when a skin line's names are
// empty, longer than kept, not lowercased, or their line numbers go back.
void fuzz_game_text_once(const std::uint8_t* data, std::size_t size);
