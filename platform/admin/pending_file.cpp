#include "pending_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace olva::admin {
namespace {

std::string SystemError(const std::string &what) {
  return what + ": " + std::strerror(errno);
}

std::string FolderOf(const std::string &path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool SyncFolder(const std::string &folder, std::string *error) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool synced = fd >= 0 && fsync(fd) == 0;
  if (!synced) *error = SystemError("cannot sync the folder " + folder);
  if (fd >= 0) close(fd);
  return synced;
}

// Names that SIGINT and SIGTERM remove before the process ends. The handler reads them
// while the main line may be changing them, so a slot is published by its flag alone,
// after its name is complete, and retired by the flag before the name changes.
constexpr int kSlots = 4;
char trackedNames[kSlots][PATH_MAX];
std::atomic<bool> trackedInUse[kSlots];
static_assert(std::atomic<bool>::is_always_lock_free, "read from a signal handler");

void RemoveTrackedAndDie(int signal) {
  for (int i = 0; i < kSlots; ++i) {
    if (trackedInUse[i].load()) unlink(trackedNames[i]);
  }
  // Die of the signal as if nothing had caught it, so that the parent sees why.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigaction(signal, &fallback, nullptr);
  (void)raise(signal);
}

void InstallHandlerOnce() {
  static const bool installed = [] {
    struct sigaction action {};
    action.sa_handler = RemoveTrackedAndDie;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return true;
  }();
  (void)installed;
}

// Holds SIGINT and SIGTERM back while a name is created and recorded, so that no name
// exists untracked.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  SignalsHeld(const SignalsHeld &) = delete;
  SignalsHeld &operator=(const SignalsHeld &) = delete;

 private:
  sigset_t previous_;
};

bool Track(const std::string &name) {
  if (name.size() >= PATH_MAX) return false;
  InstallHandlerOnce();
  for (int i = 0; i < kSlots; ++i) {
    if (trackedInUse[i].load()) continue;
    std::memcpy(trackedNames[i], name.c_str(), name.size() + 1);
    trackedInUse[i].store(true);
    return true;
  }
  return false;
}

void Untrack(const std::string &name) {
  for (int i = 0; i < kSlots; ++i) {
    if (trackedInUse[i].load() && name == trackedNames[i]) trackedInUse[i].store(false);
  }
}

// path plus a dot and 12 random letters or digits, as mkstemp would choose.
std::string RandomNameBeside(const std::string &path) {
  static constexpr char kAlphabet[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char random[12];
  if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
    for (unsigned char &byte : random) byte = static_cast<unsigned char>(std::rand());
  }
  std::string name = path + ".";
  for (unsigned char byte : random) name += kAlphabet[byte % (sizeof kAlphabet - 1)];
  return name;
}

}  // namespace

PendingFile::~PendingFile() {
  if (fd_ >= 0) close(fd_);
  if (!temporaryName_.empty()) {
    unlink(temporaryName_.c_str());
    Untrack(temporaryName_);
  }
  folders_.Remove();
}

bool PendingFile::Create(const std::string &path, std::string *error) {
  path_ = path;
  folder_ = FolderOf(path);
  if (!folders_.MakeAbove(path, error)) return false;
  fd_ = open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    // No unnamed files here: a fresh name, created exclusively (O_EXCL never follows a link).
    const SignalsHeld held;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
      const std::string name = RandomNameBeside(path);
      fd_ = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd_ >= 0) {
        temporaryName_ = name;
        if (!Track(name)) {
          *error = "too many files pending at once";
          return false;
        }
      } else if (errno != EEXIST) {
        break;
      }
    }
    if (fd_ < 0) {
      *error = SystemError("cannot create a file beside " + path);
      return false;
    }
  }
  // Owner only, whatever the umask: a dump holds every entry of an owner-only directory.
  if (fchmod(fd_, 0600) != 0) {
    *error = SystemError("cannot restrict " + path);
    return false;
  }
  return true;
}

bool PendingFile::Publish(std::string *error) {
  if (fsync(fd_) != 0) {
    *error = SystemError("cannot sync " + path_);
    return false;
  }
  if (temporaryName_.empty()) {
    // linkat cannot replace a file, so the unnamed file gets a fresh name of its own first,
    // then takes path's place in one rename. The new name is never a planted link: linkat
    // fails on any existing name.
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    const SignalsHeld held;
    for (int attempt = 0; attempt < 100 && temporaryName_.empty(); ++attempt) {
      const std::string name = RandomNameBeside(path_);
      if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        temporaryName_ = name;
        if (!Track(name)) {
          *error = "too many files pending at once";
          return false;
        }
      } else if (errno != EEXIST) {
        break;
      }
    }
    if (temporaryName_.empty()) {
      *error = SystemError("cannot name " + path_);
      return false;
    }
  }
  if (rename(temporaryName_.c_str(), path_.c_str()) != 0) {
    *error = SystemError("cannot rename a file to " + path_);
    return false;
  }
  Untrack(temporaryName_);
  temporaryName_.clear();
  folders_ = dir::MadeFolders();  // they hold the file now
  return SyncFolder(folder_, error);
}

bool RemoveDurably(const std::string &path, std::string *error) {
  if (unlink(path.c_str()) != 0) {
    if (errno == ENOENT) return true;
    *error = SystemError("cannot remove " + path);
    return false;
  }
  return SyncFolder(FolderOf(path), error);
}

}  // namespace olva::admin
