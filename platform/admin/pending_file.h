// A file written out of readers' sight and given its name only once it is complete and on
// disk. It is created exclusively (a file or link planted in the folder is never opened,
// let alone followed), readable and writable by its owner only, and a file that is never
// published leaves nothing behind: not when its writer gives up, nor when SIGINT or SIGTERM
// ends the process.
#ifndef TARNE_ADMIN_PENDING_FILE_H
#define TARNE_ADMIN_PENDING_FILE_H

#include <string>

#include "directory/made_folders.h"

namespace olva::admin {

class PendingFile {
 public:
  PendingFile() = default;
  ~PendingFile();
  PendingFile(const PendingFile &) = delete;
  PendingFile &operator=(const PendingFile &) = delete;

  // Creates the file in the folder of path, unnamed where the file system allows it (it
  // then vanishes with the process whatever ends it), else under a fresh random name beside
  // path that a signal handler removes. A missing folder is made first, and removed again
  // when the file is never published. False, and *error set, when it cannot be created.
  bool Create(const std::string &path, std::string *error);
  int Descriptor() const { return fd_; }

  // Syncs the content, gives the file its name in one step (replacing what was there) and
  // syncs the folder, so that the name never shows a file that a crash could lose.
  bool Publish(std::string *error);

 private:
  std::string path_;
  std::string folder_;
  int fd_ = -1;
  std::string temporaryName_;  // while the file has a name other than path_
  dir::MadeFolders folders_;   // made for this file, until it is published
};

// Removes path, and makes the removal durable before any later change to the folder.
// A missing file is not an error.
bool RemoveDurably(const std::string &path, std::string *error);

}  // namespace olva::admin

#endif  // TARNE_ADMIN_PENDING_FILE_H
