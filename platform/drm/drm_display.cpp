// The connectors of /sys/class/drm/cardN-NAME. The tree may lie in any way (a container can mount
// anything there): a file is opened only when it is a regular one, never waited on, and read only
// so far, so that nothing there can hang the program or make it read without end.
#include "drm_display.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "linux_names.h"

namespace {

const uint64_t kNoId = UINT64_MAX;

struct Connector {
    unsigned long card;
    uint64_t id;  // connector_id, or kNoId
    char name[NAME_MAX + 1];  // without the card's prefix
};

struct Free {
    void operator()(void* memory) const { free(memory); }
};
struct CloseDir {
    void operator()(DIR* dir) const { closedir(dir); }
};

// The whole of `entry`/`file`, null-terminated in `text`, when it is a regular file whose end
// shows within the `size - 1` bytes read, so of at most `size - 2` bytes. A FIFO or a device is
// never opened: opening one can wait, or act.
bool ReadSmall(int dir, const char* entry, const char* file, char* text, size_t size, size_t* length)
{
    char path[NAME_MAX + 32];
    snprintf(path, sizeof path, "%s/%s", entry, file);
    struct stat status;
    if (fstatat(dir, path, &status, 0) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    const int fd = openat(dir, path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    // Checked again on what was opened, in case the file was swapped meanwhile.
    ssize_t got = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) ? 1 : -1;
    *length = 0;
    while (got > 0 && *length < size - 1) {
        got = read(fd, text + *length, size - 1 - *length);
        *length += got > 0 ? size_t(got) : 0;
    }
    close(fd);
    text[*length] = '\0';
    return got == 0;  // its end reached, within the bound
}

// Whether the file holds `word`, as sysfs writes it (a newline after) or bare.
bool Reads(int dir, const char* entry, const char* file, const char* word)
{
    char text[32];
    size_t length = 0;
    const size_t n = strlen(word);
    return ReadSmall(dir, entry, file, text, sizeof text, &length) &&
           (length == n || (length == n + 1 && text[n] == '\n')) && memcmp(text, word, n) == 0;
}

// The kernel's object id of the connector, a 32-bit decimal number; kNoId where there is none.
uint64_t ConnectorId(int dir, const char* entry)
{
    char text[32];
    size_t length = 0;
    if (!ReadSmall(dir, entry, "connector_id", text, sizeof text, &length)) {
        return kNoId;
    }
    length -= length > 0 && text[length - 1] == '\n' ? 1 : 0;
    if (length == 0 || length > 10 || strspn(text, "0123456789") != length) {
        return kNoId;
    }
    const uint64_t id = strtoull(text, nullptr, 10);
    return id <= UINT32_MAX ? id : kNoId;
}

// "cardN-NAME", N in decimal: a connector. The cards themselves, render nodes, the version file
// and other odd names are not; nor are writeback connectors, which drive no monitor.
bool ParseEntry(const char* entry, Connector* connector)
{
    if (strncmp(entry, "card", 4) != 0) {
        return false;
    }
    const size_t digits = strspn(entry + 4, "0123456789");
    const char* name = entry + 4 + digits + 1;
    if (digits == 0 || digits > 9 || name[-1] != '-' || *name == '\0' || strncmp(name, "Writeback-", 10) == 0) {
        return false;
    }
    connector->card = strtoul(entry + 4, nullptr, 10);
    memcpy(connector->name, name, strlen(name) + 1);
    return true;
}

int Compare(const void* a, const void* b)
{
    const Connector& x = *static_cast<const Connector*>(a);
    const Connector& y = *static_cast<const Connector*>(b);
    if (x.card != y.card) {
        return x.card < y.card ? -1 : 1;
    }
    if (x.id != y.id) {
        return x.id < y.id ? -1 : 1;
    }
    return strverscmp(x.name, y.name);
}

// The lit connectors in `dir`, in report order; `count` of them.
Connector* ReadConnectors(DIR* dir, size_t* count)
{
    std::unique_ptr<Connector, Free> connectors;
    size_t capacity = 0;
    *count = 0;
    while (const dirent* entry = readdir(dir)) {
        Connector connector;
        if (!ParseEntry(entry->d_name, &connector) || !Reads(dirfd(dir), entry->d_name, "status", "connected") ||
            !Reads(dirfd(dir), entry->d_name, "enabled", "enabled")) {
            continue;
        }
        if (*count == capacity) {
            capacity = capacity == 0 ? 8 : capacity * 2;
            void* grown = capacity < SIZE_MAX / sizeof connector ? realloc(connectors.get(), capacity * sizeof connector)
                                                                 : nullptr;
            if (grown == nullptr) {
                break;
            }
            connectors.release();
            connectors.reset(static_cast<Connector*>(grown));
        }
        connector.id = ConnectorId(dirfd(dir), entry->d_name);
        connectors.get()[(*count)++] = connector;
    }
    if (*count > 0) {
        qsort(connectors.get(), *count, sizeof(Connector), Compare);
    }
    return connectors.release();
}

}  // namespace

ExchangeResult DrmConnectedMonitors()
{
    ExchangeResult result = {};
    std::unique_ptr<DIR, CloseDir> dir(opendir("/sys/class/drm"));
    if (!dir) {
        return result;
    }
    result.reached = true;
    size_t count = 0;
    std::unique_ptr<Connector, Free> connectors(ReadConnectors(dir.get(), &count));
    result.list.monitors = static_cast<MONITORINFOEXW*>(calloc(count + 1, sizeof(MONITORINFOEXW)));
    if (result.list.monitors == nullptr) {
        return result;
    }
    result.list.count = count;
    for (size_t i = 0; i < count; ++i) {
        MONITORINFOEXW& monitor = result.list.monitors[i];
        monitor.cbSize = sizeof monitor;
        const char* name = connectors.get()[i].name;
        SetDeviceNameFromUtf8(&monitor, name, strlen(name));
    }
    return result;
}
