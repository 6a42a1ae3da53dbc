"""Overlap geometry checked in C++ (polygon clipping in both forms, disc-polygon and
disc-rectangle areas): geometry_check.cpp prints one "<name> ok|FAIL <detail>" line per check."""

import re
import shutil
import subprocess
from pathlib import Path

import pytest

TESTS = Path(__file__).resolve().parent
SRC = TESTS.parent / "src"
FLAGS = ["-std=c++20", "-O2", "-ffp-contract=off", f"-I{SRC}"]
CHECK_SOURCE = TESTS / "geometry_check.cpp"
CHECKS = re.findall(r'check\("(\w+)"', CHECK_SOURCE.read_text())


@pytest.fixture(scope="module")
def report(tmp_path_factory):
    cxx = shutil.which("g++") or shutil.which("c++")
    if cxx is None:
        pytest.skip("no C++ compiler")
    out = tmp_path_factory.mktemp("geometry")
    sources = {out / "check.o": CHECK_SOURCE, out / "geometry.o": SRC / "geometry" / "geometry.cpp"}
    # The two translation units compile side by side, then link.
    jobs = [subprocess.Popen([cxx, *FLAGS, "-c", str(src), "-o", str(obj)], stderr=subprocess.PIPE,
                             text=True) for obj, src in sources.items()]
    results = [(job.communicate()[1], job.returncode) for job in jobs]
    assert all(rc == 0 for _, rc in results), "\n".join(err for err, _ in results)
    exe = out / "geometry_check"
    link = subprocess.run([cxx, *map(str, sources), "-o", str(exe)], capture_output=True, text=True)
    assert link.returncode == 0, link.stderr
    run = subprocess.run([str(exe)], capture_output=True, text=True, timeout=300)
    lines = dict(line.partition(" ")[::2] for line in run.stdout.splitlines())
    return lines, run


def test_program_runs_every_check_and_nothing_else(report):
    lines, run = report
    assert run.returncode == 0 and not run.stderr, (run.returncode, run.stderr)
    assert list(lines) == CHECKS


@pytest.mark.parametrize("name", CHECKS)
def test_geometry(report, name):
    lines, run = report
    assert name in lines, f"check did not run (exit status {run.returncode}): {run.stderr}"
    assert lines[name] == "ok", lines[name]
