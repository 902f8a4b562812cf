#include "node_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "client/tarne_status_codes.h"
#include "made_folders.h"
#include "trusted_file.h"
#include "uuid_util.h"

namespace olva::dir {
namespace {

bool SetOnce(std::string *field, const std::string &value, const std::string &name,
             std::string *error) {
  if (!field->empty()) {
    *error = name + " given twice";
    return false;
  }
  *field = value;
  return !value.empty();
}

std::string Errno(const std::string &what) {
  return what + ": " + std::strerror(errno);
}

bool ParseNodeFile(const std::string &path, bool identityRequired, NodeFile *node,
                   std::string *error) {
  std::string text;
  if (!ReadTrustedFile(path, kNodeFileRules, &text, error)) return false;
  std::istringstream in(text);
  NodeFile read;
  bool haveSelf = false;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.empty() || line[0] == '#') continue;
    const size_t space = line.find(' ');
    const std::string name = line.substr(0, space);
    const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
    const std::string where = path + ":" + std::to_string(number) + ": ";
    if (name == "self" || name == "cluster") {
      const std::optional<OlvaUUID> uuid = UuidFromText(value);
      if (!uuid || (name == "self" && haveSelf)) {
        *error = where;
        error->append("bad ").append(name).append(" line");
        return false;
      }
      if (name == "self") {
        read.identity.self = *uuid;
        haveSelf = true;
      } else {
        read.identity.clusters.push_back(*uuid);
      }
    } else if (name == "ca" || name == "cert" || name == "key" || name == "directory") {
      std::string *field = name == "ca"     ? &read.tls.ca
                           : name == "cert" ? &read.tls.cert
                           : name == "key"  ? &read.tls.key
                                            : &read.directory;
      if (!SetOnce(field, value, name, error)) {
        if (error->empty()) *error = "empty " + name + " path";
        *error = where + *error;
        return false;
      }
    } else {
      *error = where + "unknown line";
      return false;
    }
  }
  const bool identityGiven = haveSelf || !read.identity.clusters.empty();
  if ((identityRequired || identityGiven) && (!haveSelf || !ValidIdentity(read.identity))) {
    *error = path + ": not a node's identity (a self line and distinct cluster lines)";
    return false;
  }
  *node = std::move(read);
  return true;
}

}  // namespace

bool ReadNodeFile(const std::string &path, NodeFile *node, std::string *error) {
  return ParseNodeFile(path, true, node, error);
}

bool ReadNodeFileLocation(const std::string &path, std::string *location, std::string *error) {
  NodeFile node;
  if (!ParseNodeFile(path, false, &node, error)) return false;
  *location = std::move(node.directory);
  return true;
}

PEK_ReturnStatus WriteNodeFile(const std::string &path, const NodeFile &node, bool force,
                               std::string *error) {
  if (!ValidIdentity(node.identity)) {
    *error = "not an identity a directory can record";
    return TARNE_STATUS_BAD_PARAMETER;
  }
  std::ostringstream text;
  text << "# this host's identity in a shared directory (tarne-admin init)\n";
  if (!node.directory.empty()) text << "directory " << node.directory << "\n";
  text << "self " << UuidToText(node.identity.self) << "\n";
  for (const OlvaUUID &cluster : node.identity.clusters) {
    text << "cluster " << UuidToText(cluster) << "\n";
  }
  if (!node.tls.ca.empty()) text << "ca " << node.tls.ca << "\n";
  if (!node.tls.cert.empty()) text << "cert " << node.tls.cert << "\n";
  if (!node.tls.key.empty()) text << "key " << node.tls.key << "\n";
  const std::string bytes = text.str();

  MadeFolders folders;
  if (!folders.MakeAbove(path, error)) {
    folders.Remove();
    return TARNE_STATUS_FAILURE;
  }
  std::string temporary = path + ".XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);  // mode 0600
  if (fd < 0) {
    *error = Errno("cannot create " + temporary);
    folders.Remove();
    return TARNE_STATUS_FAILURE;
  }
  bool written =
      write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && fsync(fd) == 0;
  if (close(fd) != 0) written = false;
  if (!written) {
    *error = Errno("cannot write " + temporary);
    unlink(temporary.c_str());
    folders.Remove();
    return TARNE_STATUS_FAILURE;
  }
  // Without force, link refuses to replace a file that is there, atomically.
  const bool placed = force ? rename(temporary.c_str(), path.c_str()) == 0
                            : link(temporary.c_str(), path.c_str()) == 0;
  const int placeErrno = errno;
  if (!force || !placed) unlink(temporary.c_str());
  if (!placed) {
    folders.Remove();
    errno = placeErrno;
    if (!force && placeErrno == EEXIST) {
      *error = path + " already exists";
      return TARNE_STATUS_ALREADY_EXISTS;
    }
    *error = Errno("cannot write " + path);
    return TARNE_STATUS_FAILURE;
  }
  return TARNE_STATUS_SUCCESS;
}

}  // namespace olva::dir
