# shellcheck shell=bash
# Sourced from the repository root by the scripts and benchmarks that run
# vantis-backend in the background. The backend prints one line once it listens:
#   vantis-backend api https://127.0.0.1:PORT web http://127.0.0.1:PORT control-token TOKEN
# start_backend runs a command that execs the backend, waits for that line (10 s
# at most) and sets BACKEND_PID, BACKEND_API (https://...), BACKEND_WEB
# (http://...) and BACKEND_CONTROL_TOKEN; on failure it shows what the backend
# said and returns 1.
start_backend() { # banner_file log_file command [arguments...]
  local banner="$1" log="$2"
  shift 2
  : >"$banner"
  "$@" >"$banner" 2>"$log" &
  BACKEND_PID=$!
  for _ in $(seq 200); do
    grep -q 'control-token' "$banner" && break
    kill -0 "$BACKEND_PID" 2>/dev/null || break
    sleep 0.05
  done
  if ! grep -q 'control-token' "$banner"; then
    echo "vantis-backend did not start:" >&2
    cat "$banner" "$log" >&2
    return 1
  fi
  BACKEND_API="$(grep -o 'api https://127.0.0.1:[0-9]*' "$banner" | cut -d' ' -f2)"
  BACKEND_WEB="$(grep -o 'web http://127.0.0.1:[0-9]*' "$banner" | cut -d' ' -f2)"
  BACKEND_CONTROL_TOKEN="$(grep -o 'control-token [^ ]*' "$banner" | cut -d' ' -f2)"
}
