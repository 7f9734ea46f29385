#!/bin/bash
# Pictures of the real window, taken under Xvfb (after cmake --build --preset dev
# and cmake --build --preset dev --target glintvane_work_screens):
#   tools/guide-screenshots.sh
# Every picture shows the sample cache and tree the build makes from the
# project's own pictures, never a real cache: the guide's window, gallery,
# About box, File Locator and thumbcache list, and docs/ the same window in
# the gallery and in German, File Locator, a finished extraction and the
# Open With chooser.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=$ROOT/build/dev/app/glintvane
SAMPLE=$ROOT/build/dev/sample/Thumbs.db
export DISPLAY=:74
Xvfb :74 -screen 0 1100x760x24 >/dev/null 2>&1 &
XV=$!
CFG=$(mktemp -d)
trap 'kill $XV 2>/dev/null; rm -rf "$CFG"' EXIT
export XDG_CONFIG_HOME=$CFG
mkdir -p "$CFG/Corvanta" "$ROOT/docs/guide/images"
sleep 1

shot() {  # file geometry
  import -window root -crop "$2" +repage "$1"
}
start() {  # language file...
  printf '[Sys]\nLanguage=%s\nVersion=ver. 1.2\n' "$1" >"$CFG/Corvanta/Glintvane.conf"
  shift
  "$BIN" "$@" >/dev/null 2>&1 &
  APP=$!
  sleep 3
  WID=$(xdotool search --sync --onlyvisible --pid $APP | tail -1)
  xdotool windowmove "$WID" 0 0 windowsize "$WID" 1000 680
  xdotool windowfocus "$WID" 2>/dev/null || true
  sleep 1.5
}
stop() {
  kill $APP
  wait $APP 2>/dev/null || true
}
about() {  # file
  # F10 opens the menu bar at File; Left wraps to Help; Up to its last entry.
  xdotool key F10; sleep 0.7; xdotool key Left; sleep 0.5; xdotool key Up; sleep 0.3
  xdotool key Return; sleep 1.5
  local box
  box=$(timeout 5 xdotool search --sync --onlyvisible --name "About" | tail -1)
  eval "$(xdotool getwindowgeometry --shell "$box")"
  shot "$1" "${WIDTH}x${HEIGHT}+${X}+${Y}"
  xdotool key Escape; sleep 0.5
}

# The guide: the sample cache.
start ENU "$SAMPLE"
xdotool key Down Down; sleep 1
shot "$ROOT/docs/guide/images/main.png" 1000x680+0+0
xdotool key ctrl+g; sleep 3
shot "$ROOT/docs/guide/images/gallery.png" 1000x680+0+0
xdotool key ctrl+g; sleep 1
about "$ROOT/docs/guide/images/about.png"
stop

# docs/: the sample in the gallery and in German, and the About box.
cp "$ROOT/docs/guide/images/main.png" "$ROOT/docs/screenshot.png"
cp "$ROOT/docs/guide/images/gallery.png" "$ROOT/docs/screenshot-gallery.png"
start DEU "$SAMPLE"
xdotool key Down Down; sleep 1
shot "$ROOT/docs/screenshot-german.png" 1000x680+0+0
stop

# The window at work over the sample tree (File Locator, thumbcache list,
# extraction, Open With), driven from inside, in English again.
printf '[Sys]\nLanguage=ENU\nVersion=ver. 1.2\n' >"$CFG/Corvanta/Glintvane.conf"
"$ROOT/build/dev/tests/app/glintvane_work_screens" "$ROOT/build/dev/sample" "$ROOT/docs"
