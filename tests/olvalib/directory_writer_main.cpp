// Another process (on a cluster directory, another host: give it its own TARNE_NODE) writing
// to the directory through the library, for the tests that need concurrent writers, a writer
// killed in the middle, or a change made elsewhere.
//   olvalib_test_writer TAG COUNT [REPORT]
//       adds COUNT entries with 900 in flight; says "writing" once 100 have completed and
//       "completed NS" (CLOCK_MONOTONIC) once the last one has; exits 0 when every one was
//       stored, 1 when some failed. REPORT: a file that gets "NUMBER STATUS" (status in hex)
//       per completion, so that a test can tell which adds were reported stored.
//   olvalib_test_writer TAG forever
//       updates entries until killed; says "writing" once started
//   olvalib_test_writer shared COUNT
//       updates one entry that every writer shares (type 22) COUNT times with 900 in flight;
//       exits 0 when every update was stored
// Each mode says "failed with STATUS" for its first ten failures.
// Exit status 2: the library did not initialise, or the arguments are wrong.
#include <semaphore.h>
#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"

namespace {

// Entry `number` of writer `tag` holds 9 + number % 500 bytes, all equal, so that a reader
// can tell a whole entry from a damaged one.
constexpr uint8_t kWriterType = 21;
OlvaUUID WriterUuid(uint8_t tag, uint32_t number) {
  return OlvaUUID{{0x77, tag, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, uint8_t(number >> 24),
                   uint8_t(number >> 16), uint8_t(number >> 8), uint8_t(number)}};
}

sem_t slots;  // 900 requests in flight at most, as the tool keeps
std::atomic<uint32_t> failures{0}, completed{0};
uint32_t total = 0;
FILE *report = nullptr;  // one line per request, whichever thread ends it

uint64_t MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
}

int32_t Done(void *, TarneEntry *entry, uint32_t, OlvaUUID, PEK_ReturnStatus status) {
  if (status != TARNE_STATUS_SUCCESS && ++failures <= 10) {
    (void)std::printf("failed with 0x%08X\n", status);  // the first ten, for the test's message
  }
  if (report != nullptr) {
    const uint8_t *b = entry->uuid.bytes;
    (void)std::fprintf(report, "%u %08X\n",
                       uint32_t(b[12]) << 24 | uint32_t(b[13]) << 16 | uint32_t(b[14]) << 8 | b[15],
                       status);
  }
  std::free(entry);
  const uint32_t done = ++completed;
  if (done == std::min(total, 100u)) (void)std::puts("writing");
  if (done == total)
    (void)std::printf("completed %llu\n", (unsigned long long)MonotonicNanoseconds());
  (void)std::fflush(stdout);
  sem_post(&slots);
  return 0;
}

constexpr uint8_t kSharedType = 22;

void Issue(uint8_t tag, uint32_t number, uint32_t round, bool update, bool shared = false) {
  const uint32_t length = 9 + number % 500;
  auto *entry = static_cast<TarneEntry *>(std::calloc(1, sizeof(TarneEntry) + length));
  entry->uuid = shared ? WriterUuid(0, 0) : WriterUuid(tag, number);
  entry->owner = WriterUuid(shared ? 0 : tag, 0xffffffff);
  entry->type = shared ? kSharedType : kWriterType;
  entry->revision = 1;
  entry->valueLen = length;
  std::memset(TarneEntry_Payload(entry), static_cast<uint8_t>(number * 7 + round), length);
  sem_wait(&slots);
  const PEK_ReturnStatus status = update ? TARNE_UpdateEntryForCluster(entry, Done, nullptr, {})
                                         : TARNE_AddEntryForCluster(entry, Done, nullptr, {});
  if (status != TARNE_STATUS_SUCCESS) Done(nullptr, entry, 0, {}, status);
}

}  // namespace

int main(int argc, char **argv) {
  int32_t handle = -1;
  if (argc < 3 || argc > 4 || TARNE_Initialize(1, 0, &handle) != TARNE_STATUS_SUCCESS) return 2;
  sem_init(&slots, 0, 900);
  const bool shared = std::strcmp(argv[1], "shared") == 0;
  const auto tag = static_cast<uint8_t>(shared ? 0 : std::strtoul(argv[1], nullptr, 0));
  if (std::strcmp(argv[2], "forever") == 0) {
    for (uint32_t round = 1;; ++round) {
      for (uint32_t number = 0; number < 500; ++number) Issue(tag, number, round, true);
      if (round == 2) {  // the first round has committed
        (void)std::puts("writing");
        (void)std::fflush(stdout);
      }
    }
  }
  if (argc == 4 && (report = std::fopen(argv[3], "w")) == nullptr) return 2;
  total = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 0));
  for (uint32_t number = 0; number < total; ++number) Issue(tag, number, 0, shared, shared);
  for (unsigned i = 0; i < 900; ++i) sem_wait(&slots);
  TARNE_Deinitialize(handle);
  if (report != nullptr && std::fclose(report) != 0) return 2;
  return failures == 0 ? 0 : 1;
}
