// The built tarne-tool run as a host of the directory, and the etcd clusters that the fault
// tests start for themselves.
#ifndef TARNE_TESTS_OLVALIB_CLUSTER_TOOL_H
#define TARNE_TESTS_OLVALIB_CLUSTER_TOOL_H

#include <nlohmann/json.hpp>
#include <regex>

#include "directory_fixture.h"

namespace olva::test {

struct ToolRun {
  int status = -1;  // -2: still running after its bound (30 s), then killed
  std::string out, err;
  double seconds = 0;
};

// Runs a program with these words, in this environment plus environment; standard output and
// error apart.
inline ToolRun RunProgram(const std::string &program, const std::vector<std::string> &words,
                          const std::vector<std::string> &environment = {}, int seconds = 30) {
  char errName[] = "/tmp/olvalib-tool-err-XXXXXX";
  const int errFd = mkstemp(errName);
  EXPECT_GE(errFd, 0);
  close(errFd);
  std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>\"$TOOL_ERR\"", program};
  argv.insert(argv.end(), words.begin(), words.end());
  std::vector<std::string> variables = environment;
  variables.push_back(std::string("TOOL_ERR=") + errName);
  ToolRun run;
  const auto start = std::chrono::steady_clock::now();
  int out = -1;
  const pid_t pid = StartProcess(argv, &out, nullptr, variables);
  run.out = ReadAll(out);
  run.status = WaitProcess(pid, seconds);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::ifstream err(errName);
  run.err.assign(std::istreambuf_iterator<char>(err), {});
  unlink(errName);
  return run;
}
inline ToolRun RunTool(const std::vector<std::string> &words,
                       const std::vector<std::string> &environment = {}) {
  return RunProgram(TARNE_TOOL_PATH, words, environment);
}

inline size_t Count(const std::string &text, const std::string &part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// The tool's refusal when the library cannot open the directory: nothing on standard output,
// one line on standard error (after its time stamps), exit status 255; never a hang.
inline void ExpectNoConnection(const ToolRun &run, const std::string &what) {
  EXPECT_EQ(run.status, 255) << what << ": " << run.out << run.err;
  EXPECT_EQ(run.out, "") << what;
  EXPECT_TRUE(std::regex_match(
      run.err, std::regex("([0-9T:-]+: )*Failed to initialize TARNE: No connection\n")))
      << what << ": " << run.err;
  EXPECT_LT(run.seconds, 5.0) << what;  // a generous bound: the point is that it never hangs
  std::printf("%s: \"No connection\" after %.2f s\n", what.c_str(), run.seconds);
}

// tarne-admin status, in both forms: its exit status, its text and its JSON object, parsed
// strictly. Both forms must agree on the health, and the exit status must be the health's.
struct StatusRun {
  int status = -1;
  std::string text;
  nlohmann::json json;
  // The problems, one line each, for messages and substring checks.
  std::string ProblemText() const {
    std::string joined;
    for (const auto &problem : json["problems"]) joined += problem.get<std::string>() + "\n";
    return joined;
  }
};
inline StatusRun AdminStatus(const std::vector<std::string> &words = {},
                             const std::vector<std::string> &environment = {}) {
  std::vector<std::string> asJson{"status", "-f", "json"};
  asJson.insert(asJson.end(), words.begin(), words.end());
  std::vector<std::string> asText{"status"};
  asText.insert(asText.end(), words.begin(), words.end());
  const ToolRun json = RunProgram(TARNE_ADMIN_PATH, asJson, environment);
  const ToolRun text = RunProgram(TARNE_ADMIN_PATH, asText, environment);
  StatusRun run;
  run.status = json.status;
  run.text = text.out;
  EXPECT_EQ(json.err, "");
  EXPECT_EQ(text.err, "");
  run.json = nlohmann::json::parse(json.out);  // throws, failing the test, on malformed JSON
  const std::string health = run.json["status"].get<std::string>();
  const int expected = health == "healthy" ? 0 : health == "degraded" ? 1 : 2;
  EXPECT_EQ(run.status, expected) << json.out;
  EXPECT_EQ(text.status, expected) << text.out;
  EXPECT_NE(text.out.find("\nstatus: " + health + "\n"), std::string::npos) << text.out;
  EXPECT_EQ(run.json["problems"].empty(), health == "healthy") << json.out;
  return run;
}

// A directory on a cluster of its own, started in the test's folder by etcd-cluster.sh, so
// that killing and restarting its members disturbs no other test.
class EtcdClusterOwnTest : public DirectoryTest {
 protected:
  Backend backend() const override { return Backend::kEtcd; }
  std::string ClusterEndpoints() override {
    clusterDir_ = folder_ + "/cluster";
    std::vector<std::string> argv{ETCD_CLUSTER_SCRIPT, "start", clusterDir_,
                                  std::to_string(Members())};
    const std::vector<std::string> more = StartWords();
    argv.insert(argv.end(), more.begin(), more.end());
    if (!CertsDir().empty()) {
      [&] { ASSERT_EQ(RunProcess({ETCD_CERTS_SCRIPT, CertsDir()}), 0); }();
      argv.insert(argv.end(), {"--tls", CertsDir()});
    }
    [&] { ASSERT_EQ(RunProcess(argv), 0) << "etcd-cluster.sh start; see " << clusterDir_; }();
    std::ifstream in(clusterDir_ + "/endpoints");
    std::string endpoints;
    std::getline(in, endpoints);
    return endpoints;
  }
  void TearDown() override {
    Close();
    if (!clusterDir_.empty()) RunProcess({ETCD_CLUSTER_SCRIPT, "stop", clusterDir_});
    DirectoryTest::TearDown();
  }
  // The calls of the gRPC methods that methods matches which the first member has started
  // serving, from its metrics (python3 rather than curl: one of the packages the setup
  // script installs).
  long StartedCalls(const std::string &methods) {
    const std::string endpoint = Endpoints().at(0);
    int out = -1;
    const char *program =
        "import re, sys, urllib.request\n"
        "text = urllib.request.urlopen(sys.argv[1]).read().decode()\n"
        "print(int(sum(float(n) for n in re.findall(r'^grpc_server_started_total\\{[^}]*"
        "grpc_method=\"' + sys.argv[2] + r'\"[^}]*\\} (\\S+)$', text, re.M))))";
    const pid_t pid = StartProcess(
        {"/usr/bin/env", "python3", "-c", program, "http://" + endpoint + "/metrics", methods},
        &out);
    const std::string said = ReadAll(out);
    EXPECT_EQ(WaitProcess(pid), 0);
    return said.empty() ? -1 : std::stol(said);
  }
  // The process ids of the members, in the order of their endpoints.
  std::vector<pid_t> MemberPids() {
    std::vector<pid_t> pids;
    for (int i = 0; i < Members(); ++i) {
      std::ifstream pidFile(clusterDir_ + "/member" + std::to_string(i) + ".pid");
      pid_t pid = 0;
      pidFile >> pid;
      pids.push_back(pid);
    }
    return pids;
  }
  std::vector<std::string> Endpoints() const {
    return dir::ParseClusterLocation(location_)->endpoints;
  }
  virtual int Members() const { return 3; }
  virtual std::string CertsDir() const { return {}; }
  // More words for etcd-cluster.sh start.
  virtual std::vector<std::string> StartWords() const { return {}; }
  // etcd-cluster.sh with these words after the command and the folder; its standard output.
  std::string Script(const std::string &command, std::vector<std::string> words = {}) {
    words.insert(words.begin(), {command, clusterDir_});
    const ToolRun run = RunProgram(ETCD_CLUSTER_SCRIPT, words, {}, 60);
    scriptStatus_ = run.status;
    return run.out;
  }

  std::string clusterDir_;
  int scriptStatus_ = -1;
};

}  // namespace olva::test

#endif  // TARNE_TESTS_OLVALIB_CLUSTER_TOOL_H
