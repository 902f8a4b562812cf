// A member's metrics, which it serves over HTTP on its client port (/metrics, in the
// Prometheus text format): the one place a member tells its space quota, which no gRPC call
// reports.
#ifndef OLVALIB_DIRECTORY_ETCD_METRICS_H
#define OLVALIB_DIRECTORY_ETCD_METRICS_H

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "directory/node_file.h"

namespace olva::dir::etcd {

// The largest metrics page read; a member's is about 200 kB.
inline constexpr size_t kMostMetricsBytes = 4u << 20;

// The metrics page of the member at endpoint (HOST:PORT), over TLS with the node's files when
// tls is set; nothing, and *error, when it cannot be read within the deadline.
std::optional<std::string> ReadMetrics(const std::string &endpoint, bool tls, const TlsFiles &files,
                                       std::chrono::milliseconds deadline, std::string *error);

// The value of a metric without labels on a metrics page, or nothing when it has none.
std::optional<double> MetricValue(std::string_view page, std::string_view name);

// The member's space quota: the size its database may reach before the cluster refuses writes.
inline constexpr std::string_view kQuotaMetric = "etcd_server_quota_backend_bytes";

}  // namespace olva::dir::etcd

#endif  // OLVALIB_DIRECTORY_ETCD_METRICS_H
