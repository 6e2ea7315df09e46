#pragma once
// korvale-emu as a child process with its stdin commands, for suites that
// test against the real program over the virtual bus.
#include <sys/types.h>

#include <string>
#include <vector>

namespace korvale::testing {

class EmuProcess {
 public:
  EmuProcess() = default;
  EmuProcess(const EmuProcess&) = delete;
  EmuProcess& operator=(const EmuProcess&) = delete;
  ~EmuProcess() { Kill(); }

  // Starts bin/korvale-emu with args; the environment is the test's own.
  bool Start(const std::vector<std::string>& args);
  // Closes the pipes and kills and reaps the process.
  void Kill();

  bool Send(const std::string& line);
  // Next stdout line within the time limit, or "" at time-out or end.
  std::string Line(int timeoutMs = 3000);
  // Sends a command and returns its "ok ..." or "error: ..." answer, skipping
  // the lines printed before it.
  std::string Command(const std::string& line);
  // The lines a command prints before its "ok" line.
  std::vector<std::string> Listing(const std::string& line);

  // End of input: the program ends as at the end of its commands.
  void CloseStdin();
  // Exit status (128 + signal when killed), or -1 when it did not end in time.
  int Wait(int timeoutMs = 5000);

  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  std::string buf_;
};

}  // namespace korvale::testing
