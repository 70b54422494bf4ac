#include "platform/spool/JobSink.h"

#include <cups/cups.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/spool/CupsConnection.h"
#include "platform/kernel/Wide.h"

namespace nx::spool {
namespace {

DWORD ErrnoToWin32(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    default:
      return ERROR_WRITE_FAULT;
  }
}

bool Fail(int e) {
  SetLastError(ErrnoToWin32(e));
  return false;
}

bool WriteAll(int fd, const void *data, size_t size) {
  const char *p = static_cast<const char *>(data);
  while (size > 0) {
    ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail(n < 0 ? errno : ENOSPC);
    p += n;
    size -= (size_t)n;
  }
  return true;
}

// A job that lost bytes is never handed over: the first failed write is
// kept and refuses the commit (a full disk must not publish half a job).
class WriteFailure {
 public:
  bool Note(bool ok) {
    if (!ok && error_ == 0) error_ = ::GetLastError();
    return ok;
  }
  // False (with the write's error) when a write failed.
  bool Clean() const {
    if (error_ == 0) return true;
    SetLastError(error_);
    return false;
  }

 private:
  DWORD error_ = 0;
};

// ---------------------------------------------------------------------------
// A job that becomes a file: written to a ".part" file beside its final name
// and renamed into place when it is committed.
class FileSink : public JobSink {
 public:
  ~FileSink() override { Abort(); }
  bool Write(const void *data, size_t size) override {
    if (fd_ < 0) return Fail(EBADF);
    return failure_.Note(WriteAll(fd_, data, size));
  }
  bool Commit() override {
    if (fd_ < 0) return Fail(EBADF);
    if (!failure_.Clean()) {
      Abort();
      return failure_.Clean();
    }
    bool ok = ::fsync(fd_) == 0 || errno == EINVAL;
    int err = errno;
    ok = (::close(fd_) == 0) && ok;
    fd_ = -1;
    if (!ok) {
      ::unlink(part_.c_str());
      return Fail(err ? err : EIO);
    }
    if (!Publish()) {
      err = errno;
      ::unlink(part_.c_str());
      return Fail(err);
    }
    part_.clear();
    return true;
  }
  void Abort() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!part_.empty()) ::unlink(part_.c_str());
    part_.clear();
  }
  DWORD JobId() const override { return id_; }
  std::string Path() const override { return final_; }

 protected:
  virtual bool Publish() { return ::rename(part_.c_str(), final_.c_str()) == 0; }
  int fd_ = -1;
  DWORD id_ = 1;
  std::string part_, final_;
  WriteFailure failure_;
};

// A file the caller named (print to file): it replaces an existing file.
class OutputFileSink : public FileSink {
 public:
  bool Open(const std::string &path) {
    final_ = path;
    std::string tmpl = path + ".part-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    fd_ = ::mkstemp(buf.data());
    if (fd_ < 0) return Fail(errno);
    part_ = buf.data();
    // mkstemp's file is private; the job keeps the mode of the file it
    // replaces, or gets the one a new document has.
    struct stat st;
    ::fchmod(fd_, ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    return true;
  }
};

// A job of a virtual printer: "job-N.prn" or "job-N.pdf" in its folder, N
// one more than the highest job number there.
class FolderSink : public FileSink {
 public:
  bool Open(const std::string &folder, const char *ext) {
    folder_ = folder;
    ext_ = ext;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return Fail(ec.value());
    if (::access(folder.c_str(), W_OK) != 0) return Fail(errno);
    for (int tries = 0; tries < 1000; ++tries) {
      id_ = NextNumber();
      part_ = Name(id_) + ".part";
      fd_ = ::open(part_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      if (fd_ >= 0) break;
      if (errno != EEXIST) {
        part_.clear();
        return Fail(errno);
      }
    }
    if (fd_ < 0) {
      part_.clear();
      return Fail(EEXIST);
    }
    final_ = Name(id_);
    return true;
  }

 protected:
  // Never replaces a job that is already there.
  bool Publish() override {
    for (int tries = 0; tries < 1000; ++tries) {
      if (::link(part_.c_str(), final_.c_str()) == 0) {
        ::unlink(part_.c_str());
        return true;
      }
      if (errno != EEXIST) return false;
      id_ = NextNumber();
      final_ = Name(id_);
    }
    return false;
  }

 private:
  std::string Name(DWORD n) const { return folder_ + "/job-" + std::to_string(n) + ext_; }
  DWORD NextNumber() const {
    DWORD best = 0;
    if (DIR *d = ::opendir(folder_.c_str())) {
      while (dirent *e = ::readdir(d)) {
        unsigned long n = 0;
        if (std::sscanf(e->d_name, "job-%lu.", &n) == 1 && n > best && n < 0xFFFFFFF0ul)
          best = (DWORD)n;
      }
      ::closedir(d);
    }
    return best + 1;
  }
  std::string folder_, ext_;
};

// ---------------------------------------------------------------------------
// A CUPS job: created at once (so a queue that does not take jobs refuses
// the start), its bytes kept in a temporary file, and sent as the job's one
// document at Commit. The scheduler aborts a job whose document does not
// come within its MultipleOperationTimeout (15 minutes by default) and then
// still accepts the document without printing it; a job left waiting that
// long is therefore created anew before its document is sent.
class CupsSink : public JobSink {
 public:
  ~CupsSink() override {
    Abort();
    if (data_) std::fclose(data_);
  }
  bool Open(const PrinterModel &m, const JobTicket &t) {
    name_ = m.cupsName;
    title_ = t.title;
    format_ = t.raw ? CUPS_FORMAT_RAW : CUPS_FORMAT_PDF;
    options_ = JobOptions(t);
    CupsConnection c;
    CupsDest d(c, name_);
    if (!d.ok()) return DestinationFailed(c);
    data_ = std::tmpfile();
    if (!data_) return Fail(errno);
    return Create(c, d);
  }
  bool Write(const void *data, size_t size) override {
    if (!data_ || id_ == 0) return Fail(EBADF);
    if (std::fwrite(data, 1, size, data_) != size) return failure_.Note(Fail(errno ? errno : EIO));
    return true;
  }
  bool Commit() override {
    if (!data_ || id_ == 0) return Fail(EBADF);
    if (!failure_.Clean()) {
      Abort();
      return failure_.Clean();
    }
    if (std::fflush(data_) != 0) {
      int e = errno;
      Abort();
      return Fail(e);
    }
    CupsConnection c;
    CupsDest d(c, name_);
    if (!d.ok()) {
      Abort();
      return DestinationFailed(c);
    }
    int state = JobState(c);
    if (state == IPP_JSTATE_CANCELED || state == IPP_JSTATE_COMPLETED) {
      id_ = 0;  // someone cancelled it in the queue
      SetLastError(ERROR_PRINT_CANCELLED);
      return false;
    }
    if (state == 0 || state == IPP_JSTATE_ABORTED) {
      cupsCancelDestJob(c.http(), d.dest(), id_);  // when it only failed to answer
      if (!Create(c, d)) {
        id_ = 0;
        return false;
      }
    }
    if (!Send(c, d)) {
      cupsCancelDestJob(c.http(), d.dest(), id_);
      id_ = 0;
      CupsDest again(c, name_);
      SetLastError(again.ok() ? ERROR_PRINT_CANCELLED : ERROR_PRINTER_DELETED);
      return false;
    }
    committed_ = true;
    return true;
  }
  void Abort() override {
    if (id_ == 0 || committed_) return;
    CupsConnection c;
    CupsDest d(c, name_);
    if (d.ok()) cupsCancelDestJob(c.http(), d.dest(), id_);
    id_ = 0;
  }
  DWORD JobId() const override { return (DWORD)id_; }

 private:
  static bool DestinationFailed(const CupsConnection &c) {
    SetLastError(c.ok() ? ERROR_PRINTER_DELETED : ERROR_CAN_NOT_COMPLETE);
    return false;
  }
  // Create-Job with the ticket's options; id_ is the new job.
  bool Create(CupsConnection &c, CupsDest &d) {
    cups_option_t *opts = nullptr;
    int n = 0;
    for (const auto &[k, v] : options_) n = cupsAddOption(k.c_str(), v.c_str(), n, &opts);
    int id = 0;
    ipp_status_t st = cupsCreateDestJob(c.http(), d.dest(), d.info(), &id,
                                        title_.empty() ? nullptr : title_.c_str(), n, opts);
    cupsFreeOptions(n, opts);
    if (st >= IPP_STATUS_REDIRECTION_OTHER_SITE || id <= 0) {
      SetLastError(st == IPP_STATUS_ERROR_NOT_FOUND ? ERROR_PRINTER_DELETED
                                                    : ERROR_CAN_NOT_COMPLETE);
      return false;
    }
    id_ = id;
    return true;
  }
  // The job's state (IPP_JSTATE_ABORTED when the scheduler gave up waiting
  // for its document), 0 when the scheduler does not say.
  int JobState(CupsConnection &c) {
    ipp_t *req = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    std::string uri = "ipp://localhost/jobs/" + std::to_string(id_);
    ippAddString(req, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
    ippAddString(req, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    ippAddString(req, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "job-state");
    ipp_t *resp = cupsDoRequest(c.http(), req, "/");
    ipp_attribute_t *a = ippFindAttribute(resp, "job-state", IPP_TAG_ENUM);
    int state = a ? ippGetInteger(a, 0) : 0;
    ippDelete(resp);
    return state;
  }
  bool Send(CupsConnection &c, CupsDest &d) {
    const char *doc = title_.empty() ? nullptr : title_.c_str();
    if (cupsStartDestDocument(c.http(), d.dest(), d.info(), id_, doc, format_.c_str(), 0, nullptr,
                              1) != HTTP_STATUS_CONTINUE)
      return false;
    std::rewind(data_);
    char buf[65536];
    bool ok = true;
    size_t n;
    while (ok && (n = std::fread(buf, 1, sizeof buf, data_)) > 0)
      ok = cupsWriteRequestData(c.http(), buf, n) == HTTP_STATUS_CONTINUE;
    ok = !std::ferror(data_) && ok;
    ipp_status_t st = cupsFinishDestDocument(c.http(), d.dest(), d.info());
    return ok && st < IPP_STATUS_REDIRECTION_OTHER_SITE;
  }

  std::string name_, title_, format_;
  std::vector<std::pair<std::string, std::string>> options_;
  std::FILE *data_ = nullptr;
  int id_ = 0;
  bool committed_ = false;
  WriteFailure failure_;
};

const char *Sides(int duplex) {
  switch (duplex) {
    case DMDUP_VERTICAL:
      return "two-sided-long-edge";
    case DMDUP_HORIZONTAL:
      return "two-sided-short-edge";
    default:
      return "one-sided";
  }
}

}  // namespace

std::vector<std::pair<std::string, std::string>> JobOptions(const JobTicket &t) {
  std::vector<std::pair<std::string, std::string>> o;
  if (t.raw) return o;  // raw bytes go to the printer as they are
  if (t.copies > 1) o.emplace_back("copies", std::to_string(t.copies));
  if (!t.media.empty()) o.emplace_back("media", t.media);
  if (!t.mediaSource.empty()) o.emplace_back("media-source", t.mediaSource);
  if (t.duplex) o.emplace_back("sides", Sides(t.duplex));
  o.emplace_back("orientation-requested", t.landscape ? "4" : "3");
  return o;
}

std::string OutputFileFor(const PrinterModel &m, const WCHAR *output) {
  std::u16string out = wide::FromW(output);
  return out.empty() || out == m.port ? std::string() : wide::FilePath(output);
}

std::unique_ptr<JobSink> StartJob(const PrinterModel &m, const JobTicket &t,
                                  const std::string &outputFile) {
  if (!outputFile.empty()) {
    auto s = std::make_unique<OutputFileSink>();
    if (!s->Open(outputFile)) return nullptr;
    return s;
  }
  if (m.kind == PrinterKind::Cups) {
    auto s = std::make_unique<CupsSink>();
    if (!s->Open(m, t)) return nullptr;
    return s;
  }
  auto s = std::make_unique<FolderSink>();
  if (!s->Open(m.folder, t.raw ? ".prn" : ".pdf")) return nullptr;
  return s;
}

}  // namespace nx::spool
