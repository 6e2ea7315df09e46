#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "platform/atomic_file.h"
#include "platform/event.h"
#include "platform/paths.h"
#include "platform/trace.h"

namespace fs = std::filesystem;
using namespace korvale;

namespace {
fs::path TempDir() {
  fs::path d = fs::temp_directory_path() / ("korvale-platform-" + std::to_string(::getpid()));
  fs::create_directories(d);
  return d;
}
}  // namespace

TEST(AtomicFile, ReplacesWholeAndLeavesNoTemporary) {
  fs::path d = TempDir();
  fs::path f = d / "a.json";
  ASSERT_TRUE(WriteFileAtomic(f, "old"));
  ASSERT_TRUE(WriteFileAtomic(f, "new contents"));
  EXPECT_EQ(ReadFileBytes(f).value(), "new contents");
  int entries = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(d)) ++entries;
  EXPECT_EQ(entries, 1);
  fs::remove_all(d);
}

TEST(AtomicFile, FailedWriteKeepsOldFileAndTraces) {
  fs::path d = TempDir();
  fs::path f = d / "keep.json";
  ASSERT_TRUE(WriteFileAtomic(f, "old"));
  TraceSink::Instance().Clear();
  // A missing folder makes the temporary file impossible.
  EXPECT_FALSE(WriteFileAtomic(d / "missing" / "x.json", "new"));
  EXPECT_TRUE(TraceSink::Instance().Contains("cannot create temporary file"));
  EXPECT_EQ(ReadFileBytes(f).value(), "old");
  fs::remove_all(d);
}

TEST(AtomicFile, ReadRefusesOversizedAndMissing) {
  fs::path d = TempDir();
  ASSERT_TRUE(WriteFileAtomic(d / "big", std::string(1000, 'x')));
  EXPECT_FALSE(ReadFileBytes(d / "big", 999).has_value());
  EXPECT_TRUE(ReadFileBytes(d / "big", 1000).has_value());
  EXPECT_FALSE(ReadFileBytes(d / "nope").has_value());
  fs::remove_all(d);
}

TEST(Paths, InsideAndPlainNames) {
  struct Case {
    const char* candidate;
    bool inside;
  } cases[] = {
      {"a.json", true},       {"sub/a.json", true}, {"../a.json", false}, {"sub/../../a", false},
      {"/etc/passwd", false}, {"/root/x/y", true},  {".", false},        {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsInside("/root/x", c.candidate), c.inside) << c.candidate;
  EXPECT_TRUE(IsPlainFileName("2024-01-01.Json"));
  for (const char* bad : {"", ".", "..", "a/b", "a\\b", "/abs"}) EXPECT_FALSE(IsPlainFileName(bad)) << bad;
}

TEST(Event, AutoResetIsConsumedOnceAndWakesWaiter) {
  Event e(Event::Reset::Auto);
  EXPECT_FALSE(e.Wait(0));
  e.Set();
  EXPECT_TRUE(e.Wait(0));
  EXPECT_FALSE(e.Wait(0));
  std::thread t([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    e.Set();
  });
  EXPECT_TRUE(e.Wait(Event::kInfinite));
  t.join();

  Event m(Event::Reset::Manual);
  m.Set();
  EXPECT_TRUE(m.Wait(0));
  EXPECT_TRUE(m.Wait(0));
  m.Clear();
  EXPECT_FALSE(m.IsSet());
}
