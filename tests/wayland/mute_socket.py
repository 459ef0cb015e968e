"""A Wayland socket that accepts every connection and never answers; with --full, one that accepts
none and whose queue of connections waiting to be accepted is full, so that a client's connect()
waits: mute_socket.py PATH [--full]."""
import signal
import socket
import sys

server = socket.socket(socket.AF_UNIX)
server.bind(sys.argv[1])
if sys.argv[2:] == ["--full"]:
    server.listen(0)
    held = [socket.socket(socket.AF_UNIX) for _ in range(3)]
    for filler in held:
        filler.setblocking(False)
        filler.connect_ex(sys.argv[1])
    print("full", flush=True)
    while True:
        signal.pause()
server.listen(64)
held = []
while True:
    held.append(server.accept())
