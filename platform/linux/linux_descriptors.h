// The standard descriptors around an exchange: a closed one of the program stays closed for the
// program's own use, and a library's words on descriptor 2 never reach standard error.
#pragma once

// Puts /dev/null on each closed standard descriptor for the rest of the run, so that no
// descriptor a library or the exchange opens takes its number. It is opened so that the
// program's own use fails as on a closed descriptor (EBADF): 0 for writing only, 1 and 2 for
// reading only.
void HoldClosedStandardDescriptors();

// In the exchange's child: 0 and 1 closed, 2 on /dev/null.
void QuietChildDescriptors();

// On the calling thread, where no child could be had: puts /dev/null on descriptor 2 and returns
// a copy of the one it had, for RestoreStandardError; -1, having changed nothing, where that
// would take the last descriptors, which the connection needs more.
int SilenceStandardError();

// Puts back the descriptor 2 that SilenceStandardError set aside (-1: nothing to do).
void RestoreStandardError(int saved);
