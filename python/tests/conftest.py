"""Fixtures: the build under test (TESSARY_LIBRARY, TESSARY_CLI) and its sample data."""
import importlib.util
import json
import os
import subprocess
import sys

import pytest

# The installed package when PYTHONPATH names it, else the source beside the tests.
if importlib.util.find_spec("tessary") is None:
    sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

CLI = os.environ.get("TESSARY_CLI", "tessary")


def cli(*args: str, env=None) -> object:
    """The tessary command's JSON answer."""
    out = subprocess.run([CLI, *args, "--json"], check=True, capture_output=True, env=env)
    return json.loads(out.stdout)


def run_python(code: str, **env: str) -> str:
    """Runs `code` in a fresh interpreter (the library loads one database per process)."""
    # The code goes in on standard input: a command line would be decoded in the child's locale.
    result = subprocess.run([sys.executable, "-"], input=code, capture_output=True, text=True,
                            errors="replace",
                            env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path), **env})
    assert result.returncode == 0, result.stderr
    return result.stdout


@pytest.fixture(scope="session")
def sample_dir(tmp_path_factory):
    path = str(tmp_path_factory.mktemp("data") / "sample")
    subprocess.run([CLI, "sample", path, "--symbols", "3000"], check=True, capture_output=True)
    return path


@pytest.fixture(scope="session")
def loaded(sample_dir):
    import tessary
    return tessary.open(sample_dir)


@pytest.fixture()
def db(loaded, sample_dir):
    # One database per process: load the sample again only when a test left another loaded.
    same = os.path.realpath(loaded.path) == os.path.realpath(sample_dir)
    return loaded if same else loaded.reload(sample_dir)
