# SPDX-License-Identifier: Apache-2.0
"""The code blocks of README.md and of every page in docs/, run as printed.

How a page writes its examples (every page follows this; a new page is found
by the glob, not by a list here):

- A ```sh block runs with bash, a ```python block with this build's module
  `ombrel` on PYTHONPATH. Each page's blocks run in the page's order, in one
  fresh folder per page holding a copy of samples/, with the built `ombrel`
  first on PATH and CMAKE_PREFIX_PATH naming an install of this build (as
  libombrel-dev is in /usr). Call the tool `ombrel`, never `build/ombrel`.
- What a block prints (stdout and stderr together) must be the ```text block
  that follows it directly, or nothing when none follows. In an expected line
  "…" stands for any text: the figures that change with a fresh random key.
- A python block runs after the page's earlier python blocks, whose output is
  not checked again, so it can use the names they made.
- A ```cmake or ```cpp block whose first line is `# file: NAME` (`// file:`
  for C++) is written to NAME in the page's folder, for a later sh block to
  build. Every `Ombrel::` target a cmake block names must be one the build
  exports.
- A block whose first line is `# needs: root`, `# needs: hosts` or
  `# needs: cluster` cannot run here: it must parse (`bash -n`, or Python's
  compile), and every option a shell block gives `ombrel COMMAND` must be one
  that command's --help lists.
- Any other fence (```ini, ```text on its own) is not code.
"""

import os
import re
import shlex
import shutil
import subprocess
import sys
from functools import cache
from pathlib import Path

import pytest

SOURCE = Path(os.environ["OMBREL_SOURCE_DIR"])
TOOL = Path(os.environ["OMBREL_CLI"])
BUILD = Path(os.environ["OMBREL_BUILD_DIR"])
MODULE_PATH = os.environ["OMBREL_PYTHONPATH"]
PAGES = ["README.md"] + sorted(str(p.relative_to(SOURCE)) for p in (SOURCE / "docs").glob("*.md"))

BLOCK = re.compile(r"^```(sh|python|cmake|cpp)\n(.*?)^```\n(?:```text\n(.*?)^```\n)?", re.S | re.M)
NEEDS = re.compile(r"\A# needs: (root|hosts|cluster)\n")
FILE = re.compile(r"\A(?:#|//) file: (\S+)\n")
COMMANDS = ["embed", "extract", "verify", "attack", "evaluate", "compare", "demo", "keygen"]


def blocks(page):
    """The page's (language, code, expected output) triples, in order."""
    text = (SOURCE / page).read_text()
    return [(lang, code, output or "") for lang, code, output in BLOCK.findall(text)]


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
        for i, (lang, code, output) in enumerate(blocks(page)):
            yield pytest.param(page, i, lang, code, output, id=f"{page}#{i + 1}")


_folders = {}


def folder_for(page, factory):
    """One folder per page, shared by its blocks in order, with samples/ in it."""
    if page not in _folders:
        folder = factory.mktemp(page.replace("/", "-").replace(".", "-"))
        shutil.copytree(SOURCE / "samples", folder / "samples")
        _folders[page] = folder
    return _folders[page]


@pytest.fixture(scope="session")
def prefix(tmp_path_factory):
    """This build installed under a scratch prefix, for the C++ examples."""
    where = tmp_path_factory.mktemp("prefix")
    subprocess.run(["cmake", "--install", str(BUILD), "--prefix", str(where)], check=True,
                   stdout=subprocess.DEVNULL)
    return where


@cache
def options_of(command):
    """Every --option that `ombrel COMMAND --help` names."""
    done = subprocess.run([str(TOOL), command, "--help"], capture_output=True, text=True, check=True)
    return set(re.findall(r"--[a-z][a-z0-9-]*", done.stdout))


def tool_calls(code):
    """(command, [--options]) for every `ombrel COMMAND ...` in a shell block,
    quoted ones (a command handed to parallel or srun) included."""
    calls = []

    def scan(text):
        lexer = shlex.shlex(text, posix=True, punctuation_chars=True)
        lexer.whitespace_split = True
        lexer.commenters = "#"
        words = list(lexer)
        for i, word in enumerate(words):
            if " " in word:
                scan(word)
            if Path(word).name == "ombrel" and i + 1 < len(words) and words[i + 1] in COMMANDS:
                opts = []
                for w in words[i + 2:]:
                    if w and w[0] in ";|&()<>":
                        break
                    if w.startswith("--"):
                        opts.append(w.split("=", 1)[0])
                calls.append((words[i + 1], opts))

    for line in code.replace("\\\n", " ").splitlines():
        scan(line)
    return calls


def python_program(earlier, code):
    """The block after the page's earlier python blocks, their output dropped."""
    return (
        "import contextlib, io\n"
        f"with contextlib.redirect_stdout(io.StringIO()):\n    exec(compile({earlier!r}, 'earlier', 'exec'))\n"
        f"exec(compile({code!r}, 'block', 'exec'))\n"
    )


@pytest.mark.parametrize("page, index, lang, code, output", cases())
def test_the_block_does_what_the_page_shows(page, index, lang, code, output, tmp_path_factory, prefix):
    folder = folder_for(page, tmp_path_factory)
    env = {
        **os.environ,
        "PATH": f"{TOOL.parent}{os.pathsep}{os.environ['PATH']}",
        "PYTHONPATH": MODULE_PATH,
        "CMAKE_PREFIX_PATH": str(prefix),
        "LC_ALL": "C.UTF-8",
    }
    if needs := NEEDS.match(code):
        assert not output, f"block {index + 1} of {page} needs {needs[1]} and so cannot show what it prints"
        if lang == "python":
            compile(code, f"block {index + 1} of {page}", "exec")
        elif lang == "sh":
            parsed = subprocess.run(["bash", "-n"], input=code, capture_output=True, text=True)
            assert parsed.returncode == 0, f"block {index + 1} of {page}: {parsed.stderr}"
            for command, opts in tool_calls(code):
                unknown = set(opts) - options_of(command)
                assert not unknown, f"block {index + 1} of {page}: ombrel {command} has no {sorted(unknown)}"
        return
    if lang in ("cmake", "cpp"):
        named = FILE.match(code)
        if lang == "cmake":
            exported = exported_targets()
            for target in re.findall(r"Ombrel::\w+", code):
                assert target in exported, f"block {index + 1} of {page}: no target {target}"
        if named:
            (folder / named[1]).write_text(code)
        else:
            assert lang == "cmake", f"block {index + 1} of {page}: a C++ block must say its file"
        assert not output, f"block {index + 1} of {page} is a file and prints nothing"
        return
    if lang == "python":
        earlier = "".join(c for l, c, _ in blocks(page)[:index] if l == "python" and not NEEDS.match(c))
        command = [sys.executable, "-c", python_program(earlier, code)]
    else:
        command = ["bash", "-c", code]
    done = subprocess.run(
        command,
        cwd=folder,
        env=env,
        stdin=subprocess.DEVNULL,
        stdout=subprocess.PIPE,
        stderr=subprocess.STDOUT,
        text=True,
        timeout=300,
    )
    assert matches(output, done.stdout), f"block {index + 1} of {page} printed:\n{done.stdout}"


@cache
def exported_targets():
    """Ombrel::NAME for every target the build's install exports."""
    names = set()
    for exported in BUILD.glob("**/CMakeFiles/Export/**/Ombrel*Targets.cmake"):
        names |= set(re.findall(r"add_library\((Ombrel::\w+) ", exported.read_text()))
    assert names, f"no exported targets under {BUILD}"
    return names


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
    code = "".join(code for _, code, _ in blocks("docs/keyed-marks.md"))
    assert re.search(pattern, code, re.M), f"no block of docs/keyed-marks.md shows {what}"


@pytest.mark.parametrize("page", PAGES)
def test_the_pages_call_the_tool_by_its_name(page):
    for _, code, _ in blocks(page):
        assert "build/ombrel" not in code


@pytest.mark.parametrize("page", ["docs/keyed-marks.md", "docs/keyed-format.md", "docs/tool.md",
                                  "docs/python.md", "docs/cpp.md", "README.md"])
def test_the_page_has_examples_and_is_tested(page):
    assert page in PAGES, f"{page} is not among the pages tested"
    assert blocks(page), f"{page} has no example"


def test_an_ellipsis_stands_for_any_text_and_nothing_else_does():
    assert matches("PSNR: … dB\nintact\n", "PSNR: 58.05 dB\nintact\n")
    assert not matches("PSNR: … dB\nintact\n", "PSNR: 58.05 dB\naltered\n")
    assert not matches("Bits: 0\n", "Bits: 0\nextra\n")
    assert not matches("a.b\n", "axb\n")


@pytest.mark.parametrize(
    "code, calls",
    [
        ("ombrel embed a.bmp w.bmp -t 3 --fit -o m.png\n", [("embed", ["--fit"])]),
        ("parallel -S h1 'ombrel evaluate d --watermark w -o s-{} --shard {}/4' ::: 1 2\n",
         [("evaluate", ["--watermark", "--shard"])]),
        ("srun ombrel verify a.png \\\n    --quiet --csv=v.csv | sort\n", [("verify", ["--quiet", "--csv"])]),
        ("ombrel compare a b; echo --not-an-option\n", [("compare", [])]),
    ],
)
def test_the_tool_calls_of_a_block_that_cannot_run_are_read_with_their_options(code, calls):
    assert tool_calls(code) == calls
