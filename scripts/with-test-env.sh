#!/usr/bin/env bash
# Runs a command the way every test runs: a private D-Bus session bus, Qt
# without a display, a throw-away HOME and XDG folders, a pinned time zone
# and locale. Usage: scripts/with-test-env.sh <command> [arguments...]
set -euo pipefail

scratch=$(mktemp -d "${TMPDIR:-/tmp}/brindlet-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch"/{home,config,data,cache,runtime,tmp}
chmod 700 "$scratch/runtime"

export HOME="$scratch/home"
export XDG_CONFIG_HOME="$scratch/config"
export XDG_DATA_HOME="$scratch/data"
export XDG_CACHE_HOME="$scratch/cache"
export XDG_RUNTIME_DIR="$scratch/runtime"
export TMPDIR="$scratch/tmp"
export TZ=Europe/Berlin
export LANG=en_US.UTF-8
unset LC_ALL LC_NUMERIC LC_TIME LC_CTYPE LANGUAGE DISPLAY WAYLAND_DISPLAY
export QT_QPA_PLATFORM=offscreen

exec dbus-run-session -- "$@"
