# SPDX-License-Identifier: Apache-2.0
"""The shell examples of the keyed-mark pages, run as printed.

Every ```sh block of a page runs with bash, in the page's order, in one fresh
folder per page holding a copy of samples/, with the built ombrel first on
PATH. What it prints (stdout and stderr together) must be the ```text block
that follows it directly, or nothing when none follows. In an expected line
"…" stands for any text: the figures that change with a fresh random key.
"""

import os
import re
import shutil
import subprocess
from pathlib import Path

import pytest

SOURCE = Path(os.environ["OMBREL_SOURCE_DIR"])
TOOL = Path(os.environ["OMBREL_CLI"])
PAGES = ["keyed-marks.md", "keyed-format.md"]

BLOCK = re.compile(r"^```sh\n(.*?)^```\n(?:```text\n(.*?)^```\n)?", re.S | re.M)


def blocks(page):
    """The page's (code, expected output) pairs, in order."""
    text = (SOURCE / "docs" / page).read_text()
    return [(code, output or "") for code, output in BLOCK.findall(text)]


def matches(expected, printed):
    """Line by line; "…" in an expected line matches any text."""
    want, got = expected.splitlines(), printed.splitlines()
    if len(want) != len(got):
        return False
    for w, g in zip(want, got):
        if not re.fullmatch(".*".join(map(re.escape, w.split("…"))), g):
            return False
    return True


def cases():
    for page in PAGES:
        for i, (code, output) in enumerate(blocks(page)):
            yield pytest.param(page, i, code, output, id=f"{page}#{i + 1}")


_folders = {}


def folder_for(page, factory):
    """One folder per page, shared by its blocks in order, with samples/ in it."""
    if page not in _folders:
        folder = factory.mktemp(page.replace(".", "-"))
        shutil.copytree(SOURCE / "samples", folder / "samples")
        _folders[page] = folder
    return _folders[page]


@pytest.mark.parametrize("page, index, code, output", cases())
def test_the_block_prints_what_the_page_shows(page, index, code, output, tmp_path_factory):
    folder = folder_for(page, tmp_path_factory)
    env = {**os.environ, "PATH": f"{TOOL.parent}{os.pathsep}{os.environ['PATH']}", "LC_ALL": "C.UTF-8"}
    done = subprocess.run(
        ["bash", "-c", code],
        cwd=folder,
        env=env,
        stdin=subprocess.DEVNULL,
        stdout=subprocess.PIPE,
        stderr=subprocess.STDOUT,
        text=True,
        timeout=300,
    )
    assert matches(output, done.stdout), f"block {index + 1} of {page} printed:\n{done.stdout}"


@pytest.mark.parametrize(
    "what, pattern",
    [
        ("keygen", r"^ombrel keygen "),
        ("embed with a key file", r"^ombrel embed .*--key-file "),
        ("verify, intact", r"^ombrel verify .*--key-file "),
        ("a changed region", r"^convert .*-draw "),
        ("a passphrase file made private", r"^chmod 600 .*\n(.*\n)*ombrel .*--passphrase-file "),
        ("a key from a process substitution", r"--key-file <\(cat "),
        ("the many-file form by name", r"^ombrel (embed|verify) \S+/ .*--id-from-name"),
        ("verify --quiet", r"^ombrel verify .*--quiet"),
    ],
)
def test_the_users_page_shows(what, pattern):
    code = "".join(code for code, _ in blocks("keyed-marks.md"))
    assert re.search(pattern, code, re.M), f"no block of docs/keyed-marks.md shows {what}"


@pytest.mark.parametrize("page", PAGES)
def test_the_pages_call_the_tool_by_its_name(page):
    for code, _ in blocks(page):
        assert "build/ombrel" not in code
    assert blocks(page), f"{page} has no shell example"


def test_an_ellipsis_stands_for_any_text_and_nothing_else_does():
    assert matches("PSNR: … dB\nintact\n", "PSNR: 58.05 dB\nintact\n")
    assert not matches("PSNR: … dB\nintact\n", "PSNR: 58.05 dB\naltered\n")
    assert not matches("Bits: 0\n", "Bits: 0\nextra\n")
    assert not matches("a.b\n", "axb\n")
