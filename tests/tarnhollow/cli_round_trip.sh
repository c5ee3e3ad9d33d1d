#!/usr/bin/env bash
# tarnhollow-cli end to end: build a package from the sample catalogue and the tour's databases,
# then inspect it and check what comes back; also the refusals a script relies on.
set -euo pipefail
bin=$1
samples=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

"$bin/prc-tour" . >/dev/null
summary=$("$bin/tarnhollow-cli" build Pkg.prc --devices "$samples" --device "Example Handheld" \
    --ram Tour-App.prc --rom Tour-Notes.pdb --remove Clock --language English --launch "Tour App")
grep -qx "Available Expansion ROM: 16192K" <<<"$summary"
grep -qx "Package Size: [0-9]*k" <<<"$summary"
test -f Pkg.prc && test -f Pkg-Uninstaller.prc
test ! -e Pkg-Data.tmp && test ! -e Pkg-Remove.tmp

json=$("$bin/tarnhollow-cli" inspect Pkg.prc)
grep -q '"m_deviceIds": \["EXMP"\]' <<<"$json"
grep -q '"m_languageCode": "E"' <<<"$json"
grep -q '"m_removeList": \["Clock"\]' <<<"$json"
grep -q '"m_launchAfterReset": "Tour App"' <<<"$json"
grep -q '"name": "Tour App", "flags": 13, "location": 3' <<<"$json"
grep -q '"name": "Tour Notes", "flags": 18, "location": 2, "size": [0-9]*, "type": "DATA"' <<<"$json"

# Names in the handhelds' Western 8-bit text: typed and printed in UTF-8, stored as one byte
# per character.
mkdir Western
printf '%s\r\n' '##' $'*Device Name - T\xe9l\xe9phone \x80' '*Value Two - 0' '*Value Three - x' \
    '*Languages - EF' '*Device Id - WEST' '*Flash Size - 8388608' '*Value Seven - 0' \
    '*Block Size - 65536' '*ROM Databases' '$Clock %12000' '*Remove List' \
    $'$Horloge \xe0 quartz %Clock' '*Language List' '$English %Clock' '##' >Western/western.txt
"$bin/tarnhollow-cli" build "Café.prc" --devices Western --device "Téléphone €" \
    --remove "Horloge à quartz" --name "Café €" >/dev/null
LC_ALL=C grep -qaF $'Caf\xe9 \x80' "Café.prc"
test -f "Café-Uninstaller.prc"
json=$("$bin/tarnhollow-cli" inspect "Café.prc")
iconv -f UTF-8 -t UTF-8 <<<"$json" >/dev/null
grep -qF '"m_packageName": "Café €"' <<<"$json"
grep -qF '"m_removeList": ["Horloge à quartz"]' <<<"$json"
status=0
"$bin/tarnhollow-cli" build Snow.prc --devices Western --device "Téléphone €" --name "Snow ☃" \
    >/dev/null 2>err.txt || status=$?
test "$status" -eq 1 && test ! -e Snow.prc
grep -qF 'The character "☃" cannot be used' err.txt

status=0
"$bin/tarnhollow-cli" inspect Tour-Notes.pdb 2>err.txt >/dev/null || status=$?
test "$status" -eq 1 && grep -qx "Not a Tarnhollow Install File." err.txt
status=0
"$bin/tarnhollow-cli" build Pkg2.prc --devices "$samples" >/dev/null 2>&1 || status=$?
test "$status" -eq 1 && test ! -e Pkg2.prc
status=0
"$bin/tarnhollow-cli" build 2>/dev/null || status=$?
test "$status" -eq 2
echo "tarnhollow-cli round trip passed"
