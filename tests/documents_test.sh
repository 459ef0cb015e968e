#!/usr/bin/env bash
# The documents hold: the README's quick start is the two scripts that exist, the second being what
# CI runs, and every relative link in the README and doc/ leads to a file.
set -euo pipefail
cd "$(dirname "$0")/.."
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

quick=$(sed -n '/^## Quick start/,/^## [^Q]/s/^    \(bash .*\)$/\1/p' README.md)
[ "$quick" = $'bash scripts/run.sh\nbash scripts/test.sh' ] || fail "the quick start runs: $quick"
[ -f scripts/run.sh ] && [ -f scripts/test.sh ] || fail "a quick-start script is missing"
[ "$(grep -v '^#' .ci/run | grep -c '^bash scripts/test.sh$')" = 1 ] || fail ".ci/run does not run bash scripts/test.sh"
for document in README.md doc/*.md; do
    for link in $(grep -o '](\([^)#:]*\))' "$document" | sed 's/^](\(.*\))$/\1/'); do
        [ -e "$(dirname "$document")/$link" ] || fail "$document links to $link, which is not there"
    done
done
((failures == 0)) && echo "documents: the quick start is CI's and every link leads to a file"
