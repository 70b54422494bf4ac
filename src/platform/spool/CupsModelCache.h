// CUPS queue models kept between calls while the queue stays unchanged
// (see CupsModelCache.cpp for the rule).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/spool/CupsConnection.h"
#include "platform/spool/PrinterModel.h"

namespace nx::spool {

// The model of `queue`: the kept one when the server shows the queue
// unchanged since it was read, otherwise read() (kept when it may be).
std::unique_ptr<PrinterModel> CachedCupsModel(CupsConnection &c, const std::string &queue,
                                              const std::function<std::unique_ptr<PrinterModel>()> &read);

}  // namespace nx::spool
