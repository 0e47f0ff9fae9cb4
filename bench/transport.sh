#!/bin/bash
# Compares the mail clients with Python's poplib and smtplib and with Postfix's smtp-source,
# side by side in one run:
#   POP3: 1,000 messages of about 4 KB drained from Dovecot (TOP n 0, RETR n, DELE n, newest
#         first, QUIT) by a scan's pass with TPop3Client (pipelined, as Dovecot announces
#         PIPELINING) and by poplib (command by command).
#   SMTP: 1,000 messages of about 4 KB sent to smtp-sink on a loopback port, one connection
#         per message, by TSmtpClient, smtplib and smtp-source.
# Prints the rates and the ratios ours/poplib (want >= 1.0), ours/smtplib (>= 1.0) and
# ours/smtp-source (>= 0.8).
#
# Usage: bench/transport.sh [runs=3] [messages=1000] [bytes=4096]
# Environment: BUILD (build folder, default ./build), PYTHON (default /usr/bin/python3),
# POP3_ROUNDS (rounds of four POP3 drains per run, default 2).
# Needs root (Dovecot), dovecot-pop3d (scripts/setup) and postfix's smtp-sink and
# smtp-source (installed here when missing, without configuring a mail system).

set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
runs=${1:-3}
messages=${2:-1000}
bytes=${3:-4096}
build=${BUILD:-$root/build}
python=${PYTHON:-/usr/bin/python3}
rounds=${POP3_ROUNDS:-2}
bench=$build/bench/transport_bench
peers=$here/transport_peers.py

if [[ ! -x $bench ]]; then
    echo "transport.sh: $bench is missing; build first (cmake --build $build -j2)" >&2
    exit 1
fi

# shellcheck source=bench/smtp_sink.sh
source "$here/smtp_sink.sh"

# The rate of a "RESULT protocol client messages seconds rate" line.
rate_of() {
    awk -v p="$1" -v c="$2" '$1 == "RESULT" && $2 == p && $3 == c { print $6 }' <<<"$3"
}

# Prints "name: a / b = ratio (want >= min)" and flags a shortfall.
ratio() {
    awk -v name="$1" -v a="$2" -v b="$3" -v min="$4" 'BEGIN {
        r = a / b
        printf "  %-26s %8.1f / %8.1f = %5.2f  (want >= %.1f)%s\n", name, a, b, r, min,
               (r >= min ? "" : "  SHORT")
    }'
}

seconds_now() { date +%s.%N; }

# A RESULT line as the bench program prints it for people.
show() {
    awk '{
        cpu = ($7 == "-") ? "" : sprintf(" (client cpu %.3f s)", $7)
        printf "%-9s %-14s %5d in %7.3f s = %8.1f /s%s\n", $2, $3, $4, $5, $6, cpu
    }' <<<"$1"
}

echo "transport bench: $runs runs, $messages messages of about $bytes bytes," \
    "$rounds rounds of POP3 drains"
echo "load: $(uptime)"
summary=""
for run in $(seq "$runs"); do
    echo "== run $run"
    # Who drains first alternates from run to run, so neither always meets a fresh mailbox.
    order=ours-first
    if ((run % 2 == 0)); then order=poplib-first; fi
    out=$("$bench" pop3 "$peers" "$messages" "$bytes" "$python" "$order" "$rounds")
    grep -v '^RESULT' <<<"$out"
    results=$out

    port=$(free_port)
    start_sink "$port" 100
    out=$("$bench" smtp 127.0.0.1 "$port" "$messages" "$bytes")
    grep -v '^RESULT' <<<"$out"
    results+=$'\n'$out

    read -r wall cpu < <("$python" "$peers" smtp 127.0.0.1 "$port" "$messages" "$bytes" | tail -n 1)
    line=$(awk -v m="$messages" -v s="$wall" -v c="$cpu" \
        'BEGIN { printf "RESULT smtp smtplib %d %.6f %.3f %.6f", m, s, m / s, c }')
    show "$line"
    results+=$'\n'$line

    begin=$(seconds_now)
    smtp-source -s 1 -m "$messages" -l "$bytes" "127.0.0.1:$port"
    end=$(seconds_now)
    line=$(awk -v m="$messages" -v b="$begin" -v e="$end" \
        'BEGIN { printf "RESULT smtp smtp-source %d %.6f %.3f -", m, e - b, m / (e - b) }')
    show "$line"
    results+=$'\n'$line
    stop_sink

    ratios=$(
        ratio "pop3 ours/poplib median" "$(rate_of pop3 ours-median "$results")" \
            "$(rate_of pop3 poplib-median "$results")" 1.0
        ratio "pop3 ours/poplib total" "$(rate_of pop3 ours "$results")" \
            "$(rate_of pop3 poplib "$results")" 1.0
        ratio "smtp ours/smtplib" "$(rate_of smtp ours "$results")" \
            "$(rate_of smtp smtplib "$results")" 1.0
        ratio "smtp ours/smtp-source" "$(rate_of smtp ours "$results")" \
            "$(rate_of smtp smtp-source "$results")" 0.8
    )
    echo "$ratios"
    summary+="run $run"$'\n'"$ratios"$'\n'
done
echo "== summary"
printf '%s' "$summary"
echo "load: $(uptime)"
