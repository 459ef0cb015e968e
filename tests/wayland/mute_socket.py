"""A Wayland socket that accepts every connection and never answers: mute_socket.py PATH."""
import socket
import sys

server = socket.socket(socket.AF_UNIX)
server.bind(sys.argv[1])
server.listen(64)
held = []
while True:
    held.append(server.accept())
