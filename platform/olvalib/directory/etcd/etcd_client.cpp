#include "etcd_client.h"

#include <grpc/support/log.h>
#include <openssl/ssl.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "directory/trusted_file.h"

namespace olva::dir::etcd {
namespace {

std::shared_ptr<grpc::ChannelCredentials> Credentials(const ClusterLocation &location,
                                                      const TlsFiles &tls, std::string *error) {
  if (!location.tls) return grpc::InsecureChannelCredentials();
  grpc::SslCredentialsOptions options;
  if (!ReadTlsFiles(tls, &options.pem_root_certs, &options.pem_cert_chain, &options.pem_private_key,
                    error)) {
    return nullptr;
  }
  return grpc::SslCredentials(options);
}

constexpr int kConnectAttemptMillis = 5000;

grpc::ChannelArguments ChannelSettings() {
  grpc::ChannelArguments arguments;
  // A listing page or a snapshot may be larger than gRPC's default 4 MiB.
  arguments.SetMaxReceiveMessageSize(-1);
  // A member that comes back is used again within a second, not after minutes of backoff.
  arguments.SetInt(GRPC_ARG_INITIAL_RECONNECT_BACKOFF_MS, 100);
  arguments.SetInt(GRPC_ARG_MAX_RECONNECT_BACKOFF_MS, 1000);
  // gRPC also gives each connection attempt this long: a handshake with a loaded member may
  // take longer than the first backoff, and cutting it short failed healthy calls.
  arguments.SetInt(GRPC_ARG_MIN_RECONNECT_BACKOFF_MS, kConnectAttemptMillis);
  // A wait that watches for minutes learns that its member went away; etcd refuses pings
  // more often than every 5 s.
  arguments.SetInt(GRPC_ARG_KEEPALIVE_TIME_MS, 10000);
  arguments.SetInt(GRPC_ARG_KEEPALIVE_TIMEOUT_MS, 3000);
  return arguments;
}

void SetDeadline(grpc::ClientContext *context, std::chrono::steady_clock::time_point deadline) {
  context->set_deadline(std::chrono::system_clock::now() +
                        (deadline - std::chrono::steady_clock::now()));
}

// gRPC writes its own errors (a refused handshake, say) to standard error; the library's
// callers print what they choose, and scripts read their standard error.
void DiscardLog(gpr_log_func_args * /*message*/) {}

// gRPC's answer to a call that found no connection to its member: the call never left this
// process, so even a write may go to another member without being applied twice.
bool NeverSent(const grpc::Status &status) {
  return status.error_code() == grpc::StatusCode::UNAVAILABLE &&
         status.error_message().starts_with("failed to connect to all addresses");
}

}  // namespace

std::unique_ptr<Client> Client::Connect(const ClusterLocation &location, const TlsFiles &tls,
                                        std::string *error) {
  static std::once_flag quiet;
  std::call_once(quiet, [] {
    gpr_set_log_function(DiscardLog);
    // gRPC's threads may still be in a TLS handshake when the process exits; OpenSSL's own
    // clean-up at exit would free the state they use (and leave theirs unreachable). The
    // first initialisation decides, so this comes before gRPC's.
    OPENSSL_init_ssl(OPENSSL_INIT_NO_ATEXIT, nullptr);
  });
  const std::shared_ptr<grpc::ChannelCredentials> credentials = Credentials(location, tls, error);
  if (credentials == nullptr) return nullptr;
  auto client = std::make_unique<Client>();
  for (const std::string &endpoint : location.endpoints) {
    Member member;
    member.channel = grpc::CreateCustomChannel(endpoint, credentials, ChannelSettings());
    member.kv = pb::KV::NewStub(member.channel);
    member.watch = pb::Watch::NewStub(member.channel);
    client->members_.push_back(std::move(member));
  }
  // Processes of one host spread over the members.
  client->current_ = static_cast<size_t>(getpid()) % client->members_.size();
  return client;
}

bool Client::MemberAtFault(const grpc::Status &status) {
  switch (status.error_code()) {
    case grpc::StatusCode::UNAVAILABLE:
    case grpc::StatusCode::DEADLINE_EXCEEDED:
    case grpc::StatusCode::UNKNOWN:  // etcd's "no leader", "leader changed"
    case grpc::StatusCode::CANCELLED:
      return true;
    default:
      return false;
  }
}

void Client::MemberFailed(size_t member) {
  size_t expected = member;
  current_.compare_exchange_strong(expected, (member + 1) % members_.size(),
                                   std::memory_order_relaxed);
}

size_t Client::ReadKind(const pb::RangeRequest &request) {
  constexpr int64_t kFewRows = 64;
  const bool few = request.count_only() || request.range_end().empty() ||
                   (request.limit() != 0 && request.limit() <= kFewRows);
  return few ? 0 : 1;
}

std::chrono::steady_clock::duration Client::HedgeDelay(size_t kind) const {
  const std::chrono::microseconds usual(usualReadMicros_[kind].load(std::memory_order_relaxed));
  return std::clamp<std::chrono::steady_clock::duration>(4 * usual, kLeastHedgeDelay,
                                                         kMostHedgeDelay);
}

void Client::ReadTook(size_t kind, std::chrono::steady_clock::duration took) {
  const int64_t micros = std::chrono::duration_cast<std::chrono::microseconds>(took).count();
  const int64_t usual = usualReadMicros_[kind].load(std::memory_order_relaxed);
  usualReadMicros_[kind].store(std::max(micros, (7 * usual + micros) / 8),
                               std::memory_order_relaxed);
}

namespace {

// One member's try at a read; its callback runs on a gRPC thread.
struct ReadAttempt {
  size_t member = 0;
  std::chrono::steady_clock::time_point started;
  grpc::ClientContext context;
  pb::RangeResponse response;
  grpc::Status status;
  bool ended = false;    // the call ended
  bool counted = false;  // its outcome was looked at
};

}  // namespace

grpc::Status Client::Range(const pb::RangeRequest &request, pb::RangeResponse *response,
                           std::chrono::steady_clock::time_point deadline) {
  using Clock = std::chrono::steady_clock;
  deadline = std::min(deadline, CallBound::Current());
  std::mutex mutex;  // guards the attempts' outcomes
  std::condition_variable ended;
  std::vector<std::unique_ptr<ReadAttempt>> attempts;
  const size_t first = CurrentMember();
  const size_t kind = ReadKind(request);
  size_t next = first;
  size_t running = 0;
  size_t refusals = 0;  // attempts refused by their member since the last pause
  Clock::time_point launchAt = Clock::now();
  grpc::Status last(grpc::StatusCode::DEADLINE_EXCEEDED, "no member answered in time");
  ReadAttempt *winner = nullptr;

  std::unique_lock lock(mutex);
  const auto busy = [&](size_t member) {
    return std::any_of(attempts.begin(), attempts.end(),
                       [&](const auto &a) { return a->member == member && !a->ended; });
  };
  const auto unseen = [&] {
    return std::any_of(attempts.begin(), attempts.end(),
                       [](const auto &a) { return a->ended && !a->counted; });
  };
  while (winner == nullptr && Clock::now() < deadline) {
    const Clock::time_point now = Clock::now();
    if (now >= launchAt && running < members_.size()) {
      while (busy(next)) next = (next + 1) % members_.size();
      auto attempt = std::make_unique<ReadAttempt>();
      attempt->member = next;
      attempt->started = now;
      SetDeadline(&attempt->context, deadline);
      // Once every member was tried, a connection being made again is waited for rather
      // than refused at once (one member under load may take a while to accept).
      attempt->context.set_wait_for_ready(attempts.size() >= members_.size());
      ReadAttempt *started = attempt.get();
      attempts.push_back(std::move(attempt));
      ++running;
      next = (next + 1) % members_.size();
      launchAt = now + HedgeDelay(kind);
      lock.unlock();
      members_[started->member].kv->async()->Range(&started->context, &request, &started->response,
                                                   [&, started](grpc::Status status) {
                                                     std::lock_guard done(mutex);
                                                     started->status = std::move(status);
                                                     started->ended = true;
                                                     ended.notify_all();
                                                   });
      lock.lock();
    }
    // With every member asked already, no later launch is due.
    ended.wait_until(lock, running < members_.size() ? std::min(launchAt, deadline) : deadline,
                     unseen);
    for (auto &attempt : attempts) {
      if (!attempt->ended || attempt->counted) continue;
      attempt->counted = true;
      --running;
      if (attempt->status.ok() || !MemberAtFault(attempt->status)) {
        winner = attempt.get();
        break;
      }
      last = attempt->status;
      MemberFailed(attempt->member);
      // The next member is asked at once; once every member refused, after a pause.
      launchAt = Clock::now();
      if (++refusals == members_.size()) {
        refusals = 0;
        launchAt += kReadRetryPause;
      }
    }
  }
  // The others are not needed any more; their calls end before their state goes.
  for (auto &attempt : attempts) {
    if (!attempt->ended) attempt->context.TryCancel();
  }
  ended.wait(lock, [&] {
    return std::all_of(attempts.begin(), attempts.end(), [](const auto &a) { return a->ended; });
  });
  if (winner == nullptr) return last;
  if (winner->status.ok()) {
    ReadTook(kind, Clock::now() - winner->started);
    // Later calls go straight to the member that answered.
    size_t expected = first;
    if (winner->member != first) {
      current_.compare_exchange_strong(expected, winner->member, std::memory_order_relaxed);
    }
  }
  response->Swap(&winner->response);
  return winner->status;
}

grpc::Status Client::Txn(const pb::TxnRequest &request, pb::TxnResponse *response) {
  grpc::Status status;
  for (size_t tries = 0; tries < members_.size(); ++tries) {
    const size_t member = CurrentMember();
    grpc::ClientContext context;
    SetDeadline(&context, std::chrono::steady_clock::now() + kCallDeadline);
    status = members_[member].kv->Txn(&context, request, response);
    if (!status.ok() && MemberAtFault(status)) MemberFailed(member);
    if (!NeverSent(status)) break;
  }
  return status;
}

grpc::ClientContext *Client::RetryContext() {
  std::lock_guard lock(retryMutex_);
  retryContexts_.push_back(std::make_unique<grpc::ClientContext>());
  return retryContexts_.back().get();
}

void Client::StartAsync(AsyncStart start, grpc::ClientContext *context,
                        std::function<void(grpc::Status)> done, size_t triesLeft) {
  const size_t member = CurrentMember();
  SetDeadline(context, std::chrono::steady_clock::now() + kCallDeadline);
  pb::KV::Stub &kv = *members_[member].kv;
  start(kv, context,
        [this, member, start, done = std::move(done), triesLeft](grpc::Status status) mutable {
          if (!status.ok() && MemberAtFault(status)) MemberFailed(member);
          if (NeverSent(status) && triesLeft > 1) {
            StartAsync(std::move(start), RetryContext(), std::move(done), triesLeft - 1);
            return;
          }
          done(std::move(status));
        });
}

void Client::TxnAsync(grpc::ClientContext *context, const pb::TxnRequest *request,
                      pb::TxnResponse *response, std::function<void(grpc::Status)> done) {
  StartAsync(
      [request, response](pb::KV::Stub &kv, grpc::ClientContext *call,
                          std::function<void(grpc::Status)> ended) {
        kv.async()->Txn(call, request, response, std::move(ended));
      },
      context, std::move(done), members_.size());
}

void Client::RangeAsync(grpc::ClientContext *context, const pb::RangeRequest *request,
                        pb::RangeResponse *response, std::function<void(grpc::Status)> done) {
  StartAsync(
      [request, response](pb::KV::Stub &kv, grpc::ClientContext *call,
                          std::function<void(grpc::Status)> ended) {
        kv.async()->Range(call, request, response, std::move(ended));
      },
      context, std::move(done), members_.size());
}

}  // namespace olva::dir::etcd
