#include "common/ErrorChannel.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "noxtrel.h"

namespace nx {
namespace {

struct LastError {
  int32_t code = nxeNone;
  std::string text;
  uint64_t count = 0;
};

LastError &State() {
  static LastError state;
  return state;
}

bool DebugEnabled() {
  const char *v = std::getenv("NOXTREL_DEBUG");
  return v && std::strcmp(v, "1") == 0;
}

// Stores the exception being handled; may itself throw when memory runs out.
void StoreCurrentException() {
  try {
    throw;
  } catch (const ENxError &e) {
    SetLastNxError(e.code(), e.what());
  } catch (const std::bad_alloc &) {
    SetLastNxError(nxeGeneral, "Out of memory");
  } catch (const std::exception &e) {
    SetLastNxError(nxeGeneral, e.what());
  } catch (...) {
    SetLastNxError(nxeGeneral, "Unknown error");
  }
}

}  // namespace

void SetLastNxError(int32_t code, const std::string &message) {
  State().code = code;
  State().text = message;
  ++State().count;
  if (DebugEnabled()) std::fprintf(stderr, "noxtrel: error %d: %s\n", code, message.c_str());
}

void ClearLastNxError() {
  State().code = nxeNone;
  State().text.clear();
}

int32_t LastNxError() { return State().code; }

const std::string &LastNxErrorText() { return State().text; }

uint64_t NxErrorCount() { return State().count; }

void RecordCurrentException() noexcept {
  try {
    StoreCurrentException();
  } catch (...) {
    State().code = nxeGeneral;  // not even the message could be stored
    ++State().count;
  }
}

}  // namespace nx

extern "C" {

NX_EXPORT int32_t NX_CALL NxGetLastError(void) { return nx::LastNxError(); }

NX_EXPORT void NX_CALL NxGetLastErrorText(char *Dest, int32_t Size) {
  if (!Dest || Size <= 0) return;
  const std::string &text = nx::LastNxErrorText();
  size_t n = text.size() < static_cast<size_t>(Size - 1) ? text.size() : static_cast<size_t>(Size - 1);
  std::memcpy(Dest, text.data(), n);
  Dest[n] = '\0';
}

}  // extern "C"
