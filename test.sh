#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (not the benchmarks).
# Extra arguments go to ctest, for example: ./test.sh -R CFString
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake --preset default -DBRINDLET_WERROR="${BRINDLET_WERROR:-OFF}" >/dev/null
cmake --build --preset default
scripts/with-test-env.sh ctest --preset default "$@"
