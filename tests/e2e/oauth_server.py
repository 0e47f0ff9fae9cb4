#!/usr/bin/python3
"""A fake OAuth 2.0 authorization server for the end-to-end tests (standard library only).

HTTPS (the test CA's good certificate) for the program: /device (RFC 8628), /authorize (redirects
at once to the loopback redirect_uri with a code), /token (device_code, authorization_code with
PKCE S256, refresh_token). Plain HTTP on a second port for the mail servers and the test:
/introspect (RFC 7662: {"active": true, "username": ...}) and /control/... to steer it.

The user a sign-in is made for is the last one set with /control/user?name=USER. Access tokens
live expires_in seconds (/control/lifetime?seconds=N); refresh tokens rotate at every refresh;
/control/revoke?name=USER makes the user's refresh and access tokens invalid; /control/expire
ends every access token now. /control/stats answers the counts of each grant as JSON.
"""

import argparse
import base64
import hashlib
import json
import os
import secrets
import ssl
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

LOCK = threading.Lock()
STATE = {
    "user": "user",
    "lifetime": 3600,
    "access": {},    # token -> (user, expiry)
    "refresh": {},   # token -> user
    "devices": {},   # device_code -> user
    "codes": {},     # code -> (user, challenge, redirect_uri)
    "stats": {"device": 0, "authorization_code": 0, "refresh_token": 0, "introspect": 0},
}


def issue(user):
    access = "AT-" + secrets.token_urlsafe(24)
    refresh = "RT-" + secrets.token_urlsafe(24)
    STATE["access"][access] = (user, time.time() + STATE["lifetime"])
    STATE["refresh"][refresh] = user
    return {"access_token": access, "token_type": "Bearer", "expires_in": STATE["lifetime"],
            "refresh_token": refresh, "scope": "mail"}


class Handler(BaseHTTPRequestHandler):
    control = False  # set on the plain-HTTP server's class

    def log_message(self, fmt, *args):
        pass

    def answer(self, status, body, headers=None):
        data = json.dumps(body).encode()
        self.send_response(status)
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def form(self):
        length = int(self.headers.get("Content-Length") or 0)
        fields = urllib.parse.parse_qs(self.rfile.read(length).decode(), keep_blank_values=True)
        return {name: values[0] for name, values in fields.items()}

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = {k: v[0] for k, v in urllib.parse.parse_qs(url.query).items()}
        with LOCK:
            if self.control and url.path.startswith("/control/"):
                return self.steer(url.path[len("/control/"):], query)
            if not self.control and url.path == "/authorize":
                code = secrets.token_urlsafe(16)
                STATE["codes"][code] = (STATE["user"], query.get("code_challenge", ""),
                                        query.get("redirect_uri", ""))
                target = query["redirect_uri"] + "?" + urllib.parse.urlencode(
                    {"code": code, "state": query.get("state", "")})
                self.send_response(302)
                self.send_header("Location", target)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return None
        return self.answer(404, {"error": "not_found"})

    def steer(self, what, query):
        if what == "user":
            STATE["user"] = query["name"]
        elif what == "lifetime":
            STATE["lifetime"] = int(query["seconds"])
        elif what == "expire":
            for token, (user, _) in list(STATE["access"].items()):
                STATE["access"][token] = (user, 0)
        elif what == "revoke":
            for table in ("access", "refresh"):
                for token, value in list(STATE[table].items()):
                    owner = value[0] if isinstance(value, tuple) else value
                    if owner == query["name"]:
                        del STATE[table][token]
        elif what != "stats":
            return self.answer(404, {"error": "not_found"})
        return self.answer(200, STATE["stats"])

    def do_POST(self):
        url = urllib.parse.urlsplit(self.path)
        fields = self.form()
        with LOCK:
            if self.control and url.path == "/introspect":
                STATE["stats"]["introspect"] += 1
                entry = STATE["access"].get(fields.get("token", ""))
                if entry is None or entry[1] < time.time():
                    return self.answer(200, {"active": False})
                return self.answer(200, {"active": True, "username": entry[0]})
            if self.control:
                return self.answer(404, {"error": "not_found"})
            if url.path == "/device":
                code = secrets.token_urlsafe(16)
                STATE["devices"][code] = STATE["user"]
                return self.answer(200, {"device_code": code, "user_code": "WDJB-MJHT",
                                         "verification_uri": "https://auth.example.test/device",
                                         "expires_in": 900, "interval": 1})
            if url.path == "/token":
                return self.token(fields)
        return self.answer(404, {"error": "not_found"})

    def token(self, fields):
        grant = fields.get("grant_type", "")
        refused = {"error": "invalid_grant", "error_description": "not valid"}
        if grant == "urn:ietf:params:oauth:grant-type:device_code":
            user = STATE["devices"].pop(fields.get("device_code", ""), None)
            if user is None:
                return self.answer(400, refused)
            STATE["stats"]["device"] += 1
            return self.answer(200, issue(user))
        if grant == "authorization_code":
            entry = STATE["codes"].pop(fields.get("code", ""), None)
            verifier = fields.get("code_verifier", "").encode()
            challenge = base64.urlsafe_b64encode(hashlib.sha256(verifier).digest())
            if (entry is None or entry[1] != challenge.decode().rstrip("=")
                    or entry[2] != fields.get("redirect_uri")):
                return self.answer(400, refused)
            STATE["stats"]["authorization_code"] += 1
            return self.answer(200, issue(entry[0]))
        if grant == "refresh_token":
            user = STATE["refresh"].pop(fields.get("refresh_token", ""), None)
            if user is None:
                return self.answer(400, refused)
            STATE["stats"]["refresh_token"] += 1
            return self.answer(200, issue(user))
        return self.answer(400, {"error": "unsupported_grant_type"})


class ControlHandler(Handler):
    control = True


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--ready-file", required=True, help="receives 'HTTPS-PORT HTTP-PORT'")
    parser.add_argument("--http-port", type=int, default=0, help="0 picks a free port")
    args = parser.parse_args()
    secure = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    secure.socket = context.wrap_socket(secure.socket, server_side=True)
    plain = ThreadingHTTPServer(("127.0.0.1", args.http_port), ControlHandler)
    threading.Thread(target=plain.serve_forever, daemon=True).start()
    with open(args.ready_file + ".tmp", "w") as ready:
        ready.write("%d %d\n" % (secure.server_address[1], plain.server_address[1]))
    os.rename(args.ready_file + ".tmp", args.ready_file)
    secure.serve_forever()


if __name__ == "__main__":
    main()
