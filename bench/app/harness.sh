# Shared by the whole-program benchmarks (sourced, not run): a virtual X
# server of ${width}x${height}, the demo camera, the program, and CPU readings
# of a process. The sourcing script sets build (the build folder), width,
# height, measure_s and name (its prefix for messages) first. bench/run passes
# Google Benchmark flags to every program; they mean nothing here and are
# ignored, anything else is refused.
for arg in "$@"; do
  case "$arg" in
    --benchmark_*) ;;
    *) echo "$name: unknown argument $arg" >&2; exit 2 ;;
  esac
done
tarnview="$build/app/tarnview"
democam="$build/tools/democam/democam"
first_picture="$build/bench/app/first_picture"
out="${TARNVIEW_BENCH_DIR:-.}"
scratch="$(mktemp -d)"
started=()
cleanup() {
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do
    kill "${started[i]}" 2>/dev/null || true
    wait "${started[i]}" 2>/dev/null || true
  done
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() { echo "$name: $*" >&2; exit 1; }
now_ms() { date +%s%3N; }
wait_for() {
  local limit_s="$1"; shift
  local deadline=$(($(now_ms) + limit_s * 1000))
  until "$@"; do
    [ "$(now_ms)" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}

ticks_per_s="$(getconf CLK_TCK)"
# CPU of process $1 over $measure_s seconds, in % of one core (user + system).
cpu_pct() {
  local pid="$1" t0 t1 ms0 ms1
  t0="$(awk '{print $14 + $15}' "/proc/$pid/stat")"; ms0="$(now_ms)"
  sleep "$measure_s"
  t1="$(awk '{print $14 + $15}' "/proc/$pid/stat")"; ms1="$(now_ms)"
  awk -v d="$((t1 - t0))" -v hz="$ticks_per_s" -v ms="$((ms1 - ms0))" \
    'BEGIN { printf "%.2f", d / hz / (ms / 1000) * 100 }'
}

stop() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

start_xvfb() {
  Xvfb -displayfd 3 -screen 0 "${width}x${height}x24" -noreset -nolisten tcp 3>"$scratch/display" \
    2>"$scratch/xvfb.out" &
  started+=("$!")
  wait_for 10 test -s "$scratch/display" || fail "Xvfb did not start"
  export DISPLAY=":$(head -1 "$scratch/display")"
}

# Starts the demo camera with the options given; sets port.
start_camera() {
  "$democam" --port 0 "$@" >"$scratch/camera.out" 2>&1 &
  started+=("$!")
  wait_for 15 grep -q "democam ready" "$scratch/camera.out" || fail "the demo camera did not start"
  port="$(awk '/democam ready/ {print $NF}' "$scratch/camera.out")"
}

# Starts the program in $scratch/work (its config.ini written by the caller);
# sets app and main (the main dialog's window).
start_app() {
  (cd "$scratch/work" && exec env HOME="$scratch/home" QT_QPA_PLATFORM=xcb "$tarnview") \
    >>"$scratch/app.out" 2>&1 &
  app=$!
  started+=("$app")
  main="$(timeout 20 xdotool search --sync --onlyvisible --name '^Divora$' | head -1)" \
    || fail "the main dialog did not appear"
}
