// The display client libraries, loaded by soname, and the error that a missing one is.
#include "linux_libraries.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

char failure[1024];  // empty where no library failed

// main ends with the status its report earned, the same on every platform; a library that will
// not load is a fault of the installation, which only this layer sees. So the status is set on
// the way out, once main's own output has been flushed.
void EndWithFailure()
{
    fflush(stdout);
    _exit(1);
}

// dlerror()'s text starts with the path of the library it speaks of ("/lib/.../libxcb.so.1: file
// too short"). Where that is `soname` itself, the soname already names it; where it is another
// ("libXau.so.6: cannot open shared object file"), that name is the point of the message.
const char* WithoutOwnPath(const char* reason, const char* soname)
{
    const char* colon = strstr(reason, ": ");
    if (colon == nullptr) {
        return reason;
    }
    const char* name = colon;
    while (name != reason && name[-1] != '/') {
        --name;
    }
    const size_t length = strlen(soname);
    return size_t(colon - name) == length && strncmp(name, soname, length) == 0 ? colon + 2 : reason;
}

}  // namespace

void LibraryFailed(const char* soname, const char* reason)
{
    char line[sizeof failure];
    const int length = snprintf(line, sizeof line, "monitor_listing: cannot load %s: %s\n", soname,
                                reason != nullptr ? WithoutOwnPath(reason, soname) : "unknown error");
    if (length >= int(sizeof line)) {
        line[sizeof line - 2] = '\n';  // one line still, however long the loader's reason
    }
    RecordLibraryFailure(line);
}

void RecordLibraryFailure(const char* line)
{
    if (failure[0] == '\0' && line[0] != '\0') {
        snprintf(failure, sizeof failure, "%s", line);
        atexit(EndWithFailure);
    }
}

const char* LibraryFailure()
{
    return failure[0] != '\0' ? failure : nullptr;
}

void* OpenLibrary(const char* soname)
{
    // Never closed: the calls are used until the process ends. Bound now, so that a library whose
    // own calls cannot be resolved (a dependency of another version) fails here, with the
    // loader's reason, rather than ending the process at its first call.
    void* library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        LibraryFailed(soname, dlerror());
    }
    return library;
}
