#!/bin/bash
# Compares the mail clients over TLS with Python's poplib.POP3_SSL and smtplib.SMTP_SSL, side
# by side in one run:
#   POP3: 1,000 messages of about 4 KB drained from Dovecot over implicit TLS (TOP n 0,
#         RETR n, DELE n, newest first, QUIT) by TPop3Client and by POP3_SSL.
#   SMTP: 1,000 messages of about 4 KB sent over implicit TLS, one connection per message, by
#         TSmtpClient and SMTP_SSL to Postfix's smtp-sink behind stunnel; then the cost of a
#         handshake alone, full and resumed; and a scan posting one message individually
#         to as many members over one TLS session (engine_bench), against the one
#         connection per message of TSmtpClient before it.
# Both clients check the server's certificate against a CA made for the run. Prints the rates
# and the ratios ours/POP3_SSL and ours/SMTP_SSL (want >= 1.0 each).
#
# Usage: bench/tls.sh [runs=3] [messages=1000] [bytes=4096]
# Environment: BUILD (build folder, default ./build), PYTHON (default /usr/bin/python3),
# POP3_ROUNDS (rounds of four POP3 drains per run, default 2).
# Needs root (Dovecot), dovecot-pop3d and openssl (scripts/setup), postfix's smtp-sink and
# stunnel4 (installed here when missing, without configuring a mail system).

set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
runs=${1:-3}
messages=${2:-1000}
bytes=${3:-4096}
build=${BUILD:-$root/build}
python=${PYTHON:-/usr/bin/python3}
rounds=${POP3_ROUNDS:-2}
bench=$build/bench/tls_bench
engine=$build/bench/engine_bench
peers=$here/transport_peers.py

if [[ ! -x $bench || ! -x $engine ]]; then
    echo "tls.sh: $bench or $engine is missing; build first (cmake --build $build -j2)" >&2
    exit 1
fi

# shellcheck source=bench/smtp_sink.sh
source "$here/smtp_sink.sh"
if ! command -v stunnel4 >/dev/null; then
    echo "Installing stunnel4 as the SMTP sink's TLS front"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q stunnel4 >/dev/null
fi

work=$(mktemp -d /tmp/corvanteer-tls-bench.XXXXXX)
stunnel_pid=
stop_all() {
    if [[ -n $stunnel_pid ]]; then
        kill "$stunnel_pid" 2>/dev/null || true
        wait "$stunnel_pid" 2>/dev/null || true
        stunnel_pid=
    fi
    stop_sink
}
trap 'stop_all; rm -rf "$work"' EXIT

# A CA and a certificate for 127.0.0.1 that it signs (EC P-256, as most providers now serve).
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 \
    -subj "/CN=Corvanteer bench CA" -keyout "$work/ca.key" -out "$work/ca.pem" 2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=127.0.0.1" \
    -keyout "$work/server.key" -out "$work/server.csr" 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n' >"$work/server.ext"
openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" \
    -CAcreateserial -days 2 -extfile "$work/server.ext" -out "$work/server.pem" 2>/dev/null

rate_of() {
    awk -v p="$1" -v c="$2" '$1 == "RESULT" && $2 == p && $3 == c { print $6 }' <<<"$3"
}

ratio() {
    awk -v name="$1" -v a="$2" -v b="$3" -v min="$4" 'BEGIN {
        r = a / b
        printf "  %-28s %8.1f / %8.1f = %5.2f  (want >= %.1f)%s\n", name, a, b, r, min,
               (r >= min ? "" : "  SHORT")
    }'
}

wait_port() {
    for _ in $(seq 100); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then
            return 0
        fi
        sleep 0.05
    done
    echo "tls.sh: nothing listens on port $1" >&2
    exit 1
}

echo "TLS bench: $runs runs, $messages messages of about $bytes bytes," \
    "$rounds rounds of POP3 drains"
echo "load: $(uptime)"
summary=""
for run in $(seq "$runs"); do
    echo "== run $run"
    order=ours-first
    if ((run % 2 == 0)); then order=poplib-first; fi
    out=$("$bench" pop3 "$peers" "$messages" "$bytes" "$python" "$order" "$rounds")
    grep -v '^RESULT' <<<"$out"
    results=$out

    sink_port=$(free_port)
    start_sink "$sink_port" 100
    tls_port=$(free_port)
    cat >"$work/stunnel.conf" <<CONF
foreground = yes
pid =
[smtps]
accept = 127.0.0.1:$tls_port
connect = 127.0.0.1:$sink_port
cert = $work/server.pem
key = $work/server.key
CONF
    stunnel4 "$work/stunnel.conf" 2>"$work/stunnel.log" &
    stunnel_pid=$!
    wait_port "$tls_port"

    out=$("$bench" smtp 127.0.0.1 "$tls_port" "$work/ca.pem" "$messages" "$bytes")
    grep -v '^RESULT' <<<"$out"
    results+=$'\n'$out

    # One posting to $messages members individually, over one TLS session.
    out=$("$engine" post 127.0.0.1 "$tls_port" "$messages" 1 "$bytes" "$work/ca.pem")
    grep -v '^RESULT' <<<"$out"
    results+=$'\n'$(awk '$1 == "RESULT" { printf "RESULT smtps posting %d %s %s %s", $4, $5, $6, $8 }' \
        <<<"$out")

    read -r wall cpu < <("$python" "$peers" smtps 127.0.0.1 "$tls_port" "$messages" "$bytes" \
        "$work/ca.pem" | tail -n 1)
    line=$(awk -v m="$messages" -v s="$wall" -v c="$cpu" \
        'BEGIN { printf "RESULT smtps smtp_ssl %d %.6f %.3f %.6f", m, s, m / s, c }')
    awk '{ printf "%-9s %-14s %5d in %7.3f s = %8.1f /s (client cpu %.3f s)\n", $2, $3, $4, $5, $6, $7 }' <<<"$line"
    results+=$'\n'$line
    stop_all

    full=$(rate_of handshake full "$results")
    resumed=$(rate_of handshake resumable "$results")
    ratios=$(
        ratio "pop3s ours/POP3_SSL median" "$(rate_of pop3s ours-median "$results")" \
            "$(rate_of pop3s poplib-median "$results")" 1.0
        ratio "pop3s ours/POP3_SSL total" "$(rate_of pop3s ours "$results")" \
            "$(rate_of pop3s poplib "$results")" 1.0
        ratio "smtps ours/SMTP_SSL" "$(rate_of smtps ours "$results")" \
            "$(rate_of smtps smtp_ssl "$results")" 1.0
        ratio "smtps posting on one session/a connection per copy" \
            "$(rate_of smtps posting "$results")" "$(rate_of smtps ours "$results")" 1.0
        awk -v f="$full" -v r="$resumed" 'BEGIN {
            printf "  handshake (connect, TLS, greeting, close): full %.2f ms, resumable %.2f ms\n",
                   1000 / f, 1000 / r }'
    )
    echo "$ratios"
    summary+="run $run"$'\n'"$ratios"$'\n'
done
echo "== summary"
printf '%s' "$summary"
echo "load: $(uptime)"
