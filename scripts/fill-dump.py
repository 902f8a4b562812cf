#!/usr/bin/env python3
"""Writes a dump file and its header file of many small entries, for `tarne-admin restore` to
fill a directory with: the benchmarks and the tests need directories of 100,000 entries and
more, which one `tarne-admin put` run per entry would take many minutes to build.

usage: fill-dump.py DUMP HEADER GROUP:TYPE:COUNT...

Entry k (0 <= k < COUNT) of a group gets the UUID 00000000-0000-0000-GGGG-kkkkkkkkkkkk, GGGG
being GROUP in hex, the self marker as owner (restore stores the directory's own UUID),
revision 1 and an 8-byte payload. Give the groups in increasing order: the entries then come
in the directory's own order, as a dump taken by `tarne-admin dump` does.
"""
import gzip
import struct
import sys

PAYLOAD = b"benchmrk"
SELF_MARKER = bytes([0, 0, 0, 2]) + bytes(12)
MAGIC = 0x4D5544454E524154  # "TARNEDUM"


def main():
    dump_path, header_path, groups = sys.argv[1], sys.argv[2], sys.argv[3:]
    total = 0
    with gzip.open(dump_path, "wb", compresslevel=1) as dump:
        for group_words in groups:
            group, entry_type, count = (int(word, 0) for word in group_words.split(":"))
            # uuid, owner, revision, type, flag, minHostVersion, reserved, md5sum, valueLen
            record = struct.Struct("<8s2s6s16sQBBBB16sI")
            dump.write(b"".join(
                record.pack(bytes(8), group.to_bytes(2, "big"), k.to_bytes(6, "big"),
                            SELF_MARKER, 1, entry_type, 0, 0, 0, bytes(16), len(PAYLOAD)) +
                PAYLOAD for k in range(count)))
            total += count
    with open(header_path, "wb") as header:
        header.write(struct.pack("<QIiiiII", MAGIC, 0, 1, 0, total, 0, 0))


if __name__ == "__main__":
    main()
