#!/usr/bin/env bash
# ostervane-cli info and extract on hand-made ROM images: the JSON object and its keys, names in
# UTF-8, the text table, a broken image's message, and the files extract writes, read back with
# prcdump; existing files kept without --force, safe and unique names, the choice by glob, type
# and creator, and the exit codes.
set -euo pipefail
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$bin/make_test_roms" .
cli=$bin/ostervane-cli

fail() { echo "FAIL: $*" >&2; exit 1; }

"$cli" info --json m68k.rom >m68k.json
"$cli" info arm.rom --json >arm.json
status=0
"$cli" info --json broken.rom >broken.json || status=$?
test "$status" -eq 0 || fail "info of a broken image exits $status"
python3 - <<'PY'
import json

def load(name):
    raw = open(name, "rb").read()
    raw.decode("utf-8")  # strict: the output is valid UTF-8
    return json.loads(raw)

m68k = load("m68k.json")
card = m68k["card"]
assert card["name"] == "PalmCard" and card["manufacturer"] == "Palm Computing", card
assert card["version"] == 5 and card["romVersionString"] == "ROM 4.0 test", card
assert card["companyId"] == "palm" and card["halId"] == "TEST", card
assert card["checksumOk"] is True and card["fileOffset"] == 0x8000, card
assert m68k["smallCard"]["checksumOk"] is True
assert m68k["osVersion"] == "4.0" and m68k["cpu"] == "68EZ328", m68k
assert m68k["wholeCard"] is True and m68k["problems"] == [], m68k
assert m68k["identification"]["verdict"] == "unknown"
dbs = m68k["databases"]
assert [d["name"] for d in dbs] == ["Small ROM", "System", "MemoDB", "Caf\u00e9 \u20acpp",
                                    "Small ROM"], dbs
assert [d["part"] for d in dbs] == ["small", "big", "big", "big", "big"]
memo = dbs[2]
assert (memo["type"], memo["creator"], memo["attributes"], memo["version"]) == \
    ("DATA", "memo", 8, 3), memo
# Two records of 3 and 4 bytes, 7 bytes of app info, 4 of sort info.
assert (memo["entries"], memo["bytes"]) == (2, 18), memo
cafe = dbs[3]
assert (cafe["attributes"], cafe["entries"], cafe["bytes"]) == (0x41, 3, 346), cafe
assert cafe["attributesText"] == "resource|copyprevent"

arm = load("arm.json")
assert arm["card"]["version"] == 6 and arm["card"]["checksumOk"] is None, arm["card"]
assert arm["osVersion"] == "4.0" and arm["cpu"] == "ARM"
assert arm["card"]["romVersionText"] == "5.4.5"
assert [d["name"] for d in arm["databases"]] == ["Boot", "MemoDB", "Caf\u00e9 \u20acpp"]

broken = load("broken.json")
assert broken["card"]["checksumOk"] is False
assert broken["problems"] == ["big ROM, database 1 'MemoDB': record 1 lies past the end of "
                              "the image (LocalID 0x7FC08368)"], broken["problems"]
assert [d["complete"] for d in broken["databases"]] == [True, False, True]
PY

"$cli" info m68k.rom >m68k.txt
grep -q '^OS version:     4.0$' m68k.txt || fail "no OS version line"
grep -q '^Checksum:       ROM checksum verified$' m68k.txt || fail "no checksum line"
grep -qE '^big   Café €pp +appl Cafe +resource\|copyprevent +1 +3 +346$' m68k.txt ||
    fail "no row for Café €pp"
head -c 300 /dev/zero >zeros.rom
status=0
"$cli" info zeros.rom >zeros.txt || status=$?
test "$status" -eq 1 || fail "info of an image without a card header exits $status"
grep -q 'no card header at the start of the image' zeros.txt || fail "no reason given"

# extract: every database, names made unique, files as libprc reads them.
"$cli" extract m68k.rom out >extract.txt
tail -n 1 extract.txt | grep -qx "Extracted 5 databases into out" || fail "summary: $(cat extract.txt)"
test -f "out/Small ROM.prc" && test -f "out/Small ROM (2).prc" && test -f "out/Café €pp.prc"
"$bin/prcdump" -x out/MemoDB.pdb >memo.dump
grep -qE '^  modnum +7$' memo.dump || fail "modnum lost"
grep -qE '^  appinfo +7 bytes$' memo.dump || fail "app info lost"
grep -qE '^  sortinfo +4 bytes$' memo.dump || fail "sort info lost"
grep -qE '^ +0 +0x41 +0x000101 +3 ' memo.dump || fail "record 0 lost"
grep -qE '^ +1 +0x12 +0x000102 +4 ' memo.dump || fail "record 1 lost"
grep -q '74 77 6f 21' memo.dump || fail "record 1's bytes lost"
"$bin/prcdump" "out/Café €pp.prc" >cafe.dump
grep -qE '^  attributes +0x0041 resource\|copyprevent$' cafe.dump || fail "attributes lost"
grep -qE '^ +1 +code +1 +301$' cafe.dump || fail "resource 1 lost"

# An existing file is kept, and the exit status says something was not extracted.
echo mine >out/System.prc
status=0
"$cli" extract m68k.rom out --name System 2>err.txt >extract.txt || status=$?
test "$status" -eq 1 || fail "extract over an existing file exits $status"
test "$(cat out/System.prc)" = mine || fail "an existing file was overwritten"
grep -q "the file exists (--force replaces it)" err.txt || fail "$(cat err.txt)"
grep -qx "Extracted 0 databases into out; 1 not extracted" extract.txt
"$cli" extract m68k.rom out --name System --force >extract.txt
"$bin/prcdump" out/System.prc | grep -qE '^  creator +psys$' || fail "--force did not replace it"

# The choice: globs (any of them), type and creator together.
"$cli" extract m68k.rom chosen --name 'Caf?*' --name 'Memo*' >/dev/null
test "$(ls chosen | sort | tr '\n' '|')" = "Café €pp.prc|MemoDB.pdb|" || fail "$(ls chosen)"
"$cli" extract m68k.rom typed --type boot --creator psys >/dev/null
test "$(ls typed | wc -l)" -eq 2 || fail "$(ls typed)"
status=0
"$cli" extract m68k.rom none --creator zzzz >/dev/null 2>err.txt || status=$?
test "$status" -eq 1 && grep -q "no database in m68k.rom was chosen" err.txt

# A broken database and one too large for a file are named and not written; the others are.
status=0
"$cli" extract broken.rom b >extract.txt 2>err.txt || status=$?
test "$status" -eq 1 || fail "broken: exit $status"
grep -q "database 1 'MemoDB' not extracted as MemoDB.pdb: some of its entries could not be read" err.txt
test ! -e b/MemoDB.pdb && test -f b/System.prc
status=0
"$cli" extract large.rom l --name Large 2>err.txt >/dev/null || status=$?
test "$status" -eq 1 && test ! -e l/Large.prc
grep -q "resource 0 is larger than a database file's entry can hold (65,505 bytes)" err.txt

status=0
"$cli" extract m68k.rom 2>/dev/null || status=$?
test "$status" -eq 2
status=0
"$cli" extract m68k.rom out --type abcde 2>/dev/null || status=$?
test "$status" -eq 2
echo "ostervane-cli info and extract passed"
