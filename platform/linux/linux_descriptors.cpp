// The descriptors of the worker and of the program, kept apart.
#include "linux_descriptors.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace {

// Puts /dev/null, opened with `flags`, on `fd`; with no descriptor to spare, closes `fd`.
void NullOn(int fd, int flags)
{
    const int null = open("/dev/null", flags | O_CLOEXEC);
    if (null == fd) {
        return;
    }
    if (null < 0) {
        close(fd);  // a write there then fails quietly
        return;
    }
    dup2(null, fd);
    close(null);
}

}  // namespace

void HoldClosedStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0) {
            // The lower ones are open by now, so this takes the number `fd`.
            open("/dev/null", (fd == 0 ? O_WRONLY : O_RDONLY) | O_CLOEXEC);
        }
    }
}

// In a table of its own, what the libraries open never takes a standard descriptor's number in
// the program's, and what they write to descriptor 2 (libxcb writes a server's refusal there)
// goes to /dev/null even after the exchange is given up. Closing the worker's copies of 0 and 1
// leaves room under a low descriptor limit.
int OwnDescriptors()
{
    if (unshare(CLONE_FILES) == 0) {
        close(0);
        close(1);
        NullOn(2, O_WRONLY);
        return -1;
    }
    // Container runtimes' default filters refuse unshare: the program's descriptor 2 is set
    // aside while the libraries run, if there is a descriptor to spare for it.
    const int saved = fcntl(2, F_DUPFD_CLOEXEC, 3);
    if (saved >= 0) {
        NullOn(2, O_WRONLY);
    }
    return saved;
}

void RestoreStandardError(int saved)
{
    if (saved >= 0) {
        dup2(saved, 2);
        close(saved);
    }
}
