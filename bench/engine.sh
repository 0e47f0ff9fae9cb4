#!/bin/bash
# Throughput of whole scans, side by side in one run:
#   individual: one posting to a list of 10,000 members, one copy (one connection) per member,
#               sent by a scan's phase 3 with TSmtpClient to Postfix's smtp-sink on a loopback
#               port, beside smtp-source sending 10,000 messages of the same size one
#               connection each to the same sink (want ours/smtp-source >= 0.8);
#   bcc:        the same list in Bcc mode, one transaction with 10,000 recipients (want the
#               whole scan under 2 s);
#   rules:      phase 3 over 250, 500 and 1,000 temp files of members of a 100,000-member list
#               with posting method 2 (rules only, nothing sent): milliseconds per message,
#               which should not grow with the number of files.
#
# Usage: bench/engine.sh [runs=2] [members=10000] [roster=100000]
# Environment: BUILD (build folder, default ./build), FILES (temp file counts, default
# "250 500 1000"). Needs postfix's smtp-sink and smtp-source (installed here when missing,
# without configuring a mail system).

set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
runs=${1:-2}
members=${2:-10000}
roster=${3:-100000}
build=${BUILD:-$root/build}
files=${FILES:-250 500 1000}
bench=$build/bench/engine_bench

if [[ ! -x $bench ]]; then
    echo "engine.sh: $bench is missing; build first (cmake --build $build -j2)" >&2
    exit 1
fi

# shellcheck source=bench/smtp_sink.sh
source "$here/smtp_sink.sh"

seconds_now() { date +%s.%N; }

# Field n of the RESULT line whose words 2 and 3 are given.
field() {
    awk -v a="$1" -v b="$2" -v n="$3" '$1 == "RESULT" && $2 == a && $3 == b { print $n }' <<<"$4"
}

echo "engine bench: $runs runs, $members members (individual and Bcc), rules over" \
    "$files temp files with $roster members"
echo "load: $(uptime)"
summary=""
for run in $(seq "$runs"); do
    echo "== run $run"
    port=$(free_port)
    start_sink "$port" 1000

    out=$("$bench" post 127.0.0.1 "$port" "$members" 1)
    grep -v '^RESULT' <<<"$out"
    ours=$(field post 1 6 "$out")
    size=$(field post 1 7 "$out")

    begin=$(seconds_now)
    smtp-source -s 1 -m "$members" -l "$size" "127.0.0.1:$port"
    end=$(seconds_now)
    theirs=$(awk -v m="$members" -v b="$begin" -v e="$end" 'BEGIN { printf "%.1f", m / (e - b) }')
    awk -v m="$members" -v b="$begin" -v e="$end" -v l="$size" 'BEGIN {
        printf "smtp-source -s 1 -m %d -l %d: %.3f s = %.1f messages/s\n", m, l, e - b, m / (e - b)
    }'

    out=$("$bench" post 127.0.0.1 "$port" "$members" 0)
    grep -v '^RESULT' <<<"$out"
    bcc=$(field post 0 5 "$out")
    stop_sink

    lines=$(awk -v a="$ours" -v b="$theirs" -v s="$bcc" -v m="$members" 'BEGIN {
        r = a / b
        printf "  individual ours/smtp-source %8.1f / %8.1f = %5.2f  (want >= 0.8)%s\n", a, b, r,
               (r >= 0.8 ? "" : "  SHORT")
        printf "  bcc, %d recipients, whole scan %6.3f s  (want < 2 s)%s\n", m, s,
               (s < 2 ? "" : "  SHORT")
    }')
    for count in $files; do
        out=$("$bench" rules "$count" "$roster")
        grep -v '^RESULT' <<<"$out"
        lines+=$'\n'$(awk -v c="$count" -v ms="$(field rules "$count" 6 "$out")" \
            'BEGIN { printf "  rules, %5d temp files: %7.3f ms/message", c, ms }')
    done
    echo "$lines"
    summary+="run $run"$'\n'"$lines"$'\n'
done
echo "== summary"
printf '%s' "$summary"
echo "load: $(uptime)"
