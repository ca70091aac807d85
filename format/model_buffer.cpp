// Where model bytes live: huge-page memory for large buffers on Linux, malloc
// for the rest.
#include "model_buffer.hpp"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace md3 {

namespace model_storage {

void* obtain(std::size_t size, bool huge_pages) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // The whole last huge page belongs to the block too, or the kernel would
    // fault the file's tail in 4 KiB at a time.
    if (huge_pages && size >= kHugePage && size <= static_cast<std::size_t>(-1) - kHugePage) {
        const std::size_t length = (size + kHugePage - 1) / kHugePage * kHugePage;
        void* block = nullptr;
        if (posix_memalign(&block, kHugePage, length) == 0) {
            if (madvise(block, length, MADV_HUGEPAGE) == 0) return block;
            // Without the advice the alignment and the rounding buy nothing.
            std::free(block);
        }
    }
#else
    (void)huge_pages;
#endif
    return std::malloc(size > 0 ? size : 1);
}

void release(void* block) noexcept { std::free(block); }

}  // namespace model_storage

}  // namespace md3
