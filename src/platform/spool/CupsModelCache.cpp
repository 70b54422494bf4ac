// The models of CUPS queues and their list, kept between calls. Reading a queue's model
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
//
// The list of destinations is kept the same way: one CUPS-Get-Printers
// request for each queue's name, type (the server's default is a bit of it)
// and change time stands in for the full list while all are the same, all
// changes lie in earlier seconds, and neither LPDEST, PRINTER nor the
// lpoptions files changed.
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>
#include <vector>

#include "platform/spool/CupsConnection.h"
#include "platform/spool/CupsModelCache.h"
#include "platform/spool/FileStamp.h"

namespace nx::spool {
namespace {

std::string EnvOr(const char *name, const char *fallback) {
  const char *v = std::getenv(name);
  return v && *v ? v : fallback;
}

// The lpoptions files whose options the destination carries.
struct OptionFiles {
  FileStamp server, user;
  bool operator==(const OptionFiles &o) const { return server == o.server && user == o.user; }
};

OptionFiles ReadOptionFiles() {
  const char *home = std::getenv("HOME");
  return {StampOf(EnvOr("CUPS_SERVERROOT", "/etc/cups") + "/lpoptions"),
          StampOf(home && *home ? std::string(home) + "/.cups/lpoptions" : std::string())};
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

namespace {

// Each queue's name, type (it carries the server's default) and change time,
// in the server's order; `settled` when every change lies in an earlier
// second than the answer.
struct ListStamp {
  std::vector<std::tuple<std::string, int, int>> queues;
  bool settled = true;
  bool operator==(const ListStamp &o) const { return queues == o.queues; }
};

std::optional<ListStamp> QueryListStamp(CupsConnection &c) {
  ipp_t *request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
  static const char *const wanted[] = {"printer-name", "printer-type", "printer-config-change-time",
                                       "printer-up-time"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 4, nullptr, wanted);
  ipp_t *response = cupsDoRequest(c.http(), request, "/");
  if (!response || ippGetStatusCode(response) > IPP_STATUS_OK_EVENTS_COMPLETE) {
    ippDelete(response);
    return std::nullopt;
  }
  ListStamp stamp;
  std::string name;
  int type = 0, config = 0, up = 0;
  auto endGroup = [&] {
    if (!name.empty()) {
      stamp.queues.emplace_back(name, type, config);
      stamp.settled = stamp.settled && config < up;
    }
    name.clear();
    type = config = up = 0;
  };
  for (ipp_attribute_t *a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
    const char *n = ippGetName(a);
    if (!n) {
      endGroup();
    } else if (ippGetGroupTag(a) == IPP_TAG_PRINTER) {
      const std::string attr = n;
      if (attr == "printer-name") name = ippGetString(a, 0, nullptr);
      else if (attr == "printer-type") type = ippGetInteger(a, 0);
      else if (attr == "printer-config-change-time") config = ippGetInteger(a, 0);
      else if (attr == "printer-up-time") up = ippGetInteger(a, 0);
    }
  }
  endGroup();
  ippDelete(response);
  return stamp;
}

// What else decides the destinations' list and its default: the
// environment's default destination and the lpoptions files.
struct ListContext {
  std::string lpdest, printer;
  OptionFiles options;
  bool operator==(const ListContext &o) const {
    return lpdest == o.lpdest && printer == o.printer && options == o.options;
  }
};

ListContext ReadListContext() { return {EnvOr("LPDEST", ""), EnvOr("PRINTER", ""), ReadOptionFiles()}; }

struct ListEntry {
  ListStamp stamp;
  ListContext context;
  std::vector<PrinterEntry> list;
};

struct ListCache {
  std::mutex lock;
  std::map<std::string, ListEntry> entries;  // server and port
  unsigned long reads = 0;
};

ListCache &TheListCache() {
  static ListCache c;
  return c;
}

}  // namespace

std::vector<PrinterEntry> CachedCupsList(CupsConnection &c,
                                         const std::function<std::vector<PrinterEntry>()> &read) {
  const std::string key = KeyOf("");
  const std::optional<ListStamp> stamp = QueryListStamp(c);
  const ListContext context = ReadListContext();
  ListCache &cache = TheListCache();
  {
    std::lock_guard<std::mutex> g(cache.lock);
    auto it = cache.entries.find(key);
    if (it != cache.entries.end()) {
      if (stamp && stamp->queues == it->second.stamp.queues && context == it->second.context)
        return it->second.list;
      cache.entries.erase(it);
    }
    ++cache.reads;
  }
  std::vector<PrinterEntry> list = read();
  if (stamp && stamp->settled && context == ReadListContext()) {
    std::lock_guard<std::mutex> g(cache.lock);
    cache.entries[key] = ListEntry{*stamp, context, list};
  }
  return list;
}

unsigned long CupsListReads() {
  ListCache &cache = TheListCache();
  std::lock_guard<std::mutex> g(cache.lock);
  return cache.reads;
}

unsigned long CupsModelReads() {
  Cache &cache = TheCache();
  std::lock_guard<std::mutex> g(cache.lock);
  return cache.reads;
}

}  // namespace nx::spool
