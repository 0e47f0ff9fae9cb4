#!/bin/bash
# Peak resident memory of a scan that downloads and posts one big message, for the three
# shapes that cost most when a message is held a string per line: 60 MB of nothing but empty
# lines, 60 MB of one-octet lines, and a 60 MB single-part base64 attachment (want each
# under 200 MB). Each measurement is a process of its own: Dovecot serves the message
# (through the end-to-end harness), Postfix's smtp-sink takes the posting (one member,
# posted individually). For each shape the scan runs once downloading the message only
# (the list takes no postings: downloaded, written, read back) and once posting it too.
#
# Usage: bench/bigmail.sh [megabytes=60]
# Environment: BUILD (build folder, default ./build). Needs root (Dovecot) and postfix's
# smtp-sink (installed here when missing, without configuring a mail system).

set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
megabytes=${1:-60}
build=${BUILD:-$root/build}
bench=$build/bench/transport_bench

if [[ ! -x $bench ]]; then
    echo "bigmail.sh: $bench is missing; build first (cmake --build $build -j2)" >&2
    exit 1
fi

# shellcheck source=bench/smtp_sink.sh
source "$here/smtp_sink.sh"

echo "big messages: $megabytes MB each; load: $(uptime)"
port=$(free_port)
start_sink "$port" 10
for kind in empty-lines short-lines base64; do
    for post in 0 1; do
        "$bench" bigmail "$kind" "$port" "$post" "$megabytes" | grep -v '^RESULT'
    done
done
echo "load: $(uptime)"
