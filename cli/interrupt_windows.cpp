// Interrupts during a save on Windows. The runtime calls the handler on a
// thread of its own while the program goes on; there is no way to hold a
// signal back, so the removal is armed as soon as the temporary is open.
#include <csignal>

#include "interrupt.hpp"

namespace md3 {

namespace {

// The temporary an interrupt removes, copied before it is armed.
TemporaryName armedName;
volatile std::sig_atomic_t armed = 0;

extern "C" void remove_and_end(int signal) {
    if (armed) remove_temporary_now(armedName);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Catches `signal` unless it is ignored: a run started ignoring it must go on
// ignoring it.
void catch_unless_ignored(int signal) {
    if (std::signal(signal, remove_and_end) == SIG_IGN) std::signal(signal, SIG_IGN);
}

}  // namespace

// There is no file-size signal there: a write past a limit simply fails.
void ignore_file_size_signal() {}

void remove_on_interrupt(const PendingOutput* out) {
    armed = 0;
    if (out) armedName = out->temporary();
    armed = out != nullptr;
    catch_unless_ignored(SIGINT);
    catch_unless_ignored(SIGTERM);
}

bool open_output_removed_on_interrupt(const std::string& name, PendingOutput& out,
                                      OutputLinks links) {
    const bool opened = open_output(name, out, links);
    remove_on_interrupt(opened ? &out : nullptr);
    return opened;
}

}  // namespace md3
