#!/bin/bash
# Runs the screens on an X server with an accessibility bus switched on, as a desktop does once
# a screen reader starts: the screen tests that check what is announced, then the program itself
# read over the bus by tests/a11y/atspi_check.py.
# usage: run_with_bus.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 src=$2
if [ -z "${FERNLAY_IN_BUS:-}" ]; then
  export FERNLAY_IN_BUS=1
  exec dbus-run-session -- "$0" "$@"
fi
work=$(mktemp -d)
launcher=""
cleanup() {
  [ -n "$launcher" ] && kill "$launcher" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
/usr/libexec/at-spi-bus-launcher --launch-immediately &
launcher=$!
# What a screen reader does when it starts: tell applications that someone listens.
for _ in $(seq 50); do
  dbus-send --session --dest=org.a11y.Bus --type=method_call --print-reply /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled \
    variant:boolean:true >/dev/null 2>&1 && break
  sleep 0.1
done
export QT_QPA_PLATFORM=xcb FERNLAY_A11Y_BUS=1

echo "== screen tests with the bus listening"
xvfb-run -a "$build/tests/ui/ui_tests" --gtest_filter='KeyboardAccess.StatusLines*'

echo "== the program read over the bus"
# A copy of its own, so its data files go to a folder of the test's.
cp "$build/src/ui/fernlay" "$work/fernlay"
xvfb-run -a bash -c '
  "$1/fernlay" >"$1/run.log" 2>&1 &
  pid=$!
  status=0
  /usr/bin/python3 "$2/tests/a11y/atspi_check.py" "$pid" || status=$?
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null || true
  exit $status' _ "$work" "$src"
