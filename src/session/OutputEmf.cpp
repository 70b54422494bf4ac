// Device type 5: the page metafiles saved as files.
#include <string>
#include <vector>

#include "common/ErrorChannel.h"
#include "common/Files.h"
#include "common/Strings.h"
#include "device/EmfPageFile.h"
#include "device/NxPrinter.h"
#include "session/Library.h"
#include "session/Outputs.h"
#include "session/Session.h"

namespace nx {

// Saves every page as folder + "Page" + n + ".emf"; a page that cannot be
// written ends the saving, the pages before it stay on disk and the file of
// the failed page keeps what it held.
void SaveEmfPages() {
  const TNxPrinter &pages = PageStore();
  const WString folder = FolderOf(Session().FileName);
  for (int i = 0; i < pages.PagesCount(); ++i) {
    const std::vector<BYTE> bytes = EmfPageFile(pages.GetPage(i));
    if (bytes.empty())
      throw ENxError(nxeGeneral, "Page " + std::to_string(i + 1) + " has no metafile");
    WriteWholeFile(folder + AsciiToWide("Page" + std::to_string(i + 1) + ".emf"), bytes);
  }
}

}  // namespace nx
