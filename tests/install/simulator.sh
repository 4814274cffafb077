# Starts the installed simulator on a free loopback port for at most a minute:
# sets SIM_PID and SIM_PORT. Sourced by the install tests.
start_simulator() {
  local command=$1 out=$2
  "$command" vendor-sim --port 0 --run-for 60 >"$out" 2>&1 &
  SIM_PID=$!
  SIM_PORT=
  for _ in $(seq 100); do
    SIM_PORT=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$out")
    [ -n "$SIM_PORT" ] && return 0
    sleep 0.1
  done
  echo "the simulator did not start:"; cat "$out"
  return 1
}
stop_simulator() {
  [ -n "${SIM_PID:-}" ] && kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
  SIM_PID=
}
