#!/bin/bash
# Pictures of the real window, taken under Xvfb (after cmake --build --preset dev):
#   tools/guide-screenshots.sh
# The user guide's pictures show the sample cache the build makes from the
# project's own pictures; docs/ gets the window over real corpus file 017
# (gallery, German window) and the About box.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=$ROOT/build/dev/app/glintvane
SAMPLE=$ROOT/build/dev/sample/Thumbs.db
CORPUS=$ROOT/../shared/corpus/real/017-feng33-Thumbs.db
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

# docs/: corpus file 017 in the gallery and in German, and the About box.
start ENU "$CORPUS"
xdotool key Down Down Down; sleep 1
xdotool key ctrl+g; sleep 3
shot "$ROOT/docs/screenshot-gallery-017.png" 1000x680+0+0
about "$ROOT/docs/screenshot-about.png"
stop
start DEU "$CORPUS"
xdotool key Down Down; sleep 1
shot "$ROOT/docs/screenshot-german-017.png" 1000x680+0+0
stop
