#!/usr/bin/env bash
# Installs what is missing, builds, and starts Brindlet. Without a display
# it runs on a private X server (Xvfb with Openbox) and writes a screenshot
# of that screen to build/brindlet-screen.png (or $BRINDLET_SCREENSHOT);
# it runs until you stop it (Ctrl-C).
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target brindlet

program=build/bin/brindlet
if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
    # On Wayland the windows go through XWayland: the program works with X.
    export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-xcb}
    exec "$program" "$@"
fi

export BRINDLET_SCREENSHOT=${BRINDLET_SCREENSHOT:-$PWD/build/brindlet-screen.png}
echo "No display: Brindlet runs on a private X server; its screen goes to $BRINDLET_SCREENSHOT"
# A session bus of its own when none is there (one instance per program is
# kept over D-Bus).
launcher=()
if [[ -z ${DBUS_SESSION_BUS_ADDRESS:-} ]]; then
    launcher=(dbus-run-session --)
fi
BRINDLET_X11_TIMEOUT=${BRINDLET_X11_TIMEOUT:-31536000} exec "${launcher[@]}" scripts/with-x11.sh "$program" "$@"
