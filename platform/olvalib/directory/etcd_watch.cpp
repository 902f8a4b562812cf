#include "etcd_watch.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace olva::dir::etcd {
namespace {

// How long the stream may stay lost, all members tried again and again, before waits fail.
constexpr std::chrono::seconds kLostLimit{5};
constexpr std::chrono::milliseconds kRetryPause{100};

class StreamWatch final : public ChangeWatch {
 public:
  StreamWatch(Client &client, std::string begin, std::string end)
      : client_(client), begin_(std::move(begin)), end_(std::move(end)) {}

  ~StreamWatch() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      if (context_ != nullptr) context_->TryCancel();
    }
    if (thread_.joinable()) thread_.join();
  }

  // False when no member accepted the watch in time.
  bool Start() {
    thread_ = std::thread([this] { Run(); });
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kFirstAnswerDeadline, [this] {
      return established_ || failed_;
    }) && established_;
  }

  bool Mark() override {
    std::lock_guard lock(mutex_);
    seen_ = latest_;
    return !failed_;
  }

  Outcome WaitForChange(std::chrono::steady_clock::duration pause) override {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, pause, [this] { return latest_ > seen_ || failed_; });
    if (latest_ > seen_) return Outcome::kChanged;
    return failed_ ? Outcome::kFailed : Outcome::kQuiet;
  }

 private:
  // One stream on one member until it ends; false when it could not be opened.
  bool Follow(size_t member) {
    auto context = std::make_unique<grpc::ClientContext>();
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return false;
      context_ = context.get();
    }
    auto stream = client_.WatchStub(member).Watch(context.get());
    pb::WatchRequest create;
    pb::WatchCreateRequest *range = create.mutable_create_request();
    range->set_key(begin_);
    range->set_range_end(end_);
    // After a move, the new stream begins right after the last revision known.
    range->set_start_revision(known_ == 0 ? 0 : known_ + 1);
    bool opened = false;
    pb::WatchResponse response;
    if (stream->Write(create)) {
      while (stream->Read(&response)) {
        std::lock_guard lock(mutex_);
        if (response.created()) {
          opened = true;
          established_ = true;
          known_ = std::max(known_, response.header().revision());
        }
        for (const mvccpb::Event &event : response.events()) {
          known_ = std::max(known_, event.kv().mod_revision());
          latest_ = std::max(latest_, event.kv().mod_revision());
        }
        if (response.compact_revision() != 0) {
          // Changes were compacted away unseen: wake the waits, follow from now on.
          known_ = 0;
          ++latest_;
        }
        changed_.notify_all();
        if (response.canceled()) break;
      }
    }
    {
      std::lock_guard lock(mutex_);
      context_ = nullptr;
    }
    context->TryCancel();
    (void)stream->Finish();
    return opened;
  }

  void Run() {
    using Clock = std::chrono::steady_clock;
    Clock::time_point lostSince = Clock::now();
    for (;;) {
      const size_t member = client_.CurrentMember();
      if (Follow(member)) lostSince = Clock::now();
      {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
      }
      client_.MemberFailed(member);
      if (Clock::now() - lostSince > kLostLimit) break;
      std::this_thread::sleep_for(kRetryPause);
    }
    std::lock_guard lock(mutex_);
    failed_ = true;
    changed_.notify_all();
  }

  Client &client_;
  const std::string begin_;
  const std::string end_;
  std::thread thread_;
  std::mutex mutex_;  // guards everything below
  std::condition_variable changed_;
  grpc::ClientContext *context_ = nullptr;  // the stream's, to cancel it
  bool stopping_ = false;
  bool established_ = false;
  bool failed_ = false;
  int64_t known_ = 0;   // the last revision the stream is known to have covered
  int64_t latest_ = 0;  // the last change seen
  int64_t seen_ = 0;    // latest_ at the last mark
};

}  // namespace

std::unique_ptr<ChangeWatch> WatchRange(Client &client, std::string begin, std::string end) {
  auto watch = std::make_unique<StreamWatch>(client, std::move(begin), std::move(end));
  if (!watch->Start()) return nullptr;
  return watch;
}

}  // namespace olva::dir::etcd
