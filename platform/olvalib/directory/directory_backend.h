// What a backend offers, to the library and to tarne-admin alike: one record per backend,
// looked up by the location's scheme (BackendFor). The library only opens; tarne-admin's
// commands create, check, load, report and maintain through the same record, so that a
// command never asks which backend it has.
#ifndef OLVALIB_DIRECTORY_DIRECTORY_BACKEND_H
#define OLVALIB_DIRECTORY_DIRECTORY_BACKEND_H

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "bulk_load.h"
#include "directory_info.h"
#include "directory_store.h"
#include "status_record.h"

namespace olva::dir {

// What a tarne-admin operation came to. Failed: its messages are printed. Usage: the
// command's usage error, its text in *usage. Unsupported: not something this backend's
// directories do; the command says so in its own words.
enum class AdminOutcome : uint8_t { kDone, kFailed, kUsage, kUnsupported };

// What tarne-admin init was given.
struct InitRequest {
  std::string location;
  std::string nodePath;
  DirectoryInfo identity;
  bool force = false;
  std::optional<std::string> ca, cert, key;  // the TLS files, as given
};

using ProblemSink = std::function<void(std::string)>;

class DirectoryBackend {
 public:
  virtual ~DirectoryBackend() = default;

  // The directory at the location, with the node's identity (from the file itself, or from
  // the node file at nodePath); nothing, and *error, when it cannot be opened.
  virtual std::unique_ptr<DirectoryStore> Open(const std::string &location,
                                               const std::string &nodePath, DirectoryInfo *info,
                                               std::string *error) const = 0;

  // Creates the directory, or on a shared one joins it, and records the node's identity.
  virtual AdminOutcome Init(const InitRequest &request, std::string *usage) const = 0;

  // Hands every problem found to problem and counts the rows read in *rows; false after a
  // message when the directory cannot be opened at all.
  virtual bool Check(const std::string &location, const std::string &nodePath,
                     const ProblemSink &problem, uint64_t *rows) const = 0;

  // Where restore loads a dump, opened beside the directory's store; nothing, and *error,
  // when it cannot be written.
  virtual std::unique_ptr<BulkLoad> OpenBulkLoad(const std::string &location, DirectoryStore &store,
                                                 const DirectoryInfo &info,
                                                 std::string *error) const = 0;

  // Fills the report's backend part: sizes, members, alarms, entries, and the problems found.
  virtual void Status(const std::string &location, StatusReport *report) const = 0;

  // Gives the space of a directory's history back, printing each step.
  virtual AdminOutcome Compact(const std::string &location, const std::string &nodePath) const = 0;

  // Moves a directory written in an earlier layout to the current one.
  virtual AdminOutcome Upgrade(const std::string &location, const std::string &nodePath,
                               std::string *usage) const = 0;
};

// The backend of the location's scheme: etcd:// and etcds:// a cluster's, anything else a
// file's. The cluster's lives in a shared object beside the library, loaded at the first
// cluster location; when it cannot be loaded, its record fails every operation with the
// cause (the file tried and the loader's words).
const DirectoryBackend &BackendFor(const std::string &location);

// What the program that loads a backend's shared object lends it: the one piece of state
// both sides use (each holds its own copy of the code they share).
struct BackendHost {
  CallBound::Source callBound;  // reads the bounds this program's threads set
};
// The one symbol a backend's shared object exports: it hands out the backend's record.
inline constexpr const char *kBackendEntryPoint = "tarne_directory_backend";
using BackendEntry = const DirectoryBackend *(*)(const BackendHost *host);

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_DIRECTORY_BACKEND_H
