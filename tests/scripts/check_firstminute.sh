#!/usr/bin/env bash
# A newcomer's first minute: `scripts/run --xvfb` opens the connect dialog on
# the simulator's address, OK (Return) connects, and the user's own settings
# store is left exactly as it was.
#
#   check_firstminute.sh SOURCE_DIR BUILD_DIR     (BUILD_DIR already built)
set -euo pipefail
root=$1 build=$2

work=$(mktemp -d)
runner=
cleanup() {
    [ -n "$runner" ] && kill "$runner" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; sed 's/^/  run: /' "$work/run.log"; exit 1; }

# The user's own store: an address and a lens position of their own.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$XDG_CONFIG_HOME/ORVO"
user_store=$XDG_CONFIG_HOME/ORVO/KXController.conf
printf '[General]\nLAST_CKX_IP=192.168.\n\n[Profiles]\nstage=10,200,5.6\n' >"$user_store"
before=$(sha256sum <"$user_store")

# A loopback address of this run's own for the simulator.
address=127.$(( $$ % 200 + 20 )).7.$(( $$ % 250 + 2 ))
sim_log=$build/run-settings/sim.log
rm -f "$sim_log"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
BUILD_DIR=$build "$root/scripts/run" --xvfb --sim-address "$address" >"$work/run.log" 2>&1 &
runner=$!

display=
for _ in $(seq 600); do
    display=$(sed -n 's/^Panel runs on the virtual display //p' "$work/run.log")
    [ -n "$display" ] && break
    kill -0 "$runner" 2>/dev/null || fail "scripts/run ended early"
    sleep 0.1
done
[ -n "$display" ] || fail "no virtual display within a minute"
export DISPLAY=$display

dialog=
for _ in $(seq 300); do
    dialog=$(xdotool search --all --onlyvisible --name 'IP Address$' 2>/dev/null | head -1 || true)
    [ -n "$dialog" ] && break
    sleep 0.1
done
[ -n "$dialog" ] || fail "the connect dialog did not open"
# OK is the dialog's default button; it is enabled only for a valid address.
xdotool windowfocus --sync "$dialog" key --clearmodifiers Return

connected=0
for _ in $(seq 200); do
    grep -q 'rx.*ping' "$sim_log" 2>/dev/null && { connected=1; break; }
    sleep 0.1
done
[ $connected -eq 1 ] || fail "OK did not connect the panel to the simulator at $address"

# Closing the panel ends scripts/run, which stops the simulator and Xvfb.
panel=$(pgrep -P "$runner" -x lensdesk || true)
[ -n "$panel" ] && kill "$panel"
for _ in $(seq 100); do kill -0 "$runner" 2>/dev/null || break; sleep 0.1; done
runner=

[ "$(sha256sum <"$user_store")" = "$before" ] || fail "the user's settings store was changed"
grep -qx "LAST_CKX_IP=$address" "$build/run-settings/ORVO/KXController.conf" ||
    fail "the run's store does not remember the simulator's address"
echo "1 passed, 0 failed"
