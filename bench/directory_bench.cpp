// The embedded directory through its C boundary: finding every one of a million entries, and
// deleting through an iteration with 900 requests in flight (batched against a transaction
// per request). The delay from another process's add to a waiter's wake-up is measured on
// both backends by backend_wake (bench/backends.sh).
//
// Run from the build's bin folder (it starts tarne-admin beside itself):
//   bin/directory_bench [--benchmark_filter=...]
// TARNE_BENCH_DIR names the folder for its directories (default /var/tmp).
#include <benchmark/benchmark.h>
#include <semaphore.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"

extern char **environ;

namespace {

constexpr uint8_t kBenchType = 21;
constexpr unsigned kInFlight = 900;

std::string BinFolder() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

int Spawn(const std::vector<std::string> &argv, bool wait, pid_t *child = nullptr) {
  std::vector<char *> words;
  for (const std::string &word : argv) words.push_back(const_cast<char *>(word.c_str()));
  words.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, words[0], nullptr, nullptr, words.data(), environ);
  if (spawned != 0) return -1;
  if (child != nullptr) *child = pid;
  if (!wait) return 0;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Peak resident memory since the last reset, in MiB.
void ResetPeakMemory() {
  std::ofstream("/proc/self/clear_refs") << "5";
}
double PeakMemoryMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

OlvaUUID NumberedUuid(uint32_t number) {
  OlvaUUID uuid{};
  uuid.bytes[0] = 0xbe;
  uuid.bytes[6] = 0x40;
  for (int i = 0; i < 4; ++i) uuid.bytes[12 + i] = static_cast<uint8_t>(number >> (24 - 8 * i));
  return uuid;
}

// A fresh directory opened by this process's library; removed with the object.
class BenchDirectory {
 public:
  explicit BenchDirectory(size_t batchLimit = 0) {
    const char *base = std::getenv("TARNE_BENCH_DIR");
    std::string pattern = std::string(base != nullptr ? base : "/var/tmp") + "/dirbench-XXXXXX";
    folder_ = mkdtemp(pattern.data());
    path_ = folder_ + "/directory.db";
    setenv("TARNE_DIRECTORY", path_.c_str(), 1);
    if (batchLimit != 0) setenv("TARNE_DIRECTORY_BATCH", std::to_string(batchLimit).c_str(), 1);
    ok_ = Spawn({BinFolder() + "/tarne-admin", "init", "--directory", path_}, true) == 0 &&
          TARNE_Initialize(1, 0, &handle_) == TARNE_STATUS_SUCCESS;
    unsetenv("TARNE_DIRECTORY_BATCH");
  }
  ~BenchDirectory() {
    if (handle_ != -1) TARNE_Deinitialize(handle_);
    std::filesystem::remove_all(folder_);
  }
  bool ok() const { return ok_; }

 private:
  std::string folder_;
  std::string path_;
  int32_t handle_ = -1;
  bool ok_ = false;
};

struct Flight {
  sem_t slots;
  std::atomic<uint32_t> failed{0};
  Flight() { sem_init(&slots, 0, kInFlight); }
  ~Flight() { sem_destroy(&slots); }
  void Drain() {
    for (unsigned i = 0; i < kInFlight; ++i) sem_wait(&slots);
    for (unsigned i = 0; i < kInFlight; ++i) sem_post(&slots);
  }
};

int32_t FreeWhenAdded(void *context, TarneEntry *entry, uint32_t, OlvaUUID,
                      PEK_ReturnStatus status) {
  auto *flight = static_cast<Flight *>(context);
  if (status != TARNE_STATUS_SUCCESS) ++flight->failed;
  std::free(entry);
  sem_post(&flight->slots);
  return 0;
}

// Adds count entries of payloadBytes through the library, 900 in flight.
bool AddEntries(uint32_t count, uint32_t payloadBytes) {
  Flight flight;
  for (uint32_t number = 0; number < count; ++number) {
    auto *entry = static_cast<TarneEntry *>(std::calloc(1, sizeof(TarneEntry) + payloadBytes));
    entry->uuid = NumberedUuid(number);
    entry->owner.bytes[3] = 2;  // the node itself
    entry->type = kBenchType;
    entry->revision = 1;
    entry->valueLen = payloadBytes;
    std::memset(TarneEntry_Payload(entry), 'v', payloadBytes);
    sem_wait(&flight.slots);
    const PEK_ReturnStatus status = TARNE_AddEntryForCluster(entry, FreeWhenAdded, &flight, {});
    if (status != TARNE_STATUS_SUCCESS) FreeWhenAdded(&flight, entry, 0, {}, status);
  }
  flight.Drain();
  return flight.failed == 0;
}

TarneQuery EveryEntry() {
  TarneQuery query{};
  query.flags = TARNE_QUERY_ANY_OWNER | TARNE_QUERY_ANY_UUID | TARNE_QUERY_ANY_REVISION |
                TARNE_QUERY_ANY_TYPE;
  return query;
}

// Finds all of a million entries the way the tool's listing does: first, then next.
void BM_FindAllOfAMillion(benchmark::State &state) {
  constexpr uint32_t kEntries = 1000000;
  BenchDirectory directory;
  if (!directory.ok() || !AddEntries(kEntries, 100)) return state.SkipWithError("setup failed");
  const TarneQuery query = EveryEntry();
  std::vector<uint8_t> buffer(1024);
  auto *entry = reinterpret_cast<TarneEntry *>(buffer.data());
  double peak = 0;
  uint64_t found = 0;
  for (auto _ : state) {
    ResetPeakMemory();
    found = 0;
    PEK_ReturnStatus status = TARNE_FindEntryForCluster(&query, 0, entry, 1024, 0);
    while (status == TARNE_STATUS_SUCCESS) {
      ++found;
      status = TARNE_FindEntryForCluster(&query, 1, entry, 1024, 0);
    }
    peak = PeakMemoryMiB();
  }
  if (found != kEntries) state.SkipWithError("not every entry was found");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * found));
  state.counters["peak_rss_MiB"] = peak;
}
BENCHMARK(BM_FindAllOfAMillion)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

int32_t CountVisit(void *context, const TarneEntry *, uint32_t, OlvaUUID) {
  ++*static_cast<uint64_t *>(context);
  return 0;
}

// The same million through one iteration.
void BM_IterateAMillion(benchmark::State &state) {
  constexpr uint32_t kEntries = 1000000;
  BenchDirectory directory;
  if (!directory.ok() || !AddEntries(kEntries, 100)) return state.SkipWithError("setup failed");
  const TarneQuery query = EveryEntry();
  double peak = 0;
  uint64_t visited = 0;
  for (auto _ : state) {
    ResetPeakMemory();
    visited = 0;
    TARNE_ForEachEntryForCluster(&query, CountVisit, &visited, 0, 0, 0);
    peak = PeakMemoryMiB();
  }
  if (visited != kEntries) state.SkipWithError("not every entry was visited");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * visited));
  state.counters["peak_rss_MiB"] = peak;
}
BENCHMARK(BM_IterateAMillion)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

int32_t DeletionDone(void *context, TarneEntry *, uint32_t, OlvaUUID, PEK_ReturnStatus status) {
  auto *flight = static_cast<Flight *>(context);
  if (status != TARNE_STATUS_SUCCESS) ++flight->failed;
  sem_post(&flight->slots);
  return 0;
}

int32_t RequestDeletion(void *context, const TarneEntry *entry, uint32_t length, OlvaUUID cluster) {
  auto *flight = static_cast<Flight *>(context);
  sem_wait(&flight->slots);
  auto *mutableEntry = const_cast<TarneEntry *>(entry);
  const PEK_ReturnStatus status =
      TARNE_DeleteEntryForCluster(mutableEntry, DeletionDone, flight, cluster);
  if (status != TARNE_STATUS_SUCCESS) DeletionDone(flight, mutableEntry, length, cluster, status);
  return 0;
}

// The delete command's work: an iteration requesting one deletion per match, 900 in flight.
// Argument 0: the most requests per transaction (1: one transaction per request);
// argument 1: the entries deleted.
void BM_DeleteThroughIteration(benchmark::State &state) {
  const auto batchLimit = static_cast<size_t>(state.range(0));
  const auto count = static_cast<uint32_t>(state.range(1));
  BenchDirectory directory(batchLimit);
  if (!directory.ok()) return state.SkipWithError("setup failed");
  const TarneQuery query = EveryEntry();
  for (auto _ : state) {
    state.PauseTiming();
    if (!AddEntries(count, 100)) return state.SkipWithError("setup failed");
    state.ResumeTiming();
    Flight flight;
    TARNE_ForEachEntryForCluster(&query, RequestDeletion, &flight, 0, 0, 0);
    flight.Drain();
    if (flight.failed != 0) return state.SkipWithError("a deletion failed");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * count);
}
BENCHMARK(BM_DeleteThroughIteration)
    ->Args({1024, 100000})
    ->Args({1, 5000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

// Another process adds an entry and reports the moment its add completed; the waiter here
// reports when it woke. The delay between the two is the iteration's time.
}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
