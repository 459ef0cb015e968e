// The display client libraries, loaded by soname at run time for the display being read, as the
// system's own: one program file, nothing looked up beside it.
#pragma once

#include <dlfcn.h>

// Opens `soname` for its calls; null when it cannot be loaded, having said why (LibraryFailed).
void* OpenLibrary(const char* soname);

// Writes "monitor_listing: cannot load SONAME: REASON" to standard error, once, and makes the
// run end with status 1 after its wait, as for a report that could not be written.
void LibraryFailed(const char* soname, const char* reason);

// Sets `*call` to the entry `name` of `library`; false when it has none, having said why.
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
