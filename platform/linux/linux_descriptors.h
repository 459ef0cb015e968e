// The descriptors of the worker and of the program, kept apart: closed standard descriptors of
// the program stay closed while the report is written, and a library's words on descriptor 2
// never reach standard error.
#pragma once

// On the worker: gives it a descriptor table of its own, with 2 on /dev/null and 0 and 1 closed.
void OwnDescriptors();

// Holds each closed standard descriptor with /dev/null while the exchange runs, for a worker that
// could not get a table of its own. Returns the descriptors it opened, as bits.
int HoldClosedStandardDescriptors();

// Closes the descriptors HoldClosedStandardDescriptors opened.
void ReleaseStandardDescriptors(int held);
