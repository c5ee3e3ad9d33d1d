#!/usr/bin/env python3
"""Writes the seed corpora built byte by byte: small Palm database files for fuzz_prc_open, and
small ROM images (big-ROM-only and whole-card) for fuzz_identify_rom_image.

Run from anywhere; the files go to corpus/prc_open/ and corpus/identify_rom_image/ beside this
script.
"""

import os
import struct

HEADER_SIZE = 78
RESOURCE = 0x0001
STREAM = 0x0080
BACKUP = 0x0008

CORPUS_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def code(text):
    return struct.unpack(">I", text.encode("ascii"))[0]


def header(name, flags, count, appinfo=0, sortinfo=0, dbtype="DATA", creator="Test",
           version=1, ctime=0xB5A3C3E0, mtime=0xB5A3C400, btime=0, modnum=3):
    raw_name = name.encode("ascii")[:32].ljust(32, b"\0")
    return struct.pack(">32sHHIIIIIIIIIIH", raw_name, flags, version, ctime, mtime, btime,
                       modnum, appinfo, sortinfo, code(dbtype), code(creator), 0, 0, count)


def record_entry(offset, attr, uid):
    return struct.pack(">IB", offset, attr) + uid.to_bytes(3, "big")


def resource_entry(rtype, rid, offset):
    return struct.pack(">4sHI", rtype.encode("ascii"), rid, offset)


def record_db(name, bodies, appinfo=b"", sortinfo=b"", flags=0, attrs=None, **fields):
    """A well-formed record database laid out the way the library writes one."""
    n = len(bodies)
    pos = HEADER_SIZE + 8 * n + 2
    app_off = pos if appinfo else 0
    pos += len(appinfo)
    sort_off = pos if sortinfo else 0
    pos += len(sortinfo)
    entries = b""
    for i, body in enumerate(bodies):
        attr = attrs[i] if attrs else 0x40
        entries += record_entry(pos, attr, 0x100000 + i)
        pos += len(body)
    head = header(name, flags, n, app_off, sort_off, **fields)
    return head + entries + b"\0\0" + appinfo + sortinfo + b"".join(bodies)


def resource_db(name, resources, flags=RESOURCE, **fields):
    """A well-formed resource database; resources are (type, id, body) triples."""
    pos = HEADER_SIZE + 10 * len(resources) + 2
    entries = b""
    for rtype, rid, body in resources:
        entries += resource_entry(rtype, rid, pos)
        pos += len(body)
    head = header(name, flags, len(resources), dbtype="appl", creator="Tst1", **fields)
    return head + entries + b"\0\0" + b"".join(body for _, _, body in resources)


def block(used, data_len=None, fill=0x61):
    """A stream block: "DBLK", the used length, then data_len data bytes (default: used)."""
    if data_len is None:
        data_len = used
    return b"DBLK" + struct.pack(">I", used) + bytes((fill + i) % 256 for i in range(data_len))


def patch_u32(data, offset, value):
    return data[:offset] + struct.pack(">I", value) + data[offset + 4:]


def seeds():
    full = record_db("Address Book", [b"first record body", b"", b"third\x00\x01\x02"],
                     appinfo=b"APPINFO-" * 4, sortinfo=b"\x00\x01\x02\x03\x04\x05",
                     flags=BACKUP, attrs=[0x40, 0x80, 0x1F])
    yield "empty_file", b""
    yield "empty_record_db.pdb", header("Empty", 0, 0) + b"\0\0"
    yield "record_db_appinfo_sortinfo_records.pdb", full
    yield "record_db_appinfo_only.pdb", record_db("AppOnly", [b"x" * 34], appinfo=b"\x12\x34")
    yield "record_db_sortinfo_only.pdb", record_db("SortOnly", [b"abc", b"defg"],
                                                   sortinfo=b"SORT")
    yield "record_db_blocks_no_records.pdb", record_db("BlocksOnly", [], appinfo=b"app",
                                                       sortinfo=b"sort")
    yield "record_db_shared_empty_offsets.pdb", record_db("Shared", [b"", b"", b"tail", b""])
    yield "record_db_name_32_chars_high_flags.pdb", record_db(
        "N" * 32, [b"body"], flags=0xFF7E, version=0xFFFF, btime=0xFFFFFFFF)
    yield "resource_db_empty_middle.prc", resource_db(
        "Resources", [("code", 1, b"0123456789"), ("tAIN", 1000, b""), ("data", 0, b"abcde")])
    yield "resource_db_header_appinfo_ignored.prc", patch_u32(
        resource_db("ResAppInfo", [("tver", 1, b"1.0\0")]), 52, 90)
    yield "stream_db_short_last_block.pdb", record_db(
        "Stream", [block(16), block(10, data_len=40)], flags=STREAM)
    yield "stream_db_used_past_block.pdb", record_db(
        "StreamOver", [block(4), block(4096, data_len=12)], flags=STREAM)
    yield "stream_db_last_not_block.pdb", record_db(
        "StreamTail", [block(8), b"DBL", b"NOTB\x00\x00\x00\x02xy"], flags=STREAM)
    yield "stream_resource_db_block.prc", resource_db(
        "StreamRes", [("strm", 0, block(3, data_len=20))], flags=RESOURCE | STREAM)
    yield "truncated_header.pdb", full[:50]
    yield "truncated_entry_list.pdb", full[:HEADER_SIZE + 12]
    yield "truncated_last_body.pdb", full[:-4]
    yield "body_offset_past_end.pdb", patch_u32(full, HEADER_SIZE, len(full) + 100)
    yield "records_out_of_order.pdb", patch_u32(full, HEADER_SIZE, len(full) - 2)
    yield "appinfo_after_records.pdb", patch_u32(full, 52, len(full) - 3)


ROM_HEADER_SIZE = 192  # every header field identification reads, and then some
CARD_BASE = 0x10C00000  # where a 68k small ROM's LocalIDs start
ARM_CARD_BASE = 0x20000000


def rom_header(version, manufacturer=b"", device_id=None):
    """A big-endian (68k) card header; a version 5 one carries its device id at 130."""
    image = bytearray(ROM_HEADER_SIZE)
    image[8:12] = struct.pack(">I", 0xFEEDBEEF)
    image[12:14] = struct.pack(">H", version)
    image[48:48 + len(manufacturer)] = manufacturer
    if device_id is not None:
        image[130:134] = device_id
    return image


def arm_rom_header(device_id):
    """A little-endian (ARM) version 6 card header; its id is stored byte-reversed at 132."""
    image = bytearray(ROM_HEADER_SIZE)
    image[8:12] = struct.pack("<I", 0xFEEDBEEF)
    image[12] = 6
    image[132:136] = device_id[::-1]
    return image


def heap_marker(address):
    return b"hEaP" + struct.pack(">II", address, 0x40) + b"iDeN"


def place(image, offset, part):
    """Copies `part` into `image` at `offset`, growing the image with zeros when needed."""
    if len(image) < offset + len(part):
        image += bytes(offset + len(part) - len(image))
    image[offset:offset + len(part)] = part
    return image


def point_at_big_rom(image, header_offset, byte_order, base, distance):
    """Sets a small ROM header's RAM block list (0x200 past its base) and big ROM address."""
    image[header_offset + 88:header_offset + 92] = struct.pack(byte_order + "I", base + 0x200)
    image[header_offset + 104:header_offset + 108] = struct.pack(byte_order + "I",
                                                                  base + distance)


def whole_card_68k(big_rom_offset, pointed_offset):
    """A small ROM naming one maker whose big ROM, naming another, lies `big_rom_offset` in."""
    image = rom_header(3, b"Palm Computing")
    point_at_big_rom(image, 0, ">", CARD_BASE, pointed_offset)
    return bytes(place(image, big_rom_offset, rom_header(3, b"Handspring, Inc.") + bytes(64)))


def whole_card_arm():
    """ARM exception vectors, the small ROM header after them, an 'MT64' big ROM at 0x200."""
    image = bytearray(b"\x00\x00\x00\xea" * 24)
    place(image, 0x60, arm_rom_header(b"\0\0\0\0"))
    point_at_big_rom(image, 0x60, "<", ARM_CARD_BASE, 0x200 - 0x60)
    return bytes(place(image, 0x200, arm_rom_header(b"MT64") + bytes(64)))


def crc16(data):
    """The CRC-16 a card header carries: polynomial 0x1021, MSB first, initial 0."""
    crc = 0
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else crc << 1
            crc &= 0xFFFF
    return crc


def sealed_68k(covered):
    """A version 3 big ROM whose checksum holds over its first `covered` bytes."""
    image = place(rom_header(3, b"Palm Computing"), 0x100, bytes(range(256)) * 2)
    image[108:112] = struct.pack(">I", covered)
    image[112:114] = struct.pack(">H", crc16(image[:112] + image[114:covered]))
    return bytes(image)


def sealed_arm():
    """An ARM big ROM as a backup saves it, its checksum made with the signature and version
    big-endian, as the handheld holds them."""
    image = place(arm_rom_header(b"MT64"), 0x100, bytes(range(256)))
    image[8:14] = struct.pack(">IH", 0xFEEDBEEF, 6)
    image[108:112] = struct.pack("<I", len(image))
    image[112:114] = struct.pack("<H", crc16(image[:112] + image[114:]))
    image[8:14] = struct.pack("<IH", 0xFEEDBEEF, 6)
    return bytes(image)


def rom_seeds():
    yield "be_v3_palm_computing.rom", bytes(rom_header(3, b"Palm Computing"))
    yield "be_v5_ecty.rom", bytes(rom_header(5, device_id=b"ecty"))
    yield "le_mt64.rom", bytes(arm_rom_header(b"MT64"))
    yield "marker_at_end.rom", bytes(rom_header(6, b"Somebody")) + heap_marker(0x10C80000)
    yield "marker_at_start.rom", heap_marker(0x10C80000) + bytes(48)
    yield "unknown_id.rom", bytes(arm_rom_header(b"zzzz")) + heap_marker(0x10C80000)
    yield "whole_card_68k.rom", whole_card_68k(0x100, 0x100)
    yield "whole_card_68k_searched.rom", whole_card_68k(0x1000, 0x100)
    yield "whole_card_arm_after_vectors.rom", whole_card_arm()
    yield "checksum_68k.rom", sealed_68k(0x300)
    yield "checksum_68k_past_end.rom", sealed_68k(0x300)[:0x2FF]
    yield "checksum_arm.rom", sealed_arm()


CORPORA = [("prc_open", seeds, 4096), ("identify_rom_image", rom_seeds, 8192)]


def main():
    for corpus, make, size_limit in CORPORA:
        out_dir = os.path.join(CORPUS_DIR, corpus)
        os.makedirs(out_dir, exist_ok=True)
        for name, data in make():
            assert len(data) < size_limit, name
            with open(os.path.join(out_dir, name), "wb") as out:
                out.write(data)
            print(f"{len(data):5d}  {corpus}/{name}")


if __name__ == "__main__":
    main()
