"""GBK data read in a zh_CN.GBK process, where the library handles double-byte characters."""
import json
import locale
import subprocess

import pytest
from conftest import CLI, cli, run_python

GBK_DATA = {
    "encoding": "GBK",
    "exchanges": [{"id": 1, "code": "SH", "name": "上海证券交易所", "symbols": [
        {"code": "600000", "name": "浦发银行", "type": 1, "searchTexts": ["浦发银行", "PFYH"]},
        {"code": "600036", "name": "招商银行", "type": 1, "searchTexts": ["招商银行", "ZSYH"]},
        {"code": "000001", "name": "上证指数", "type": 2, "searchTexts": ["上证指数"]}]}],
    "groups": [{"id": 1, "subgroups": [{"code": "G1", "name": "银行", "leaves": [
        {"code": "G11", "name": "全国性银行", "symbols": ["600000.SH", "600036.SH"]}]}]}],
}

READ_IN_GBK = """
import json, tessary
db = tessary.open({path!r})
rows = lambda records: [[r.exchange_id, r.symbol, r.name, r.type] for r in records]
out = {{"encoding": db.encoding, "exchange": db.exchanges()[0].name,
       "search": rows(db.search("银行")), "top": rows(db.search("银行", limit=1)),
       "symbol": db.symbol("600000.sh").name, "leaf": db.subgroups(1, "g1")[0].name,
       "members": rows(db.group_symbols(1, "G11"))}}
for call in (lambda: db.search("\\U0001F600"), lambda: tessary.open({path!r}, encoding="utf-8")):
    try:
        call()
    except tessary.EncodingError as error:
        out.setdefault("refused", []).append(str(error))
print(json.dumps(out))
"""


@pytest.fixture(scope="module")
def gbk_dir(tmp_path_factory):
    try:
        locale.setlocale(locale.LC_CTYPE, "zh_CN.GBK")
    except locale.Error:
        pytest.skip("the zh_CN.GBK locale is not installed (scripts/install-deps makes it)")
    finally:
        locale.setlocale(locale.LC_CTYPE, "")
    path = str(tmp_path_factory.mktemp("gbk") / "data")
    subprocess.run([CLI, "make", path, "--from", "-"], input=json.dumps(GBK_DATA).encode(),
                   check=True, capture_output=True)
    return path


def test_gbk_process(gbk_dir):
    env = {"LC_ALL": "zh_CN.GBK"}
    out = json.loads(run_python(READ_IN_GBK.format(path=gbk_dir), **env))
    expected = cli("search", gbk_dir, "银行".encode("gbk"), env=env)
    assert out["search"] == [[i["exchangeId"], i["symbol"], i["name"], i["type"]] for i in expected]
    assert [row[2] for row in out["search"]] == ["浦发银行", "招商银行"]
    assert out["top"] == out["search"][:1] and out["members"] == out["search"]
    assert (out["encoding"], out["exchange"], out["symbol"], out["leaf"]) == (
        "gbk", "上海证券交易所", "浦发银行", "全国性银行")
    assert "cannot be written in gbk" in out["refused"][0]
    assert "encoding='utf-8' does not match" in out["refused"][1]


def test_gbk_bytes_in_a_utf8_process_survive_a_round_trip(gbk_dir):
    out = run_python(f"""
import tessary
db = tessary.open({gbk_dir!r})
name = db.symbol("600000.SH").name
print(ascii(name), db.search(name) == db.search("PFYH"))
""", LC_ALL="C.UTF-8")
    escaped = "浦发银行".encode("gbk").decode("utf-8", "surrogateescape")
    assert out.split() == [ascii(escaped), "True"]
