// Files and captured streams for the dump reader's tests.
#ifndef TARNE_TESTS_DUMP_DUMP_TEST_SUPPORT_H
#define TARNE_TESTS_DUMP_DUMP_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "client/tarne_client.h"
#include "tables/dump_header.h"

namespace dump_test {

using Bytes = std::vector<uint8_t>;

// A private directory, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/dump_tests.XXXXXX";
    const char *made = mkdtemp(pattern);
    EXPECT_NE(made, nullptr);
    path_ = made != nullptr ? made : "/tmp";
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  std::string Path(const char *name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteFile(const std::string &path, const Bytes &bytes, bool gzip) {
  if (gzip) {
    gzFile file = gzopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    if (!bytes.empty()) {
      ASSERT_EQ(gzwrite(file, bytes.data(), static_cast<unsigned>(bytes.size())),
                static_cast<int>(bytes.size()));
    }
    ASSERT_EQ(gzclose(file), Z_OK);
    return;
  }
  FILE *file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  if (!bytes.empty()) {
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  }
  ASSERT_EQ(std::fclose(file), 0);
}

// Bytes that differ from their neighbours, so that a shifted copy shows.
inline Bytes Pattern(size_t size, uint32_t seed = 1) {
  Bytes bytes(size);
  uint32_t state = seed;
  for (uint8_t &byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

inline TarneEntry EntryHeader(uint8_t type, uint32_t valueLen, uint64_t revision) {
  TarneEntry header{};
  for (uint8_t i = 0; i < 16; ++i) {
    header.uuid.bytes[i] = static_cast<uint8_t>(revision + i);
    header.owner.bytes[i] = static_cast<uint8_t>(0xA0 + i);
  }
  header.revision = revision;
  header.type = type;
  header.flag = 0x02;
  header.valueLen = valueLen;
  return header;
}

// One entry record as the dump file stores it: its header, then its payload.
inline void AppendEntry(Bytes *dump, const TarneEntry &header, const Bytes &payload) {
  const auto *at = reinterpret_cast<const uint8_t *>(&header);
  dump->insert(dump->end(), at, at + sizeof header);
  dump->insert(dump->end(), payload.begin(), payload.end());
}

inline Bytes HeaderRecord(int32_t numentries, uint64_t magic = kDumpMagic,
                          int32_t major = kDumpMajorVersion, int32_t minor = kDumpMinorVersion) {
  DumpHeader header{};
  header.magic = magic;
  header.major = major;
  header.minor = minor;
  header.numentries = numentries;
  header.starttime = 1000;
  header.endtime = 2000;
  const auto *at = reinterpret_cast<const uint8_t *>(&header);
  return Bytes(at, at + sizeof header);
}

// A stream whose text a test reads back.
class CapturedStream {
 public:
  CapturedStream() : file_(open_memstream(&text_, &size_)) {}
  ~CapturedStream() {
    std::fclose(file_);
    free(text_);
  }
  CapturedStream(const CapturedStream &) = delete;
  CapturedStream &operator=(const CapturedStream &) = delete;

  FILE *File() { return file_; }
  std::string Text() {
    std::fflush(file_);
    return std::string(text_, size_);
  }

 private:
  char *text_ = nullptr;
  size_t size_ = 0;
  FILE *file_;
};

inline std::string Retries() {
  return "Failed to read after 100 retries, bailing.\n";
}

}  // namespace dump_test

#endif  // TARNE_TESTS_DUMP_DUMP_TEST_SUPPORT_H
