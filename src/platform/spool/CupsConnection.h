// A connection to the CUPS server named by the environment (CUPS_SERVER,
// client.conf), and the destination a printer name stands for.
#pragma once

#include <cups/cups.h>

#include <string>

namespace nx::spool {

class CupsConnection {
 public:
  CupsConnection();  // connects; ok() tells whether a server answered
  ~CupsConnection();
  CupsConnection(const CupsConnection &) = delete;
  CupsConnection &operator=(const CupsConnection &) = delete;
  bool ok() const { return http_ != nullptr; }
  http_t *http() const { return http_; }

 private:
  http_t *http_ = nullptr;
};

// A destination and its information, released together.
class CupsDest {
 public:
  CupsDest(CupsConnection &c, const std::string &name);
  ~CupsDest();
  CupsDest(const CupsDest &) = delete;
  CupsDest &operator=(const CupsDest &) = delete;
  bool ok() const { return dest_ && info_; }
  cups_dest_t *dest() const { return dest_; }
  cups_dinfo_t *info() const { return info_; }

 private:
  cups_dest_t *dest_ = nullptr;
  cups_dinfo_t *info_ = nullptr;
};

}  // namespace nx::spool
