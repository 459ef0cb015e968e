// The parts of an exchange that its calling-thread and child-process sides share: the deadline, the
// messages a backend's stages become, and the record of what was published.
#pragma once

#include <stdint.h>

#include "linux_exchange.h"

long long NowMs();

// Given up when no stage has completed for 5 s, or at the latest call.
struct Deadline {
    long long last_progress;
    long long last_call;
};

// A deadline from now: 30 s in all, or what is left of `within`'s time (null: none).
Deadline Started(Exchange* within);
// Milliseconds left until the deadline; 0 once it has passed.
int LeftMs(const Deadline& deadline);

enum Kind : uint32_t { kProgress, kPublish, kUpdate, kFailed, kEnd };

// A message from the backend, followed by `value` records (kPublish), one (kUpdate), or the
// `value` bytes of the line that LibraryFailed recorded (kFailed).
struct Message {
    uint32_t kind;
    uint32_t value;  // the count, the index, the length, or whether the display was reached (kEnd)
};

// The bytes that follow the message.
size_t PayloadOf(const Message& message);

// Applies a message to the records kept, or records a library's failure; false where there is no
// memory for them.
bool Apply(MonitorList* list, const Message& message, const void* payload);

struct Exchange {
    int channel;       // the pipe to the program, in a child; -1 on the calling thread
    MonitorList kept;  // on the calling thread: what was published
    Deadline deadline;
};

// Makes a stage's message progress, and keeps it (on the calling thread) or sends it to the program.
bool Send(Exchange* exchange, Kind kind, size_t value, const void* payload = nullptr);

// Runs `backend` on the calling thread, where no child could be had for it.
ExchangeResult RunHere(ExchangeBackend* backend, void* context, const Deadline& deadline);
