#!/usr/bin/env python3
# The real monitor's Alpaca server, checked against the official API definitions and the protocol
# rules an Alpaca conformance checker applies. Usage: alpaca_test.py SKARVEL SIMULATOR YAML_DIR
# Runs in a network namespace of its own when it can, so the default ports are always free.
import http.client, json, os, select, shutil, socket, subprocess, sys, tempfile, time
import jsonschema, yaml

skarvel, simulator, yaml_dir = sys.argv[1:4]
# Cross-built programs run through the emulator, "|" between its words.
emulator = [word for word in os.environ.get("SKARVEL_EMULATOR", "").split("|") if word]
if "ALPACA_NETNS" not in os.environ and shutil.which("ip") and shutil.which("unshare") and \
        subprocess.run(["unshare", "-rn", "true"], capture_output=True).returncode == 0:
    os.environ["ALPACA_NETNS"] = "1"
    os.execvp("unshare", ["unshare", "-rn", "sh", "-c", 'ip link set lo up && exec "$0" "$@"',
                          sys.executable] + sys.argv)
PORT, DISCOVERY = 11111, 32227  # the defaults
docs = [yaml.safe_load(open(os.path.join(yaml_dir, "Alpaca%sAPI_v1.yaml" % k)))
        for k in ("Device", "Management")]
paths = {**docs[0]["paths"], **docs[1]["paths"]}
# The two files share no schema or response name, so one set of components serves both.
components = {k: {**docs[0]["components"][k], **docs[1]["components"].get(k, {})}
              for k in ("schemas", "responses")}

def schema_for(verb, path):
    member = path.split("/")[-1]
    keys = (path, path[7:].rsplit("/", 2)[0] + "/{device_number}/" + member,
            "/{device_type}/{device_number}/" + member)
    reply = next(paths[k] for k in keys if k in paths)[verb.lower()]["responses"]["200"]
    reply = components["responses"].get(reply.get("$ref", "").split("/")[-1], reply)
    return dict(reply["content"]["application/json"]["schema"], components=components)

folder = tempfile.mkdtemp(prefix="skarvel-alpaca-")
shutil.copy(skarvel, folder)
# No reading comes before the simulator is linked: port 1 would fall back to a /dev/ttyS0 that
# opens on many machines and reads silence, so the port is one with no standard device.
SENSOR = 32767
with open(os.path.join(folder, "config.ini"), "w", newline="") as config:
    config.write("webPath,%s/\r\ncommportid,%d\r\ncloudyThreshold,-25\r\n"
                 "vCloudyThreshold,-15\r\n" % (folder, SENSOR))
with open(os.path.join(folder, "automation.ini"), "w") as f:
    f.write("safeDelayMinutes=0\n")  # safe at the first clear reading; the ports stay default
# A month of log to learn the clear sky 0.6·A - 24 from: a quarter of the lines clear, in bins
# at -3, -1 ... 11 °C.
for days_ago in range(30):
    day = time.localtime(time.time() - 86400 * days_ago)
    with open(os.path.join(folder, "%d_%d_%d.csv" % day[:3]), "w", newline="") as log:
        for q in range(96):
            ambient = -3 + 2 * (q % 8)
            sky = 0.6 * ambient - 24 if q // 8 % 4 == 0 else ambient - 5
            log.write("%d/%d/%d %d:%02d:00 %s,%g,%g\r\n" % (
                day[1], day[2], day[0], (q // 4 + 11) % 12 + 1, q % 4 * 15,
                "AM" if q < 48 else "PM", ambient, sky))
children = [subprocess.Popen(emulator + [os.path.join(folder, "skarvel")],
                             stdout=subprocess.DEVNULL,
                             env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))]
server_id, next_id, conn = 0, 100, None

# One request on a kept-alive connection: the HTTP status if not 200, else the ErrorNumber, and the
# reply. A JSON reply must have exactly the keys of its kind (the definitions require none), and
# Value may only be left out by a method that succeeded.
def request(verb, path, params=""):
    global server_id, next_id, conn
    ours = "clienttransactionid=" not in params.lower()
    if ours:
        next_id += 1
        params += ("&" if params else "") + "ClientTransactionID=%d" % next_id
    conn = conn or http.client.HTTPConnection("127.0.0.1", PORT, timeout=5)
    query, body = ("?" + params, None) if verb == "GET" else ("", params)
    conn.request(verb, path + query, body)
    reply = conn.getresponse()
    text = reply.read().decode()
    if reply.status != 200 or not path.startswith(("/api/", "/management/")):
        return reply.status, text
    value = json.loads(text)
    keys = {"ClientTransactionID", "ServerTransactionID"} | (
        {"ErrorNumber", "ErrorMessage"} if path.startswith("/api/") else set())
    assert reply.getheader("Content-Type").startswith("application/json") and \
        set(value) - {"Value"} == keys and ("Value" in value or value["ErrorNumber"] == 0) and \
        value["ServerTransactionID"] > server_id, (verb, path, params, text)
    server_id = value["ServerTransactionID"]
    if ours:  # the definitions refuse the ID 0 that a refused one echoes
        assert value["ClientTransactionID"] == next_id, (verb, path, params, text)
        jsonschema.validate(value, schema_for(verb, path))
    return value.get("ErrorNumber", 0), value

try:
    while socket.socket().connect_ex(("127.0.0.1", PORT)) != 0 and children[0].poll() is None:
        time.sleep(0.1)
    # A session as a client opens it.
    devices = request("GET", "/management/v1/configureddevices")[1]["Value"]
    # Each device has a UniqueID of its own.
    assert sorted((d["DeviceType"], d["DeviceNumber"]) for d in devices) == [
        ("ObservingConditions", 0), ("SafetyMonitor", 0)] and \
        len({d["UniqueID"] for d in devices} - {""}) == 2, devices
    assert request("GET", "/management/apiversions")[1]["Value"] == [1]
    for device in ("/api/v1/safetymonitor/0/", "/api/v1/observingconditions/0/"):
        request("PUT", device + "connect")  # as client 0: no ClientID
        for member in ("connecting", "description", "driverinfo", "driverversion", "name",
                       "interfaceversion", "supportedactions", "devicestate"):
            assert request("GET", device + member)[0] == 0, device + member
        assert request("GET", device + "connected")[1]["Value"] is True, device
    assert [request("GET", d + "supportedactions")[1]["Value"] for d in (
        "/api/v1/safetymonitor/0/", "/api/v1/observingconditions/0/")] == [["SafetyEvents"], []]
    assert [(request("GET", d + "interfaceversion")[1]["Value"], request("GET", d + "description")[
        1]["Value"][:4]) for d in ("/api/v1/safetymonitor/0/", "/api/v1/observingconditions/0/")] \
        == [(3, "Safe"), (2, "Sky ")]

    # Why it is unsafe (no sensor yet): a JSON array of seven-field events in a string, whose
    # Type and Trigger a checker parses as members of the SafetyMonitor V4 proposal's
    # SafetyEventType and SafetyEventTrigger.
    types = ("CloudCover DewPoint Humidity AtmosphericPressure RainRate SkyBrightness SkyQuality "
             "SkyTemperature StarFWHM AmbientTemperature WindDirection WindGust WindSpeed Safety "
             "Security Power").split()
    triggers = "BelowThreshold AtThreshold AboveThreshold Active Inactive Offline Unsafe " \
        "ForcedState ErrorCondition".split()
    def safety_events():
        value = request("PUT", "/api/v1/safetymonitor/0/action",
                        "Action=SafetyEvents&Parameters=")[1]["Value"]
        events = json.loads(value)
        assert isinstance(events, list) and all(
            set(e) == {"Source", "Name", "Id", "Type", "Trigger", "Description", "EventTimeUtc"}
            and all(isinstance(v, str) and v for v in e.values()) and e["Type"] in types and
            e["Trigger"] in triggers for e in events), value
        return events
    assert safety_events() and not request("GET", "/api/v1/safetymonitor/0/issafe")[1]["Value"]

    # Per member: [(parameters, what request() returns first, the ClientTransactionID echoed)]
    sm, oc = "safetymonitor/0/", "observingconditions/0/"
    cases = [
        ("GET " + sm + "issafe", [
            ("ClientID=0&ClientTransactionID=%37%31", 0, 71), ("ClientTransactionID=-1", 400),
            ("clientid=2&clienttransactionid=8&Unknown=x", 0x407, 8), ("ClientID=abc", 400),
            ("ClientTransactionID=", 400)]),
        ("PUT " + sm + "connected", [
            ("Connected=asdqwe", 400), ("Connected=True&ClientID=2", 0), ("connected=true", 400)]),
        ("PUT " + sm + "action", [("Action=Park&Parameters=", 0x40C),
                                  ("ActionName=safetyevents&ActionParameters=", 0),
                                  ("Action=SafetyEvents", 400)]),
        ("PUT " + oc + "action", [("Action=SafetyEvents&Parameters=", 0x40C)]),
        ("PUT " + oc + "averageperiod", [
            ("aVERAGEpERIOD=0", 400), ("AveragePeriod=asduio6fghZZ", 400), ("AveragePeriod=0", 0),
            ("AveragePeriod=-2.0", 0x401), ("AveragePeriod=5", 0x401)]),
        ("PUT " + oc + "refresh", [("clienttransactionid=10", 0, 0)]),
        ("GET " + oc + "sensordescription", [
            ("sENSORnAME=SkyTemperature&cLIENTtRANSACTIONid=9", 0, 9),
            ("SensorName=Pressure", 0x400), ("SensorName=cloudcover", 0)]),
        ("GET " + oc + "timesincelastupdate", [
            ("SensorName=Pressure", 0x400), ("SensorName=Bogus", 0x401), ("SensorName=", 0x40B),
            ("SensorName=CloudCover", 0x40B), ("", 400)]),
        ("GET " + oc + "pressure", [("", 0x400)]), ("GET " + oc + "averageperiod", [("", 0)]),
        ("GET " + oc + "skytemperature", [("", 0x40B)]), ("GET " + oc + "cloudcover", [("", 0x40B)]),
    ] + [("GET " + member, [("", status)]) for member, status in (
        (sm + "bogus", 400), ("SafetyMonitor/0/issafe", 400), ("../../safety.json", 200),
        ("../../state.json", 200), ("../../setup", 200), ("../../setup/v1/" + oc + "setup", 200)) + tuple(
        ("../../%sx" % p, 404) for p in "safety.json state.json metrics history.json nights.json "
                                         "skymodel.json CloudStatus.html history.bmp month.bmp year.bmp".split())] + [
        # Each member takes one verb (connected and averageperiod both) and refuses the other.
        (verb + " " + device + m, [("", 405)]) for verb, device, members in (
            ("PUT", sm, "issafe connecting description devicestate driverinfo driverversion name "
                        "interfaceversion supportedactions"),
            ("PUT", oc, "skytemperature temperature cloudcover sensordescription "
                        "timesincelastupdate"),
            ("GET", sm, "action commandblind commandbool commandstring connect disconnect"),
            ("GET", oc, "refresh"), ("PUT", "../../", "safety.json state.json"))
        for m in members.split()]
    for what, rows in cases:
        for params, expected, *echo in rows:
            got, value = request(what[:3], os.path.normpath("/api/v1/" + what[4:]), params)
            assert got == expected and (not echo or value["ClientTransactionID"] == echo[0]), \
                (what, params, value)

    # Discovery answers the request, and nothing else.
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    for datagram, answer in ((b"hello alpaca", []), (b"alpacadiscovery1", [{"AlpacaPort": PORT}])):
        udp.sendto(datagram, ("127.0.0.1", DISCOVERY))
        got = [json.loads(udp.recv(100)) for _ in select.select([udp], [], [], 1)[0]]
        assert got == answer, (datagram, got)

    # A request and then a half-close, as small clients and nc -N send it, is answered and then
    # closed, also when the end of the stream arrives together with the request. (Refusals and
    # idle clients: alpaca_server_test.)
    for _ in range(10):
        with socket.create_connection(("127.0.0.1", PORT), timeout=2) as s:
            s.sendall(b"GET /api/v1/safetymonitor/0/issafe?ClientID=1 HTTP/1.1\r\n\r\n")
            s.shutdown(socket.SHUT_WR)
            got = b"".join(iter(lambda: s.recv(1000), b""))
        assert got[9:12] == b"200", got

    # With a sensor, the devices follow its readings (ObservingConditions is still connected).
    children.append(subprocess.Popen(emulator + [simulator, "--link",
                                                 os.path.join(folder, "com%d" % SENSOR),
                                                 "--sky", "-18.3", "--ambient", "7.5"],
                                     stdout=subprocess.DEVNULL))
    until = time.time() + 25
    while request("GET", "/api/v1/" + oc + "skytemperature")[0] and time.time() < until:
        time.sleep(0.5)
    assert request("GET", "/api/v1/" + oc + "skytemperature")[1]["Value"] == -18.3
    # 1.2 °C above the learned clear sky, 27 °C under the air.
    assert abs(request("GET", "/api/v1/" + oc + "cloudcover")[1]["Value"] - 120 / 27) < 0.01
    page = request("GET", "/setup")[1]
    assert "ambient -3.0 to 11.0 °C; the fit's residual is 0.00 °C.</p>\n<p>Clear sky = c + " \
        "k1·A + k3·exp(A/10): c = -24.000, k1 = 0.6000, k3 = 0.0000</p>" in page and "".join("<tr><td>%d °C</td><td>%.1f °C</td></tr>\n" % (
            a, 0.6 * a - 24) for a in (-10, 0, 10, 20)) in page, page

    # Safe: no events, and the verdict at /safety.json is the file's, byte for byte.
    request("PUT", "/api/v1/safetymonitor/0/connect")
    while not request("GET", "/api/v1/safetymonitor/0/issafe")[1]["Value"] and time.time() < until:
        time.sleep(0.5)
    assert safety_events() == []
    def file():
        with open(os.path.join(folder, "safety.json")) as f:
            return f.read()
    before, served, after = file(), request("GET", "/safety.json")[1], file()
    assert served in (before, after) and json.loads(served)["roof_status"]["open_ok"] == 1, served
finally:
    for child in reversed(children):
        child.terminate()
        child.wait()
    os.environ.get("KEEP") or shutil.rmtree(folder, ignore_errors=True)
