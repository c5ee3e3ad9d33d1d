#!/usr/bin/env bash
# ostervane-cli identify on generated images: the JSON it prints and its exit codes; also the
# refusals of restore that happen before any handheld is involved.
set -euo pipefail
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

python3 - <<'PY'
import struct

def big_endian(version, manufacturer=b"", size=256):
    image = bytearray(size)
    image[8:12] = struct.pack(">I", 0xFEEDBEEF)
    image[12:14] = struct.pack(">H", version)
    image[48:48 + len(manufacturer)] = manufacturer
    return image

def marker(address):
    return b"hEaP" + struct.pack(">II", address, 0x40) + b"iDeN"

def write(name, image, size=None):
    with open(name, "wb") as f:
        f.write(image)
        if size is not None:
            f.truncate(size)

mt64 = bytearray(256)
mt64[8:12] = bytes([0xEF, 0xBE, 0xED, 0xFE])
mt64[12] = 6
mt64[132:136] = b"46TM"
write("mt64.rom", mt64, 0x1000000)
write("mt64-big.rom", mt64, 0x1000001)
ecty = big_endian(5)
ecty[130:134] = b"ecty"
write("ecty.rom", ecty)
write("palm3.rom", big_endian(3, b"Palm Computing"))
write("palm3-big.rom", big_endian(3, b"Palm Computing"), 0x400001)
write("other.rom", big_endian(3, b"Palm Computing Inc"))
write("marked.rom", big_endian(6, b"Somebody") + marker(0x10C80000))

# Whole cards: a small ROM naming one maker, pointing at a big ROM 0x8000 into the file that
# names another.  A restore writes the big ROM part only, so only that part counts for the size.
card = big_endian(3, b"Palm Computing")
card[88:92] = struct.pack(">I", 0x10C00200)
card[104:108] = struct.pack(">I", 0x10C08000)
card += bytes(0x8000 - len(card)) + big_endian(3, b"Handspring, Inc.")
write("card.rom", card, 0x8000 + 0x400000)
write("card-big.rom", card, 0x8000 + 0x400001)
PY

expect() { # expect FILE STATUS PATTERN...
    local file=$1 want=$2 status=0 json
    shift 2
    json=$("$bin/ostervane-cli" identify "$file") || status=$?
    test "$status" -eq "$want" || { echo "$file: exit $status, expected $want" >&2; exit 1; }
    for pattern in "$@"; do
        grep -qF -- "$pattern" <<<"$json" || { echo "$file: no $pattern in $json" >&2; exit 1; }
    done
}

expect mt64.rom 0 '{"deviceId": "MT64", "addressList": [13631488], "loadBase": 1048576, "sizeLimit": 16777216, "manufacturer": "", "expectedEnd": 0, "fileSize": 16777216, "wholeCard": false, "writeOffset": 0, "writeSize": 16777216, "writes": "whole file", "identified": true, "markerFound": false, "warning": null, "verdict": "restore"}'
expect mt64-big.rom 1 '"fileSize": 16777217' '"verdict": "too big"'
expect ecty.rom 0 '"deviceId": "ecty"' '"addressList": [262144]' '"warning": null'
expect palm3.rom 0 '"deviceId": ""' '"addressList": [262144, 524288, 1048576]' \
    '"manufacturer": "Palm Computing"' '"warning": "PalmOS 3 ROM"' '"verdict": "restore"'
expect palm3-big.rom 1 '"warning": "PalmOS 3 ROM"' '"verdict": "too big"'
expect other.rom 1 '"identified": false' '"warning": null' '"verdict": "unknown"'
expect marked.rom 0 '"expectedEnd": 281542656' '"markerFound": true' '"identified": false' \
    '"verdict": "restore"'
expect card.rom 0 '"manufacturer": "Handspring, Inc."' '"warning": "Treo ROM"' \
    '"fileSize": 4227072, "wholeCard": true, "writeOffset": 32768, "writeSize": 4194304' \
    '"writes": "big ROM part of a whole-card image"' '"verdict": "restore"'
expect card-big.rom 1 '"writeSize": 4194305' '"verdict": "too big"'

status=0
"$bin/ostervane-cli" identify missing.rom 2>err.txt >out.txt || status=$?
test "$status" -eq 1
grep -qx "ostervane-cli: cannot read missing.rom" err.txt
test ! -s out.txt
status=0
"$bin/ostervane-cli" identify 2>/dev/null || status=$?
test "$status" -eq 2

# A family warning is declined without --yes, and an image too big is refused even with it;
# either way nothing is logged and no port is opened.
status=0
"$bin/ostervane-cli" restore --port "$work/no-such-port" palm3.rom 2>err.txt || status=$?
test "$status" -eq 1
grep -q "PalmOS 3 ROM" err.txt
grep -q "Cancel +" err.txt
test ! -e Keelstone.log
status=0
"$bin/ostervane-cli" restore --yes --port "$work/no-such-port" palm3-big.rom 2>err.txt || status=$?
test "$status" -eq 1
grep -q "ROM Too Big" err.txt
test ! -e Keelstone.log
status=0
"$bin/ostervane-cli" restore palm3.rom 2>/dev/null || status=$?
test "$status" -eq 2
echo "ostervane-cli identify passed"
