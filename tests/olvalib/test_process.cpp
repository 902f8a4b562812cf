#include "test_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

extern char **environ;

namespace olva::test {
namespace {

std::vector<char *> ArgvOf(const std::vector<std::string> &argv) {
  std::vector<char *> pointers;
  for (const std::string &word : argv) pointers.push_back(const_cast<char *>(word.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string> &argv, const std::string &input) {
  signal(SIGPIPE, SIG_IGN);  // a child that stops reading must not end the test
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    return {};
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<char *> words = ArgvOf(argv);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, words[0], &actions, nullptr, words.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  ProcessResult result;
  if (spawned != 0) {
    close(in[1]);
    close(out[0]);
    close(err[0]);
    return result;
  }
  // Feed standard input and drain both outputs together, so that no pipe fills up.
  size_t written = 0;
  if (input.empty()) {
    close(in[1]);
    in[1] = -1;
  }
  std::vector<pollfd> fds{{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
    for (size_t i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char chunk[4096];
      const ssize_t got = read(fds[i].fd, chunk, sizeof chunk);
      if (got <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
      } else {
        (i == 0 ? result.out : result.err).append(chunk, static_cast<size_t>(got));
      }
    }
    if (fds[2].fd >= 0 && fds[2].revents != 0) {
      const ssize_t put = write(fds[2].fd, input.data() + written, input.size() - written);
      if (put > 0) written += static_cast<size_t>(put);
      if (put <= 0 || written == input.size()) {
        close(fds[2].fd);
        fds[2].fd = -1;
      }
    }
  }
  if (fds[2].fd >= 0) close(fds[2].fd);
  result.exitStatus = WaitProcess(pid);
  return result;
}

pid_t StartProcess(const std::vector<std::string> &argv, int *outFd) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  std::vector<char *> words = ArgvOf(argv);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, words[0], &actions, nullptr, words.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    return -1;
  }
  *outFd = out[0];
  return pid;
}

pid_t StartHeldProcess(const std::vector<std::string> &argv, int *release) {
  int gate[2];
  if (pipe2(gate, O_CLOEXEC) != 0) return -1;
  std::vector<char *> words = ArgvOf(argv);
  const pid_t pid = fork();
  if (pid == 0) {  // only async-signal-safe calls until exec
    close(gate[1]);
    char go;
    while (read(gate[0], &go, 1) < 0 && errno == EINTR) {
    }
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execv(words[0], words.data());
    _exit(127);
  }
  close(gate[0]);
  if (pid < 0) {
    close(gate[1]);
    return -1;
  }
  *release = gate[1];
  return pid;
}

int WaitProcess(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace olva::test
