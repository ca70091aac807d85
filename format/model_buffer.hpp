// Storage for a whole model file: bytes that cost only what the data costs.
//
// A model is read straight into its buffer, so zero-filling the buffer first
// is wasted work, and on a large file it is most of the load time: each 4 KiB
// page is faulted in and cleared before the read overwrites it. The allocator
// below leaves new bytes uninitialised, and on Linux gives large buffers
// memory advised for transparent huge pages, which the kernel faults in 2 MiB
// at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

namespace md3 {

namespace model_storage {

// Buffers from this size up are aligned to it and advised for huge pages.
inline constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Memory for `size` bytes with undefined contents, or nullptr when there is
// none. With `huge_pages`, on Linux, a block of kHugePage bytes or more is
// aligned to a huge page, rounded up to whole ones and advised for them;
// every other block, and one whose alignment or advice is refused, is an
// ordinary malloc block. Release it with release() either way.
void* obtain(std::size_t size, bool huge_pages = true) noexcept;
void release(void* block) noexcept;

}  // namespace model_storage

// A std::allocator look-alike that takes its memory from model_storage and
// default-initialises elements: resize() leaves new bytes as they are, while
// construction from values or iterators still copies them.
template <class T>
struct ModelAllocator {
    using value_type = T;

    ModelAllocator() noexcept = default;
    template <class U>
    ModelAllocator(const ModelAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        void* block = model_storage::obtain(n * sizeof(T));
        if (!block) throw std::bad_alloc();
        return static_cast<T*>(block);
    }
    void deallocate(T* p, std::size_t) noexcept { model_storage::release(p); }

    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    template <class U>
    bool operator==(const ModelAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace md3
