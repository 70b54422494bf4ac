// The PDF writer's object layer: numbered indirect objects written one after
// another with their byte offsets, the cross-reference table and the
// trailer, and Flate compression. Bytes collect in a buffer that goes to the
// output file in large pieces; without a file (tests) everything stays in
// the buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/Files.h"
#include "common/WString.h"

namespace nx {

enum TgtCompressionLevel : uint8_t { clFastest = 0, clNormal = 1, clMaxCompress = 2 };

struct TgtCompression {
  bool Enabled = true;
  TgtCompressionLevel Level = clMaxCompress;
};

namespace pdf {

// The zlib-format deflate of the data at the level (clFastest stores, clNormal
// is zlib level 1, clMaxCompress zlib's default level 6).
std::string Deflate(std::string_view data, TgtCompressionLevel level);
// The same into out, whose buffer is reused (a page's content goes through
// one buffer page after page).
void DeflateInto(std::string_view data, TgtCompressionLevel level, std::string &out);

// " 0 R" after the number.
std::string Ref(int32_t objNo);

class TPdfObjectWriter {
 public:
  // The first free number after the fixed objects is lastFixed + 1. The
  // file (not owned) receives the bytes; without one they stay in Buffer.
  // The buffer is the one the thread's last writer left, so that its memory
  // is not fetched fresh from the system document after document.
  explicit TPdfObjectWriter(TOutputFile *file = nullptr, int32_t lastFixed = 5);
  ~TPdfObjectWriter();
  TPdfObjectWriter(const TPdfObjectWriter &) = delete;
  TPdfObjectWriter &operator=(const TPdfObjectWriter &) = delete;

  int32_t NextObjectNumber() { return ++lastObjNo_; }
  int32_t LastObjNo() const { return lastObjNo_; }
  uint64_t Size() const { return flushed_ + buf_.size(); }

  // The object: number, " 0 obj", CR LF, the text (wrapped as "<<\r\n" text
  // ">>" when it holds a CR LF), CR LF and, when withEndObj, "endobj" CR LF.
  // Its offset is recorded for the cross-reference table.
  void WriteObject(std::string_view ansiText, int32_t objNo, bool withEndObj = true);
  // The same from UTF-16 text, converted to the ANSI code page.
  void WriteObjectW(const WString &text, int32_t objNo, bool withEndObj = true);
  // "stream" CR LF, the data, CR LF "endstream" CR LF "endobj" CR LF.
  void WriteStreamData(std::string_view data);
  void WriteRaw(std::string_view bytes);
  // An object written as part of a block appended later (page images).
  void RecordOffset(int32_t objNo, uint64_t offset);

  // The cross-reference table of objects 0 .. LastObjNo and the trailer with
  // the entries; ends with "%%EOF". Numbers allocated but never written get
  // free entries.
  void WriteXRefAndTrailer(std::string_view trailerEntries);
  // Hands the buffered bytes to the file.
  void Flush();

  // The bytes not yet handed to the file (all of them without a file).
  const std::string &Buffer() const { return buf_; }

 private:
  TOutputFile *file_;
  std::string buf_;
  uint64_t flushed_ = 0;
  int32_t lastObjNo_;
  std::vector<int64_t> offsets_;  // by object number; -1 = not written
};

}  // namespace pdf
}  // namespace nx
