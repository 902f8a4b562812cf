#!/usr/bin/env python3
"""Fills the embedded directory named by TARNE_DIRECTORY with COUNT entries of one type, through
the client library's own update operation with up to 900 requests in flight. The update
benchmarks need directories of 10,000 and more entries, which one `tarne-admin put` or
`tarne-tool add` run per entry would take many minutes to build.

usage: update_fill.py LIBOLVALIB COUNT TYPE UUID_GROUP

Entry k (0 <= k < COUNT) gets the UUID 00000000-0000-0000-GGGG-kkkkkkkkkkkk, GGGG being
UUID_GROUP in hex, the self marker as owner and an 8-byte payload.
"""
import ctypes
import sys
import threading

SLOTS = 900
PAYLOAD = b"benchmrk"


class Entry(ctypes.Structure):
    _fields_ = [
        ("uuid", ctypes.c_uint8 * 16),
        ("owner", ctypes.c_uint8 * 16),
        ("revision", ctypes.c_uint64),
        ("type", ctypes.c_uint8),
        ("flag", ctypes.c_uint8),
        ("minHostVersion", ctypes.c_uint8),
        ("reserved", ctypes.c_uint8),
        ("md5sum", ctypes.c_uint8 * 16),
        ("valueLen", ctypes.c_uint32),
        ("payload", ctypes.c_uint8 * len(PAYLOAD)),
    ]


assert ctypes.sizeof(Entry) == 64 + len(PAYLOAD)

# The cluster UUID travels by value: 16 bytes in two integer registers, like two uint64.
Completion = ctypes.CFUNCTYPE(ctypes.c_int32, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_uint32,
                              ctypes.c_uint64, ctypes.c_uint64, ctypes.c_uint32)


def main():
    library_path, count, entry_type, group = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(
        sys.argv[4], 0)
    lib = ctypes.CDLL(library_path)
    lib.TARNE_UpdateEntryForCluster.argtypes = [ctypes.c_void_p, Completion, ctypes.c_void_p,
                                                ctypes.c_uint64, ctypes.c_uint64]
    lib.TARNE_UpdateEntryForCluster.restype = ctypes.c_uint32

    handle = ctypes.c_int32(-1)
    status = lib.TARNE_Initialize(1, 0, ctypes.byref(handle))
    if status != 0:
        sys.exit(f"TARNE_Initialize failed: 0x{status:08x}")

    slots = threading.Semaphore(SLOTS)
    in_flight = {}  # request number -> entry, kept alive until its completion
    failures = []
    lock = threading.Lock()

    def completed(context, _entry, _length, _c0, _c1, result):
        with lock:
            in_flight.pop(context or 0)
            if result != 0:
                failures.append(result)
        slots.release()
        return 0

    callback = Completion(completed)
    for k in range(count):
        entry = Entry()
        entry.uuid[8], entry.uuid[9] = group >> 8 & 0xFF, group & 0xFF
        for b in range(6):
            entry.uuid[15 - b] = k >> (8 * b) & 0xFF
        entry.owner[3] = 0x02  # the self marker
        entry.type = entry_type
        entry.valueLen = len(PAYLOAD)
        entry.payload[:] = PAYLOAD
        slots.acquire()
        with lock:
            in_flight[k] = entry
        status = lib.TARNE_UpdateEntryForCluster(ctypes.byref(entry), callback, k, 0, 0)
        if status != 0:
            completed(k, None, 0, 0, 0, status)
    for _ in range(SLOTS):
        slots.acquire()
    lib.TARNE_Deinitialize(handle)
    if failures:
        sys.exit(f"{len(failures)} of {count} entries failed, first with 0x{failures[0]:08x}")


if __name__ == "__main__":
    main()
