#pragma once
// Stand-in for the named single-instance mutex: an advisory lock (flock) on a
// file in the runtime folder named from the identity string. The lock goes
// with the process, so a crashed instance never blocks the next start.
#include <filesystem>
#include <string>

namespace korvale {

class SingleInstance {
 public:
  enum class State { Owner, AlreadyRunning, Unavailable };

  // Tries to take the lock for identity in dir (default: the runtime folder).
  explicit SingleInstance(const std::string& identity, std::filesystem::path dir = {});
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // Unavailable: the lock file could not be opened; the caller carries on
  // without single-instance protection.
  State GetState() const { return state_; }
  const std::filesystem::path& LockPath() const { return path_; }
  // Gives the lock up early (tear-down order).
  void Release();

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  State state_ = State::Unavailable;
};

}  // namespace korvale
