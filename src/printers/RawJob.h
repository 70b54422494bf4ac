// Raw print jobs: bytes passed unchanged to the current printer's queue.
// The session's RawPrintJob and PrnHandle say whether a job is open and
// which; this object also remembers every spooler job it started and has not
// ended, so that a job the per-document reset left open is still ended, and
// printed, when the library is unloaded.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32.h"

namespace nx {

class TRawJobs {
 public:
  TRawJobs() = default;
  ~TRawJobs() { EndAll(); }
  TRawJobs(const TRawJobs &) = delete;
  TRawJobs &operator=(const TRawJobs &) = delete;

  // NxBeginRawDoc: opens a job on the current printer unless one is open.
  // A job that cannot be opened still counts as open (its handle is -1).
  void Begin();
  // NxPrintRawData: writes size bytes while a job is open. A null pointer
  // with a size, or a negative size, writes nothing and throws.
  void Write(const void *data, int32_t size);
  // NxEndRawDoc: ends the page and the job and closes the handle.
  void End();
  // Ends every job still open (the unload step).
  void EndAll();

  // Spooler jobs started and not yet ended.
  size_t OpenJobs() const { return open_.size(); }

 private:
  void Finish(HANDLE h, bool report);
  std::vector<HANDLE> open_;
};

}  // namespace nx
