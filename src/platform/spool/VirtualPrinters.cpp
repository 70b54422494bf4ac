// Virtual printers: the printer configuration file, or the one built-in
// printer when there is no file. Jobs of a virtual printer are files in its
// output folder.
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>

#include "platform/spool/FileStamp.h"
#include "platform/spool/Papers.h"
#include "platform/spool/PrinterModel.h"
#include "platform/kernel/ConfigFile.h"
#include "platform/kernel/Wide.h"

namespace nx::spool {
namespace {

std::string Env(const char *name) {
  const char *v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string XdgDir(const char *var, const char *fallback) {
  std::string d = Env(var);
  if (!d.empty() && d[0] == '/') return d;
  return Env("HOME") + fallback;
}

std::string ConfigPath() {
  std::string p = Env("NOXTREL_PRINTERS");
  if (!p.empty()) return p;
  return XdgDir("XDG_CONFIG_HOME", "/.config") + "/noxtrel/printers.ini";
}

std::string Trim(const std::string &s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return {};
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

std::string Lower(std::string s) {
  for (char &c : s)
    if (c >= 'A' && c <= 'Z') c = (char)(c + 32);
  return s;
}

std::vector<std::string> SplitComma(const std::string &s, size_t maxParts) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (parts.size() + 1 < maxParts) {
    size_t c = s.find(',', start);
    if (c == std::string::npos) break;
    parts.push_back(Trim(s.substr(start, c - start)));
    start = c + 1;
  }
  parts.push_back(Trim(s.substr(start)));
  return parts;
}

bool ParseInt(const std::string &s, int *out) {
  char *end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end || v < -100000 || v > 100000) return false;
  *out = (int)v;
  return true;
}

// "210x297mm" or "8.5x11in" -> tenths of a millimetre.
bool ParseSize(const std::string &s, int *w, int *h) {
  std::string t = Lower(s);
  double scale = 0;
  if (t.size() > 2 && t.compare(t.size() - 2, 2, "mm") == 0) scale = 10;
  if (t.size() > 2 && t.compare(t.size() - 2, 2, "in") == 0) scale = 254;
  if (scale == 0) return false;
  t.resize(t.size() - 2);
  size_t x = t.find('x');
  if (x == std::string::npos) return false;
  char *e1 = nullptr, *e2 = nullptr;
  std::string a = Trim(t.substr(0, x)), b = Trim(t.substr(x + 1));
  double dw = std::strtod(a.c_str(), &e1), dh = std::strtod(b.c_str(), &e2);
  if (a.empty() || b.empty() || *e1 || *e2 || dw <= 0 || dh <= 0 || dw * scale > 32767 ||
      dh * scale > 32767)
    return false;
  *w = (int)(dw * scale + 0.5);
  *h = (int)(dh * scale + 0.5);
  return true;
}

bool ParseBool(const std::string &s) {
  std::string t = Lower(s);
  return t == "yes" || t == "true" || t == "on" || t == "1";
}

void SetMargins(PrinterModel &m, const int lrtb[4]) {
  for (Paper &p : m.papers) {
    p.left = lrtb[0];
    p.top = lrtb[1];
    p.right = lrtb[2];
    p.bottom = lrtb[3];
  }
}

Paper TablePaper(const PaperDef &d) {
  Paper p;
  p.number = d.number;
  p.name = wide::FromUtf8(d.name);
  p.width = d.width;
  p.length = d.length;
  p.pwg = d.pwg;
  return p;
}

PrinterModel BuiltIn() {
  PrinterModel m;
  m.kind = PrinterKind::Virtual;
  m.name = u"Noxtrel Virtual Printer";
  m.driver = u"Noxtrel Virtual Printer";
  m.folder = DefaultSpoolFolder();
  m.dpiX = m.dpiY = 600;
  for (int n : {DMPAPER_A4, DMPAPER_LETTER, DMPAPER_LEGAL, DMPAPER_A3, DMPAPER_A5, DMPAPER_ENV_10})
    m.papers.push_back(TablePaper(*PaperByNumber(n)));
  m.bins = {{DMBIN_UPPER, u"Upper Tray", "top"}, {DMBIN_LOWER, u"Lower Tray", "bottom"}};
  m.duplex = true;
  m.color = true;
  m.maxCopies = 999;
  m.defPaper = DMPAPER_A4;
  m.defBin = DMBIN_UPPER;
  const int margins[4] = {100, 100, 100, 100};
  SetMargins(m, margins);
  return m;
}

// One "Paper = number[, name[, size]]" line.
bool AddPaper(PrinterModel &m, const std::string &value) {
  std::vector<std::string> f = SplitComma(value, 3);
  Paper p;
  if (!ParseInt(f[0], &p.number) || p.number <= 0 || p.number > 32767 || m.FindPaper(p.number))
    return false;
  if (const PaperDef *d = PaperByNumber(p.number)) p = TablePaper(*d);
  if (f.size() > 1 && !f[1].empty()) p.name = wide::FromUtf8(f[1]);
  if (f.size() > 2 && !ParseSize(f[2], &p.width, &p.length)) return false;
  if (p.width <= 0 || p.name.empty()) return false;
  if (p.pwg.empty() || f.size() > 2) {
    const PaperDef *d = PaperByNumber(p.number);
    if (!d || d->width != p.width || d->length != p.length)
      p.pwg = CustomPwgName(p.width, p.length);
  }
  m.papers.push_back(p);
  return true;
}

bool AddBin(PrinterModel &m, const std::string &value) {
  std::vector<std::string> f = SplitComma(value, 2);
  Bin b;
  if (!ParseInt(f[0], &b.number) || b.number <= 0 || b.number > 32767 || m.FindBin(b.number))
    return false;
  const BinDef *d = BinByNumber(b.number);
  b.keyword = d ? d->pwg : "tray-" + std::to_string(b.number);
  b.name = wide::FromUtf8(f.size() > 1 && !f[1].empty() ? f[1] : (d ? d->name : b.keyword));
  m.bins.push_back(b);
  return true;
}

struct Section {
  PrinterModel model;
  bool papersGiven = false, binsGiven = false;
  int margins[4] = {100, 100, 100, 100};
};

void ApplyKey(Section &s, const std::string &key, const std::string &value,
              const std::string &configDir) {
  PrinterModel &m = s.model;
  int v = 0;
  if (key == "driver") {
    m.driver = wide::FromUtf8(value);
  } else if (key == "resolution") {
    size_t x = Lower(value).find('x');
    int a = 0, b = 0;
    bool ok = x == std::string::npos ? ParseInt(value, &a)
                                     : ParseInt(Trim(value.substr(0, x)), &a) &&
                                           ParseInt(Trim(value.substr(x + 1)), &b);
    if (x == std::string::npos) b = a;
    if (ok) {
      if (a >= 72 && a <= 4800 && b >= 72 && b <= 4800) m.dpiX = a, m.dpiY = b;
    }
  } else if (key == "paper") {
    if (!s.papersGiven) m.papers.clear();
    s.papersGiven = true;
    AddPaper(m, value);
  } else if (key == "bin") {
    if (!s.binsGiven) m.bins.clear();
    s.binsGiven = true;
    AddBin(m, value);
  } else if (key == "defaultpaper" && ParseInt(value, &v)) {
    m.defPaper = v;
  } else if (key == "defaultbin" && ParseInt(value, &v)) {
    m.defBin = v;
  } else if (key == "duplex") {
    m.duplex = ParseBool(value);
  } else if (key == "color") {
    m.color = ParseBool(value);
  } else if (key == "copies" && ParseInt(value, &v) && v >= 1) {
    m.maxCopies = std::min(v, 9999);
  } else if (key == "orientation") {
    m.defOrientation = Lower(value) == "landscape" ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
  } else if (key == "margins") {
    std::vector<std::string> f = SplitComma(value, 4);
    int vals[4];
    bool ok = f.size() == 1 || f.size() == 4;
    for (size_t i = 0; ok && i < f.size(); ++i) ok = ParseInt(f[i], &vals[i]) && vals[i] >= 0;
    if (ok)
      for (int i = 0; i < 4; ++i) s.margins[i] = vals[f.size() == 1 ? 0 : i];
  } else if (key == "output") {
    std::string dir = wide::FilePath(wide::FromUtf8(value).c_str());
    if (!dir.empty() && dir[0] == '~') dir = Env("HOME") + dir.substr(1);
    if (!dir.empty() && dir[0] != '/') dir = configDir + "/" + dir;
    if (!dir.empty()) m.folder = dir;
  }
}

void Finish(Section &s, std::vector<PrinterModel> &out) {
  PrinterModel &m = s.model;
  if (m.name.empty() || m.papers.empty()) return;
  for (const PrinterModel &o : out)
    if (wide::EqualsIgnoreCase(o.name, m.name)) return;  // the first section wins
  SetMargins(m, s.margins);
  if (!m.FindPaper(m.defPaper)) m.defPaper = m.papers.front().number;
  if (!m.FindBin(m.defBin)) m.defBin = m.bins.empty() ? 0 : m.bins.front().number;
  m.port = wide::FromUtf8(m.folder);
  out.push_back(std::move(m));
}

}  // namespace

std::string DefaultSpoolFolder() {
  std::string d = Env("NOXTREL_SPOOL");
  if (!d.empty()) return d;
  return XdgDir("XDG_DATA_HOME", "/.local/share") + "/noxtrel/spool";
}

namespace {

// The printers of the configuration file at `path`, or the built-in one when
// there is none; *refused as LoadVirtualPrinters gives it.
std::vector<PrinterModel> ReadVirtualPrinters(const std::string &path, DWORD *refused) {
  *refused = ERROR_SUCCESS;
  std::string text;
  const DWORD read = ReadConfigFile(path, &text);
  if (read == ERROR_FILE_NOT_FOUND) {
    PrinterModel m = BuiltIn();
    m.port = wide::FromUtf8(m.folder);
    return {m};
  }
  if (read != ERROR_SUCCESS) {
    *refused = read;
    return {};
  }
  std::istringstream in(text);
  std::string configDir = path.substr(0, path.find_last_of('/') == std::string::npos
                                             ? 0
                                             : path.find_last_of('/'));
  if (configDir.empty()) configDir = ".";
  std::vector<PrinterModel> out;
  std::unique_ptr<Section> cur;
  std::string line;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      if (cur) Finish(*cur, out);
      cur = std::make_unique<Section>();
      cur->model = BuiltIn();
      std::u16string name = wide::FromUtf8(Trim(line.substr(1, line.size() - 2)));
      cur->model.name = name.substr(0, 63);
      cur->model.driver = u"Noxtrel Virtual Printer";
      continue;
    }
    size_t eq = line.find('=');
    if (!cur || eq == std::string::npos) continue;
    ApplyKey(*cur, Lower(Trim(line.substr(0, eq))), Trim(line.substr(eq + 1)), configDir);
  }
  if (cur) Finish(*cur, out);
  return out;
}

// What the printers read from a configuration file depend on: the file's
// name, identity, size and times, and the folders the environment names.
struct ConfigSig {
  std::string path, spool, home;
  FileStamp file;
  bool operator==(const ConfigSig &o) const {
    return path == o.path && spool == o.spool && home == o.home && file == o.file;
  }
};

ConfigSig SigOf(const std::string &path) { return {path, DefaultSpoolFolder(), Env("HOME"), StampOf(path)}; }

// A file changed within the last seconds may change again without a new
// time stamp (file systems keep coarse times); its printers are not kept.
bool Settled(const FileStamp &f) {
  if (!f.exists) return true;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  constexpr time_t kSettleSeconds = 2;
  return f.mtime.tv_sec + kSettleSeconds < now.tv_sec && f.ctime.tv_sec + kSettleSeconds < now.tv_sec;
}

struct VirtualCache {
  std::mutex lock;
  std::optional<ConfigSig> sig;
  std::vector<PrinterModel> printers;
  unsigned long reads = 0;
};

VirtualCache &TheVirtualCache() {
  static VirtualCache c;
  return c;
}

}  // namespace

// The printers are read again only when the file or the environment changed
// (a relative configuration name, which depends on the working folder, is
// read every time).
std::vector<PrinterModel> LoadVirtualPrinters(DWORD *refused) {
  DWORD why = ERROR_SUCCESS;
  const std::string path = ConfigPath();
  const ConfigSig sig = SigOf(path);
  VirtualCache &cache = TheVirtualCache();
  {
    std::lock_guard<std::mutex> g(cache.lock);
    if (cache.sig && *cache.sig == sig) {
      if (refused) *refused = ERROR_SUCCESS;
      return cache.printers;
    }
    cache.sig.reset();
    ++cache.reads;
  }
  std::vector<PrinterModel> printers = ReadVirtualPrinters(path, &why);
  if (refused) *refused = why;
  if (why == ERROR_SUCCESS && !path.empty() && path[0] == '/' && Settled(sig.file) && SigOf(path) == sig) {
    std::lock_guard<std::mutex> g(cache.lock);
    cache.sig = sig;
    cache.printers = printers;
  }
  return printers;
}

unsigned long VirtualPrinterReads() {
  VirtualCache &cache = TheVirtualCache();
  std::lock_guard<std::mutex> g(cache.lock);
  return cache.reads;
}

}  // namespace nx::spool
