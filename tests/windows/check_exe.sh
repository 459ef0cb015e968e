#!/usr/bin/env bash
# Static checks of monitor_listing.exe from Linux: PE header, imports, runtime printf, size,
# manifest, and the 32-bit callback's calling convention.
set -euo pipefail
export LC_ALL=C

if (($# != 9)); then
    echo "usage: $0 CHECK x86|x64 EXE MAP OBJECTS(;-list) OBJDUMP NM WRESTOOL FILE" >&2
    exit 2
fi
check=$1 arch=$2 exe=$3 map=$4 objdump=$6 nm=$7 wrestool=$8 file_tool=$9
IFS=';' read -ra objects <<<"$5"

fail() {
    printf 'FAIL %s: %s\n' "$check" "$1" >&2
    exit 1
}

# Every function the program imports, as "DLL function", from objdump's import tables.
imports() {
    "$objdump" -p "$exe" | awk '
        /^\tDLL Name: / { dll = $3; next }
        dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ { print dll, $3 }
        /^$/ { dll = "" }'
}

case $check in
format)
    # What file(1) and objdump say of the header, per architecture.
    declare -A description=([x86]="PE32 executable (console) Intel 80386" [x64]="PE32+ executable (console) x86-64")
    declare -A architecture=([x86]="architecture: i386," [x64]="architecture: i386:x86-64,")
    described=$("$file_tool" -b "$exe")
    [[ $described == "${description[$arch]}"* ]] || fail "file(1) says: $described"
    header=$("$objdump" -f "$exe")
    grep -qF "${architecture[$arch]}" <<<"$header" || fail "not the $arch machine: $header"
    subsystem=$("$objdump" -p "$exe" | grep '^Subsystem')
    [[ $subsystem =~ ^Subsystem[[:space:]]+00000003[[:space:]]+\(Windows\ CUI\)$ ]] ||
        fail "not a console program: $subsystem"
    ;;
imports)
    dlls=$(imports | cut -d' ' -f1 | sort -u | tr '\n' ' ')
    [[ $dlls == "KERNEL32.dll USER32.dll msvcrt.dll " ]] || fail "imports from: $dlls"
    # The calls that make the report, and the DLL that must supply each.
    required=(
        "USER32.dll EnumDisplayMonitors"
        "USER32.dll GetMonitorInfoW"
        "msvcrt.dll wprintf"
        "msvcrt.dll getchar"
    )
    listed=$(imports)
    for row in "${required[@]}"; do
        grep -qxF "$row" <<<"$listed" || fail "does not import ${row#* } from ${row%% *}"
    done
    ;;
runtime_printf)
    # MinGW's own printf family, in place of the runtime's, shows as __mingw_*printf symbols.
    pattern='__mingw_[a-z_]*printf'
    for object in "${objects[@]}"; do
        symbols=$("$nm" "$object") || fail "cannot read $object"
        if grep -E "$pattern" <<<"$symbols"; then fail "$object uses MinGW's printf"; fi
    done
    [[ -s $map ]] || fail "no link map at $map"
    if grep -E "$pattern" "$map"; then fail "MinGW's printf is linked into the program"; fi
    ;;
size)
    size=$(stat -c %s "$exe")
    ((size <= 16384)) || fail "$size bytes, over 16 KiB"
    ;;
stdcall_callback)
    # EnumDisplayMonitors calls ReportMonitor as a CALLBACK (__stdcall): ReportMonitor itself takes
    # its four arguments, 16 bytes, off the stack. A plain (cdecl) function leaves them there, and
    # the caller's stack is 16 bytes off after the first monitor. (64-bit Windows has one
    # calling convention. Read from the code, it is checked also where the runs under Wine are
    # skipped, on a kernel that cannot run 32-bit code.)
    [[ -s $map ]] || fail "no link map at $map"
    grep -qE '^ +0x[0-9a-f]+ +ReportMonitor\(.*\)@16$' "$map" ||
        fail "the link map has no ReportMonitor(...)@16: $(grep -F ReportMonitor "$map" || echo none)"
    symbol= object=
    for candidate in "${objects[@]}"; do
        symbol=$("$nm" "$candidate" | awk '$2 == "T" && $3 ~ /ReportMonitor/ { print $3 }')
        [[ -z $symbol ]] || { object=$candidate; break; }
    done
    [[ $symbol == *@16 ]] || fail "ReportMonitor's symbol is ${symbol:-missing}, not decorated @16"
    code=$("$objdump" -d --no-show-raw-insn "--disassemble=$symbol" "$object")
    # The record it hands to GetMonitorInfoW says it is a MONITORINFOEXW: cbSize 104 (0x68).
    grep -qE '[[:space:]]movl? +\$0x68,' <<<"$code" || fail "ReportMonitor stores no cbSize of 104: $code"
    grep -qE '[[:space:]]ret +\$0x10$' <<<"$code" || fail "ReportMonitor does not end with ret \$0x10: $code"
    ;;
manifest)
    # The one resource is the application manifest: type 24 (RT_MANIFEST), name 1.
    resources=$("$wrestool" -l "$exe")
    [[ $(wc -l <<<"$resources") == 1 && $resources == "--type=24 --name=1 "* ]] ||
        fail "resources: $resources"
    manifest=$("$wrestool" -x --raw --type=24 --name=1 "$exe")
    # Declares the execution level and nothing else: no other element than these.
    elements=$(grep -oE '<[A-Za-z][A-Za-z0-9:]*' <<<"$manifest" | sort | tr '\n' ' ')
    [[ $elements == "<assembly <requestedExecutionLevel <requestedPrivileges <security <trustInfo " ]] ||
        fail "declares: $elements"
    level=$(grep -oE '<requestedExecutionLevel[^>]*>' <<<"$manifest")
    [[ $level =~ ^\<requestedExecutionLevel\ +level=\"asInvoker\"\ +uiAccess=\"false\"\ */\>$ ]] ||
        fail "requests: $level"
    ;;
*)
    fail "no such check"
    ;;
esac
