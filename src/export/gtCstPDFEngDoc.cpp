#include "export/gtCstPDFEngDoc.h"

#include "common/Strings.h"
#include "export/gtCstPDFEngFormat.h"
#include "export/gtPDFCrypt3.h"

namespace nx::pdf {

extern const unsigned char kSrgbIcc[];
extern const size_t kSrgbIccSize;

const char kProducer[] = "Noxtrel PDF writer, www.vantorix.com";

const char kHatchPatternDict[] =
    "/Type /Pattern\r\n/Resources << /ProcSet [/PDF ] >>\r\n/PatternType 1\r\n/PaintType 2\r\n"
    "/TilingType 1\r\n/BBox [0 0 5 5]\r\n/XStep 5\r\n/YStep 5\r\n";

bool IsPdfA(TgtPDFVersion v) { return v == PDFA_VER1B || v == PDFA_VER2B || v == PDFA_VER3B; }

const char *HeaderVersion(TgtPDFVersion v) {
  switch (v) {
    case PDF_VER14: return "1.4";
    case PDF_VER15: return "1.5";
    case PDF_VER16: return "1.6";
    default: return "1.7";
  }
}

std::string ViewerPreferenceEntries(const TgtViewerPreferences &vp) {
  static const char *const modes[] = {"/UseNone", "/UseOutlines", "/UseThumbs", "/FullScreen"};
  static const char *const layouts[] = {"/SinglePage", "/OneColumn", "/TwoColumnLeft", "/TwoColumnRight"};
  static const char *const nonFull[] = {"/UseNone", "/UseOutlines", "/UseThumbs"};
  std::string s = "/PageMode";
  s += modes[vp.FPageMode & 3];
  s += "/PageLayout";
  s += layouts[vp.FPageLayout & 3];
  s += "/ViewerPreferences <<";
  if (vp.FCenterWindow) s += "/CenterWindow true";
  if (vp.FFitWindow) s += "/FitWindow true";
  if (vp.FHideWindowUI) s += "/HideWindowUI true";
  if (vp.FHideMenuBar) s += "/HideMenubar true";
  if (vp.FHideToolBar) s += "/HideToolbar true";
  if (vp.FPageMode == pmFullScreen) {
    s += "/NonFullScreenPageMode";
    s += nonFull[vp.FNonFullScreenPageMode % 3];
  }
  s += " >>";
  return s;
}

std::string PresentationEntries(const TgtPresentationMode &pm) {
  static const char *const styles[] = {
      "/R",           "/Split/Dm/H/M/I", "/Split/Dm/H/M/O", "/Split/Dm/V/M/I", "/Split/Dm/V/M/O",
      "/Blinds/Dm/H", "/Blinds/Dm/V",    "/Box/M/I",        "/Box/M/O",        "/Wipe/Di 0",
      "/Wipe/Di 90",  "/Wipe/Di 180",    "/Wipe/Di 270",    "/Dissolve",       "/Glitter/Di 0",
      "/Glitter/Di 270", "/Glitter/Di 315"};
  std::string d;
  AppendInt(d, pm.FDuration);
  const unsigned e = pm.FTransitionEffect;
  return "/Dur " + d + "/Trans <</Type/Trans/D " + d + "/S" + styles[e < 17 ? e : 0] + " >>";
}

namespace {

bool Blank(const WString &s) { return s.find_first_not_of(u' ') == WString::npos; }

// One value as a hex string: without encryption the date's ANSI bytes or the
// text as UTF-16 with "FEFF"; with encryption the encrypted bytes.
std::string InfoValue(const WString &value, bool isDate, const TgtPDFEncryption *crypt) {
  if (!crypt) return isDate ? HexBytes(WideToAnsi(value)) : HexUtf16(value);
  std::string bytes = WideToAnsi(value);
  // A value the ANSI code page cannot hold goes as UTF-16BE with the byte
  // order mark, so that no character is lost.
  if (AnsiToWide(bytes.c_str()) != value) bytes = Utf16BeBytes(value);
  crypt->EncryptStream(bytes, bytes.size(), 0, 3);
  return HexBytes(bytes);
}

}  // namespace

std::string InfoDictionaryBody(const TPdfDocInfo &info, const std::string &date, bool pdfA,
                               const TgtPDFEncryption *crypt) {
  std::string s;
  if (!pdfA) {
    const WString d = AsciiToWide(date);
    const std::string dv = InfoValue(d, true, crypt);
    s += "/CreationDate <" + dv + ">/ModDate <" + dv + ">";
    s += "/Producer <" + InfoValue(AsciiToWide(kProducer), false, crypt) + ">";
  }
  const std::pair<const char *, const WString *> entries[] = {{"/Author <", &info.Author},
                                                              {"/Keywords <", &info.Keywords},
                                                              {"/Creator <", &info.Creator},
                                                              {"/Title <", &info.Title},
                                                              {"/Subject <", &info.Subject}};
  for (const auto &[key, value] : entries)
    if (!Blank(*value)) s += key + InfoValue(*value, false, crypt) + ">";
  s += "\r\n";
  return s;
}

namespace {

// Text content of an XML element: UTF-8 with the five markup characters escaped.
std::string XmlText(const WString &w) {
  std::string out;
  for (size_t i = 0; i < w.size(); ++i) {
    uint32_t c = static_cast<uint16_t>(w[i]);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < w.size() && (w[i + 1] & 0xFC00) == 0xDC00)
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint16_t>(w[++i]) - 0xDC00);
    else if (c >= 0xD800 && c < 0xE000)
      c = 0xFFFD;
    if (c < 0x20 && c != 9 && c != 10 && c != 13) continue;  // not allowed in XML 1.0
    switch (c) {
      case '<': out += "&lt;"; continue;
      case '>': out += "&gt;"; continue;
      case '&': out += "&amp;"; continue;
      case '"': out += "&quot;"; continue;
      case '\'': out += "&apos;"; continue;
      default: break;
    }
    if (c < 0x80)
      out += static_cast<char>(c);
    else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace

std::string XmpPacket(const TPdfDocInfo &info, const std::string &xmpDate, TgtPDFVersion v) {
  const char part = v == PDFA_VER1B ? '1' : v == PDFA_VER2B ? '2' : '3';
  std::string s =
      "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\" x:xmptk=\"Noxtrel XMP writer 1.0\">\n"
      "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
      "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\""
      " xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\""
      " xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\">\n";
  s += "<xmp:CreateDate>" + xmpDate + "</xmp:CreateDate>\n";
  s += "<xmp:CreatorTool>" + XmlText(info.Creator) + "</xmp:CreatorTool>\n";
  s += "<xmp:ModifyDate>" + xmpDate + "</xmp:ModifyDate>\n";
  s += "<xmp:MetadataDate>" + xmpDate + "</xmp:MetadataDate>\n";
  s += std::string("<pdf:Producer>") + kProducer + " </pdf:Producer>\n";
  s += "<pdf:Keywords>" + XmlText(info.Keywords) + "</pdf:Keywords>\n";
  s += "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">" + XmlText(info.Title) + "</rdf:li></rdf:Alt></dc:title>\n";
  s += "<dc:creator><rdf:Seq><rdf:li>" + XmlText(info.Author) + "</rdf:li></rdf:Seq></dc:creator>\n";
  s += std::string("<pdfaid:part>") + part + "</pdfaid:part>\n";
  s += "<pdfaid:conformance>B</pdfaid:conformance>\n";
  s += "</rdf:Description>\n</rdf:RDF>\n</x:xmpmeta>\n<?xpacket end=\"w\"?>";
  return s;
}

std::string_view SrgbProfile() { return {reinterpret_cast<const char *>(kSrgbIcc), kSrgbIccSize}; }

std::string_view HatchPatternStream(std::string_view name) {
  if (name == "PH") return "2 J 2 j 0.3 w 0 2.5 m 5 2.5 l S";
  if (name == "PV") return "2 J 2 j 0.3 w 2.5 0 m 2.5 5 l S";
  if (name == "PFD") return "2 J 2 j 0.3 w 0 2.5 m 2.5 0 l 5 2.5 m 2.5 5 l S";
  if (name == "PBD") return "2 J 2 j 0.3 w 0 2.5 m 2.5 5 l 2.5 0 m 5 2.5 l S";
  if (name == "PC") return "2 J 2 j 0.3 w 0 2.5 m 5 2.5 l 2.5 0 m 2.5 5 l S";
  if (name == "PDC") return "2 J 2 j 0.3 w 2.5 0 m 5 2.5 l 2.5 5 l 0 2.5 l s";
  return {};
}

}  // namespace nx::pdf
