#!/usr/bin/env python3
# The Windows program as a user gets it: the setup installed silently into a fresh Wine prefix,
# the installed skarvel.exe started on a virtual display with COM5 mapped to the simulator's
# pseudo-terminal, and what it does checked from Linux, row by row.
# Usage: installed_program_test.py SETUP_EXE SIMULATOR
import getpass, json, os, re, select, shutil, signal, socket, struct, subprocess, sys, tempfile
import time
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import https_receivers

setup, simulator = sys.argv[1:3]
work = tempfile.mkdtemp(prefix="skarvel-wine-")
prefix = os.path.join(work, "prefix")
env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
           TZ="UTC")
drive_c = os.path.join(prefix, "drive_c")
installed = os.path.join(drive_c, "Program Files", "Skarvel")
folder = os.path.join(drive_c, "users", getpass.getuser(), "AppData", "Local", "Skarvel")
children, failed, passed = [], [], 0


def start(argv, **kw):
    children.append(subprocess.Popen(argv, **dict(dict(env=env), **kw)))
    return children[-1]


def until(condition, seconds):
    deadline = time.time() + seconds
    while not condition() and time.time() < deadline:
        time.sleep(0.2)
    return condition()


def read(name, binary=False):
    try:
        with open(os.path.join(folder, name), "rb") as f:
            data = f.read()
        return data if binary else data.decode()
    except OSError:
        return b"" if binary else ""


def check(name, ok, detail=""):
    global passed
    print(("ok   " if ok else "FAIL ") + name + ("" if ok else ": " + repr(detail)), flush=True)
    passed += bool(ok)
    failed.extend([] if ok else [name])


def xdotool(*args):
    return subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True).stdout


def visible(title):
    return xdotool("search", "--onlyvisible", "--name", "^%s$" % re.escape(title)).split()


def pixel(bmp, x, y):
    offset, = struct.unpack_from("<I", bmp, 10)
    width, height = struct.unpack_from("<ii", bmp, 18)
    o = offset + (height - 1 - y) * ((width * 3 + 3) // 4 * 4) + x * 3
    return bmp[o + 2], bmp[o + 1], bmp[o]


def listening(port):
    with socket.socket() as s:
        return s.connect_ex(("127.0.0.1", port)) == 0


def plug_in():
    return start([simulator, "--link", os.path.join(work, "sensor"), "--interval=0.5", "--sky=-8.46",
           "--ambient=12.34"], stdout=subprocess.DEVNULL)


def free_port(kind=socket.SOCK_STREAM, port=10000 + os.getpid() % 7000 * 3):
    # Below the ephemeral ports: any client's own port there, even one in TIME_WAIT, would keep
    # the program from listening on it.
    with socket.socket(type=kind) as s:
        s.bind(("127.0.0.1", port))
    return port


monitor, received = None, https_receivers.requests
# Interrupted too, everything this started ends with it.
for number in (signal.SIGTERM, signal.SIGHUP):
    signal.signal(number, lambda *_: sys.exit(130))
try:
    # A display and a Wine server of our own: nothing of the machine's is used.
    r, w = os.pipe()
    start(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24"], pass_fds=(w,),
          stderr=subprocess.DEVNULL)
    os.close(w)
    display = b""
    while not display.endswith(b"\n"):
        display += os.read(r, 16) or b"\n"
    env["DISPLAY"] = ":" + display.decode().strip()
    os.makedirs(prefix)
    # Its standard error fills with internal state when a pseudo-terminal it watches goes away.
    start(["wineserver", "-f", "-p"], stderr=open(os.path.join(work, "wineserver.err"), "w"))
    subprocess.run(["wineboot", "-i"], env=env, stderr=subprocess.DEVNULL, check=True)

    subprocess.run(["wine", setup, "/S"], env=env, check=True)
    check("installed into Program Files",
          os.path.isfile(os.path.join(installed, "skarvel.exe")), os.listdir(drive_c))

    # COM5 is a port Wine leaves alone: its link to the sensor holds. Port 1 would be the
    # machine's /dev/ttyS0.
    os.symlink(os.path.join(work, "sensor"), os.path.join(prefix, "dosdevices", "com5"))
    port = free_port()
    discovery = free_port(socket.SOCK_DGRAM, port + 1)
    # A real broker, and a subscriber that keeps what it hears.
    mqtt = free_port(port=port + 2)
    with open(os.path.join(work, "mosquitto.conf"), "w") as f:
        f.write("listener %d 127.0.0.1\nallow_anonymous true\n" % mqtt)
    start(["mosquitto", "-c", os.path.join(work, "mosquitto.conf")], stderr=subprocess.DEVNULL)
    heard = os.path.join(work, "heard.txt")
    sub = ["mosquitto_sub", "-h", "127.0.0.1", "-p", str(mqtt), "-v", "-t", "#"]
    until(lambda: listening(mqtt), 10)
    start(sub, stdout=open(heard, "w"))
    os.makedirs(folder)
    web = "C:\\users\\%s\\AppData\\Local\\Skarvel\\" % getpass.getuser()
    with open(os.path.join(folder, "config.ini"), "w", newline="") as f:
        f.write("webPath,%s\r\ncommportid,5\r\ncloudyThreshold,-25\r\nvCloudyThreshold,-15\r\n"
                % web)
    # HTTPS receivers: one with a certificate from a test authority, one with its own. Schannel
    # with a CA file matches names only, not IP addresses.
    https = free_port(port=port + 3), free_port(port=port + 4)
    https_receivers.start(folder, "localhost", [https[0]], [https[1]])
    with open(os.path.join(folder, "automation.ini"), "w") as f:
        f.write("alpacaPort=%d\ndiscoveryPort=%d\nstaleSeconds=30\nsafeDelayMinutes=0\n"
                "mqttHost=localhost\nmqttPort=%d\nuniqueId=pier-2\nnotifyCaFile=ca.pem\n"
                "notify.hook=webhook:https://localhost:%d/api/webhook/pier-2\n"
                "notify.stranger=webhook:https://localhost:%d/\n"
                "heartbeatUrl=https://localhost:%d/beat\n"
                % (port, discovery, mqtt, *https, https[0]))
    sensor = plug_in()

    # The clock starts 20 s before a quarter hour, so the first log line and the graphs come.
    started = time.time()
    monitor = start(["faketime", "-f", "@2026-12-07 10:14:40", "wine",
                     "C:\\Program Files\\Skarvel\\skarvel.exe"],
                    env=dict(env, NO_FAKE_STAT="1", FAKETIME_DONT_FAKE_MONOTONIC="1"),
                    stderr=subprocess.DEVNULL)
    check("main window at its client size",
          until(lambda: visible("Skarvel"), 30) and
          "308x441" in xdotool("getwindowgeometry", visible("Skarvel")[0]))
    print("start-up to the main window: %.1f s" % (time.time() - started))
    main = visible("Skarvel")[0]
    second = subprocess.run(["wine", "C:\\Program Files\\Skarvel\\skarvel.exe"], env=env,
                            stderr=subprocess.DEVNULL, timeout=60)
    check("a second monitor of the folder ends at once, the first runs on",
          second.returncode == 1 and monitor.poll() is None, second.returncode)

    line = until(lambda: read("2026_12_7.csv"), 60)
    stamp = line.split(",")[0]
    check("the quarter's log line", re.fullmatch(r"12/7/2026 10:15:\d\d AM,12\.3,-8\.5\r\n", line),
          line)
    status, page = read("status.txt"), read("CloudStatus.html")
    safety = json.loads(read("safety.json") or "{}").get("roof_status", {})
    check("status.txt, the status page and safety.json",
          re.fullmatch(r"12/7/2026 10:1\d:\d\d AM,CLOUDY\r\n", status) and
          "Delta temp = -20.8C" in page and safety.get("open_ok") == 0 and
          safety.get("reasons", "").startswith("CLOUDY"), (status, page, safety))
    for name, size in (("history.bmp", (1000, 534)), ("month.bmp", (1001, 529)),
                       ("year.bmp", (1001, 537))):
        bmp = until(lambda: read(name, True), 10)
        # The scale's label " 40 " in cyan, printed at (30, 44) in the picture.
        label = {pixel(bmp, x, y) for x in range(30, 52) for y in range(44, 60)}
        check(name + ": 24-bit, its size, both thresholds and a label in their colours",
              bmp[28] == 24 and struct.unpack_from("<ii", bmp, 18) == size and
              pixel(bmp, 460, 300) == (255, 128, 0) and pixel(bmp, 460, 200) == (255, 0, 0) and
              (0, 255, 255) in label, bmp[:54])
    # Alerts: the monitor's heartbeat, then --notify-test beside it, its box closed by Enter.
    beat = until(lambda: received, 30) and received[0][1] == "/beat"
    shown = len(visible("Skarvel"))
    test = start(["wine", "C:\\Program Files\\Skarvel\\skarvel.exe", "--notify-test"],
                 stderr=subprocess.DEVNULL)
    boxed = until(lambda: len(visible("Skarvel")) == shown + 1, 30)
    xdotool("key", "Return")
    log = read("skarvel.log") if until(lambda: test.poll() is not None, 30) else ""
    hooks = [(h["Content-Type"], json.loads(b)["event"]) for _, p, h, b in received if "/api/" in p]
    check("the heartbeat over HTTPS; --notify-test: the webhook delivered, a stranger's "
          "certificate refused, in the box and skarvel.log, and the exit status",
          beat and boxed and test.returncode == 1 and "notify.hook: delivered" in log and
          "notify.stranger: schannel: CertGetCertificateChain trust error" in log and
          hooks == [("application/json", "test")], (log, received))
    check("nothing written beside the installed program",
          sorted(os.listdir(installed)) ==
          ["dygraphs-copyright.txt", "skarvel.exe", "uninstall.exe"], os.listdir(installed))

    udp = socket.socket(type=socket.SOCK_DGRAM)
    udp.settimeout(5)
    for datagram in (b"alpacadiscovery", b"alpacadiscovery1"):
        udp.sendto(datagram, ("127.0.0.1", discovery))
    check("discovery answers the request only", udp.recv(100) == b'{"AlpacaPort":%d}' % port)

    # The server's sockets under load: 64 idle clients, then one asking five large files and
    # a request behind them without taking its replies for a while, and closing its side.
    def fetch(request):
        with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
            s.sendall(request)
            time.sleep(2)
            s.shutdown(socket.SHUT_WR)
            return b"".join(iter(lambda: s.recv(1 << 16), b""))
    idle = [socket.create_connection(("127.0.0.1", port)) for _ in range(64)]
    time.sleep(1)  # all of them taken in first
    year = read("year.bmp", True)
    got = fetch(b"GET /year.bmp HTTP/1.1\r\n\r\n" * 5 +
                b"GET /management/apiversions HTTP/1.1\r\n\r\n")
    replies = got.split(b"HTTP/1.1 ")[1:]
    check("large replies come whole, the request behind them is answered, then the end",
          len(replies) == 6 and all(r.startswith(b"200") for r in replies) and
          all(r.endswith(b"\r\n\r\n" + year) for r in replies[:5]), got[:200])
    dropped = select.select(idle, [], [], 2)[0]
    check("the quietest idle client made room", len(dropped) == 1, len(dropped))
    [s.close() for s in idle]

    # Unplugged: the link goes down and is read again once the sensor is back.
    sensor.kill()
    down = until(lambda: "ERROR" in read("safety.json"), 40)
    plug_in()
    check("an unplugged sensor shows ERROR, and is read again once it is back",
          down and until(lambda: "CLOUDY" in read("safety.json"), 40), read("safety.json"))

    os.remove(os.path.join(folder, "config.ini"))
    xdotool("key", "--window", main, "alt+F4")
    check("closing saves config.ini, ends the program and says it stopped",
          until(lambda: monitor.poll() is not None, 20) and
          read("config.ini").startswith("webPath," + web) and "STOPPED" in read("safety.json"),
          (read("config.ini"), read("safety.json")))

    # The broker heard it, and its state; its last will is the Linux run's.
    check("MQTT: online, and the state",
          until(lambda: "skarvel/status online\n" in open(heard).read(), 20) and
          '"state":"CLOUDY","safe":false' in open(heard).read(), open(heard).read()[-300:])
    monitor.kill()

    subprocess.run(["wine", os.path.join(installed, "uninstall.exe"), "/S"], env=env)
    check("the uninstaller removes the program and leaves the user's folder",
          until(lambda: not os.path.exists(installed), 20) and os.path.isfile(
              os.path.join(folder, "status.txt")))
finally:
    if monitor and monitor.poll() is None:
        monitor.kill()
    # The prefix's server ends its services only while it runs: ended and waited for first.
    subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, stderr=subprocess.DEVNULL)
    for child in reversed(children):
        if child.poll() is None:
            child.terminate()
    for child in children:
        child.wait()
    os.environ.get("KEEP") or shutil.rmtree(work, ignore_errors=True)
print("%d passed, %d failed" % (passed, len(failed)))
sys.exit(1 if failed else 0)
