#!/usr/bin/env python3
# The real monitor's Alpaca server, checked against the official API definitions and the protocol
# rules an Alpaca conformance checker applies. Usage: alpaca_test.py SKARVEL SIMULATOR ALPACA_YAML_DIR
# Runs in a network namespace of its own when it can, so the default ports are always free.
import http.client, json, os, shutil, socket, subprocess, sys, tempfile, time
import jsonschema, yaml

skarvel, simulator, yaml_dir = sys.argv[1:4]
if not os.path.isdir(yaml_dir):
    print("SKIP: no Alpaca definitions at", yaml_dir)
    sys.exit(77)
if "ALPACA_NETNS" not in os.environ and shutil.which("ip") and shutil.which("unshare") and subprocess.run(
        ["unshare", "-rn", "true"], capture_output=True).returncode == 0:
    os.environ["ALPACA_NETNS"] = "1"
    os.execvp("unshare", ["unshare", "-rn", "sh", "-c", 'ip link set lo up && exec "$0" "$@"',
                          sys.executable] + sys.argv)
PORT, DISCOVERY, UNIQUE = 11111, 32227, "2f1c6a7e-0d4b-4c35-9a51-7f0e33b2c801"

definitions = {k: yaml.safe_load(open(os.path.join(yaml_dir, "Alpaca%sAPI_v1.yaml" % k)))
               for k in ("Device", "Management")}

def resolve(node, root):
    if isinstance(node, dict):
        if "$ref" in node:
            target = root
            for part in node["$ref"][2:].split("/"):
                target = target[part]
            return resolve(target, root)
        return {k: resolve(v, root) for k, v in node.items()}
    return [resolve(v, root) for v in node] if isinstance(node, list) else node

def schema_for(verb, path):
    """The 200 reply schema the definitions give for this request."""
    if path.startswith("/management/"):
        root, keys = definitions["Management"], [path]
    else:
        kind, _, member = path.split("/")[3:6]
        root = definitions["Device"]
        keys = ["/%s/{device_number}/%s" % (kind, member), "/{device_type}/{device_number}/" + member]
    op = next(root["paths"][k][verb.lower()] for k in keys if k in root["paths"])
    return resolve(op, root)["responses"]["200"]["content"]["application/json"]["schema"]

folder = tempfile.mkdtemp(prefix="skarvel-alpaca-")
shutil.copy(skarvel, folder)
with open(os.path.join(folder, "automation.ini"), "w") as f:
    f.write("alpacaPort=%d\ndiscoveryPort=%d\nuniqueId=%s\n" % (PORT, DISCOVERY, UNIQUE))
children = [subprocess.Popen([os.path.join(folder, "skarvel")], stdout=subprocess.DEVNULL,
                             env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))]
failures, last_server_id, next_id = [], [0], [100]

def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)

def request(verb, path, params="", conn=[None]):
    """One request on a kept-alive connection; a JSON reply is checked for what every reply
    must hold. Returns (status, parsed body or text, echoed ClientTransactionID or None)."""
    sent = None if "clienttransactionid=" in params.lower() else next_id[0] + 1
    if sent:
        next_id[0] = sent
        params += ("&" if params else "") + "ClientTransactionID=%d" % sent
    query, body = (("?" + params) if verb == "GET" else "", params if verb == "PUT" else None)
    for attempt in range(2):  # the server may have dropped a quiet connection
        try:
            conn[0] = conn[0] or http.client.HTTPConnection("127.0.0.1", PORT, timeout=5)
            conn[0].request(verb, path + query, body=body)
            reply = conn[0].getresponse()
            text, ctype = reply.read().decode(), reply.getheader("Content-Type", "")
            break
        except (OSError, http.client.HTTPException):
            conn[0] = None
    where = "%s %s%s %s" % (verb, path, query, params if body else "")
    if not path.startswith(("/api/", "/management/")):
        return reply.status, text, None
    if reply.status != 200:
        check(ctype.startswith("text/plain"), where + ": plain-text refusal")
        return reply.status, text, None
    check(ctype.startswith("application/json"), where + ": Content-Type " + ctype)
    value = json.loads(text)
    keys = {"Value", "ClientTransactionID", "ServerTransactionID"}
    if path.startswith("/api/"):
        keys |= {"ErrorNumber", "ErrorMessage"}
        if "Value" not in value:
            check(value["ErrorNumber"] == 0, where + ": error reply without Value")
            keys.discard("Value")
    check(set(value) == keys, where + ": keys " + str(sorted(value)))
    check(value["ServerTransactionID"] > last_server_id[0], where + ": ServerTransactionID grows")
    last_server_id[0] = value["ServerTransactionID"]
    if sent is not None:
        check(value["ClientTransactionID"] == sent, where + ": echoes ClientTransactionID")
        try:
            jsonschema.validate(value, schema_for(verb, path))
        except jsonschema.ValidationError as e:
            check(False, where + ": schema: " + e.message)
    return 200, value, value["ClientTransactionID"]

try:
    while socket.socket().connect_ex(("127.0.0.1", PORT)) != 0 and children[0].poll() is None:
        time.sleep(0.1)
    # A short session as a client opens it, every reply validated against the definitions.
    devices = request("GET", "/management/v1/configureddevices")[1]["Value"]
    check(sorted((d["DeviceType"], d["DeviceNumber"]) for d in devices) ==
          [("ObservingConditions", 0), ("SafetyMonitor", 0)], "configured devices")
    check(len({d["UniqueID"] for d in devices} - {UNIQUE, ""}) == 2, "two distinct UniqueIDs")
    check(request("GET", "/management/apiversions")[1]["Value"] == [1], "API version 1")
    request("GET", "/management/v1/description")
    for kind in ("safetymonitor", "observingconditions"):
        for member in ("connected", "connecting", "description", "driverinfo", "driverversion",
                       "interfaceversion", "name", "supportedactions", "devicestate"):
            request("GET", "/api/v1/%s/0/%s" % (kind, member))
        for client in (1, 2):
            request("PUT", "/api/v1/%s/0/connect" % kind, "ClientID=%d" % client)
        check(request("GET", "/api/v1/%s/0/connected" % kind)[1]["Value"] is True, kind + " connects")
        request("GET", "/api/v1/%s/0/devicestate" % kind)
    for page in ("/setup", "/setup/v1/safetymonitor/0/setup", "/setup/v1/observingconditions/0/setup"):
        status, text, _ = request("GET", page)
        check(status == 200 and "automation.ini" in text and "uniqueId" in text, page)
    check(request("GET", "/setup/v1/camera/0/setup")[0] == 403, "setup of a device not here")

    # The protocol cases: (verb, path under /api/v1/, parameters, 400 or the ErrorNumber, echo).
    sm, oc = "safetymonitor/0/", "observingconditions/0/"
    cases = [
        ("GET", sm + "issafe", "ClientID=1&ClientTransactionID=7", 0, 7),
        ("GET", sm + "issafe", "clientid=1&clienttransactionid=8&Unknown=x", 0, 8),
        ("GET", oc + "sensordescription", "sENSORnAME=SkyTemperature&cLIENTtRANSACTIONid=9", 0, 9),
        ("PUT", oc + "refresh", "clienttransactionid=10", 0, 0),
        ("GET", oc + "averageperiod", "", 0),
    ] + [("PUT", oc + "averageperiod", p, e) for p, e in (
        ("aVERAGEpERIOD=0", 400), ("AveragePeriod=asduio6fghZZ", 400), ("AveragePeriod=0", 0),
        ("AveragePeriod=-2.0", 0x401), ("AveragePeriod=5.0", 0x401))] + [
        ("PUT", sm + "connected", p, 400)
        for p in ("Connected=asdqwe", "Connected=", "Connected=123456", "connected=true")] + [
        ("GET", sm + "issafe", p, 400)
        for p in ("ClientTransactionID=", "ClientTransactionID=%20", "ClientTransactionID=-1", "ClientID=abc")] + [
        ("GET", m, "", 400) for m in ("safetymonitor/1/issafe", "SafetyMonitor/0/issafe", sm + "bogus",
                                      "camera/0/connected", "../v2/" + sm + "issafe")] + [
        ("GET", oc + "pressure", "", 0x400),
        ("GET", oc + "sensordescription", "SensorName=Pressure", 0x400),
        ("GET", oc + "timesincelastupdate", "SensorName=Pressure", 0x400),
        ("GET", oc + "timesincelastupdate", "SensorName=Bogus", 0x401),
        ("GET", oc + "sensordescription", "SensorName=Bogus", 0x401),
        ("GET", oc + "timesincelastupdate", "", 400),
        ("GET", oc + "skytemperature", "", 0x40B),
        ("GET", oc + "timesincelastupdate", "SensorName=", 0x40B),
        ("PUT", sm + "action", "Action=Park&Parameters=", 0x400),
        ("PUT", sm + "commandblind", "Command=x&Raw=false", 0x400),
        ("PUT", sm + "disconnect", "ClientID=1", 0),
        ("GET", sm + "issafe", "ClientID=2", 0),  # one client leaving keeps the other
        ("PUT", sm + "connected", "Connected=false&ClientID=2", 0),
        ("GET", sm + "issafe", "", 0x407),
    ]
    for verb, member, params, expected, *echo in cases:
        path = os.path.normpath("/api/v1/" + member)
        status, value, echoed = request(verb, path, params)
        got = status if status != 200 else value["ErrorNumber"]
        check(got == expected, "%s %s %s: %s, not %s" % (verb, path, params, got, expected))
        check(echo in ([], [echoed]), "%s %s %s: echoes %s" % (verb, path, params, echo))

    # Discovery answers the request, and nothing else.
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.settimeout(1)
    for datagram, answered in ((b"hello alpaca", False), (b"alpacadiscovery1", True)):
        udp.sendto(datagram, ("127.0.0.1", DISCOVERY))
        try:
            reply = json.loads(udp.recv(100))
        except socket.timeout:
            reply = None
        check(reply == ({"AlpacaPort": PORT} if answered else None), "discovery of %r" % datagram)

    # Abuse: each is refused or held, and issafe answers at once meanwhile.
    def raw(data, expect):
        s = socket.create_connection(("127.0.0.1", PORT), timeout=2)
        s.sendall(data)
        try:
            check(s.recv(100).split(b" ")[1:2] == [expect], "%r...: %s" % (data[:30], expect))
        except socket.timeout:
            check(expect is None, "%r...: no answer" % data[:30])
        return s
    held = [raw(b"\x00\xffGARBAGE\r\n\r\n", b"400"),
            raw(b"GET / HTTP/1.1\r\nX: " + b"a" * 20000 + b"\r\n\r\n", b"431"),
            raw(b"PUT /api/v1/safetymonitor/0/connect HTTP/1.1\r\nContent-Length: 999999999\r\n\r\n", b"413"),
            raw(b"PUT /api/v1/safetymonitor/0/connect HTTP/1.1\r\nContent-Length: 100\r\n\r\nabc", None)]
    for _ in range(300):
        held.append(socket.create_connection(("127.0.0.1", PORT)))
        held[-1].send(b"GET /api/v1/safetymonitor/0/issafe HTTP/1.1\r\n")
    start = time.time()
    check(request("GET", "/api/v1/safetymonitor/0/issafe")[0] == 200, "issafe among idle clients")
    check(time.time() - start < 1, "issafe answers at once among idle clients")

    # With a sensor, the devices follow its readings (ObservingConditions is still connected).
    children.append(subprocess.Popen([simulator, "--link", os.path.join(folder, "com1"),
                                      "--sky", "-18.3", "--ambient", "7.5"], stdout=subprocess.DEVNULL))
    until, value = time.time() + 25, None
    while time.time() < until and (value is None or value["ErrorNumber"]):
        time.sleep(0.5)
        value = request("GET", "/api/v1/observingconditions/0/skytemperature")[1]
    check(value["ErrorNumber"] == 0 and value["Value"] == -18.3, "skytemperature is the sky reading")
    check(request("GET", "/api/v1/observingconditions/0/temperature")[1]["Value"] == 7.5, "temperature")
finally:
    for child in reversed(children):
        child.terminate()
        child.wait()
    os.environ.get("KEEP") or shutil.rmtree(folder, ignore_errors=True)
print("%d failures" % len(failures))
sys.exit(1 if failures else 0)
