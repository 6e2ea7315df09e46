#!/usr/bin/env python3
"""Minimal host for one virtual HID bus socket, written from the wire format:
asks for the interface description, sends a ReadInfo command report and
checks the answer. Standard library only."""
import socket
import struct
import sys

GET_INFO, OUTPUT, INFO, INPUT = 0x01, 0x02, 0x81, 0x82


def frame(kind, payload=b""):
    return struct.pack("<IB", len(payload) + 1, kind) + payload


def read_frame(sock, buf):
    while True:
        if len(buf) >= 5:
            (length,) = struct.unpack_from("<I", buf)
            if length == 0 or length > 4096:
                raise SystemExit("bad frame length %d" % length)
            if len(buf) >= 4 + length:
                kind, payload = buf[4], bytes(buf[5:4 + length])
                del buf[:4 + length]
                return kind, payload
        chunk = sock.recv(4096)
        if not chunk:
            raise SystemExit("device closed the connection")
        buf.extend(chunk)


def command(code, length, offset=0, data=b""):
    packet = bytearray(64)
    packet[0] = 0x04
    packet[3] = code
    packet[4] = length
    struct.pack_into("<H", packet, 5, offset)
    packet[8:8 + len(data)] = data
    struct.pack_into("<H", packet, 1, sum(packet[3:]) & 0xFFFF)
    return bytes(packet)


def main():
    sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    sock.settimeout(3.0)
    sock.connect(sys.argv[1])
    buf = bytearray()
    sock.sendall(frame(GET_INFO))
    kind, info = read_frame(sock, buf)
    if kind != INFO or len(info) < 10:
        raise SystemExit("no INFO block")
    vid, pid, _release, iface, _zero, dlen = struct.unpack_from("<HHHBBH", info)
    print("device %04x:%04x interface %d, descriptor %d bytes" % (vid, pid, iface, dlen))
    if (vid, pid) != (0x320F, 0x5064):
        raise SystemExit("not the keyboard")

    sock.sendall(frame(OUTPUT, command(0x03, 34)))
    while True:
        kind, report = read_frame(sock, buf)
        if kind == INPUT and report[0] == 0x04 and report[3] == 0x03:
            break
    if len(report) != 64:
        raise SystemExit("answer of %d bytes" % len(report))
    if report[7] != 0:
        raise SystemExit("status %02x" % report[7])
    if (report[1] | report[2] << 8) != sum(report[3:]) & 0xFFFF:
        raise SystemExit("answer checksum wrong")
    block = report[8:8 + 34]
    print("key positions %d, macro memory %d bytes" % (block[5], block[6] * 128))
    if block[5] != 170:
        raise SystemExit("unexpected key count")


if __name__ == "__main__":
    main()
