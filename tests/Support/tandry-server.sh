# Shared by the scripts that run real clients against the built program
# (tests/litmus, tests/cadaver). Source it, then:
#
#   server_start NAME DIR TANDRY [arguments...]
#       tandry on DIR/home with a system-assigned port; its output in
#       DIR/server.out and DIR/server.log; sets server_pid and server_port
#   server_stop NAME
#       SIGTERM, waiting at most 30 s (then SIGKILL); sets server_status
#   server_log_is_clean NAME DIR
#       fails, printing the report, when the log holds a sanitizer report
#
# An exit of the sourcing script kills a server still running.

server_pid=
server_port=
server_status=
trap '[[ -n $server_pid ]] && kill -KILL "$server_pid" 2>/dev/null' EXIT

server_start() {
    local name=$1 dir=$2 tandry=$3
    shift 3
    mkdir -p "$dir/work"
    # Without a display: these clients talk to the server-only program,
    # even when the tests run on a desktop.
    env -u DISPLAY -u WAYLAND_DISPLAY "$tandry" --home "$dir/home" -VKPortNumber 0 "$@" >"$dir/server.out" 2>"$dir/server.log" &
    server_pid=$!
    local url= tries=0
    while [[ -z $url ]]; do
        url=$(grep -m1 -o 'http://[^ ]*/' "$dir/server.out" 2>/dev/null || true)
        if [[ -z $url ]]; then
            if ! kill -0 "$server_pid" 2>/dev/null || (( ++tries > 300 )); then
                echo "[$name] the server did not start:"
                tail -n 30 "$dir/server.log"
                return 1
            fi
            sleep 0.1
        fi
    done
    server_port=${url##*:}
    server_port=${server_port%%/*}
}

server_stop() {
    local name=$1 waited=0
    # Bounded: a server that does not end (a hang at exit) fails the run
    # rather than the test's time limit.
    kill -TERM "$server_pid"
    while kill -0 "$server_pid" 2>/dev/null && (( waited++ < 300 )); do sleep 0.1; done
    kill -0 "$server_pid" 2>/dev/null && { echo "[$name] the server did not exit within 30 s of SIGTERM"; kill -KILL "$server_pid"; }
    wait "$server_pid"
    server_status=$?
    server_pid=
    if (( server_status != 0 )); then
        echo "[$name] the server ended with status $server_status on SIGTERM"
        return 1
    fi
}

server_log_is_clean() {
    local name=$1 dir=$2
    if grep -qE 'ERROR: (Address|Leak|Thread)Sanitizer|runtime error:|SUMMARY: (Address|Undefined)' "$dir/server.log"; then
        echo "[$name] sanitizer report in the server log:"
        grep -E -A 30 'ERROR: |runtime error:' "$dir/server.log" | head -n 80
        return 1
    fi
}
