#include "etcd_metrics.h"

#include <netdb.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace olva::dir::etcd {
namespace {

struct SocketCloser {
  int fd;
  ~SocketCloser() {
    if (fd >= 0) close(fd);
  }
};

// A socket connected to endpoint whose connect, sends and receives each give up after the
// deadline; -1 and *error when none could be connected.
int ConnectTo(const std::string &endpoint, std::chrono::milliseconds deadline, std::string *error) {
  const size_t colon = endpoint.rfind(':');
  if (colon == std::string::npos) {
    *error = "not HOST:PORT: " + endpoint;
    return -1;
  }
  std::string host = endpoint.substr(0, colon);
  if (host.size() > 1 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  const std::string port = endpoint.substr(colon + 1);
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo *found = nullptr;
  const int resolved = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
  if (resolved != 0) {
    *error = std::string("cannot resolve ") + host + ": " + gai_strerror(resolved);
    return -1;
  }
  const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, freeaddrinfo);
  timeval limit{};
  limit.tv_sec = static_cast<time_t>(deadline.count() / 1000);
  limit.tv_usec = static_cast<suseconds_t>(deadline.count() % 1000 * 1000);
  *error = "cannot connect to " + endpoint;
  for (const addrinfo *address = found; address != nullptr; address = address->ai_next) {
    const int fd = socket(address->ai_family, address->ai_socktype, address->ai_protocol);
    if (fd < 0) continue;
    // On Linux the send timeout bounds connect too.
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (connect(fd, address->ai_addr, address->ai_addrlen) == 0) return fd;
    *error = "cannot connect to " + endpoint + ": " + std::strerror(errno);
    close(fd);
  }
  return -1;
}

std::string TlsError(const std::string &what) {
  const unsigned long code = ERR_get_error();
  char text[256] = "unknown error";
  if (code != 0) ERR_error_string_n(code, text, sizeof text);
  return what + ": " + text;
}

// The answer's body, when its status is 200.
std::optional<std::string> Body(const std::string &answer, std::string *error) {
  const size_t end = answer.find("\r\n\r\n");
  if (end == std::string::npos || !answer.starts_with("HTTP/")) {
    *error = "not an HTTP answer";
    return std::nullopt;
  }
  const size_t space = answer.find(' ');
  if (answer.compare(space + 1, 4, "200 ") != 0) {
    *error = "answered " + answer.substr(space + 1, answer.find("\r\n") - space - 1);
    return std::nullopt;
  }
  return answer.substr(end + 4);
}

}  // namespace

std::optional<std::string> ReadMetrics(const std::string &endpoint, bool tls, const TlsFiles &files,
                                       std::chrono::milliseconds deadline, std::string *error) {
  const SocketCloser socket{ConnectTo(endpoint, deadline, error)};
  if (socket.fd < 0) return std::nullopt;
  // HTTP/1.0: the member closes the connection after the answer, which marks its end.
  const std::string request = "GET /metrics HTTP/1.0\r\nHost: " + endpoint + "\r\n\r\n";
  std::string answer;
  char chunk[16384];
  if (!tls) {
    if (send(socket.fd, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
      *error = "cannot send to " + endpoint + ": " + std::strerror(errno);
      return std::nullopt;
    }
    for (ssize_t got; (got = recv(socket.fd, chunk, sizeof chunk, 0)) != 0;) {
      if (got < 0 || answer.size() > kMostMetricsBytes) {
        *error = "cannot read the answer of " + endpoint;
        return std::nullopt;
      }
      answer.append(chunk, static_cast<size_t>(got));
    }
    return Body(answer, error);
  }
  const std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> context(SSL_CTX_new(TLS_client_method()),
                                                                  SSL_CTX_free);
  if (context == nullptr) {
    *error = TlsError("cannot start TLS");
    return std::nullopt;
  }
  SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
  if (SSL_CTX_load_verify_locations(context.get(), files.ca.c_str(), nullptr) != 1 ||
      (!files.cert.empty() &&
       (SSL_CTX_use_certificate_chain_file(context.get(), files.cert.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context.get(), files.key.c_str(), SSL_FILETYPE_PEM) != 1))) {
    *error = TlsError("cannot load the TLS files");
    return std::nullopt;
  }
  const std::unique_ptr<SSL, decltype(&SSL_free)> session(SSL_new(context.get()), SSL_free);
  if (session == nullptr || SSL_set_fd(session.get(), socket.fd) != 1 ||
      SSL_connect(session.get()) != 1) {
    *error = TlsError("TLS refused by " + endpoint);
    return std::nullopt;
  }
  if (SSL_write(session.get(), request.data(), static_cast<int>(request.size())) !=
      static_cast<int>(request.size())) {
    *error = TlsError("cannot send to " + endpoint);
    return std::nullopt;
  }
  for (int got; (got = SSL_read(session.get(), chunk, sizeof chunk)) > 0;) {
    if (answer.size() > kMostMetricsBytes) {
      *error = "the metrics of " + endpoint + " are too large";
      return std::nullopt;
    }
    answer.append(chunk, static_cast<size_t>(got));
  }
  return Body(answer, error);
}

std::optional<double> MetricValue(std::string_view page, std::string_view name) {
  // A metric without labels is a line "NAME VALUE".
  for (size_t at = 0; at < page.size();) {
    size_t end = page.find('\n', at);
    if (end == std::string_view::npos) end = page.size();
    const std::string_view line = page.substr(at, end - at);
    at = end + 1;
    if (line.size() > name.size() && line.starts_with(name) && line[name.size()] == ' ') {
      const std::string value(line.substr(name.size() + 1));
      char *parsed = nullptr;
      const double number = std::strtod(value.c_str(), &parsed);
      if (parsed == value.c_str()) return std::nullopt;
      return number;
    }
  }
  return std::nullopt;
}

}  // namespace olva::dir::etcd
