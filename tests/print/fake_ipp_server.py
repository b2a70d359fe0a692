#!/usr/bin/env python3
"""A made-up print server on 127.0.0.1 with one printer, "Fake", that
misbehaves as asked:

    fake_ipp_server.py ok          answers as a print system does
    fake_ipp_server.py once        answers the first request, then never again
    fake_ipp_server.py trickle     answers two requests at once, then one byte every 0.5 s
    fake_ipp_server.py unsent      takes the job (job 7) but never answers its document
    fake_ipp_server.py cancel-trickle  as unsent, and answers Cancel-Job a byte every 0.2 s, without end
    fake_ipp_server.py state:N     answers the job's document with job-state N (8: aborted)
    fake_ipp_server.py garbage     answers every request HTTP 200 with a body that is not IPP
    fake_ipp_server.py hangup      reads every request and hangs up
    fake_ipp_server.py 401         asks every request for a user name and password (HTTP 401)
    fake_ipp_server.py 401:job     answers as ok, but asks the job's requests for them

It prints "port N" once it listens, then each request's operation (and
"cancel-job" when a job is cancelled), and serves until its standard input closes (the test that
started it has ended, however it ended)."""

import os
import socket
import socketserver
import struct
import sys
import threading
import time

MODE = sys.argv[1] if len(sys.argv) > 1 else "ok"
PORT = 0
answered = 0
lock = threading.Lock()
never = threading.Event()  # never set: what a request that gets no answer waits on


def attribute(tag, name, value):
    if isinstance(value, bool):
        value = bytes([value])
    elif isinstance(value, int):
        value = struct.pack(">i", value)
    elif isinstance(value, str):
        value = value.encode()
    return bytes([tag]) + struct.pack(">H", len(name)) + name.encode() + struct.pack(">H", len(value)) + value


def printer_group():
    uri = "ipp://127.0.0.1:%d/printers/Fake" % PORT
    return b"\x04" + b"".join([
        attribute(0x42, "printer-name", "Fake"),
        attribute(0x45, "printer-uri-supported", uri),
        attribute(0x23, "printer-type", 4),
        attribute(0x23, "printer-state", 3),
        attribute(0x22, "printer-is-accepting-jobs", True),
        attribute(0x41, "printer-state-message", ""),
        attribute(0x41, "printer-info", "Fake printer"),
        attribute(0x41, "printer-make-and-model", "Fake"),
        attribute(0x49, "document-format-supported", "application/pdf"),
    ])


def job_group(state):
    return b"\x02" + attribute(0x21, "job-id", 7) + attribute(0x45, "job-uri", "ipp://127.0.0.1:%d/jobs/7" % PORT) \
        + attribute(0x23, "job-state", state) + attribute(0x44, "job-state-reasons", "none")


def ipp_answer(body):
    operation, request_id = struct.unpack(">HI", body[2:8])
    print("operation 0x%04x" % operation, flush=True)
    status, group = 0, b""
    if operation in (0x4001, 0x4002, 0x000B):  # CUPS-Get-Default, CUPS-Get-Printers, Get-Printer-Attributes
        group = printer_group()
    elif operation in (0x0005, 0x0009):  # Create-Job, Get-Job-Attributes
        group = job_group(3)
    elif operation == 0x0006:  # Send-Document
        if MODE in ("unsent", "cancel-trickle"):
            never.wait()
        group = job_group(int(MODE[6:]) if MODE.startswith("state:") else 3)
    elif operation == 0x0008:  # Cancel-Job: done, and said
        print("cancel-job", flush=True)
    else:
        status = 0x0406
    head = struct.pack(">BBHI", 2, 0, status, request_id) + b"\x01" \
        + attribute(0x47, "attributes-charset", "utf-8") + attribute(0x48, "attributes-natural-language", "en")
    return head + group + b"\x03"


def body_of(stream, headers):
    if "content-length" in headers:
        return stream.read(int(headers["content-length"]))
    body = b""
    while headers.get("transfer-encoding", "").lower() == "chunked":
        size = int(stream.readline().split(b";")[0], 16)
        if size == 0:
            while stream.readline() not in (b"\r\n", b""):
                pass
            break
        body += stream.read(size)
        stream.readline()
    return body


class Handler(socketserver.StreamRequestHandler):
    def answer(self, data):
        global answered
        with lock:
            answered += 1
            number = answered
        if MODE == "once" and number > 1:
            never.wait()
        if MODE == "trickle" and number > 2:
            for byte in data:
                self.wfile.write(bytes([byte]))
                self.wfile.flush()
                time.sleep(0.5)
            return
        self.wfile.write(data)
        self.wfile.flush()

    def trickle(self, head):
        """Sends `head`, then a byte every 0.2 s until the client hangs up."""
        try:
            self.wfile.write(head)
            while True:
                self.wfile.flush()
                time.sleep(0.2)
                self.wfile.write(b"\0")
        except OSError:
            return

    def handle(self):
        while True:
            line = self.rfile.readline()
            if not line:
                return
            method = line.split(b" ")[0]
            headers = {}
            for header in iter(self.rfile.readline, b"\r\n"):
                if not header:
                    return
                name, _, value = header.decode("latin-1").partition(":")
                headers[name.strip().lower()] = value.strip()
            if headers.get("expect", "").lower() == "100-continue":
                self.wfile.write(b"HTTP/1.1 100 Continue\r\n\r\n")
                self.wfile.flush()
            body = body_of(self.rfile, headers)
            if MODE == "hangup":
                return
            job = len(body) >= 4 and body[2:4] in (b"\x00\x05", b"\x00\x06")  # Create-Job, Send-Document
            if MODE == "401" or (MODE == "401:job" and job):
                self.answer(b"HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"CUPS\"\r\n"
                            b"Content-Length: 0\r\n\r\n")
                continue
            if MODE == "cancel-trickle" and body[2:4] == b"\x00\x08":  # Cancel-Job
                print("cancel-job", flush=True)
                return self.trickle(b"HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\n"
                                    b"Content-Length: 1000000000\r\n\r\n")
            if method != b"POST" or len(body) < 8:
                payload, kind, status = b"", "text/plain", "404 Not Found"
            elif MODE == "garbage":
                payload, kind, status = b"\x7fELF, not IPP at all" * 4, "application/ipp", "200 OK"
            else:
                payload, kind, status = ipp_answer(body), "application/ipp", "200 OK"
            self.answer(b"HTTP/1.1 %s\r\nContent-Type: %s\r\nContent-Length: %d\r\n\r\n"
                        % (status.encode(), kind.encode(), len(payload)) + payload)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    global PORT
    server = Server(("127.0.0.1", 0), Handler)
    PORT = server.server_address[1]
    print("port %d" % PORT, flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.buffer.read()
    os._exit(0)


if __name__ == "__main__":
    main()
