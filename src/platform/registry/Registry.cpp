// The registry: HKEY_CURRENT_USER as a text file of keys and values,
//   [Software\Vendor\Product]
//   "Left"=dword:00000064
//   "Title"="text with \" and \\ escaped"
// read afresh for every call and rewritten whole (under a lock, through a
// temporary file and a rename) for every change.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/kernel/ConfigFile.h"
#include "platform/kernel/Wide.h"
#include "platform/win32.h"

namespace {

struct Value {
  std::string name;  // as first written
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct Key {
  std::string path;                      // as first created
  std::map<std::string, Value> values;   // by lower-case name
};

using Hive = std::map<std::string, Key>;  // by lower-case path

std::string Lower(std::string s) {
  for (char &c : s)
    if (c >= 'A' && c <= 'Z') c = (char)(c + 32);
  return s;
}

std::string HivePath() {
  const char *x = std::getenv("XDG_CONFIG_HOME");
  std::string dir = x && *x == '/' ? x : std::string(std::getenv("HOME") ? std::getenv("HOME") : "") + "/.config";
  return dir + "/noxtrel/registry";
}

// "a\\b\\\\c\\" -> "a\\b\\c": empty parts dropped.
std::string NormalizePath(const std::string &p) {
  std::string out, part;
  std::istringstream in(p);
  while (std::getline(in, part, '\\')) {
    if (part.empty()) continue;
    if (!out.empty()) out += '\\';
    out += part;
  }
  return out;
}

std::string Escape(const std::string &s) {
  std::string o;
  for (char c : s) {
    if (c == '\\' || c == '"') o += '\\', o += c;
    else if (c == '\n') o += "\\n";
    else if (c == '\r') o += "\\r";
    else o += c;
  }
  return o;
}

// Reads a quoted string at s[*i] (the opening quote); false when malformed.
bool Unquote(const std::string &s, size_t *i, std::string *out) {
  if (*i >= s.size() || s[*i] != '"') return false;
  out->clear();
  for (size_t k = *i + 1; k < s.size(); ++k) {
    char c = s[k];
    if (c == '"') {
      *i = k + 1;
      return true;
    }
    if (c == '\\' && k + 1 < s.size()) {
      char n = s[++k];
      *out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
    } else {
      *out += c;
    }
  }
  return false;
}

std::vector<BYTE> StringData(const std::string &utf8) {
  std::u16string w = nx::wide::FromUtf8(utf8);
  w.push_back(0);
  const BYTE *b = reinterpret_cast<const BYTE *>(w.data());
  return std::vector<BYTE>(b, b + w.size() * sizeof(char16_t));
}

bool ParseValue(const std::string &text, Value *v) {
  if (text.rfind("dword:", 0) == 0) {
    char *end = nullptr;
    unsigned long d = std::strtoul(text.c_str() + 6, &end, 16);
    if (text.size() == 6 || *end) return false;
    DWORD dw = (DWORD)d;
    v->type = REG_DWORD;
    v->data.assign(reinterpret_cast<BYTE *>(&dw), reinterpret_cast<BYTE *>(&dw) + 4);
    return true;
  }
  if (!text.empty() && text[0] == '"') {
    size_t i = 0;
    std::string s;
    if (!Unquote(text, &i, &s) || i != text.size()) return false;
    v->type = REG_SZ;
    v->data = StringData(s);
    return true;
  }
  unsigned type = 0;
  int used = 0;
  if (std::sscanf(text.c_str(), "hex(%x):%n", &type, &used) == 1 && used > 0) {
    v->type = type;
    std::istringstream in(text.substr((size_t)used));
    std::string byte;
    while (std::getline(in, byte, ','))
      if (!byte.empty()) v->data.push_back((BYTE)std::strtoul(byte.c_str(), nullptr, 16));
    return true;
  }
  return false;
}

std::string FormatValue(const Value &v) {
  char buf[16];
  if (v.type == REG_DWORD && v.data.size() == 4) {
    DWORD d;
    std::memcpy(&d, v.data.data(), 4);
    std::snprintf(buf, sizeof buf, "dword:%08x", d);
    return buf;
  }
  if (v.type == REG_SZ && v.data.size() % 2 == 0) {
    std::u16string w(v.data.size() / 2, u'\0');
    std::memcpy(w.data(), v.data.data(), v.data.size());
    return "\"" + Escape(nx::wide::ToUtf8(w.substr(0, w.find(u'\0')))) + "\"";
  }
  std::snprintf(buf, sizeof buf, "hex(%x):", (unsigned)v.type);
  std::string o = buf;
  for (size_t i = 0; i < v.data.size(); ++i) {
    std::snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", v.data[i]);
    o += buf;
  }
  return o;
}

// The file's text; false when it is there but cannot be read whole.
// A FIFO, a device or a file beyond 1 MB there counts as unreadable.
bool ReadHiveFile(std::string *text) {
  const DWORD read = nx::ReadConfigFile(HivePath(), text);
  return read == ERROR_SUCCESS || read == ERROR_FILE_NOT_FOUND;
}

// The hive; *readable is false when the file is there but cannot be read,
// so that a rewrite would lose what it holds.
Hive Load(bool *readable = nullptr) {
  Hive h;
  std::string text;
  bool ok = ReadHiveFile(&text);
  if (readable) *readable = ok;
  std::istringstream in(text);
  std::string line;
  Key *cur = nullptr;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      std::string path = NormalizePath(line.substr(1, line.size() - 2));
      cur = &h[Lower(path)];
      if (cur->path.empty()) cur->path = path;
      continue;
    }
    if (!cur) continue;
    size_t i = 0;
    std::string name;
    if (line[0] == '@') {
      i = 1;
    } else if (!Unquote(line, &i, &name)) {
      continue;
    }
    Value v;
    v.name = name;
    if (i < line.size() && line[i] == '=' && ParseValue(line.substr(i + 1), &v))
      cur->values[Lower(name)] = std::move(v);
  }
  return h;
}

LSTATUS ErrnoStatus(int e) {
  return (e == EACCES || e == EPERM || e == EROFS) ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT;
}

LSTATUS Save(const Hive &h) {
  std::string path = HivePath();
  std::string text = "; HKEY_CURRENT_USER\n";
  for (const auto &[_, key] : h) {
    text += "[" + key.path + "]\n";
    for (const auto &[__, v] : key.values)
      text += (v.name.empty() ? "@" : "\"" + Escape(v.name) + "\"") + "=" + FormatValue(v) + "\n";
  }
  std::string tmpl = path + ".tmp-XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) return ErrnoStatus(errno);
  bool ok = ::write(fd, text.data(), text.size()) == (ssize_t)text.size() && ::fsync(fd) == 0;
  int err = errno;
  ok = ::close(fd) == 0 && ok;
  if (ok && ::rename(name.data(), path.c_str()) == 0) return ERROR_SUCCESS;
  err = errno ? errno : err;
  ::unlink(name.data());
  return ErrnoStatus(err);
}

// Runs change() on the hive under an exclusive lock (other processes
// included) and writes the result.
template <class F>
LSTATUS Modify(F &&change) {
  std::string path = HivePath();
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  if (ec) return ErrnoStatus(ec.value());
  int lock = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock < 0) return ErrnoStatus(errno);
  while (::flock(lock, LOCK_EX) != 0 && errno == EINTR) {
  }
  bool readable = false;
  Hive h = Load(&readable);
  LSTATUS st = readable ? change(h) : (LSTATUS)ERROR_ACCESS_DENIED;
  if (st == ERROR_SUCCESS) st = Save(h);
  ::close(lock);
  return st;
}

// ---------------------------------------------------------------------------
// Key handles.

struct OpenKey {
  std::string path;
  REGSAM access;
};

std::mutex g_lock;
std::map<uintptr_t, OpenKey> &Handles() {
  static auto *m = new std::map<uintptr_t, OpenKey>;
  return *m;
}
uintptr_t g_next = 0x1000;

// The full path of hKey plus subKey; false for a handle that is not open.
bool Resolve(HKEY hKey, LPCWSTR subKey, std::string *path, REGSAM *access) {
  std::string base;
  *access = KEY_ALL_ACCESS;
  if (hKey != HKEY_CURRENT_USER) {
    std::lock_guard<std::mutex> g(g_lock);
    auto it = Handles().find(reinterpret_cast<uintptr_t>(hKey));
    if (it == Handles().end()) return false;
    base = it->second.path;
    *access = it->second.access;
  }
  std::string sub = subKey ? nx::wide::ToUtf8(subKey) : std::string();
  *path = NormalizePath(base + "\\" + sub);
  return true;
}

HKEY NewHandle(const std::string &path, REGSAM access) {
  std::lock_guard<std::mutex> g(g_lock);
  uintptr_t id = g_next;
  g_next += 8;
  Handles()[id] = {path, access};
  return reinterpret_cast<HKEY>(id);
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  std::string path;
  REGSAM parentAccess;
  if (!Resolve(hKey, lpSubKey, &path, &parentAccess)) return ERROR_INVALID_HANDLE;
  if (!path.empty()) {
    Hive h = Load();
    if (!h.count(Lower(path))) return ERROR_FILE_NOT_FOUND;
  }
  *phkResult = NewHandle(path, samDesired);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                               DWORD dwOptions, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  std::string path;
  REGSAM parentAccess;
  if (!Resolve(hKey, lpSubKey, &path, &parentAccess)) return ERROR_INVALID_HANDLE;
  if (path.find_first_of("\n\r[]") != std::string::npos) return ERROR_INVALID_PARAMETER;
  bool created = false;
  if (!path.empty()) {
    LSTATUS st = Modify([&](Hive &h) {
      // Every key on the way exists afterwards.
      std::string prefix;
      std::istringstream in(path);
      std::string part;
      while (std::getline(in, part, '\\')) {
        prefix += (prefix.empty() ? "" : "\\") + part;
        Key &k = h[Lower(prefix)];
        if (k.path.empty()) {
          k.path = prefix;
          created = true;
        }
      }
      return (LSTATUS)ERROR_SUCCESS;
    });
    if (st != ERROR_SUCCESS) return st;
  }
  if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *phkResult = NewHandle(path, samDesired);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
  std::string path;
  REGSAM access;
  if (!Resolve(hKey, nullptr, &path, &access)) return ERROR_INVALID_HANDLE;
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  if (!(access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  Hive h = Load();
  auto k = h.find(Lower(path));
  if (k == h.end()) return ERROR_FILE_NOT_FOUND;
  auto v = k->second.values.find(Lower(nx::wide::ToUtf8(lpValueName)));
  if (v == k->second.values.end()) return ERROR_FILE_NOT_FOUND;
  if (lpType) *lpType = v->second.type;
  DWORD size = (DWORD)v->second.data.size();
  if (!lpcbData) return ERROR_SUCCESS;
  if (lpData && *lpcbData < size) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  if (lpData) std::memcpy(lpData, v->second.data.data(), size);
  *lpcbData = size;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE *lpData, DWORD cbData) {
  std::string path;
  REGSAM access;
  if (!Resolve(hKey, nullptr, &path, &access)) return ERROR_INVALID_HANDLE;
  if (!(access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
  Value v;
  v.name = nx::wide::ToUtf8(lpValueName);
  v.type = dwType;
  if (v.name.find_first_of("\n\r") != std::string::npos) return ERROR_INVALID_PARAMETER;
  if (dwType == REG_DWORD) {
    if (cbData != 4) return ERROR_INVALID_PARAMETER;
    v.data.assign(lpData, lpData + 4);
  } else if (dwType == REG_SZ) {
    std::u16string w(cbData / 2, u'\0');
    if (cbData >= 2) std::memcpy(w.data(), lpData, (cbData / 2) * 2);
    v.data = StringData(nx::wide::ToUtf8(w.substr(0, w.find(u'\0'))));
  } else {
    if (cbData) v.data.assign(lpData, lpData + cbData);
  }
  return Modify([&](Hive &h) {
    Key &k = h[Lower(path)];
    if (k.path.empty()) k.path = path;
    k.values[Lower(v.name)] = v;
    return (LSTATUS)ERROR_SUCCESS;
  });
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  std::string path;
  REGSAM access;
  if (!Resolve(hKey, nullptr, &path, &access)) return ERROR_INVALID_HANDLE;
  if (!(access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  bool found = false;
  LSTATUS st = Modify([&](Hive &h) {
    auto k = h.find(Lower(path));
    found = k != h.end() && k->second.values.erase(Lower(nx::wide::ToUtf8(lpValueName))) > 0;
    return (LSTATUS)(found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
  });
  return st;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  if (hKey == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  std::lock_guard<std::mutex> g(g_lock);
  return Handles().erase(reinterpret_cast<uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
