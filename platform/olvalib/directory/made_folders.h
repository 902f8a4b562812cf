// The missing folders on the way to a file that a command writes (the node file's folder,
// the directory file's, a dump's), made as `mkdir -p` would and taken back when the command
// fails, so that a failed command leaves no trace of them.
#ifndef OLVALIB_DIRECTORY_MADE_FOLDERS_H
#define OLVALIB_DIRECTORY_MADE_FOLDERS_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace olva::dir {

// The mode of a folder made on the way, less the umask: the files in it keep their own,
// owner-only modes, and others may still reach the files they may read (TLS certificates).
inline constexpr mode_t kMadeFolderMode = 0755;

class MadeFolders {
 public:
  // Makes every missing folder above path, outermost first. False, and *error naming the
  // folder, when one cannot be made or a name on the way is not a folder; the folders made
  // before it are kept track of all the same.
  bool MakeAbove(const std::string &path, std::string *error);
  // Removes the folders made, innermost first, as far as they are empty.
  void Remove();
  const std::vector<std::string> &Made() const { return made_; }

 private:
  std::vector<std::string> made_;
};

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_MADE_FOLDERS_H
