// The record of the directory in one SQLite file (directory_backend.h).
#ifndef OLVALIB_DIRECTORY_SQLITE_BACKEND_H
#define OLVALIB_DIRECTORY_SQLITE_BACKEND_H

#include "directory/directory_backend.h"

namespace olva::dir {

const DirectoryBackend &SqliteBackend();

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_SQLITE_BACKEND_H
