// A deadline on the whole exchange with the X server, so that one that never answers cannot
// hold the program.
#include "x11_deadline.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <time.h>

namespace {

// A real server answers in milliseconds; a slow remote one gets this long for the whole exchange.
const itimerval kDeadline = {{0, 100000}, {4, 0}};

// libxcb's waits retry when a signal interrupts them, so the deadline cannot simply interrupt
// them: it shuts the socket down, which every later wait sees as the end of the connection.
// The timer goes on ticking after the deadline, so a blocking connect() is interrupted too.
volatile sig_atomic_t watched_socket = -1;

void OnDeadline(int)
{
    const int fd = watched_socket;
    if (fd >= 0) {
        shutdown(fd, SHUT_RDWR);
    }
}

struct Saved {
    struct sigaction alarm;
    itimerval timer;
    sigset_t mask;
    bool pipe_pending;
} saved;

sigset_t OnlySigpipe()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    return set;
}

bool SigpipePending()
{
    sigset_t pending;
    sigpending(&pending);
    return sigismember(&pending, SIGPIPE) == 1;
}

}  // namespace

// Writing to a server that has gone raises SIGPIPE, whose default ends the process: it is held
// back while we talk to the server, and taken away afterwards if the server raised it.
void ArmDeadline()
{
    const sigset_t pipe = OnlySigpipe();
    sigprocmask(SIG_BLOCK, &pipe, &saved.mask);
    saved.pipe_pending = SigpipePending();

    struct sigaction alarm = {};
    alarm.sa_handler = OnDeadline;
    sigemptyset(&alarm.sa_mask);
    sigaction(SIGALRM, &alarm, &saved.alarm);
    setitimer(ITIMER_REAL, &kDeadline, &saved.timer);
}

void DisarmDeadline()
{
    setitimer(ITIMER_REAL, &saved.timer, nullptr);
    watched_socket = -1;
    sigaction(SIGALRM, &saved.alarm, nullptr);

    const sigset_t pipe = OnlySigpipe();
    const timespec now = {0, 0};
    if (!saved.pipe_pending && SigpipePending()) {
        sigtimedwait(&pipe, nullptr, &now);
    }
    sigprocmask(SIG_SETMASK, &saved.mask, nullptr);
}

void WatchSocket(int fd)
{
    watched_socket = fd;
}
