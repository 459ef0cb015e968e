// The standard descriptors around an exchange.
#include "linux_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

int OpenInert()
{
    return open("/", O_PATH | O_CLOEXEC);
}

// Puts an inert descriptor on 2; false, having changed nothing, with no descriptor to spare.
bool InertOnStandardError()
{
    const int inert = OpenInert();
    if (inert < 0) {
        return false;
    }
    dup2(inert, 2);
    close(inert);
    return true;
}

}  // namespace

void HoldClosedStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0) {
            OpenInert();  // the lower ones are open by now, so this takes the number `fd`
        }
    }
}

// What the libraries write to descriptor 2 (libxcb writes a server's refusal there) goes nowhere.
// Closing 0 and 1 leaves room under a low descriptor limit: the child needs them not.
void QuietChildDescriptors()
{
    close(0);
    close(1);
    if (!InertOnStandardError()) {
        close(2);  // a write there then fails quietly
    }
}

int SilenceStandardError()
{
    const int saved = fcntl(2, F_DUPFD_CLOEXEC, 3);
    if (saved >= 0 && !InertOnStandardError()) {
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
