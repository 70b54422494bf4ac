// The error channel of the exported interface: every export runs its body
// through NxGuard, which turns any exception into a recorded code and message.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace nx {

// Error codes reported by NxGetLastError.
enum NxErrorCode : int32_t {
  nxeNone = 0,
  nxeGeneral = 1,     // any other exception
  nxeArgument = 2,    // a value the call cannot take
  nxeFile = 3,        // the file system refused
  nxePrinter = 4,     // spooler and printer failures
  nxeNotBuilt = 5,    // an output this build does not have yet
  nxeData = 6,        // data a symbology or decoder cannot carry
};

// An exception that carries its error code.
class ENxError : public std::runtime_error {
 public:
  ENxError(NxErrorCode code, const std::string &message) : std::runtime_error(message), code_(code) {}
  NxErrorCode code() const { return code_; }

 private:
  NxErrorCode code_;
};

void SetLastNxError(int32_t code, const std::string &message);
void ClearLastNxError();
int32_t LastNxError();
const std::string &LastNxErrorText();
// Counts the errors recorded so far, so a caller can tell whether a call
// recorded one even when it repeats the previous code and text.
uint64_t NxErrorCount();

// Runs body; any exception is recorded and fallback is returned instead.
template <typename R, typename F>
R NxGuard(R fallback, F &&body) noexcept;

// Records the exception that is currently being handled.
void RecordCurrentException() noexcept;

template <typename R, typename F>
R NxGuard(R fallback, F &&body) noexcept {
  try {
    return body();
  } catch (...) {
    RecordCurrentException();
    return fallback;
  }
}

template <typename F>
void NxGuardVoid(F &&body) noexcept {
  try {
    body();
  } catch (...) {
    RecordCurrentException();
  }
}

}  // namespace nx
