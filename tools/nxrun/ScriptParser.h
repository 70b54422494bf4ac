// nxrun scripts: one call of an Nx export a line, arguments as the C
// interface takes them.
//
//   # a comment
//   NxSetDevice(5)
//   NxSetFileName("out\\doc.pdf")
//   NxBeginDoc
//   NxTextOut(100000, 200000, "Grüße \x80")   # UTF-8 text, \x bytes raw
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace nxrun {

// A literal argument: a number, or a string already in the ANSI code page.
struct Arg {
  enum Kind { Number, String } kind = Number;
  int32_t number = 0;
  std::string bytes;
};

struct Call {
  std::string name;
  std::vector<Arg> args;
};

// A script error; the message names what is wrong, the caller adds the line.
class ScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses one line; nothing for a blank or comment line. Text in string
// literals is UTF-8 and is converted to the ANSI code page; \x and octal
// escapes are bytes and pass unchanged.
std::optional<Call> ParseLine(const std::string &line);

// ANSI text from the library as UTF-8 for printing.
std::string AnsiToUtf8(const std::string &ansi);

}  // namespace nxrun
