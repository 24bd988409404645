// A run holds every file its projects list open until it ends, and a batch
// holds those of several units at once. POSIX limits the descriptors a
// process may have (1,024 by default); Windows does not limit handles so.
#pragma once

#include <cstddef>

namespace vireo {

// Raises this process's limit on open files to the most it may have (its
// hard limit). False when the limit could not be read or raised.
bool RaiseOpenFileLimit();

// How many files this process may have open at once (SIZE_MAX: no limit).
size_t OpenFileLimit();

}  // namespace vireo
