#!/usr/bin/env python3
# The dashboard in headless Chromium against the real monitor fed by the simulator, and the
# alerts of the same run at real HTTPS and SMTP servers with a CA of the test's own, a stranger's
# certificate refused.
# Usage: dashboard_test.py SKARVEL SIMULATOR.
# MQTT and Home Assistant are checked on a real mosquitto broker in the same run, and what the
# monitor tells systemd.
# Screenshots go to $SKARVEL_ARTIFACTS (default ./dashboard-screenshots).
import json, urllib.request, os, shutil, signal, socket, subprocess, sys, tempfile, threading, time
import jinja2
from aiosmtpd.controller import Controller
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import https_receivers

if "DASHBOARD_NETNS" not in os.environ and shutil.which("ip") and \
        shutil.which("unshare") and subprocess.run(["unshare", "-rn", "true"], capture_output=True).returncode == 0:
    os.environ["DASHBOARD_NETNS"] = "1"
    os.execvp("unshare", ["unshare", "-rn", "sh", "-c", 'ip link set lo up && exec "$0" "$@"',
                          sys.executable] + sys.argv)
PORT = 11111
url = "http://127.0.0.1:%d/" % PORT
artifacts = os.environ.get("SKARVEL_ARTIFACTS") or os.path.join(os.getcwd(), "dashboard-screenshots")
os.makedirs(artifacts, exist_ok=True)
children, sensor, folder, browser, smtp = [], None, None, None, None

def wait(what, check, timeout):
    end = time.time() + timeout
    while not (got := check()):
        if time.time() > end:
            raise AssertionError("%s: not within %d s" % (what, timeout))
        time.sleep(0.25)
    return got

def js(script):
    return browser.execute_script("return " + script)

def text(element_id):
    return browser.find_element(By.ID, element_id).text

def shot(name):
    path = os.path.join(artifacts, name)
    browser.save_screenshot(path)
    print("screenshot:", path)

def start_sensor(sky, ambient):
    global sensor
    link = os.path.join(folder, "com1")
    sensor = subprocess.Popen([simulator, "--link", link, "--sky", str(sky),
                                          "--ambient", str(ambient)], stdout=subprocess.DEVNULL)
    children.append(sensor)
    wait("the simulator's link", lambda: os.path.islink(link), 10)

mails = []
class Mailbox:
    async def handle_DATA(self, server, session, envelope):
        mails.append(envelope.content.decode())
        return "250 OK"

def receivers():
    """HTTPS on 8443 and SMTP with STARTTLS required on 2525, both signed by ca.pem; HTTPS on
    8444 with a certificate of its own, which must be refused."""
    site = https_receivers.start(folder, "127.0.0.1", [8443], [8444])
    smtp = Controller(Mailbox(), hostname="127.0.0.1", port=2525, tls_context=site,
                      require_starttls=True)
    smtp.start()
    return smtp

def automation():
    with open(os.path.join(folder, "automation.ini"), "w") as f:
        f.write("\n".join(("safeDelayMinutes=0", "notifyQuietMinutes=0", "notifyCaFile=ca.pem",
                           "notify.phone=ntfy:https://127.0.0.1:8443/obs", "notify.phone.token=tk_s3cret",
                           "notify.ha=webhook:https://127.0.0.1:8443/api/webhook/roof",
                           "notify.mail=mail:obs@example.org", "notify.mail.smtp=smtp://127.0.0.1:2525",
                           "notify.mail.from=skarvel@example.org",
                           "notify.stranger=webhook:https://127.0.0.1:8444/x",  # its certificate is refused
                           "heartbeatUrl=https://127.0.0.1:8443/ping/k3y", "uniqueId=pier-2",
                           "mqttHost=127.0.0.1", "mqttPort=11883", "mqttTopic=club/pier-2", "mqttUser=obs",
                           "mqttPassword=pw")) + "\n")

def broker():
    """mosquitto on 11883 (a system broker may have 1883) for the user obs with the password pw."""
    os.makedirs(os.path.join(folder, "broker"))
    conf, passwd = (os.path.join(folder, "broker", n) for n in ("mosquitto.conf", "passwd"))
    subprocess.run(["mosquitto_passwd", "-c", "-b", passwd, "obs", "pw"], check=True)
    with open(conf, "w") as f:  # root in a namespace of its own cannot become another user
        f.write("user root\nlistener 11883 127.0.0.1\npersistence false\npassword_file %s\n" % passwd)
    children.append(subprocess.Popen([shutil.which("mosquitto") or "/usr/sbin/mosquitto", "-c", conf],
                                     stderr=subprocess.DEVNULL))
    wait("the broker", lambda: socket.socket().connect_ex(("127.0.0.1", 11883)) == 0, 10)

def retained(topics):
    out = subprocess.run(["mosquitto_sub", "-h", "127.0.0.1", "-p", "11883", "-v", "-W", "1", "--retained-only",
                          "-t", topics, "-u", "obs", "-P", "pw"], capture_output=True, text=True).stdout
    return dict(line.split(" ", 1) for line in out.splitlines())

def home_assistant():
    """Each discovery config's entity as Home Assistant shows it, rendered from the state."""
    state, shown = retained("club/pier-2/state")["club/pier-2/state"], {}
    for topic, text in retained("homeassistant/#").items():
        c = json.loads(text)
        assert (c["state_topic"], c["availability_topic"], c["device"]["identifiers"],
                c["device"]["sw_version"], c.get("state_class", "measurement")) == (
            "club/pier-2/state", "club/pier-2/status", ["pier-2"], version, "measurement") and \
            c["unique_id"], c
        value = jinja2.Environment().from_string(c["value_template"]).render(
            value=state, value_json=json.loads(state))
        shown[topic.split("/")[-2]] = {c.get("payload_on"): "on", c.get("payload_off"): "off"}.get(
            value, value) + c.get("unit_of_measurement", "")
    return shown

def load():
    browser.get(url)
    wait("the chart", lambda: js("window.skarvelChart && skarvelChart.numRows()"), 20)
    wait("the nights table", lambda: js("document.querySelectorAll('#nights tr').length"), 10)

try:
    skarvel, simulator = sys.argv[1:3]
    folder = tempfile.mkdtemp(prefix="skarvel-dashboard-")
    shutil.copy(skarvel, folder)
    subprocess.run([simulator, "--history", "30", "--folder", folder],
                   check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(folder, "config.ini"), "w", newline="") as config:
        config.write("webPath,%s/\r\ncommportid,1\r\ncloudyThreshold,-25\r\n"
                     "vCloudyThreshold,-15\r\n" % folder)
    smtp = receivers()
    automation()
    broker()
    start_sensor(-30, 5)  # 35 °C under the air: CLEAR
    # systemd's side of the notifications, each kept with the time it came.
    notify, told = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM), []
    notify.bind(os.path.join(folder, "notify"))
    threading.Thread(target=lambda: [told.append((time.time(), notify.recv(512).decode()))
                                     for _ in iter(int, 1)], daemon=True).start()
    journal = os.path.join(folder, "monitor.err")
    monitor = subprocess.Popen([os.path.join(folder, "skarvel")],
                               stdout=subprocess.DEVNULL, stderr=open(journal, "w"),
                               env=dict(os.environ, QT_QPA_PLATFORM="offscreen",
                                        NOTIFY_SOCKET=os.path.join(folder, "notify")))
    children.insert(0, monitor)
    wait("the monitor's port", lambda: socket.socket().connect_ex(("127.0.0.1", PORT)) == 0
         or monitor.poll() is not None, 30)
    assert monitor.poll() is None, "the monitor ended with %s" % monitor.returncode
    setup = urllib.request.urlopen(url + "setup").read().decode()
    assert "phone (ntfy), ha (webhook), mail (mail), stranger (webhook), a heartbeat" in setup and \
        "s3cret" not in setup, setup
    version = json.load(urllib.request.urlopen(url + "management/v1/description"))["Value"][
        "ManufacturerVersion"]

    options = webdriver.ChromeOptions()
    for flag in ("--headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
                 "--disable-background-networking --disable-component-update --disable-sync "
                 "--window-size=1280,900").split():
        options.add_argument(flag)
    browser = webdriver.Chrome(service=Service(shutil.which("chromedriver") or
                                               "/usr/bin/chromedriver"), options=options)
    browser.set_page_load_timeout(30)
    browser.set_script_timeout(10)
    load()

    # Nothing comes from anywhere but the monitor.
    names = js("performance.getEntriesByType('resource').map(e => e.name)")
    assert names and all(n.startswith(url) for n in names), names

    # Three nights of quarter-hour lines and the learned clear sky along them.
    assert js("skarvelChart.numRows()") > 200, js("skarvelChart.numRows()")
    labels = js("skarvelChart.getLabels()")
    clear = next((i for i, l in enumerate(labels) if "clear sky" in l.lower()), None)
    assert clear and js("[...Array(skarvelChart.numRows()).keys()].filter("
                        "r => skarvelChart.getValue(r, %d) !== null).length" % clear) > 200, labels
    assert text("skyfit-text").startswith("Clear sky = ") and js("skarvelFit.numRows()") > 200
    assert len(browser.find_elements(By.CSS_SELECTOR, "#nights tr")) == 14
    # A night from its table row: noon to noon around its evening.
    browser.find_element(By.CSS_SELECTOR, "#nights tr:nth-child(2)").click()
    evening = browser.find_element(By.CSS_SELECTOR, "#nights tr:nth-child(2) td").text
    noon = js("new Date('%sT12:00:00').getTime()" % evening)
    wait("the night's window", lambda: js("skarvelChart.xAxisRange()[0]") == noon and
         js("skarvelChart.xAxisRange()[1]") == noon + 86400000, 10)
    # The year, as daily [min, mean, max] bars.
    browser.find_element(By.ID, "range-365").click()
    wait("the year", lambda: js("skarvelChart.getOption('customBars') && "
                                "skarvelChart.numRows() >= 28"), 15)

    # The Now panel follows the sensor within a cycle.
    wait("SAFE at -30 °C", lambda: text("verdict") == "SAFE" and
         text("sky").startswith("-30") and text("state") == "CLEAR", 30)
    # Home Assistant, from the broker's retained configs and state; the cover from the log.
    clear = home_assistant()
    assert 0 <= float(clear.pop("cloud_cover")[:-1]) <= 100 and clear == {
        "sky_temperature": "-30.0°C", "ambient_temperature": "5.0°C", "difference": "-35.0°C",
        "sky_state": "CLEAR", "safety": "off"}, clear  # on: unsafe
    sensor.terminate()
    sensor.wait(10)
    start_sensor(-5, 5)  # 10 °C under the air: V.CLOUDY
    wait("UNSAFE at -5 °C", lambda: text("state") == "V.CLOUDY" and
         text("verdict") == "UNSAFE", 30)
    # systemd: ready at the start, then alive after every cycle, with the verdict.
    wait("systemd told", lambda: told[-1][1] == "WATCHDOG=1\nSTATUS=UNSAFE: V.CLOUDY", 20)
    assert told[0][1] == "READY=1\nSTATUS=PENDING: no reading yet" and all(
        m.startswith("WATCHDOG=1\nSTATUS=") and t - told[i][0] < 20 for i, (t, m) in
        enumerate(told[1:])) and "WATCHDOG=1\nSTATUS=CLEAR, safe" in dict(told).values(), told
    cloudy = wait("V.CLOUDY over MQTT", lambda: (h := home_assistant())["sky_state"] == "V.CLOUDY" and h, 20)
    assert (cloudy["difference"], cloudy["safety"]) == ("-10.0°C", "on"), cloudy
    # The verdict's two changes, to every target; the heartbeat while readings come.
    def sent(path):
        return [p for p in https_receivers.requests if p[1] == path]
    wait("the alerts", lambda: len(sent("/obs")) == 2 and len(mails) == 2, 20)
    assert [p[2]["Priority"] for p in sent("/obs")] == ["default", "urgent"] and \
        all(p[2]["Authorization"] == "Bearer tk_s3cret" for p in sent("/obs")), sent("/obs")
    hooks = [json.loads(p[3]) for p in sent("/api/webhook/roof")]
    assert [(h["event"], h["safe"], h["state"], h["sky"]) for h in hooks] == [
        ("safe", True, "CLEAR", -30), ("unsafe", False, "V.CLOUDY", -5)], hooks
    assert "Subject: Skarvel: UNSAFE" in mails[1] and sent("/ping/k3y"), mails
    said = open(journal).read()
    assert any("notify.stranger (webhook): " in line and "certificate" in line
               for line in said.splitlines()) and "s3cret" not in said, said
    shot("dashboard-1280.png")

    # Night mode is remembered, and leaves nothing that is not red or black.
    browser.find_element(By.ID, "nightmode").click()
    assert js("document.documentElement.classList.contains('night')")
    load()
    assert js("document.documentElement.classList.contains('night')"), "night mode forgotten"
    not_red = js("""[...document.querySelectorAll('*')].filter(e => e.getClientRects().length).flatMap(e => {
        const s = getComputedStyle(e); return [s.color, s.backgroundColor, s.borderTopColor]; })
      .concat([...document.querySelectorAll('canvas')].flatMap(c => { const d = c.getContext('2d')
        .getImageData(0, 0, c.width, c.height).data, out = [];
        for (let i = 0; i < d.length; i += 4) if (d[i + 3] > 40) out.push(`rgb(${d[i]}, ${d[i+1]}, ${d[i+2]})`);
        return out; })).filter(c => { const [r, g, b, a] = c.match(/[\\d.]+/g).map(Number);
        return a !== 0 && (g > r * 0.35 + 8 || b > r * 0.35 + 8); }).slice(0, 5)""")
    assert not not_red, not_red
    shot("dashboard-night.png")
    browser.find_element(By.ID, "nightmode").click()
    load()
    assert not js("document.documentElement.classList.contains('night')"), "still in night mode"

    # A phone: 360 px wide, nothing to scroll sideways.
    browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
        "width": 360, "height": 780, "deviceScaleFactor": 1, "mobile": True})
    load()
    widths = js("[document.documentElement.scrollWidth, window.innerWidth]")
    assert widths[1] == 360 and widths[0] <= widths[1], widths
    shot("dashboard-360.png")

    # The monitor dies: the page must stop vouching for the sky.
    os.kill(children[0].pid, signal.SIGKILL)
    wait("no contact", lambda: "nocontact" in browser.find_element(By.ID, "now")
         .get_attribute("class").split() and "no contact" in text("contact").lower(), 35)
    assert text("verdict") != "SAFE", text("verdict")
    # The broker says so too, by the monitor's last will.
    wait("offline", lambda: retained("club/pier-2/status").get("club/pier-2/status") == "offline", 45)
except Exception as e:
    print("dashboard_test FAILED:", e if isinstance(e, AssertionError) else repr(e), file=sys.stderr)
    sys.exit(1)
finally:
    if browser:
        browser.quit()
    for child in reversed(children):
        if child.poll() is None:
            child.terminate()
            try:
                child.wait(10)
            except subprocess.TimeoutExpired:
                child.kill()
    if smtp:
        smtp.stop()
    if folder and not os.environ.get("KEEP"):
        shutil.rmtree(folder, ignore_errors=True)
