// The files the library takes from the host on trust: its node file and its TLS files. Each
// is opened without blocking, so that a FIFO or a device never holds a command; it must be a
// regular file (a symbolic link to one is followed: the file opened is the one checked) and
// is read up to a bound, so that a wrong name costs an error, never memory or time. Who may
// change or read it depends on what it holds, as a shell's keys are checked before use.
#ifndef OLVALIB_DIRECTORY_TRUSTED_FILE_H
#define OLVALIB_DIRECTORY_TRUSTED_FILE_H

#include <cstddef>
#include <string>

#include "node_file.h"

namespace olva::dir {

// A node file is a few hundred bytes; an authority's bundle of certificates may be hundreds
// of KiB.
inline constexpr size_t kNodeFileMaxBytes = size_t{64} * 1024;
inline constexpr size_t kTlsFileMaxBytes = size_t{1024} * 1024;

enum class FileTrust {
  kPublic,  // anyone may read or own it: a certificate
  // It says who the host is: owned by the user running the program or by root, writable by
  // its owner only. Root too is refused a file another user owns, which that user could
  // rewrite.
  kOwned,
  kPrivate,  // a secret: neither group nor others may do anything with it
};

struct FileRules {
  const char *what;  // how messages name the file: "node file", "key file"
  size_t maxBytes;
  FileTrust trust;
};

inline constexpr FileRules kNodeFileRules{"node file", kNodeFileMaxBytes, FileTrust::kOwned};

// The whole file in *text; false, and *error naming the file and, for its permissions or
// owner, the command that puts them right.
bool ReadTrustedFile(const std::string &path, const FileRules &rules, std::string *text,
                     std::string *error);

// The TLS files a node file names, in PEM, each one given (an empty one is refused); the key
// must be private.
bool ReadTlsFiles(const TlsFiles &files, std::string *ca, std::string *cert, std::string *key,
                  std::string *error);

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_TRUSTED_FILE_H
