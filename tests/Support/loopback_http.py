"""What the tests' loopback fakes (web_server.py, cloud_server.py) share:
a quiet HTTP/1.1 handler base, a threading server whose TLS handshakes run
in each connection's own thread, and the start-up that listens on
127.0.0.1 and prints {"port": N, "tls_port": M} (0 without TLS)."""

import http.server
import json
import os
import socket
import ssl
import sys
import threading
import time


class QuietHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    sys_version = ""

    def setup(self):
        super().setup()
        # Heads and bodies go out in separate writes; don't let them wait.
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def log_message(self, format, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 128
    # With TLS: the handshake runs in each connection's own thread, so a
    # client that connects and then stalls or gives up holds up nobody else.
    tls_context = None

    def finish_request(self, request, client_address):
        if self.tls_context is None:
            return super().finish_request(request, client_address)
        try:
            request = self.tls_context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError):
            return
        try:
            super().finish_request(request, client_address)
        finally:
            try:
                request.close()
            except OSError:
                pass

    def handle_error(self, request, client_address):
        # Clients that hang up early are part of the tests; anything else
        # goes to stderr, which the tests show when a fake misbehaves.
        kind = sys.exc_info()[0]
        if kind is not None and issubclass(kind, (ConnectionError, ssl.SSLError, socket.timeout, ValueError)):
            return
        super().handle_error(request, client_address)


def listen(handler, port, tls_cert=None, tls_key=None, prepare=lambda server: None):
    """Serves on 127.0.0.1 (`port`, 0 for one the system assigns, and with a
    certificate a TLS port too) on threads of its own; `prepare` sees each
    server first. Returns the plain port and the TLS port (0 without)."""
    servers = [Server(("127.0.0.1", port), handler)]
    if tls_cert:
        secure = Server(("127.0.0.1", 0), handler)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(tls_cert, tls_key)
        secure.tls_context = context
        servers.append(secure)
    for server in servers:
        prepare(server)
        threading.Thread(target=server.serve_forever, daemon=True).start()
    return servers[0].server_address[1], servers[1].server_address[1] if len(servers) > 1 else 0


def serve(handler, port, tls_cert=None, tls_key=None, prepare=lambda server: None):
    """listen(), then prints the ports and serves until killed, or until the
    process that started it is gone (a test killed or crashed must not leave
    a server behind, still holding what it inherited)."""
    parent = os.getppid()

    def end_with_parent():
        while os.getppid() == parent:
            time.sleep(0.5)
        os._exit(0)

    threading.Thread(target=end_with_parent, daemon=True).start()
    plain, secure = listen(handler, port, tls_cert, tls_key, prepare)
    print(json.dumps({"port": plain, "tls_port": secure}), flush=True)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        pass
