// Model storage: huge-page blocks and their plain fallback hold every byte
// asked for, and files that span several huge pages without filling the last
// one load and save unchanged.
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "model_buffer.hpp"
#include "model_io.hpp"
#include "support.hpp"

using namespace md3;

namespace {

using model_storage::kHugePage;

// Whether this system takes the huge-page advice at all; where it does not,
// every block is a plain one.
bool huge_pages_advisable() {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    void* probe = nullptr;
    if (posix_memalign(&probe, kHugePage, kHugePage) != 0) return false;
    const bool taken = madvise(probe, kHugePage, MADV_HUGEPAGE) == 0;
    std::free(probe);
    return taken;
#else
    return false;
#endif
}

// Bytes that differ from page to page, so that a page read or written in the
// wrong place shows.
std::uint8_t pattern(std::size_t i) { return static_cast<std::uint8_t>((i * 2654435761u) >> 13); }

class ModelFiles : public ScratchDir {};

}  // namespace

TEST(ModelStorage, BlocksHoldEverySizeOnBothPaths) {
    const bool advisable = huge_pages_advisable();
    for (const bool hugePages : {true, false}) {
        for (const std::size_t size : {std::size_t{1}, std::size_t{108}, kHugePage - 1, kHugePage,
                                       kHugePage + 1, 3 * kHugePage + 4097}) {
            SCOPED_TRACE(std::to_string(size) +
                         (hugePages ? " bytes, huge pages" : " bytes, plain"));
            auto* block = static_cast<std::uint8_t*>(model_storage::obtain(size, hugePages));
            ASSERT_NE(block, nullptr);
            if (hugePages && advisable && size >= kHugePage) {
                EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % kHugePage, 0u);
            }
            // Every byte is there (the sanitizers check the whole range).
            std::memset(block, 0xA5, size);
            EXPECT_EQ(block[size - 1], 0xA5);
            model_storage::release(block);
        }
    }
}

TEST_F(ModelFiles, SpanningHugePagesLoadAndSaveUnchanged) {
    ModelBuffer bytes(2 * kHugePage + 12345);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = pattern(i);
    write_file(path("big.md3"), bytes);

    ModelBuffer loaded;
    ASSERT_EQ(load_model(path("big.md3"), loaded), LoadResult::ok);
    EXPECT_TRUE(loaded == bytes);

    PendingOutput out;
    ASSERT_TRUE(open_output(path("copy.md3"), out));
    ASSERT_TRUE(commit_output(out, loaded));
    EXPECT_TRUE(read_file(path("copy.md3")) == bytes);
}
