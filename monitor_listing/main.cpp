// monitor_listing: lists the display monitors of the desktop, then waits for one character.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "report_monitor.h"

int main()
{
    EnumDisplayMonitors(nullptr, nullptr, ReportMonitor, 0);

    // Flushed before the wait, so that a reader at the other end of a pipe has the report now,
    // and so that a report that could not be written is known before the run ends.
    const bool failed = fflush(stdout) != 0 || ferror(stdout);
    const int error = errno;

    getchar();

    if (failed) {
        fprintf(stderr, "monitor_listing: cannot write the report: %s\n", strerror(error));
        return 1;
    }
    return 0;
}
