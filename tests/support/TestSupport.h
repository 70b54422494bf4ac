// Shared helpers for the tests: temporary folders and running the external
// tools that judge our output.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace nxtest {

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::filesystem::path &path() const { return path_; }
  std::string file(const std::string &name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

struct CommandResult {
  int exitCode = -1;   // the command's exit status, -1 if it did not run
  std::string output;  // standard output and standard error together
};

// Runs a shell command line and collects what it printed.
CommandResult RunCommand(const std::string &command);

// True when an external program can be found on PATH.
bool HaveTool(const std::string &program);

// Quotes a string for the shell.
std::string ShellQuote(const std::string &s);

std::vector<unsigned char> ReadFileBytes(const std::string &path);
void WriteFileBytes(const std::string &path, const std::vector<unsigned char> &bytes);

// The build folder (where tools such as emfrender live).
std::filesystem::path BinaryDir();

}  // namespace nxtest

// Skips the current test unless the external tool is installed.
#define NX_REQUIRE_TOOL(program) \
  if (!nxtest::HaveTool(program)) GTEST_SKIP() << program << " is not installed (scripts/setup-deps installs it)"
