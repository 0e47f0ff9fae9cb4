#!/usr/bin/env bash
# The systemd units as an installation writes them, here naming the built program:
# `systemd-analyze verify` says nothing about either (a warning fails too), and the system
# unit's exposure by `systemd-analyze security` stays "OK" (at most 1.5 of 10).
#
# Usage: check_units.sh DIST_FOLDER PROGRAM_FOLDER MAN_FOLDER
set -euo pipefail
dist=$1 bindir=$2 mandir=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for kind in system user; do
    mkdir -p "$work/$kind"
    sed "s|@CORVANTEER_BINDIR@|$bindir|" "$dist/systemd/$kind/corvanteer.service.in" \
        >"$work/$kind/corvanteer.service"
done
# Documentation=man:corvanteer-cli(1) is looked up with man.
export MANPATH=$mandir
mkdir -m 0700 "$work/runtime"

status=0
check() {
    local what=$1
    shift
    local said
    if ! said=$("$@" 2>&1) || [[ -n "$said" ]]; then
        echo "$what: $said"
        status=1
    else
        echo "$what: no findings"
    fi
}
check "verify system unit" systemd-analyze verify "$work/system/corvanteer.service"
check "verify user unit" env XDG_RUNTIME_DIR="$work/runtime" \
    systemd-analyze --user verify "$work/user/corvanteer.service"

if ! report=$(systemd-analyze security --offline=yes --threshold=15 \
    "$work/system/corvanteer.service" 2>&1); then
    echo "$report"
    status=1
fi
echo "${report##*$'\n'}"
exit $status
