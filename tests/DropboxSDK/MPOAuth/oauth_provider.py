#!/usr/bin/env python3
"""A small three-legged OAuth 1.0a provider for the token flow's tests,
written with Python's standard library only, so that every signature is
checked by code independent of the client's.

Listens on 127.0.0.1 on a port the system assigns, prints {"port": N} once
listening, and serves:

  /oauth/request_token   signed with the consumer alone; needs oauth_callback
  /oauth/authorize       oauth_token=T: the user's consent (not signed);
                         answers "verifier=V"
  /oauth/access_token    signed with the request token; needs its verifier;
                         answers the access token with oauth_expires_in and
                         oauth_session_handle
  /api/<name>            signed with the access token: "<name> for demo"

A bad signature, an unknown consumer or token, or a nonce used twice is
answered 401 with an oauth_problem.
"""

import argparse
import base64
import hashlib
import hmac
import http.server
import json
import secrets
import sys
import threading
import urllib.parse

lock = threading.Lock()
consumers = {}
request_tokens = {}
access_tokens = {}
nonces = set()


def escape(text):
    return urllib.parse.quote(text, safe="~")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        pass

    def answer(self, status, text):
        body = text.encode()
        self.send_response(status)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def parameters(self):
        raw_path, _, query = self.path.partition("?")
        pairs = urllib.parse.parse_qsl(query, keep_blank_values=True)
        length = int(self.headers.get("Content-Length") or 0)
        if length and self.headers.get("Content-Type", "").startswith("application/x-www-form-urlencoded"):
            pairs += urllib.parse.parse_qsl(self.rfile.read(length).decode(), keep_blank_values=True)
        return raw_path, pairs

    def verified(self, raw_path, pairs, token_secret):
        """The request's parameters when its signature holds, else None."""
        params = dict(pairs)
        consumer_secret = consumers.get(params.get("oauth_consumer_key"))
        signature = params.get("oauth_signature")
        if consumer_secret is None or signature is None or params.get("oauth_signature_method") != "HMAC-SHA1":
            return None
        normalized = "&".join("%s=%s" % pair for pair in
                              sorted((escape(k), escape(v)) for k, v in pairs if k != "oauth_signature"))
        uri = "http://%s%s" % (self.headers["Host"].lower(), raw_path)
        base = "&".join([self.command, escape(uri), escape(normalized)])
        key = escape(consumer_secret) + "&" + escape(token_secret)
        expected = base64.b64encode(hmac.new(key.encode(), base.encode(), hashlib.sha1).digest()).decode()
        if not hmac.compare_digest(expected, signature):
            return None
        nonce = (params.get("oauth_consumer_key"), params.get("oauth_nonce"), params.get("oauth_timestamp"))
        with lock:
            if nonce in nonces:
                return None
            nonces.add(nonce)
        return params

    def handle_any(self):
        raw_path, pairs = self.parameters()
        token = dict(pairs).get("oauth_token", "")
        with lock:
            request = request_tokens.get(token)
            access = access_tokens.get(token)
        if raw_path == "/oauth/authorize":
            if request is None:
                return self.answer(404, "unknown token")
            request["verifier"] = secrets.token_hex(4)
            return self.answer(200, "verifier=" + request["verifier"])
        if raw_path == "/oauth/request_token":
            params = self.verified(raw_path, pairs, "")
            if params is None or "oauth_token" in params or "oauth_callback" not in params:
                return self.answer(401, "oauth_problem=signature_invalid")
            issued, secret = "rt-" + secrets.token_hex(4), secrets.token_hex(8)
            with lock:
                request_tokens[issued] = {"secret": secret, "verifier": None}
            return self.answer(200, "oauth_token=%s&oauth_token_secret=%s&oauth_callback_confirmed=true" % (issued, secret))
        if raw_path == "/oauth/access_token":
            if request is None:
                return self.answer(401, "oauth_problem=token_rejected")
            params = self.verified(raw_path, pairs, request["secret"])
            if params is None:
                return self.answer(401, "oauth_problem=signature_invalid")
            if request["verifier"] is None or params.get("oauth_verifier") != request["verifier"]:
                return self.answer(401, "oauth_problem=permission_denied")
            issued, secret = "at-" + secrets.token_hex(4), secrets.token_hex(8)
            with lock:
                del request_tokens[token]
                access_tokens[issued] = secret
            return self.answer(200, "oauth_token=%s&oauth_token_secret=%s&oauth_expires_in=3600&oauth_session_handle=sh-1"
                               % (issued, secret))
        if raw_path.startswith("/api/"):
            if access is None:
                return self.answer(401, "oauth_problem=token_rejected")
            if self.verified(raw_path, pairs, access) is None:
                return self.answer(401, "oauth_problem=signature_invalid")
            return self.answer(200, "%s for demo" % raw_path[len("/api/"):])
        return self.answer(404, "not found")

    do_GET = handle_any
    do_POST = handle_any


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--consumer", required=True, help="KEY:SECRET")
    options = parser.parse_args()
    key, _, secret = options.consumer.partition(":")
    consumers[key] = secret
    server = http.server.ThreadingHTTPServer(("127.0.0.1", options.port), Handler)
    print(json.dumps({"port": server.server_address[1]}), flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
