// The exchange in a child process: fork without exec, each stage of the backend a message on a pipe
// to the program, which keeps what was published and kills the child once it is given up. A child
// costs more to start than a thread, but one that is given up is gone whole, where a thread would
// run on inside a library beside the program's exit.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "linux_descriptors.h"
#include "linux_exchange_parts.h"
#include "linux_libraries.h"

namespace {

// Once the time is gone, the child has this long for its last word (what it read just before its
// own give-up, or on waking after a stop), and to end once killed.
const int kGraceMs = 200;

void* WatchProgram(void* channel)
{
    // The pipe's writing end reports an error once no one can read it: the program has ended.
    pollfd pipe = {int(intptr_t(channel)), 0, 0};
    while (poll(&pipe, 1, -1) <= 0) {
    }
    _exit(0);
}

// In the child: runs the backend, says whether it reached its display, and ends without the
// program's exit path (its exit handlers, its buffered output), which is the program's alone.
[[noreturn]] void Serve(ExchangeBackend* backend, void* context, int channel, const Deadline& deadline)
{
    // Whatever ends the program ends the child too: the kernel says so where it may, and a thread
    // watches the pipe where it may not.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) {
        pthread_attr_t small;
        pthread_t watcher;
        pthread_attr_init(&small);
        pthread_attr_setstacksize(&small, 64 * 1024);
        pthread_create(&watcher, &small, WatchProgram, reinterpret_cast<void*>(intptr_t(channel)));
    }
    // The program may have ended before that. Its pipe says so in any PID namespace, where its
    // process id may mean nothing here.
    pollfd pipe = {channel, 0, 0};
    if (poll(&pipe, 1, 0) > 0) {
        _exit(0);
    }
    signal(SIGPIPE, SIG_IGN);
    QuietChildDescriptors();
    Exchange exchange = {channel, {}, deadline};
    const bool reached = backend(&exchange, context);
    // A library that would not load here is the program's own error.
    if (const char* failure = LibraryFailure()) {
        Send(&exchange, kFailed, strlen(failure), failure);
    }
    Send(&exchange, kEnd, reached);
    _exit(0);
}

// What the program has read from the child and not yet taken.
struct Inbox {
    int channel;  // non-blocking
    Deadline deadline;
    long long grace_end;  // once the time is gone: the end of the child's last moment
    char* bytes;          // malloc'd
    size_t size, capacity;
};

// Waits until the child has written more, or has ended; false once its time is up. A wait that finds
// the time gone first takes what has already arrived, and gives the child its last moment.
bool Await(Inbox* in)
{
    for (;;) {
        int left = LeftMs(in->deadline);
        if (left > 0) {
            in->grace_end = 0;
        } else {
            const long long now = NowMs();
            if (in->grace_end == 0) {
                in->grace_end = now + kGraceMs;
            }
            if (now >= in->grace_end) {
                return false;
            }
            left = int(in->grace_end - now);
        }
        pollfd pipe = {in->channel, POLLIN, 0};
        if (poll(&pipe, 1, left) > 0) {
            return true;
        }
    }
}

// Reads what the child has written, waiting as Await allows; false once its time is up, it has
// ended, or there is no memory.
bool Fill(Inbox* in)
{
    if (in->size == in->capacity) {
        const size_t capacity = in->capacity ? 2 * in->capacity : 4096;
        char* grown = static_cast<char*>(realloc(in->bytes, capacity));
        if (grown == nullptr) {
            return false;
        }
        in->bytes = grown;
        in->capacity = capacity;
    }
    for (;;) {
        const ssize_t got = read(in->channel, in->bytes + in->size, in->capacity - in->size);
        if (got > 0) {
            in->size += size_t(got);
            return true;
        }
        if (got == 0 || (errno != EINTR && (errno != EAGAIN || !Await(in)))) {
            return false;
        }
    }
}

// Takes each whole message read; true once the last has come. Each one is progress.
bool Take(Inbox* in, ExchangeResult* result)
{
    size_t used = 0;
    bool ended = false;
    while (!ended && in->size - used >= sizeof(Message)) {
        Message message;
        memcpy(&message, in->bytes + used, sizeof message);
        const size_t whole = sizeof message + PayloadOf(message);
        if (in->size - used < whole) {
            break;
        }
        Apply(&result->list, message, in->bytes + used + sizeof message);
        in->deadline.last_progress = NowMs();
        ended = message.kind == kEnd;
        result->reached = ended && message.value != 0;
        used += whole;
    }
    if (used > 0) {
        memmove(in->bytes, in->bytes + used, in->size - used);
        in->size -= used;
    }
    return ended;
}

// Keeps what the child publishes until it ends or is given up; true when it ended.
bool Follow(Inbox* in, ExchangeResult* result)
{
    while (!Take(in, result)) {
        if (!Fill(in)) {
            return false;
        }
    }
    return true;
}

// Collects the child once it has ended, waiting `ms` at most, so that no zombie is left while the
// program waits for its character.
void Reap(pid_t child, int ms)
{
    const long long end = NowMs() + ms;
    const int ended = int(syscall(SYS_pidfd_open, child, 0));
    // Without a pidfd (an older kernel, a filter), the child is looked at every millisecond.
    pollfd pidfd = {ended, POLLIN, 0};
    while (waitpid(child, nullptr, WNOHANG) == 0 && NowMs() < end) {
        poll(&pidfd, ended >= 0 ? 1 : 0, ended >= 0 ? int(end - NowMs()) : 1);
    }
    if (ended >= 0) {
        close(ended);
    }
}

// Runs the backend in a child; false, having run nothing, where no child can be had.
bool RunInChild(ExchangeBackend* backend, void* context, const Deadline& deadline, ExchangeResult* result)
{
    int channel[2];
    if (pipe2(channel, O_CLOEXEC) != 0) {
        return false;
    }
    // The child closes its standard descriptors: the pipe must be none of them.
    const pid_t child = channel[0] > 2 && channel[1] > 2 ? fork() : -1;
    if (child == 0) {
        close(channel[0]);
        Serve(backend, context, channel[1], deadline);
    }
    close(channel[1]);
    if (child < 0) {
        close(channel[0]);
        return false;
    }
    fcntl(channel[0], F_SETFL, O_NONBLOCK);
    Inbox in = {channel[0], deadline, 0, nullptr, 0, 0};
    bool ended = Follow(&in, result);
    if (!ended) {
        result->reached = true;
        // Killed, it ends its pipe at once: what it wrote before is still taken. Where it cannot be
        // killed, it ends at its own give-up, or with the program.
        ended = kill(child, SIGKILL) == 0;
        if (ended) {
            in.deadline = {0, 0};
            in.grace_end = NowMs() + kGraceMs;
            Follow(&in, result);
        }
    }
    free(in.bytes);
    close(channel[0]);
    Reap(child, ended ? kGraceMs : 0);
    return true;
}

}  // namespace

ExchangeResult RunExchangeInChild(ExchangeBackend* backend, void* context, Exchange* within)
{
    const Deadline deadline = Started(within);
    ExchangeResult result = {};
    if (!RunInChild(backend, context, deadline, &result)) {
        result = RunHere(backend, context, deadline);
    }
    return result;
}
