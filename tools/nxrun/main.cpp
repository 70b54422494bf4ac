// nxrun: runs a script of Nx calls, one a line, so the library can be driven
// without writing C. Each query's result goes to standard output on a line of
// its own; script errors stop the run, errors the library records are
// reported with their line and the run goes on.
//
//   nxrun SCRIPT      run a script file
//   nxrun -           read the script from standard input
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "ExportTable.h"
#include "ScriptParser.h"
#include "noxtrel.h"
#include "common/ErrorChannel.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: nxrun SCRIPT | -\n"
               "  one call a line, e.g. NxSetUnit(1) or NxSetFileName(\"out\\\\a.pdf\");\n"
               "  '#' starts a comment; strings are UTF-8, \\x escapes are raw bytes\n");
  return 2;
}

std::string LibraryErrorText() {
  std::string text(4096, '\0');
  NxGetLastErrorText(text.data(), static_cast<int32_t>(text.size()));
  text.resize(std::char_traits<char>::length(text.c_str()));
  return nxrun::AnsiToUtf8(text);
}

int RunScript(std::istream &in, const std::string &name) {
  std::string line;
  int lineNo = 0;
  bool libraryFailed = false;
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Windows editors start UTF-8 files with a byte order mark.
    if (lineNo == 1 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
    try {
      auto call = nxrun::ParseLine(line);
      if (!call) continue;
      uint64_t errorsBefore = nx::NxErrorCount();
      for (const std::string &out : nxrun::Invoke(*call)) std::cout << out << '\n';
      std::cout.flush();
      if (nx::NxErrorCount() != errorsBefore) {
        libraryFailed = true;
        std::fprintf(stderr, "%s:%d: %s: error %d: %s\n", name.c_str(), lineNo, call->name.c_str(),
                     NxGetLastError(), LibraryErrorText().c_str());
      }
    } catch (const nxrun::ScriptError &e) {
      std::fprintf(stderr, "%s:%d: %s\n", name.c_str(), lineNo, e.what());
      return 2;
    }
  }
  return libraryFailed ? 1 : 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) return Usage();
  std::string path = argv[1];
  if (path == "-") return RunScript(std::cin, "<stdin>");
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "nxrun: cannot open %s\n", path.c_str());
    return 2;
  }
  return RunScript(file, path);
}
