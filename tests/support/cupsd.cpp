#include "support/cupsd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <cups/cups.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace nxtest {

// ---------------------------------------------------------------------------
// AppSocketListener

AppSocketListener::AppSocketListener() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  socklen_t len = sizeof a;
  if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
      ::listen(listenFd_, 8) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&a), &len) != 0 ||
      ::pipe2(stopPipe_, O_CLOEXEC) != 0)
    return;
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { Run(); });
}

AppSocketListener::~AppSocketListener() {
  if (thread_.joinable()) {
    char c = 0;
    ssize_t w = ::write(stopPipe_[1], &c, 1);
    (void)w;
    thread_.join();
  }
  for (int fd : {listenFd_, stopPipe_[0], stopPipe_[1]})
    if (fd >= 0) ::close(fd);
}

void AppSocketListener::Run() {
  for (;;) {
    pollfd p[2] = {{listenFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) continue;
    if (p[1].revents) return;
    int c = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) continue;
    std::vector<unsigned char> job;
    unsigned char buf[65536];
    for (;;) {
      pollfd q[2] = {{c, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
      if (::poll(q, 2, -1) < 0) continue;
      if (q[1].revents) {
        ::close(c);
        return;
      }
      ssize_t n = ::read(c, buf, sizeof buf);
      if (n <= 0) break;
      job.insert(job.end(), buf, buf + n);
    }
    ::close(c);
    std::lock_guard<std::mutex> g(lock_);
    jobs_.push_back(std::move(job));
    arrived_.notify_all();
  }
}

std::optional<std::vector<unsigned char>> AppSocketListener::WaitJob(
    size_t index, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> g(lock_);
  if (!arrived_.wait_for(g, timeout, [&] { return jobs_.size() > index; })) return std::nullopt;
  return jobs_[index];
}

size_t AppSocketListener::JobCount() {
  std::lock_guard<std::mutex> g(lock_);
  return jobs_.size();
}

// ---------------------------------------------------------------------------
// PrivateCupsd

namespace {

std::string FindProgram(const std::string &name) {
  for (const char *dir : {"/usr/sbin/", "/usr/bin/", "/usr/local/sbin/"}) {
    std::string p = std::string(dir) + name;
    if (::access(p.c_str(), X_OK) == 0) return p;
  }
  return HaveTool(name) ? name : std::string();
}

void WriteText(const std::string &path, const std::string &text) {
  std::ofstream(path) << text;
}

bool CanConnect(const std::string &path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
  bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
  if (fd >= 0) ::close(fd);
  return ok;
}

}  // namespace

PrivateCupsd::PrivateCupsd(const std::string &extraConf) {
  std::string cupsd = FindProgram("cupsd");
  if (cupsd.empty() || FindProgram("lpadmin").empty()) {
    reason_ = "cupsd or lpadmin is not installed (scripts/setup-deps installs cups)";
    return;
  }
  installed_ = true;
  const std::string d = dir_.path().string();
  // Backends and filters run as the unprivileged User of cups-files.conf and
  // must reach the spool through this folder.
  ::chmod(d.c_str(), 0755);
  for (const char *sub : {"/root", "/root/ppd", "/spool", "/spool/tmp", "/cache", "/state", "/log"})
    std::filesystem::create_directories(d + sub);
  socket_ = d + "/cups.sock";
  WriteText(d + "/root/cups-files.conf",
            "ServerRoot " + d + "/root\nRequestRoot " + d + "/spool\nTempDir " + d +
                "/spool/tmp\nCacheDir " + d + "/cache\nStateDir " + d + "/state\nErrorLog " + d +
                "/log/error_log\nAccessLog " + d + "/log/access_log\nPageLog " + d +
                "/log/page_log\nPrintcap " + d +
                "/state/printcap\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"
                "FileDevice Yes\nSystemGroup root\n");
  WriteText(d + "/root/cupsd.conf",
            "Listen " + socket_ +
                "\nLogLevel info\nBrowsing Off\nWebInterface No\nDefaultAuthType None\n"
                "MaxJobs 0\nPreserveJobHistory Yes\nJobRetryLimit 0\n"
                "<Location />\nOrder allow,deny\nAllow all\n</Location>\n"
                "<Policy default>\n<Limit All>\nOrder deny,allow\nAllow all\n</Limit>\n</Policy>\n" +
                extraConf);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    std::string conf = d + "/root/cupsd.conf", files = d + "/root/cups-files.conf";
    std::string out = d + "/log/stdout";
    FILE *f = std::freopen(out.c_str(), "w", stdout);
    (void)f;
    ::dup2(1, 2);
    ::execl(cupsd.c_str(), cupsd.c_str(), "-f", "-c", conf.c_str(), "-s", files.c_str(),
            (char *)nullptr);
    ::_exit(127);
  }
  if (pid < 0) {
    reason_ = "fork failed";
    return;
  }
  for (int i = 0; i < 200 && !CanConnect(socket_); ++i) {
    int status;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      reason_ = "cupsd exited at start: " + ErrorLog() +
                std::string(ReadFileBytes(d + "/log/stdout").begin(),
                            ReadFileBytes(d + "/log/stdout").end());
      return;
    }
    ::usleep(50000);
  }
  if (!CanConnect(socket_)) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    reason_ = "cupsd did not answer on " + socket_;
    return;
  }
  pid_ = pid;
  const char *old = std::getenv("CUPS_SERVER");
  hadServer_ = old != nullptr;
  if (old) oldServer_ = old;
  ::setenv("CUPS_SERVER", socket_.c_str(), 1);
  cupsSetServer(nullptr);  // libcups reads CUPS_SERVER again
}

PrivateCupsd::~PrivateCupsd() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status;
    for (int i = 0; i < 100 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) ::usleep(50000);
    if (::waitpid(pid_, &status, WNOHANG) == 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
    }
    // Backends still running belong to cupsd's process group.
    ::kill(-pid_, SIGKILL);
    if (hadServer_)
      ::setenv("CUPS_SERVER", oldServer_.c_str(), 1);
    else
      ::unsetenv("CUPS_SERVER");
    cupsSetServer(nullptr);
  }
}

CommandResult PrivateCupsd::Client(const std::string &command) {
  return RunCommand("CUPS_SERVER=" + ShellQuote(socket_) + " PATH=/usr/sbin:/usr/bin:$PATH " +
                    command);
}

bool PrivateCupsd::AddQueue(const std::string &name, const std::string &ppdText, int port) {
  std::string ppd = dir_.file(name + ".ppd");
  WriteText(ppd, ppdText);
  std::string uri = "socket://127.0.0.1:" + std::to_string(port) + "/?snmp=false";
  return Client("lpadmin -p " + ShellQuote(name) + " -E -v " + ShellQuote(uri) + " -P " +
                ShellQuote(ppd))
             .exitCode == 0;
}

bool PrivateCupsd::RemoveQueue(const std::string &name) {
  return Client("lpadmin -x " + ShellQuote(name)).exitCode == 0;
}

bool PrivateCupsd::SetDefault(const std::string &name) {
  return Client("lpadmin -d " + ShellQuote(name)).exitCode == 0;
}

bool PrivateCupsd::WaitIdle(std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    CommandResult r = Client("lpstat -o");
    if (r.exitCode == 0 && r.output.find_first_not_of(" \n") == std::string::npos) return true;
    ::usleep(100000);
  }
  return false;
}

std::string PrivateCupsd::ErrorLog() const {
  auto b = ReadFileBytes(dir_.file("log/error_log"));
  return std::string(b.begin(), b.end());
}

std::string TestPpd() {
  return R"PPD(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "NXTEST.PPD"
*Manufacturer: "Noxtrel"
*Product: "(Noxtrel Test Printer)"
*ModelName: "Noxtrel Test Printer"
*ShortNickName: "Noxtrel Test Printer"
*NickName: "Noxtrel Test Printer"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsVersion: 2.4
*cupsFilter: "application/pdf 0 -"
*DefaultResolution: 600dpi
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]>>setpagedevice"
*PageSize Letter/US Letter: "<</PageSize[612 792]>>setpagedevice"
*PageSize Legal/US Legal: "<</PageSize[612 1008]>>setpagedevice"
*PageSize A5/A5: "<</PageSize[420 595]>>setpagedevice"
*PageSize Env10/Envelope #10: "<</PageSize[297 684]>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: A4
*PageRegion A4/A4: "<</PageSize[595 842]>>setpagedevice"
*PageRegion Letter/US Letter: "<</PageSize[612 792]>>setpagedevice"
*PageRegion Legal/US Legal: "<</PageSize[612 1008]>>setpagedevice"
*PageRegion A5/A5: "<</PageSize[420 595]>>setpagedevice"
*PageRegion Env10/Envelope #10: "<</PageSize[297 684]>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: A4
*ImageableArea A4/A4: "12 12 583 830"
*ImageableArea Letter/US Letter: "12 12 600 780"
*ImageableArea Legal/US Legal: "12 12 600 996"
*ImageableArea A5/A5: "12 12 408 583"
*ImageableArea Env10/Envelope #10: "12 12 285 672"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
*PaperDimension Letter/US Letter: "612 792"
*PaperDimension Legal/US Legal: "612 1008"
*PaperDimension A5/A5: "420 595"
*PaperDimension Env10/Envelope #10: "297 684"
*OpenUI *InputSlot/Media Source: PickOne
*OrderDependency: 20 AnySetup *InputSlot
*DefaultInputSlot: Upper
*InputSlot Upper/Upper Tray: "<</MediaPosition 0>>setpagedevice"
*InputSlot Lower/Lower Tray: "<</MediaPosition 1>>setpagedevice"
*InputSlot Manual/Manual Feed: "<</MediaPosition 2>>setpagedevice"
*CloseUI: *InputSlot
*OpenUI *Duplex/2-Sided Printing: PickOne
*OrderDependency: 30 AnySetup *Duplex
*DefaultDuplex: None
*Duplex None/Off: "<</Duplex false>>setpagedevice"
*Duplex DuplexNoTumble/Long Edge: "<</Duplex true/Tumble false>>setpagedevice"
*Duplex DuplexTumble/Short Edge: "<</Duplex true/Tumble true>>setpagedevice"
*CloseUI: *Duplex
*DefaultFont: Courier
*Font Courier: Standard "(001.004)" Standard ROM
)PPD";
}

}  // namespace nxtest
