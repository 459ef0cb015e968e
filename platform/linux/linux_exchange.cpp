// An exchange with a display, given up when it stops making progress: on a worker thread for a
// backend whose library can wait without end, on the calling thread for one whose every wait
// has a time limit. A thread rather than a child process, which costs more to start. Nothing
// here uses signals, so the parent's signal mask and dispositions make no difference.
#include "linux_exchange.h"

#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "linux_descriptors.h"

namespace {

const time_t kIdleSeconds = 5;

struct ExchangeState {
    pthread_mutex_t lock;
    pthread_cond_t ended;
    ExchangeBackend* backend;
    MonitorList published;
    timespec last_call;  // given up then, whatever progress it makes
    timespec last_progress;
    int saved_stderr;  // the program's descriptor 2 while the worker shares its table, or -1
    bool reached;      // what the backend returned
    bool finished;     // the backend has returned
    bool abandoned;    // given up: the caller has taken what was published and gone on
};

timespec Now()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

bool Before(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

timespec Plus(timespec t, time_t seconds)
{
    t.tv_sec += seconds;
    return t;
}

timespec PlusMs(timespec t, int ms)
{
    t.tv_sec += ms / 1000;
    t.tv_nsec += long(ms % 1000) * 1000000;
    if (t.tv_nsec >= 1000000000) {
        t.tv_sec += 1;
        t.tv_nsec -= 1000000000;
    }
    return t;
}

void Destroy(ExchangeState* state)
{
    pthread_cond_destroy(&state->ended);
    pthread_mutex_destroy(&state->lock);
    free(state->published.monitors);
    free(state);
}

void* Work(void* argument)
{
    ExchangeState* state = static_cast<ExchangeState*>(argument);
    const int saved = OwnDescriptors();
    pthread_mutex_lock(&state->lock);
    if (state->abandoned) {
        RestoreStandardError(saved);
    } else {
        state->saved_stderr = saved;
    }
    pthread_mutex_unlock(&state->lock);
    const bool reached = state->backend(reinterpret_cast<Exchange*>(state));

    pthread_mutex_lock(&state->lock);
    RestoreStandardError(state->saved_stderr);  // unless the caller, giving up, has done it
    state->saved_stderr = -1;
    state->reached = reached;
    state->finished = true;
    const bool abandoned = state->abandoned;
    pthread_cond_signal(&state->ended);
    pthread_mutex_unlock(&state->lock);
    if (abandoned) {
        Destroy(state);
    }
    return nullptr;
}

// Runs while holding the lock: when the exchange is to be given up, having completed no stage
// for 5 s or having run as long as it may.
timespec Deadline(const ExchangeState* state)
{
    const timespec idle = Plus(state->last_progress, kIdleSeconds);
    return Before(state->last_call, idle) ? state->last_call : idle;
}

// Runs while holding the lock: records progress, or says the exchange was given up.
bool Progressed(ExchangeState* state)
{
    if (state->abandoned) {
        return false;
    }
    state->last_progress = Now();
    return true;
}

}  // namespace

bool ExchangeProgress(Exchange* exchange)
{
    ExchangeState* state = reinterpret_cast<ExchangeState*>(exchange);
    pthread_mutex_lock(&state->lock);
    const bool go_on = Progressed(state);
    pthread_mutex_unlock(&state->lock);
    return go_on;
}

bool ExchangePublish(Exchange* exchange, const MONITORINFOEXW* monitors, size_t count)
{
    ExchangeState* state = reinterpret_cast<ExchangeState*>(exchange);
    MONITORINFOEXW* copy = static_cast<MONITORINFOEXW*>(malloc((count ? count : 1) * sizeof *copy));
    if (copy == nullptr) {
        return false;
    }
    memcpy(copy, monitors, count * sizeof *copy);

    pthread_mutex_lock(&state->lock);
    const bool go_on = Progressed(state);
    if (go_on) {
        MONITORINFOEXW* old = state->published.monitors;
        state->published = {copy, count};
        copy = old;
    }
    pthread_mutex_unlock(&state->lock);
    free(copy);
    return go_on;
}

int ExchangeWaitMs(Exchange* exchange)
{
    ExchangeState* state = reinterpret_cast<ExchangeState*>(exchange);
    pthread_mutex_lock(&state->lock);
    const timespec deadline = Deadline(state), now = Now();
    long long ms = 0;
    if (!state->abandoned && Before(now, deadline)) {
        ms = (deadline.tv_sec - now.tv_sec) * 1000LL + (deadline.tv_nsec - now.tv_nsec) / 1000000 + 1;
    }
    if (ms == 0) {
        state->abandoned = true;
    }
    pthread_mutex_unlock(&state->lock);
    return int(ms);
}

bool ExchangeUpdate(Exchange* exchange, size_t index, const MONITORINFOEXW& monitor)
{
    ExchangeState* state = reinterpret_cast<ExchangeState*>(exchange);
    pthread_mutex_lock(&state->lock);
    const bool go_on = Progressed(state);
    if (go_on && index < state->published.count) {
        state->published.monitors[index] = monitor;
    }
    pthread_mutex_unlock(&state->lock);
    return go_on;
}

namespace {

ExchangeState* NewState(ExchangeBackend* backend, int most_ms)
{
    ExchangeState* state = static_cast<ExchangeState*>(calloc(1, sizeof(ExchangeState)));
    if (state == nullptr) {
        return nullptr;
    }
    pthread_mutex_init(&state->lock, nullptr);
    pthread_condattr_t clock;
    pthread_condattr_init(&clock);
    pthread_condattr_setclock(&clock, CLOCK_MONOTONIC);
    pthread_cond_init(&state->ended, &clock);
    pthread_condattr_destroy(&clock);
    state->backend = backend;
    state->saved_stderr = -1;
    state->last_progress = Now();
    state->last_call = PlusMs(state->last_progress, most_ms);
    return state;
}

// The worker starts with every signal blocked: signals for the process go to this thread as
// before, and a SIGPIPE from writing to a display that has gone stays pending on the worker.
bool StartWorker(ExchangeState* state, pthread_t* worker)
{
    // One heap for both threads: a heap of the worker's own would cost fresh mappings and their
    // page faults for the few allocations it makes.
    mallopt(M_ARENA_MAX, 1);
    sigset_t all, mask;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &mask);
    const bool started = pthread_create(worker, nullptr, Work, state) == 0;
    pthread_sigmask(SIG_SETMASK, &mask, nullptr);
    return started;
}

// Waits until the worker has finished, or has completed no stage for 5 s, or 30 s have passed;
// then takes what it published. Returns whether it finished.
bool AwaitWorker(ExchangeState* state, ExchangeResult* result)
{
    pthread_mutex_lock(&state->lock);
    while (!state->finished) {
        const timespec deadline = Deadline(state);
        if (!Before(Now(), deadline)) {
            break;
        }
        pthread_cond_timedwait(&state->ended, &state->lock, &deadline);
    }
    result->list = state->published;
    state->published = {};
    const bool finished = state->finished;
    result->reached = state->reached || !finished;
    if (!finished) {
        // The program's standard error is back for its own words; a library's that come later
        // still would reach it, where the worker could not have a table of its own.
        state->abandoned = true;
        RestoreStandardError(state->saved_stderr);
        state->saved_stderr = -1;
    }
    pthread_mutex_unlock(&state->lock);
    return finished;
}

}  // namespace

ExchangeResult RunExchangeHere(ExchangeBackend* backend)
{
    ExchangeState* state = NewState(backend, kExchangeMostMs);
    if (state == nullptr) {
        return {};
    }
    HoldClosedStandardDescriptors();
    ExchangeResult result = {};
    result.reached = backend(reinterpret_cast<Exchange*>(state));
    result.list = state->published;
    state->published = {};
    Destroy(state);
    return result;
}

ExchangeResult RunExchange(ExchangeBackend* backend, int most_ms)
{
    ExchangeState* state = NewState(backend, most_ms);
    if (state == nullptr) {
        return {};
    }
    HoldClosedStandardDescriptors();
    pthread_t worker;
    ExchangeResult result = {};
    if (!StartWorker(state, &worker)) {
        Destroy(state);
    } else if (AwaitWorker(state, &result)) {
        pthread_join(worker, nullptr);
        Destroy(state);
    } else {
        pthread_detach(worker);  // it frees the state if it ever ends; the process ends soon anyway
    }
    return result;
}
