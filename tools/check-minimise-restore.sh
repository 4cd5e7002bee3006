#!/usr/bin/env bash
# Plays the game on a virtual X display under a window manager (openbox), minimises its window
# and brings it back through the window manager (xdotool, as a click on a task bar would), and
# checks that the window stays off the screen while minimised, that the game shows its picture
# again afterwards instead of a black window, and that it still draws what a key press does.
#   tools/check-minimise-restore.sh [rounds]      (default 3 rounds)
# Needs the Release build of the game (tools/dev.sh run makes it) and xvfb, openbox and xdotool
# (tools/install-deps.sh). Prints what it saw; exits non-zero when the picture does not come back.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
game=$PWD/build/release/game/brovane
data=$PWD/build/release/game_data
[ -x "$game" ] || { echo "no game at $game: build it first (tools/dev.sh run)"; exit 2; }
for tool in Xvfb openbox xdotool; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run tools/install-deps.sh"; exit 2; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to ten seconds for a command to succeed.
wait_for() {
  for _ in $(seq 100); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

Xvfb -displayfd 3 -screen 0 1280x720x24 -fbdir "$work" -nolisten tcp 3>"$work/display" \
  2>/dev/null &
pids+=($!)
wait_for grep -q . "$work/display" || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
wait_for xdotool get_num_desktops || { echo "openbox did not start"; exit 1; }

(cd "$data" && SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy ORBEK_HOST=sdl exec "$game") \
  >"$work/game.out" 2>&1 &
game_pid=$!
pids+=("$game_pid")
window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$game_pid" | head -n1) || true
[ -n "$window" ] || { echo "the game's window did not appear"; exit 1; }

# The window's client area on the screen, from Xvfb's XWD image (32-bit pixels, big-endian
# header): "lit digest", lit being the pixels that are not black.
client_area() {
  local file=$work/Xvfb_screen0 X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$window")"
  word() { echo $((16#$(od -An -tx1 -j"$1" -N4 "$file" | tr -d ' \n'))); }
  local header lines colours
  header=$(word 0)
  lines=$(word 48)
  colours=$(word 76)
  dd if="$file" iflag=skip_bytes,count_bytes status=none \
    skip=$((header + colours * 12 + Y * lines)) count=$((HEIGHT * lines)) |
    od -An -v -tx4 -w"$lines" |
    awk -v x="$X" -v w="$WIDTH" '{
        for (i = x + 1; i <= x + w; i++) { row = row $i; if (substr($i, 3) != "000000") lit++ }
        print row > "/dev/stderr"; row = ""
      } END { print lit + 0 }' 2>"$work/area"
  md5sum <"$work/area" | cut -c1-12
}

sleep 2
read -r playing digest < <(client_area | paste -sd' ')
echo "playing: $playing lit pixels (picture $digest)"
[ "$playing" -gt 0 ] || { echo "the game shows nothing before minimising"; exit 1; }

failed=0
for round in $(seq "$rounds"); do
  xdotool windowminimize "$window"
  sleep 1
  state=$(xdotool search --onlyvisible --pid "$game_pid" | grep -c "^$window\$" || true)
  if [ "$state" -eq 0 ]; then
    echo "round $round: minimised"
  else
    echo "round $round: minimised, but the window is back on the screen by itself"
    failed=1
  fi
  xdotool windowactivate "$window" 2>/dev/null || xdotool windowmap "$window"
  back=0
  for _ in $(seq 50); do
    sleep 0.2
    read -r lit digest < <(client_area | paste -sd' ')
    # Most of what it showed before: a picture drawn again, not the window manager's repaint.
    if [ $((lit * 10)) -ge $((playing * 9)) ]; then back=1; break; fi
  done
  if [ "$back" -eq 1 ]; then
    echo "round $round: restored, picture back: $lit lit pixels (picture $digest)"
    # A live game draws what the keys do: Down moves the title menu's cursor.
    xdotool keydown Down
    sleep 0.2
    xdotool keyup Down
    before=$digest
    for _ in $(seq 50); do
      read -r lit digest < <(client_area | paste -sd' ')
      [ "$digest" != "$before" ] && break
      sleep 0.2
    done
    if [ "$digest" != "$before" ]; then
      echo "round $round: a key press is drawn (picture $digest)"
    else
      echo "round $round: the picture is back but a key press changes nothing"
      failed=1
    fi
  else
    echo "round $round: restored, but the window stays dark: $lit lit pixels"
    failed=1
  fi
  kill -0 "$game_pid" 2>/dev/null || { echo "the game ended"; failed=1; break; }
done
exit "$failed"
