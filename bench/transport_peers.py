"""Python's poplib and smtplib doing the transport bench's work, for comparison.

    transport_peers.py pop3 HOST PORT USER PASSWORD EXPECTED
        Drains the mailbox: TOP n 0, RETR n, DELE n, newest first, then QUIT.
    transport_peers.py smtp HOST PORT MESSAGES BYTES
        Sends MESSAGES messages of about BYTES bytes, one connection each.
    transport_peers.py pop3s HOST PORT USER PASSWORD EXPECTED CA_FILE
    transport_peers.py smtps HOST PORT MESSAGES BYTES CA_FILE
        The same over TLS from the first byte (POP3_SSL, SMTP_SSL), the server's
        certificate checked against CA_FILE.

Prints the wall and CPU seconds the work took (interpreter start-up excluded) as the
last line.
"""

import poplib
import smtplib
import socket
import ssl
import sys
import time


def message_bytes(number, size):
    # The same layout as transport_bench.cpp's messages.
    lines = ["From: sender@example.test", "To: bench@example.test",
             f"Subject: bench message {number}",
             f"Message-ID: <bench.{number}@example.test>", ""]
    total = sum(len(line) + 2 for line in lines)
    row = 0
    while total < size:
        line = f"line {row} of message {number}"
        line = line[:72].ljust(72, "-" if row % 2 == 0 else "=")
        lines.append(line)
        total += len(line) + 2
        row += 1
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


def tls_context(ca_file):
    return ssl.create_default_context(cafile=ca_file) if ca_file else None


def drain(host, port, user, password, expected, ca_file=None):
    context = tls_context(ca_file)
    start = time.perf_counter(), time.process_time()
    if context:
        pop = poplib.POP3_SSL(host, port, context=context)
    else:
        pop = poplib.POP3(host, port)
    pop.user(user)
    pop.pass_(password)
    count, _ = pop.stat()
    if count != expected:
        raise SystemExit(f"the mailbox holds {count} messages, not {expected}")
    for number in range(count, 0, -1):
        pop.top(number, 0)
        pop.retr(number)
        pop.dele(number)
    pop.quit()
    return time.perf_counter() - start[0], time.process_time() - start[1]


def send(host, port, messages, size, ca_file=None):
    context = tls_context(ca_file)
    bodies = [message_bytes(number, size) for number in range(1, messages + 1)]
    # Left to itself smtplib asks the resolver for this host's full name on every
    # connection; the bench client sends the plain host name, and so does this.
    local = socket.gethostname()
    start = time.perf_counter(), time.process_time()
    for body in bodies:
        if context:
            smtp = smtplib.SMTP_SSL(host, port, local_hostname=local, context=context)
        else:
            smtp = smtplib.SMTP(host, port, local_hostname=local)
        smtp.sendmail("sender@example.test", ["bench@example.test"], body)
        smtp.quit()
    return time.perf_counter() - start[0], time.process_time() - start[1]


def main(argv):
    if len(argv) == 7 and argv[1] == "pop3":
        wall, cpu = drain(argv[2], int(argv[3]), argv[4], argv[5], int(argv[6]))
    elif len(argv) == 6 and argv[1] == "smtp":
        wall, cpu = send(argv[2], int(argv[3]), int(argv[4]), int(argv[5]))
    elif len(argv) == 8 and argv[1] == "pop3s":
        wall, cpu = drain(argv[2], int(argv[3]), argv[4], argv[5], int(argv[6]), argv[7])
    elif len(argv) == 7 and argv[1] == "smtps":
        wall, cpu = send(argv[2], int(argv[3]), int(argv[4]), int(argv[5]), argv[6])
    else:
        print(__doc__, file=sys.stderr)
        return 2
    print(f"{wall:.6f} {cpu:.6f}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
