// The fake's process-wide state, its call log and its worker thread.
#include "fake_state.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "directory/worker_queue.h"
#include "record/uuid.h"

namespace fake {
namespace {

// Distinct from every status of the program, so that a test sees a broken script at once.
constexpr int kBrokenScriptStatus = 99;

std::mutex stateMutex;
State *state = nullptr;  // created on first use; lives until the process ends

// Completions and remote-find results arrive on the library's own kind of worker thread, one
// at a time and in request order, as they do from the real library. Never destroyed: a
// process that ends from inside a callback cannot wait for that thread.
struct Delivery {
  uint32_t delayMs;
  std::function<void()> task;
};
olva::dir::WorkerQueue<Delivery> &Worker() {
  static auto *worker = new olva::dir::WorkerQueue<Delivery>(SIZE_MAX);
  return *worker;
}

}  // namespace

std::unique_lock<std::mutex> Lock() {
  std::unique_lock<std::mutex> lock(stateMutex);
  if (state != nullptr) return lock;
  state = new State;
  if (const char *path = std::getenv("TARNE_FAKE_SCRIPT")) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    const std::string error = in ? ParseScript(text.str(), *state) : "cannot read it";
    if (!error.empty()) {
      static_cast<void>(std::fprintf(stderr, "fake olvalib: %s: %s\n", path, error.c_str()));
      std::_Exit(kBrokenScriptStatus);
    }
  }
  return lock;
}

State &Current() {
  return *state;
}

void Log(const std::string &line) {
  if (const char *path = std::getenv("TARNE_FAKE_LOG"))
    std::ofstream(path, std::ios::app) << line << '\n';
}

std::string HexText(const void *bytes, size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i) {
    text += "0123456789abcdef"[static_cast<const uint8_t *>(bytes)[i] >> 4];
    text += "0123456789abcdef"[static_cast<const uint8_t *>(bytes)[i] & 0x0F];
  }
  return text;
}

std::string UuidText(const OlvaUUID &uuid) {
  char text[40];
  static_cast<void>(std::snprintf(text, sizeof text, UUID_TEXT_FORMAT, UUID_TEXT_ARGS(uuid)));
  return text;
}

void RunLater(uint32_t delayMs, std::function<void()> task) {
  // Started with the first delivery, and again after each StopWorker.
  if (Worker().Submit({delayMs, task}) == TARNE_STATUS_NO_CONNECTION) {
    Worker().Start(1, [](std::vector<Delivery> &batch, bool cancelled) {
      if (cancelled) return;  // queued before StopWorker: dropped
      std::this_thread::sleep_for(std::chrono::milliseconds(batch[0].delayMs));
      batch[0].task();
    });
    Worker().Submit({delayMs, std::move(task)});
  }
}

void StopWorker() {
  Worker().Stop();
}

}  // namespace fake
