#!/usr/bin/env python3
"""A stand-in X server that answers the requests monitor_listing makes, well or badly, on demand."""
# Speaks only the little-endian byte order, the one libxcb uses on this machine. It takes a free
# display N (the abstract socket "\0/tmp/.X11-unix/X<N>", or with --tcp port 6000 + N on
# 127.0.0.1), writes N and a newline on standard output (as Xvfb -displayfd does) and serves until
# it is killed or its parent process ends.

import argparse
import ctypes
import errno
import os
import signal
import socket
import struct
import sys
import threading
import time

# Where a connection can be cut, in order: "connect" once the client's set-up request is read, the
# others at the answers a client waits for ("name": the answer to its first GetAtomName).
STAGES = ("connect", "setup", "extension", "version", "monitors", "name")
# The stages with an answer that can be cut in half.
REPLY_STAGES = STAGES[1:]

X_GET_ATOM_NAME = 17
X_QUERY_EXTENSION = 98
RANDR_QUERY_VERSION = 0
RANDR_GET_MONITORS = 42
BAD_REQUEST = 1
BAD_WINDOW = 3
BAD_ATOM = 5

RANDR_OPCODE = 140
ROOT = 0x000003AA
FIRST_ATOM = 0x200  # clear of the predefined atoms
UNNAMED_ATOM = 0x1FFF  # an atom the server has no name for


def pad(data):
    return data + b"\0" * (-len(data) % 4)


class Monitor:
    def __init__(self, argument):
        name, _, flag = argument.partition(":")
        if flag not in ("", "primary"):
            raise argparse.ArgumentTypeError("a monitor is HEXNAME, HEXNAME:primary, ! or !:primary")
        self.primary = flag == "primary"
        self.name = None if name == "!" else bytes.fromhex(name)


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--monitor", action="append", type=Monitor, default=[],
                        help="a monitor, in order: its name in hex, ':primary' to mark it, "
                             "'!' for a name atom the server cannot name; repeatable")
    parser.add_argument("--name-delay", type=float, default=0, metavar="SECONDS",
                        help="wait this long before each GetAtomName answer")
    parser.add_argument("--randr", default="1.5", help="the RandR version, or 'none' for no RandR")
    parser.add_argument("--refuse", metavar="REASON", help="refuse every connection with this reason")
    parser.add_argument("--authenticate", metavar="REASON",
                        help="answer the set-up with a request for further authentication")
    parser.add_argument("--tcp", action="store_true",
                        help="listen on 127.0.0.1, port 6000 + N, instead of the abstract socket")
    parser.add_argument("--never-accept", action="store_true",
                        help="never accept a connection; connecting waits as on a stuck server")
    parser.add_argument("--silent", action="store_true", help="accept connections and never answer")
    parser.add_argument("--close-after", choices=STAGES, help="close once this stage is answered")
    parser.add_argument("--gone-after", choices=STAGES,
                        help="stop reading as this stage is answered: the next request meets a closed socket")
    parser.add_argument("--close-during", choices=REPLY_STAGES,
                        help="send the first half of this stage's answer, then close")
    parser.add_argument("--stall-after", choices=STAGES,
                        help="once this stage is answered, stop answering but keep the connection")
    parser.add_argument("--stall-during", choices=REPLY_STAGES,
                        help="send the first half of this stage's answer, then stop answering")
    options = parser.parse_args()
    if options.randr != "none":
        major, _, minor = options.randr.partition(".")
        options.randr = (int(major), int(minor or 0))
    else:
        options.randr = None
    return options


def setup_success():
    vendor = b"monitor_listing stand-in"
    pixmap_format = struct.pack("<BBB5x", 24, 32, 32)
    visual = struct.pack("<IBBHIII4x", 0x21, 4, 8, 256, 0xFF0000, 0x00FF00, 0x0000FF)
    depth = struct.pack("<BxH4x", 24, 1) + visual
    screen = struct.pack("<IIIIIHHHHHHIBBBB", ROOT, 0x20, 0xFFFFFF, 0, 0, 1280, 1024, 338, 270,
                         1, 1, 0x21, 0, 0, 24, 1) + depth
    fixed = struct.pack("<IIIIHHBBBBBBBB4x", 12101007, 0x00400000, 0x001FFFFF, 256, len(vendor),
                        65535, 1, 1, 0, 0, 32, 32, 8, 255)
    body = fixed + pad(vendor) + pixmap_format + screen
    return struct.pack("<BxHHH", 1, 11, 0, len(body) // 4) + body


def setup_failure(reason):
    text = reason.encode()
    return struct.pack("<BBHHH", 0, len(text), 11, 0, len(pad(text)) // 4) + pad(text)


def setup_authenticate(reason):
    text = pad(reason.encode())
    return struct.pack("<B5xH", 2, len(text) // 4) + text


def reply(sequence, body, extra=b""):
    """A reply: `body` fills bytes 8..31 after the header, `extra` follows in 4-byte units."""
    extra = pad(extra)
    return struct.pack("<BxHI", 1, sequence, len(extra) // 4) + body.ljust(24, b"\0") + extra


def error(sequence, code, value, major, minor):
    return struct.pack("<BBHIHB21x", 0, code, sequence, value, minor, major)


class Connection:
    def __init__(self, sock, options, atoms):
        self.sock = sock
        self.options = options
        self.atoms = atoms  # atom -> name
        self.sequence = 0
        self.names_answered = 0

    def read_exactly(self, size):
        data = b""
        while len(data) < size:
            chunk = self.sock.recv(size - len(data))
            if not chunk:
                raise EOFError
            data += chunk
        return data

    def read_setup_request(self):
        head = self.read_exactly(12)
        if head[0:1] != b"l":
            raise EOFError  # only little-endian clients
        name_length, data_length = struct.unpack_from("<HH", head, 6)
        self.read_exactly(len(pad(b"\0" * name_length)) + len(pad(b"\0" * data_length)))

    def close(self):
        """Ends the connection as a server does once it has read all it was sent: the client
        reads an end of file, not a reset for requests left unread."""
        self.sock.shutdown(socket.SHUT_WR)
        while self.sock.recv(4096):
            pass
        raise EOFError

    def stall(self):
        """Keeps the connection open and answers nothing, until the client goes."""
        while self.sock.recv(4096):
            pass
        raise EOFError

    # Sends the answer to `stage`, then carries out any order to stop there.
    def answer(self, stage, data):
        options = self.options
        if stage is None:
            self.sock.sendall(data)
            return
        if stage in (options.close_during, options.stall_during):
            self.sock.sendall(data[:len(data) // 2])
            if stage == options.close_during:
                self.close()
            self.stall()
        if stage == options.gone_after:
            # Reading ends before the answer, so that the client's next write raises SIGPIPE; the
            # connection stays open, since libxcb gives up on a hang-up before reading.
            self.sock.shutdown(socket.SHUT_RD)
            self.sock.sendall(data)
            time.sleep(30)
            raise EOFError
        self.sock.sendall(data)
        if stage == options.close_after:
            self.close()
        if stage == options.stall_after:
            self.stall()

    def serve(self):
        options = self.options
        self.read_setup_request()
        if options.silent:
            self.stall()
        self.answer("connect", b"")
        if options.refuse is not None:
            self.sock.sendall(setup_failure(options.refuse))
            self.close()
        if options.authenticate is not None:
            self.sock.sendall(setup_authenticate(options.authenticate))
            self.close()
        self.answer("setup", setup_success())
        while True:
            head = self.read_exactly(4)
            major, minor, length = struct.unpack("<BBH", head)
            if length == 0:
                raise EOFError  # a BIG-REQUESTS length, never enabled here
            body = self.read_exactly(length * 4 - 4)
            self.sequence = (self.sequence + 1) & 0xFFFF
            stage, data = self.dispatch(major, minor, body)
            self.answer(stage, data)

    def dispatch(self, major, minor, body):
        sequence = self.sequence
        randr = self.options.randr
        if major == X_QUERY_EXTENSION:
            (length,) = struct.unpack_from("<H", body, 0)
            present = randr is not None and body[4:4 + length] == b"RANDR"
            fields = struct.pack("<BBBB", 1, RANDR_OPCODE, 89, 147) if present else b""
            return "extension", reply(sequence, fields)
        if major == X_GET_ATOM_NAME:
            (atom,) = struct.unpack_from("<I", body, 0)
            time.sleep(self.options.name_delay)
            self.names_answered += 1
            stage = "name" if self.names_answered == 1 else None
            name = self.atoms.get(atom)
            if name is None:
                return stage, error(sequence, BAD_ATOM, atom, major, 0)
            return stage, reply(sequence, struct.pack("<H", len(name)), name)
        if randr is not None and major == RANDR_OPCODE and minor == RANDR_QUERY_VERSION:
            # The server answers with the lower of the two versions, as Xorg does.
            wanted = struct.unpack_from("<II", body, 0)
            version = min(randr, wanted)
            return "version", reply(sequence, struct.pack("<II", *version))
        if randr is not None and major == RANDR_OPCODE and minor == RANDR_GET_MONITORS:
            if randr < (1, 5):
                return "monitors", error(sequence, BAD_REQUEST, 0, major, minor)
            (window,) = struct.unpack_from("<I", body, 0)
            if window != ROOT:
                return "monitors", error(sequence, BAD_WINDOW, window, major, minor)
            return "monitors", self.monitors_reply(sequence)
        return None, error(sequence, BAD_REQUEST, 0, major, minor)

    def monitors_reply(self, sequence):
        records = b""
        for index, monitor in enumerate(self.options.monitor):
            records += struct.pack("<IBBHhhHHII", monitor.atom, monitor.primary, 0, 0,
                                   index * 100, 0, 100, 100, 26, 26)
        return reply(sequence, struct.pack("<III", 0, len(self.options.monitor), 0), records)


def name_atoms(monitors):
    """Gives every distinct name one atom, as the server's atom table would."""
    atoms = {}
    by_name = {}
    for monitor in monitors:
        if monitor.name is None:
            monitor.atom = UNNAMED_ATOM
            continue
        if monitor.name not in by_name:
            by_name[monitor.name] = FIRST_ATOM + len(by_name)
            atoms[by_name[monitor.name]] = monitor.name
        monitor.atom = by_name[monitor.name]
    return atoms


def listen(tcp):
    """Binds the first free display from 4000 on: an abstract socket, or else TCP on loopback."""
    for number in range(4000, 5000):
        path = "/tmp/.X11-unix/X%d" % number
        if os.path.exists(path) or os.path.exists("/tmp/.X%d-lock" % number):
            continue
        if tcp:
            sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            address = ("127.0.0.1", 6000 + number)
        else:
            sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            address = "\0" + path
        try:
            sock.bind(address)
        except OSError as e:
            sock.close()
            if e.errno == errno.EADDRINUSE:
                continue
            raise
        return number, sock
    sys.exit("stand_in_x_server: no free display")


def fill_backlog(server):
    """Takes every place in the queue of connections waiting to be accepted, so that a client's
    connect() waits: the state of a server too busy or too stuck to accept."""
    server.listen(0)
    fillers = []
    for _ in range(2):
        filler = socket.socket(server.family, socket.SOCK_STREAM)
        filler.setblocking(False)
        try:
            filler.connect(server.getsockname())
        except (BlockingIOError, InterruptedError):
            pass
        fillers.append(filler)
    return fillers


def end_with_parent():
    # A test that dies without cleaning up must not leave the server behind.
    try:
        libc = ctypes.CDLL(None, use_errno=True)
        libc.prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    except (OSError, AttributeError):
        pass


def handle(sock, options, atoms):
    try:
        Connection(sock, options, atoms).serve()
    except (EOFError, OSError):
        pass
    finally:
        sock.close()


def main():
    options = parse_arguments()
    atoms = name_atoms(options.monitor)
    end_with_parent()
    number, server = listen(options.tcp)
    if options.never_accept:
        fillers = fill_backlog(server)  # kept open: they hold the queue's places
    else:
        server.listen(16)
    sys.stdout.write("%d\n" % number)
    sys.stdout.flush()
    while options.never_accept:
        signal.pause()
    while True:
        client, _ = server.accept()
        threading.Thread(target=handle, args=(client, options, atoms), daemon=True).start()


if __name__ == "__main__":
    main()
