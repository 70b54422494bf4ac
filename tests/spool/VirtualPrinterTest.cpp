// The printer list, setup and raw jobs on virtual printers, with no CUPS
// server running.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "support/SpoolEnv.h"

namespace nxtest {
namespace {

struct Printer {
  std::u16string name, driver, port;
};

std::vector<Printer> Enum(DWORD level = 2) {
  DWORD need = 0, count = 0;
  if (EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, level, nullptr, 0, &need,
                    &count)) {
    EXPECT_EQ(count, 0u);
    return {};
  }
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
  std::vector<BYTE> buf(need);
  EXPECT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, level,
                            buf.data(), need, &need, &count));
  std::vector<Printer> out;
  for (DWORD i = 0; i < count; ++i) {
    if (level == 2) {
      auto *r = reinterpret_cast<PRINTER_INFO_2W *>(buf.data()) + i;
      out.push_back({r->pPrinterName, r->pDriverName, r->pPortName});
      EXPECT_NE(r->pDevMode, nullptr);
    } else {
      auto *r = reinterpret_cast<PRINTER_INFO_4W *>(buf.data()) + i;
      out.push_back({r->pPrinterName, u"", u""});
    }
  }
  return out;
}

std::vector<std::u16string> Names(const std::u16string &printer, WORD cap, size_t width) {
  int n = DeviceCapabilitiesW(printer.c_str(), nullptr, cap, nullptr, nullptr);
  std::vector<WCHAR> buf(n > 0 ? n * width : 1);
  EXPECT_EQ(DeviceCapabilitiesW(printer.c_str(), nullptr, cap, buf.data(), nullptr), n);
  std::vector<std::u16string> out;
  for (int i = 0; i < n; ++i) {
    const WCHAR *p = buf.data() + i * width;
    out.emplace_back(p, std::find(p, p + width, 0));
  }
  return out;
}

std::vector<WORD> Numbers(const std::u16string &printer, WORD cap) {
  int n = DeviceCapabilitiesW(printer.c_str(), nullptr, cap, nullptr, nullptr);
  std::vector<WORD> buf(n > 0 ? n : 0);
  if (n > 0) {
    EXPECT_EQ(DeviceCapabilitiesW(printer.c_str(), nullptr, cap,
                                  reinterpret_cast<LPWSTR>(buf.data()), nullptr), n);
  }
  return buf;
}

// A whole raw job; the job id, 0 when a step failed.
DWORD RawJob(const std::u16string &printer, const std::string &bytes) {
  HANDLE h = nullptr;
  std::u16string name = printer;
  if (!OpenPrinterW(Wp(name), &h, nullptr)) return 0;
  std::u16string raw = u"RAW", doc = u"";
  DOC_INFO_1W di{Wp(doc), nullptr, Wp(raw)};
  DWORD job = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di));
  DWORD written = 0;
  bool ok = job && StartPagePrinter(h) &&
            WritePrinter(h, (void *)bytes.data(), (DWORD)bytes.size(), &written) &&
            written == bytes.size() && EndPagePrinter(h) && EndDocPrinter(h);
  ClosePrinter(h);
  return ok ? job : 0;
}

const std::u16string kBuiltIn = u"Noxtrel Virtual Printer";

TEST_F(SpoolTest, BuiltInPrinterWithoutConfigurationOrCups) {
  std::vector<Printer> list = Enum();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, kBuiltIn);
  EXPECT_EQ(list[0].port, W(SpoolDir()));
  EXPECT_EQ(Enum(4).size(), 1u);

  WCHAR name[64];
  DWORD cch = 3;
  EXPECT_FALSE(GetDefaultPrinterW(name, &cch));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(cch, kBuiltIn.size() + 1);
  ASSERT_TRUE(GetDefaultPrinterW(name, &cch));
  EXPECT_EQ(std::u16string(name), kBuiltIn);

  EXPECT_EQ(Numbers(kBuiltIn, DC_PAPERS),
            (std::vector<WORD>{DMPAPER_A4, DMPAPER_LETTER, DMPAPER_LEGAL, DMPAPER_A3, DMPAPER_A5,
                               DMPAPER_ENV_10}));
  EXPECT_EQ(Names(kBuiltIn, DC_PAPERNAMES, 64),
            (std::vector<std::u16string>{u"A4", u"Letter", u"Legal", u"A3", u"A5", u"Envelope #10"}));
  EXPECT_EQ(Numbers(kBuiltIn, DC_BINS), (std::vector<WORD>{DMBIN_UPPER, DMBIN_LOWER}));
  EXPECT_EQ(Names(kBuiltIn, DC_BINNAMES, 24).size(), 2u);
  EXPECT_EQ(DeviceCapabilitiesW(kBuiltIn.c_str(), nullptr, DC_DUPLEX, nullptr, nullptr), 1);
  EXPECT_GT(DeviceCapabilitiesW(kBuiltIn.c_str(), nullptr, DC_COPIES, nullptr, nullptr), 1);
  POINT sizes[6];
  ASSERT_EQ(DeviceCapabilitiesW(kBuiltIn.c_str(), nullptr, DC_PAPERSIZE,
                                reinterpret_cast<LPWSTR>(sizes), nullptr), 6);
  EXPECT_EQ(sizes[0].x, 2100);
  EXPECT_EQ(sizes[0].y, 2970);
  EXPECT_EQ(sizes[1].x, 2159);
  EXPECT_EQ(sizes[1].y, 2794);
}

TEST_F(SpoolTest, DocumentPropertiesGivesDefaultsAndMergesChanges) {
  std::u16string name = kBuiltIn;
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(Wp(name), &h, nullptr));
  LONG size = DocumentPropertiesW(nullptr, h, Wp(name), nullptr, nullptr, 0);
  ASSERT_EQ(size, (LONG)sizeof(DEVMODEW));
  DEVMODEW dm{};
  ASSERT_EQ(DocumentPropertiesW(nullptr, h, Wp(name), &dm, nullptr, DM_OUT_BUFFER), 1);
  EXPECT_EQ(std::u16string(dm.dmDeviceName), kBuiltIn);
  EXPECT_EQ(dm.dmSize, sizeof(DEVMODEW));
  EXPECT_EQ(dm.dmPaperSize, DMPAPER_A4);
  EXPECT_EQ(dm.dmOrientation, DMORIENT_PORTRAIT);
  EXPECT_EQ(dm.dmDefaultSource, DMBIN_UPPER);
  EXPECT_EQ(dm.dmCopies, 1);
  EXPECT_EQ(dm.dmDuplex, DMDUP_SIMPLEX);
  const DWORD want = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_DEFAULTSOURCE | DM_DUPLEX;
  EXPECT_EQ(dm.dmFields & want, want);

  // Supported values are taken; unsupported ones keep the defaults.
  DEVMODEW in = dm, out{};
  in.dmPaperSize = DMPAPER_LETTER;
  in.dmOrientation = DMORIENT_LANDSCAPE;
  in.dmDuplex = DMDUP_VERTICAL;
  in.dmCopies = 3;
  in.dmDefaultSource = DMBIN_LOWER;
  ASSERT_EQ(DocumentPropertiesW(nullptr, h, Wp(name), &out, &in, DM_IN_BUFFER | DM_OUT_BUFFER), 1);
  EXPECT_EQ(out.dmPaperSize, DMPAPER_LETTER);
  EXPECT_EQ(out.dmPaperWidth, 2159);
  EXPECT_EQ(out.dmOrientation, DMORIENT_LANDSCAPE);
  EXPECT_EQ(out.dmDuplex, DMDUP_VERTICAL);
  EXPECT_EQ(out.dmCopies, 3);
  EXPECT_EQ(out.dmDefaultSource, DMBIN_LOWER);
  in.dmPaperSize = DMPAPER_ENV_DL;  // not a paper of this printer
  in.dmDefaultSource = DMBIN_TRACTOR;
  in.dmOrientation = 7;
  in.dmCopies = -4;
  ASSERT_EQ(DocumentPropertiesW(nullptr, h, Wp(name), &out, &in, DM_IN_BUFFER | DM_OUT_BUFFER), 1);
  EXPECT_EQ(out.dmPaperSize, DMPAPER_A4);
  EXPECT_EQ(out.dmDefaultSource, DMBIN_UPPER);
  EXPECT_EQ(out.dmOrientation, DMORIENT_PORTRAIT);
  EXPECT_EQ(out.dmCopies, 1);
  // Fields not listed in dmFields are not taken.
  in = dm;
  in.dmFields = DM_COPIES;
  in.dmCopies = 2;
  in.dmPaperSize = DMPAPER_LEGAL;
  ASSERT_EQ(DocumentPropertiesW(nullptr, h, Wp(name), &out, &in, DM_IN_BUFFER | DM_OUT_BUFFER), 1);
  EXPECT_EQ(out.dmCopies, 2);
  EXPECT_EQ(out.dmPaperSize, DMPAPER_A4);
  // A device mode too short for dmFields is refused; one that ends before
  // dmDuplex has it ignored.
  in = dm;
  in.dmSize = 40;
  EXPECT_EQ(DocumentPropertiesW(nullptr, h, Wp(name), &out, &in, DM_IN_BUFFER | DM_OUT_BUFFER), -1);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
  in.dmSize = offsetof(DEVMODEW, dmColor);
  in.dmDuplex = DMDUP_HORIZONTAL;
  in.dmCopies = 5;
  ASSERT_EQ(DocumentPropertiesW(nullptr, h, Wp(name), &out, &in, DM_IN_BUFFER | DM_OUT_BUFFER), 1);
  EXPECT_EQ(out.dmDuplex, DMDUP_SIMPLEX);
  EXPECT_EQ(out.dmCopies, 5);
  EXPECT_EQ(DocumentPropertiesW(nullptr, h, Wp(name), nullptr, nullptr, DM_OUT_BUFFER), -1);
  EXPECT_TRUE(ClosePrinter(h));
  EXPECT_FALSE(ClosePrinter(h));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

TEST_F(SpoolTest, UnknownPrinterNamesFail) {
  std::u16string name = u"No Such Printer";
  HANDLE h = (HANDLE)1;
  EXPECT_FALSE(OpenPrinterW(Wp(name), &h, nullptr));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PRINTER_NAME);
  EXPECT_EQ(h, nullptr);
  EXPECT_FALSE(OpenPrinterW(nullptr, &h, nullptr));
  EXPECT_EQ(DeviceCapabilitiesW(name.c_str(), nullptr, DC_PAPERS, nullptr, nullptr), -1);
  EXPECT_EQ(DeviceCapabilitiesW(nullptr, nullptr, DC_BINS, nullptr, nullptr), -1);
  EXPECT_EQ(DocumentPropertiesW(nullptr, nullptr, Wp(name), nullptr, nullptr, 0), -1);
  DWORD written = 0;
  EXPECT_FALSE(WritePrinter((HANDLE)0x1234, (void *)"x", 1, &written));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
  EXPECT_EQ(StartDocPrinterW(nullptr, 1, nullptr), 0u);
}

TEST_F(SpoolTest, RawJobsBecomeOneFileEachWithTheBytesSent) {
  std::string bytes("\x1b@label\0\xff\xfe\0\r\n", 13);
  for (int i = 0; i < 256; ++i) bytes += (char)i;
  DWORD a = RawJob(kBuiltIn, bytes);
  DWORD b = RawJob(kBuiltIn, "second");
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  EXPECT_NE(a, b);
  auto first = ReadFileBytes(SpoolDir() + "/job-" + std::to_string(a) + ".prn");
  EXPECT_EQ(std::string(first.begin(), first.end()), bytes);
  auto second = ReadFileBytes(SpoolDir() + "/job-" + std::to_string(b) + ".prn");
  EXPECT_EQ(std::string(second.begin(), second.end()), "second");
  size_t files = 0;
  for (auto &e : std::filesystem::directory_iterator(SpoolDir())) files += e.is_regular_file();
  EXPECT_EQ(files, 2u);
}

TEST_F(SpoolTest, RawJobStepsOutOfOrderAndOtherDataTypes) {
  std::u16string name = kBuiltIn, raw = u"raw", emf = u"NT EMF 1.008", doc = u"d";
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(Wp(name), &h, nullptr));
  DWORD written = 7;
  EXPECT_FALSE(WritePrinter(h, (void *)"abc", 3, &written));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_SPL_NO_STARTDOC);
  EXPECT_EQ(written, 0u);
  EXPECT_FALSE(EndDocPrinter(h));
  DOC_INFO_1W di{Wp(doc), nullptr, Wp(emf)};
  EXPECT_EQ(StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di)), 0u);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_DATATYPE);
  di.pDatatype = Wp(raw);
  EXPECT_EQ(StartDocPrinterW(h, 2, reinterpret_cast<LPBYTE>(&di)), 0u);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_LEVEL);
  ASSERT_NE(StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di)), 0u);
  EXPECT_EQ(StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di)), 0u);  // one job at a time
  EXPECT_TRUE(WritePrinter(h, (void *)"abc", 0, &written));
  EXPECT_EQ(written, 0u);
  EXPECT_FALSE(WritePrinter(h, nullptr, 3, &written));
  EXPECT_TRUE(WritePrinter(h, (void *)"abc", 3, &written));
  // Aborted, and a job closed without EndDocPrinter: neither leaves a file.
  EXPECT_TRUE(AbortPrinter(h));
  ASSERT_NE(StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di)), 0u);
  EXPECT_TRUE(WritePrinter(h, (void *)"abc", 3, &written));
  EXPECT_TRUE(ClosePrinter(h));
  EXPECT_TRUE(std::filesystem::is_empty(SpoolDir()));
}

TEST_F(SpoolTest, UnwritableFolderRefusesTheJobAndLeavesNothing) {
  // A folder below a regular file cannot be made, by root either.
  std::string blocker = dir_.file("blocker");
  std::ofstream(blocker) << "x";
  env_.Set("NOXTREL_SPOOL", blocker + "/spool");
  std::u16string name = kBuiltIn, raw = u"RAW", doc = u"";
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(Wp(name), &h, nullptr));
  DOC_INFO_1W di{Wp(doc), nullptr, Wp(raw)};
  EXPECT_EQ(StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di)), 0u);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
  DWORD written = 0;
  EXPECT_FALSE(WritePrinter(h, (void *)"abc", 3, &written));
  EXPECT_FALSE(EndDocPrinter(h));
  EXPECT_TRUE(ClosePrinter(h));
  if (::geteuid() != 0) {  // permissions do not stop root
    std::string ro = dir_.file("readonly");
    std::filesystem::create_directories(ro);
    ::chmod(ro.c_str(), 0500);
    env_.Set("NOXTREL_SPOOL", ro);
    EXPECT_EQ(RawJob(kBuiltIn, "x"), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_TRUE(std::filesystem::is_empty(ro));
  }
}

TEST_F(SpoolTest, OutputFileOtherThanThePortReceivesTheJob) {
  std::u16string name = kBuiltIn, raw = u"RAW", doc = u"";
  std::u16string file = W(dir_.file("out")) + u"\\job.bin";
  std::filesystem::create_directories(dir_.file("out"));
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(Wp(name), &h, nullptr));
  DOC_INFO_1W di{Wp(doc), Wp(file), Wp(raw)};
  ASSERT_NE(StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di)), 0u);
  DWORD written = 0;
  EXPECT_TRUE(WritePrinter(h, (void *)"to file", 7, &written));
  EXPECT_TRUE(EndDocPrinter(h));
  EXPECT_TRUE(ClosePrinter(h));
  auto got = ReadFileBytes(dir_.file("out/job.bin"));
  EXPECT_EQ(std::string(got.begin(), got.end()), "to file");
  EXPECT_FALSE(std::filesystem::exists(SpoolDir()) && !std::filesystem::is_empty(SpoolDir()));
}

TEST_F(SpoolTest, ConfigurationFileDeclaresThePrinters) {
  std::string ini = dir_.file("printers.ini");
  std::ofstream(ini) << "; two label printers\n"
                        "[Labels]\n"
                        "Resolution = 203\n"
                        "Paper = 9\n"
                        "Paper = 300, Label 100 x 50, 100x50mm\n"
                        "Paper = bogus\n"
                        "DefaultPaper = 300\n"
                        "Bin = 7\n"
                        "Bin = 260, Roll\n"
                        "Duplex = no\n"
                        "Margins = 0\n"
                        "Output = labels\n"
                        "[Second]\n"
                        "[Labels]\n"
                        "Resolution = 999\n";
  env_.Set("NOXTREL_PRINTERS", ini);
  std::vector<Printer> list = Enum();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, u"Labels");
  EXPECT_EQ(list[1].name, u"Second");
  EXPECT_EQ(list[0].port, W(dir_.file("labels")));
  EXPECT_EQ(Numbers(u"Labels", DC_PAPERS), (std::vector<WORD>{9, 300}));
  EXPECT_EQ(Names(u"Labels", DC_PAPERNAMES, 64), (std::vector<std::u16string>{u"A4", u"Label 100 x 50"}));
  EXPECT_EQ(Numbers(u"Labels", DC_BINS), (std::vector<WORD>{7, 260}));
  EXPECT_EQ(Names(u"Labels", DC_BINNAMES, 24),
            (std::vector<std::u16string>{u"Automatically Select", u"Roll"}));
  EXPECT_EQ(DeviceCapabilitiesW(u"Labels", nullptr, DC_DUPLEX, nullptr, nullptr), 0);
  LONG res[2];
  EXPECT_EQ(DeviceCapabilitiesW(u"Labels", nullptr, DC_ENUMRESOLUTIONS,
                                reinterpret_cast<LPWSTR>(res), nullptr), 1);
  EXPECT_EQ(res[0], 203);
  DEVMODEW dm{};
  std::u16string labels = u"Labels";
  ASSERT_EQ(DocumentPropertiesW(nullptr, nullptr, Wp(labels), &dm, nullptr, DM_OUT_BUFFER), 1);
  EXPECT_EQ(dm.dmPaperSize, 300);
  EXPECT_EQ(dm.dmPaperWidth, 1000);
  EXPECT_EQ(dm.dmPaperLength, 500);
  EXPECT_EQ(dm.dmDefaultSource, 7);
  // Names are matched without regard to case; the job goes to the folder.
  ASSERT_NE(RawJob(u"LABELS", "^XA^XZ"), 0u);
  EXPECT_EQ(ReadFileBytes(dir_.file("labels/job-1.prn")).size(), 6u);
  // The second printer took the built-in printer's values.
  EXPECT_EQ(Numbers(u"Second", DC_PAPERS).size(), 6u);
}

// A count sizes the caller's buffer: a printer that gains papers or bins
// before the fill does not write past it.
TEST_F(SpoolTest, FillsNeverWriteMoreThanTheCountTheCallerWasGiven) {
  std::string ini = dir_.file("printers.ini");
  env_.Set("NOXTREL_PRINTERS", ini);
  std::ofstream(ini) << "[Grows]\nPaper = 9\nPaper = 1\nBin = 1\n";
  ASSERT_EQ(DeviceCapabilitiesW(u"Grows", nullptr, DC_PAPERNAMES, nullptr, nullptr), 2);
  ASSERT_EQ(DeviceCapabilitiesW(u"Grows", nullptr, DC_BINS, nullptr, nullptr), 1);
  std::ofstream(ini) << "[Grows]\nPaper = 9\nPaper = 1\nPaper = 5\nPaper = 8\nBin = 1\nBin = 2\n";
  std::vector<WCHAR> names(4 * 64, u'#');
  EXPECT_EQ(DeviceCapabilitiesW(u"Grows", nullptr, DC_PAPERNAMES, names.data(), nullptr), 2);
  EXPECT_EQ(std::u16string(names.data() + 64), u"Letter");
  EXPECT_EQ(names[2 * 64], u'#');
  std::vector<WORD> numbers(4, 0xEEEE);
  LPWSTR out = reinterpret_cast<LPWSTR>(numbers.data());
  EXPECT_EQ(DeviceCapabilitiesW(u"Grows", nullptr, DC_PAPERS, out, nullptr), 2);
  EXPECT_EQ(numbers, (std::vector<WORD>{DMPAPER_A4, DMPAPER_LETTER, 0xEEEE, 0xEEEE}));
  std::vector<POINT> sizes(4, POINT{-1, -1});
  EXPECT_EQ(DeviceCapabilitiesW(u"Grows", nullptr, DC_PAPERSIZE,
                                reinterpret_cast<LPWSTR>(sizes.data()), nullptr),
            2);
  EXPECT_EQ(sizes[2].x, -1);
  numbers.assign(4, 0xEEEE);
  EXPECT_EQ(DeviceCapabilitiesW(u"Grows", nullptr, DC_BINS, out, nullptr), 1);
  EXPECT_EQ(numbers[1], 0xEEEE);
  std::vector<WCHAR> bins(2 * 24, u'#');
  EXPECT_EQ(DeviceCapabilitiesW(u"Grows", nullptr, DC_BINNAMES, bins.data(), nullptr), 1);
  EXPECT_EQ(bins[24], u'#');
  // A new count gives the new lists.
  EXPECT_EQ(DeviceCapabilitiesW(u"Grows", nullptr, DC_PAPERS, nullptr, nullptr), 4);
  EXPECT_EQ(DeviceCapabilitiesW(u"Grows", nullptr, DC_PAPERNAMES, names.data(), nullptr), 4);
  EXPECT_EQ(std::u16string(names.data() + 3 * 64), u"A3");
}

TEST_F(SpoolTest, ConfigurationWithoutPrintersMeansNoPrinter) {
  std::string ini = dir_.file("empty.ini");
  std::ofstream(ini) << "; nothing here\n";
  env_.Set("NOXTREL_PRINTERS", ini);
  EXPECT_TRUE(Enum().empty());
  WCHAR name[64];
  DWORD cch = 64;
  EXPECT_FALSE(GetDefaultPrinterW(name, &cch));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
  DWORD need = 1, count = 1;
  EXPECT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &need, &count));
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 3, nullptr, 0, &need, &count));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_LEVEL);
}

}  // namespace
}  // namespace nxtest
