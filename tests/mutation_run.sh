#!/usr/bin/env bash
# A mutation run: each small fault below is put into a copy of the committed tree, built and
# tested preset by preset until a test fails (killed) or every preset passes (survived); then
# the next. Not part of CI: it takes about half an hour. Prints a table and the kill rate.
# Usage: tests/mutation_run.sh [NAME...]   (PRESETS: "linux linux-sanitize linux-fuzz windows-x86")
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
presets=${PRESETS:-linux linux-sanitize linux-fuzz windows-x86}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# NAME FILE :: TEXT => REPLACEMENT, with \n for a line end; TEXT must occur in FILE.
# MUTANTS=FILE takes the table from FILE instead (the same form), for a set written elsewhere.
mutants=$(
    [ -z "${MUTANTS:-}" ] || exec cat "$MUTANTS"
    cat <<'TABLE'
overlong-accepted platform/linux/linux_names.cpp :: lead == 0xE0 ? 0xA0 => lead == 0xE0 ? 0x80
latin1-invalid-byte platform/linux/linux_names.cpp ::     if (length == 0) {\n        *c = kReplacement; =>     if (length == 0) {\n        *c = lead;
cut-off-read platform/linux/linux_names.cpp :: if (text + i == end || => if (
thirty-characters platform/linux/linux_names.cpp :: count < CCHDEVICENAME - 1 => count < CCHDEVICENAME - 2
c1-not-control platform/linux/linux_monitors.cpp :: c < 0x20 || (c >= 0x7F && c < 0xA0) => c < 0x20 || c == 0x7F
any-record-size platform/linux/linux_monitors.cpp :: lpmi->cbSize != sizeof(MONITORINFO) && lpmi->cbSize != sizeof(MONITORINFOEXW) => false
handle-outlives-callback platform/linux/linux_monitors.cpp :: monitor != current_monitor ||  =>
enumeration-not-stopped platform/linux/linux_monitors.cpp ::         if (!go_on) { =>         if (!go_on && false) {
two-primaries platform/x11/x11_replies.cpp :: found.primary && !primary_seen => found.primary && (true || !primary_seen)
name-past-reply platform/x11/x11_replies.cpp ::         if (length > size - sizeof *reply) { =>         if (false) {
count-trusted platform/x11/x11_replies.cpp :: reply->nMonitors < room ? reply->nMonitors : room => reply->nMonitors < room ? reply->nMonitors : reply->nMonitors
inactive-monitors platform/x11/x11_display.cpp :: xcb_randr_get_monitors(connection, screen->root, 1) => xcb_randr_get_monitors(connection, screen->root, 0)
no-30s-cap platform/linux/linux_exchange.cpp :: kMostMs = 30000; => kMostMs = 300000;
idle-50s platform/linux/linux_exchange.cpp :: kIdleMs = 5000; => kIdleMs = 50000;
progress-not-kept platform/linux/linux_child.cpp ::         in->deadline.last_progress = NowMs();\n =>
partial-report-dropped platform/linux/linux_child.cpp ::     if (!ended) {\n        result->reached = true; =>     if (!ended) {\n        result->reached = true;\n        free(result->list.monitors);\n        result->list = {};
no-hold platform/linux/linux_descriptors.cpp ::     for (int fd = 0; fd <= 2; ++fd) {\n        if (fcntl =>     for (int fd = 0; fd < 0; ++fd) {\n        if (fcntl
no-stderr-swap platform/linux/linux_descriptors.cpp ::     dup2(inert, 2);\n    close(inert);\n    return true; =>     close(inert);\n    return true;
standard-kept-in-child platform/linux/linux_descriptors.cpp ::     close(0);\n    close(1);\n =>
stderr-not-restored platform/linux/linux_exchange.cpp ::     RestoreStandardError(saved);\n =>
wayland-missing-falls-back platform/linux_display.cpp ::         if (!LoadWaylandClient()) {\n            return result; =>         if (!LoadWaylandClient()) {\n            unsetenv("WAYLAND_DISPLAY");\n            return ReadDisplay();
views-mixed platform/linux_display.cpp :: if (!result.reached && IsSet("DISPLAY")) => if (IsSet("DISPLAY"))
status-kept-0 platform/linux/linux_libraries.cpp ::     _exit(1); =>     _exit(0);
utf8-never platform/linux_display.cpp ::                 setlocale(LC_CTYPE, "C.UTF-8"); =>
xdg-name-wins platform/wayland/wayland_display.cpp :: output.version < 4 && *xdg_manager != nullptr => *xdg_manager != nullptr
kde-prefix-match platform/wayland/wayland_display.cpp :: strcmp(primary, output.name) == 0 => strncmp(primary, output.name, strlen(output.name)) == 0
withdrawn-kept platform/wayland/wayland_display.cpp ::         if (output.removed) { =>         if (false) {
kde-last-named platform/wayland/wayland_display.cpp :: compositor->order_done || compositor->first_named == nullptr => true
wayland-wait-unbounded platform/wayland/wayland_wait.cpp :: poll(&socket, 1, ExchangeWaitMs(exchange))) < 0 && errno == EINTR => poll(&socket, 1, -1)) < 0 && errno == EINTR
mutter-primary-ignored platform/wayland/wayland_display.cpp ::         ExchangePublish(exchange, answer.list.monitors, answer.list.count);\n =>
mutter-first-logical platform/wayland/mutter_primary.cpp ::     if (!primary || !Enter =>     if (!Enter
no-zero-fill monitor_listing/report_monitor.cpp ::     memset(&info, 0, sizeof info);\n =>
plain-record-size monitor_listing/report_monitor.cpp ::     info.cbSize = sizeof info; =>     info.cbSize = sizeof(MONITORINFO);
failure-status-0 monitor_listing/main.cpp ::         return 1; =>         return 0;
no-flush-before-wait monitor_listing/main.cpp :: fflush(stdout) != 0 || ferror(stdout) => ferror(stdout)
lazy-binding platform/linux/linux_libraries.cpp :: dlopen(soname, RTLD_NOW | RTLD_LOCAL) => dlopen(soname, RTLD_LAZY | RTLD_LOCAL)
dependency-name-cut platform/linux/linux_libraries.cpp :: strncmp(name, soname, length) == 0 ? colon + 2 : reason => true ? colon + 2 : reason
wayland-socket-standard platform/linux_display.cpp :: fd > 2 && fd <= INT_MAX => fd >= 0 && fd <= INT_MAX
wayland-socket-stray-kept platform/linux_display.cpp ::         unsetenv("WAYLAND_SOCKET"); =>         (void)0;
no-screen-without-randr platform/x11/x11_display.cpp ::     if (randr == nullptr || !randr->present) {\n        PublishScreens(connection, screen, exchange); =>     if (randr == nullptr || !randr->present) {
xinerama-ignored platform/x11/x11_display.cpp ::     MonitorList heads = XineramaHeads(connection, exchange); =>     MonitorList heads = {};
drm-enabled-ignored platform/drm/drm_display.cpp :: !Reads(dirfd(dir), entry->d_name, "enabled", "enabled") => false
drm-writeback-kept platform/drm/drm_display.cpp :: || strncmp(name, "Writeback-", 10) == 0 =>
drm-id-order-ignored platform/drm/drm_display.cpp ::     if (x.id != y.id) { =>     if (false) {
drm-names-not-versions platform/drm/drm_display.cpp :: return strverscmp(x.name, y.name); => return strcmp(x.name, y.name);
drm-word-prefix platform/drm/drm_display.cpp :: (length == n || (length => (true || (length
drm-beside-named-display platform/linux_display.cpp :: if (!wayland_named && !IsSet("DISPLAY")) { => if (!result.reached) {
lost-write-error monitor_listing/main.cpp :: fflush(stdout) != 0 || ferror(stdout) => fflush(stdout) != 0
idle-3s platform/linux/linux_exchange.cpp :: kIdleMs = 5000; => kIdleMs = 3000;
utf8-beyond-latin1 platform/linux_display.cpp :: if (*c > 0x7F) { => if (*c > 0xFF) {
hot-plug-listed platform/wayland/wayland_display.cpp :: wl_output_interface.name) == 0 && !compositor->bound => wl_output_interface.name) == 0
kde-first-list-wins platform/wayland/wayland_display.cpp :: if (compositor->order_done || compositor->first_named == nullptr) { => if (compositor->first_named == nullptr) {
wayland-two-primaries platform/wayland/wayland_display.cpp :: strcmp(primary, output.name) == 0 && !primary_seen => strcmp(primary, output.name) == 0 && (primary_seen || !primary_seen)
names-dropped-when-gone platform/wayland/wayland_display.cpp :: if (Publish(exchange, compositor, compositor->first_named) && answered && => if (answered && Publish(exchange, compositor, compositor->first_named) &&
exchange-on-the-calling-thread platform/linux/linux_child.cpp ::     if (!RunInChild(backend, context, deadline, &result)) { =>     if (true || !RunInChild(backend, context, deadline, &result)) {
TABLE
)

# The committed tree, built once per preset; a mutant changes one file, and the build redoes
# only what depends on it.
git -C "$top" archive HEAD | tar -x -C "$work"
cd "$work"
for preset in $presets; do
    cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" >/dev/null
done

killed=0 total=0
printf '| mutant | file | result |\n|---|---|---|\n'
while IFS= read -r line; do
    name=${line%% *} rest=${line#* }
    file=${rest%% :: *} rest=${rest#* :: }
    text=${rest%% =>*} replacement=${rest#* =>}
    replacement=${replacement# }
    [ $# -eq 0 ] || [[ " $* " == *" $name "* ]] || continue
    cp "$file" "$work/original"
    python3 - "$file" "$text" "$replacement" <<'PYTHON' || { printf '| %s | %s | not applied: not counted |\n' "$name" "$file"; continue; }
import sys
path, text, replacement = sys.argv[1], sys.argv[2].replace("\\n", "\n"), sys.argv[3].replace("\\n", "\n")
source = open(path).read()
if text not in source:
    sys.exit(f"mutation_run: {path} has no {text!r}")
open(path, "w").write(source.replace(text, replacement, 1))
PYTHON
    result="survived"
    for preset in $presets; do
        if ! cmake --build --preset "$preset" >"$work/build.log" 2>&1; then
            result="does not build in $preset: not counted"
            break
        fi
        if ! ctest --preset "$preset" --stop-on-failure </dev/null >"$work/test.log" 2>&1; then
            result="killed in $preset by $(sed -nE 's/^ *[0-9]+\/[0-9]+ +Test +#[0-9]+: ([^ ]+) .*\*\*\*.*/\1/p' "$work/test.log" | head -n 1)"
            break
        fi
    done
    cp "$work/original" "$file"
    if [[ $result != "does not build"* ]]; then
        total=$((total + 1))
        [ "$result" = survived ] || killed=$((killed + 1))
    fi
    printf '| %s | %s | %s |\n' "$name" "$file" "$result"
done <<<"$mutants"
for preset in $presets; do cmake --build --preset "$preset" >/dev/null; done
echo "killed $killed of $total ($((100 * killed / total)) %)"
