// The delay from one process's add to another process's wait waking, many times over, with
// the two processes on different hosts of the directory when ADDER_NODE_FILE names another
// node file (TARNE_NODE of the adder; the waiter keeps its own).
//
//   backend_wake REPETITIONS [ADDER_NODE_FILE]
//
// Each repetition starts a wait for a new entry, lets it settle for 30 ms, then asks the adder
// (one process for the whole run, started here) to add that entry. Both processes read the
// same monotonic clock, so the delay is measured from the moment the adder issued its request
// and from the moment its completion arrived. Prints "wakes N from_request p50 p99 max
// from_completion p50 p99 max" in milliseconds; exits 1 when a wait did not wake.
#include <semaphore.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"

extern char **environ;

namespace {

constexpr uint8_t kWakeType = 23;

uint64_t MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);  // one clock for every process of the machine
  return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

OlvaUUID WakeUuid(uint32_t number) {
  return OlvaUUID{{0xbe, 0xee, 0, 0, 0, 0, 0x40, 0, 0x80, 0, 0, 0, uint8_t(number >> 24),
                   uint8_t(number >> 16), uint8_t(number >> 8), uint8_t(number)}};
}

bool ReadAll(int fd, void *data, size_t size) {
  auto *bytes = static_cast<char *>(data);
  while (size > 0) {
    const ssize_t got = read(fd, bytes, size);
    if (got <= 0) return false;
    bytes += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}
bool WriteAll(int fd, const void *data, size_t size) {
  return write(fd, data, size) == static_cast<ssize_t>(size);
}

struct Added {
  sem_t done;
  uint64_t when = 0;
  PEK_ReturnStatus status = TARNE_STATUS_FAILURE;
};

int32_t ReportAdded(void *context, TarneEntry *, uint32_t, OlvaUUID, PEK_ReturnStatus status) {
  auto *added = static_cast<Added *>(context);
  added->when = MonotonicNanoseconds();
  added->status = status;
  sem_post(&added->done);
  return 0;
}

// The adder: reads entry numbers on stdin, answers each with the moments its add was issued
// and completed (0 and 0 when it failed).
int Adder() {
  int32_t handle = -1;
  if (TARNE_Initialize(1, 0, &handle) != TARNE_STATUS_SUCCESS) return 2;
  const uint64_t ready = 1;
  if (!WriteAll(1, &ready, sizeof ready)) return 1;
  uint32_t number = 0;
  while (ReadAll(0, &number, sizeof number)) {
    TarneEntry entry{};
    entry.uuid = WakeUuid(number);
    entry.owner.bytes[3] = 2;  // the adding host itself
    entry.type = kWakeType;
    entry.revision = 1;
    Added added;
    sem_init(&added.done, 0, 0);
    uint64_t moments[2] = {MonotonicNanoseconds(), 0};
    if (TARNE_AddEntryForCluster(&entry, ReportAdded, &added, {}) == TARNE_STATUS_SUCCESS) {
      sem_wait(&added.done);
      if (added.status == TARNE_STATUS_SUCCESS) moments[1] = added.when;
    }
    if (moments[1] == 0) moments[0] = 0;
    sem_destroy(&added.done);
    if (!WriteAll(1, moments, sizeof moments)) return 1;
  }
  TARNE_Deinitialize(handle);
  return 0;
}

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(values.size())));
  return values[std::max<size_t>(rank, 1) - 1];
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 2 && std::strcmp(argv[1], "--adder") == 0) return Adder();
  if (argc != 2 && argc != 3) {
    (void)std::fputs("usage: backend_wake REPETITIONS [ADDER_NODE_FILE]\n", stderr);
    return 2;
  }
  const auto repetitions = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 0));
  int32_t handle = -1;
  if (repetitions == 0 || TARNE_Initialize(1, 0, &handle) != TARNE_STATUS_SUCCESS) {
    (void)std::fputs("backend_wake: the library did not open\n", stderr);
    return 2;
  }

  // The adder's environment: this one, with its own node file when one is given.
  std::vector<std::string> variables;
  for (char **variable = environ; *variable != nullptr; ++variable) {
    if (argc == 3 && std::strncmp(*variable, "TARNE_NODE=", 11) == 0) continue;
    variables.emplace_back(*variable);
  }
  if (argc == 3) variables.push_back(std::string("TARNE_NODE=") + argv[2]);
  std::vector<char *> envp;
  for (std::string &variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  const std::string self = std::filesystem::read_symlink("/proc/self/exe");
  char adderWord[] = "--adder";
  char *adderArgv[] = {const_cast<char *>(self.c_str()), adderWord, nullptr};
  int toAdder[2], fromAdder[2];
  if (pipe(toAdder) != 0 || pipe(fromAdder) != 0) return 1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toAdder[0], 0);
  posix_spawn_file_actions_adddup2(&actions, fromAdder[1], 1);
  posix_spawn_file_actions_addclose(&actions, toAdder[1]);
  posix_spawn_file_actions_addclose(&actions, fromAdder[0]);
  pid_t adder = -1;
  const int spawned = posix_spawn(&adder, adderArgv[0], &actions, nullptr, adderArgv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(toAdder[0]);
  close(fromAdder[1]);
  uint64_t ready = 0;
  if (spawned != 0 || !ReadAll(fromAdder[0], &ready, sizeof ready)) {
    (void)std::fputs("backend_wake: the adder did not start\n", stderr);
    return 2;
  }

  std::vector<double> fromRequest, fromCompletion;
  bool failed = false;
  for (uint32_t number = 1; number <= repetitions && !failed; ++number) {
    TarneQuery query{};
    query.uuid = WakeUuid(number);
    query.type = kWakeType;
    query.flags = TARNE_QUERY_ANY_OWNER | TARNE_QUERY_ANY_REVISION;
    std::atomic<uint64_t> woke{0};
    std::thread waiter([&] {
      if (TARNE_WaitForEntryForCluster(&query, 10, 0) == TARNE_STATUS_SUCCESS) {
        woke = MonotonicNanoseconds();
      }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // the waiter is idle now
    uint64_t moments[2] = {0, 0};
    const bool answered = WriteAll(toAdder[1], &number, sizeof number) &&
                          ReadAll(fromAdder[0], moments, sizeof moments);
    waiter.join();
    // A wake before the request was issued would be a wait that never waited.
    if (!answered || moments[0] == 0 || woke <= moments[0]) {
      (void)std::fprintf(stderr, "backend_wake: repetition %u: no wake-up after the add\n", number);
      failed = true;
      break;
    }
    fromRequest.push_back(static_cast<double>(woke - moments[0]) / 1e6);
    fromCompletion.push_back((static_cast<double>(woke) - static_cast<double>(moments[1])) / 1e6);
  }
  close(toAdder[1]);
  waitpid(adder, nullptr, 0);
  close(fromAdder[0]);
  TARNE_Deinitialize(handle);
  if (failed) return 1;
  (void)std::printf("wakes %zu from_request %.2f %.2f %.2f from_completion %.2f %.2f %.2f\n",
                    fromRequest.size(), Percentile(fromRequest, 0.5), Percentile(fromRequest, 0.99),
                    Percentile(fromRequest, 1.0), Percentile(fromCompletion, 0.5),
                    Percentile(fromCompletion, 0.99), Percentile(fromCompletion, 1.0));
  return 0;
}
