#!/usr/bin/python3
"""The office site in a real browser: Debian's Chromium, headless, driven through WebDriver
(chromedriver, python3-selenium). The history is filled by whole-unit reads (`quilo read all`)
of simulated units (`quilo-sim`) on pseudo-terminals, one with its cash-in counter lowered
between two reads and one whose name turns into markup; `quilo serve` serves it on a free
port. Signs in, sees the fleet with the flagged unit first, opens it, sees its flags before
everything else and its charts, downloads the CSV; a wrong password is refused, nothing is
reachable without signing in, the markup stays text. Screenshots go to --out."""

import argparse
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import traceback

PASSWORD = "browser-test-pw"


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


try:
    from selenium import webdriver
    from selenium.common.exceptions import NoAlertPresentException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
except ImportError:
    fail("python3-selenium is missing: scripts/install-deps.sh installs it (apt install python3-selenium)")


class Processes:
    """Every process started here, ended at the end whatever happened."""

    def __init__(self):
        self.running = []

    def start(self, args, **kw):
        kw.setdefault("stderr", subprocess.PIPE)
        p = subprocess.Popen(args, stdout=subprocess.PIPE, text=True, **kw)
        self.running.append(p)
        return p

    def stop(self, p):
        if p.poll() is None:
            p.send_signal(signal.SIGTERM)
            try:
                p.wait(20)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()

    def stop_all(self):
        for p in reversed(self.running):
            self.stop(p)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def read_unit(procs, args, sim_args, history, env):
    """One whole-unit read of a simulated unit started with sim_args; the unit's state saved."""
    sim = procs.start([args.sim, "--no-pace"] + sim_args, env=env)
    pty = sim.stdout.readline().strip()
    if not pty.startswith("/"):
        fail("quilo-sim did not start: " + sim.stderr.read())
    r = subprocess.run([args.quilo, "read", "all", "--port", pty, "--history", history, "-o", "/dev/null"],
                       env=env, capture_output=True, text=True, timeout=300)
    procs.stop(sim)
    if r.returncode != 0:
        fail("quilo read all failed: " + r.stderr)


def edit_state(path, change):
    with open(path, encoding="utf-8") as f:
        state = json.load(f)
    change(state)
    with open(path, "w", encoding="utf-8") as f:
        json.dump(state, f, ensure_ascii=False)


def wait_for(predicate, seconds, what):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.1)
    fail("waited %d s for %s" % (seconds, what))


def check(condition, message):
    if not condition:
        fail(message)


def no_alert(driver):
    try:
        alert = driver.switch_to.alert
        text = alert.text
        alert.dismiss()
        fail("a dialog opened: " + text)
    except NoAlertPresentException:
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quilo", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    for program in ("/usr/bin/chromium", "/usr/bin/chromedriver"):
        if not os.path.exists(program):
            fail(program + " is missing: scripts/install-deps.sh installs it (apt install chromium chromium-driver)")
    shutil.rmtree(args.out, ignore_errors=True)
    os.makedirs(args.out)

    work = tempfile.mkdtemp(prefix="quilo-browser-")
    env = dict(os.environ, XDG_DATA_HOME=os.path.join(work, "data"), XDG_CONFIG_HOME=os.path.join(work, "config"),
               LC_ALL="C.UTF-8")
    env.pop("QUILO_HISTORY", None)
    history = os.path.join(work, "history.sqlite")
    procs = Processes()
    driver = None
    try:
        # Unit 1: its cash-in counter lower at the second read.
        state = os.path.join(work, "unit1.json")
        read_unit(procs, args, ["--seed", "3", "--save-state", state], history, env)
        edit_state(state, lambda s: s["counters"].update(cashIn=s["counters"]["cashIn"] - 1000))
        read_unit(procs, args, ["--state", state], history, env)
        # Unit 2: read twice, its name markup at the second read (a configuration change).
        state2 = os.path.join(work, "unit2.json")
        read_unit(procs, args, ["--seed", "4", "--save-state", state2], history, env)
        edit_state(state2, lambda s: s["config"].update(name="<img src=x onerror=alert(1)>"))
        read_unit(procs, args, ["--state", state2, "--save-state", state2], history, env)
        with open(state) as f:
            lowered = json.load(f)["config"]["mfgNo"]

        add = subprocess.run([args.quilo, "serve", "--add-user", "anna", "--history", history], input=PASSWORD + "\n",
                             env=env, capture_output=True, text=True, timeout=60)
        check(add.returncode == 0, "--add-user failed: " + add.stderr)

        port = free_port()
        # its log to a file: a pipe nobody reads would hold the server up once full
        log = open(os.path.join(args.out, "serve.log"), "w")
        server = procs.start([args.quilo, "serve", "--history", history, "--port", str(port)], env=env, stderr=log)
        base = "http://127.0.0.1:%d" % port

        def listening():
            try:
                with socket.create_connection(("127.0.0.1", port), timeout=1):
                    return True
            except OSError:
                if server.poll() is not None:
                    with open(os.path.join(args.out, "serve.log")) as f:
                        fail("quilo serve ended: " + f.read())
                return False

        wait_for(listening, 60, "quilo serve to listen")

        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for a in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=1280,1600",
                  "--lang=en-US", "--disable-gpu"):
            options.add_argument(a)
        options.add_experimental_option("prefs", {"intl.accept_languages": "en-US,en",
                                                  "download.default_directory": os.path.join(work, "downloads"),
                                                  "download.prompt_for_download": False})
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        driver.set_page_load_timeout(60)
        driver.execute_cdp_cmd("Page.setDownloadBehavior",
                               {"behavior": "allow", "downloadPath": os.path.join(work, "downloads")})

        # Nothing without signing in.
        for path in ("/fleet", "/flags", "/unit?id=1", "/comparison.csv?id=1", "/visit.quilo?id=1"):
            driver.get(base + path)
            check(driver.current_url.endswith("/signin"), path + " was reachable without signing in")
            check(lowered not in driver.page_source, path + " showed a unit without signing in")

        # A wrong password is refused.
        driver.find_element(By.ID, "name").send_keys("anna")
        driver.find_element(By.ID, "password").send_keys("wrong-password")
        driver.find_element(By.CSS_SELECTOR, "form.signin button").click()
        check(driver.current_url.endswith("/signin"), "a wrong password signed in")
        check("wrong" in driver.find_element(By.CSS_SELECTOR, "p.message").text, "no word on the wrong password")
        driver.save_screenshot(os.path.join(args.out, "1-signin-refused.png"))

        driver.find_element(By.ID, "name").clear()
        driver.find_element(By.ID, "name").send_keys("anna")
        driver.find_element(By.ID, "password").send_keys(PASSWORD)
        driver.find_element(By.CSS_SELECTOR, "form.signin button").click()
        wait_for(lambda: driver.current_url.endswith("/fleet"), 30, "the fleet page after signing in")
        session = driver.get_cookie("quilo_session")
        check(session is not None and session.get("httpOnly") and session.get("sameSite") == "Strict",
              "session cookie not HttpOnly/SameSite: %r" % session)
        check(not any(c["name"] == "quilo_session" for c in driver.execute_script("return document.cookie ? "
                                                                                  "[{name: document.cookie}] : []")),
              "the session cookie is readable by scripts")

        # The fleet: both units flagged; the lowered counter's flag and values shown.
        rows = driver.find_elements(By.CSS_SELECTOR, "table.fleet tbody tr")
        check(len(rows) == 2, "expected two units, found %d" % len(rows))
        check(all("flagged" in r.get_attribute("class") for r in rows), "a flagged unit is not marked")
        lowered_row = [r for r in rows if lowered in r.text]
        check(lowered_row and "Counter lower" in lowered_row[0].text and "-1000" in lowered_row[0].text,
              "the lowered unit's flag and values are not on the fleet page")
        no_alert(driver)
        check(not driver.find_elements(By.CSS_SELECTOR, "main img"), "the unit's markup became an element")
        check("<img src=x onerror=alert(1)>" in driver.find_element(By.TAG_NAME, "main").text,
              "the unit's markup is not shown as text")
        driver.save_screenshot(os.path.join(args.out, "2-fleet.png"))

        # The unit: flags before the comparison's table, charts drawn.
        lowered_row[0].find_element(By.TAG_NAME, "a").click()
        wait_for(lambda: "/unit?id=" in driver.current_url, 30, "the unit page")
        flags = driver.find_elements(By.CSS_SELECTOR, "section.comparison ul.flags li")
        check(flags and "Counter lower" in flags[0].text, "the unit page does not start with the flag")
        located = driver.execute_script(
            "const f = document.querySelector('ul.flags'), t = document.querySelector('table.lines');"
            "return f.compareDocumentPosition(t) & Node.DOCUMENT_POSITION_FOLLOWING;")
        check(located, "the flags are not before the comparison's lines")
        charts = driver.find_elements(By.CSS_SELECTOR, "svg.chart")
        check(len(charts) >= 3, "expected charts, found %d" % len(charts))
        check(all(c.size["height"] > 50 for c in charts), "a chart is not drawn")
        check(driver.find_elements(By.CSS_SELECTOR, "svg.chart polyline"), "the counters chart has no line")
        driver.save_screenshot(os.path.join(args.out, "3-unit.png"))

        # The CSV download.
        driver.find_element(By.PARTIAL_LINK_TEXT, "CSV").click()
        downloads = os.path.join(work, "downloads")
        done = wait_for(lambda: [f for f in os.listdir(downloads) if f.endswith(".csv")] if os.path.isdir(downloads) else None,
                        30, "the CSV download")
        with open(os.path.join(downloads, done[0]), encoding="utf-8") as f:
            lines = f.read().splitlines()
        check(lines[0] == "section,item,earlier,later,difference", "CSV heading: " + lines[0])
        check(lines[1].startswith("flag,Counter lower"), "CSV does not start with the flag: " + lines[1])

        # The markup unit's page and the flags page: text, no element, no dialog.
        for path in ("/flags",):
            driver.get(base + path)
            no_alert(driver)
            check(not driver.find_elements(By.CSS_SELECTOR, "main img"), path + ": markup became an element")
            check("<img src=x onerror=alert(1)>" in driver.find_element(By.TAG_NAME, "main").text,
                  path + ": markup not shown as text")
        driver.save_screenshot(os.path.join(args.out, "4-flags.png"))
        driver.get(base + "/fleet")
        driver.find_elements(By.CSS_SELECTOR, "table.fleet tbody tr a")[0].click()
        no_alert(driver)

        # Hungarian from the browser's language.
        driver.execute_cdp_cmd("Network.enable", {})
        driver.execute_cdp_cmd("Network.setExtraHTTPHeaders", {"headers": {"Accept-Language": "hu-HU,hu;q=0.9"}})
        driver.get(base + "/fleet")
        check("Géppark" in driver.page_source, "the page is not in Hungarian for a Hungarian browser")
        driver.save_screenshot(os.path.join(args.out, "5-fleet-hu.png"))
        driver.execute_cdp_cmd("Network.setExtraHTTPHeaders", {"headers": {}})

        # Signing out closes the pages again.
        driver.get(base + "/fleet")
        driver.find_element(By.CSS_SELECTOR, "form.signout button").click()
        wait_for(lambda: driver.current_url.endswith("/signin"), 30, "the sign-in page after signing out")
        driver.get(base + "/fleet")
        check(driver.current_url.endswith("/signin"), "the fleet page is reachable after signing out")
        # the log names requests, never what was typed into the sign-in form
        with open(os.path.join(args.out, "serve.log"), encoding="utf-8") as f:
            logged = f.read()
        check("POST /signin" in logged, "the log does not list the sign-ins")
        check(PASSWORD not in logged and "wrong-password" not in logged, "a password is in the log")
        print("PASS: browser test; screenshots in " + args.out)
    except SystemExit:
        if driver:
            driver.save_screenshot(os.path.join(args.out, "failed.png"))
        raise
    except Exception:
        traceback.print_exc()
        if driver:
            driver.save_screenshot(os.path.join(args.out, "failed.png"))
        sys.exit(1)
    finally:
        if driver:
            driver.quit()
        procs.stop_all()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
