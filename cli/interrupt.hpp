// What the programs do about signals while they save: a model is either saved
// whole or not at all, and an interrupted save leaves nothing beside it.
#pragma once

#include <string>

#include "model_io.hpp"

namespace md3 {

// Past a file-size limit a write must fail like it does on a full disk, not
// kill the process and leave a temporary behind. Call first thing in main.
void ignore_file_size_signal();

// While `out` is set, an interrupt (SIGINT, SIGTERM, SIGHUP) removes its
// temporary before the process ends as the signal would have ended it; an
// interrupt the process was started ignoring stays ignored. The name is
// copied now: set it once the output is open, and clear it (nullptr) once it
// is committed or discarded.
void remove_on_interrupt(const PendingOutput* out);

// Opens output `name` as open_output does and sets it as the one an interrupt
// removes, with no moment between the two at which an interrupt could leave
// the temporary behind: where the system can hold signals back, one that
// comes meanwhile waits until the removal is ready. Clear it afterwards with
// remove_on_interrupt(nullptr).
bool open_output_removed_on_interrupt(const std::string& name, PendingOutput& out,
                                      OutputLinks links = OutputLinks::follow);

}  // namespace md3
