# shellcheck shell=bash
# What the scripts that drive the real programs share; sourced, with the
# script's name: `source program-test-lib.sh <name>`. It makes $scratch (a
# scratch folder removed at the end, with every program whose process id
# was added to $pids), and offers fail, eventually and write_preferences.

scratch=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$scratch"
}
trap cleanup EXIT

# Ends the test with the reason and every program's log.
fail() {
    echo "FAIL: $*" >&2
    local log
    for log in "$scratch"/*.log; do
        [[ -s $log ]] && sed "s|^|$(basename "$log" .log): |" "$log" >&2
    done
    exit 1
}

# Waits up to 10 s for the command to succeed.
eventually() {
    local tries
    for ((tries = 0; tries < 100; ++tries)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# write_preferences <config folder> [entries]: the desktop program's
# preferences file of the current version with installed fonts, and the
# entries (XML of keys and values) besides.
write_preferences() {
    mkdir -p "$1/brindlet"
    cat >"$1/brindlet/com.orvandel.Brindlet.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
<key>user.preferences.version</key><integer>8</integer>
<key>user.title-font-family</key><string>DejaVu Sans</string>
<key>user.list-font-family</key><string>DejaVu Sans</string>
<key>user.tab-font-family</key><string>DejaVu Sans</string>
${2:-}
</dict>
</plist>
PLIST
}
