#include "backend_loader.h"

#include <dlfcn.h>
#include <limits.h>

#include <cstdio>
#include <cstdlib>

namespace olva::dir {
namespace {

// A boundary function of libolvalib.so: where it lives is where the library lives.
constexpr const char *kLibrarySymbol = "TARNE_Initialize";

// The backend that could not be loaded: every operation fails with why.
class AbsentBackend final : public DirectoryBackend {
 public:
  explicit AbsentBackend(std::string cause) : cause_(std::move(cause)) {}

  std::unique_ptr<DirectoryStore> Open(const std::string &, const std::string &, DirectoryInfo *,
                                       std::string *error) const override {
    *error = cause_;
    return nullptr;
  }
  AdminOutcome Init(const InitRequest &request, std::string *) const override {
    (void)std::fprintf(stderr, "tarne-admin: cannot create %s: %s\n", request.location.c_str(),
                       cause_.c_str());
    return AdminOutcome::kFailed;
  }
  bool Check(const std::string &location, const std::string &, const ProblemSink &,
             uint64_t *) const override {
    CannotOpen(location);
    return false;
  }
  std::unique_ptr<BulkLoad> OpenBulkLoad(const std::string &, DirectoryStore &,
                                         const DirectoryInfo &, std::string *error) const override {
    *error = cause_;
    return nullptr;
  }
  void Status(const std::string &, StatusReport *report) const override {
    report->cluster = true;
    report->Unreachable(cause_);
  }
  AdminOutcome Compact(const std::string &location, const std::string &) const override {
    CannotOpen(location);
    return AdminOutcome::kFailed;
  }
  AdminOutcome Upgrade(const std::string &location, const std::string &,
                       std::string *) const override {
    CannotOpen(location);
    return AdminOutcome::kFailed;
  }

 private:
  void CannotOpen(const std::string &location) const {
    (void)std::fprintf(stderr, "tarne-admin: cannot open directory %s: %s\n", location.c_str(),
                       cause_.c_str());
  }
  const std::string cause_;
};

}  // namespace

const DirectoryBackend &LoadBackend(const std::string &file, const std::string &name) {
  const std::string path = LibraryFolder() + "/" + file;
  const auto absent = [&](const std::string &why) -> const DirectoryBackend & {
    // Kept for the rest of the process, as a loaded backend is.
    return *new AbsentBackend("the " + name + " cannot be loaded from " + path + ": " + why);
  };
  // RTLD_LOCAL: the backend's own copy of the runtime's code stays its own.
  void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return absent(dlerror());
  auto *entry = reinterpret_cast<BackendEntry>(dlsym(handle, kBackendEntryPoint));
  if (entry == nullptr) return absent(dlerror());
  const BackendHost host{&CallBound::Own};
  const DirectoryBackend *backend = entry(&host);
  if (backend == nullptr) return absent("it holds no backend");
  return *backend;  // never unloaded: its stores and threads may live until exit
}

std::string LibraryFolder() {
  void *symbol = dlsym(RTLD_DEFAULT, kLibrarySymbol);
  const void *address = symbol != nullptr ? symbol : reinterpret_cast<const void *>(&LibraryFolder);
  Dl_info about{};
  if (dladdr(address, &about) == 0 || about.dli_fname == nullptr) return ".";
  // Found through a RUNPATH such as $ORIGIN/../lib/tarne: named plainly for messages.
  char *real = realpath(about.dli_fname, nullptr);
  const std::string path = real != nullptr ? real : about.dli_fname;
  std::free(real);
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace olva::dir
