// The record of the dump header file: what a directory dump says it contains.
#ifndef TARNE_TABLES_DUMP_HEADER_H
#define TARNE_TABLES_DUMP_HEADER_H

#include <cstddef>
#include <cstdint>

struct DumpHeader {
  uint64_t magic;      // "TARNEDUM"
  uint32_t reserved;   // not read
  int32_t minor;       // must be 1; the minor version comes before the major one
  int32_t major;       // must be 0
  int32_t numentries;  // entries the dump file should hold
  uint32_t starttime;
  uint32_t endtime;
};

static_assert(sizeof(DumpHeader) == 32);
static_assert(offsetof(DumpHeader, magic) == 0);
static_assert(offsetof(DumpHeader, reserved) == 8);
static_assert(offsetof(DumpHeader, minor) == 12);
static_assert(offsetof(DumpHeader, major) == 16);
static_assert(offsetof(DumpHeader, numentries) == 20);
static_assert(offsetof(DumpHeader, starttime) == 24);
static_assert(offsetof(DumpHeader, endtime) == 28);

inline constexpr uint64_t kDumpMagic = 0x4d5544454e524154ULL;  // "TARNEDUM" little-endian
inline constexpr int32_t kDumpMinorVersion = 1;
inline constexpr int32_t kDumpMajorVersion = 0;
inline constexpr const char *kDumpHeaderPath = "/scratch/log/tarne.dump.hdr";

#endif  // TARNE_TABLES_DUMP_HEADER_H
