#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
# SPDX-License-Identifier: GPL-3.0-or-later
# A private CUPS server for the print test: one PDF queue (cups-pdf) as the
# default printer, listening on 127.0.0.1 only, with all its files in one
# folder. The system's own print server, if any, is left alone.
#
#   scripts/cups-test-server.sh start <folder> <port>
#   scripts/cups-test-server.sh stop <folder>
#
# Clients reach it with CUPS_SERVER=127.0.0.1:<port>; printed pages land as
# PDF files in <folder>/pdf. When no cupsd is installed, start writes the
# reason to <folder>/unavailable and succeeds, so the test can skip.
#
# cups-pdf reads its settings only from /etc/cups/cups-pdf-<instance>.conf,
# so start writes one file there, named after the port, and stop removes it.
set -euo pipefail

readonly queue=RennzeitPDF

usage()
{
    echo "usage: $0 start <folder> <port> | stop <folder>" >&2
    exit 2
}

find_cupsd()
{
    command -v cupsd 2>/dev/null || { [ -x /usr/sbin/cupsd ] && echo /usr/sbin/cupsd; } || true
}

# Alive and still our cupsd: a stale pid file must not make us signal a
# process that merely got the same number.
server_alive()
{
    local pid
    [ -f "$dir/cupsd.pid" ] || return 1
    pid=$(cat "$dir/cupsd.pid")
    [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 1
    tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null | grep -qF -- "$dir/conf/cupsd.conf"
}

stop_server()
{
    if server_alive; then
        local pid
        pid=$(cat "$dir/cupsd.pid")
        kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 1 100); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -0 "$pid" 2>/dev/null && kill -KILL "$pid" 2>/dev/null || true
    fi
    rm -f "$dir/cupsd.pid"
    if [ -f "$dir/instance" ]; then
        rm -f "/etc/cups/cups-pdf-$(cat "$dir/instance").conf"
        rm -f "$dir/instance"
    fi
}

fail()
{
    echo "cups-test-server: $*" >&2
    for log in "$dir/log/error_log" "$dir/log/cupsd.out"; do
        [ -s "$log" ] && { echo "--- $log" >&2; tail -n 40 "$log" >&2; }
    done
    stop_server
    exit 1
}

port_in_use()
{
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null
}

start_server()
{
    [ -d "$dir" ] && dir=$(cd "$dir" && pwd)
    stop_server
    if [ -d "$dir" ] && [ -n "$(ls -A "$dir")" ] && [ ! -f "$dir/conf/cupsd.conf" ] && [ ! -f "$dir/unavailable" ]; then
        echo "cups-test-server: $dir is not a folder of this script, refusing to empty it" >&2
        exit 1
    fi
    rm -rf "$dir"
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd)

    local cupsd
    cupsd=$(find_cupsd)
    if [ -z "$cupsd" ]; then
        echo "no cupsd installed (Debian package cups)" > "$dir/unavailable"
        echo "cups-test-server: no cupsd, the print test will skip" >&2
        exit 0
    fi
    if [ ! -x /usr/lib/cups/backend/cups-pdf ] || [ ! -f /usr/share/ppd/cups-pdf/CUPS-PDF_noopt.ppd ]; then
        echo "no cups-pdf backend (Debian package printer-driver-cups-pdf)" > "$dir/unavailable"
        echo "cups-test-server: no cups-pdf, the print test will skip" >&2
        exit 0
    fi
    if port_in_use; then
        fail "port $port on 127.0.0.1 is already in use"
    fi

    mkdir -p "$dir"/{conf,spool/tmp,cache,state,log,pdf,pdf-spool}
    # The filters run as the unprivileged user lp and must reach the spool.
    chmod 0755 "$dir" "$dir/pdf"
    chmod 1777 "$dir/pdf-spool"

    cat > "$dir/conf/cups-files.conf" <<EOF
ServerRoot $dir/conf
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
User lp
Group lp
SystemGroup root
Printcap $dir/printcap
EOF
    # Loopback only and nobody but this machine's test may talk to it, so no
    # authentication: the test adds the queue without a password.
    cat > "$dir/conf/cupsd.conf" <<EOF
Listen 127.0.0.1:$port
LogLevel info
MaxLogSize 0
Browsing No
BrowseLocalProtocols none
WebInterface No
DefaultShared No
JobRetryLimit 0
PreserveJobFiles No
<Location />
  Order deny,allow
  Deny all
  Allow 127.0.0.1
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
    chmod 0644 "$dir/conf/cupsd.conf" "$dir/conf/cups-files.conf"

    local instance="rennzeit-test-$port"
    echo "$instance" > "$dir/instance"
    cat > "/etc/cups/cups-pdf-$instance.conf" <<EOF
Out $dir/pdf
Spool $dir/pdf-spool
AnonDirName $dir/pdf
Grp root
Log $dir/log
LogType 3
UserUMask 0022
EOF

    # Own session and no inherited output, so the caller (a CTest fixture)
    # does not wait for the server's end.
    setsid "$cupsd" -f -c "$dir/conf/cupsd.conf" -s "$dir/conf/cups-files.conf" \
        </dev/null >"$dir/log/cupsd.out" 2>&1 &
    echo $! > "$dir/cupsd.pid"

    local server="127.0.0.1:$port" ready=
    for _ in $(seq 1 600); do
        server_alive || fail "cupsd ended during start-up"
        if lpstat -h "$server" -r 2>/dev/null | grep -q "is running"; then
            ready=1
            break
        fi
        sleep 0.1
    done
    [ -n "$ready" ] || fail "cupsd did not answer on $server within 60 s"

    # The queue turns PDF jobs into PostScript before cups-pdf makes a PDF of
    # it again; the default renderer loses the fonts' text mapping on that
    # way, pdftocairo keeps it, so the printed text can be checked.
    lpadmin -h "$server" -p "$queue" -v "cups-pdf:/$instance" \
        -P /usr/share/ppd/cups-pdf/CUPS-PDF_noopt.ppd -o pdftops-renderer-default=pdftocairo \
        -E >"$dir/log/lpadmin.out" 2>&1 \
        || { cat "$dir/log/lpadmin.out" >&2; fail "lpadmin could not add the queue"; }
    lpadmin -h "$server" -d "$queue" >>"$dir/log/lpadmin.out" 2>&1 || fail "lpadmin could not make $queue the default"
    lpstat -h "$server" -d 2>/dev/null | grep -q "$queue" || fail "$queue is not the default destination"
    echo "cups-test-server: $queue ready on $server, PDFs in $dir/pdf (cupsd pid $(cat "$dir/cupsd.pid"))"
}

[ $# -ge 2 ] || usage
action=$1
dir=$2
case "$action" in
start)
    [ $# -eq 3 ] || usage
    port=$3
    start_server
    ;;
stop)
    [ -d "$dir" ] || exit 0
    dir=$(cd "$dir" && pwd)
    stop_server
    echo "cups-test-server: stopped"
    ;;
*) usage ;;
esac
