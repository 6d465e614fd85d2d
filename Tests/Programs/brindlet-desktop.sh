#!/usr/bin/env bash
# The desktop window on a real X server with a window manager: its EWMH
# states follow the preferences, it covers the display, clicks on its clear
# parts reach the window beneath, the hot key hides and shows it, and a
# second launch hands its sheet to the first.
# Usage: brindlet-desktop.sh <brindlet>   (run by scripts/with-x11.sh)
set -euo pipefail
brindlet=$1
# A session bus of its own: brindlet keeps one instance per bus, and other
# tests start theirs at the same time.
if [[ -z ${BRINDLET_OWN_BUS:-} ]]; then
    BRINDLET_OWN_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
for program in xdotool xprop xwininfo xev; do
    command -v "$program" >/dev/null || { echo "$program is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

# shellcheck source=program-test-lib.sh
source "$(dirname "$0")/program-test-lib.sh" brindlet-desktop

current=""

# start <name> <preference entries>: a brindlet in a home of its own whose
# preferences file holds the entries (current version, installed fonts);
# sets $pid and $window.
start() {
    local name=$1 entries=$2 home=$scratch/$1
    mkdir -p "$home/home" "$home/data"
    write_preferences "$home/config" "$entries"
    current=$name
    HOME=$home/home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache \
        "$brindlet" >"$scratch/$name.log" 2>&1 &
    pid=$!
    pids+=("$pid")
    window=""
    find_window() { window=$(program_window "$pid" Brindlet); }
    eventually find_window || fail "$name: no desktop window appeared"
    # The window manager has taken it in once it says where it is.
    eventually has_frame || fail "$name: the window manager did not take the window"
    sleep 0.5
}
has_frame() { xprop -id "$window" _NET_FRAME_EXTENTS 2>/dev/null | grep -q "="; }

stop() {
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

states() { xprop -id "$window" _NET_WM_STATE; }
has_state() { states | grep -q "_NET_WM_STATE_$1"; }
on_all_desktops() { xprop -id "$window" _NET_WM_DESKTOP | grep -q "= 4294967295$"; }
map_state() { xwininfo -id "$window" | sed -n 's/^ *Map State: //p'; }
is_mapped() { [[ $(map_state) == IsViewable ]]; }
is_unmapped() { [[ $(map_state) == IsUnMapped ]]; }

# Another program's window: activating it deactivates ours.
xev -geometry 120x80+40+600 -name other -event button >/dev/null 2>&1 &
pids+=("$!")
other=""
find_other() { other=$(xdotool search --onlyvisible --name '^other$' 2>/dev/null | head -n 1); [[ -n $other ]]; }
eventually find_other || fail "the other window did not appear"

# ---- over the desktop: while another program is active, the window is
# below the others, on every workspace and out of the overview; active, it
# is at the normal level ----
start over-desktop "<key>user.TPreferences.placeOverDesktop</key><true/>
<key>user.TPreferences.windowBehaviorTransient</key><true/>"
xdotool windowactivate --sync "$other" 2>/dev/null || true
over_desktop() {
    has_state BELOW && has_state SKIP_TASKBAR && has_state SKIP_PAGER && { has_state STICKY || on_all_desktops; }
}
# On every workspace: the sticky state, or the desktop "all" where the
# window manager says it that way.
eventually over_desktop || fail "over the desktop, the window lacks a state: $(states), $(xprop -id "$window" _NET_WM_DESKTOP)"
has_state ABOVE && fail "over the desktop, the window is above the others: $(states)"
is_mapped || fail "over the desktop, the window went away when another program became active"
xdotool windowactivate --sync "$window" 2>/dev/null || true
at_normal_level() { ! has_state BELOW && ! has_state STICKY && ! on_all_desktops && has_state SKIP_TASKBAR; }
eventually at_normal_level || fail "active, the window did not come to the normal level: $(states)"
# The whole display below the menu bar.
geometry=$(xwininfo -id "$window")
for expected in "Absolute upper-left X:  0" "Absolute upper-left Y:  22" "Width: 1280" "Height: 778"; do
    grep -q "$expected" <<<"$geometry" || fail "the window does not cover the display ($expected): $geometry"
done
stop

# ---- at the normal level, listed: no state; clicks on clear pixels go through ----
xev -geometry 240x160+500+300 -name beneath -event button >"$scratch/beneath.log" 2>&1 &
pids+=("$!")
beneath=""
find_beneath() { beneath=$(xdotool search --onlyvisible --name '^beneath$' 2>/dev/null | head -n 1); [[ -n $beneath ]]; }
eventually find_beneath || fail "the window beneath did not appear"
start normal "<key>user.TPreferences.placeOverDesktop</key><false/>
<key>user.TPreferences.windowBehaviorTransient</key><false/>
<key>user.TPreferences.dashboardActivation</key><false/>"
# Every window of the program, for a failure to name what it saw.
program_windows() {
    local id
    for id in $(xdotool search --pid "$pid" 2>/dev/null); do
        echo "window $id$([[ $id == "$window" ]] && echo " (tested)"): $(xprop -id "$id" WM_NAME _NET_WM_WINDOW_TYPE _NET_WM_STATE 2>/dev/null | tr '\n' ' ')"
    done
}
for state in BELOW ABOVE STICKY SKIP_TASKBAR SKIP_PAGER; do
    has_state "$state" && fail "at the normal level, the window has $state: $(states)
$(program_windows)"
done
on_all_desktops && fail "at the normal level, the window is on every workspace"
# The desktop window is the upper of the two where they overlap.
stacking=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/, / /g')
order=""
for id in $stacking; do
    ((id == window)) && order+=D
    ((id == beneath)) && order+=B
done
[[ $order == BD ]] || fail "the desktop window is not above the other window (stacking $order)"
xdotool mousemove 620 380 click 1
eventually grep -q ButtonPress "$scratch/beneath.log" || fail "a click on the clear desktop window did not reach the window beneath"
stop

# ---- the hot key (command-option-B, as Ctrl+Alt+B): hides while active, shows while not ----
start hotkey "<key>user.TPreferences.activationKey</key>
<dict><key>code</key><integer>11</integer><key>modifiers</key><integer>2304</integer></dict>"
xdotool windowactivate --sync "$window" 2>/dev/null || true
sleep 0.5
xdotool key ctrl+alt+b
eventually is_unmapped || fail "the hot key did not hide the active desktop window ($(map_state))"
sleep 0.5
xdotool key ctrl+alt+b
eventually is_mapped || fail "the hot key did not show the hidden desktop window ($(map_state))"

# ---- a second launch hands its sheet over and ends ----
sheet=$scratch/hotkey/data/Brindlet/Handed\ Over.brproj
echo '<plist version="1.0"><dict/></plist>' >"$sheet"
status=0
HOME=$scratch/hotkey/home XDG_CONFIG_HOME=$scratch/hotkey/config XDG_DATA_HOME=$scratch/hotkey/data \
    timeout 20 "$brindlet" "$sheet" >"$scratch/second.log" 2>&1 || status=$?
((status == 0)) || fail "the second launch ended with status $status"
opened() { grep -qF "Opened the sheet $sheet." "$scratch/hotkey.log"; }
eventually opened || fail "the sheet handed over did not reach the running program"

# ---- quitting from the menu's key leaves with success ----
xdotool windowactivate --sync "$window" 2>/dev/null || true
sleep 0.3
xdotool key ctrl+q
ended() { ! kill -0 "$pid" 2>/dev/null; }
eventually ended || fail "Quit did not end the program"
status=0
wait "$pid" || status=$?
((status == 0)) || fail "the program quit with status $status"
# A sanitizer build reports what it found in the logs.
if grep -l "runtime error\|AddressSanitizer\|LeakSanitizer" "$scratch"/*.log >/dev/null 2>&1; then
    fail "a sanitizer reported a fault"
fi
echo "ok"
