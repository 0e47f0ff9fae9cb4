#!/usr/bin/env bash
# The shipped logrotate rule, pointed at a log in a temporary application directory (and
# without its `su`, which needs the service's user): logrotate reads it without a complaint,
# rotates the log when forced and leaves no file in its place, and the program's next log
# line starts a new log with the stamp and line end of every line.
#
# Usage: check_logrotate.sh RULE CORVANTEER_CLI
set -euo pipefail
rule=$1 cli=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
home=$work/home
mkdir -m 0700 "$home"
sed -e "s|/var/lib/corvanteer/|$home/|" -e '/^[[:space:]]*su /d' "$rule" >"$work/rule"
chmod 0644 "$work/rule"

status=0
fail() {
    echo "FAILED: $*"
    status=1
}

said=$(logrotate --debug --state "$work/state" "$work/rule" 2>&1) || fail "logrotate --debug: $said"
if grep -qi "error" <<<"$said"; then
    fail "logrotate finds errors: $said"
fi

"$cli" --home "$home" lists add news >/dev/null
"$cli" --home "$home" members add news alice@example.org >/dev/null
[[ -s $home/Corvanteer.log ]] || fail "no log line was written"
logrotate --force --state "$work/state" "$work/rule" || fail "logrotate --force"
[[ -f $home/Corvanteer.log.1 ]] || fail "the log was not rotated: $(ls "$home")"
[[ ! -e $home/Corvanteer.log ]] || fail "a log file was made in place of the rotated one"

"$cli" --home "$home" members add news bob@example.org >/dev/null
lines=$(wc -l <"$home/Corvanteer.log")
[[ $lines -eq 1 ]] || fail "the new log holds $lines lines, not the one written after rotating"
grep -q $'^[A-Za-z]*,[0-9]*[A-Za-z]*[0-9]* [0-9:]* news: + bob@example.org(manual add)\r$' \
    "$home/Corvanteer.log" || fail "the new log's line: $(cat -A "$home/Corvanteer.log")"
[[ $(stat -c %a "$home/Corvanteer.log") == 600 ]] || fail "the new log is not private"

((status == 0)) && echo "logrotate rule: rotated, and the next line started a new log"
exit $status
