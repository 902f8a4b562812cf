// libFuzzer target: readdump of arbitrary header and dump bytes must end with one of its
// messages, never a crash, a hang, or memory that follows the lengths a dump claims.
//
// Input: the first 32 bytes are the header file, the rest the dump file (gzip or plain, as
// the bytes say). An input shorter than 32 bytes is a short header file and an empty dump.
// The header's reserved bytes, which the reader ignores, choose the options: byte 8 bits 0-1
// the format (simple, json, python; 3 is simple), bit 2 -p, bit 3 -c, bit 4 -m.
//
// Run with -malloc_limit_mb=4200 (scripts/fuzz.sh does): before an entry larger than 64 KiB is
// read, the reader asks once for the whole claimed size (up to 4 GiB + 64 bytes) and gives it
// back untouched, which libFuzzer's default malloc limit would report. The RSS limit stays at
// its default and catches memory that is really used.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "dump/read_dump.h"
#include "output/formats.h"
#include "output/output.h"
#include "settings/settings.h"
#include "tables/dump_header.h"

namespace {

// An in-memory file that the reader opens by path, like any other.
class MemoryFile {
 public:
  explicit MemoryFile(const char *name)
      : fd_(memfd_create(name, 0)), path_("/proc/self/fd/" + std::to_string(fd_)) {}

  bool Fill(const uint8_t *bytes, size_t size) {
    if (fd_ < 0 || ftruncate(fd_, 0) != 0) return false;
    return size == 0 || pwrite(fd_, bytes, size, 0) == static_cast<ssize_t>(size);
  }
  const char *Path() const { return path_.c_str(); }

 private:
  int fd_;
  std::string path_;
};

MemoryFile *headerFile;
MemoryFile *dumpFile;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  headerFile = new MemoryFile("tarne.dump.hdr");
  dumpFile = new MemoryFile("dump");
  FILE *sink = std::fopen("/dev/null", "w");
  Output_SetStreams(sink, sink);
  OutputFormats_Fill();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const size_t headerSize = size < sizeof(DumpHeader) ? size : sizeof(DumpHeader);
  if (!headerFile->Fill(data, headerSize) ||
      !dumpFile->Fill(data + headerSize, size - headerSize)) {
    return 0;
  }
  const uint8_t options = size > 8 ? data[8] : 0;
  Settings &settings = MutableSettings();
  settings.dumpFile = dumpFile->Path();
  settings.formatNumber = static_cast<uint8_t>((options & 3) == 3 ? 1 : (options & 3) + 1);
  settings.printDumpHeader = (options & 4) != 0;
  settings.compactOutput = (options & 8) != 0;
  settings.mangle = (options & 16) != 0;
  ReadDumpWithHeaderFile(headerFile->Path(), CurrentSettings());
  return 0;
}
