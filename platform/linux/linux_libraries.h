// The display client libraries, loaded by soname at run time for the display being read, as the
// system's own: one program file, nothing looked up beside it.
#pragma once

#include <dlfcn.h>

// Opens `soname` for its calls; null when it cannot be loaded, having recorded why (LibraryFailed).
void* OpenLibrary(const char* soname);

// Records the line "monitor_listing: cannot load SONAME: REASON", once, and makes the run end with
// status 1 after its wait, as for a report that could not be written. The line is said on standard
// error by the program, once the display has been read (LibraryFailure).
void LibraryFailed(const char* soname, const char* reason);

// Records `line`, a failure that an exchange's child met, as LibraryFailed does.
void RecordLibraryFailure(const char* line);

// The line recorded, with its line end; null where no library failed.
const char* LibraryFailure();

// Sets `*call` to the entry `name` of `library`; false when it has none, having recorded why.
template <typename Call>
bool LoadCall(void* library, const char* soname, const char* name, Call* call)
{
    void* address = dlsym(library, name);
    if (address == nullptr) {
        LibraryFailed(soname, dlerror());
        return false;
    }
    *call = reinterpret_cast<Call>(address);
    return true;
}
