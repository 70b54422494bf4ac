// The document-level objects of the PDF writer that do not depend on the
// pages: viewer preferences in the catalog and page dictionaries, the
// information dictionary, the PDF/A metadata packet and colour profile, and
// the hatch pattern streams.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/WString.h"

namespace nx {

class TgtPDFEncryption;

enum TgtPDFVersion : uint8_t {
  PDF_VER14 = 0,
  PDF_VER15 = 1,
  PDF_VER16 = 2,
  PDF_VER17 = 3,
  PDFA_VER1B = 4,
  PDFA_VER2B = 5,
  PDFA_VER3B = 6,
};

enum TgtPageLayout : uint8_t { plSinglePage, plOneColumn, plTwoColumnLeft, plTwoColumnRight };
enum TgtPageMode : uint8_t { pmUseNone, pmUseOutlines, pmUseThumbs, pmFullScreen };
enum TgtNonFullScreenPageMode : uint8_t { nfspmUseNone, nfspmUseOutlines, nfspmUseThumbs };
enum TgtTransitionEffect : uint8_t {
  teNone,
  teSplitHorizontalInward,
  teSplitHorizontalOutward,
  teSplitVerticalInward,
  teSplitVerticalOutward,
  teBlindsHorizontal,
  teBlindsVertical,
  teBoxInward,
  teBoxOutward,
  teWipeLeftToRight,
  teWipeBottomToTop,
  teWipeRightToLeft,
  teWipeTopToBottom,
  teDissolve,
  teGlitterLeftToRight,
  teGlitterTopToBottom,
  teGlitterTopLeftToBottomRight,
};

struct TgtPresentationMode {
  int32_t FDuration = 1;
  TgtTransitionEffect FTransitionEffect = teNone;
};

struct TgtViewerPreferences {
  TgtPageLayout FPageLayout = plOneColumn;
  TgtPageMode FPageMode = pmUseNone;
  bool FHideToolBar = false;
  bool FHideMenuBar = false;
  bool FHideWindowUI = false;
  bool FFitWindow = false;
  bool FCenterWindow = false;
  TgtNonFullScreenPageMode FNonFullScreenPageMode = nfspmUseNone;
  TgtPresentationMode FPresentationMode;
};

namespace pdf {

bool IsPdfA(TgtPDFVersion v);
// "1.4" .. "1.7".
const char *HeaderVersion(TgtPDFVersion v);
// The fixed producer text.
extern const char kProducer[];

// "/PageMode... /PageLayout... /ViewerPreferences << ... >>".
std::string ViewerPreferenceEntries(const TgtViewerPreferences &vp);
// "/Dur d/Trans <</Type/Trans/D d/S... >>".
std::string PresentationEntries(const TgtPresentationMode &pm);

// The five values of the information dictionary.
struct TPdfDocInfo {
  WString Author, Keywords, Creator, Title, Subject;
};

// The body of the information dictionary (object 3), CR LF at the end. Dates
// and producer are left out for PDF/A. With a handler every value is
// encrypted for object 3: in the ANSI code page when it has all its
// characters there, otherwise as UTF-16BE with the byte order mark.
std::string InfoDictionaryBody(const TPdfDocInfo &info, const std::string &date, bool pdfA,
                               const TgtPDFEncryption *crypt);

// The XMP packet of the PDF/A versions.
std::string XmpPacket(const TPdfDocInfo &info, const std::string &xmpDate, TgtPDFVersion v);

// The carried sRGB profile.
std::string_view SrgbProfile();

// The content of a hatch pattern ("PH", "PV", "PFD", "PBD", "PC", "PDC");
// empty for another name.
std::string_view HatchPatternStream(std::string_view name);
// The dictionary text before "/Length" of an uncoloured hatch pattern.
extern const char kHatchPatternDict[];

}  // namespace pdf
}  // namespace nx
