# Sourced by the bench drivers: Postfix's smtp-sink on a free loopback port, stopped when the
# driver exits. Debian's postfix package ships smtp-sink and smtp-source; no mail system needs
# to run, so it is installed with "No configuration" when missing.

if ! command -v smtp-sink >/dev/null || ! command -v smtp-source >/dev/null; then
    echo "Installing postfix for smtp-sink and smtp-source (no mail system is configured)"
    echo "postfix postfix/main_mailer_type select No configuration" | debconf-set-selections
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q postfix >/dev/null
fi

sink_pid=
stop_sink() {
    if [[ -n $sink_pid ]]; then
        kill "$sink_pid" 2>/dev/null || true
        wait "$sink_pid" 2>/dev/null || true
        sink_pid=
    fi
}
trap stop_sink EXIT

free_port() {
    "${PYTHON:-/usr/bin/python3}" -c \
        'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# start_sink PORT BACKLOG: starts smtp-sink and waits until the port accepts connections.
start_sink() {
    local port=$1 backlog=$2
    smtp-sink -u nobody "127.0.0.1:$port" "$backlog" &
    sink_pid=$!
    for _ in $(seq 100); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            return 0
        fi
        sleep 0.05
    done
    echo "$(basename "$0"): smtp-sink did not come up on port $port" >&2
    exit 1
}
