#!/usr/bin/env bash
# A real Ctrl+C under Wine: SIGINT to the wine64 process arrives at the server
# as CTRL_C_EVENT, which must end it in order with exit code 0. (Headless Wine
# passes no console event from one Windows process to another, so the Windows
# test binaries cannot do this themselves.) Usage: wine_ctrl_c_test.sh EMGBRIDGE_EXE
set -u
exe="$1"
folder="$(mktemp -d)"
server=""
trap '[ -n "$server" ] && kill -KILL "$server" 2>/dev/null; rm -rf "$folder"' EXIT
# Two ports nothing listens on (a connection to them is refused).
free_port() {
    local port
    while :; do
        port=$((20000 + RANDOM % 40000))
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
    done
}
port="$(free_port)"
control_port="$(free_port)"
log="$folder/server.log"
"$(dirname "$0")/../../tools/wine_run.sh" "$exe" --data-dir "Z:$folder" --port "$port" --control-port "$control_port" \
    >"$log" 2>&1 &
server=$!
for _ in $(seq 200); do
    grep -q "console at http://localhost:$port/" "$log" && break
    sleep 0.1
done
grep -q "console at http://localhost:$port/" "$log" || { echo "the server did not start:"; cat "$log"; exit 1; }
kill -INT "$server"
wait "$server"
code=$?
server=""
cat "$log"
[ "$code" -eq 0 ] || { echo "exit code $code, not 0"; exit 1; }
grep -q "exitApplication" "$log" && grep -q "EXIT_EVT: " "$log" || { echo "no orderly end in the log"; exit 1; }
