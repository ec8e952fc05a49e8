"""Bad input gives a documented exception with a message saying what was wrong, never a crash."""
import os
import shutil
import subprocess

import pytest
from conftest import CLI, run_python

import tessary
from tessary import EncodingError, LibraryNotFoundError, LoadError, NotFoundError, _library


@pytest.mark.parametrize("call, error, message", [
    (lambda db: db.symbol(None), TypeError, "symbol must be a str, not NoneType"),
    (lambda db: db.symbol(b"600000.SH"), TypeError, "not bytes"),
    (lambda db: db.search(60), TypeError, "text must be a str"),
    (lambda db: db.search("6", limit=-1), ValueError, "limit -1 is out of range"),
    (lambda db: db.search("6", limit=True), TypeError, "limit must be an int"),
    (lambda db: db.search("6", exchange="SH"), TypeError, "exchange must be an int"),
    (lambda db: db.search("6", keys=1), TypeError, "keys must be a bool"),
    (lambda db: db.search("6", exchange=99), NotFoundError, "there is no exchange 99"),
    (lambda db: db.search("6\0"), ValueError, "NUL"),
    (lambda db: db.search("\ud800"), EncodingError, "cannot be written in utf-8"),
    (lambda db: db.listing(99), NotFoundError, "exchange 99 has no symbol table"),
    (lambda db: db.listing(2**31), ValueError, "out of range"),
    (lambda db: db.subgroups(99), NotFoundError, "group 99 does not exist"),
    (lambda db: db.subgroups(2, "G99"), NotFoundError, "group 2 has no subgroup 'G99'"),
    (lambda db: db.group_symbols(2, "G99"), NotFoundError, "group 2 has no leaf group 'G99'"),
    (lambda db: db.group_symbols(2, None), TypeError, "code must be a str"),
    (lambda db: db.symbols("600000.SH"), TypeError, "texts must be a list of str"),
    (lambda db: db.symbols(["1.SH,2.SH"]), ValueError, "holds a comma"),
    (lambda db: tessary.open(None), TypeError, "path must be a str"),
    (lambda db: tessary.open(42), TypeError, "path must be a str"),
    (lambda db: tessary.open("/nonexistent/data"), LoadError, "/nonexistent/data: no such dir"),
    (lambda db: tessary.open(__file__), LoadError, "not a directory"),
    (lambda db: tessary.open(db.path, encoding="gbk"), EncodingError, "LC_ALL=zh_CN.GBK"),
    (lambda db: tessary.open(db.path, encoding="klingon"), EncodingError, "unknown encoding"),
])
def test_bad_input(db, call, error, message):
    with pytest.raises(error, match=message.replace("(", r"\(")):
        call(db)


def test_equivalent_encoding_names_are_accepted(db):
    assert tessary.open(db.path, encoding="UTF8").encoding == "utf-8"


def test_library_lookup_names_every_place_tried(monkeypatch):
    monkeypatch.delenv("TESSARY_LIBRARY", raising=False)
    monkeypatch.setattr(_library, "FILE_NAME", "libtessary-absent.so")
    monkeypatch.setattr(_library, "RUNTIME_NAMES", [])
    with pytest.raises(LibraryNotFoundError) as caught:
        _library.load()
    text = str(caught.value)
    assert "TESSARY_LIBRARY (not set)" in text and "system's library path" in text
    package = os.path.dirname(os.path.abspath(tessary.__file__))
    assert os.path.join(package, "libtessary-absent.so (no such file)") in text
    monkeypatch.setenv("TESSARY_LIBRARY", "/nonexistent/libtessary.so")
    with pytest.raises(LibraryNotFoundError, match="TESSARY_LIBRARY='/nonexistent"):
        _library.load()


def test_library_found_on_the_system_path(sample_dir):
    folder = os.path.dirname(os.environ["TESSARY_LIBRARY"])
    out = run_python(f"import tessary; print(tessary.open({sample_dir!r}).library_path)",
                     TESSARY_LIBRARY="", LD_LIBRARY_PATH=folder)
    assert out.strip() == "libtessary.so"


def test_damaged_directory(sample_dir, tmp_path):
    damaged = tmp_path / "damaged"
    shutil.copytree(sample_dir, damaged)
    with open(damaged / "SymTbl" / "Group", "r+b") as group:
        group.truncate(30)
    assert subprocess.run([CLI, "check", str(damaged)], capture_output=True).returncode == 1
    out = run_python(f"""
import tessary
try:
    tessary.open({str(damaged)!r})
except tessary.LoadError as error:
    print("LoadError:", error)
""")
    assert out.startswith(f"LoadError: {damaged}: ")


def test_reload(db, sample_dir, tmp_path):
    other = str(tmp_path / "other")
    subprocess.run([CLI, "sample", other, "--symbols", "200", "--seed", "7"], check=True)
    if not db.can_reload:
        with pytest.raises(LoadError, match="cannot replace a loaded database"):
            tessary.open(other)
        assert db.path == sample_dir and len(db.listing(1)) > 200
        return
    before = db.search("6").total
    assert tessary.open(other) is db and db.path == other and db.search("6").total < before
    with pytest.raises(LoadError, match="no such directory"):
        db.reload(other + "-missing")
    assert db.path == other  # a failed reload keeps the database
    assert db.reload(sample_dir).search("6").total == before and db.reload() is db
