// Writes a directory dump: the dump file (entry records back to back, gzip) and
// its header file, as readdump reads them. Entries are streamed: the writer
// holds none of them.
#ifndef TARNE_ADMIN_DUMP_WRITER_H
#define TARNE_ADMIN_DUMP_WRITER_H

#include <zlib.h>

#include <cstdint>
#include <span>
#include <string>

#include "client/tarne_client.h"
#include "pending_file.h"
#include "tables/dump_header.h"

namespace olva::admin {

// Both files are written out of sight (pending_file.h: owner-only, created
// exclusively, gone if the process dies) and appear only when complete and on
// disk. Finish removes the old header first, then puts the dump file in place,
// then the new header: at every moment a reader finds the old pair, a dump
// without a header (which it refuses), or the new pair, never one file of a
// dump beside the other file of another.
class DumpWriter {
 public:
  DumpWriter() = default;
  ~DumpWriter();
  DumpWriter(const DumpWriter &) = delete;
  DumpWriter &operator=(const DumpWriter &) = delete;

  // False, and *error set, when the dump file cannot be created.
  bool Open(const std::string &dumpPath, std::string *error);

  // Appends one entry record: its 64-byte header, whose valueLen must be the
  // payload's size, then the payload.
  bool Add(const TarneEntry &header, std::span<const uint8_t> payload, std::string *error);

  // Completes the dump file, then writes the header file (gzip when
  // compressHeader) with the number of entries added and the two times.
  bool Finish(const std::string &headerPath, bool compressHeader, uint32_t starttime,
              uint32_t endtime, std::string *error);

  // Drops every entry added so far, for a read of the directory that begins again.
  bool BeginAgain(std::string *error);

  uint64_t Count() const { return count_; }

 private:
  bool Fail(std::string *error, const std::string &what);
  // A gzip stream from the dump file's current offset, and no entry counted.
  bool StartStream();

  gzFile dump_ = nullptr;
  std::string dumpPath_;
  PendingFile dumpFile_;
  uint64_t count_ = 0;
};

// The header record for a dump of `count` entries.
DumpHeader MakeDumpHeader(uint64_t count, uint32_t starttime, uint32_t endtime);

}  // namespace olva::admin

#endif  // TARNE_ADMIN_DUMP_WRITER_H
