#!/usr/bin/python3
"""SMTP server for the end-to-end tests.

Accepts mail on a loopback port and files every accepted message into each
recipient's Maildir under the mail root (<mail-root>/<user>/Maildir/new), the
layout the POP3 server of the tests serves. The message bytes are stored
exactly as received after dot-unstuffing, CR LF line ends included.

Recipients: the mailbox is the local part of the address (any domain). A local
part that starts with "reject" is refused with 550 so tests can provoke a
refused RCPT; a local part that cannot name a folder is refused with 553; a
mailbox that does not exist yet is created.

Authentication: AUTH LOGIN and AUTH PLAIN are offered after EHLO, with or
without TLS (loopback only). The auth file is read again for every connection,
so a test can change credentials, or require authentication, while the server
runs:

    require-auth yes|no
    <user><TAB><password>     (any number of lines)
    starttls yes|no           (with --tls-dir; default yes)
    certificate <name>        (with --tls-dir; default "good")
    pipelining yes|no         (offered after EHLO; default yes)
    close-after <n>           a connection closes right after its n-th accepted message
    mail-reply <n> <reply>    on a connection that took n messages, the next MAIL FROM is
                              answered <reply> (a 421 also closes the connection)
    rcpt-reply <address> <reply>
                              RCPT TO:<address> is answered <reply> (any number of lines)

Counting: every connection prints "connection <n>" and every accepted message
"message <n> rcpts=<count>" (n counts from 1 for the server's life), so a test
can tell how many connections and transactions its mail took.

TLS (with --tls-dir DIR): the main port offers STARTTLS (unless "starttls no",
which is what an attacker stripping it from the EHLO reply would leave), and a
second port (--tls-port, 0 picks one) speaks TLS from the first byte. Both
present DIR/<name>.crt with its key DIR/<name>.key, <name> taken from the auth
file at each connection and each handshake.

When the server listens it writes its port (and with TLS, a blank and the TLS
port) into the ready file (written to a temporary name first and renamed) and
prints "READY <port>". SIGTERM and
SIGINT close it cleanly (exit status 0).
"""

import argparse
import asyncio
import logging
import os
import re
import signal
import socket
import ssl
import sys
import time
import warnings

try:
    from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword
except ImportError as error:  # the package is missing: say so plainly
    print(f"smtp_server.py: cannot import aiosmtpd ({error}); "
          "install python3-aiosmtpd (scripts/setup does)", flush=True)
    sys.exit(3)

EXIT_ADDRESS_IN_USE = 4

LOCAL_PART = re.compile(r"^[A-Za-z0-9][A-Za-z0-9._+-]{0,63}$")


class AuthSettings:
    def __init__(self, require, users, starttls=True, certificate="good"):
        self.require = require
        self.users = users
        self.starttls = starttls
        self.certificate = certificate
        self.pipelining = True
        self.close_after = 0        # 0: never
        self.mail_reply = None      # (messages taken, reply)
        self.rcpt_replies = {}      # lower-case address -> reply


def read_auth_file(path):
    settings = AuthSettings(False, {})
    if path and os.path.exists(path):
        with open(path, "rb") as f:
            for raw in f.read().split(b"\n"):
                line = raw.rstrip(b"\r")
                if not line:
                    continue
                word, _, rest = line.partition(b" ")
                if word == b"require-auth":
                    settings.require = rest.strip() == b"yes"
                elif word == b"starttls":
                    settings.starttls = rest.strip() == b"yes"
                elif word == b"certificate":
                    settings.certificate = rest.strip().decode()
                elif word == b"pipelining":
                    settings.pipelining = rest.strip() == b"yes"
                elif word == b"close-after":
                    settings.close_after = int(rest)
                elif word == b"mail-reply":
                    count, _, reply = rest.partition(b" ")
                    settings.mail_reply = (int(count), reply.decode())
                elif word == b"rcpt-reply":
                    address, _, reply = rest.partition(b" ")
                    settings.rcpt_replies[address.decode().lower()] = reply.decode()
                elif b"\t" in line:
                    user, password = line.split(b"\t", 1)
                    settings.users[user] = password
    return settings


class Certificates:
    """One server TLS context per certificate name in the TLS folder."""

    def __init__(self, folder):
        self.folder = folder
        self.contexts = {}

    def context(self, name):
        if not re.match(r"^[a-z0-9-]+$", name):
            name = "good"
        if name not in self.contexts:
            ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            ctx.load_cert_chain(os.path.join(self.folder, name + ".crt"),
                                os.path.join(self.folder, name + ".key"))
            self.contexts[name] = ctx
        return self.contexts[name]


class Authenticator:
    def __init__(self, settings):
        self.settings = settings

    def __call__(self, server, session, envelope, mechanism, auth_data):
        if not isinstance(auth_data, LoginPassword):
            return AuthResult(success=False, handled=False)
        expected = self.settings.users.get(auth_data.login)
        ok = expected is not None and expected == auth_data.password
        print(f"auth {mechanism} user={auth_data.login!r} ok={ok}", flush=True)
        return AuthResult(success=ok, handled=False)


class MaildirDelivery:
    """Files messages into <mail_root>/<mailbox>/Maildir."""

    def __init__(self, mail_root, uid, gid):
        self.mail_root = mail_root
        self.uid = uid
        self.gid = gid
        self.host = socket.gethostname().replace("/", "_").replace(":", "_")
        self.counter = 0
        self.last_stamp = 0

    def _unique_name(self):
        # Names sort by delivery time: seconds, microseconds, then a counter.
        # The stamp never repeats or goes back within this process.
        stamp = max(time.time_ns() // 1000, self.last_stamp + 1)
        self.last_stamp = stamp
        self.counter += 1
        seconds, micros = divmod(stamp, 1_000_000)
        return f"{seconds}.M{micros:06d}P{os.getpid()}Q{self.counter}.{self.host}"

    def _chown(self, path):
        if self.uid is not None:
            os.chown(path, self.uid, self.gid)

    def _ensure_maildir(self, mailbox):
        home = os.path.join(self.mail_root, mailbox)
        maildir = os.path.join(home, "Maildir")
        for path in (home, maildir, *(os.path.join(maildir, d) for d in ("tmp", "new", "cur"))):
            if not os.path.isdir(path):
                os.makedirs(path, exist_ok=True)
                self._chown(path)
        return maildir

    def deliver(self, mailbox, data):
        maildir = self._ensure_maildir(mailbox)
        name = self._unique_name()
        temp = os.path.join(maildir, "tmp", name)
        fd = os.open(temp, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
        try:
            view = memoryview(data)
            while view:
                written = os.write(fd, view)
                view = view[written:]
        finally:
            os.close(fd)
        self._chown(temp)
        os.rename(temp, os.path.join(maildir, "new", name))
        return name


def mailbox_of(address):
    return address.rsplit("@", 1)[0] if "@" in address else address


class Counters:
    """Connections and accepted messages over the server's life."""

    def __init__(self):
        self.connections = 0
        self.messages = 0


def close_soon(server):
    # After the reply now being sent: close() flushes what is buffered first.
    asyncio.get_running_loop().call_soon(server.transport.close)


class Handler:
    """One per connection: the control settings read when it was opened."""

    def __init__(self, delivery, settings, counters):
        self.delivery = delivery
        self.settings = settings
        self.counters = counters
        self.taken = 0  # messages accepted on this connection

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if self.settings.pipelining:
            responses.insert(len(responses) - 1, "250-PIPELINING")
        return responses

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        scripted = self.settings.mail_reply
        if scripted is not None and scripted[0] == self.taken:
            print(f"mail answered {scripted[1]}", flush=True)
            if scripted[1].startswith("421"):
                close_soon(server)
            return scripted[1]
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        scripted = self.settings.rcpt_replies.get(address.lower())
        if scripted is not None:
            print(f"rcpt answered {address} {scripted}", flush=True)
            return scripted
        local = mailbox_of(address)
        if local.lower().startswith("reject"):
            print(f"rcpt refused {address}", flush=True)
            return f"550 5.1.1 <{address}>: Recipient address rejected"
        if not LOCAL_PART.match(local):
            return f"553 5.1.3 <{address}>: Mailbox name not allowed"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        data = envelope.original_content
        seen = set()
        for address in envelope.rcpt_tos:
            mailbox = mailbox_of(address)
            if mailbox in seen:
                continue
            seen.add(mailbox)
            try:
                name = self.delivery.deliver(mailbox, data)
            except OSError as error:
                print(f"delivery to {mailbox} failed: {error}", flush=True)
                return "451 4.3.0 Local delivery failed"
            print(f"delivered from={envelope.mail_from} to={mailbox} "
                  f"size={len(data)} file={name}", flush=True)
        self.taken += 1
        self.counters.messages += 1
        print(f"message {self.counters.messages} rcpts={len(envelope.rcpt_tos)}", flush=True)
        if self.settings.close_after and self.taken == self.settings.close_after:
            close_soon(server)
        return "250 OK"


def write_ready_file(path, port):
    temp = path + ".tmp"
    with open(temp, "w") as f:
        f.write(f"{port}\n")
    os.rename(temp, path)


async def serve(args):
    loop = asyncio.get_running_loop()
    delivery = MaildirDelivery(args.mail_root, args.uid, args.gid)
    counters = Counters()

    certificates = Certificates(args.tls_dir) if args.tls_dir else None

    def make_session(implicit_tls=False):
        # Settings are read per connection so a running server follows changes.
        settings = read_auth_file(args.auth_file)
        counters.connections += 1
        print(f"connection {counters.connections}", flush=True)
        handler = Handler(delivery, settings, counters)
        tls_context = None
        if certificates and settings.starttls and not implicit_tls:
            tls_context = certificates.context(settings.certificate)
        return SMTP(handler,
                    hostname="corvanteer-e2e.test",
                    auth_required=settings.require,
                    auth_require_tls=False,
                    authenticator=Authenticator(settings),
                    tls_context=tls_context,
                    loop=loop)

    servers = []
    try:
        servers.append(await loop.create_server(make_session, host=args.host, port=args.port))
        if certificates:
            # The certificate is picked at each handshake, so a test can change it.
            implicit = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            implicit.load_cert_chain(os.path.join(args.tls_dir, "good.crt"),
                                     os.path.join(args.tls_dir, "good.key"))

            def pick(sock, server_name, context):
                name = read_auth_file(args.auth_file).certificate
                sock.context = certificates.context(name)

            implicit.sni_callback = pick
            servers.append(await loop.create_server(lambda: make_session(True), host=args.host,
                                                    port=args.tls_port, ssl=implicit))
    except OSError as error:
        print(f"smtp_server.py: cannot listen on {args.host}: {error}", flush=True)
        for server in servers:
            server.close()
        return EXIT_ADDRESS_IN_USE if error.errno == 98 else 1
    ports = [server.sockets[0].getsockname()[1] for server in servers]
    port = ports[0]

    stopping = asyncio.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stopping.set)

    if args.ready_file:
        write_ready_file(args.ready_file, " ".join(str(p) for p in ports))
    print(f"READY {port}", flush=True)

    await stopping.wait()
    for server in servers:
        server.close()
        await server.wait_closed()
    print("stopped", flush=True)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0, help="0 picks a free port")
    parser.add_argument("--mail-root", required=True)
    parser.add_argument("--auth-file", help="credentials and require-auth switch")
    parser.add_argument("--ready-file", help="receives the port once listening")
    parser.add_argument("--tls-dir", help="certificates: offer STARTTLS and implicit TLS")
    parser.add_argument("--tls-port", type=int, default=0,
                        help="the implicit-TLS port (with --tls-dir); 0 picks a free port")
    parser.add_argument("--uid", type=int, help="owner of delivered files and new folders")
    parser.add_argument("--gid", type=int)
    args = parser.parse_args()
    if args.uid is not None and args.gid is None:
        parser.error("--uid needs --gid")

    # Plain-text AUTH on loopback is intended here.
    warnings.filterwarnings("ignore", message="Requiring AUTH while not requiring TLS")
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    sys.exit(asyncio.run(serve(args)))


if __name__ == "__main__":
    main()
