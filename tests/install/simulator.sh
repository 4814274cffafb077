# Starts the installed simulator on a free loopback port for at most a minute:
# sets SIM_PID and SIM_PORT. Sourced by the install tests.
start_simulator() {
  local command=$1 out=$2
  # The file exists before the simulator starts: under load the first read below can
  # come before the background child has opened its redirect.
  : >"$out"
  "$command" vendor-sim --port 0 --run-for 60 >>"$out" 2>&1 &
  SIM_PID=$!
  SIM_PORT=
  # Waits for the "listening on" line, at most 30 s (a loaded 2-core machine can take
  # seconds to start a process), and stops early when the simulator has already ended.
  local deadline=$((SECONDS + 30))
  while [ "$SECONDS" -lt "$deadline" ]; do
    SIM_PORT=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$out")
    [ -n "$SIM_PORT" ] && return 0
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "gave up waiting for the simulator's \"listening on 127.0.0.1:PORT\" line; it printed:"
  cat "$out"
  return 1
}
stop_simulator() {
  if [ -n "${SIM_PID:-}" ]; then
    kill "$SIM_PID" 2>/dev/null || true
    wait "$SIM_PID" 2>/dev/null || true
  fi
  SIM_PID=
}
