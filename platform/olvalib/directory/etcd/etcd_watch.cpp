#include "etcd_watch.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace olva::dir::etcd {
namespace {

using Clock = std::chrono::steady_clock;

// How often a stream's member is asked for its progress, and how long it may take to answer
// (or to accept the watch) before the stream moves to the next member: a member that is
// frozen is left within their sum. Each move for want of an answer doubles the time the next
// member gets, up to the most, so that on a loaded machine the stream settles somewhere;
// any answer brings it back to the least.
constexpr std::chrono::milliseconds kProgressInterval{300};
constexpr std::chrono::milliseconds kAnswerLimit{1000};
constexpr std::chrono::milliseconds kMostAnswerLimit{4000};
// The pause before a member is asked again after one refused or lost the stream.
constexpr std::chrono::milliseconds kRetryPause{100};
// The longest one WaitForChange blocks; its caller then asks again.
constexpr std::chrono::hours kLongestBlock{1};

class StreamWatch;

// One watch stream on one member, driven by gRPC's callbacks.
class Stream final : public grpc::ClientBidiReactor<pb::WatchRequest, pb::WatchResponse> {
 public:
  explicit Stream(StreamWatch &owner) : owner_(owner) {}
  void OnReadDone(bool ok) override;
  void OnWriteDone(bool ok) override;
  void OnDone(const grpc::Status &status) override;

  grpc::ClientContext context;
  pb::WatchRequest create;
  pb::WatchRequest progress;
  pb::WatchResponse response;
  // Guarded by the owner's mutex.
  bool writing = true;        // the create request is written first
  bool ended = false;         // its reads ended: the stream is over, OnDone waits for the hold
  bool done = false;          // OnDone ran: the call is gone
  bool restart = false;       // to be begun again after a compaction, on the same member
  bool dropped = false;       // the member cancelled the watch
  Clock::time_point askedAt;  // the oldest question not answered yet; none: max

 private:
  StreamWatch &owner_;
};

// A watch kept by one thread that moves its stream to the next member whenever the member
// refuses, drops or stops answering it; each new stream begins right after the last
// revision the watch is known to have covered, so no change is missed by a move. It keeps
// trying for as long as it lives.
class StreamWatch final : public ChangeWatch {
 public:
  StreamWatch(Client &client, std::string begin, std::string end)
      : client_(client), begin_(std::move(begin)), end_(std::move(end)) {
    thread_ = std::thread([this] { Run(); });
  }

  ~StreamWatch() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  bool Mark() override {
    std::lock_guard lock(mutex_);
    seen_ = changes_;
    return established_;
  }

  Outcome WaitForChange(Clock::duration pause) override {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::min<Clock::duration>(pause, kLongestBlock),
                      [this] { return changes_ != seen_ || interrupted_; });
    return changes_ != seen_ ? Outcome::kChanged : Outcome::kQuiet;
  }

  void Interrupt() override {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
    changed_.notify_all();
  }

  bool FailuresPass() const override { return true; }

  // From the stream's callbacks.
  bool Received(Stream &stream);
  void ReadsEnded(Stream &stream) {
    std::lock_guard lock(mutex_);
    stream.ended = true;
    changed_.notify_all();
  }
  void Wrote(Stream &stream) {
    std::lock_guard lock(mutex_);
    stream.writing = false;
  }
  void Ended(Stream &stream) {
    std::lock_guard lock(mutex_);
    stream.done = true;
    changed_.notify_all();
  }

 private:
  // One stream on one member until it ends; false when the member was at fault.
  bool Follow(size_t member);
  void Run();

  Client &client_;
  const std::string begin_;
  const std::string end_;
  std::thread thread_;
  std::mutex mutex_;  // guards everything below, and the streams' shared fields
  std::condition_variable changed_;
  bool stopping_ = false;
  bool interrupted_ = false;
  bool established_ = false;  // a stream was accepted once
  Clock::duration answerLimit_ = kAnswerLimit;
  int64_t known_ = 0;     // the last revision the watch is known to have covered
  uint64_t changes_ = 0;  // raised by every change seen, and by the first acceptance
  uint64_t seen_ = 0;     // changes_ at the last mark
};

void Stream::OnReadDone(bool ok) {
  if (!ok) return owner_.ReadsEnded(*this);
  if (owner_.Received(*this)) StartRead(&response);
}

void Stream::OnWriteDone(bool /*ok*/) {
  owner_.Wrote(*this);
}

void Stream::OnDone(const grpc::Status & /*status*/) {
  owner_.Ended(*this);
}

bool StreamWatch::Received(Stream &stream) {
  const pb::WatchResponse &response = stream.response;
  std::lock_guard lock(mutex_);
  stream.askedAt = Clock::time_point::max();
  answerLimit_ = kAnswerLimit;
  if (response.created() && !established_) {
    // The first stream covers what follows the revision it was accepted at.
    established_ = true;
    known_ = response.header().revision();
    ++changes_;
  }
  for (const mvccpb::Event &event : response.events()) {
    known_ = std::max(known_, event.kv().mod_revision());
  }
  if (response.events_size() > 0) ++changes_;
  if (response.compact_revision() != 0) {
    // Changes were compacted away unseen: the waits look again, and the next stream begins
    // at the oldest revision kept.
    known_ = std::max(known_, response.compact_revision() - 1);
    ++changes_;
    stream.restart = true;
  }
  if (response.canceled() && !stream.restart) stream.dropped = true;
  changed_.notify_all();
  return !stream.restart && !stream.dropped;
}

bool StreamWatch::Follow(size_t member) {
  auto stream = std::make_unique<Stream>(*this);
  // A member that loses its leader (cut off from the others) ends the stream.
  stream->context.AddMetadata("hasleader", "true");
  pb::WatchCreateRequest *range = stream->create.mutable_create_request();
  range->set_key(begin_);
  range->set_range_end(end_);
  std::unique_lock lock(mutex_);
  if (stopping_) return true;
  range->set_start_revision(established_ ? known_ + 1 : 0);
  stream->progress.mutable_progress_request();
  stream->askedAt = Clock::now();
  lock.unlock();
  client_.WatchStub(member).async()->Watch(&stream->context, stream.get());
  stream->StartWrite(&stream->create);
  stream->StartRead(&stream->response);
  // Until the hold is removed the call stays, so that a progress request can be started
  // whenever the loop decides to: without it the call may end between the decision and the
  // start, and the request would be started on a call that is gone.
  stream->AddHold();
  stream->StartCall();

  lock.lock();
  bool silent = false;
  for (;;) {
    const Clock::time_point now = Clock::now();
    silent = stream->askedAt != Clock::time_point::max() && now - stream->askedAt > answerLimit_;
    if (stream->ended || stopping_ || stream->restart || stream->dropped || silent) break;
    if (!stream->writing && established_) {
      // Asks for progress; the answer shows the member is alive.
      stream->writing = true;
      if (stream->askedAt == Clock::time_point::max()) stream->askedAt = now;
      lock.unlock();
      stream->StartWrite(&stream->progress);
      lock.lock();
    }
    changed_.wait_for(lock, kProgressInterval, [&] {
      return stream->ended || stopping_ || stream->restart || stream->dropped;
    });
  }
  lock.unlock();
  stream->context.TryCancel();
  stream->RemoveHold();
  lock.lock();
  changed_.wait(lock, [&] { return stream->done; });
  if (silent) answerLimit_ = std::min<Clock::duration>(2 * answerLimit_, kMostAnswerLimit);
  return stream->restart && !stream->dropped && !silent;
}

void StreamWatch::Run() {
  for (;;) {
    const size_t member = client_.CurrentMember();
    const bool memberFine = Follow(member);
    std::unique_lock lock(mutex_);
    if (stopping_) return;
    if (memberFine) continue;
    lock.unlock();
    client_.MemberFailed(member);
    lock.lock();
    if (changed_.wait_for(lock, kRetryPause, [this] { return stopping_; })) return;
  }
}

}  // namespace

std::unique_ptr<ChangeWatch> WatchRange(Client &client, std::string begin, std::string end) {
  return std::make_unique<StreamWatch>(client, std::move(begin), std::move(end));
}

}  // namespace olva::dir::etcd
