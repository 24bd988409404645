// A run holds every file its projects list open until it ends, and a batch
// holds those of several units at once: more than the 1,024 descriptors a
// process may have by default.
#pragma once

namespace vireo {

// Raises this process's limit on open files to the most it may have (its
// hard limit). False when the limit could not be read or raised.
bool RaiseOpenFileLimit();

}  // namespace vireo
