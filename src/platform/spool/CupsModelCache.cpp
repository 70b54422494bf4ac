// The models of CUPS queues, kept between calls. Reading a queue's model
// takes the destination, its whole attribute set and a media lookup per
// paper; a document asks for it several times (the printer list's device
// modes, OpenPrinterW, CreateDCW). A kept model is used again only while
// one small Get-Printer-Attributes request shows the queue unchanged:
//
// - printer-config-change-time moves on every change the scheduler makes to
//   the queue (lpadmin options and defaults, a new PPD, the queue deleted and
//   added again);
// - it counts whole seconds, so a change in the second of the check that
//   read the model could go unseen. A model is therefore kept only when the
//   queue's last change lies in an earlier second than the check before its
//   reading (printer-up-time, the server's clock);
// - the options of lpoptions files (the user's and the server root's) go
//   into the model through the destination; those files are compared by
//   identity, size and times.
//
// A queue that the check cannot find (a class, an instance, a server that
// does not answer the request) is read in full every time, as before.
#include <sys/stat.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>

#include "platform/spool/CupsConnection.h"
#include "platform/spool/CupsModelCache.h"

namespace nx::spool {
namespace {

struct FileSig {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{}, ctime{};
  bool operator==(const FileSig &o) const {
    return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size &&
           mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec &&
           ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
  }
};

FileSig Sig(const std::string &path) {
  FileSig s;
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return s;
  s = {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
  return s;
}

std::string EnvOr(const char *name, const char *fallback) {
  const char *v = std::getenv(name);
  return v && *v ? v : fallback;
}

// The lpoptions files whose options the destination carries.
struct OptionFiles {
  FileSig server, user;
  bool operator==(const OptionFiles &o) const { return server == o.server && user == o.user; }
};

OptionFiles ReadOptionFiles() {
  const char *home = std::getenv("HOME");
  return {Sig(EnvOr("CUPS_SERVERROOT", "/etc/cups") + "/lpoptions"),
          Sig(home && *home ? std::string(home) + "/.cups/lpoptions" : std::string())};
}

struct Entry {
  PrinterModel model;
  int configTime = 0;
  OptionFiles options;
};

struct Cache {
  std::mutex lock;
  std::map<std::string, Entry> entries;  // server, port and queue name
  unsigned long reads = 0;
};

Cache &TheCache() {
  static Cache c;
  return c;
}

std::string KeyOf(const std::string &queue) {
  return std::string(cupsServer()) + '\n' + std::to_string(ippPort()) + '\n' + queue;
}

struct Stamp {
  int configTime = 0;
  int upTime = 0;
};

// The queue's change time and the server's clock, from one small request.
std::optional<Stamp> QueryStamp(CupsConnection &c, const std::string &queue) {
  char uri[HTTP_MAX_URI];
  if (httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                       "/printers/%s", queue.c_str()) != HTTP_URI_STATUS_OK)
    return std::nullopt;
  ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  static const char *const wanted[] = {"printer-config-change-time", "printer-up-time"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr,
                wanted);
  ipp_t *response = cupsDoRequest(c.http(), request, "/");
  std::optional<Stamp> stamp;
  if (response && ippGetStatusCode(response) <= IPP_STATUS_OK_EVENTS_COMPLETE) {
    ipp_attribute_t *config = ippFindAttribute(response, "printer-config-change-time", IPP_TAG_INTEGER);
    ipp_attribute_t *up = ippFindAttribute(response, "printer-up-time", IPP_TAG_INTEGER);
    if (config && up) stamp = Stamp{ippGetInteger(config, 0), ippGetInteger(up, 0)};
  }
  ippDelete(response);
  return stamp;
}

}  // namespace

std::unique_ptr<PrinterModel> CachedCupsModel(
    CupsConnection &c, const std::string &queue,
    const std::function<std::unique_ptr<PrinterModel>()> &read) {
  const std::string key = KeyOf(queue);
  const std::optional<Stamp> stamp = QueryStamp(c, queue);
  const OptionFiles options = ReadOptionFiles();
  Cache &cache = TheCache();
  {
    std::lock_guard<std::mutex> g(cache.lock);
    auto it = cache.entries.find(key);
    if (it != cache.entries.end()) {
      if (stamp && stamp->configTime == it->second.configTime && options == it->second.options)
        return std::make_unique<PrinterModel>(it->second.model);
      cache.entries.erase(it);
    }
    ++cache.reads;
  }
  std::unique_ptr<PrinterModel> model = read();
  // Kept only when a later change cannot share the stamp's second, and the
  // option files did not change while the model was read.
  if (model && stamp && stamp->configTime < stamp->upTime && options == ReadOptionFiles()) {
    std::lock_guard<std::mutex> g(cache.lock);
    cache.entries[key] = Entry{*model, stamp->configTime, options};
  }
  return model;
}

unsigned long CupsModelReads() {
  Cache &cache = TheCache();
  std::lock_guard<std::mutex> g(cache.lock);
  return cache.reads;
}

}  // namespace nx::spool
