// The exchange in a child process: fork without exec, each call of the backend a message on a
// pipe to the program, which keeps what was published and kills the child at the deadline. A
// child costs more to start than a thread, but one that is given up is gone whole, where a thread
// would run on inside a library beside the program's exit.
#include "linux_exchange.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "linux_descriptors.h"

namespace {

const long long kIdleMs = 5000;
const long long kMostMs = 30000;

long long NowMs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

// Given up when no stage has completed for 5 s, or 30 s after the start.
struct Deadline {
    long long last_progress;
    long long last_call;
};

Deadline Started()
{
    const long long now = NowMs();
    return {now, now + kMostMs};
}

int LeftMs(const Deadline& deadline)
{
    const long long idle = deadline.last_progress + kIdleMs;
    const long long left = (idle < deadline.last_call ? idle : deadline.last_call) - NowMs();
    return left > 0 ? int(left) : 0;
}

enum Kind : uint32_t { kProgress, kPublish, kUpdate, kEnd };

// A message from the backend, followed by `value` records (kPublish) or one (kUpdate).
struct Message {
    uint32_t kind;
    uint32_t value;  // the count, the index, or whether the display was reached (kEnd)
};

size_t RecordsOf(const Message& message)
{
    return message.kind == kPublish ? message.value : message.kind == kUpdate ? 1 : 0;
}

// Applies a message to the records kept; false where there is no memory for them.
bool Apply(MonitorList* list, const Message& message, const MONITORINFOEXW* records)
{
    if (message.kind == kPublish) {
        const size_t count = message.value;
        MONITORINFOEXW* copy = static_cast<MONITORINFOEXW*>(malloc((count ? count : 1) * sizeof *copy));
        if (copy == nullptr) {
            return false;
        }
        if (count > 0) {
            memcpy(copy, records, count * sizeof *copy);
        }
        free(list->monitors);
        *list = {copy, count};
    } else if (message.kind == kUpdate && message.value < list->count) {
        list->monitors[message.value] = *records;
    }
    return true;
}

}  // namespace

struct Exchange {
    int channel;       // the pipe to the program; -1 on the calling thread
    MonitorList kept;  // on the calling thread: what was published
    Deadline deadline;
    bool given_up;
};

namespace {

bool WriteAll(int fd, const void* data, size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        size -= size_t(written);
    }
    return true;
}

bool Send(Exchange* exchange, Kind kind, size_t value, const MONITORINFOEXW* records = nullptr)
{
    if (exchange->given_up) {
        return false;
    }
    exchange->deadline.last_progress = NowMs();
    const Message message = {kind, uint32_t(value)};
    const bool sent = exchange->channel < 0
                          ? Apply(&exchange->kept, message, records)
                          : WriteAll(exchange->channel, &message, sizeof message) &&
                                WriteAll(exchange->channel, records, RecordsOf(message) * sizeof *records);
    exchange->given_up = !sent;
    return sent;
}

}  // namespace

bool ExchangeProgress(Exchange* exchange)
{
    return Send(exchange, kProgress, 0);
}

bool ExchangePublish(Exchange* exchange, const MONITORINFOEXW* monitors, size_t count)
{
    return count <= UINT32_MAX && Send(exchange, kPublish, count, monitors);
}

bool ExchangeUpdate(Exchange* exchange, size_t index, const MONITORINFOEXW& monitor)
{
    return index < UINT32_MAX && Send(exchange, kUpdate, index, &monitor);
}

int ExchangeWaitMs(Exchange* exchange)
{
    const int left = exchange->given_up ? 0 : LeftMs(exchange->deadline);
    exchange->given_up = left == 0;
    return left;
}

namespace {

// In the child: runs the backend, says whether it reached its display, and ends without the
// program's exit path (its exit handlers, its buffered output), which is the program's alone.
[[noreturn]] void Serve(ExchangeBackend* backend, int channel, pid_t program)
{
    // Whatever ends the program ends the child too.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != program) {
        _exit(0);
    }
    signal(SIGPIPE, SIG_IGN);
    QuietChildDescriptors();
    Exchange exchange = {channel, {}, Started(), false};
    const bool reached = backend(&exchange);
    exchange.given_up = false;
    Send(&exchange, kEnd, reached);
    _exit(0);
}

// Reads `size` bytes from the child, waiting until the deadline at most; false at the deadline
// or once the child has ended.
bool ReadAll(int fd, void* data, size_t size, const Deadline& deadline)
{
    char* bytes = static_cast<char*>(data);
    while (size > 0) {
        pollfd channel = {fd, POLLIN, 0};
        const int left = LeftMs(deadline);
        const int ready = left > 0 ? poll(&channel, 1, left) : 0;
        const ssize_t got = ready > 0 ? read(fd, bytes, size) : -1;
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        bytes += got;
        size -= size_t(got);
    }
    return true;
}

// Keeps what the child publishes until it ends or the deadline passes; true when it ended.
bool Follow(int channel, ExchangeResult* result)
{
    Deadline deadline = Started();
    MONITORINFOEXW* records = nullptr;
    Message message;
    bool ended = false;
    while (!ended && ReadAll(channel, &message, sizeof message, deadline)) {
        const size_t count = RecordsOf(message);
        MONITORINFOEXW* grown =
            static_cast<MONITORINFOEXW*>(realloc(records, (count ? count : 1) * sizeof *records));
        if (grown == nullptr) {
            break;
        }
        records = grown;
        if (!ReadAll(channel, records, count * sizeof *records, deadline) ||
            !Apply(&result->list, message, records)) {
            break;
        }
        deadline.last_progress = NowMs();
        ended = message.kind == kEnd;
        result->reached = ended && message.value != 0;
    }
    free(records);
    return ended;
}

// Runs the backend in a child; false, having run nothing, where no child can be had.
bool RunInChild(ExchangeBackend* backend, ExchangeResult* result)
{
    int channel[2];
    if (pipe2(channel, O_CLOEXEC) != 0) {
        return false;
    }
    const pid_t program = getpid();
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        Serve(backend, channel[1], program);
    }
    close(channel[1]);
    if (child > 0 && !Follow(channel[0], result)) {
        result->reached = true;
        kill(child, SIGKILL);
    }
    close(channel[0]);
    while (child > 0 && waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    return child > 0;
}

// On the calling thread: a write to a display that has gone fails with EPIPE here too, and the
// SIGPIPE it raises is taken before the mask is put back.
ExchangeResult RunHere(ExchangeBackend* backend)
{
    sigset_t pipe, mask, pending;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigprocmask(SIG_BLOCK, &pipe, &mask);
    sigpending(&pending);
    const bool was_pending = sigismember(&pending, SIGPIPE) == 1;
    const int saved = SilenceStandardError();

    Exchange exchange = {-1, {}, Started(), false};
    ExchangeResult result = {};
    result.reached = backend(&exchange);
    result.list = exchange.kept;

    RestoreStandardError(saved);
    sigpending(&pending);
    const timespec now = {0, 0};
    if (!was_pending && sigismember(&pending, SIGPIPE) == 1) {
        sigtimedwait(&pipe, nullptr, &now);
    }
    sigprocmask(SIG_SETMASK, &mask, nullptr);
    return result;
}

}  // namespace

ExchangeResult RunExchange(ExchangeBackend* backend)
{
    HoldClosedStandardDescriptors();
    ExchangeResult result = {};
    if (!RunInChild(backend, &result)) {
        result = RunHere(backend);
    }
    return result;
}
