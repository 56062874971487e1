// Whole-file writes: the final name changes only when the whole file was written.
#include "common/atomic_file.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace runoff::testing {
namespace {

TEST(AtomicFile, NothingUnderTheFinalNameUntilPublished) {
  TempDir dir;
  const fs::path path = dir / "grid.bin";
  writeFile(path, "old");
  AtomicFile file(path.string(), std::ios::binary);
  ASSERT_TRUE(file.isOpen());
  file.stream() << "new contents";
  ASSERT_TRUE(file.finish().ok());
  EXPECT_EQ(readFile(path), "old");
  ASSERT_TRUE(file.publish().ok());
  EXPECT_EQ(readFile(path), "new contents");
  EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"grid.bin"});
}

TEST(AtomicFile, AbandonedFileLeavesNoTemporary) {
  TempDir dir;
  {
    AtomicFile file((dir / "cache.dat").string());
    file.stream() << "half";
  }
  EXPECT_EQ(entries(dir.path()), std::vector<std::string>{});
}

TEST(AtomicFile, FailedRenameKeepsTheOldFileAndRemovesTheTemporary) {
  TempDir dir;
  fs::create_directories(dir / "taken/inside");  // a non-empty directory cannot be replaced
  AtomicFile file((dir / "taken").string());
  file.stream() << "data";
  const Status written = file.commit();
  EXPECT_EQ(written.message(), (dir / "taken").string() + " cannot be written.");
  EXPECT_TRUE(fs::is_directory(dir / "taken/inside"));
  EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"taken"});
}

TEST(AtomicFile, MissingDirectoryIsNotOpen) {
  TempDir dir;
  AtomicFile file((dir / "none/cache.dat").string(), std::ios::out, "Cache");
  EXPECT_FALSE(file.isOpen());
  EXPECT_EQ(file.ready().message(), "Cache " + (dir / "none/cache.dat").string() + " cannot be written.");
  EXPECT_FALSE(file.commit().ok());
  EXPECT_FALSE(fs::exists(dir / "none"));
}

}  // namespace
}  // namespace runoff::testing
