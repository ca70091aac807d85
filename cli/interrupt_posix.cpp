// Interrupts during a save on POSIX systems. The handler only removes a name
// prepared in fixed storage and re-raises the signal: nothing it does may
// allocate, lock or read what the interrupted code was changing.
#include <signal.h>

#include <csignal>

#include "interrupt.hpp"

namespace md3 {

namespace {

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

// The temporary an interrupt removes, copied while the interrupts are held
// back, so that the handler never sees half of a name.
TemporaryName armedName;
volatile std::sig_atomic_t armed = 0;

sigset_t interrupt_set() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kInterrupts) sigaddset(&set, signal);
    return set;
}

// Holds the interrupts back while it lives: one that comes meanwhile waits
// and is taken as soon as they are let through again.
class InterruptsHeld {
public:
    InterruptsHeld() {
        const sigset_t set = interrupt_set();
        sigprocmask(SIG_BLOCK, &set, &previous_);
    }
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;
    ~InterruptsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

private:
    sigset_t previous_;
};

extern "C" void remove_and_end(int signal) {
    if (armed) remove_temporary_now(armedName);
    // The signal is held back until the handler returns; then it ends the
    // process with its own status.
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

// Catches `signal` unless it is ignored: a run started under nohup, or in the
// background by a shell without job control, must go on ignoring it.
void catch_unless_ignored(int signal) {
    struct sigaction current;
    if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) return;
    struct sigaction handler = {};
    handler.sa_handler = remove_and_end;
    handler.sa_mask = interrupt_set();  // a second interrupt waits for the first one's removal
    handler.sa_flags = SA_RESTART;
    sigaction(signal, &handler, nullptr);
}

}  // namespace

void ignore_file_size_signal() { std::signal(SIGXFSZ, SIG_IGN); }

void remove_on_interrupt(const PendingOutput* out) {
    const InterruptsHeld held;
    armed = 0;
    if (out) armedName = out->temporary();
    armed = out != nullptr;
    for (const int signal : kInterrupts) catch_unless_ignored(signal);
}

bool open_output_removed_on_interrupt(const std::string& name, PendingOutput& out,
                                      OutputLinks links) {
    const InterruptsHeld held;
    const bool opened = open_output(name, out, links);
    remove_on_interrupt(opened ? &out : nullptr);
    return opened;
}

}  // namespace md3
