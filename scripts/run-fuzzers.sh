#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzzer for a bounded time, each from
# a scratch copy of its seed corpus so that libFuzzer never writes into the
# repository. Exits non-zero when a fuzzer finds a crash, leak, timeout or
# sanitizer report, and keeps the scratch folder with the reproducer.
#
# Usage: scripts/run-fuzzers.sh [total-seconds]
# The time (default 60, or BRINDLET_FUZZ_SECONDS) is shared among the fuzzers.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
total=${1:-${BRINDLET_FUZZ_SECONDS:-60}}
if ! [[ $total =~ ^[0-9]+$ ]] || ((total < 1)); then
    echo "run-fuzzers: the time must be a whole number of seconds, not '$total'" >&2
    exit 2
fi

# Each fuzzer: its name (the executable is <name>Fuzzer, the seed corpus
# Fuzz/corpus/<name>) and its dictionary in Fuzz/.
fuzzers=(
    "PropertyListReader PropertyList.dict"
    "RTFReader RTF.dict"
    "RTFWriter RTF.dict"
)

cd "$root"
cmake --preset fuzz >/dev/null
targets=()
for entry in "${fuzzers[@]}"; do
    read -r name _ <<<"$entry"
    targets+=("${name}Fuzzer")
done
# Only the fuzzers and what they link: the rest of the tree may be mid-edit.
cmake --build --preset fuzz --target "${targets[@]}"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/brindlet-fuzz.XXXXXX")
keep_scratch=0
# shellcheck disable=SC2317  # called by the EXIT trap
cleanup() {
    ((keep_scratch)) || rm -rf "$scratch"
}
trap cleanup EXIT

# UBSan only reports by default; a report must fail the run like a crash.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

per_fuzzer=$((total / ${#fuzzers[@]}))
((per_fuzzer >= 1)) || per_fuzzer=1
status=0
for entry in "${fuzzers[@]}"; do
    read -r name dictionary <<<"$entry"
    corpus="$scratch/$name/corpus"
    artifacts="$scratch/$name/artifacts"
    log="$scratch/$name/fuzzer.log"
    mkdir -p "$corpus" "$artifacts"
    cp -R "Fuzz/corpus/$name/." "$corpus/"

    echo "== $name: $per_fuzzer s"
    set +e
    "build-fuzz/bin/${name}Fuzzer" \
        -max_total_time="$per_fuzzer" -max_len=65536 -timeout=10 \
        -dict="Fuzz/$dictionary" -artifact_prefix="$artifacts/" \
        -print_final_stats=1 "$corpus" >"$log" 2>&1
    result=$?
    set -e

    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    if [[ -z $runs ]]; then
        # A crash ends the run before the final statistics; the last status line counts.
        runs=$(grep -oE '^#[0-9]+' "$log" | tail -n 1 | tr -d '#')
    fi
    echo "$name: ${runs:-0} runs, corpus of $(find "$corpus" -type f | wc -l) inputs"
    if ((result != 0)); then
        status=1
        keep_scratch=1
        echo "$name FAILED (exit $result); the last lines of its log:" >&2
        tail -n 40 "$log" >&2
        echo "log: $log" >&2
        echo "reproducers: $(find "$artifacts" -type f | tr '\n' ' ')" >&2
    fi
done
exit $status
