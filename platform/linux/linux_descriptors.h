// The standard descriptors around an exchange: a closed one of the program stays closed for the
// program's own use, and a library's words on descriptor 2 never reach standard error. What holds
// a number is an inert descriptor, a path descriptor of the root: it refuses reading and writing
// alike (EBADF), as a closed one does, and needs no /dev/null, which a sandbox or chroot may lack.
#pragma once

// Puts an inert descriptor on each closed standard descriptor for the rest of the run, so that no
// descriptor a library or the exchange opens takes its number.
void HoldClosedStandardDescriptors();

// In the exchange's child: 0 and 1 closed, 2 inert.
void QuietChildDescriptors();

// On the calling thread, where no child could be had: puts an inert descriptor on 2 and returns a
// copy of the one it had, for RestoreStandardError; -1, having changed nothing, where that would
// take the last descriptors, which the connection needs more.
int SilenceStandardError();

// Puts back the descriptor 2 that SilenceStandardError set aside (-1: nothing to do).
void RestoreStandardError(int saved);
