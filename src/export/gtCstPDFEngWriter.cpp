#include "export/gtCstPDFEngWriter.h"

#ifdef NX_HAVE_LIBDEFLATE
#include <libdeflate.h>
#else
#include <zlib.h>
#endif

#include <cstdio>
#include <memory>

#include "common/ErrorChannel.h"
#include "common/Strings.h"
#include "export/gtCstPDFEngFormat.h"

namespace nx::pdf {

namespace {
constexpr size_t kFlushAt = 1 << 20;
// The buffer holds up to kFlushAt bytes and the piece that crosses it; a
// buffer that grew far beyond (a large image) is not kept for the next writer.
constexpr size_t kBufferReserve = kFlushAt + (64 << 10), kBufferKeep = 4 * kFlushAt;

// The buffer of the thread's last writer, empty and ready for the next.
std::string &SpareBuffer() {
  thread_local std::string spare;
  return spare;
}

int ZlibLevel(TgtCompressionLevel level) { return level == clFastest ? 0 : level == clNormal ? 1 : 6; }

#ifdef NX_HAVE_LIBDEFLATE
// libdeflate writes the same zlib format as zlib, in a fraction of the time;
// a compressor is costly to make, so each thread keeps one per level.
struct TCompressorFree {
  void operator()(libdeflate_compressor *c) const { libdeflate_free_compressor(c); }
};

void DeflateFast(std::string_view data, int level, std::string &out) {
  thread_local std::unique_ptr<libdeflate_compressor, TCompressorFree> compressors[3];
  auto &c = compressors[level == 0 ? 0 : level == 1 ? 1 : 2];
  if (!c) c.reset(libdeflate_alloc_compressor(level));
  if (!c) throw ENxError(nxeGeneral, "Flate compression failed (no memory for the compressor)");
  out.resize(libdeflate_zlib_compress_bound(c.get(), data.size()));
  const size_t size = libdeflate_zlib_compress(c.get(), data.data(), data.size(), out.data(), out.size());
  if (size == 0) throw ENxError(nxeGeneral, "Flate compression failed (libdeflate)");
  out.resize(size);
}
#endif

}  // namespace

void DeflateInto(std::string_view data, TgtCompressionLevel level, std::string &out) {
  const int zl = ZlibLevel(level);
#ifdef NX_HAVE_LIBDEFLATE
  DeflateFast(data, zl, out);
#else
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  out.resize(size);
  const int rc = compress2(reinterpret_cast<Bytef *>(out.data()), &size,
                           reinterpret_cast<const Bytef *>(data.data()), static_cast<uLong>(data.size()), zl);
  if (rc != Z_OK) throw ENxError(nxeGeneral, "Flate compression failed (zlib " + std::to_string(rc) + ")");
  out.resize(size);
#endif
}

std::string Deflate(std::string_view data, TgtCompressionLevel level) {
  std::string out;
  DeflateInto(data, level, out);
  return out;
}

std::string Ref(int32_t objNo) {
  std::string s;
  AppendInt(s, objNo);
  s += " 0 R";
  return s;
}

TPdfObjectWriter::TPdfObjectWriter(TOutputFile *file, int32_t lastFixed) : file_(file), lastObjNo_(lastFixed) {
  buf_.swap(SpareBuffer());
  buf_.clear();
  buf_.reserve(kBufferReserve);
}

TPdfObjectWriter::~TPdfObjectWriter() {
  std::string &spare = SpareBuffer();
  if (buf_.capacity() > kBufferKeep || buf_.capacity() <= spare.capacity()) return;
  buf_.clear();
  spare.swap(buf_);
}

void TPdfObjectWriter::RecordOffset(int32_t objNo, uint64_t offset) {
  if (objNo <= 0) throw ENxError(nxeGeneral, "PDF object number " + std::to_string(objNo) + " is not valid");
  if (static_cast<size_t>(objNo) >= offsets_.size()) offsets_.resize(static_cast<size_t>(objNo) + 1, -1);
  if (offsets_[objNo] >= 0) throw ENxError(nxeGeneral, "PDF object " + std::to_string(objNo) + " written twice");
  offsets_[objNo] = static_cast<int64_t>(offset);
}

void TPdfObjectWriter::WriteObject(std::string_view text, int32_t objNo, bool withEndObj) {
  RecordOffset(objNo, Size());
  AppendInt(buf_, objNo);
  buf_ += " 0 obj\r\n";
  if (text.find("\r\n") != std::string_view::npos) {
    buf_ += "<<\r\n";
    buf_ += text;
    buf_ += ">>";
  } else {
    buf_ += text;
  }
  buf_ += "\r\n";
  if (withEndObj) buf_ += "endobj\r\n";
  if (buf_.size() >= kFlushAt) Flush();
}

void TPdfObjectWriter::WriteObjectW(const WString &text, int32_t objNo, bool withEndObj) {
  WriteObject(WideToAnsi(text), objNo, withEndObj);
}

void TPdfObjectWriter::WriteStreamData(std::string_view data) {
  buf_ += "stream\r\n";
  buf_ += data;
  buf_ += "\r\nendstream\r\nendobj\r\n";
  if (buf_.size() >= kFlushAt) Flush();
}

void TPdfObjectWriter::WriteRaw(std::string_view bytes) {
  buf_ += bytes;
  if (buf_.size() >= kFlushAt) Flush();
}

void TPdfObjectWriter::Flush() {
  if (!file_ || buf_.empty()) return;
  file_->Write(buf_);
  flushed_ += buf_.size();
  buf_.clear();
}

void TPdfObjectWriter::WriteXRefAndTrailer(std::string_view trailerEntries) {
  const uint64_t xref = Size();
  const int32_t count = lastObjNo_ + 1;
  std::string s = "xref\r\n0 ";
  AppendInt(s, count);
  s += "\r\n0000000000 65535 f\r\n";
  char entry[32];
  for (int32_t i = 1; i < count; ++i) {
    const int64_t off = static_cast<size_t>(i) < offsets_.size() ? offsets_[i] : -1;
    if (off < 0)
      s += "0000000000 65535 f\r\n";
    else {
      std::snprintf(entry, sizeof entry, "%.10lld %.5d n\r\n", static_cast<long long>(off), 0);
      s += entry;
    }
  }
  s += "trailer\r\n<<\r\n";
  s += trailerEntries;
  s += "\r\n>>\r\nstartxref\r\n";
  AppendInt(s, static_cast<int64_t>(xref));
  s += "\r\n%%EOF";
  WriteRaw(s);
}

}  // namespace nx::pdf
