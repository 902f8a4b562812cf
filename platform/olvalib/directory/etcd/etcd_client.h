// A connection to every member of an etcd cluster, over etcd's v3 gRPC API. Calls go to one
// member at a time; when it stops answering, the next calls go to the next member. A read
// that its member has not answered within a short delay is sent to the next member too, and
// the first answer is taken (reads repeat safely, and a member that hangs cannot use up the
// read's time); a write goes to another member only when it never left this process (a
// write that may have been applied is reported as failed, never applied twice).
#ifndef OLVALIB_DIRECTORY_ETCD_CLIENT_H
#define OLVALIB_DIRECTORY_ETCD_CLIENT_H

#include <grpcpp/grpcpp.h>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "directory/directory_location.h"
#include "directory/directory_store.h"
#include "directory/node_file.h"
#include "etcd/etcdserver/etcdserverpb/rpc.grpc.pb.h"

namespace olva::dir::etcd {

namespace pb = etcdserverpb;

// How long one call may take before it counts as lost.
inline constexpr std::chrono::seconds kCallDeadline{5};
// How long opening may look for a member that answers.
inline constexpr std::chrono::milliseconds kFirstAnswerDeadline{1800};
// How long a read waits for its member before it is sent to the next one too, at least: a
// frozen member costs a read this much. Reads that usually take longer wait a few times
// their usual time, up to the most.
inline constexpr std::chrono::milliseconds kLeastHedgeDelay{250};
inline constexpr std::chrono::milliseconds kMostHedgeDelay{2000};
// The pause after every member refused a read, before they are asked again.
inline constexpr std::chrono::milliseconds kReadRetryPause{100};

class Client {
 public:
  // Nothing, and *error, when the TLS files cannot be read.
  static std::unique_ptr<Client> Connect(const ClusterLocation &location, const TlsFiles &tls,
                                         std::string *error);

  // A read, on the current member and, while that has not answered, on the next ones in
  // turn, until one answers or the deadline passes; every member refusing it is asked again
  // after a pause. The deadline is no later than the thread's CallBound.
  grpc::Status Range(const pb::RangeRequest &request, pb::RangeResponse *response,
                     std::chrono::steady_clock::time_point deadline);
  grpc::Status Range(const pb::RangeRequest &request, pb::RangeResponse *response) {
    return Range(request, response, std::chrono::steady_clock::now() + kCallDeadline);
  }
  // One transaction on the current member, not retried.
  grpc::Status Txn(const pb::TxnRequest &request, pb::TxnResponse *response);

  // The same, without blocking: done runs on a gRPC thread once the call ended. The request
  // must live until then; context and response are the caller's too.
  void TxnAsync(grpc::ClientContext *context, const pb::TxnRequest *request,
                pb::TxnResponse *response, std::function<void(grpc::Status)> done);
  void RangeAsync(grpc::ClientContext *context, const pb::RangeRequest *request,
                  pb::RangeResponse *response, std::function<void(grpc::Status)> done);

  // The member calls go to now, and a way to leave it after it failed.
  size_t CurrentMember() const { return current_.load(std::memory_order_relaxed); }
  size_t MemberCount() const { return members_.size(); }
  void MemberFailed(size_t member);
  pb::Watch::Stub &WatchStub(size_t member) { return *members_[member].watch; }
  const std::shared_ptr<grpc::Channel> &MemberChannel(size_t member) const {
    return members_[member].channel;
  }

  // Whether a failed call's status says the member, rather than the request, is at fault.
  static bool MemberAtFault(const grpc::Status &status);

 private:
  struct Member {
    std::shared_ptr<grpc::Channel> channel;
    std::unique_ptr<pb::KV::Stub> kv;
    std::unique_ptr<pb::Watch::Stub> watch;
  };
  // Starts one call on the current member; done runs once it ended, after a member at fault
  // was left. A call that found no connection to its member was never sent, so it goes to the
  // next member, up to once per member, on a context of the client's own.
  using AsyncStart = std::function<void(pb::KV::Stub &, grpc::ClientContext *,
                                        std::function<void(grpc::Status)> ended)>;
  void StartAsync(AsyncStart start, grpc::ClientContext *context,
                  std::function<void(grpc::Status)> done, size_t triesLeft);
  // A context for a call sent again; it lives as long as the client (such calls are rare).
  grpc::ClientContext *RetryContext();

  // Reads of a few rows and listing pages take very different times; each kind keeps its own.
  static size_t ReadKind(const pb::RangeRequest &request);
  // How long a read of that kind waits before it is sent to another member too.
  std::chrono::steady_clock::duration HedgeDelay(size_t kind) const;
  void ReadTook(size_t kind, std::chrono::steady_clock::duration took);

  std::vector<Member> members_;
  std::atomic<size_t> current_{0};
  // How long answered reads of each kind took lately, in microseconds: a slower read counts at
  // once, faster ones bring it down gradually.
  std::array<std::atomic<int64_t>, 2> usualReadMicros_{};
  std::mutex retryMutex_;  // guards retryContexts_
  std::vector<std::unique_ptr<grpc::ClientContext>> retryContexts_;
};

}  // namespace olva::dir::etcd

#endif  // OLVALIB_DIRECTORY_ETCD_CLIENT_H
