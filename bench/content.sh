#!/bin/bash
# A large posting decorated and sent, side by side in one run:
#   ours:   a scan posts one posting of MEGABYTES MB (a short text and a base64 attachment in
#           multipart/mixed) individually to MEMBERS members over one SMTP session to
#           Postfix's smtp-sink on a loopback port; the signature is added once, as a new
#           last part. Client CPU seconds per GB sent, and the peak resident memory.
#   theirs: smtp-source sending a message of the same size MEMBERS times over one
#           connection (-d -s 1) to the same sink; its CPU seconds per GB sent.
# Want: ours/theirs CPU per GB at most 1.5; peak resident memory under 3 times the message
# size plus 64 MB.
#
# Usage: bench/content.sh [runs=2] [members=1000] [megabytes=10]
# Environment: BUILD (build folder, default ./build). Needs postfix's smtp-sink and
# smtp-source (installed here when missing, without configuring a mail system) and
# /usr/bin/time.

set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
runs=${1:-2}
members=${2:-1000}
megabytes=${3:-10}
build=${BUILD:-$root/build}
bench=$build/bench/engine_bench

if [[ ! -x $bench ]]; then
    echo "content.sh: $bench is missing; build first (cmake --build $build -j2)" >&2
    exit 1
fi

# shellcheck source=bench/smtp_sink.sh
source "$here/smtp_sink.sh"

field() {
    awk -v a="$1" -v n="$2" '$1 == "RESULT" && $2 == a { print $n }' <<<"$3"
}

echo "content bench: $runs runs, a $megabytes MB posting individually to $members members"
echo "load: $(uptime)"
summary=""
for run in $(seq "$runs"); do
    echo "== run $run"
    port=$(free_port)
    start_sink "$port" 1000

    out=$("$bench" attach 127.0.0.1 "$port" "$members" "$megabytes")
    grep -v '^RESULT' <<<"$out"
    ours=$(field attach 7 "$out")
    size=$(field attach 5 "$out")
    peak=$(field attach 8 "$out")

    # smtp-source's own CPU (user + system) for the same bytes over one connection.
    cpu=$(/usr/bin/time -f "%U %S" smtp-source -d -s 1 -m "$members" -l "$size" \
        "127.0.0.1:$port" 2>&1 >/dev/null | tail -1 | awk '{ print $1 + $2 }')
    theirs=$(awk -v c="$cpu" -v s="$size" -v m="$members" 'BEGIN { printf "%.4f", c / (s * m / 1e9) }')
    echo "smtp-source -d -s 1 -m $members -l $size: $cpu s cpu = $theirs s cpu per GB sent"
    stop_sink

    lines=$(awk -v a="$ours" -v b="$theirs" -v p="$peak" -v s="$size" 'BEGIN {
        r = a / b
        printf "  cpu per GB sent, ours/smtp-source %.3f / %.3f = %5.2f  (want <= 1.5)%s\n",
               a, b, r, (r <= 1.5 ? "" : "  OVER")
        limit = 3 * s / 1024 + 65536
        printf "  peak resident memory %.1f MB for a %.1f MB message  (want < %.1f MB)%s\n",
               p / 1024, s / 1e6, limit / 1024, (p < limit ? "" : "  OVER")
    }')
    echo "$lines"
    summary+="run $run"$'\n'"$lines"$'\n'
done
echo "== summary"
printf '%s' "$summary"
echo "load: $(uptime)"
