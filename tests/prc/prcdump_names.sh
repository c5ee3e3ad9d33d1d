#!/usr/bin/env bash
# prcdump shows a database's name, the handhelds' Western 8-bit text, in the terminal's
# character set, and as escapes what the terminal cannot show.
set -euo pipefail
export LC_ALL=C # byte-wise lengths and comparisons; prcdump gets its locale per call
prcdump=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# An empty resource database: the 32-byte name, attributes 0x0001, zeros, no entries, the gap.
name=$'Caf\xe9 \x80 a\\b \x81\x01'
{
    printf '%s' "$name"
    head -c $((32 - ${#name})) /dev/zero
    printf '\x00\x01'
    head -c 46 /dev/zero
} >"$work/names.prc"
test "$(wc -c <"$work/names.prc")" -eq 80

line() { grep '^  name ' || true; }
utf8=$(LC_ALL=C.UTF-8 "$prcdump" "$work/names.prc" | line)
test "$utf8" = '  name          Café € a\\b \x81\x01' || { echo "UTF-8: $utf8"; exit 1; }
ascii=$(LC_ALL=C "$prcdump" "$work/names.prc" | line)
test "$ascii" = '  name          Caf\xe9 \x80 a\\b \x81\x01' || { echo "ASCII: $ascii"; exit 1; }
echo "prcdump names passed"
