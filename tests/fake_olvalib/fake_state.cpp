// The fake's process-wide state, its call log and its worker thread.
#include "fake_state.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace fake {
namespace {

// Distinct from every status of the program, so that a test sees a broken script at once.
constexpr int kBrokenScriptStatus = 99;

std::mutex stateMutex;
State *state = nullptr;  // created on first use; lives until the process ends

// Completions and remote-find results arrive on this thread, never on the caller's, one
// at a time and in request order, as they do from the real library.
class Worker {
 public:
  ~Worker() { Stop(); }

  void Post(uint32_t delayMs, std::function<void()> task) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.emplace_back(delayMs, std::move(task));
    if (!thread_.joinable()) {
      stopping_ = false;
      thread_ = std::thread([this] { Loop(); });
    }
    wake_.notify_one();
  }

  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.clear();
      stopping_ = true;
      wake_.notify_one();
    }
    // A process that ends from inside a callback cannot wait for itself.
    if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) thread_.detach();
    if (thread_.joinable()) thread_.join();
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      auto [delayMs, task] = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
      task();
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::pair<uint32_t, std::function<void()>>> queue_;
  bool stopping_ = false;
  std::thread thread_;
} worker;

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
  const std::string hex = HexText(uuid.bytes, sizeof uuid.bytes);
  return hex.substr(0, 8) + '-' + hex.substr(8, 4) + '-' + hex.substr(12, 4) + '-' +
         hex.substr(16, 4) + '-' + hex.substr(20);
}

bool SameUuid(const OlvaUUID &a, const OlvaUUID &b) {
  return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

void RunLater(uint32_t delayMs, std::function<void()> task) {
  worker.Post(delayMs, std::move(task));
}

void StopWorker() {
  worker.Stop();
}

}  // namespace fake
