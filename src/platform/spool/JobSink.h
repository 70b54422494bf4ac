// Where a job's bytes go: a CUPS job (created when the job starts, its one
// document sent when it ends), a file in a virtual printer's folder, or the
// file a caller named. Nothing counts as printed until Commit succeeds; a
// sink destroyed without Commit leaves no job behind.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/spool/PrinterModel.h"

namespace nx::spool {

struct JobTicket {
  std::string title;
  bool raw = true;          // raw bytes; otherwise a PDF document
  int copies = 1;
  std::string media;        // PWG media name, empty for the printer's default
  std::string mediaSource;  // media-source keyword, empty for the default
  int duplex = 0;           // DMDUP_*; 0 for the printer's default
  bool landscape = false;
};

class JobSink {
 public:
  virtual ~JobSink() = default;
  // False (with SetLastError) when the bytes could not be kept.
  virtual bool Write(const void *data, size_t size) = 0;
  // Hands the job over; false (with SetLastError) when it was not taken, and
  // then nothing of the job remains.
  virtual bool Commit() = 0;
  // Drops the job.
  virtual void Abort() = 0;
  virtual DWORD JobId() const = 0;
  // Where a file job went (empty for CUPS jobs).
  virtual std::string Path() const { return {}; }
};

// Starts a job on the printer, or into outputFile when that is not empty.
// NULL (with SetLastError) when the printer refuses it.
std::unique_ptr<JobSink> StartJob(const PrinterModel &m, const JobTicket &t,
                                  const std::string &outputFile);

// The file a job's output name (DOC_INFO_1W pOutputFile, DOCINFOW lpszOutput)
// stands for: empty for none or the printer's own port, else the file to
// write instead of printing.
std::string OutputFileFor(const PrinterModel &m, const WCHAR *output);

// The CUPS job options of a ticket, as "name=value" pairs.
std::vector<std::pair<std::string, std::string>> JobOptions(const JobTicket &t);

}  // namespace nx::spool
