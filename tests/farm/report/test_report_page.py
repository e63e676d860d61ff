"""The report page of a run, opened from its file in a real browser: the
counts, the state of named frames, the failures' reasons, the nodes, and
thumbnails the browser could decode. A screenshot of each page is taken;
with VELDRA_REPORT_SCREENSHOTS=FOLDER they are kept there to look at."""

import os

import pytest


def open_page(browser, path, name, tmp_path):
    browser.get(path.as_uri())
    assert browser.execute_script("return document.readyState") == "complete"
    height = browser.execute_script("return document.body.scrollHeight")
    browser.set_window_size(1200, height + 40)
    keep = os.environ.get("VELDRA_REPORT_SCREENSHOTS")
    shot = os.path.join(keep, name + ".png") if keep else str(tmp_path / (name + ".png"))
    assert browser.save_screenshot(shot)
    assert os.path.getsize(shot) > 10000


def counts(browser):
    return browser.execute_script(
        "const c = {}; for (const li of document.querySelectorAll('#counts li'))"
        " c[li.dataset.state] = Number(li.querySelector('.count').textContent); return c;")


def state_of(browser, frame):
    """The state the page's frame table gives `frame`."""
    return browser.execute_script(
        "for (const row of document.querySelectorAll('#frames tr[data-state]'))"
        " if (Number(row.dataset.first) <= arguments[0] && arguments[0] <= Number(row.dataset.last))"
        "  return row.dataset.state; return null;", frame)


def nodes(browser):
    return browser.execute_script("return [...document.querySelectorAll('#nodes tr[data-node]')]"
                                  ".map(row => row.dataset.node)")


def thumbnails(browser):
    """Frame and decoded width of every thumbnail, once every picture is in."""
    return browser.execute_script(
        "return [...document.querySelectorAll('#sheet figure')].map(f => {"
        " const img = f.querySelector('img');"
        " return [Number(f.dataset.frame), img && img.complete ? img.naturalWidth : 0]; });")


# Every frame done, over two nodes: the counts, each node's frames, and a
# thumbnail of every frame that the browser decoded.
def test_finished_run(browser, make_run, tmp_path):
    run = make_run(6, 3)
    run.task(0, "nodeA")
    run.task(1, "nodeB")
    open_page(browser, run.page(), "finished", tmp_path)
    assert counts(browser) == {"done": 6, "pending": 0, "suspended": 0, "running": 0, "missing": 0, "never-ran": 0,
                               "record-damaged": 0, "failed": 0}
    assert "Finished: every frame is done" in browser.find_element("id", "summary").text
    assert [state_of(browser, frame) for frame in (1, 6)] == ["done", "done"]
    assert nodes(browser) == ["nodeA", "nodeB"]
    shown = thumbnails(browser)
    assert [frame for frame, _ in shown] == [1, 2, 3, 4, 5, 6]
    assert all(width == 48 for _, width in shown), shown
    assert browser.find_element("id", "no-failures")


# A frame that cannot be read: its state, its reason and log, and the
# frames around it done.
def test_run_with_failures(browser, make_run, tmp_path):
    run = make_run(6, 3, broken=(4,))
    run.task(0, "nodeA")
    run.task(1, "nodeB")
    open_page(browser, run.page(), "failures", tmp_path)
    assert counts(browser)["failed"] == 1 and counts(browser)["done"] == 5
    assert [state_of(browser, frame) for frame in (3, 4, 5)] == ["done", "failed", "done"]
    rows = browser.find_elements("css selector", "#failures tr.failure")
    assert len(rows) == 1
    assert rows[0].get_attribute("data-frames") == "4"
    reason = rows[0].find_element("css selector", ".reason").text
    assert "shot.0004.png" in reason and "not an image" in reason, reason
    assert rows[0].find_element("css selector", ".nodes").text == "nodeB"
    log = rows[0].find_element("css selector", "a")
    assert log.text == "100_1.log"
    assert log.get_attribute("href") == (run.path / "logs" / "100_1.log").as_uri()
    assert "Ended:" in browser.find_element("id", "summary").text


# A run still going: Slurm runs the second task; its frames show running,
# the first task's are done, and the tasks table says which runs where.
def test_run_still_going(browser, make_run, tmp_path):
    run = make_run(6, 3)
    run.task(0, "nodeA")
    run.slurm_says(["100|1|RUNNING|None|0", "101|N/A|PENDING|Dependency|0"])
    open_page(browser, run.page(), "going", tmp_path)
    assert counts(browser)["done"] == 3 and counts(browser)["running"] == 3
    assert [state_of(browser, frame) for frame in (2, 5)] == ["done", "running"]
    assert browser.find_element("id", "summary").text.startswith("Running: 3 of 6 frames done")
    states = browser.execute_script("return [...document.querySelectorAll('#tasks tr.task')]"
                                    ".map(row => row.dataset.state)")
    assert states == ["ended", "running"]
    assert "left at the pace so far" in browser.find_element("id", "times").text
    assert [frame for frame, width in thumbnails(browser) if width > 0] == [1, 2, 3]
