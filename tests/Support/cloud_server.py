#!/usr/bin/env python3
"""A fake of the cloud storage service's REST API, version "0", for the
client's tests and for trying the cloud features by hand. Python's standard
library only, so that every OAuth signature is checked by code independent
of the client's.

  cloud_server.py --port 0 [--tls-cert C --tls-key K] --root DIR
                  --consumer KEY:SECRET --account EMAIL:PASSWORD
                  [--quota BYTES] [--timestamp-window SECONDS]

Without --quota the account has no limit (its info reports 1 TiB), and an
upload does not add up the root's sizes first.

Listens on 127.0.0.1 only (plain HTTP, and HTTPS on a second port with a
certificate), HTTP/1.1 with keep-alive and "Expect: 100-continue", and
prints {"port": N, "tls_port": M} once listening.

The account's files are the folder --root, read on every call, so files
dropped in show up. Names compare case-insensitively and keep their stored
case. Revisions come from one counter, bumped by every change the service
makes or sees (a size or modification time that differs from what it saw
last); a folder's hash is the MD5 of its children's folded names, revisions
and folder flags.

API (every call signed with HMAC-SHA1; login, sign-up and the request token
need no token, every other call an access token):

  GET  /0/token                      email, password -> {"token","secret"}
  POST /0/account                    email, password, first_name, last_name
  GET  /0/account/info               the account and its quota
  GET  /0/metadata/dropbox/PATH      [hash=H] -> entry (folders with "hash"
                                     and "contents"); 304 when H is current
  GET  /0/files/dropbox/PATH         the file; "Range: bytes=N-" / "N-M" -> 206
  POST /0/files/dropbox/FOLDER       multipart upload, exactly one part "file"
  GET  /0/thumbnails/dropbox/PATH    [size=S] a small JPEG for images, else 415
  POST /0/fileops/copy, /move        root, from_path, to_path
  POST /0/fileops/delete             root, path
  POST /0/fileops/create_folder      root, path
  GET  /0/oauth/request_token        -> oauth_token, oauth_token_secret
  GET  /0/oauth/authorize            oauth_token=T[&email=&password=]: the
                                     user's consent -> oauth_verifier
  GET  /0/oauth/access_token         signed with the authorised request token

Control (never under /0/, never logged):

  GET  /_log                 a JSON array, one object per API request: method,
                             scheme, host, path (raw), headers (in order),
                             parameters, body_length, body_sha256,
                             base_string, verdict, status
  POST /_control/reset       forgets the log, faults, revocations, the rate
                             limit, stalls and used nonces
  POST /_control/fault       a JSON rule: "method", "endpoint" ("files",
                             "fileops/copy", ...), "path" (the cloud path or
                             the "path"/"from_path" parameter) select calls,
                             all optional; "count" (default 1) or "always";
                             then what happens: "status" with "body" and
                             "headers" instead of the answer; "delay"
                             seconds; "stall" T until /_control/release of T
                             (30 s at most), before the head or, with
                             "stall_after" N, after N body bytes;
                             "truncate_after" N body bytes under
                             the full length, then close; "no_length" (the
                             body closed by the end of the connection);
                             "close_before_head"
  POST /_control/release     {"token": T} or {} for every stall
  POST /_control/revoke      {"token": T}: every call with it is refused (401)
  POST /_control/rate_limit  {"requests": N, "seconds": S}: beyond N calls in
                             S seconds, 503 with "Retry-After"; N = 0 ends it
  POST /_control/issue_token [{"email": E}] -> {"token","secret"}
  POST /_control/authorize   {"token": T}: the user's consent to a request
                             token -> {"verifier": V}
"""

import argparse
import base64
import collections
import hashlib
import hmac
import html
import io
import json
import mimetypes
import os
import secrets
import shutil
import socket
import ssl
import stat
import tempfile
import threading
import time
import urllib.parse

from loopback_http import QuietHandler, listen, serve

API_ROOT = "dropbox"
MAX_HEAD = 64 * 1024
MAX_FORM = 1 << 20
MAX_FILENAME = 4096
STALL_CAP = 30.0
UPLOAD_PREFIX = ".cloud-upload-"
COPY_CHUNK = 1 << 20
ENDPOINTS = {"token", "account", "account/info", "fileops/copy", "fileops/move", "fileops/delete",
             "fileops/create_folder", "oauth/request_token", "oauth/authorize", "oauth/access_token"}
# Calls signed by the consumer alone.
TOKENLESS = {"token", "account", "oauth/request_token"}

# A 16 x 16 JPEG, the thumbnail of every image.
THUMBNAIL = base64.b64decode(
    "/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDAAUDBAQEAwUEBAQFBQUGBwwIBwcHBw8LCwkMEQ8SEhEPERETFhwXExQaFRERGCEYGh0dHx8fExci"
    "JCIeJBweHx7/2wBDAQUFBQcGBw4ICA4eFBEUHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh7/wAAR"
    "CAAQABADASIAAhEBAxEB/8QAFQABAQAAAAAAAAAAAAAAAAAAAAX/xAAUEAEAAAAAAAAAAAAAAAAAAAAA/8QAFAEBAAAAAAAAAAAAAAAAAAAA"
    "Bv/EABQRAQAAAAAAAAAAAAAAAAAAAAD/2gAMAwEAAhEDEQA/AJoB0Gv/2Q==")

IMAGE_EXTENSIONS = {".jpg", ".jpeg", ".png", ".gif", ".bmp", ".tif", ".tiff", ".heic", ".webp"}
ICONS = [
    (IMAGE_EXTENSIONS, "page_white_picture"),
    ({".txt", ".text", ".md", ".csv", ".log", ".rtf"}, "page_white_text"),
    ({".pdf"}, "page_white_acrobat"),
    ({".zip", ".gz", ".tgz", ".bz2", ".7z", ".rar"}, "page_white_compressed"),
    ({".mp3", ".m4a", ".aac", ".wav", ".ogg", ".flac"}, "page_white_sound"),
    ({".mp4", ".m4v", ".mov", ".avi", ".mkv"}, "page_white_film"),
    ({".html", ".htm", ".xml", ".js", ".css", ".json"}, "page_white_code"),
]
DAYS = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]


class Refused(Exception):
    """An answer that ends a call early: the status, {"error": error} (or a
    ready body: a JSON value, or text), extra headers."""

    def __init__(self, status, error=None, headers=(), body=None):
        super().__init__(error)
        self.status = status
        self.body = {"error": error} if body is None else body
        self.headers = list(headers)


def escape(text):
    """RFC 3986 percent-encoding, as OAuth signs (RFC 5849 section 3.6)."""
    return urllib.parse.quote(text, safe="-._~")


# What the account info reports as the quota of an account without one.
UNLIMITED_QUOTA = 1 << 40


def fold(name):
    return name.casefold()


def rfc1123(seconds):
    t = time.gmtime(seconds)
    return "%s, %02d %s %04d %02d:%02d:%02d +0000" % (
        DAYS[t.tm_wday], t.tm_mday, MONTHS[t.tm_mon - 1], t.tm_year, t.tm_hour, t.tm_min, t.tm_sec)


def human_size(size):
    if size < 1024:
        return "%d bytes" % size
    for unit in ("KB", "MB", "GB", "TB"):
        size /= 1024.0
        if size < 1024 or unit == "TB":
            return "%.1f %s" % (size, unit)


def icon_for(name, is_dir):
    if is_dir:
        return "folder"
    extension = os.path.splitext(name)[1].lower()
    for extensions, icon in ICONS:
        if extension in extensions:
            return icon
    return "page_white"


def is_image(name):
    return os.path.splitext(name)[1].lower() in IMAGE_EXTENSIONS


# -- the service's state -----------------------------------------------------

class Service:
    def __init__(self, options):
        self.lock = threading.RLock()
        self.release_condition = threading.Condition(self.lock)
        self.release_generation = 0
        self.root = os.path.realpath(options.root)
        key, _, secret = options.consumer.partition(":")
        self.consumers = {key: secret}
        email, _, password = options.account.partition(":")
        self.accounts = {}
        self.add_account(email, password, "Demo", "User")
        self.quota = options.quota
        self.window = options.timestamp_window
        self.access_tokens = {}   # token -> {"secret", "email"}
        self.request_tokens = {}  # token -> {"secret", "callback", "verifier", "email"}
        self.counter = 0
        self.seen = {}            # folded cloud path -> (size, mtime_ns, is_dir, revision)
        self.reset()

    def reset(self):
        with self.lock:
            self.log = []
            self.faults = []
            self.revoked = set()
            self.nonces = set()
            self.rate = None
            self.calls = collections.deque()
            self.released = set()
            # Stalls waiting now end.
            self.release_generation += 1
            self.release_condition.notify_all()

    def add_account(self, email, password, first, last):
        self.accounts[fold(email)] = {"email": email, "password": password,
                                      "name": ("%s %s" % (first, last)).strip(),
                                      "uid": 12345 + len(self.accounts)}

    def issue_access_token(self, email):
        token, secret = secrets.token_hex(8), secrets.token_hex(8)
        with self.lock:
            self.access_tokens[token] = {"secret": secret, "email": email}
        return token, secret

    def main_account(self):
        return next(iter(self.accounts.values()))

    def used_bytes(self):
        used = 0
        for folder, _, names in os.walk(self.root):
            for name in names:
                try:
                    used += os.lstat(os.path.join(folder, name)).st_size
                except OSError:
                    pass
        return used

    def revision(self, cloud_path, size, mtime_ns, is_dir):
        """The item's revision: a new one from the counter when it was never
        seen or looks different from its last sight."""
        key = fold(cloud_path)
        state = (size, mtime_ns, is_dir)
        with self.lock:
            known = self.seen.get(key)
            if known is None or known[:3] != state:
                self.counter += 1
                known = state + (self.counter,)
                self.seen[key] = known
            return known[3]

    def changed(self, cloud_path):
        """Forgets what was seen at and below the path: its next sight is a change."""
        key = fold(cloud_path).rstrip("/")
        with self.lock:
            for seen in [k for k in self.seen if k == key or k.startswith(key + "/")]:
                del self.seen[seen]


class Item:
    """A file or folder under --root: its real path and its cloud path in stored case."""

    def __init__(self, real, cloud):
        self.path = real
        self.cloud = cloud


# -- the HTTP side ----------------------------------------------------------

class Handler(QuietHandler):
    server_version = "CloudFake/0"

    @property
    def service(self):
        return self.server.service

    # Heads are read here, capped, before the standard parser sees them.
    def handle_one_request(self):
        head = bytearray()
        try:
            while True:
                line = self.rfile.readline(MAX_HEAD + 1)
                if not line:
                    self.close_connection = True
                    return
                head += line
                if len(head) > MAX_HEAD:
                    self.raw_answer(431, b"head too large\n")
                    self.close_connection = True
                    return
                if line in (b"\r\n", b"\n") and len(head) > len(line):
                    break
                if line in (b"\r\n", b"\n"):
                    head.clear()  # blank lines before a request
        except (OSError, ssl.SSLError):
            self.close_connection = True
            return
        first, _, rest = bytes(head).partition(b"\n")
        self.raw_requestline = first + b"\n"
        real = self.rfile
        self.rfile = io.BufferedReader(io.BytesIO(rest))
        try:
            parsed = self.parse_request()
        finally:
            self.rfile = real
        if not parsed:
            return
        try:
            self.dispatch()
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError, socket.timeout):
            self.close_connection = True

    def raw_answer(self, status, body):
        reason = self.responses.get(status, ("Error",))[0].encode()
        self.wfile.write(b"HTTP/1.1 %d %s\r\nContent-Length: %d\r\nConnection: close\r\n\r\n"
                         % (status, reason, len(body)) + body)

    def dispatch(self):
        path, _, query = self.path.partition("?")
        try:
            if path.startswith("/0/"):
                return self.api(path, query)
            if path == "/_log":
                self.drain(self.body_length())
                with self.service.lock:
                    # A body's digest is read from the running hash: the
                    # answer may reach the client before the handler's end.
                    body = json.dumps([dict((k, v) for k, v in e.items() if k != "digest")
                                       | ({"body_sha256": e["digest"].hexdigest()} if "digest" in e else {})
                                       for e in self.service.log]).encode()
                return self.write_answer(200, body, [("Content-Type", "application/json")])
            if path.startswith("/_control/"):
                return self.control(path[len("/_control/"):], query)
            self.drain(self.body_length())
            raise Refused(404, "Not found")
        except Refused as refusal:
            self.json_answer(refusal.status, refusal.body, refusal.headers)

    # -- bodies --------------------------------------------------------------

    def body_length(self):
        """The announced body length; a body of another framing ends the connection."""
        text = self.headers.get("Content-Length", "0").strip() or "0"
        if self.headers.get("Transfer-Encoding") or not text.isdigit() or len(self.headers.get_all("Content-Length") or []) > 1:
            self.close_connection = True
            raise Refused(411, "A body needs exactly one Content-Length")
        return int(text)

    def read_exact(self, count, digest=None):
        data = self.rfile.read(count) if count else b""
        if len(data) != count:
            raise ConnectionResetError("short body")
        if digest is not None:
            digest.update(data)
        return data

    def drain(self, count, digest=None):
        while count > 0:
            data = self.rfile.read(min(COPY_CHUNK, count))
            if not data:
                raise ConnectionResetError("short body")
            if digest is not None:
                digest.update(data)
            count -= len(data)

    # -- answers -------------------------------------------------------------

    def write_answer(self, status, body, headers=(), fault=None, stream=None, length=None):
        """The head and the body (or `length` bytes of `stream`, a file and an
        offset), as the fault's modifiers shape them."""
        fault = fault or {}
        if fault.get("delay"):
            time.sleep(min(float(fault["delay"]), STALL_CAP))
        stall_after = int(fault["stall_after"]) if "stall" in fault and "stall_after" in fault else None
        if "stall" in fault and stall_after is None:
            self.wait_for_release(str(fault["stall"]))
        if fault.get("close_before_head"):
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        total = length if stream is not None else len(body)
        headers = list(headers)
        if fault.get("no_length"):
            headers.append(("Connection", "close"))
            self.close_connection = True
        elif status != 304:
            headers.append(("Content-Length", str(total)))
        if self.close_connection and not fault.get("no_length"):
            headers.append(("Connection", "close"))
        lines = ["HTTP/1.1 %d %s" % (status, self.responses.get(status, ("Status",))[0])]
        lines += ["%s: %s" % pair for pair in headers]
        self.wfile.write(("\r\n".join(lines) + "\r\n\r\n").encode("utf-8"))
        if self.command == "HEAD" or status == 304:
            return
        send = total
        if "truncate_after" in fault:
            send = min(total, int(fault["truncate_after"]))
        if stall_after is not None and stall_after < send:
            self.write_body(body, stream, 0, stall_after)
            self.wfile.flush()
            self.wait_for_release(str(fault["stall"]))
            self.write_body(body, stream, stall_after, send - stall_after)
        else:
            self.write_body(body, stream, 0, send)
        if send < total or fault.get("no_length"):
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def write_body(self, body, stream, start, count):
        if stream is None:
            self.wfile.write(body[start:start + count])
        else:
            self.send_file((stream[0], stream[1] + start), count)

    def send_file(self, stream, count):
        file, offset = stream
        if count <= 0:
            return
        if isinstance(self.connection, ssl.SSLSocket):
            file.seek(offset)
            while count > 0:
                data = file.read(min(COPY_CHUNK, count))
                if not data:
                    raise ConnectionResetError("file shrank")
                self.wfile.write(data)
                count -= len(data)
        elif self.connection.sendfile(file, offset, count) != count:
            raise ConnectionResetError("file shrank")

    def wait_for_release(self, token):
        service = self.service
        deadline = time.monotonic() + STALL_CAP
        with service.release_condition:
            generation = service.release_generation
            while token not in service.released and service.release_generation == generation:
                left = deadline - time.monotonic()
                if left <= 0:
                    break
                service.release_condition.wait(left)

    def json_answer(self, status, value, headers=(), fault=None):
        """`value` as JSON (text as it is; None for no body)."""
        headers = list(headers)
        if value is None:
            body = b""
        elif isinstance(value, str):
            body = value.encode("utf-8")
            headers.insert(0, ("Content-Type", "text/plain; charset=utf-8"))
        else:
            body = json.dumps(value, separators=(",", ":")).encode()
            headers.insert(0, ("Content-Type", "application/json"))
        self.write_answer(status, body, headers, fault)

    # -- control -------------------------------------------------------------

    def control(self, name, query):
        length = self.body_length()
        if length > MAX_FORM:
            self.drain(length)
            raise Refused(413, "Too large")
        raw = self.read_exact(length)
        try:
            request = json.loads(raw) if raw.strip() else {}
        except ValueError:
            raise Refused(400, "Not JSON")
        if not isinstance(request, dict):
            raise Refused(400, "Not a JSON object")
        for key, value in urllib.parse.parse_qsl(query, keep_blank_values=True):
            request.setdefault(key, value)
        service = self.service
        answer = {}
        if name == "reset":
            service.reset()
        elif name == "fault":
            rule = dict(request)
            rule["left"] = None if rule.get("always") else int(rule.get("count", 1))
            with service.lock:
                service.faults.append(rule)
                answer = {"id": len(service.faults)}
        elif name == "release":
            with service.release_condition:
                if request.get("token"):
                    service.released.add(str(request["token"]))
                else:
                    service.release_generation += 1
                service.release_condition.notify_all()
        elif name == "revoke":
            with service.lock:
                service.revoked.add(str(request.get("token", "")))
        elif name == "rate_limit":
            with service.lock:
                count = int(request.get("requests", 0))
                service.rate = (count, float(request.get("seconds", 1))) if count > 0 else None
                service.calls.clear()
        elif name == "issue_token":
            email = request.get("email") or service.main_account()["email"]
            if fold(email) not in service.accounts:
                raise Refused(404, "No such account")
            token, secret = service.issue_access_token(email)
            answer = {"token": token, "secret": secret}
        elif name == "authorize":
            with service.lock:
                pending = service.request_tokens.get(str(request.get("token", "")))
                if pending is None:
                    raise Refused(404, "Unknown request token")
                pending["verifier"] = secrets.token_hex(4)
                pending["email"] = service.main_account()["email"]
                answer = {"verifier": pending["verifier"]}
        else:
            raise Refused(404, "No such control")
        self.json_answer(200, answer)

    # -- the API -------------------------------------------------------------

    def api(self, path, query):
        scheme = "https" if isinstance(self.connection, ssl.SSLSocket) else "http"
        entry = {"method": self.command, "scheme": scheme, "host": self.headers.get("Host", ""),
                 "path": self.path, "headers": [[k, v] for k, v in self.headers.items()],
                 "parameters": [], "body_length": 0, "body_sha256": "", "base_string": "",
                 "verdict": "", "status": 0}
        digest = hashlib.sha256()
        entry["digest"] = digest
        self.entry = entry
        self.logged = False
        self.fault = None
        self.account = None
        try:
            endpoint, cloud_path, error = self.route(path)
            length = self.body_length()
            entry["body_length"] = length
            if error:
                # A path out of the root (or no endpoint) is refused unread.
                self.drain(length, digest)
                raise Refused(400, error)
            if endpoint == "files" and self.command == "POST":
                # The body is read as it is stored; its opening names the file.
                return self.upload(scheme, path, query, cloud_path, length, digest)
            parameters = self.query_parameters(query)
            parameters += self.form_parameters(length, digest)
            entry["parameters"] = [list(p) for p in parameters]
            self.log_entry()
            self.authenticate(endpoint, scheme, path, parameters)
            self.limit_and_fault(endpoint, cloud_path, parameters)
            self.serve(endpoint, cloud_path, dict(parameters))
        except Refused as refusal:
            entry["status"] = refusal.status
            self.log_entry()
            modifiers = {k: v for k, v in (self.fault or {}).items() if k not in ("status", "body", "headers")}
            self.json_answer(refusal.status, refusal.body, refusal.headers, modifiers)
        finally:
            entry["body_sha256"] = digest.hexdigest()
            self.log_entry()

    def log_entry(self):
        """Puts the request in the log once, when its parameters are known:
        a test that sees it there reads them whole."""
        if not self.logged:
            self.logged = True
            with self.service.lock:
                self.service.log.append(self.entry)

    def route(self, path):
        """(endpoint, cloud path or None, what is wrong with the path or None)."""
        parts = path[len("/0/"):]
        for name in ("metadata", "files", "thumbnails"):
            if parts == name or parts.startswith(name + "/"):
                root, _, raw = parts[len(name) + 1:].partition("/")
                if root != API_ROOT:
                    return name, None, "Invalid root"
                cloud, error = self.cloud_path(raw)
                return name, cloud, error
        if parts in ENDPOINTS:
            return parts, None, None
        return parts, None, "Unknown endpoint"

    @staticmethod
    def cloud_path(raw):
        """The cloud path a URL names, decoded; an error for "..", NUL or bad UTF-8."""
        try:
            text = urllib.parse.unquote(raw, errors="strict")
        except UnicodeDecodeError:
            return None, "Path is not UTF-8"
        return Handler.clean_path(text)

    @staticmethod
    def clean_path(text):
        if "\0" in text:
            return None, "Path holds NUL"
        parts = [part for part in text.split("/") if part]
        if any(part in (".", "..") for part in parts):
            return None, "Path leaves the root"
        return "/" + "/".join(parts), None

    def query_parameters(self, query):
        try:
            return urllib.parse.parse_qsl(query, keep_blank_values=True, errors="strict")
        except UnicodeDecodeError:
            raise Refused(400, "Parameters are not UTF-8")

    def form_parameters(self, length, digest):
        if length > MAX_FORM:
            self.drain(length, digest)
            raise Refused(413, "Body too large")
        body = self.read_exact(length, digest)
        if self.headers.get_content_type() != "application/x-www-form-urlencoded":
            return []
        try:
            return urllib.parse.parse_qsl(body.decode("utf-8"), keep_blank_values=True, errors="strict")
        except UnicodeDecodeError:
            raise Refused(400, "Parameters are not UTF-8")

    # -- OAuth ---------------------------------------------------------------

    def authenticate(self, endpoint, scheme, path, parameters):
        """Checks the signature as RFC 5849 says, from the request as it
        arrived; refuses with 401 and the reason."""
        service = self.service
        entry = self.entry
        if endpoint == "oauth/authorize":
            entry["verdict"] = "not signed"
            return
        values = {}
        for name, value in parameters:
            if name.startswith("oauth_") and name in values:
                self.refuse_signature("Duplicate " + name)
            values[name] = value
        consumer_secret = service.consumers.get(values.get("oauth_consumer_key"))
        if consumer_secret is None:
            self.refuse_signature("Unknown consumer key")
        if values.get("oauth_signature_method") != "HMAC-SHA1":
            self.refuse_signature("Unsupported signature method")
        if values.get("oauth_version", "1.0") != "1.0":
            self.refuse_signature("Unsupported OAuth version")
        stamp = values.get("oauth_timestamp", "")
        if not stamp.isdigit():
            self.refuse_signature("Invalid timestamp")
        if service.window is not None and abs(time.time() - int(stamp)) > service.window:
            self.refuse_signature("Timestamp out of range")
        if not values.get("oauth_nonce"):
            self.refuse_signature("Missing nonce")
        if "oauth_signature" not in values:
            self.refuse_signature("Missing signature")

        token = values.get("oauth_token")
        token_secret = ""
        with service.lock:
            access = service.access_tokens.get(token) if token is not None else None
            pending = service.request_tokens.get(token) if token is not None else None
        if endpoint == "oauth/access_token":
            if pending is None:
                self.refuse_signature("Unknown request token")
            token_secret = pending["secret"]
        elif token is not None:
            if access is None:
                self.refuse_signature("Unknown token")
            token_secret = access["secret"]
            self.account = service.accounts.get(fold(access["email"]))
        elif endpoint not in TOKENLESS:
            self.refuse_signature("Missing token")

        host = self.headers.get("Host", "").lower()
        default = {"http": ":80", "https": ":443"}[scheme]
        if host.endswith(default):
            host = host[:-len(default)]
        normalized = "&".join("%s=%s" % pair for pair in sorted(
            (escape(name), escape(value)) for name, value in parameters if name != "oauth_signature"))
        base = "&".join([self.command, escape("%s://%s%s" % (scheme, host, path)), escape(normalized)])
        entry["base_string"] = base
        key = escape(consumer_secret) + "&" + escape(token_secret)
        expected = base64.b64encode(hmac.new(key.encode(), base.encode(), hashlib.sha1).digest()).decode()
        if not hmac.compare_digest(expected.encode(), values["oauth_signature"].encode()):
            self.refuse_signature("Invalid signature")
        nonce = (values["oauth_consumer_key"], token or "", stamp, values["oauth_nonce"])
        with service.lock:
            if nonce in service.nonces:
                self.refuse_signature("Nonce already used")
            service.nonces.add(nonce)
            if token is not None and token in service.revoked:
                self.refuse_signature("Token revoked")
        entry["verdict"] = "ok"

    def refuse_signature(self, reason):
        self.entry["verdict"] = reason
        raise Refused(401, reason)

    # -- faults and limits ---------------------------------------------------

    def limit_and_fault(self, endpoint, cloud_path, parameters):
        """Applies the rate limit and picks the first fault rule the call
        matches; a rule with a status refuses the call with it."""
        service = self.service
        values = dict(parameters)
        subject = cloud_path
        if subject is None and (values.get("path") or values.get("from_path")):
            subject, _ = self.clean_path(values.get("path") or values.get("from_path"))
        with service.lock:
            if service.rate is not None:
                count, seconds = service.rate
                now = time.monotonic()
                while service.calls and now - service.calls[0] >= seconds:
                    service.calls.popleft()
                if len(service.calls) >= count:
                    wait = max(1, int(seconds - (now - service.calls[0]) + 0.999))
                    raise Refused(503, "Rate limit exceeded", [("Retry-After", str(wait))])
                service.calls.append(now)
            for rule in service.faults:
                if rule["left"] == 0:
                    continue
                if rule.get("method") and str(rule["method"]).upper() != self.command:
                    continue
                if rule.get("endpoint") and rule["endpoint"] != endpoint:
                    continue
                if rule.get("path") and (subject is None or fold(rule["path"]) != fold(subject)):
                    continue
                if rule["left"] is not None:
                    rule["left"] -= 1
                self.fault = rule
                break
        fault = self.fault
        if fault and "status" in fault:
            raise Refused(int(fault["status"]), headers=list((fault.get("headers") or {}).items()),
                          body=fault.get("body", {"error": "Injected failure"}))

    # -- endpoints -----------------------------------------------------------

    def serve(self, endpoint, cloud_path, values):
        method = "POST" if endpoint == "account" or endpoint.startswith("fileops/") else "GET"
        if self.command != method:
            raise Refused(405, "Method not allowed")
        if endpoint.startswith("fileops/") and values.get("root") != API_ROOT:
            raise Refused(400, "Invalid root")
        getattr(self, "do_" + endpoint.replace("/", "_"))(cloud_path, values)

    def ok(self, value, headers=()):
        self.entry["status"] = 200
        self.json_answer(200, value, headers, self.fault)

    def do_token(self, _, values):
        account = self.service.accounts.get(fold(values.get("email", "")))
        password = values.get("password", "").encode()
        if account is None or not hmac.compare_digest(account["password"].encode(), password):
            raise Refused(401, "Invalid email or password")
        token, secret = self.service.issue_access_token(account["email"])
        self.ok({"token": token, "secret": secret})

    def do_account(self, _, values):
        email = values.get("email", "")
        name, at, domain = email.partition("@")
        if not name or not at or not domain:
            raise Refused(400, {"email": "Enter a valid email address"})
        if not values.get("password"):
            raise Refused(400, {"password": "Enter a password"})
        with self.service.lock:
            if fold(email) in self.service.accounts:
                raise Refused(400, {"email": "That email is already taken"})
            self.service.add_account(email, values["password"], values.get("first_name", ""),
                                     values.get("last_name", ""))
        self.ok({"email": email})

    def do_account_info(self, _, values):
        account = self.account or self.service.main_account()
        self.ok({"country": "US", "display_name": account["name"], "email": account["email"],
                 "uid": account["uid"], "referral_link": "https://cloud.invalid/referrals/%d" % account["uid"],
                 "quota_info": {"normal": self.service.used_bytes(), "shared": 0,
                                "quota": UNLIMITED_QUOTA if self.service.quota is None else self.service.quota}})

    # Items under --root: names fold, paths never leave the root.
    def find(self, cloud_path):
        """The item at the cloud path (an exact name first, else one that folds
        the same), or None; 400 for a link that leads out of the root."""
        real = self.service.root
        stored = []
        for part in [p for p in cloud_path.split("/") if p]:
            match = None
            # The exact name by one look-up; the folder is read only for a
            # name that folds the same, so that a call costs the same however
            # many items share the folder.
            if part not in (".", "..") and os.path.isdir(real) and os.path.lexists(os.path.join(real, part)):
                match = part
            else:
                folded = fold(part)
                try:
                    with os.scandir(real) as entries:
                        for item in entries:
                            if fold(item.name) == folded:
                                match = item.name
                                break
                except (NotADirectoryError, FileNotFoundError):
                    return None
            if match is None or match.startswith(UPLOAD_PREFIX):
                return None
            real = os.path.join(real, match)
            self.inside_root(real)
            stored.append(match)
        return Item(real, "/" + "/".join(stored))

    def inside_root(self, real):
        resolved = os.path.realpath(real)
        root = self.service.root
        if resolved != root and not resolved.startswith(root.rstrip("/") + "/"):
            raise Refused(400, "Path leaves the root")

    def require(self, cloud_path):
        item = self.find(cloud_path)
        if item is None:
            raise Refused(404, "Path '%s' not found" % cloud_path)
        return item

    def entry_for(self, item):
        info = os.stat(item.path)
        is_dir = stat.S_ISDIR(info.st_mode)
        name = os.path.basename(item.cloud)
        size = 0 if is_dir else info.st_size
        return {"thumb_exists": (not is_dir) and is_image(name), "bytes": size,
                "modified": rfc1123(info.st_mtime), "path": item.cloud, "is_dir": is_dir,
                "size": human_size(size), "root": API_ROOT, "icon": icon_for(name, is_dir),
                "revision": self.service.revision(item.cloud, size, info.st_mtime_ns, is_dir)}

    def children(self, item):
        with os.scandir(item.path) as entries:
            names = sorted((e.name for e in entries if not e.name.startswith(UPLOAD_PREFIX)), key=fold)
        result = []
        for name in names:
            child = Item(os.path.join(item.path, name), item.cloud.rstrip("/") + "/" + name)
            try:
                self.inside_root(child.path)
                result.append(self.entry_for(child))
            except (Refused, OSError):
                continue  # a link out of the root, or gone meanwhile
        return result

    @staticmethod
    def folder_hash(contents):
        digest = hashlib.md5()
        for child in contents:
            digest.update(("%s\0%d\0%d\n" % (fold(os.path.basename(child["path"])), child["revision"],
                                              1 if child["is_dir"] else 0)).encode("utf-8"))
        return digest.hexdigest()

    def do_metadata(self, cloud_path, values):
        item = self.require(cloud_path)
        entry = self.entry_for(item)
        if entry["is_dir"] and values.get("list", "true") != "false":
            contents = self.children(item)
            entry["hash"] = self.folder_hash(contents)
            if values.get("hash") == entry["hash"]:
                self.entry["status"] = 304
                return self.json_answer(304, None, [], self.fault)
            entry["contents"] = contents
        self.ok(entry)

    def do_files(self, cloud_path, values):
        item = self.require(cloud_path)
        if os.path.isdir(item.path):
            raise Refused(404, "Path '%s' is a folder" % cloud_path)
        entry = self.entry_for(item)
        with open(item.path, "rb") as file:
            total = os.fstat(file.fileno()).st_size
            status, start, end = 200, 0, total
            headers = [("Content-Type", mimetypes.guess_type(item.path)[0] or "application/octet-stream"),
                       ("Etag", '"%d"' % entry["revision"]), ("Accept-Ranges", "bytes")]
            wanted = self.headers.get("Range")
            if wanted is not None:
                first, last = self.byte_range(wanted, total)
                if first is None:
                    raise Refused(416, "Range not satisfiable", [("Content-Range", "bytes */%d" % total)])
                status, start, end = 206, first, last + 1
                headers.append(("Content-Range", "bytes %d-%d/%d" % (first, last, total)))
            self.entry["status"] = status
            self.write_answer(status, b"", headers, self.fault, (file, start), end - start)

    @staticmethod
    def byte_range(text, total):
        """"bytes=N-" or "bytes=N-M" inside the file as (first, last); else (None, None)."""
        unit, _, bounds = text.strip().partition("=")
        first, dash, last = bounds.strip().partition("-")
        if unit.strip().lower() != "bytes" or not dash or not first.isdigit() or (last and not last.isdigit()):
            return None, None
        first = int(first)
        last = min(int(last), total - 1) if last else total - 1
        if first >= total or first > last:
            return None, None
        return first, last

    def do_thumbnails(self, cloud_path, values):
        item = self.require(cloud_path)
        if os.path.isdir(item.path) or not is_image(item.path):
            raise Refused(415, "No thumbnail for '%s'" % cloud_path)
        self.entry["status"] = 200
        self.write_answer(200, THUMBNAIL, [("Content-Type", "image/jpeg")], self.fault)

    # -- file operations -----------------------------------------------------

    def param_path(self, values, name):
        if name not in values:
            raise Refused(400, "Missing %s" % name)
        cloud, error = self.clean_path(values[name])
        if error:
            raise Refused(400, error)
        return cloud

    def destination(self, cloud_path):
        """(parent folder, new name, the item already there or None)."""
        parent_path, name = cloud_path.rsplit("/", 1)
        parent = self.find(parent_path or "/")
        if parent is None or not os.path.isdir(parent.path):
            raise Refused(404, "Parent folder of '%s' not found" % cloud_path)
        return parent, name, self.find(cloud_path)

    def copy_or_move(self, values, move):
        source_path = self.param_path(values, "from_path")
        target_path = self.param_path(values, "to_path")
        if source_path == "/" or target_path == "/":
            raise Refused(403, "The root cannot be moved or copied")
        source = self.require(source_path)
        parent, name, existing = self.destination(target_path)
        # A move to the same item under another case renames it.
        renames_case = move and existing is not None and os.path.samefile(existing.path, source.path)
        if existing is not None and not renames_case:
            raise Refused(403, "A file with that name already exists at path '%s'" % target_path)
        inside = fold(parent.cloud).rstrip("/") + "/"
        if not renames_case and inside.startswith(fold(source.cloud).rstrip("/") + "/"):
            raise Refused(403, "Cannot move or copy a folder into itself")
        target = os.path.join(parent.path, name)
        new_cloud = parent.cloud.rstrip("/") + "/" + name
        with self.service.lock:
            if move:
                os.rename(source.path, target)
                self.service.changed(source.cloud)
            elif os.path.isdir(source.path):
                shutil.copytree(source.path, target, symlinks=True)
            else:
                shutil.copy2(source.path, target)
            self.service.changed(new_cloud)
        self.ok(self.entry_for(Item(target, new_cloud)))

    def do_fileops_copy(self, _, values):
        self.copy_or_move(values, move=False)

    def do_fileops_move(self, _, values):
        self.copy_or_move(values, move=True)

    def do_fileops_delete(self, _, values):
        cloud = self.param_path(values, "path")
        if cloud == "/":
            raise Refused(403, "The root cannot be deleted")
        item = self.require(cloud)
        entry = self.entry_for(item)
        with self.service.lock:
            if os.path.isdir(item.path) and not os.path.islink(item.path):
                shutil.rmtree(item.path)
            else:
                os.remove(item.path)
            self.service.changed(item.cloud)
        entry["is_deleted"] = True
        self.ok(entry)

    def do_fileops_create_folder(self, _, values):
        cloud = self.param_path(values, "path")
        if cloud == "/":
            raise Refused(403, "The root exists")
        parent, name, existing = self.destination(cloud)
        if existing is not None:
            raise Refused(403, "A file with that name already exists at path '%s'" % cloud)
        target = os.path.join(parent.path, name)
        new_cloud = parent.cloud.rstrip("/") + "/" + name
        with self.service.lock:
            os.mkdir(target)
            self.service.changed(new_cloud)
        self.ok(self.entry_for(Item(target, new_cloud)))

    # -- upload --------------------------------------------------------------

    def upload(self, scheme, path, query, folder_path, length, digest):
        """The multipart body exactly as the client lays it out, streamed into a
        temporary file beside the target that is renamed over it at the end.
        A refused upload reads the rest of the body first, so the connection
        stays usable."""
        consumed = 0

        def take(count):
            nonlocal consumed
            if consumed + count > length:
                raise Refused(400, "The body is shorter than its layout")
            consumed += count
            return self.read_exact(count, digest)

        try:
            parameters = self.query_parameters(query)
            self.entry["parameters"] = [list(p) for p in parameters]
            self.log_entry()
            boundary = self.headers.get_param("boundary") or ""
            if self.headers.get_content_type() != "multipart/form-data" or not boundary:
                raise Refused(400, "Not a multipart/form-data body")
            opening = b'--%s\r\nContent-Disposition: form-data; name="file"; filename="' % boundary.encode()
            if take(len(opening)) != opening:
                raise Refused(400, "The body does not open with the file part")
            line = self.rfile.readline(min(MAX_FILENAME, length - consumed))
            consumed += len(line)
            digest.update(line)
            if not line.endswith(b'"\r\n') or b'"' in line[:-3]:
                raise Refused(400, "Bad file name")
            try:
                filename = line[:-3].decode("utf-8")
            except UnicodeDecodeError:
                raise Refused(400, "The file name is not UTF-8")
            kind = b"Content-Type: application/octet-stream\r\n\r\n"
            if take(len(kind)) != kind:
                raise Refused(400, "The file part has the wrong type")
            closing = b"\r\n--%s--\r\n" % boundary.encode()
            size = length - consumed - len(closing)
            if size < 0:
                raise Refused(400, "The body is shorter than its layout")
            self.entry["parameters"].append(["file", filename])
            self.authenticate("files", scheme, path, parameters + [("file", filename)])
            if filename in ("", ".", "..") or "/" in filename or any(ord(c) < 32 for c in filename):
                raise Refused(400, "Bad file name")
            self.limit_and_fault("files", folder_path, parameters)
            folder = self.require(folder_path)
            if not os.path.isdir(folder.path):
                raise Refused(404, "Folder '%s' not found" % folder_path)
            existing = self.find(folder.cloud.rstrip("/") + "/" + filename)
            if existing is not None and os.path.isdir(existing.path):
                raise Refused(403, "A folder with that name already exists")
            old_size = os.stat(existing.path).st_size if existing is not None else 0
            quota = self.service.quota
            if quota is not None and self.service.used_bytes() - old_size + size > quota:
                raise Refused(507, "Over quota")
        except Refused:
            self.drain(length - consumed, digest)
            raise

        name = os.path.basename(existing.path) if existing is not None else filename
        target = os.path.join(folder.path, name)
        new_cloud = folder.cloud.rstrip("/") + "/" + name
        descriptor, temporary = tempfile.mkstemp(prefix=UPLOAD_PREFIX, dir=folder.path)
        try:
            with os.fdopen(descriptor, "wb") as out:
                left = size
                while left > 0:
                    data = self.rfile.read(min(COPY_CHUNK, left))
                    if not data:
                        raise ConnectionResetError("short upload")
                    digest.update(data)
                    out.write(data)
                    left -= len(data)
            consumed += size
            if take(len(closing)) != closing:
                raise Refused(400, "The body does not close with its boundary")
            os.chmod(temporary, 0o644)
            with self.service.lock:
                os.replace(temporary, target)
                self.service.changed(new_cloud)
        except BaseException:
            try:
                os.remove(temporary)
            except OSError:
                pass
            raise
        self.ok(self.entry_for(Item(target, new_cloud)))

    # -- the token flow ------------------------------------------------------

    def form_answer(self, pairs):
        self.entry["status"] = 200
        body = urllib.parse.urlencode(pairs).encode()
        self.write_answer(200, body, [("Content-Type", "application/x-www-form-urlencoded")], self.fault)

    def do_oauth_request_token(self, _, values):
        token, secret = "rt" + secrets.token_hex(7), secrets.token_hex(8)
        callback = values.get("oauth_callback")
        with self.service.lock:
            self.service.request_tokens[token] = {"secret": secret, "callback": callback,
                                                  "verifier": None, "email": None}
        pairs = [("oauth_token", token), ("oauth_token_secret", secret)]
        if callback is not None:
            pairs.append(("oauth_callback_confirmed", "true"))
        self.form_answer(pairs)

    def do_oauth_authorize(self, _, values):
        """The user's consent: a form, or with the account's email and
        password the verifier (at the callback, when there is one)."""
        token = values.get("oauth_token", "")
        with self.service.lock:
            pending = self.service.request_tokens.get(token)
        if pending is None:
            raise Refused(404, "Unknown request token")
        if "email" not in values:
            page = ('<html><head><title>Allow access</title></head><body><form method="get">'
                    '<input type="hidden" name="oauth_token" value="%s">'
                    '<input name="email"> <input name="password" type="password">'
                    '<button>Allow</button></form></body></html>' % html.escape(token))
            self.entry["status"] = 200
            return self.write_answer(200, page.encode(), [("Content-Type", "text/html; charset=utf-8")], self.fault)
        account = self.service.accounts.get(fold(values["email"]))
        if account is None or not hmac.compare_digest(account["password"].encode(), values.get("password", "").encode()):
            raise Refused(403, "Invalid email or password")
        with self.service.lock:
            pending["verifier"] = secrets.token_hex(4)
            pending["email"] = account["email"]
        callback = pending["callback"]
        if callback and callback != "oob":
            location = callback + ("&" if "?" in callback else "?") + urllib.parse.urlencode(
                [("oauth_token", token), ("oauth_verifier", pending["verifier"])])
            self.entry["status"] = 302
            return self.write_answer(302, b"", [("Location", location)], self.fault)
        self.form_answer([("oauth_token", token), ("oauth_verifier", pending["verifier"])])

    def do_oauth_access_token(self, _, values):
        token = values.get("oauth_token", "")
        with self.service.lock:
            pending = self.service.request_tokens.get(token)
            if pending is None or pending["email"] is None:
                raise Refused(401, "Request token not authorised")
            if values.get("oauth_verifier") != pending["verifier"]:
                raise Refused(401, "Wrong verifier")
            del self.service.request_tokens[token]
        issued, secret = self.service.issue_access_token(pending["email"])
        self.form_answer([("oauth_token", issued), ("oauth_token_secret", secret)])


def parse_options(arguments=None):
    parser = argparse.ArgumentParser(description="A fake cloud storage service on 127.0.0.1.")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    parser.add_argument("--root", required=True)
    parser.add_argument("--consumer", required=True, help="KEY:SECRET")
    parser.add_argument("--account", required=True, help="EMAIL:PASSWORD")
    parser.add_argument("--quota", type=int, default=None)
    parser.add_argument("--timestamp-window", type=float, default=None)
    options = parser.parse_args(arguments)
    if not os.path.isdir(options.root):
        parser.error("--root must be a folder")
    return options


def attach_to(service):
    def attach(server):
        server.service = service
    return attach


def start(options):
    """The service, serving on threads of its own: (service, port, tls_port)."""
    service = Service(options)
    return (service,) + listen(Handler, options.port, options.tls_cert, options.tls_key, attach_to(service))


def main():
    options = parse_options()
    serve(Handler, options.port, options.tls_cert, options.tls_key, attach_to(Service(options)))


if __name__ == "__main__":
    main()
