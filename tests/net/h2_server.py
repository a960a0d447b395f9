#!/usr/bin/env python3
"""A TLS server on 127.0.0.1 that speaks HTTP/2 only (ALPN h2), staples no
OCSP answer and sends no SCT, for the handshake test: every request gets
200 and a short body. Usage: h2_server.py PORT CERT KEY; ends after 30 s."""
import socket
import ssl
import sys
import threading

import h2.config
import h2.connection
import h2.events


def serve(conn):
    h2c = h2.connection.H2Connection(config=h2.config.H2Configuration(client_side=False))
    h2c.initiate_connection()
    conn.sendall(h2c.data_to_send())
    while True:
        data = conn.recv(65536)
        if not data:
            return
        for event in h2c.receive_data(data):
            if isinstance(event, h2.events.RequestReceived):
                body = b"<html><title>h2</title>ok</html>"
                h2c.send_headers(event.stream_id, [(":status", "200"), ("content-type", "text/html"),
                                                   ("content-length", str(len(body)))])
                h2c.send_data(event.stream_id, body, end_stream=True)
        conn.sendall(h2c.data_to_send())


def main():
    port, cert, key = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    context.set_alpn_protocols(["h2"])
    listener = socket.create_server(("127.0.0.1", port))
    listener.settimeout(30)
    print("listening", flush=True)
    while True:
        try:
            raw, _ = listener.accept()
        except socket.timeout:
            return
        try:
            conn = context.wrap_socket(raw, server_side=True)
        except (ssl.SSLError, OSError):
            continue
        threading.Thread(target=lambda: (serve(conn)), daemon=True).start()


if __name__ == "__main__":
    main()
