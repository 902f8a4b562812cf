#include "dump_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace olva::admin {
namespace {

constexpr unsigned kGzipBufferBytes = 256 * 1024;

std::string TemporaryBeside(const std::string &path) {
  return path + ".tmp." + std::to_string(getpid());
}

std::string SystemError(const std::string &what) {
  return what + ": " + std::strerror(errno);
}

// Writes the whole of bytes to a new file at path, through gzip or plainly.
bool WriteWholeFile(const std::string &path, const void *bytes, unsigned size, bool compress,
                    std::string *error) {
  if (compress) {
    gzFile file = gzopen(path.c_str(), "wb");
    if (file == nullptr) {
      *error = SystemError("cannot create " + path);
      return false;
    }
    const bool written = gzwrite(file, bytes, size) == static_cast<int>(size);
    if (gzclose(file) != Z_OK || !written) {
      *error = "cannot write " + path;
      return false;
    }
    return true;
  }
  FILE *file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    *error = SystemError("cannot create " + path);
    return false;
  }
  const bool written = std::fwrite(bytes, 1, size, file) == size;
  if (std::fclose(file) != 0 || !written) {
    *error = SystemError("cannot write " + path);
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
  if (dump_ != nullptr) {
    gzclose(dump_);
    std::remove(dumpTemporary_.c_str());
  }
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
  dumpTemporary_ = TemporaryBeside(dumpPath);
  dump_ = gzopen(dumpTemporary_.c_str(), "wb");
  if (dump_ == nullptr) {
    *error = SystemError("cannot create " + dumpTemporary_);
    return false;
  }
  gzbuffer(dump_, kGzipBufferBytes);
  count_ = 0;
  return true;
}

bool DumpWriter::Add(const TarneEntry &header, std::span<const uint8_t> payload,
                     std::string *error) {
  if (header.valueLen != payload.size()) {
    *error = "an entry's valueLen differs from its payload's size";
    return false;
  }
  if (gzwrite(dump_, &header, sizeof header) != static_cast<int>(sizeof header)) {
    return Fail(error, "cannot write " + dumpTemporary_);
  }
  // gzwrite takes at most INT_MAX bytes at a time.
  for (size_t done = 0; done < payload.size();) {
    const size_t piece = std::min<size_t>(payload.size() - done, std::numeric_limits<int>::max());
    if (gzwrite(dump_, payload.data() + done, static_cast<unsigned>(piece)) !=
        static_cast<int>(piece)) {
      return Fail(error, "cannot write " + dumpTemporary_);
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
    std::remove(dumpTemporary_.c_str());
    *error = "cannot complete " + dumpTemporary_;
    return false;
  }
  if (std::rename(dumpTemporary_.c_str(), dumpPath_.c_str()) != 0) {
    *error = SystemError("cannot rename " + dumpTemporary_ + " to " + dumpPath_);
    std::remove(dumpTemporary_.c_str());
    return false;
  }
  const DumpHeader header = MakeDumpHeader(count_, starttime, endtime);
  const std::string headerTemporary = TemporaryBeside(headerPath);
  if (!WriteWholeFile(headerTemporary, &header, sizeof header, compressHeader, error)) {
    std::remove(headerTemporary.c_str());
    return false;
  }
  if (std::rename(headerTemporary.c_str(), headerPath.c_str()) != 0) {
    *error = SystemError("cannot rename " + headerTemporary + " to " + headerPath);
    std::remove(headerTemporary.c_str());
    return false;
  }
  return true;
}

}  // namespace olva::admin
