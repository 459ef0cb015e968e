#!/usr/bin/env python3
"""A TCP display that forwards to a local X server with a delay each way: a slow link."""
# Usage: delaying_proxy.py SERVER_DISPLAY_NUMBER ONE_WAY_SECONDS. Takes a free display N (port
# 6000 + N on 127.0.0.1), writes N and a newline on standard output once listening, and serves
# until it is killed.

import queue
import socket
import sys
import threading
import time


def pump(source, target, delay):
    """Reads as data comes and hands each piece on `delay` seconds after it came."""
    pending = queue.Queue()

    def send():
        while True:
            due, data = pending.get()
            time.sleep(max(0.0, due - time.monotonic()))
            if not data:
                target.shutdown(socket.SHUT_WR)
                return
            target.sendall(data)

    threading.Thread(target=send, daemon=True).start()
    while True:
        data = source.recv(65536)
        pending.put((time.monotonic() + delay, data))
        if not data:
            return


def serve(client, server_number, delay):
    upstream = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    upstream.connect("/tmp/.X11-unix/X%d" % server_number)
    threading.Thread(target=pump, args=(client, upstream, delay), daemon=True).start()
    pump(upstream, client, delay)


def main():
    server_number, delay = int(sys.argv[1]), float(sys.argv[2])
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    for number in range(4500, 5000):
        try:
            listener.bind(("127.0.0.1", 6000 + number))
            break
        except OSError:
            continue
    listener.listen(8)
    print(number, flush=True)
    while True:
        client, _ = listener.accept()
        threading.Thread(target=serve, args=(client, server_number, delay), daemon=True).start()


if __name__ == "__main__":
    main()
