#include "etcd_client.h"

#include <grpc/support/log.h>
#include <unistd.h>

#include <mutex>

#include "trusted_file.h"

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

grpc::ChannelArguments ChannelSettings() {
  grpc::ChannelArguments arguments;
  // A listing page or a snapshot may be larger than gRPC's default 4 MiB.
  arguments.SetMaxReceiveMessageSize(-1);
  // A member that comes back is used again within a second, not after minutes of backoff.
  arguments.SetInt(GRPC_ARG_INITIAL_RECONNECT_BACKOFF_MS, 100);
  arguments.SetInt(GRPC_ARG_MIN_RECONNECT_BACKOFF_MS, 100);
  arguments.SetInt(GRPC_ARG_MAX_RECONNECT_BACKOFF_MS, 1000);
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

}  // namespace

std::unique_ptr<Client> Client::Connect(const ClusterLocation &location, const TlsFiles &tls,
                                        std::string *error) {
  static std::once_flag quiet;
  std::call_once(quiet, [] { gpr_set_log_function(DiscardLog); });
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

grpc::Status Client::Range(const pb::RangeRequest &request, pb::RangeResponse *response,
                           std::chrono::steady_clock::time_point deadline) {
  grpc::Status status(grpc::StatusCode::UNAVAILABLE, "no member");
  for (size_t attempt = 0; attempt < members_.size(); ++attempt) {
    if (std::chrono::steady_clock::now() >= deadline) break;
    const size_t member = CurrentMember();
    grpc::ClientContext context;
    SetDeadline(&context, deadline);
    status = members_[member].kv->Range(&context, request, response);
    if (status.ok() || !MemberAtFault(status)) return status;
    MemberFailed(member);
  }
  return status;
}

grpc::Status Client::Txn(const pb::TxnRequest &request, pb::TxnResponse *response) {
  const size_t member = CurrentMember();
  grpc::ClientContext context;
  SetDeadline(&context, std::chrono::steady_clock::now() + kCallDeadline);
  grpc::Status status = members_[member].kv->Txn(&context, request, response);
  if (!status.ok() && MemberAtFault(status)) MemberFailed(member);
  return status;
}

void Client::StartAsync(const AsyncStart &start, grpc::ClientContext *context,
                        std::function<void(grpc::Status)> done) {
  const size_t member = CurrentMember();
  SetDeadline(context, std::chrono::steady_clock::now() + kCallDeadline);
  start(*members_[member].kv, [this, member, done = std::move(done)](grpc::Status status) {
    if (!status.ok() && MemberAtFault(status)) MemberFailed(member);
    done(std::move(status));
  });
}

void Client::TxnAsync(grpc::ClientContext *context, const pb::TxnRequest *request,
                      pb::TxnResponse *response, std::function<void(grpc::Status)> done) {
  StartAsync(
      [&](pb::KV::Stub &kv, std::function<void(grpc::Status)> ended) {
        kv.async()->Txn(context, request, response, std::move(ended));
      },
      context, std::move(done));
}

void Client::RangeAsync(grpc::ClientContext *context, const pb::RangeRequest *request,
                        pb::RangeResponse *response, std::function<void(grpc::Status)> done) {
  StartAsync(
      [&](pb::KV::Stub &kv, std::function<void(grpc::Status)> ended) {
        kv.async()->Range(context, request, response, std::move(ended));
      },
      context, std::move(done));
}

}  // namespace olva::dir::etcd
