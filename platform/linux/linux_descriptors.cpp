// The standard descriptors around an exchange.
#include "linux_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

void HoldClosedStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0) {
            // The lower ones are open by now, so this takes the number `fd`.
            open("/dev/null", (fd == 0 ? O_WRONLY : O_RDONLY) | O_CLOEXEC);
        }
    }
}

namespace {

// Puts /dev/null on descriptor 2; false, having changed nothing, with no descriptor to spare.
bool NullOnStandardError()
{
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0) {
        return false;
    }
    dup2(null, 2);
    close(null);
    return true;
}

}  // namespace

// What the libraries write to descriptor 2 (libxcb writes a server's refusal there) goes to
// /dev/null. Closing 0 and 1 leaves room under a low descriptor limit: the child needs them not.
void QuietChildDescriptors()
{
    close(0);
    close(1);
    if (!NullOnStandardError()) {
        close(2);  // a write there then fails quietly
    }
}

int SilenceStandardError()
{
    const int saved = fcntl(2, F_DUPFD_CLOEXEC, 3);
    if (saved >= 0 && !NullOnStandardError()) {
        close(saved);
        return -1;
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
