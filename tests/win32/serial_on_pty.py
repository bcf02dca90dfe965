#!/usr/bin/env python3
"""Runs the Windows serial control's pseudo-terminal rows under Wine.

A Windows program cannot make a pseudo-terminal, so this script makes one, maps it to a COM port
of the Wine prefix and runs the test program, which asks on its standard output for bytes to be
sent ("pty> send 0d0a"), for the sensor to be unplugged (the master closed) and plugged in again
(a new pseudo-terminal behind the same port).

usage: serial_on_pty.py WINE TEST_PROGRAM
"""
import os
import select
import subprocess
import sys

# Wine maps the ports it finds itself (com1 to /dev/ttyS0) again at every start; a number
# beyond those keeps a hand-made link.
PORT = 57


def lines(test):
    """The program's output lines until it ends. Wine's own services, when this program starts
    them, inherit its standard output and keep the pipe open: the end of the program is the end."""
    pending = b""
    fd = test.stdout.fileno()
    while True:
        ready, _, _ = select.select([fd], [], [], 0.1)
        chunk = os.read(fd, 65536) if ready else b""
        pending += chunk
        while b"\n" in pending:
            line, pending = pending.split(b"\n", 1)
            yield line + b"\n"
        if not chunk and test.poll() is not None:
            break
    if pending:
        yield pending


def main():
    wine, program = sys.argv[1], sys.argv[2]
    prefix = os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine"))
    link = os.path.join(prefix, "dosdevices", f"com{PORT}")
    master = None

    def point_at(path):
        # Replaced in one step, so the program never finds the port missing half-way.
        if os.path.lexists(link + ".new"):
            os.unlink(link + ".new")
        os.symlink(path, link + ".new")
        os.replace(link + ".new", link)

    def plug():
        nonlocal master
        master, slave = os.openpty()
        point_at(os.ttyname(slave))
        # Only the program under test holds the device's side, so closing the master is an
        # unplugged sensor.
        os.close(slave)

    def unplug():
        nonlocal master
        # The link dangles before the device goes: a pseudo-terminal that someone else makes
        # meanwhile may get the same number.
        point_at(os.path.join(prefix, "unplugged"))
        os.close(master)
        master = None

    plug()
    env = dict(os.environ, SKARVEL_TEST_COM=str(PORT))
    test = subprocess.Popen([wine, program, "--gtest_filter=Win32SerialOnPty.*"], env=env,
                            stdout=subprocess.PIPE)
    try:
        for line in lines(test):
            if not line.startswith(b"pty> "):
                sys.stdout.buffer.write(line)
                continue
            request = line[5:].split()
            if request[0] == b"send":
                os.write(master, bytes.fromhex(request[1].decode()))
            elif request[0] == b"unplug":
                unplug()
            elif request[0] == b"plug":
                plug()
        status = test.wait(timeout=60)
    finally:
        if test.poll() is None:
            test.kill()
        if master is not None:
            os.close(master)
        if os.path.lexists(link):
            os.unlink(link)
    sys.stdout.flush()
    return status


if __name__ == "__main__":
    sys.exit(main())
