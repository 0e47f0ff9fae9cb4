#!/bin/bash
# Throughput of whole scans, side by side in one run:
#   individual: one posting to a list of 10,000 members, one copy (one transaction) per
#               member over one SMTP session (PIPELINING, which smtp-sink offers), sent by a
#               scan's phase 3 with TSmtpClient to Postfix's smtp-sink on a loopback port,
#               beside smtp-source sending 10,000 messages of the same size over one
#               connection (-d) to the same sink (want ours/smtp-source >= 1.0), and beside
#               smtp-source with one connection per message (-s 1), for scale;
#   bcc:        the same list in Bcc mode, parts of 100 recipients (MaxRecipientsPerMessage)
#               on one session (want the whole scan under 2 s);
#   memory:     peak resident memory of the scan that posts one message individually to
#               MEMORY members (default 100,000; want under 64 MB);
#   rules:      phase 3 over 250, 500 and 1,000 temp files of members of a 100,000-member list
#               with posting method 2 (rules only, nothing sent): milliseconds per message,
#               which should not grow with the number of files.
#
# Usage: bench/engine.sh [runs=2] [members=10000] [roster=100000]
# Environment: BUILD (build folder, default ./build), FILES (temp file counts, default
# "250 500 1000"), MEMORY (members of the memory run, default 100000; 0 leaves it out). Needs postfix's smtp-sink and smtp-source (installed here when missing,
# without configuring a mail system).

set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
runs=${1:-2}
members=${2:-10000}
roster=${3:-100000}
build=${BUILD:-$root/build}
files=${FILES:-250 500 1000}
memory=${MEMORY:-100000}
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

    # source_rate OPTIONS...: smtp-source's messages per second with those options.
    source_rate() {
        local begin end
        begin=$(seconds_now)
        smtp-source "$@" -m "$members" -l "$size" "127.0.0.1:$port"
        end=$(seconds_now)
        awk -v m="$members" -v b="$begin" -v e="$end" -v l="$size" -v o="$*" 'BEGIN {
            printf "smtp-source %s -m %d -l %d: %.3f s = %.1f messages/s\n", o, m, l, e - b,
                   m / (e - b) > "/dev/stderr"
            printf "%.1f", m / (e - b)
        }'
    }
    theirs=$(source_rate -d -s 1)
    perconnection=$(source_rate -s 1)

    out=$("$bench" post 127.0.0.1 "$port" "$members" 0)
    grep -v '^RESULT' <<<"$out"
    bcc=$(field post 0 5 "$out")
    stop_sink

    peak=""
    if [[ $memory -gt 0 ]]; then
        port=$(free_port)
        start_sink "$port" 1000
        out=$("$bench" post 127.0.0.1 "$port" "$memory" 1)
        grep -v '^RESULT' <<<"$out"
        peak=$(field post 1 9 "$out")
        stop_sink
    fi

    lines=$(awk -v a="$ours" -v b="$theirs" -v c="$perconnection" -v s="$bcc" -v m="$members" \
        -v p="$peak" -v pm="$memory" 'BEGIN {
        r = a / b
        printf "  individual ours/smtp-source -d %8.1f / %8.1f = %5.2f  (want >= 1.0)%s\n", a, b,
               r, (r >= 1.0 ? "" : "  SHORT")
        printf "  (smtp-source, a connection per message: %.1f messages/s; ours/that %.2f)\n", c,
               a / c
        if (p != "")
            printf "  peak resident memory, individual posting to %d members: %.1f MB" \
                   "  (want < 64 MB)%s\n", pm, p / 1024, (p < 65536 ? "" : "  SHORT")
        printf "  bcc, %d recipients, whole scan %6.3f s  (want < 2 s)%s\n", m, s,
               (s < 2 ? "" : "  SHORT")
    }')
    for count in $files; do
        out=$("$bench" rules "$count" "$roster")
        grep -v '^RESULT' <<<"$out"
        lines+=$'\n'$(awk -v c="$count" -v ms="$(field rules "$count" 6 "$out")" \
            -v cpu="$(field rules "$count" 7 "$out")" \
            'BEGIN { printf "  rules, %5d temp files: %7.3f ms/message, cpu %7.3f ms/message", c,
                     ms, cpu * 1000 / c }')
    done
    echo "$lines"
    summary+="run $run"$'\n'"$lines"$'\n'
done
echo "== summary"
printf '%s' "$summary"
echo "load: $(uptime)"
