// ShellExecuteW: "open" hands the file or address to xdg-open, started in a
// process of its own (a new session, not the caller's child), so that the
// caller never waits for the viewer and never collects it.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/kernel/Wide.h"
#include "platform/win32.h"

namespace {

HINSTANCE Result(INT_PTR code) { return reinterpret_cast<HINSTANCE>(code); }

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// "scheme://..." (a scheme starts with a letter) or "mailto:...".
bool IsAddress(const std::string &s) {
  size_t colon = s.find("://");
  if (colon == std::string::npos || colon == 0) return s.rfind("mailto:", 0) == 0;
  if (!IsLetter(s[0])) return false;
  for (size_t i = 0; i < colon; ++i) {
    char c = s[i];
    if (!(IsLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))
      return false;
  }
  return true;
}

// Starts `program target` detached; returns 0 or the errno of a failed exec.
int StartDetached(const char *program, const std::string &target, const std::string &dir) {
  int pipefd[2];
  if (::pipe2(pipefd, O_CLOEXEC) != 0) return errno;
  pid_t child = ::fork();
  if (child < 0) {
    int e = errno;
    ::close(pipefd[0]);
    ::close(pipefd[1]);
    return e;
  }
  if (child == 0) {
    // The middle process: start the grandchild in a new session and leave.
    ::setsid();
    pid_t grand = ::fork();
    if (grand == 0) {
      int devnull = ::open("/dev/null", O_RDWR);
      if (devnull >= 0) {
        ::dup2(devnull, 0);
        ::dup2(devnull, 1);
        ::close(devnull);
      }
      if (!dir.empty() && ::chdir(dir.c_str()) != 0) {
      }
      ::execlp(program, program, target.c_str(), (char *)nullptr);
      int e = errno;
      ssize_t w = ::write(pipefd[1], &e, sizeof e);
      (void)w;
      ::_exit(127);
    }
    if (grand < 0) {
      int e = errno;
      ssize_t w = ::write(pipefd[1], &e, sizeof e);
      (void)w;
    }
    ::_exit(0);
  }
  ::close(pipefd[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int err = 0;
  ssize_t n;
  while ((n = ::read(pipefd[0], &err, sizeof err)) < 0 && errno == EINTR) {
  }
  ::close(pipefd[0]);
  return n == (ssize_t)sizeof err ? err : 0;
}

}  // namespace

HINSTANCE WINAPI ShellExecuteW(HWND hwnd, LPCWSTR lpOperation, LPCWSTR lpFile,
                               LPCWSTR lpParameters, LPCWSTR lpDirectory, INT nShowCmd) {
  std::u16string verb = nx::wide::FromW(lpOperation);
  bool open = verb.empty() || nx::wide::EqualsIgnoreCase(verb, u"open");
  bool explore = nx::wide::EqualsIgnoreCase(verb, u"explore");
  if (!open && !explore) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return Result(SE_ERR_NOASSOC);
  }
  std::string target = nx::wide::ToUtf8(lpFile);
  std::string dir = nx::wide::FilePath(lpDirectory);
  if (target.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return Result(SE_ERR_FNF);
  }
  if (!IsAddress(target)) {
    target = nx::wide::FilePath(lpFile);
    if (target[0] != '/' && !dir.empty()) target = dir + "/" + target;
    // xdg-open takes a name that starts with '-' for one of its options.
    if (target[0] == '-') target = "./" + target;
    struct stat st;
    if (::stat(target.c_str(), &st) != 0) {
      bool noDir = errno == ENOTDIR;
      SetLastError(noDir ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
      return Result(noDir ? SE_ERR_PNF : SE_ERR_FNF);
    }
    if (explore && !S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return Result(SE_ERR_PNF);
    }
  }
  int err = StartDetached("xdg-open", target, dir);
  if (err != 0) {
    SetLastError(err == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
    return Result(err == ENOENT ? SE_ERR_NOASSOC : SE_ERR_ACCESSDENIED);
  }
  return Result(42);
}
