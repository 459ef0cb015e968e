#!/usr/bin/env bash
# Makes the ZIP package with cpack and checks what a Windows user unpacks from it.
set -euo pipefail
export LC_ALL=C

if (($# != 7)); then
    echo "usage: $0 CMAKE CPACK CPACK_CONFIG WORK_DIR PACKAGE_NAME EXE LICENSE" >&2
    exit 2
fi
cmake=$1 cpack=$2 config=$3 work=$4 name=$5 exe=$6 license=$7

fail() {
    printf 'FAIL: %s\n' "$1" >&2
    exit 1
}

rm -rf "${work:?}"
mkdir -p "$work/unpacked"
"$cpack" --config "$config" -B "$work" >"$work/cpack.log" || fail "cpack: $(cat "$work/cpack.log")"
zip=$work/$name.zip
[[ -f $zip ]] || fail "no $zip; cpack made: $(ls "$work")"

# Every file in the package, and nothing else.
expected=(
    "$name/LICENSE.txt"
    "$name/README.txt"
    "$name/monitor_listing.exe"
)
(cd "$work/unpacked" && "$cmake" -E tar xf "$zip") || fail "cannot unpack $zip"
files=$(find "$work/unpacked" -type f -printf '%P\n' | sort)
[[ $files == "$(printf '%s\n' "${expected[@]}")" ]] || fail "the package holds: $files"

cmp "$exe" "$work/unpacked/$name/monitor_listing.exe" || fail "the packaged program is not the one built"
readme=$work/unpacked/$name/README.txt
[[ $(head -n 1 "$readme") =~ ^monitor_listing\ [0-9]+\.[0-9]+\.[0-9]+$'\r'$ ]] ||
    fail "README.txt does not start with the name and version"
if grep -n '@' "$readme"; then fail "README.txt has a placeholder left"; fi
if grep -vn $'\r$' "$readme"; then fail "README.txt has lines without a Windows line end"; fi
# The licence's own text, with Windows line ends.
sed 's/$/\r/' "$license" | cmp -s - "$work/unpacked/$name/LICENSE.txt" ||
    fail "LICENSE.txt is not the repository's LICENSE with CRLF line ends"
