// The descriptors of the worker and of the program, kept apart: a closed standard descriptor of
// the program stays closed for the program's own use, and a library's words on descriptor 2
// never reach standard error.
#pragma once

// Puts /dev/null on each closed standard descriptor for the rest of the run, so that no
// descriptor a library opens takes its number. It is opened so that the program's own use fails
// as on a closed descriptor (EBADF): 0 for writing only, 1 and 2 for reading only.
void HoldClosedStandardDescriptors();

// On the worker: a descriptor table of its own, with 2 on /dev/null and 0 and 1 closed. Where a
// sandbox refuses that, descriptor 2 of the shared table goes to /dev/null instead, and the
// result is a copy of the one it had, for RestoreStandardError; otherwise -1.
int OwnDescriptors();

// Puts back the descriptor 2 that OwnDescriptors set aside (-1: nothing to do).
void RestoreStandardError(int saved);
