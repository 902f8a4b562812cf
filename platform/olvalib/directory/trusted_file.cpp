#include "trusted_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace olva::dir {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor &) = delete;
  FileDescriptor &operator=(const FileDescriptor &) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// Empty when the owner and mode suit the rules, else what is wrong and how to fix it.
std::string Distrust(const struct stat &info, const std::string &path, FileTrust trust) {
  const uid_t user = geteuid();
  if (trust == FileTrust::kOwned && info.st_uid != user && info.st_uid != 0) {
    return " is owned by uid " + std::to_string(info.st_uid) + ", not by this user (uid " +
           std::to_string(user) + ") or root (chown " + std::to_string(user) + " " + path + ")";
  }
  if (trust == FileTrust::kOwned && (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return " is writable by group or others (chmod go-w " + path + ")";
  }
  if (trust == FileTrust::kPrivate && (info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    return " is open to group or others (chmod 600 " + path + ")";
  }
  return {};
}

}  // namespace

bool ReadTrustedFile(const std::string &path, const FileRules &rules, std::string *text,
                     std::string *error) {
  const std::string named = std::string(rules.what) + " " + path;
  const auto fail = [&](const std::string &why) {
    *error = named + why;
    return false;
  };
  const auto failErrno = [&] {
    *error = "cannot read " + named + ": " + std::strerror(errno);
    return false;
  };
  // Non-blocking: opening a FIFO without a writer returns at once, and fstat refuses it.
  const FileDescriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) return failErrno();
  struct stat info {};
  if (fstat(fd.get(), &info) != 0) return failErrno();
  if (!S_ISREG(info.st_mode)) return fail(" is not a regular file");
  if (const std::string why = Distrust(info, path, rules.trust); !why.empty()) return fail(why);
  const std::string tooLarge = " is larger than " + std::to_string(rules.maxBytes) + " bytes";
  if (static_cast<uintmax_t>(info.st_size) > rules.maxBytes) return fail(tooLarge);

  // One byte more than fstat said tells a file that grew; it may grow up to the bound.
  std::string bytes(static_cast<size_t>(info.st_size) + 1, '\0');
  size_t size = 0;
  for (;;) {
    if (size == bytes.size()) {
      if (size > rules.maxBytes) return fail(tooLarge);
      bytes.resize(std::min(2 * size, rules.maxBytes + 1));
    }
    const ssize_t got = read(fd.get(), bytes.data() + size, bytes.size() - size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return failErrno();
    if (got == 0) break;
    size += static_cast<size_t>(got);
  }
  bytes.resize(size);
  *text = std::move(bytes);
  return true;
}

bool ReadTlsFiles(const TlsFiles &files, std::string *ca, std::string *cert, std::string *key,
                  std::string *error) {
  const struct {
    const std::string &path;
    FileRules rules;
    std::string *pem;
  } parts[] = {
      {files.ca, {"authority file", kTlsFileMaxBytes, FileTrust::kPublic}, ca},
      {files.cert, {"certificate file", kTlsFileMaxBytes, FileTrust::kPublic}, cert},
      {files.key, {"key file", kTlsFileMaxBytes, FileTrust::kPrivate}, key},
  };
  for (const auto &part : parts) {
    if (part.path.empty()) continue;
    if (!ReadTrustedFile(part.path, part.rules, part.pem, error)) return false;
    if (part.pem->empty()) {
      *error = std::string(part.rules.what) + " " + part.path + " is empty";
      return false;
    }
  }
  return true;
}

}  // namespace olva::dir
