#!/usr/bin/env python3
"""A device on the korvale virtual HID bus, written from the bus's wire format
alone, to check that the C++ host side speaks it as documented.

It listens on <dir>/<name>.sock and answers GET_INFO with its info block;
other frames are read and ignored. It prints "ready" once it listens and
stops on SIGTERM or when its standard input closes.
"""
import argparse
import os
import selectors
import signal
import socket
import struct
import sys

GET_INFO, OUTPUT, GET_FEATURE, SET_FEATURE = 0x01, 0x02, 0x03, 0x04
INFO, INPUT, FEATURE = 0x81, 0x82, 0x83
MAX_FRAME = 4096


def frame(kind, payload=b""):
    return struct.pack("<IB", len(payload) + 1, kind) + payload


def info_block(args, descriptor):
    head = struct.pack("<HHHBBH", args.vid, args.pid, args.release, args.interface, 0, len(descriptor))
    return head + descriptor + args.product.encode("utf-8")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--dir", required=True)
    p.add_argument("--name", required=True)
    p.add_argument("--vid", type=lambda s: int(s, 16), required=True)
    p.add_argument("--pid", type=lambda s: int(s, 16), required=True)
    p.add_argument("--release", type=lambda s: int(s, 16), default=0x0100)
    p.add_argument("--interface", type=int, default=0)
    p.add_argument("--descriptor", required=True, help="report descriptor in hex")
    p.add_argument("--product", default="")
    p.add_argument("--uid", type=int, help="serve as this user (the host must refuse it)")
    args = p.parse_args()
    if args.uid is not None:
        os.setgid(args.uid)
        os.setuid(args.uid)
    descriptor = bytes.fromhex(args.descriptor)

    path = os.path.join(args.dir, args.name + ".sock")
    if os.path.exists(path):
        os.unlink(path)
    server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    server.bind(path)
    server.listen(8)
    server.setblocking(False)

    sel = selectors.DefaultSelector()
    sel.register(server, selectors.EVENT_READ, "accept")
    try:
        sel.register(sys.stdin, selectors.EVENT_READ, "stdin")
    except (OSError, ValueError):
        pass  # stdin is a file or closed: only SIGTERM stops us
    buffers = {}
    running = [True]

    def stop(*_):
        running[0] = False

    signal.signal(signal.SIGTERM, stop)
    print("ready", flush=True)

    def drop(conn):
        sel.unregister(conn)
        buffers.pop(conn, None)
        conn.close()

    while running[0]:
        for key, _ in sel.select(timeout=0.5):
            if key.data == "stdin":
                if not os.read(sys.stdin.fileno(), 4096):
                    running[0] = False
            elif key.data == "accept":
                conn, _ = server.accept()
                conn.setblocking(True)
                buffers[conn] = b""
                sel.register(conn, selectors.EVENT_READ, "client")
            else:
                conn = key.fileobj
                data = conn.recv(8192)
                if not data:
                    drop(conn)
                    continue
                buf = buffers[conn] + data
                while len(buf) >= 4:
                    (length,) = struct.unpack_from("<I", buf)
                    if length == 0 or length > MAX_FRAME:
                        buf = None
                        break
                    if len(buf) < 4 + length:
                        break
                    kind, payload = buf[4], buf[5:4 + length]
                    buf = buf[4 + length:]
                    if kind == GET_INFO:
                        conn.sendall(frame(INFO, info_block(args, descriptor)))
                    # Output and feature reports are accepted and ignored; unknown types too.
                if buf is None:
                    drop(conn)
                else:
                    buffers[conn] = buf
    for conn in list(buffers):
        conn.close()
    server.close()
    if os.path.exists(path):
        os.unlink(path)


if __name__ == "__main__":
    main()
