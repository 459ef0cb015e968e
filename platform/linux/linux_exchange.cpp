// An exchange with a display under a deadline: the deadline, what a backend's stages become, and the
// exchange on the calling thread. (The child process is in linux_child.cpp.)
#include "linux_exchange.h"

#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "linux_descriptors.h"
#include "linux_exchange_parts.h"
#include "linux_libraries.h"

namespace {

const long long kIdleMs = 5000;
const long long kMostMs = 30000;

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

}  // namespace

long long NowMs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

Deadline Started(Exchange* within)
{
    const long long now = NowMs();
    return {now, now + (within != nullptr ? LeftMs(within->deadline) : kMostMs)};
}

int LeftMs(const Deadline& deadline)
{
    const long long idle = deadline.last_progress + kIdleMs;
    const long long left = (idle < deadline.last_call ? idle : deadline.last_call) - NowMs();
    return left > 0 ? int(left) : 0;
}

size_t PayloadOf(const Message& message)
{
    switch (message.kind) {
        case kPublish: return message.value * sizeof(MONITORINFOEXW);
        case kUpdate: return sizeof(MONITORINFOEXW);
        case kFailed: return message.value;
        default: return 0;
    }
}

bool Apply(MonitorList* list, const Message& message, const void* payload)
{
    if (message.kind == kPublish) {
        const size_t count = message.value;
        MONITORINFOEXW* copy = static_cast<MONITORINFOEXW*>(malloc((count ? count : 1) * sizeof *copy));
        if (copy == nullptr) {
            return false;
        }
        if (count > 0) {
            memcpy(copy, payload, count * sizeof *copy);
        }
        free(list->monitors);
        *list = {copy, count};
    } else if (message.kind == kUpdate && message.value < list->count) {
        memcpy(&list->monitors[message.value], payload, sizeof(MONITORINFOEXW));
    } else if (message.kind == kFailed) {
        char line[1024];
        const size_t length = message.value < sizeof line ? message.value : sizeof line - 1;
        memcpy(line, payload, length);
        line[length] = '\0';
        RecordLibraryFailure(line);
    }
    return true;
}

// What was read is kept even where the time is gone: the rule is the lines of what was read.
bool Send(Exchange* exchange, Kind kind, size_t value, const void* payload)
{
    exchange->deadline.last_progress = NowMs();
    const Message message = {kind, uint32_t(value)};
    if (exchange->channel < 0) {
        return Apply(&exchange->kept, message, payload);
    }
    return WriteAll(exchange->channel, &message, sizeof message) &&
           WriteAll(exchange->channel, payload, PayloadOf(message));
}

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
    return LeftMs(exchange->deadline);
}

namespace {

ExchangeResult Run(ExchangeBackend* backend, void* context, const Deadline& deadline)
{
    Exchange exchange = {-1, {}, deadline};
    ExchangeResult result = {};
    result.reached = backend(&exchange, context);
    result.list = exchange.kept;
    return result;
}

}  // namespace

ExchangeResult RunExchange(ExchangeBackend* backend, void* context)
{
    return Run(backend, context, Started(nullptr));
}

// A write to a display that has gone fails with EPIPE here too, and the SIGPIPE it raises is taken
// before the mask is put back.
ExchangeResult RunHere(ExchangeBackend* backend, void* context, const Deadline& deadline)
{
    sigset_t pipe, mask, pending;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigprocmask(SIG_BLOCK, &pipe, &mask);
    sigpending(&pending);
    const bool was_pending = sigismember(&pending, SIGPIPE) == 1;
    const int saved = SilenceStandardError();

    const ExchangeResult result = Run(backend, context, deadline);

    RestoreStandardError(saved);
    sigpending(&pending);
    const timespec now = {0, 0};
    if (!was_pending && sigismember(&pending, SIGPIPE) == 1) {
        sigtimedwait(&pipe, nullptr, &now);
    }
    sigprocmask(SIG_SETMASK, &mask, nullptr);
    return result;
}
