// Output files are written beside their target and put in place whole: links
// at the target's name are replaced, failures keep the old file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/ErrorChannel.h"
#include "common/Files.h"
#include "common/Strings.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

nx::WString Wide(const std::string &path) { return nx::AnsiToWide(path.c_str(), CP_UTF8); }

std::string ReadText(const std::string &path) {
  auto bytes = nxtest::ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// Files in the folder other than the ones named.
std::vector<std::string> Leftovers(const fs::path &dir, const std::vector<std::string> &known) {
  std::vector<std::string> rest;
  for (const auto &e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (std::find(known.begin(), known.end(), name) == known.end()) rest.push_back(name);
  }
  return rest;
}

TEST(OutputFile, CommitReplacesTheTargetAndLeavesNoTemporaryFile) {
  nxtest::TempDir dir;
  const std::string target = dir.file("out.bin");
  nxtest::WriteFileBytes(target, {'o', 'l', 'd'});
  {
    nx::TOutputFile f(Wide(target));
    f.Write("new ");
    f.Write("content");
    EXPECT_EQ(f.Size(), 11u);
    EXPECT_EQ(ReadText(target), "old");  // nothing visible before the commit
    f.Commit();
  }
  EXPECT_EQ(ReadText(target), "new content");
  EXPECT_TRUE(Leftovers(dir.path(), {"out.bin"}).empty());
}

TEST(OutputFile, AbandonedFileKeepsTheOldTargetAndRemovesItsTemporary) {
  nxtest::TempDir dir;
  const std::string target = dir.file("keep.bin");
  nxtest::WriteFileBytes(target, {'o', 'l', 'd'});
  {
    nx::TOutputFile f(Wide(target));
    f.Write("half");
  }
  EXPECT_EQ(ReadText(target), "old");
  EXPECT_TRUE(Leftovers(dir.path(), {"keep.bin"}).empty());
}

TEST(OutputFile, LinksAtTheTargetAreReplacedNeverFollowed) {
  nxtest::TempDir dir;
  const std::string victim = dir.file("victim.txt");
  nxtest::WriteFileBytes(victim, {'m', 'i', 'n', 'e'});
  fs::create_symlink(victim, dir.file("link.emf"));
  fs::create_symlink(dir.file("elsewhere.txt"), dir.file("dangling.emf"));
  nx::WriteWholeFile(Wide(dir.file("link.emf")), {'p', 'a', 'g', 'e'});
  nx::WriteWholeFile(Wide(dir.file("dangling.emf")), {'p'});
  EXPECT_EQ(ReadText(victim), "mine");
  EXPECT_FALSE(fs::is_symlink(dir.file("link.emf")));
  EXPECT_EQ(ReadText(dir.file("link.emf")), "page");
  EXPECT_FALSE(fs::exists(dir.file("elsewhere.txt")));
}

TEST(OutputFile, RefusalsNameTheFileAndTheReason) {
  nxtest::TempDir dir;
  fs::create_directory(dir.file("adir"));
  try {
    nx::WriteWholeFile(Wide(dir.file("adir")), {'x'});
    FAIL() << "a folder cannot be replaced by a file";
  } catch (const nx::ENxError &e) {
    EXPECT_EQ(e.code(), nx::nxeFile);
    EXPECT_NE(std::string(e.what()).find("adir"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(fs::is_directory(dir.file("adir")));
  EXPECT_TRUE(Leftovers(dir.path(), {"adir"}).empty());
  EXPECT_THROW(nx::TOutputFile(Wide(dir.file("missing/x.pdf"))), nx::ENxError);
}

TEST(OutputFile, WindowsSeparatorsNameTheSameFolder) {
  nxtest::TempDir dir;
  fs::create_directory(dir.file("sub"));
  nx::WriteWholeFile(Wide(dir.path().string() + "\\sub\\a.txt"), {'a'});
  EXPECT_EQ(ReadText(dir.file("sub/a.txt")), "a");
}

}  // namespace
