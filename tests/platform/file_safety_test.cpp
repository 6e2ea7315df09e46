// Files and folders that someone else prepared: FIFOs in a file's place,
// links, temporary files of killed writers, /tmp folders of other users.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/trace.h"

namespace fs = std::filesystem;
using namespace korvale;

namespace {

class FileSafety : public ::testing::Test {
 protected:
  FileSafety() {
    std::string tmpl = (fs::temp_directory_path() / "korvale-files-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp");
    dir_ = tmpl;
  }
  ~FileSafety() override { fs::remove_all(dir_); }
  const fs::path& Dir() const { return dir_; }

 private:
  fs::path dir_;
};

void Age(const fs::path& p, std::chrono::seconds by) {
  const timespec t[2] = {{::time(nullptr) - by.count(), 0}, {::time(nullptr) - by.count(), 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), t, AT_SYMLINK_NOFOLLOW), 0);
}

}  // namespace

TEST_F(FileSafety, AFifoInAFilesPlaceReadsAsMissingWithoutBlocking) {
  const fs::path fifo = Dir() / "profile.Json";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto read = std::async(std::launch::async, [&] { return ReadFileBytes(fifo); });
  if (read.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    // Release the blocked reader so the test ends, then fail.
    const int w = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (w >= 0) ::close(w);
    FAIL() << "reading a FIFO blocked";
  }
  EXPECT_FALSE(read.get().has_value());
  EXPECT_FALSE(ReadFileBytes(Dir()).has_value());  // a folder is no file either
  ASSERT_TRUE(WriteFileAtomic(Dir() / "plain", "ok"));
  EXPECT_EQ(ReadFileBytes(Dir() / "plain").value_or(""), "ok");
}

TEST_F(FileSafety, ALinkIsWrittenThroughToItsTargetInTheTargetsFolder) {
  fs::create_directories(Dir() / "dotfiles" / "sub");
  fs::create_directories(Dir() / "app");
  const fs::path target = Dir() / "dotfiles" / "sub" / "settings.json";
  ASSERT_TRUE(WriteFileAtomic(target, "old"));
  ::chmod(target.c_str(), 0640);
  struct Case {
    const char* link;
    fs::path to;
  } cases[] = {
      {"absolute.json", target},
      {"relative.json", fs::path("..") / "dotfiles" / "sub" / "settings.json"},
      {"chain.json", "absolute.json"},  // a link to a link
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.link);
    const fs::path link = Dir() / "app" / c.link;
    fs::create_symlink(c.to, link);
    ASSERT_TRUE(WriteFileAtomic(link, std::string("via ") + c.link));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(target).value_or(""), std::string("via ") + c.link);
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::mask, static_cast<fs::perms>(0640));
  }
  // The temporary file lived beside the target: nothing else appeared in either folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir() / "dotfiles" / "sub"), fs::directory_iterator()), 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir() / "app"), fs::directory_iterator()), 3);
  // A dangling link creates the file it names.
  fs::create_symlink("made.json", Dir() / "app" / "dangling.json");
  ASSERT_TRUE(WriteFileAtomic(Dir() / "app" / "dangling.json", "new"));
  EXPECT_EQ(ReadFileBytes(Dir() / "app" / "made.json").value_or(""), "new");
  // A loop of links is refused.
  fs::create_symlink("loop2", Dir() / "app" / "loop1");
  fs::create_symlink("loop1", Dir() / "app" / "loop2");
  EXPECT_FALSE(WriteFileAtomic(Dir() / "app" / "loop1", "x"));
}

TEST_F(FileSafety, StaleTemporaryFilesOfKilledWritersAreRemovedOnTheNextWrite) {
  struct Case {
    const char* name;
    std::chrono::seconds age;
    bool removed;
  } cases[] = {
      {".profile.Json.Ab3xZ9", std::chrono::hours(2), true},
      {".ProfileList.ini.000000", std::chrono::seconds(kStaleTempAge.count() + 60), true},
      {".profile.Json.Qw7rT2", std::chrono::seconds(5), false},  // a writer may still be at it
      {".profile.Json.toolong7", std::chrono::hours(2), false},   // not our naming
      {".hidden", std::chrono::hours(2), false},
      {"profile.Json.Ab3xZ9", std::chrono::hours(2), false},
      {".x.Json.a-b_c!", std::chrono::hours(2), false},
  };
  for (const auto& c : cases) {
    // Left the way a killed writer leaves them (no write of ours in this folder yet).
    std::ofstream(Dir() / c.name) << "left";
    Age(Dir() / c.name, c.age);
  }
  // An old link of our naming is not ours to delete.
  fs::create_symlink("elsewhere", Dir() / ".link.Json.Zz9Zz9");
  ASSERT_TRUE(WriteFileAtomic(Dir() / "profile.Json", "new"));
  for (const auto& c : cases) EXPECT_EQ(fs::exists(Dir() / c.name), !c.removed) << c.name;
  EXPECT_TRUE(fs::is_symlink(Dir() / ".link.Json.Zz9Zz9"));
  EXPECT_EQ(ReadFileBytes(Dir() / "profile.Json").value_or(""), "new");
}

TEST_F(FileSafety, APrivateFolderIsMadeOwnerOnlyAndAnyOtherIsRefused) {
  const fs::path fresh = Dir() / "fresh";
  ASSERT_TRUE(EnsurePrivateDir(fresh));
  EXPECT_EQ(fs::status(fresh).permissions() & fs::perms::mask, fs::perms::owner_all);
  EXPECT_TRUE(EnsurePrivateDir(fresh));  // again: it is ours

  const fs::path open = Dir() / "open";
  fs::create_directory(open);
  ::chmod(open.c_str(), 0777);
  const fs::path groupRead = Dir() / "group";
  fs::create_directory(groupRead);
  ::chmod(groupRead.c_str(), 0750);
  const fs::path link = Dir() / "link";
  fs::create_directory_symlink(fresh, link);
  const fs::path file = Dir() / "file";
  ASSERT_TRUE(WriteFileAtomic(file, ""));
  for (const fs::path& bad : {open, groupRead, link, file}) {
    TraceSink::Instance().Clear();
    EXPECT_FALSE(EnsurePrivateDir(bad)) << bad;
    EXPECT_TRUE(TraceSink::Instance().Contains("not used")) << bad;
  }
  // Refused folders are left as they were.
  EXPECT_EQ(fs::status(open).permissions() & fs::perms::mask, fs::perms::all);

  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
  const fs::path theirs = Dir() / "theirs";
  fs::create_directory(theirs);
  ::chmod(theirs.c_str(), 0700);
  ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
  EXPECT_FALSE(EnsurePrivateDir(theirs));
}
