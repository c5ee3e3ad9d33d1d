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

# Checksums: the CRC-16 a header carries over [0, 112) and [114, checksumBytes).
def crc16(data, crc=0):
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else crc << 1
            crc &= 0xFFFF
    return crc

def seal_big_endian(image, covered):
    image[108:112] = struct.pack(">I", covered)
    image[112:114] = struct.pack(">H", crc16(image[:112] + image[114:covered]))
    return image

values = open("values.sh", "w")
sealed = seal_big_endian(big_endian(5, size=0x1000) + bytes(range(256)), 0x1000 + 200)
sealed[130:134] = b"ecty"
sealed = seal_big_endian(sealed, 0x1000 + 200)
write("sealed.rom", sealed)
good = struct.unpack(">H", sealed[112:114])[0]
sealed[0x1000 + 199] ^= 0x40  # the last byte covered
write("sealed-flipped.rom", sealed)
print(f"flipped_text='the header says 0x{good:04X}, the image gives "
      f"0x{crc16(sealed[:112] + sealed[114:0x1000 + 200]):04X}'", file=values)
sealed[0x1000 + 199] ^= 0x40
sealed[0x1000 + 200] ^= 0x40  # the first byte not covered
write("sealed-beyond.rom", sealed)
write("version1.rom", big_endian(1, b"Palm Computing"))
write("truncated.rom", seal_big_endian(big_endian(3, b"Palm Computing"), 256), 0x380000)
with open("truncated.rom", "r+b") as f:
    f.seek(108)
    f.write(struct.pack(">I", 0x400000))

# An ARM image as a backup saves it: its checksum was made over the header as the handheld
# holds it, signature and version big-endian, the other fields little-endian.
arm = bytearray(0x800)
arm[8:12] = struct.pack(">I", 0xFEEDBEEF)
arm[12:14] = struct.pack(">H", 6)
arm[108:112] = struct.pack("<I", 0x800)
arm[132:136] = b"46TM"
arm[0x100:0x800] = bytes(i * 7 & 0xFF for i in range(0x700))
arm[112:114] = struct.pack("<H", crc16(arm[:112] + arm[114:]))
arm[8:12] = bytes([0xEF, 0xBE, 0xED, 0xFE])
arm[12:14] = struct.pack("<H", 6)
write("arm-sealed.rom", arm)

# A whole card whose small ROM header carries nothing: only its big ROM part is checked.
sealed_card = bytearray(card[:0x8000]) + seal_big_endian(big_endian(3, b"Handspring, Inc.",
                                                                    0x1000), 0x1000)
write("card-sealed.rom", sealed_card, 0x8000 + 0x2000)
PY
. ./values.sh

expect() { # expect FILE STATUS PATTERN...
    local file=$1 want=$2 status=0 json
    shift 2
    json=$("$bin/ostervane-cli" identify "$file") || status=$?
    test "$status" -eq "$want" || { echo "$file: exit $status, expected $want" >&2; exit 1; }
    for pattern in "$@"; do
        grep -qF -- "$pattern" <<<"$json" || { echo "$file: no $pattern in $json" >&2; exit 1; }
    done
}

expect mt64.rom 0 '{"deviceId": "MT64", "addressList": [13631488], "loadBase": 1048576, "sizeLimit": 16777216, "manufacturer": "", "expectedEnd": 0, "fileSize": 16777216, "wholeCard": false, "writeOffset": 0, "writeSize": 16777216, "writes": "whole file", "identified": true, "markerFound": false, "warning": null, "checksum": {"state": "not carried", "stored": null, "computed": null, "coveredBytes": null, "text": "ROM checksum not checked: this ARM header carries none"}, "verdict": "restore"}'
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

expect sealed.rom 0 '"deviceId": "ecty"' '"checksum": {"state": "verified", "stored": ' \
    '"coveredBytes": 4296, "text": "ROM checksum verified"}'
expect sealed-beyond.rom 0 '"state": "verified"'
expect sealed-flipped.rom 0 '"state": "mismatch"' "\"text\": \"ROM checksum does not match: $flipped_text\""
expect version1.rom 0 '"checksum": {"state": "not carried", "stored": null, "computed": null, "coveredBytes": null, "text": "ROM checksum not checked: a version 1 header carries none"}'
expect truncated.rom 0 '"state": "cannot check"' \
    '"text": "ROM checksum not checked: it covers 4,194,304 bytes but the image has 3,670,016"'
expect palm3.rom 0 '"state": "cannot check"' 'fewer than the header itself'
expect arm-sealed.rom 0 '"deviceId": "MT64"' '"state": "verified"' '"coveredBytes": 2048'
expect card-sealed.rom 0 '"wholeCard": true' '"state": "verified"' '"coveredBytes": 4096'

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
