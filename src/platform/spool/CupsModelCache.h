// CUPS queue models kept between calls while the queue stays unchanged
// (see CupsModelCache.cpp for the rule).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/spool/CupsConnection.h"
#include "platform/spool/PrinterModel.h"

namespace nx::spool {

// The model of `queue`: the kept one when the server shows the queue
// unchanged since it was read, otherwise read() (kept when it may be).
std::unique_ptr<PrinterModel> CachedCupsModel(CupsConnection &c, const std::string &queue,
                                              const std::function<std::unique_ptr<PrinterModel>()> &read);
// The server's destinations: the kept list when one small CUPS-Get-Printers
// request shows the same queues, types and change times (and the default
// destination's environment and lpoptions files are the same), otherwise
// read() (kept when it may be).
std::vector<PrinterEntry> CachedCupsList(CupsConnection &c,
                                         const std::function<std::vector<PrinterEntry>()> &read);

}  // namespace nx::spool
