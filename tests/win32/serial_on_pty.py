#!/usr/bin/env python3
# usage: serial_on_pty.py WINE TEST_PROGRAM
# A Windows program cannot make a pseudo-terminal: this makes one, maps it to COM57 of the Wine
# prefix (Wine resets only the ports it finds itself) and runs the test program's rows on it.
# The program asks on its standard output: "pty> send HEX", "pty> unplug" (the master closed),
# "pty> plug" (a new pseudo-terminal behind the same port).
import os
import select
import subprocess
import sys

PORT = 57
wine, program = sys.argv[1], sys.argv[2]
link = os.path.join(os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine")), "dosdevices",
                    f"com{PORT}")
master = None


def point_at(path):
    # In one step, so the program never finds the port missing half-way.
    if os.path.lexists(link + ".new"):
        os.unlink(link + ".new")
    os.symlink(path, link + ".new")
    os.replace(link + ".new", link)


def plug():
    global master
    master, slave = os.openpty()
    point_at(os.ttyname(slave))
    os.close(slave)  # the program under test alone holds the device's side


def unplug():
    global master
    # Dangling first: a pseudo-terminal someone else makes meanwhile may get the same number.
    point_at(link + ".unplugged")
    os.close(master)
    master = None


plug()
test = subprocess.Popen([wine, program, "--gtest_filter=Win32SerialOnPty.*"],
                        env=dict(os.environ, SKARVEL_TEST_COM=str(PORT)), stdout=subprocess.PIPE)
# Wine's services, when this program starts them, inherit the pipe and keep it open: the end of
# the program is the end of its output.
pending = b""
while test.poll() is None or select.select([test.stdout], [], [], 0)[0]:
    if not select.select([test.stdout], [], [], 0.1)[0]:
        continue
    chunk = os.read(test.stdout.fileno(), 65536)
    if not chunk:
        test.wait()
        break
    pending += chunk
    while b"\n" in pending:
        line, pending = pending.split(b"\n", 1)
        request = line.split()
        if line.startswith(b"pty> send"):
            os.write(master, bytes.fromhex(request[2].decode()))
        elif line.startswith(b"pty> unplug"):
            unplug()
        elif line.startswith(b"pty> plug"):
            plug()
        else:
            sys.stdout.buffer.write(line + b"\n")
sys.stdout.buffer.write(pending)
if master is not None:
    os.close(master)
os.unlink(link)
sys.exit(test.returncode)
