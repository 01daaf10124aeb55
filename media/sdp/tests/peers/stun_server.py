#!/usr/bin/env python3
"""A classic (RFC 3489) STUN server on two loopback addresses and two ports,
for machines without Debian's stund: every binding request is answered from
the socket its CHANGE-REQUEST names, with MAPPED-ADDRESS (the request's
source), SOURCE-ADDRESS (the answering socket) and CHANGED-ADDRESS (the
other address and port).

usage: stun_server.py PRIMARY_IP ALTERNATE_IP PRIMARY_PORT ALTERNATE_PORT
"""
import selectors
import socket
import struct
import sys


def address_attribute(kind, ip, port):
    return struct.pack("!HHBBH4s", kind, 8, 0, 1, port, socket.inet_aton(ip))


def main():
    ips = (sys.argv[1], sys.argv[2])
    ports = (int(sys.argv[3]), int(sys.argv[4]))
    sockets = {}
    for i, ip in enumerate(ips):
        for p, port in enumerate(ports):
            s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            s.bind((ip, port))
            sockets[(i, p)] = s
    selector = selectors.DefaultSelector()
    for key, s in sockets.items():
        selector.register(s, selectors.EVENT_READ, key)
    print("ready", flush=True)
    while True:
        for event, _ in selector.select():
            i, p = event.data
            data, source = event.fileobj.recvfrom(2048)
            if len(data) < 20:
                continue
            kind, length = struct.unpack("!HH", data[:4])
            if kind != 0x0001 or length + 20 != len(data):
                continue
            change = 0
            at = 20
            while at + 4 <= len(data):
                attr, size = struct.unpack("!HH", data[at:at + 4])
                if attr == 0x0003 and size == 4 and at + 8 <= len(data):
                    change = struct.unpack("!I", data[at + 4:at + 8])[0]
                at += 4 + size
            ai = 1 - i if change & 0x04 else i
            ap = 1 - p if change & 0x02 else p
            body = (address_attribute(0x0001, source[0], source[1]) +
                    address_attribute(0x0004, ips[ai], ports[ap]) +
                    address_attribute(0x0005, ips[1 - i], ports[1 - p]))
            answer = struct.pack("!HH", 0x0101, len(body)) + data[4:20] + body
            sockets[(ai, ap)].sendto(answer, source)


if __name__ == "__main__":
    main()
