// The descriptors of the worker and of the program, kept apart.
#include "linux_descriptors.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

// What the display libraries open in the worker's own table never takes a standard descriptor's
// number in the program's, and what they write to descriptor 2 (libxcb writes a server's refusal
// there) goes to /dev/null, even after the exchange is given up. Closing the worker's copies of 0
// and 1 leaves room under a low descriptor limit.
void OwnDescriptors()
{
    if (unshare(CLONE_FILES) != 0) {
        return;  // a sandbox that forbids it: HoldClosedStandardDescriptors still holds 0 to 2
    }
    close(0);
    close(1);
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null != 2) {
        dup2(null, 2);  // with no descriptor to copy, closes nothing and 2 stays as it was...
        if (null < 0) {
            close(2);  // ...so close it: a write there then fails quietly
        } else {
            close(null);
        }
    }
}

int HoldClosedStandardDescriptors()
{
    int held = 0;
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0) {
            continue;
        }
        const int opened = open("/dev/null", O_RDWR | O_CLOEXEC);
        if (opened == fd) {
            held |= 1 << fd;
        } else if (opened >= 0) {
            close(opened);
        }
    }
    return held;
}

void ReleaseStandardDescriptors(int held)
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (held & (1 << fd)) {
            close(fd);
        }
    }
}
