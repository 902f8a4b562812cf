// Where this host's directory is, in the order every program of the host follows.
#ifndef OLVALIB_DIRECTORY_HOST_LOCATION_H
#define OLVALIB_DIRECTORY_HOST_LOCATION_H

#include <string>

namespace olva::dir {

// TARNE_DIRECTORY when set and not empty; else the location the node file (NodePath())
// records; else, when there is no node file or it records none, the default path. False,
// and *error, when there is a node file that cannot be read or trusted: a host whose node
// file is damaged is never sent to the default path in silence.
bool HostDirectoryLocation(std::string *location, std::string *error);

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_HOST_LOCATION_H
