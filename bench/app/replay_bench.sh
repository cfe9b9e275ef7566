#!/usr/bin/env bash
# Whole-program CPU of Tarnview during a half-speed instant replay of the demo
# camera's 1080p main stream at 8 Mbit/s, under a virtual X server of that size:
#   replay_cpu_pct_1080p  the program while it replays (live port, ring and
#                         DecThread going on underneath), % of one core
#   live_cpu_pct_1080p    the same session just before, delayed playback only
# Writes $TARNVIEW_BENCH_DIR/replay.summary.json. Google Benchmark flags from
# bench/run are ignored.
set -euo pipefail
build="$(cd "$(dirname "$0")/../.." && pwd)"

readonly width=1920 height=1080 delay_s=2
readonly replay_s=12 replay_speed=0.5  # a replay of 24 s: the measurement fits inside it
readonly measure_s=8
name=replay
source "$build/bench/app/harness.sh"

start_xvfb
start_camera --size "${width}x${height}" --bitrate 8192
mkdir -p "$scratch/work" "$scratch/home"
printf '[SysParam]\nip=127.0.0.1\nport=%s\nusr=admin\npwd=60917\ndelaytime=%s\nreplaySeconds=%s\nreplaySpeed=%s\n' \
  "$port" "$delay_s" "$replay_s" "$replay_speed" >"$scratch/work/config.ini"
start_app
sleep 2
xdotool windowfocus --sync "$main"
"$first_picture" space 20000 >/dev/null || fail "no picture after the start"
sleep 2
# The buffer fills while the live figure is taken.
live_pct="$(cpu_pct "$app")"
echo "delayed playback at 1080p: $live_pct % of a core"
sleep $((replay_s - measure_s))

# R on the display window, which has the keyboard focus.
xdotool keydown r
sleep 0.05
xdotool keyup r
sleep 1
import -window root "$scratch/replay.png"
white="$(convert "$scratch/replay.png" -crop 300x80+0+0 +repage -colorspace Gray -threshold 96% \
  -format '%[fx:int(mean*w*h)]' info:)"
[ "$white" -gt 40 ] || fail "no replay marker on screen after R"
replay_pct="$(cpu_pct "$app")"
echo "half-speed replay at 1080p: $replay_pct % of a core"

mkdir -p "$out"
printf '{\n  "live_cpu_pct_1080p": %s,\n  "replay_cpu_pct_1080p": %s\n}\n' "$live_pct" "$replay_pct" \
  >"$out/replay.summary.json"
cat "$out/replay.summary.json"
