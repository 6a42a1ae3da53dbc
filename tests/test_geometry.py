"""Overlap geometry checked in C++ (polygon clipping in both forms, disc-polygon and
disc-rectangle areas): geometry_check.cpp prints one "<name> ok|FAIL <detail>" line per check."""

import pytest

from conftest import SRC, TESTS, check_names, run_check_program

CHECK_SOURCE = TESTS / "geometry_check.cpp"
CHECKS = check_names(CHECK_SOURCE)


@pytest.fixture(scope="module")
def report(tmp_path_factory):
    return run_check_program(tmp_path_factory, "geometry_check",
                             [CHECK_SOURCE, SRC / "geometry" / "geometry.cpp"])


def test_program_runs_every_check_and_nothing_else(report):
    lines, run = report
    assert run.returncode == 0 and not run.stderr, (run.returncode, run.stderr)
    assert list(lines) == CHECKS


@pytest.mark.parametrize("name", CHECKS)
def test_geometry(report, name):
    lines, run = report
    assert name in lines, f"check did not run (exit status {run.returncode}): {run.stderr}"
    assert lines[name] == "ok", lines[name]
