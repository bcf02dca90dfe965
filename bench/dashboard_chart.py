#!/usr/bin/python3
# Figures for the dashboard, not a test: how long headless Chromium takes from asking for the
# page to a drawn chart of the last 3 nights and to the year, against the real monitor with a
# year of simulated log, and what it fetched. Usage: bench/dashboard_chart.py [build folder]
import os, shutil, statistics, subprocess, sys, tempfile, time
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

if "BENCH_NETNS" not in os.environ and subprocess.run(["unshare", "-rn", "true"]).returncode == 0:
    os.environ["BENCH_NETNS"] = "1"
    os.execvp("unshare", ["unshare", "-rn", "sh", "-c", 'ip link set lo up && exec "$0" "$@"',
                          sys.executable] + sys.argv)
build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
folder = tempfile.mkdtemp()
shutil.copy(os.path.join(build, "bin", "skarvel"), folder)
sim = os.path.join(build, "bin", "skarvel-sensor-sim")
subprocess.run([sim, "--history", "365", "--folder", folder], check=True, stdout=subprocess.DEVNULL)
children = [subprocess.Popen([sim, "--link", os.path.join(folder, "com1")], stdout=subprocess.DEVNULL)]
time.sleep(1)
children.append(subprocess.Popen([os.path.join(folder, "skarvel")], stderr=subprocess.DEVNULL,
                                 env=dict(os.environ, QT_QPA_PLATFORM="offscreen")))
options = webdriver.ChromeOptions()
for flag in "--headless --no-sandbox --disable-gpu --window-size=1280,900".split():
    options.add_argument(flag)
browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
try:
    time.sleep(3)
    nights, years = [], []
    for _ in range(7):
        start = time.perf_counter()
        browser.get("http://127.0.0.1:11111/")
        while not browser.execute_script("return window.skarvelChart && skarvelChart.numRows()"):
            time.sleep(0.005)
        nights.append(time.perf_counter() - start)
        start = time.perf_counter()
        browser.find_element(By.ID, "range-365").click()
        while not browser.execute_script("return skarvelChart.numRows() >= 300"):
            time.sleep(0.005)
        years.append(time.perf_counter() - start)
    fetched = browser.execute_script("return performance.getEntriesByType('resource')"
                                     ".reduce((n, e) => n + e.transferSize, 0)")
    print("page to a chart of 3 nights: median %.0f ms, worst %.0f ms (7 loads, a cached library)"
          % (1000 * statistics.median(nights), 1000 * max(nights)))
    print("3 nights to the year: median %.0f ms, worst %.0f ms" %
          (1000 * statistics.median(years), 1000 * max(years)))
    print("bytes fetched by the last load, the year's history included: %d" % fetched)
finally:
    browser.quit()
    for child in reversed(children):
        child.terminate()
        child.wait()
    shutil.rmtree(folder, ignore_errors=True)
