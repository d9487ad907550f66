#!/usr/bin/env python3
"""The verifier page, verify/index.html, in a real browser (headless Chromium through
chromedriver), opened from disk as a player would:
- every case in cases/ gives the page the output and exit status the case expects, which
  scripts/verify-rolls.py gives too (cases_test.py);
- a fresh console session (fixed, private and /roll commands, a reload, hostile names) and
  10,000 /d6 rolls (ten keys, each rotated at 1,000 rolls) verify on the page exactly as with
  the script, as the log, the --json output and audit files; copies tampered at a record or a
  reveal fail at the same line in both;
- the d6 chart's bars and table hold the counts the records hold;
- the search finds a player's rolls by name and by time, and a name holding HTML is shown as
  text;
- hostile inputs from the script's fuzz generator get the same verdict from both;
- the page makes no request but for its own files, and its policy refuses a connection;
- a small screenshot of the page for the README is left in WORK_DIR/verify-page.png.

usage: page_test.py VERIFY_ROLLS_PY WORK_DIR -- SERVER_COMMAND...
Prints "skipped: ..." and exits 0 when selenium, chromium or chromedriver is missing.
"""
import contextlib
import importlib.util
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
PAGE = "file://" + os.path.join(ROOT, "verify", "index.html")
CASES = os.path.join(HERE, "cases")
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"]
# A plugin without the audit file ignores the member; then audit files are made from the log.
CONFIG = ('{"SenderName": "Dice", "AuditRolls": true, "AuditFile": true, "LogRolls": true, '
          '"PrivateCommands": true, "RollCommand": true}')
HOSTILE = '<img src=x onerror="document.title=1">'
SESSION = f"""join Ann
join {HOSTILE}
join Bj\u00f6rn
say Ann /d20 3
say #2 /pd6 2
say Ann /roll 2d20kh1+1d4+5
say #3 /d12
unload
load
say #2 /roll d%-3d6
say Ann /d4 5
"""
D6_ROLLS = 10_000

try:
    from selenium import webdriver
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    webdriver = None


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def load_module(path, name):
    spec = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, what):
    for _ in range(300):
        try:
            socket.create_connection(("127.0.0.1", port), 0.2).close()
            return
        except OSError:
            time.sleep(0.1)
    raise Failure(f"{what} did not listen on 127.0.0.1:{port}")


@contextlib.contextmanager
def browser(chromium, chromedriver, profile):
    # Chromium and its driver are started here and reached by address: a machine whose
    # /etc/hosts lacks "localhost" (a bare chroot) would stop selenium's own start-up.
    devtools, control = free_port(), free_port()
    quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
    processes = [
        subprocess.Popen([chromium, *FLAGS, f"--user-data-dir={profile}", "--window-size=760,1000",
                          f"--remote-debugging-port={devtools}",
                          "--remote-debugging-address=127.0.0.1", "about:blank"], **quiet),
        subprocess.Popen([chromedriver, f"--port={control}"], **quiet)]
    try:
        wait_for_port(devtools, "chromium")
        wait_for_port(control, "chromedriver")
        options = webdriver.ChromeOptions()
        options.debugger_address = f"127.0.0.1:{devtools}"
        options.set_capability("goog:loggingPrefs", {"performance": "ALL"})
        driver = webdriver.Remote(command_executor=f"http://127.0.0.1:{control}", options=options)
        # The driver runs on this machine: files are handed over by path, as a local driver
        # would, not uploaded through a command chromedriver lacks.
        driver._is_remote = False
        try:
            yield driver
        finally:
            driver.quit()
    finally:
        for process in processes:
            process.terminate()
            process.wait(timeout=30)


def run_page(driver, paths):
    """(report text, exit status) of the page for these files, chosen in this order."""
    driver.get(PAGE)
    driver.find_element(By.ID, "files").send_keys("\n".join(paths))
    report = driver.find_element(By.ID, "report")
    WebDriverWait(driver, 120).until(lambda _: report.get_attribute("data-exit") is not None)
    return driver.execute_script("return arguments[0].textContent", report), \
        int(report.get_attribute("data-exit"))


def session(server, script, json_output=False):
    """(the console's output, [(name, bytes)] of the audit files the plugin wrote)."""
    with tempfile.TemporaryDirectory() as root:
        folder = os.path.join(root, "ArkApi", "Plugins", "Rollmoot")
        os.makedirs(folder)
        with open(os.path.join(folder, "config.json"), "w") as f:
            f.write(CONFIG)
        done = subprocess.run(server + ["--server-dir", root] + (["--json"] if json_output else []),
                              input=script.encode(), capture_output=True, timeout=600, check=True)
        audit = os.path.join(folder, "audit")
        files = []
        for name in sorted(os.listdir(audit)) if os.path.isdir(audit) else []:
            with open(os.path.join(audit, name), "rb") as f:
                files.append((name, f.read()))
    return done.stdout, files


def audit_files(log, written):
    """The audit files the plugin wrote or, from a plugin that writes none, the log's audit
    lines as such files hold them, a key per day, each with a UTC time before it."""
    if written:
        return written
    days, second = [], 0
    for line in log.decode("utf-8").split("\n"):
        found = re.match(r"[0-9/]{8} [0-9:]{5} \[Rollmoot\]\[info\] Rollmoot: Roll audit: "
                         r"((commitment|#|key).*)", line)
        if not found:
            continue
        if found.group(2) == "commitment":
            days.append([])
        second += 1
        days[-1].append(f"2026-12-{8 + len(days):02d}T00:{second // 60 % 60:02d}:{second % 60:02d}Z "
                        f"{found.group(1)}\n")
    return [(f"rolls-2026-12-{9 + i:02d}.txt", "".join(day).encode()) for i, day in enumerate(days)]


def write(folder, files):
    os.makedirs(folder, exist_ok=True)
    paths = []
    for name, data in files:
        paths.append(os.path.join(folder, name))
        with open(paths[-1], "wb") as f:
            f.write(data)
    return paths


def same_verdict(driver, verifier, name, paths, status=None):
    """The page and the script agree on these files; returns the script's (status, report)."""
    expected_status, report, _ = verifier.verify(
        [(os.path.basename(p), open(p, "rb").read()) for p in paths])
    expected = "\n".join(report)
    text, page_status = run_page(driver, paths)
    check((text, page_status) == (expected, expected_status),
          f"{name}: the page says {page_status} {text!r}, the script {expected_status} {expected!r}")
    check(status is None or expected_status == status, f"{name}: {expected_status} {expected}")
    return expected_status, expected


def cases(driver):
    names = sorted(os.listdir(CASES))
    for name in names:
        inputs = os.path.join(CASES, name, "input")
        with open(os.path.join(CASES, name, "expected.txt"), encoding="utf-8") as f:
            expected = f.read()
        with open(os.path.join(CASES, name, "exit.txt")) as f:
            status = int(f.read())
        text, page_status = run_page(driver, [os.path.join(inputs, n) for n in sorted(os.listdir(inputs))])
        check((text + "\n", page_status) == (expected, status),
              f"case {name}: the page says {page_status} {text!r}, the case {status} {expected!r}")
    print(f"page: {len(names)} cases as expected")


def fuzzed(driver, verifier, work, inputs=150):
    fuzz = load_module(os.path.join(HERE, "fuzz_test.py"), "fuzz_test")
    rng = fuzz.random.Random(7)
    pool = fuzz.seeds()
    for index in range(inputs):
        sources = [(name, fuzz.mutate(rng, lines)) for name, lines in rng.sample(pool, rng.randint(1, 2))]
        folder = os.path.join(work, "fuzz", str(index))
        paths = write(folder, [(f"{i}-{name}", data) for i, (name, data) in enumerate(sources)])
        same_verdict(driver, verifier, f"fuzz input {index} ({folder})", paths)
    print(f"page: {inputs} fuzzed inputs, the same verdicts as the script")


def tampered_copies(driver, verifier, work, log):
    lines = log.split(b"\n")
    own = rb"[0-9/]{8} [0-9:]{5} \[Rollmoot\]\[info\] Rollmoot: Roll audit: "
    records = [i for i, line in enumerate(lines) if re.match(own + b"#", line)]
    reveals = [i for i, line in enumerate(lines) if re.match(own + b"key ", line)]
    copies = {
        "value": lambda c: c.__setitem__(records[0], re.sub(
            rb"d20:([0-9]+)", lambda m: b"d20:%d" % (int(m.group(1)) % 20 + 1), c[records[0]], 1)),
        "reveal-deleted": lambda c: c.__delitem__(reveals[0]),
        "count": lambda c: c.__setitem__(reveals[0], c[reveals[0]].replace(b" after ", b" after 1")),
    }
    for name, change in copies.items():
        copy = list(lines)
        change(copy)
        [path] = write(os.path.join(work, "tampered-" + name), [("server.log", b"\n".join(copy))])
        status, report = same_verdict(driver, verifier, f"tampered {name}", [path], 1)
        check(report.startswith("FAILED: server.log:"), f"tampered {name}: {report}")


def d6_chart(driver, log_path, log):
    counts = [0] * 6
    for values in re.findall(rb'Roll audit: #[0-9]+ "Ann" d6:([1-6])\n', log):
        counts[int(values) - 1] += 1
    check(sum(counts) == D6_ROLLS, f"{sum(counts)} d6 records in the log")
    run_page(driver, [log_path])
    bars = driver.execute_script(
        "return [...document.querySelectorAll('section.die[data-sides=\"6\"] rect.bar')]"
        ".map(bar => Number(bar.getAttribute('data-count')))")
    rows = driver.execute_script(
        "return [...document.querySelectorAll('section.die[data-sides=\"6\"] tbody tr')]"
        ".map(row => Number(row.cells[1].textContent))")
    heading = driver.execute_script(
        "return document.querySelector('section.die[data-sides=\"6\"] h3').textContent")
    words = driver.execute_script(
        "return document.querySelector('section.die[data-sides=\"6\"] .words').textContent")
    check(bars == counts and rows == counts, f"bars {bars}, table {rows}, the log {counts}")
    check(heading == f"d6: {D6_ROLLS} dice", heading)
    check(words == "consistent with a fair die" or words.startswith("unlikely for a fair die (p = "),
          words)
    print(f"page: the d6 chart of {D6_ROLLS} rolls holds the log's counts {counts}")


def search(driver, log_path):
    run_page(driver, [log_path])
    box = driver.find_element(By.ID, "search")
    box.send_keys("img src")
    rows = driver.find_elements(By.CSS_SELECTOR, "#rolls tbody tr")
    check(len(rows) == 2, f"{len(rows)} rolls of the player named with HTML")
    cell = rows[0].find_elements(By.TAG_NAME, "td")[1]
    check(cell.text == HOSTILE and "&lt;img" in cell.get_attribute("innerHTML")
          and not driver.find_elements(By.CSS_SELECTOR, "#rolls img"), "a name shown as HTML")
    check(driver.title.startswith("Check the dice"), "a name's markup ran")
    box.clear()
    box.send_keys("ann")
    check(len(driver.find_elements(By.CSS_SELECTOR, "#rolls tbody tr")) == 3, "Ann's rolls by name")
    box.clear()
    time = driver.execute_script(
        "return document.querySelector('#rolls tbody tr td').textContent")
    box.send_keys(time)
    check(len(driver.find_elements(By.CSS_SELECTOR, "#rolls tbody tr")) >= 1, "rolls by time")
    box.clear()
    box.send_keys("nobody")
    check(driver.find_element(By.ID, "found").text == "0 rolls found", "a name nobody has")


def phone(driver, log_path):
    """At a phone's width nothing but the wide rolls table (which scrolls in its own box) is
    wider than the screen."""
    driver.set_window_size(360, 740)
    run_page(driver, [log_path])
    wider = driver.execute_script("""
        const width = document.documentElement.clientWidth;
        return [...document.querySelectorAll('main > *, pre, svg, .drop, textarea')]
            .filter(e => e.getBoundingClientRect().right > width + 1).map(e => e.id || e.tagName);""")
    check(not wider and driver.execute_script(
        "return document.documentElement.scrollWidth <= document.documentElement.clientWidth"),
        f"wider than a phone's screen: {wider}")


def no_network(driver):
    """Every request the page made was for a file: URL, and its policy refuses a connection
    (one to a closed local port, so nothing would leave the machine were it allowed)."""
    driver.get_log("performance")
    driver.get(PAGE)
    refused = driver.execute_async_script("""
        const done = arguments[0];
        document.addEventListener('securitypolicyviolation',
                                  (e) => done('refused ' + e.violatedDirective));
        fetch('http://127.0.0.1:9/').then(() => done('fetched'), () => {});""")
    check(refused.startswith("refused connect-src"), f"a connection from the page: {refused}")
    urls, network = [], []
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        if message["method"] == "Network.requestWillBeSent":
            url = message["params"]["request"]["url"]
            if message["params"].get("documentURL", "").startswith("file://"):
                urls.append(url)
            if re.match(r"(https?|wss?|ftp)://", url) and url != "http://127.0.0.1:9/":
                network.append(url)
    others = [u for u in urls if not u.startswith("file://") and u != "http://127.0.0.1:9/"]
    check(len(urls) >= 5 and not others and not network,
          f"requests other than the page's files: {others or network or urls}")
    print(f"page: {len(urls)} requests, all for its own files (and the refused one)")


def keyboard(driver):
    """Tab reaches the controls in order."""
    driver.get(PAGE)
    reached = []
    for _ in range(4):
        ActionChains(driver).send_keys(Keys.TAB).perform()
        reached.append(driver.switch_to.active_element.get_attribute("id"))
    check(reached[:3] == ["files", "pasted", "check-pasted"], f"tab order: {reached}")


def main(argv):
    split = argv.index("--")
    verifier_path, work, server = argv[1], argv[2], argv[split + 1:]
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    chromedriver = shutil.which("chromedriver")
    if webdriver is None or not chromium or not chromedriver:
        print("skipped: the page test needs python3-selenium, chromium and chromium-driver "
              "(scripts/setup.sh all installs them)")
        return 0
    verifier = load_module(verifier_path, "verify_rolls")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    log, log_files = session(server, SESSION)
    d6_log, d6_files = session(server, "join Ann\n" + "say Ann /d6\n" * D6_ROLLS)
    print("page: audit files " + ("as the plugin wrote them" if log_files and d6_files
                                  else "made from the log: the plugin wrote none"))
    with tempfile.TemporaryDirectory() as profile:
        with browser(chromium, chromedriver, profile) as driver:
            no_network(driver)
            keyboard(driver)
            cases(driver)
            fuzzed(driver, verifier, work)
            [log_path] = write(os.path.join(work, "session"), [("server.log", log)])
            same_verdict(driver, verifier, "the session's log", [log_path], 0)
            [json_path] = write(os.path.join(work, "session-json"),
                                [("server.jsonl", session(server, SESSION, True)[0])])
            same_verdict(driver, verifier, "the session's --json output", [json_path], 0)
            paths = write(os.path.join(work, "session-audit"), audit_files(log, log_files))
            same_verdict(driver, verifier, "the session's audit files", paths, 0)
            tampered_copies(driver, verifier, work, log)
            [d6_path] = write(os.path.join(work, "d6"), [("server.log", d6_log)])
            status, report = same_verdict(driver, verifier, "10,000 /d6", [d6_path], 0)
            check(report == f"verified: {D6_ROLLS} rolls, {D6_ROLLS} dice, 10 keys", report)
            d6_paths = write(os.path.join(work, "d6-audit"), audit_files(d6_log, d6_files))
            same_verdict(driver, verifier, "10,000 /d6 as audit files", d6_paths, 0)
            d6_chart(driver, d6_path, d6_log)
            search(driver, log_path)
            phone(driver, d6_path)
            driver.set_window_size(640, 900)
            run_page(driver, [d6_path])
            driver.execute_script("document.getElementById('result').scrollIntoView()")
            driver.save_screenshot(os.path.join(work, "verify-page.png"))
    print("verify page: ok")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except Failure as failure:
        print(f"FAIL: {failure}")
        sys.exit(1)
