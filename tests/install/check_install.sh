#!/usr/bin/env bash
# check_install.sh BUILD_DIR: what `cmake --install` and the Debian package put in place.
set -euo pipefail
build="$1"
work="$(mktemp -d)"
pid=""
cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
id=org.fernlay.Fernlay
files=(
  bin/fernlay
  share/applications/$id.desktop
  share/metainfo/$id.metainfo.xml
  share/icons/hicolor/scalable/apps/$id.svg
  share/fernlay/fernlay.html
)

echo "== cmake --install into a temporary prefix"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
prefix="$work/prefix"
for f in "${files[@]}"; do [ -f "$prefix/$f" ] || fail "not installed: $f"; done
[ -x "$prefix/bin/fernlay" ] || fail "bin/fernlay is not executable"
grep -qx 'Exec=fernlay' "$prefix/share/applications/$id.desktop" || fail "Exec is not the installed program"
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop" || fail "Icon is not the installed icon"
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/$id.svg" || fail "the icon is no SVG"
desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"

echo "== Debian package"
(cd "$build" && cpack -G DEB -B "$work/pkg" >"$work/cpack.log") || {
  cat "$work/cpack.log"
  fail "cpack"
}
deb=("$work"/pkg/fernlay_*.deb)
[ -f "${deb[0]}" ] || fail "no fernlay_*.deb built"
dpkg-deb --field "${deb[0]}" Package | grep -qx fernlay || fail "package name"
dpkg-deb --field "${deb[0]}" Depends | grep -q 'libqt6widgets6' || fail "Depends lacks the Qt libraries"
contents="$(dpkg-deb --contents "${deb[0]}" | awk '{print $6}')"
for f in "${files[@]}"; do
  grep -qx "./usr/$f" <<<"$contents" || fail "not in the package: /usr/$f"
done

echo "== the packaged program starts and keeps its data in the per-user folder"
dpkg-deb --extract "${deb[0]}" "$work/root"
mkdir -p "$work/home"
HOME="$work/home" XDG_DATA_HOME="$work/data" QT_QPA_PLATFORM=offscreen \
  "$work/root/usr/bin/fernlay" >"$work/run.log" 2>&1 &
pid=$!
for _ in $(seq 50); do
  [ -f "$work/data/fernlay/User.Inf" ] && break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null || {
  cat "$work/run.log"
  fail "the program ended on its own"
}
[ -f "$work/data/fernlay/User.Inf" ] || fail "no User.Inf in the per-user folder"
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || {
  cat "$work/run.log"
  fail "exit status $status after SIGTERM"
}
[ -f "$work/data/fernlay/Defult.ini" ] || fail "Defult.ini not written at exit"
[ "$(stat -c %a "$work/data/fernlay")" = 700 ] || fail "the per-user folder is not owner-only"
[ "$(ls "$work/root/usr/bin")" = fernlay ] || fail "files written beside the installed program"
echo "install and package: all checks passed"
