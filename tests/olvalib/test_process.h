// Running the directory's programs (tarne-admin, the test writer) from a test.
#ifndef TARNE_TESTS_OLVALIB_TEST_PROCESS_H
#define TARNE_TESTS_OLVALIB_TEST_PROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace olva::test {

struct ProcessResult {
  int exitStatus = -1;  // -1 when it did not exit normally
  std::string out;
  std::string err;
};

// Runs the program with the arguments and the standard input given, and waits for it.
ProcessResult RunProcess(const std::vector<std::string> &argv, const std::string &input = "");

// Starts the program with its standard output on a pipe; *outFd receives the read end.
pid_t StartProcess(const std::vector<std::string> &argv, int *outFd);
// Starts the program held back until the test writes a byte to (or closes) *release, so
// that the test can prepare for its process id first. Its standard output is discarded.
pid_t StartHeldProcess(const std::vector<std::string> &argv, int *release);
// The exit status once it ended (-1 when killed by a signal).
int WaitProcess(pid_t pid);

}  // namespace olva::test

#endif  // TARNE_TESTS_OLVALIB_TEST_PROCESS_H
