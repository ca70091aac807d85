#!/usr/bin/env python3
"""meshcheck --report as a user sees it: the page opened from file:// in a
headless Chromium through Selenium, and validated by tidy.

    report_browser.py BUILD_DIR SOURCE_DIR [--screenshot FILE.png]

Exits 77 (skipped) with the reason when Chromium, its driver, Selenium or
tidy is missing; 0 when every check passes; 1 at the first that fails.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77


def skip(why):
    print(f"SKIPPED: {why} (Debian: chromium chromium-driver python3-selenium tidy)")
    sys.exit(SKIP)


def fail(why):
    print(f"FAILED: {why}")
    sys.exit(1)


def browser():
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.options import Options
        from selenium.webdriver.chrome.service import Service
    except ImportError:
        skip("no Selenium for this Python")
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    driver = shutil.which("chromedriver") or (
        "/usr/bin/chromedriver" if os.path.exists("/usr/bin/chromedriver") else None)
    if not chromium or not driver:
        skip("no chromium or chromedriver")
    options = Options()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                     "--window-size=1280,900", "--disable-dev-shm-usage"):
        options.add_argument(argument)
    options.binary_location = chromium
    return webdriver.Chrome(service=Service(driver), options=options)


def make_mod(build, source, folder):
    """A mod folder: the sample (errors), the sample as meshmend leaves it
    (ok), a file that is no model (invalid), and an archive whose members'
    names are markup, one of them the head of a player (errors) whose folder
    is markup too."""
    sample = os.path.join(source, "samples", "skiff.md3")
    models = os.path.join(folder, "models")
    os.makedirs(models)
    shutil.copy(sample, os.path.join(models, "skiff.md3"))
    shutil.copy(sample, os.path.join(models, "mended.md3"))
    subprocess.run([os.path.join(build, "meshmend", "meshmend"), os.path.join(models, "mended.md3")],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(os.path.join(models, "broken.md3"), "wb") as f:
        f.write(b"IDP3" + bytes(200))
    subprocess.run([os.path.join(build, "tools", "make_archive"), os.path.join(folder, "pak.pk3"),
                    f"models/<script>alert(1)</script>.md3={sample}",
                    f"models/a&b\"c'.md3={os.path.join(models, 'mended.md3')}",
                    f"models/players/<b>p&q/head.md3={sample}"],
                   check=True)


def run_meshcheck(build, mod, report):
    """Run from the folder that holds both, so that the page shows the paths
    a user would type."""
    meshcheck = os.path.abspath(os.path.join(build, "meshcheck", "meshcheck"))
    lines = subprocess.run([meshcheck, "--json", "--report", os.path.basename(report),
                            os.path.basename(mod)], capture_output=True, text=True,
                           cwd=os.path.dirname(report)).stdout.splitlines()
    return [json.loads(line) for line in lines]


def check_tidy(page):
    if not shutil.which("tidy"):
        skip("no tidy")
    result = subprocess.run(["tidy", "-errors", "-quiet", page], capture_output=True, text=True)
    if result.returncode != 0:
        fail(f"tidy finds errors:\n{result.stderr}")


def check_summary(driver, records):
    counted = [r for r in records if not r.get("shadowed")]
    for health in ("ok", "warnings", "errors", "invalid", "unreadable"):
        cell = driver.find_element("css selector", f'#by-health tr[data-name="{health}"] td.number')
        want = sum(1 for r in counted if r["health"] == health)
        if int(cell.text) != want:
            fail(f"the summary shows {cell.text} {health}, the JSON {want}")
    for row in driver.find_elements("css selector", "#by-kind tr[data-name]"):
        kind = row.get_attribute("data-name")
        want = sum(1 for r in counted if any(p["kind"] == kind for p in r["problems"]))
        if int(row.find_element("css selector", "td.number").text) != want:
            fail(f"the summary counts kind {kind} wrong")


def shown_path(record):
    for kind in ("player", "weapon"):
        if kind in record:
            return (record["path"] + ":" if "path" in record else "") + record[kind]
    return record["path"] + (":" + record["member"] if "member" in record else "")


def check_rows(driver, records):
    rows = driver.find_elements("css selector", "#records tbody tr")
    if len(rows) != len(records):
        fail(f"{len(rows)} rows for {len(records)} records")
    paths = [row.get_attribute("data-path") for row in rows]
    for record in records:
        if shown_path(record) not in paths:
            fail(f"no row for {shown_path(record)!r}")
    ranks = [int(row.get_attribute("data-rank")) for row in rows]
    if ranks != sorted(ranks):
        fail("the rows are not worst first")
    hostile = [p for p in paths if "<script>" in p]
    if not hostile:
        fail("the hostile member has no row")
    link = driver.find_element("css selector", f'#records a[href="#{rows[paths.index(hostile[0])].get_attribute("id")[4:]}"]')
    if "<script>alert(1)</script>" not in link.text:
        fail(f"the hostile name shows as {link.text!r}, not as text")
    if driver.execute_script("return document.querySelectorAll('body script').length") != 1:
        fail("a name became a script")
    player = next(r for r in records if "player" in r)
    row = rows[paths.index(shown_path(player))]
    if row.get_attribute("data-kind") != "player" or "<b>p&q" not in row.text:
        fail(f"the player's row shows {row.text!r}")
    section = driver.find_element("id", row.get_attribute("id")[4:])
    if section.find_elements("tag name", "img") or \
            len(section.find_elements("tag name", "li")) != len(player["problems"]):
        fail(f"the player's section shows {section.text!r}")


def check_pictures(driver, records):
    for section in driver.find_elements("css selector", "section.record"):
        row = driver.find_element("id", "row-" + section.get_attribute("id"))
        if row.get_attribute("data-health") != "errors" or row.get_attribute("data-kind") != "model":
            continue
        images = section.find_elements("tag name", "img")
        if not images:
            fail(f"no picture for {row.get_attribute('data-path')!r}")
        width = driver.execute_script(
            "var i = arguments[0]; return i.complete ? i.naturalWidth : -1", images[0])
        if width != 1200:
            fail(f"the picture of {row.get_attribute('data-path')!r} loads {width} pixels wide")


def check_filter_and_sort(driver):
    from selenium.webdriver.support.ui import Select
    rows = driver.find_elements("css selector", "#records tbody tr")
    Select(driver.find_element("id", "filter-health")).select_by_value("errors")
    for row in rows:
        errors = row.get_attribute("data-health") == "errors"
        if row.is_displayed() != errors:
            fail(f"the errors filter {'hides' if errors else 'shows'} {row.get_attribute('data-path')!r}")
    Select(driver.find_element("id", "filter-health")).select_by_value("")
    Select(driver.find_element("id", "filter-kind")).select_by_value("player_part_missing")
    if [r.get_attribute("data-kind") for r in rows if r.is_displayed()] != ["player"]:
        fail("the player_part_missing filter shows more or less than the player")
    Select(driver.find_element("id", "filter-kind")).select_by_value("")
    if not all(row.is_displayed() for row in rows):
        fail("choosing all again leaves rows hidden")
    driver.find_element("css selector", 'th[data-key="size"] button').click()
    sizes = [int(r.get_attribute("data-size"))
             for r in driver.find_elements("css selector", "#records tbody tr")]
    if sizes != sorted(sizes):
        fail(f"sorting by size gives {sizes}")
    driver.find_element("css selector", 'th[data-key="size"] button').click()
    sizes = [int(r.get_attribute("data-size"))
             for r in driver.find_elements("css selector", "#records tbody tr")]
    if sizes != sorted(sizes, reverse=True):
        fail(f"sorting by size again gives {sizes}")


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    build, source = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    screenshot = sys.argv[4] if len(sys.argv) > 4 and sys.argv[3] == "--screenshot" else None
    driver = browser()
    with tempfile.TemporaryDirectory() as scratch:
        mod = os.path.join(scratch, "mymod")
        report = os.path.join(scratch, "report")
        make_mod(build, source, mod)
        records = run_meshcheck(build, mod, report)
        page = os.path.join(report, "index.html")
        check_tidy(page)
        try:
            driver.get("file://" + page)
            check_summary(driver, records)
            check_rows(driver, records)
            check_pictures(driver, records)
            if screenshot:
                driver.save_screenshot(screenshot)
            check_filter_and_sort(driver)
        finally:
            driver.quit()
        with open(page, "rb") as f:
            first = f.read()
        run_meshcheck(build, mod, report)
        with open(page, "rb") as f:
            if f.read() != first:
                fail("a second run over the same mod writes other bytes")
    print("the page shows what the JSON says, filters, sorts and escapes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
