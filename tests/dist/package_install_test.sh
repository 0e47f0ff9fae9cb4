#!/usr/bin/env bash
# Builds the Debian packages with cpack, installs them on this machine with apt-get, uses the
# installed programs the way an operator would (commands that need no mail server), checks the
# installed units, desktop entry, icons, help and manual pages, and removes the packages again.
# Needs root. Only one run at a time on a machine (a lock file), as it installs into /usr.
#
# Usage: package_install_test.sh BUILD_FOLDER VERSION WITH_WINDOW(0|1)
set -euo pipefail
build=$1 version=$2 window=$3

if [[ $(id -u) -ne 0 ]]; then
    echo "package_install_test: needs root (it installs the packages with apt-get)" >&2
    exit 1
fi
locks=/run/lock
[[ -d $locks ]] || locks=/tmp
exec 9>"$locks/corvanteer-package-test.lock"
flock 9

out=$build/packages
rm -rf "$out"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out.log" 2>&1 ||
    { cat "$out.log"; exit 1; }
arch=$(dpkg --print-architecture)
cli_deb=$out/corvanteer-cli_${version}_${arch}.deb
gui_deb=$out/corvanteer_${version}_${arch}.deb
debs=("$cli_deb")
((window)) && debs+=("$gui_deb")

failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
expect() {  # expect DESCRIPTION EXPECTED ACTUAL
    if [[ "$2" == "$3" ]]; then
        echo "ok: $1"
    else
        fail "$1: expected [$2], got [$3]"
    fi
}

# The packages as built: a server needs no Qt; the window depends on the same command line.
cli_depends=$(dpkg-deb -f "$cli_deb" Depends)
echo "corvanteer-cli depends on: $cli_depends"
[[ "$cli_depends" == *libc6* && "$cli_depends" == *libsqlite3* && "$cli_depends" == *adduser* ]] ||
    fail "corvanteer-cli's dependencies lack what shlibdeps should find"
[[ "$cli_depends" != *qt* ]] || fail "corvanteer-cli depends on Qt"
if ((window)); then
    gui_depends=$(dpkg-deb -f "$gui_deb" Depends)
    echo "corvanteer depends on: $gui_depends"
    [[ "$gui_depends" == *"corvanteer-cli (= $version)"* && "$gui_depends" == *libqt6widgets6* ]] ||
        fail "corvanteer does not depend on corvanteer-cli $version and Qt Widgets"
fi

# Both packages name their licence and carry a changelog the way lintian expects (its other
# tags are the packaging's business, not this test's).
said=$(lintian --tag-display-limit 0 "${debs[@]}" 2>&1 || true)
complaints=$(grep -E '^[EW]: .*(copyright|changelog)' <<<"$said" || true)
[[ -z $complaints ]] || fail "lintian: $complaints"
for deb in "${debs[@]}"; do
    package=$(dpkg-deb -f "$deb" Package)
    # The listing first: grep -q ending early would break dpkg-deb's pipe (and pipefail).
    listing=$(dpkg-deb -c "$deb")
    grep -q "/usr/share/doc/$package/copyright\$" <<<"$listing" ||
        fail "$package has no copyright file"
done
dpkg-deb -e "$cli_deb" "$out/control"
expect "configuration files" "/etc/logrotate.d/corvanteer-cli" "$(cat "$out/control/conffiles")"

had_user=0
getent passwd corvanteer >/dev/null && had_user=1
had_state=0
[[ -e /var/lib/corvanteer ]] && had_state=1
work=$(mktemp -d)
cleanup() {
    apt-get purge -y -qq corvanteer corvanteer-cli >/dev/null 2>&1 || true
    ((had_state)) || rm -rf /var/lib/corvanteer
    ((had_user)) || userdel corvanteer >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=600 "${debs[@]}" \
    >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; exit 1; }

expect "installed version" "corvanteer-cli $version" "$(/usr/bin/corvanteer-cli --version)"
expect "system user" "/var/lib/corvanteer /usr/sbin/nologin" \
    "$(getent passwd corvanteer | cut -d: -f6,7 | tr : ' ')"
expect "application directory" "700 corvanteer" "$(stat -c '%a %U' /var/lib/corvanteer)"

# First steps as the service's user, as the README shows them; the password from standard
# input never stands in argv.
as_service() { runuser -u corvanteer -- /usr/bin/corvanteer-cli --home /var/lib/corvanteer "$@"; }
as_service config set ListServerAddress lists@example.org
as_service config set SMTPHost smtp.example.org
echo 'from-stdin' | as_service config set ListServerPassword -
expect "password from standard input" "from-stdin" "$(as_service config get ListServerPassword)"
expect "lists add" "news" "$(as_service lists add news)"
as_service members add news alice@example.org >/dev/null
expect "members" "alice@example.org" "$(as_service members show news | cut -d' ' -f1)"
as_service section get news Subscribe_Verify | grep -q "keep the subject as it is" ||
    fail "a new installation's list has no default verification text"
as_service expire >/dev/null
as_service queue >/dev/null
as_service status >/dev/null
as_service status --json | python3 -c 'import json,sys; d=json.load(sys.stdin); \
    assert d["lists"][0]["name"] == "news" and d["lists"][0]["members"] == 1, d' ||
    fail "status --json"
expect "files of the service's user" "corvanteer" \
    "$(stat -c %U /var/lib/corvanteer/settings.sqlite)"

# The installed units, as systemd reads them, and their hardening.
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 0700 "$XDG_RUNTIME_DIR"
for unit in /usr/lib/systemd/system/corvanteer.service /usr/lib/systemd/user/corvanteer.service; do
    [[ -f $unit ]] || fail "$unit is missing"
done
said=$(systemd-analyze verify /usr/lib/systemd/system/corvanteer.service 2>&1) && [[ -z $said ]] ||
    fail "systemd-analyze verify (system unit): $said"
said=$(systemd-analyze --user verify /usr/lib/systemd/user/corvanteer.service 2>&1) &&
    [[ -z $said ]] || fail "systemd-analyze verify (user unit): $said"
systemd-analyze security --offline=yes --threshold=15 \
    /usr/lib/systemd/system/corvanteer.service | tail -1
man -w corvanteer-cli >/dev/null || fail "man corvanteer-cli"
man -w 5 corvanteer-settings >/dev/null || fail "man 5 corvanteer-settings"
[[ -f /usr/share/bash-completion/completions/corvanteer-cli ]] || fail "bash completion"
grep -q "GNU General Public License" /usr/share/doc/corvanteer-cli/copyright ||
    fail "the copyright file does not name the licence"
# The installed rule, as logrotate reads it with the service's user in place.
said=$(logrotate --debug --state "$work/logrotate.state" /etc/logrotate.d/corvanteer-cli 2>&1) &&
    ! grep -qi error <<<"$said" || fail "logrotate rule: $said"
# Not enabled by the installation; enabled by the operator; removing the package undoes it.
expect "service after installing" "disabled" "$(systemctl is-enabled corvanteer.service || true)"
systemctl enable --quiet corvanteer.service
expect "service enabled by the operator" "enabled" "$(systemctl is-enabled corvanteer.service)"

if ((window)); then
    desktop-file-validate /usr/share/applications/corvanteer.desktop || fail "desktop entry"
    for size in 16x16 22x22 24x24 32x32 48x48; do
        [[ -f /usr/share/icons/hicolor/$size/apps/corvanteer.png ]] || fail "icon $size"
    done
    [[ -f /usr/share/icons/hicolor/scalable/apps/corvanteer.svg ]] || fail "SVG icon"
    [[ -f /usr/share/corvanteer/help/index.html ]] || fail "help page"
    man -w corvanteer >/dev/null || fail "man corvanteer"
    missing=$(ldd /usr/bin/corvanteer | grep 'not found' || true)
    [[ -z $missing ]] || fail "the window's libraries: $missing"
    # The installed window starts and ends by the shutdown file.
    mkdir -m 0700 "$work/home"
    touch "$work/home/shutdown"
    if QT_QPA_PLATFORM=offscreen timeout 60 /usr/bin/corvanteer --home "$work/home" \
        >"$work/window.log" 2>&1; then
        echo "ok: the installed window started and ended by the shutdown file"
    else
        cat "$work/window.log"
        fail "the installed window did not start and end"
    fi
fi

apt-get purge -y -qq corvanteer corvanteer-cli >/dev/null 2>&1
[[ ! -e /usr/bin/corvanteer-cli && ! -e /usr/lib/systemd/system/corvanteer.service ]] ||
    fail "files left after purge"
[[ -z $(find /etc/systemd/system -name corvanteer.service) ]] ||
    fail "the service's links left after purge: $(find /etc/systemd/system -name corvanteer.service)"
[[ -f /var/lib/corvanteer/settings.sqlite ]] ||
    fail "purging removed the service's lists and settings"

echo "$((failures == 0 ? 1 : 0)) passed, $((failures > 0 ? 1 : 0)) failed"
((failures == 0))
