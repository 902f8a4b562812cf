// A backend that lives in a shared object of its own, found beside the library, so that a
// program that never names such a location never loads it nor the libraries it needs.
#ifndef OLVALIB_DIRECTORY_BACKEND_LOADER_H
#define OLVALIB_DIRECTORY_BACKEND_LOADER_H

#include <string>

#include "directory_backend.h"

namespace olva::dir {

// The folder of libolvalib.so as this process loaded it (of this program when it holds the
// library's code itself), without the trailing slash.
std::string LibraryFolder();

// Loads the shared object named file from the library's folder and returns its backend's
// record, kept loaded until exit; when it cannot be loaded, a record whose every operation
// fails with the cause, naming the backend by name. Each call loads anew: the caller keeps
// the record.
const DirectoryBackend &LoadBackend(const std::string &file, const std::string &name);

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_BACKEND_LOADER_H
