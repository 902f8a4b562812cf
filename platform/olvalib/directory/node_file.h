// The node file of a host whose directory is a cluster: what is local to the host (its own
// UUID, its server sub-clusters, the files it proves itself with), while the entries are
// shared. A text file of "NAME VALUE" lines, readable and writable by its owner only:
//
//   directory LOC       where the directory is, when TARNE_DIRECTORY does not say
//   self 0f3c...        the node's UUID
//   cluster 5a1e...     a server sub-cluster, once per sub-cluster, the default first
//   ca PATH             TLS only: the authority that signed the members' certificates
//   cert PATH           TLS only: this host's certificate and its key
//   key PATH
#ifndef OLVALIB_DIRECTORY_NODE_FILE_H
#define OLVALIB_DIRECTORY_NODE_FILE_H

#include <string>

#include "client/tarne_client.h"
#include "directory_info.h"

namespace olva::dir {

struct TlsFiles {
  std::string ca;
  std::string cert;
  std::string key;
  bool Given() const { return !ca.empty() || !cert.empty() || !key.empty(); }
};

struct NodeFile {
  DirectoryInfo identity;
  TlsFiles tls;
  std::string directory;  // empty in a node file written before the host recorded it
};

// False, and *error, when the file cannot be read or cannot be trusted (not a regular file,
// larger than kNodeFileMaxBytes, owned by another user than this one or root, writable by
// group or others: trusted_file.h) or is not a node file: a line of another form, no self or
// no cluster, a UUID given twice or reserved, a TLS file named twice.
bool ReadNodeFile(const std::string &path, NodeFile *node, std::string *error);

// The location the node file records, empty when it records none; false, and *error, as
// ReadNodeFile, except that a file holding only the location (a host whose directory is a
// file, which keeps its identity) is a node file too.
bool ReadNodeFileLocation(const std::string &path, std::string *location, std::string *error);

// Writes the file (mode 0600) through a temporary in its folder and one rename, making the
// folder first when it is missing (and removing it again when the file is not written). Already
// exists: the file is there and force is false. Bad parameter: the identity is not one a
// directory could record. Failure: *error says why.
PEK_ReturnStatus WriteNodeFile(const std::string &path, const NodeFile &node, bool force,
                               std::string *error);

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_NODE_FILE_H
