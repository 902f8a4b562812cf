#include "dump_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace olva::admin {
namespace {

constexpr unsigned kGzipBufferBytes = 256 * 1024;

// A gzip stream over a duplicate of fd, so that closing the stream leaves fd open for
// the sync and the rename.
gzFile GzipOnto(int fd) {
  const int copy = dup(fd);
  if (copy < 0) return nullptr;
  gzFile file = gzdopen(copy, "wb");
  if (file == nullptr) close(copy);
  return file;
}

// Writes the whole of bytes into the pending file, through gzip or plainly.
bool WriteWhole(const PendingFile &file, const std::string &path, const void *bytes, unsigned size,
                bool compress, std::string *error) {
  if (compress) {
    gzFile stream = GzipOnto(file.Descriptor());
    const bool written =
        stream != nullptr && gzwrite(stream, bytes, size) == static_cast<int>(size);
    if (stream == nullptr || gzclose(stream) != Z_OK || !written) {
      *error = "cannot write " + path;
      return false;
    }
    return true;
  }
  if (write(file.Descriptor(), bytes, size) != static_cast<ssize_t>(size)) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

DumpHeader MakeDumpHeader(uint64_t count, uint32_t starttime, uint32_t endtime) {
  DumpHeader header{};
  header.magic = kDumpMagic;
  header.minor = kDumpMinorVersion;
  header.major = kDumpMajorVersion;
  // The record holds a signed 32-bit count; a larger dump announces its low 32
  // bits, and the reader reports the mismatch after listing every entry.
  header.numentries = static_cast<int32_t>(static_cast<uint32_t>(count));
  header.starttime = starttime;
  header.endtime = endtime;
  return header;
}

DumpWriter::~DumpWriter() {
  if (dump_ != nullptr) gzclose(dump_);
}

bool DumpWriter::Fail(std::string *error, const std::string &what) {
  int code = Z_OK;
  const char *message = dump_ != nullptr ? gzerror(dump_, &code) : nullptr;
  *error = what;
  if (code == Z_ERRNO) {
    *error += std::string(": ") + std::strerror(errno);
  } else if (code != Z_OK && message != nullptr) {
    *error += std::string(": ") + message;
  }
  return false;
}

bool DumpWriter::Open(const std::string &dumpPath, std::string *error) {
  dumpPath_ = dumpPath;
  if (!dumpFile_.Create(dumpPath, error)) return false;
  if (!StartStream()) {
    *error = "cannot create " + dumpPath;
    return false;
  }
  return true;
}

bool DumpWriter::StartStream() {
  dump_ = GzipOnto(dumpFile_.Descriptor());
  if (dump_ == nullptr) return false;
  gzbuffer(dump_, kGzipBufferBytes);
  count_ = 0;
  return true;
}

bool DumpWriter::BeginAgain(std::string *error) {
  // The stream's own descriptor is a duplicate: closing it leaves the pending file open.
  gzclose(dump_);
  dump_ = nullptr;
  const int fd = dumpFile_.Descriptor();
  if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0 || !StartStream()) {
    return Fail(error, "cannot write " + dumpPath_);
  }
  return true;
}

bool DumpWriter::Add(const TarneEntry &header, std::span<const uint8_t> payload,
                     std::string *error) {
  if (header.valueLen != payload.size()) {
    *error = "an entry's valueLen differs from its payload's size";
    return false;
  }
  if (gzwrite(dump_, &header, sizeof header) != static_cast<int>(sizeof header)) {
    return Fail(error, "cannot write " + dumpPath_);
  }
  // gzwrite takes at most INT_MAX bytes at a time.
  for (size_t done = 0; done < payload.size();) {
    const size_t piece = std::min<size_t>(payload.size() - done, std::numeric_limits<int>::max());
    if (gzwrite(dump_, payload.data() + done, static_cast<unsigned>(piece)) !=
        static_cast<int>(piece)) {
      return Fail(error, "cannot write " + dumpPath_);
    }
    done += piece;
  }
  ++count_;
  return true;
}

bool DumpWriter::Finish(const std::string &headerPath, bool compressHeader, uint32_t starttime,
                        uint32_t endtime, std::string *error) {
  const int closed = gzclose(dump_);
  dump_ = nullptr;
  if (closed != Z_OK) {
    *error = "cannot complete " + dumpPath_;
    return false;
  }
  const DumpHeader header = MakeDumpHeader(count_, starttime, endtime);
  PendingFile headerFile;
  return headerFile.Create(headerPath, error) &&
         WriteWhole(headerFile, headerPath, &header, sizeof header, compressHeader, error) &&
         RemoveDurably(headerPath, error) && dumpFile_.Publish(error) && headerFile.Publish(error);
}

}  // namespace olva::admin
