# Sourced by the test peers' start/stop scripts (tests/peers/*.sh).
#
# peer_stop PIDFILE...: ends the processes whose pids the files hold, each
# by its own pid (never by name: other runs' peers may be alive), removing
# the files; TERM first, then KILL after about 3 s.
peer_stop() {
  local pids=() file pid
  for file in "$@"; do
    [ -f "$file" ] || continue
    pids+=("$(cat "$file")")
    rm -f "$file"
  done
  [ ${#pids[@]} -gt 0 ] || return 0
  kill -TERM "${pids[@]}" 2>/dev/null || true
  for _ in $(seq 1 150); do
    local alive=0
    for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
    [ $alive = 0 ] && return 0
    sleep 0.02
  done
  kill -KILL "${pids[@]}" 2>/dev/null || true
}

# peer_wait_ready NAME PIDFILE LOG COMMAND...: waits (at most about 5 s)
# until COMMAND succeeds; fails, naming the log, when the process ends first
# or the time runs out.
peer_wait_ready() {
  local name=$1 pidfile=$2 log=$3
  shift 3
  for _ in $(seq 1 250); do
    if ! kill -0 "$(cat "$pidfile")" 2>/dev/null; then
      echo "$name ended at start; see $log" >&2
      return 1
    fi
    "$@" 2>/dev/null && return 0
    sleep 0.02
  done
  echo "$name did not start; see $log" >&2
  return 1
}
