#!/usr/bin/env bash
# Starts the real quillfen-gui on a virtual X server (Xvfb) with a home and
# settings of its own, waits until its main window is on the screen, ends it
# with SIGTERM and expects it to exit with 0. Exits 77 (skipped) when Xvfb or
# xwininfo is missing.
#   smoke-test.sh PATH-TO-quillfen-gui
set -uo pipefail
program="$1"
command -v Xvfb >/dev/null && command -v xwininfo >/dev/null || {
    echo "smoke-test: Xvfb or xwininfo missing: skipped"
    exit 77
}

work="$(mktemp -d)"
xvfb=""
app=""
cleanup() {
    [ -n "$app" ] && kill -KILL "$app" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number to descriptor 3.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
display=""
for _ in $(seq 100); do
    display="$(tr -d '[:space:]' <"$work/display" 2>/dev/null)"
    [ -n "$display" ] && break
    sleep 0.1
done
if [ -z "$display" ]; then
    echo "smoke-test: Xvfb did not start"; cat "$work/xvfb.log"; exit 1
fi
export DISPLAY=":$display"

mkdir -p "$work/home" "$work/runtime"
# Under LeakSanitizer, what libdbus keeps until exit is not ours to free.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(cd "$(dirname "$0")" && pwd)/lsan-suppressions.txt"
chmod 700 "$work/runtime"
env -u DBUS_SESSION_BUS_ADDRESS HOME="$work/home" XDG_CONFIG_HOME="$work/config" \
    XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb \
    "$program" >"$work/app.log" 2>&1 &
app=$!

shown=""
for _ in $(seq 300); do
    if ! kill -0 "$app" 2>/dev/null; then break; fi
    if xwininfo -root -tree 2>/dev/null | grep -q '"Quillfen"'; then shown=yes; break; fi
    sleep 0.1
done
if [ -z "$shown" ]; then
    echo "smoke-test: no window titled Quillfen appeared"; cat "$work/app.log"; exit 1
fi

kill -TERM "$app"
status=""
for _ in $(seq 300); do
    if ! kill -0 "$app" 2>/dev/null; then wait "$app"; status=$?; break; fi
    sleep 0.1
done
app_pid="$app"
app=""
if [ -z "$status" ]; then
    kill -KILL "$app_pid" 2>/dev/null
    echo "smoke-test: quillfen-gui did not end within 30 s of SIGTERM"; cat "$work/app.log"; exit 1
fi
if [ "$status" -ne 0 ]; then
    echo "smoke-test: quillfen-gui exited with $status"; cat "$work/app.log"; exit 1
fi
echo "smoke-test: the window appeared and SIGTERM ended the program with 0"
