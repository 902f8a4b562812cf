#include "made_folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace olva::dir {

bool MadeFolders::MakeAbove(const std::string &path, std::string *error) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    if (path[slash - 1] == '/') continue;  // "a//b": one folder
    const std::string folder = path.substr(0, slash);
    if (mkdir(folder.c_str(), kMadeFolderMode) == 0) {
      made_.push_back(folder);
      continue;
    }
    const int made = errno;
    struct stat status {};
    if (made == EEXIST && stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) continue;
    *error =
        "cannot make the folder " + folder + ": " + std::strerror(made == EEXIST ? ENOTDIR : made);
    return false;
  }
  return true;
}

void MadeFolders::Remove() {
  while (!made_.empty()) {
    if (rmdir(made_.back().c_str()) != 0) break;
    made_.pop_back();
  }
}

}  // namespace olva::dir
