// HKEY_CURRENT_USER in its file under $XDG_CONFIG_HOME.
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "support/SpoolEnv.h"

namespace nxtest {
namespace {

const WCHAR *kKey = u"Software\\Vantorix\\Noxtrel32\\Preview";

class RegistryTest : public SpoolTest {
 protected:
  std::string HiveFile() const { return dir_.file("config") + "/noxtrel/registry"; }
  HKEY Create(REGSAM access = KEY_ALL_ACCESS, DWORD *disp = nullptr) {
    HKEY k = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                              nullptr, &k, disp),
              ERROR_SUCCESS);
    return k;
  }
};

DWORD ReadDword(HKEY k, const WCHAR *name, LSTATUS *st = nullptr) {
  DWORD v = 0, type = 0, size = sizeof v;
  LSTATUS s = RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE *>(&v), &size);
  if (st) *st = s;
  if (s == ERROR_SUCCESS) {
    EXPECT_EQ(type, (DWORD)REG_DWORD);
    EXPECT_EQ(size, 4u);
  }
  return v;
}

void WriteDword(HKEY k, const WCHAR *name, DWORD v) {
  EXPECT_EQ(RegSetValueExW(k, name, 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), sizeof v),
            ERROR_SUCCESS);
}

TEST_F(RegistryTest, ValuesOutliveTheirKeysAndTheProcessState) {
  HKEY k = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
  DWORD disp = 0;
  k = Create(KEY_ALL_ACCESS, &disp);
  EXPECT_EQ(disp, (DWORD)REG_CREATED_NEW_KEY);
  WriteDword(k, u"Left", 120);
  WriteDword(k, u"Top", 0xFFFFFFF6u);  // -10
  std::u16string title = u"Pr\u00e9view \"1\" \\ \u4e2d";
  EXPECT_EQ(RegSetValueExW(k, u"Title", 0, REG_SZ, reinterpret_cast<const BYTE *>(title.c_str()),
                           (DWORD)((title.size() + 1) * 2)),
            ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(k), ERROR_INVALID_HANDLE);

  Create(KEY_READ, &disp);
  EXPECT_EQ(disp, (DWORD)REG_OPENED_EXISTING_KEY);
  // Key and value names are not case sensitive; intermediate keys exist.
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\vantorix\\NOXTREL32\\preview", 0, KEY_READ,
                          &k),
            ERROR_SUCCESS);
  EXPECT_EQ(ReadDword(k, u"left"), 120u);
  EXPECT_EQ((LONG)ReadDword(k, u"TOP"), -10);
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExW(k, u"Title", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, (DWORD)REG_SZ);
  EXPECT_EQ(size, (title.size() + 1) * 2);
  std::vector<WCHAR> buf(size / 2);
  DWORD small = 4;
  EXPECT_EQ(RegQueryValueExW(k, u"Title", nullptr, &type, reinterpret_cast<BYTE *>(buf.data()), &small),
            ERROR_MORE_DATA);
  EXPECT_EQ(small, size);
  ASSERT_EQ(RegQueryValueExW(k, u"Title", nullptr, &type, reinterpret_cast<BYTE *>(buf.data()), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(buf.data()), title);
  LSTATUS st;
  ReadDword(k, u"Zoom", &st);
  EXPECT_EQ(st, ERROR_FILE_NOT_FOUND);
  // Opened for reading only: no writes.
  DWORD v = 1;
  EXPECT_EQ(RegSetValueExW(k, u"Zoom", 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
  HKEY parent = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Vantorix", 0, KEY_READ, &parent),
            ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExW(parent, u"Noxtrel32\\Preview", 0, KEY_READ, &k), ERROR_SUCCESS);
  EXPECT_EQ(ReadDword(k, u"Left"), 120u);
  RegCloseKey(k);
  RegCloseKey(parent);
}

TEST_F(RegistryTest, BadArgumentsAreRefused) {
  HKEY k = Create();
  BYTE three[3] = {1, 2, 3};
  EXPECT_EQ(RegSetValueExW(k, u"Odd", 0, REG_DWORD, three, 3), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExW(k, u"Odd", 0, REG_SZ, nullptr, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExW((HKEY)0x7777, u"Odd", 0, REG_DWORD, three, 4), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExW((HKEY)0x7777, u"Odd", nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
  // A damaged file is read as far as it makes sense.
  RegCloseKey(k);
  std::ofstream(HiveFile(), std::ios::app) << "garbage line\n\"Bad\"=dword:zz\n\"Good\"=dword:7\n";
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &k), ERROR_SUCCESS);
  EXPECT_EQ(ReadDword(k, u"Good"), 7u);
  LSTATUS st;
  ReadDword(k, u"Bad", &st);
  EXPECT_EQ(st, ERROR_FILE_NOT_FOUND);
  RegCloseKey(k);
}

// A file this user cannot read (left by a run under another account) is
// not replaced by a hive holding only the new value.
TEST_F(RegistryTest, AnUnreadableFileIsNotOverwritten) {
  HKEY k = Create();
  WriteDword(k, u"Zoom", 150);
  RegCloseKey(k);
  namespace fs = std::filesystem;
  for (const std::string &d : {dir_.path().string(), dir_.file("config")})
    fs::permissions(d, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(dir_.file("config") + "/noxtrel", fs::perms::all);
  fs::permissions(HiveFile() + ".lock", fs::perms::all & ~fs::perms::owner_exec &
                                            ~fs::perms::group_exec & ~fs::perms::others_exec);
  fs::permissions(HiveFile(), fs::perms::none);
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) _exit(99);
    DWORD v = 1;
    _exit((int)RegSetValueExW(HKEY_CURRENT_USER, u"Other", 0, REG_DWORD,
                              reinterpret_cast<BYTE *>(&v), 4));
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), ERROR_ACCESS_DENIED);
  fs::permissions(HiveFile(), fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &k), ERROR_SUCCESS);
  EXPECT_EQ(ReadDword(k, u"Zoom"), 150u);
  RegCloseKey(k);
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothingAndLeaveNoTemporaryFiles) {
  HKEY k = Create();
  RegCloseKey(k);
  const int kProcs = 4, kWrites = 25;
  std::vector<pid_t> kids;
  for (int p = 0; p < kProcs; ++p) {
    pid_t pid = ::fork();
    if (pid == 0) {
      HKEY mine = nullptr;
      if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, &mine) != ERROR_SUCCESS) _exit(1);
      for (int i = 0; i < kWrites; ++i) {
        std::u16string name = u"P" + std::u16string(1, (char16_t)(u'0' + p)) + u"_" +
                              std::u16string(1, (char16_t)(u'A' + i));
        DWORD v = (DWORD)(p * 100 + i);
        if (RegSetValueExW(mine, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4))
          _exit(2);
      }
      _exit(0);
    }
    kids.push_back(pid);
  }
  for (pid_t pid : kids) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &k), ERROR_SUCCESS);
  for (int p = 0; p < kProcs; ++p)
    for (int i = 0; i < kWrites; ++i) {
      std::u16string name = u"P" + std::u16string(1, (char16_t)(u'0' + p)) + u"_" +
                            std::u16string(1, (char16_t)(u'A' + i));
      EXPECT_EQ(ReadDword(k, name.c_str()), (DWORD)(p * 100 + i));
    }
  RegCloseKey(k);
  for (auto &e : std::filesystem::directory_iterator(dir_.file("config") + "/noxtrel"))
    EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

}  // namespace
}  // namespace nxtest
