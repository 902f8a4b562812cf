// Adds entries through the library with 900 requests in flight, as the tool keeps, and times
// them from the first request to the last completion. The directory is the one
// TARNE_DIRECTORY (and TARNE_NODE for a cluster) names.
//
//   backend_adds COUNT TYPE TAG
//
// Entry k gets a UUID made of TAG and k, the type TYPE and a 100-byte payload. Prints
// "adds COUNT seconds S per_second R" and exits 0 when every add completed with status 0;
// 1 with the number of failures otherwise; 2 when the library does not open.
#include <semaphore.h>
#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"

namespace {

constexpr unsigned kInFlight = 900;
constexpr uint32_t kPayloadBytes = 100;

sem_t slots;
std::atomic<uint32_t> failures{0};

double Seconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

int32_t Done(void *, TarneEntry *entry, uint32_t, OlvaUUID, PEK_ReturnStatus status) {
  failures += status != TARNE_STATUS_SUCCESS;
  std::free(entry);
  sem_post(&slots);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 4) {
    (void)std::fputs("usage: backend_adds COUNT TYPE TAG\n", stderr);
    return 2;
  }
  const auto count = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 0));
  const auto type = static_cast<uint8_t>(std::strtoul(argv[2], nullptr, 0));
  const auto tag = static_cast<uint8_t>(std::strtoul(argv[3], nullptr, 0));
  int32_t handle = -1;
  if (TARNE_Initialize(1, 0, &handle) != TARNE_STATUS_SUCCESS) {
    (void)std::fputs("backend_adds: the library did not open\n", stderr);
    return 2;
  }
  sem_init(&slots, 0, kInFlight);
  const double start = Seconds();
  for (uint32_t number = 0; number < count; ++number) {
    auto *entry = static_cast<TarneEntry *>(std::calloc(1, sizeof(TarneEntry) + kPayloadBytes));
    entry->uuid = OlvaUUID{{0xbe, tag, 0, 0, 0, 0, 0x40, 0, 0x80, 0, 0, 0, uint8_t(number >> 24),
                            uint8_t(number >> 16), uint8_t(number >> 8), uint8_t(number)}};
    entry->owner.bytes[3] = 2;  // the host itself
    entry->type = type;
    entry->revision = 1;
    entry->valueLen = kPayloadBytes;
    std::memset(TarneEntry_Payload(entry), 'v', kPayloadBytes);
    sem_wait(&slots);
    const PEK_ReturnStatus status = TARNE_AddEntryForCluster(entry, Done, nullptr, {});
    if (status != TARNE_STATUS_SUCCESS) Done(nullptr, entry, 0, {}, status);
  }
  for (unsigned i = 0; i < kInFlight; ++i) sem_wait(&slots);
  const double seconds = Seconds() - start;
  TARNE_Deinitialize(handle);
  (void)std::printf("adds %u seconds %.3f per_second %.0f\n", count, seconds,
                    seconds > 0 ? count / seconds : 0.0);
  if (failures != 0) {
    (void)std::fprintf(stderr, "backend_adds: %u of %u adds failed\n", failures.load(), count);
    return 1;
  }
  return 0;
}
