#include "export/gtCstPDFEng.h"

#include <cmath>

#include "common/Strings.h"
#include "export/gtCstPDFEngFormat.h"

namespace nx {

using pdf::AppendFixed4;
using pdf::AppendInt;
using pdf::Ref;

namespace {
constexpr int32_t kCatalog = 1, kPageTree = 2, kInfo = 3, kProcSet = 4, kResources = 5;
}

TgtCustomPDFEngine::TgtCustomPDFEngine() {
  SetFileType(u"pdf", u"Adobe PDF Files");
  SetCapabilities(ckText | ckImage | ckShape | ckImageStretch | ckImageFrame | ckInputRes | ckImageReusable);
  RecreatePreferences();
}

TgtCustomPDFEngine::~TgtCustomPDFEngine() = default;

std::unique_ptr<TgtPreferences> TgtCustomPDFEngine::PreferencesClass() const {
  return std::make_unique<TgtPDFPreferences>();
}

bool TgtCustomPDFEngine::IsImageFormatSupported(TgtOutputImageFormat Format, std::string &Message) {
  if (Format == ifJPEG || Format == ifBMP) return true;
  Message = "The PDF Engine does not support this format";
  return false;
}

// ---- start of the document ---------------------------------------------------

void TgtCustomPDFEngine::StartDocument() {
  ReleaseDocument();
  const WString name = FileName() + u"." + FileExtension();
  FFile = CreateOutputFile(name);
  FWriter = std::make_unique<pdf::TPdfObjectWriter>(FFile.get(), 5);
  FPixelToPointMultiplier = 72.0 / gtScreenResolution;
  FMoment = pdf::CurrentMoment();
  FCreationTime = pdf::PdfDate(FMoment);
  if (FEncryption.Enabled())
    FCrypt = std::make_unique<TgtPDFEncryption>(WideToAnsi(FileName() + FileExtension()), FEncryption, FCreationTime);
  std::string header = "%PDF-";
  header += pdf::HeaderVersion(FVersion);
  header += "\r\n%\xE2\xE3\xCF\xD3\r\n";
  FWriter->WriteRaw(header);
}

void TgtCustomPDFEngine::ReleaseDocument() noexcept {
  FWriter.reset();
  FFile.reset();  // removes the temporary file unless it was committed
  FCrypt.reset();
  FPageList.clear();
  FContentStream.clear();
  FPageData.clear();
  FImageStream.clear();
  FImageXRefList.clear();
  FImageSettings.clear();
  FImageStreamCount = 0;
  FFontTable.clear();
  FUniformFont = nullptr;  // its fonts are gone
  FPDGStateList.clear();
  FPattern.clear();
  FPageIndex = -1;
}

// ---- pages -------------------------------------------------------------------

void TgtCustomPDFEngine::StartPage() {
  FIsClipState = FIsInsertClipState = false;
  FPathStatus = psNoPath;
  FPath.clear();
  FFirstPoint = true;
  FIsPathClosed = false;
  FImageStream.clear();
  FImageXRefList.clear();
  FContentStream.clear();
  FContentStream += "q ";
  AppendFixed4(FContentStream, gtScreenResolution / static_cast<double>(InputXRes()));
  FContentStream += " 0 0 ";
  AppendFixed4(FContentStream, gtScreenResolution / static_cast<double>(InputYRes()));
  FContentStream += " 0 0 cm\r\n";
  TgtPageInfo info;
  info.FObjNo = NextObjectNumber();
  const TgtPageSettings *settings = nullptr;
  const int32_t page = CurrentPage();
  if (page >= 1 && static_cast<size_t>(page) <= Pages().size() && Pages()[page - 1])
    settings = &Pages()[page - 1]->FSettings;
  const TgtPageSettings &ps = settings ? *settings : Page();
  const double factor = settings ? 1.0 : NativeConversionFactor();
  info.FWidth = ps.Width() * factor * FPixelToPointMultiplier;
  info.FHeight = ps.Height() * factor * FPixelToPointMultiplier;
  FPageList.push_back(info);
  FPageIndex = static_cast<int32_t>(FPageList.size()) - 1;
  FContentsObjNo = NextObjectNumber();
  FLengthObjNo = NextObjectNumber();
  if (BackgroundColor() != static_cast<COLORREF>(clNone)) {
    FContentStream += FillColor(BackgroundColor());
    FContentStream += " n ";
    AppendFixed4(FContentStream, 0);
    FContentStream += ' ';
    AppendFixed4(FContentStream, 0);
    FContentStream += ' ';
    AppendFixed4(FContentStream, info.FWidth);
    FContentStream += ' ';
    AppendFixed4(FContentStream, info.FHeight);
    FContentStream += " re f \r\n";
  }
}

std::string TgtCustomPDFEngine::PageEntries(int32_t PageObjNo) {
  const TgtPageInfo &p = FPageList[FPageIndex];
  std::string s = "/Type/Page/Parent " + Ref(kPageTree) + "/MediaBox [0 0 ";
  AppendFixed4(s, p.FWidth);
  s += ' ';
  AppendFixed4(s, p.FHeight);
  s += "]/Resources " + Ref(kResources) + "/Contents " + Ref(FContentsObjNo);
  s += pdf::PresentationEntries(FViewerPreferences.FPresentationMode);
  return s;
}

void TgtCustomPDFEngine::EndPage() {
  const TgtPageInfo &p = FPageList[FPageIndex];
  FWriter->WriteObject(PageEntries(p.FObjNo) + "\r\n", p.FObjNo);
  std::string dict = "/Length " + Ref(FLengthObjNo);
  if (FCompression.Enabled) dict += "/Filter /FlateDecode";
  FWriter->WriteObject(dict + "\r\n", FContentsObjNo, false);
  if (FIsClipState) FContentStream += "\r\nQ\r\n";
  FContentStream += FIsInsertClipState ? "\r\nQ\r\n" : "\r\n\r\n";
  // The content is done with: uncompressed it is encrypted where it lies.
  std::string &data = FCompression.Enabled ? FPageData : FContentStream;
  if (FCompression.Enabled) pdf::DeflateInto(FContentStream, FCompression.Level, FPageData);
  EncryptStreamData(data, data.size(), 0, FContentsObjNo);
  FWriter->WriteStreamData(data);
  std::string len;
  AppendInt(len, static_cast<int64_t>(data.size()));
  FContentStream.clear();
  FWriter->WriteObject(len, FLengthObjNo);
  const uint64_t base = FWriter->Size();
  for (const auto &[objNo, offset] : FImageXRefList) FWriter->RecordOffset(objNo, base + offset);
  FWriter->WriteRaw(FImageStream);
  FImageStream.clear();
  FImageXRefList.clear();
  FIsClipState = FIsInsertClipState = false;
}

// ---- end of the document -----------------------------------------------------

void TgtCustomPDFEngine::WriteStreamObject(int32_t objNo, const std::string &dict, std::string data, bool compress) {
  // With compression the length follows as an object of its own.
  int32_t lengthObj = 0;
  std::string d = dict;
  if (compress && FCompression.Enabled) {
    data = pdf::Deflate(data, FCompression.Level);
    lengthObj = NextObjectNumber();
    d += "/Length\r\n" + Ref(lengthObj) + "/Filter/FlateDecode\r\n";
  } else {
    d += "/Length ";
    AppendInt(d, static_cast<int64_t>(data.size()));
    d += "\r\n";
  }
  EncryptStreamData(data, data.size(), 0, objNo);
  FWriter->WriteObject(d, objNo, false);
  FWriter->WriteStreamData(data);
  if (lengthObj) {
    std::string len;
    AppendInt(len, static_cast<int64_t>(data.size()));
    FWriter->WriteObject(len, lengthObj);
  }
}

void TgtCustomPDFEngine::WriteMetadataAndProfile(int32_t &metadataObj, int32_t &profileObj) {
  const TgtDocInfo &di = DocInfo();
  const pdf::TPdfDocInfo info{di.FAuthor, di.FKeywords, di.FCreator, di.FTitle, di.FSubject};
  metadataObj = NextObjectNumber();
  const int32_t lengthObj = NextObjectNumber();
  std::string xmp = pdf::XmpPacket(info, pdf::XmpDate(FMoment), FVersion);
  EncryptStreamData(xmp, xmp.size(), 0, metadataObj);
  FWriter->WriteObject("/Subtype/XML/Type/Metadata/Length " + Ref(lengthObj) + "\r\n", metadataObj, false);
  FWriter->WriteStreamData(xmp);
  std::string len;
  AppendInt(len, static_cast<int64_t>(xmp.size()));
  FWriter->WriteObject(len, lengthObj);
  profileObj = WriteIccProfile();
}

// The carried sRGB profile as a stream object (never compressed); its number.
int32_t TgtCustomPDFEngine::WriteIccProfile() {
  const int32_t obj = NextObjectNumber();
  std::string icc(pdf::SrgbProfile());
  EncryptStreamData(icc, icc.size(), 0, obj);
  std::string dict = "<</Range[ 0 1 0 1 0 1]/Alternate/DeviceRGB/Length ";
  AppendInt(dict, static_cast<int64_t>(icc.size()));
  dict += "/N 3>>";
  FWriter->WriteObject(dict, obj, false);
  FWriter->WriteStreamData(icc);
  return obj;
}

std::string TgtCustomPDFEngine::CatalogString(const std::string &Text) {
  // Readers decrypt every string of an encrypted file, so a plain one
  // would read as noise.
  if (!FCrypt) return "(" + Text + ")";
  return "<" + pdf::HexBytes(EncryptText(Text, kCatalog, 0)) + ">";
}

std::string TgtCustomPDFEngine::CatalogEntries() {
  std::string s = "/Type/Catalog/Pages " + Ref(kPageTree);
  if (pdf::IsPdfA(FVersion)) {
    int32_t metadata = 0, profile = 0;
    WriteMetadataAndProfile(metadata, profile);
    s += "/Metadata " + Ref(metadata) + "/OutputIntents[<</OutputCondition()/DestOutputProfile " + Ref(profile) +
         "/Type/OutputIntent/S/GTS_PDFA1/OutputConditionIdentifier" + CatalogString("Custom") + "/Info" +
         CatalogString("sRGB IEC61966-2.1") + "/RegistryName" + CatalogString("http://www.color.org") + ">>]";
  }
  s += pdf::ViewerPreferenceEntries(FViewerPreferences);
  return s;
}

void TgtCustomPDFEngine::WritePageTree() {
  std::string s = "/Type/Pages/Count ";
  AppendInt(s, static_cast<int64_t>(FPageList.size()));
  s += "/Kids [";
  for (size_t i = 0; i < FPageList.size(); ++i) {
    if (i) s += ' ';
    s += Ref(FPageList[i].FObjNo);
  }
  s += "]\r\n";
  FWriter->WriteObject(s, kPageTree);
}

void TgtCustomPDFEngine::WriteResourceDictionary() {
  std::string s;
  // PDF/A: the ICC colour space (with a second copy of the profile) joins
  // the one colour-space dictionary.
  std::string cs0;
  if (pdf::IsPdfA(FVersion)) {
    const int32_t profile = WriteIccProfile();
    const int32_t space = NextObjectNumber();
    FWriter->WriteObject("[/ICCBased " + Ref(profile) + "]", space);
    cs0 = "/CS0 " + Ref(space);
  }
  if (!FPattern.empty()) {
    s += "/ColorSpace <</CSP [/Pattern /DeviceRGB]" + cs0 + ">>\r\n/Pattern <<";
    for (const auto &[name, obj] : FPattern) s += "/" + name + " " + Ref(obj);
    s += ">>\r\n";
  }
  if (!FFontTable.empty()) {
    s += "/Font <<";
    for (size_t i = 0; i < FFontTable.size(); ++i)
      s += "/F" + std::to_string(i) + " " + Ref(FFontTable[i]->Info().FfiFontObjRef) + " ";
    s += ">>\r\n";
  }
  s += "/ProcSet " + Ref(kProcSet);
  bool anyImage = false;
  for (const auto &[index, variants] : FImageSettings) anyImage |= !variants.empty();
  if (anyImage) {
    s += "/XObject <<";
    for (const auto &[index, variants] : FImageSettings)
      for (const TImageVariant &v : variants) s += "/" + v.Name + " " + Ref(v.ObjNo);
    s += " >>";
  }
  if (!FPDGStateList.empty()) {
    s += "/ExtGState <<";
    for (const TgtPDGState &g : FPDGStateList) s += "/" + g.FTag + " " + Ref(g.FObjNo);
    s += ">>";
  }
  s += "\r\n";
  if (!cs0.empty() && FPattern.empty()) s += "/ColorSpace<<" + cs0 + ">>";
  FWriter->WriteObject(s, kResources);
}

void TgtCustomPDFEngine::WritePatterns() {
  for (const auto &[name, obj] : FPattern)
    WriteStreamObject(obj, pdf::kHatchPatternDict, std::string(pdf::HatchPatternStream(name)), true);
}

void TgtCustomPDFEngine::WriteEncryptDictionary() {
  if (!FCrypt) return;
  FEncryptObjNo = NextObjectNumber();
  FWriter->WriteObject(FCrypt->DictionaryBody(), FEncryptObjNo);
}

void TgtCustomPDFEngine::WriteInfo() {
  const TgtDocInfo &di = DocInfo();
  const pdf::TPdfDocInfo info{di.FAuthor, di.FKeywords, di.FCreator, di.FTitle, di.FSubject};
  FWriter->WriteObject(pdf::InfoDictionaryBody(info, FCreationTime, pdf::IsPdfA(FVersion), FCrypt.get()), kInfo);
}

std::string TgtCustomPDFEngine::TrailerEntries() {
  std::string id;
  if (FCrypt) {
    id = pdf::HexBytes(FCrypt->GetFileID());
  } else {
    const TMd5Digest d = TgtPDFEncryption::FileIdOf(WideToAnsi(FileName()), pdf::LongTime(pdf::CurrentMoment()));
    id = pdf::HexBytes(std::string_view(reinterpret_cast<const char *>(d.data()), d.size()));
  }
  std::string s = "/Root " + Ref(kCatalog) + "/Info " + Ref(kInfo) + "/Size ";
  AppendInt(s, FWriter->LastObjNo() + 1);
  s += "/ID [<" + id + "><" + id + ">]";
  if (FCrypt) s += "/Encrypt " + Ref(FEncryptObjNo);
  return s;
}

void TgtCustomPDFEngine::EndDocument() {
  TgtCustomPlainSheetEngine::EndDocument();
  if (!FWriter) return;
  try {
    FWriter->WriteObject(CatalogEntries() + "\r\n", kCatalog);
    WritePageTree();
    WriteResourceDictionary();
    std::string procSet = "[/PDF";
    if (ItemsToRender() & irText) procSet += " /Text";
    if (ItemsToRender() & irImage) procSet += " /ImageC";
    FWriter->WriteObject(procSet + "]", kProcSet);
    WritePatterns();
    WriteFonts();
    WriteEncryptDictionary();
    WriteInfo();
    FWriter->WriteXRefAndTrailer(TrailerEntries());
    FWriter->Flush();
    CommitOutputFile(*FFile);
  } catch (...) {
    ReleaseDocument();
    throw;
  }
  ReleaseDocument();
}

void TgtCustomPDFEngine::EndDoc() {
  try {
    TgtCustomPlainSheetEngine::EndDoc();
  } catch (...) {
    // A failure anywhere in the document removes the temporary file and
    // leaves the engine ready for the next document.
    ReleaseDocument();
    throw;
  }
}

// ---- encryption hooks ---------------------------------------------------------

void TgtCustomPDFEngine::EncryptStreamData(std::string &Stream, size_t Size, int32_t GenNo, int32_t ObjNo) {
  if (FCrypt) FCrypt->EncryptStream(Stream, Size, GenNo, ObjNo);
}

std::string TgtCustomPDFEngine::EncryptText(const std::string &Text, int32_t ObjNo, int32_t GenNo) {
  std::string t = Text;
  if (FCrypt) FCrypt->EncryptStream(t, t.size(), GenNo, ObjNo);
  return t;
}

}  // namespace nx
