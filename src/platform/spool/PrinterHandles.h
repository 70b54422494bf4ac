// Printer handles of OpenPrinterW: the printer's model, its device mode and
// the raw job in progress.
#pragma once

#include <memory>

#include "platform/spool/JobSink.h"
#include "platform/spool/PrinterModel.h"

namespace nx::spool {

struct PrinterHandle {
  std::unique_ptr<PrinterModel> model;
  DEVMODEW devmode{};
  std::unique_ptr<JobSink> job;
  bool pageOpen = false;
};

// NULL (and ERROR_INVALID_HANDLE) for a handle that is not open.
PrinterHandle *LookupPrinterHandle(HANDLE h);

}  // namespace nx::spool
