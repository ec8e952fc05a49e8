"""Every query through the package answers what the tessary command answers on the same data."""
import json
import os
import subprocess
import sys

import pytest
from conftest import CLI, cli, run_python

import tessary
from tessary import Exchange, SubGroup, Symbol


def symbols_of(items):
    return [Symbol(i["exchangeId"], i["symbol"], i["name"], i["type"]) for i in items]


def test_exchanges(db, sample_dir):
    expected = [Exchange(e["id"], e["code"], e["name"], bool(e["alert"]), bool(e["trade"]),
                         bool(e["quote"])) for e in cli("exchanges", sample_dir)]
    assert db.exchanges() == expected and len(expected) == 6
    assert all(isinstance(e.alert, bool) for e in expected)


@pytest.mark.parametrize("args", [(), ("2",), ("2", "G00010"), ("1", "g01003")])
def test_group_tree(db, sample_dir, args):
    answer = cli("groups", sample_dir, *args)
    if not args:
        assert db.groups() == [g["group"] for g in answer]
    else:
        code = args[1] if len(args) > 1 else None
        assert db.subgroups(int(args[0]), code) == [
            SubGroup(g["groupId"], g["code"], g["name"], bool(g["isBranch"])) for g in answer]


def test_group_symbols(db, sample_dir):
    expected = symbols_of(cli("groups", sample_dir, "2", "G00010", "G10100010"))
    assert expected and db.group_symbols(2, "g10100010") == expected


@pytest.mark.parametrize("exchange, kind", [(1, None), (5, 2), (3, 9999)])
def test_listing(db, sample_dir, exchange, kind):
    extra = () if kind is None else ("--type", str(kind))
    expected = symbols_of(cli("list", sample_dir, str(exchange), *extra))
    assert db.listing(exchange, type=kind) == expected


def test_symbol_lookups(db, sample_dir):
    found = db.listing(2)[7]
    texts = [found.symbol.lower(), "999999.SH", db.listing(1)[0].symbol]
    answer = cli("info", sample_dir, ",".join(texts))
    result = db.symbols(texts)
    assert result == symbols_of(i for i in answer if i["resolved"])
    assert result.missing == [i["symbol"] for i in answer if not i["resolved"]] == ["999999.SH"]
    assert db.symbol(found.symbol.lower()) == found and db.symbol("999999.SH") is None
    assert db.symbols([]) == [] and db.symbols([]).missing == []


def test_a_blank_looking_symbol_is_found(tmp_path):
    # Exchange 0, type 0 and no name: what the library's record for a missing text looks like.
    data = {"exchanges": [{"id": 0, "code": "ZZ", "symbols": [{"code": "X", "type": 0}]}]}
    path = str(tmp_path / "blank")
    subprocess.run([CLI, "make", path, "--from", "-"], input=json.dumps(data).encode(),
                   check=True, capture_output=True)
    out = run_python(f"""
import tessary
found = tessary.open({path!r}).symbols(["x.zz", "Y.ZZ"])
print(found, found.missing)""")
    assert out.strip() == "[Symbol(exchange_id=0, symbol='X.ZZ', name='', type=0)] ['Y.ZZ']"


@pytest.mark.parametrize("text, exchange, keys", [
    ("60", None, False), ("Pudong", None, False), ("pudong", None, True), ("6", 1, True),
    ("Jade Power", 2, False), ("zzzz", None, False)])
def test_search(db, sample_dir, text, exchange, keys):
    args = (("--exchange", str(exchange)) if exchange else ()) + (("--keys",) if keys else ())
    expected = symbols_of(cli("search", sample_dir, text, *args))
    full = db.search(text, exchange=exchange, keys=keys)
    assert full == expected and full.total == len(expected)
    top = db.search(text, exchange=exchange, keys=keys, limit=5)
    assert top == expected[:5] and top.total == len(expected)
    assert db.search(text, exchange=exchange, keys=keys, limit=0) == []


def test_exact_symbol_text_wins(db):
    target = db.listing(1)[3]
    assert db.search(target.symbol.lower()) == [target]


def test_to_frame(db, monkeypatch):
    pandas = pytest.importorskip("pandas")
    frame = db.search("60", limit=3).to_frame()
    assert list(frame.columns) == ["exchange_id", "symbol", "name", "type"] and len(frame) == 3
    assert list(db.exchanges().to_frame().columns)[-1] == "quote"
    assert db.groups().to_frame()["group_id"].tolist() == [1, 2]
    assert isinstance(db.listing(4, type=12345).to_frame(), pandas.DataFrame)
    monkeypatch.setitem(sys.modules, "pandas", None)
    with pytest.raises(ImportError, match="python3-pandas"):
        db.groups().to_frame()


def test_open_returns_the_process_database(db, sample_dir):
    assert tessary.open(sample_dir + os.sep) is db and db.path.rstrip(os.sep) == sample_dir
    assert db.encoding == tessary.locale_encoding() == "utf-8"
    assert db.library_path == os.environ["TESSARY_LIBRARY"]
    assert db.library_version in (None, tessary.__version__)  # None: before TSYVersion


def test_many_searches_do_not_grow_memory(db):
    # Each search of "6" hands out about 100 kB; were an array kept, 2000 would hold 200 MB.
    statm = "/proc/self/statm"
    if not os.path.exists(statm):
        pytest.skip("needs /proc")

    def resident_pages():
        with open(statm) as f:
            return int(f.read().split()[1])

    for _ in range(100):
        db.search("6")
    before = resident_pages()
    for _ in range(2000):
        assert db.search("6").total > 500
    assert (resident_pages() - before) * os.sysconf("SC_PAGE_SIZE") < 16 << 20


def test_threads(db):
    # Searches must not overlap and the package serialises them; the other queries run at once.
    from concurrent.futures import ThreadPoolExecutor
    calls = [(db.search, "6"), (db.search, "Pudong"), (db.listing, 1), (db.search, "60"),
             (db.exchanges,), (db.search, "pudong", None, False, 3), (db.listing, 5, 2)] * 15
    expected = [call[0](*call[1:]) for call in calls[:7]] * 15
    with ThreadPoolExecutor(4) as pool:
        answers = list(pool.map(lambda call: call[0](*call[1:]), calls))
    assert answers == expected


def test_records_behave_as_constructed(db):
    import copy
    import dataclasses
    import pickle
    hit = db.search("6", limit=1)[0]
    made = Symbol(hit.exchange_id, hit.symbol, hit.name, hit.type)
    assert hit == made and hash(hit) == hash(made) and repr(hit) == repr(made)
    assert vars(hit) == vars(made) and dataclasses.astuple(hit) == dataclasses.astuple(made)
    assert pickle.loads(pickle.dumps(hit)) == copy.deepcopy(hit) == made
    with pytest.raises(dataclasses.FrozenInstanceError):
        hit.name = "changed"


def test_a_library_without_reload_or_top_search(sample_dir):
    # Such a library takes no lock: the package lets one call in at a time and keeps the rows.
    out = run_python(f"""
from concurrent.futures import ThreadPoolExecutor
from tessary import _database, _library
api = _library.load()
api.TSYReload = api.TSYFindSymbolTop = api.TSYLastError = None
old = _database.Database(api)._load({sample_dir!r}, None, False)
new = _database.Database(_library.load())
calls = [lambda db: db.search("6", limit=3), lambda db: db.listing(2), lambda db: db.exchanges()]
with ThreadPoolExecutor(3) as pool:
    olds = list(pool.map(lambda n: calls[n % 3](old), range(60)))
print(olds == [calls[n % 3](new) for n in range(60)], olds[0].total == new.search("6").total)""")
    assert out.split() == ["True", "True"]
