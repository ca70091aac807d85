// Two pieces of work on two threads.
#include <exception>
#include <thread>

#include "side_by_side.hpp"

namespace md3 {

void side_by_side(bool apart, const std::function<void()>& here,
                  const std::function<void()>& there) {
    if (!apart) {
        here();
        there();
        return;
    }
    std::exception_ptr failure;
    {
        std::jthread thread;  // joined when it goes out of scope
        try {
            thread = std::jthread([&] {
                try {
                    there();
                } catch (...) {
                    failure = std::current_exception();
                }
            });
        } catch (const std::exception&) {
            there();
        }
        here();
    }
    if (failure) std::rethrow_exception(failure);
}

}  // namespace md3
