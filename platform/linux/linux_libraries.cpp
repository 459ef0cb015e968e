// The display client libraries, loaded by soname, and the error that a missing one is.
#include "linux_libraries.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

bool failed = false;

// main ends with the status its report earned, the same on every platform; a library that will
// not load is a fault of the installation, which only this layer sees. So the status is set on
// the way out, once main's own output has been flushed.
void EndWithFailure()
{
    fflush(stdout);
    _exit(1);
}

}  // namespace

void LibraryFailed(const char* soname, const char* reason)
{
    if (failed) {
        return;
    }
    failed = true;
    // dlerror() starts with the path it tried ("/lib/.../libxcb.so.1: file too short"): the
    // soname already names the library.
    const char* rest = reason != nullptr ? strstr(reason, ": ") : nullptr;
    fprintf(stderr, "monitor_listing: cannot load %s: %s\n", soname,
            rest != nullptr     ? rest + 2
            : reason != nullptr ? reason
                                : "unknown error");
    atexit(EndWithFailure);
}

void* OpenLibrary(const char* soname)
{
    // Never closed: the calls are used until the process ends.
    void* library = dlopen(soname, RTLD_LAZY | RTLD_LOCAL);
    if (library == nullptr) {
        LibraryFailed(soname, dlerror());
    }
    return library;
}
