# Shared by the shell benchmarks that measure tandry against Apache httpd
# serving the same folder over WebDAV, and against nginx for plain GETs.
# Source it, then:
#
#   servers_init BUILD        scratch folder, release tandry from BUILD
#   tandry_start              tandry on a fresh home; TANDRY_URL, TANDRY_PID,
#                             TANDRY_DOCS (the folder served as "/Documents/")
#   peers_mirror              copies TANDRY_DOCS to PEER_DOCS, a folder the
#                             peers (which run as www-data and cannot enter
#                             tandry's private home) can read and write
#   apache_start              httpd (event MPM, mod_dav_fs, sendfile on, as its
#                             users tune it) on PEER_DOCS; APACHE_URL, APACHE_PID
#   nginx_start               nginx (one worker, sendfile and tcp_nopush on, no
#                             access log, as its users tune it for files) on
#                             PEER_DOCS with its own configuration in the
#                             scratch folder, never the system's service;
#                             NGINX_URL, NGINX_PID (empty when not installed)
#   servers_stop              all down, scratch removed (also on exit)
#   check_get NAME URL FILE   the server answers 200 with FILE's bytes, or the
#                             script stops saying what it got
#   check_put NAME URL FILE STORED
#                             a PUT of FILE answers 201 or 204 and leaves
#                             STORED equal to FILE, or the script stops
#   check_propfind NAME URL BODY ENTRIES
#                             a PROPFIND Depth 1 answers 207 whose entries
#                             (name, status, length, collection or not) are
#                             those in the file ENTRIES, or the script stops;
#                             propfind_entries URL BODY prints them,
#                             folder_entries DIR those of a folder on disk
#   wrk_rate NAME URL CONNS [LUA]
#                             wrk's requests per second (BENCH_WRK_THREADS
#                             threads, 2, at most one a connection); stops the script
#                             when an answer under load was not 2xx or 3xx
#   rss_kib PID / hwm_kib PID resident and peak resident memory;
#   reset_hwm PID             starts the peak anew
#   median                    median of the numbers on stdin
#   ratio A B                 A / B to two places
#   load_average              the machine's 1-minute load, for the report
#
# Both servers are pinned to CPU 0 (BENCH_SERVER_CPU) and the clients to the
# others, so that the figures compare the servers and not the machine's load;
# the scripts let the servers take turns within one run.

BENCH_SERVER_CPU=${BENCH_SERVER_CPU:-0}
BENCH_CLIENT_CPUS=${BENCH_CLIENT_CPUS:-1-$(( $(nproc) - 1 ))}
BENCH_LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

servers_init() {
    local build=${1:?usage: servers_init BUILD}
    TANDRY_BIN=$(cd "$build" && pwd)/tandry
    [[ -x $TANDRY_BIN ]] || { echo "no tandry in $build (make bench builds it)" >&2; exit 1; }
    # Apache's and nginx's workers run as www-data: the scratch must be
    # theirs to enter.
    BENCH_SCRATCH=$(mktemp -d /var/tmp/tandry-bench.XXXXXX)
    chmod 755 "$BENCH_SCRATCH"
    PEER_DOCS=$BENCH_SCRATCH/www
    trap servers_stop EXIT
}

have_apache() { command -v apache2 >/dev/null; }

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

tandry_start() {
    local home=$BENCH_SCRATCH/tandry-home
    mkdir -p "$home"
    # Emptied here: the background start truncates it only once it runs, and
    # a URL left by an earlier start must not be taken for this one's.
    : >"$BENCH_SCRATCH/tandry.out"
    taskset -c "$BENCH_SERVER_CPU" "$TANDRY_BIN" --home "$home" -VKPortNumber 0 "$@" \
        >"$BENCH_SCRATCH/tandry.out" 2>"$BENCH_SCRATCH/tandry.log" &
    TANDRY_PID=$!
    local tries=0 url=
    while [[ -z $url ]]; do
        url=$(grep -m1 -o 'http://[^ ]*/' "$BENCH_SCRATCH/tandry.out" 2>/dev/null || true)
        if [[ -z $url ]]; then
            kill -0 "$TANDRY_PID" 2>/dev/null && (( ++tries < 300 )) || { tail "$BENCH_SCRATCH/tandry.log" >&2; exit 1; }
            sleep 0.1
        fi
    done
    local port=${url##*:}
    TANDRY_URL="http://127.0.0.1:${port%%/*}"
    TANDRY_DOCS=$home/Library/Documents
}

tandry_stop() {
    [[ -n ${TANDRY_PID:-} ]] || return 0
    kill -TERM "$TANDRY_PID"
    wait "$TANDRY_PID" || true
    TANDRY_PID=
}

peers_mirror() {
    rm -rf "$PEER_DOCS"
    cp -a "$TANDRY_DOCS" "$PEER_DOCS"
    chown -R www-data: "$PEER_DOCS"
    chmod 755 "$PEER_DOCS"
}

apache_start() {
    have_apache || { echo "apache2 is not installed (scripts/install-deps --bench)" >&2; exit 1; }
    [[ -d $PEER_DOCS ]] || peers_mirror
    local root=$PEER_DOCS
    local conf=$BENCH_SCRATCH/apache
    local port
    port=$(free_port)
    mkdir -p "$conf"
    local modules=/usr/lib/apache2/modules
    cat >"$conf/httpd.conf" <<CONF
ServerRoot $conf
ServerName 127.0.0.1
Listen 127.0.0.1:$port
PidFile $conf/httpd.pid
ErrorLog $conf/error.log
LogLevel warn
User www-data
Group www-data
LoadModule mpm_event_module $modules/mod_mpm_event.so
LoadModule authz_core_module $modules/mod_authz_core.so
LoadModule mime_module $modules/mod_mime.so
LoadModule dav_module $modules/mod_dav.so
LoadModule dav_fs_module $modules/mod_dav_fs.so
TypesConfig /etc/mime.types
EnableSendfile On
KeepAlive On
KeepAliveTimeout 60
MaxKeepAliveRequests 0
ServerLimit 16
ThreadsPerChild 64
MaxRequestWorkers 1024
LimitRequestBody 0
DavLockDB $conf/davlock
DocumentRoot $root
<Directory $root>
    Dav On
    Require all granted
    Options None
    AllowOverride None
</Directory>
CONF
    chown www-data: "$conf"
    taskset -c "$BENCH_SERVER_CPU" apache2 -f "$conf/httpd.conf" -DFOREGROUND &
    APACHE_PID=$!
    APACHE_URL="http://127.0.0.1:$port"
    wait_for_server "$APACHE_URL" "$APACHE_PID" "$conf/error.log"
}

# wait_for_server URL PID LOG: until the server answers; its log and exit
# when it died or never answered.
wait_for_server() {
    local tries=0
    until curl -s -o /dev/null "$1/"; do
        kill -0 "$2" 2>/dev/null && (( ++tries < 100 )) || { cat "$3" >&2; exit 1; }
        sleep 0.1
    done
}

nginx_start() {
    [[ -d $PEER_DOCS ]] || peers_mirror
    local root=$PEER_DOCS
    NGINX_PID= NGINX_URL=
    local nginx
    nginx=$(command -v nginx || echo /usr/sbin/nginx)
    [[ -x $nginx ]] || { echo "nginx is not installed (scripts/install-deps --bench): its column stays empty" >&2; return 0; }
    local conf=$BENCH_SCRATCH/nginx
    local port
    port=$(free_port)
    mkdir -p "$conf"
    cat >"$conf/nginx.conf" <<CONF
daemon off;
worker_processes 1;
user www-data;
pid $conf/nginx.pid;
error_log $conf/error.log warn;
events { worker_connections 8192; }
http {
    include /etc/nginx/mime.types;
    access_log off;
    sendfile on;
    tcp_nopush on;
    keepalive_timeout 60;
    keepalive_requests 100000000;
    client_body_temp_path $conf/body;
    proxy_temp_path $conf/proxy;
    fastcgi_temp_path $conf/fastcgi;
    uwsgi_temp_path $conf/uwsgi;
    scgi_temp_path $conf/scgi;
    server {
        listen 127.0.0.1:$port;
        root $root;
    }
}
CONF
    taskset -c "$BENCH_SERVER_CPU" "$nginx" -e "$conf/error.log" -p "$conf" -c "$conf/nginx.conf" &
    NGINX_PID=$!
    NGINX_URL="http://127.0.0.1:$port"
    wait_for_server "$NGINX_URL" "$NGINX_PID" "$conf/error.log"
}

servers_stop() {
    [[ -n ${TANDRY_PID:-} ]] && { kill -TERM "$TANDRY_PID" 2>/dev/null; wait "$TANDRY_PID" 2>/dev/null; }
    [[ -n ${APACHE_PID:-} ]] && { kill -TERM "$APACHE_PID" 2>/dev/null; wait "$APACHE_PID" 2>/dev/null; }
    [[ -n ${NGINX_PID:-} ]] && { kill -QUIT "$NGINX_PID" 2>/dev/null; wait "$NGINX_PID" 2>/dev/null; }
    TANDRY_PID= APACHE_PID= NGINX_PID=
    [[ -n ${BENCH_SCRATCH:-} ]] && rm -rf "$BENCH_SCRATCH"
    BENCH_SCRATCH=
}

# A benchmark that times wrong answers measures nothing: each server's answer
# to the job is checked before it is timed.
bench_fail() {
    echo "bench: $*; nothing timed" >&2
    exit 1
}

check_get() {
    local name=$1 url=$2 file=$3 got status
    got=$BENCH_SCRATCH/check.body
    status=$(curl -s -o "$got" -w '%{http_code}' "$url") || true
    [[ $status == 200 ]] || bench_fail "$name answered GET $url with $status, not 200"
    cmp -s "$got" "$file" || bench_fail "$name's answer to GET $url is not the bytes of $file ($(stat -c %s "$got") bytes)"
    rm -f "$got"
}

check_put() {
    local name=$1 url=$2 file=$3 stored=$4 status
    status=$(curl -s -o /dev/null -w '%{http_code}' -T "$file" "$url") || true
    [[ $status == 201 || $status == 204 ]] || bench_fail "$name answered PUT $url with $status, not 201 or 204"
    cmp -s "$stored" "$file" || bench_fail "$name stored something else than $file at $stored after PUT $url"
}

propfind_entries() {
    local url=$1 body=$2
    curl -s -X PROPFIND -H 'Depth: 1' -H 'Content-Type: text/xml' ${body:+--data "$body"} \
        -w '\n%{http_code}' "$url" | python3 "$BENCH_LIB/multistatus.py"
}

check_propfind() {
    local name=$1 url=$2 body=$3 expected=$4 got
    got=$BENCH_SCRATCH/check.entries
    propfind_entries "$url" "$body" >"$got" || bench_fail "$name's answer to PROPFIND $url is no 207 multistatus: $(head -c 200 "$got")"
    if ! cmp -s "$got" "$expected"; then
        echo "entries differing (< expected, > $name):" >&2
        diff "$expected" "$got" | head -20 >&2
        bench_fail "$name's answer to PROPFIND $url lists other entries"
    fi
    rm -f "$got"
}

# Apache's memory is that of all its processes (PSS, so shared pages count once).
rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
hwm_kib() { awk '/^VmHWM/ {print $2}' "/proc/$1/status"; }
reset_hwm() { echo 5 >"/proc/$1/clear_refs"; }
pss_tree_kib() {
    local total=0 pid
    for pid in "$1" $(pgrep -P "$1"); do
        total=$(( total + $(awk '/^Pss:/ {s += $2} END {print s + 0}' "/proc/$pid/smaps_rollup" 2>/dev/null || echo 0) ))
    done
    echo "$total"
}

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0) ? a / b : 0}'; }
client() { taskset -c "$BENCH_CLIENT_CPUS" "$@"; }
load_average() { cut -d' ' -f1 /proc/loadavg; }

# folder_entries DIR: the entries (as propfind_entries prints them) that a
# PROPFIND Depth 1 of DIR lists.
folder_entries() {
    {
        printf '.\tdir\tfound\n'
        find "$1" -mindepth 1 -maxdepth 1 -type d -printf '%f\tdir\tfound\n'
        find "$1" -mindepth 1 -maxdepth 1 -type f -printf '%f\tfile %s\tfound\n'
    } | LC_ALL=C sort
}

# wrk_rate NAME URL CONNECTIONS [LUA]: wrk's requests per second, on the
# client CPUs; stops the script when any answer was not 2xx or 3xx.
wrk_rate() {
    local name=$1 url=$2 conns=$3 script=${4:-} out
    local threads=${BENCH_WRK_THREADS:-2}
    out=$(client wrk -t"$(( conns < threads ? conns : threads ))" -c"$conns" -d"${BENCH_DURATION:-10s}" ${script:+-s "$script"} "$url" \
        2>"$BENCH_SCRATCH/wrk.errors")
    [[ ! -s $BENCH_SCRATCH/wrk.errors ]] || bench_fail "wrk failed on $url: $(head -3 "$BENCH_SCRATCH/wrk.errors")"
    if grep -q 'Non-2xx' <<<"$out"; then
        bench_fail "$name gave $(grep -o 'Non-2xx or 3xx responses: [0-9]*' <<<"$out") under wrk on $url"
    fi
    awk '/^Requests\/sec/ {print $2}' <<<"$out"
}
