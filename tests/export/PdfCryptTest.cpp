// The standard security handler: keys, /O, /U, /P and object encryption,
// judged by qpdf on files written with them.
#include <gtest/gtest.h>

#include <regex>

#include "export/gtCstPDFEngFormat.h"
#include "export/gtCstPDFEngWriter.h"
#include "export/gtPDFCrypt3.h"
#include "support/TestSupport.h"

using namespace nx;
using namespace nx::pdf;

namespace {

TgtPDFEncryptionSettings Settings(TgtPDFEncryptionLevel level, const std::string &owner, const std::string &user,
                                  TgtUserPermissions perms) {
  TgtPDFEncryptionSettings s;
  s.SetEnabled(true);
  s.SetLevel(level);
  s.SetOwnerPassword(owner);
  s.SetUserPassword(user);
  s.SetUserPermissions(perms);
  return s;
}

// A one-page PDF whose content stream and title are encrypted by the handler.
std::string EncryptedFile(const TgtPDFEncryption &crypt) {
  TPdfObjectWriter w;
  w.WriteRaw("%PDF-1.4\r\n%\xE2\xE3\xCF\xD3\r\n");
  w.WriteObject("/Type/Catalog/Pages 2 0 R\r\n", 1);
  w.WriteObject("/Type/Pages/Count 1/Kids [6 0 R]\r\n", 2);
  std::string title = "Secret title";
  crypt.EncryptStream(title, title.size(), 0, 3);
  w.WriteObject("/Title <" + HexBytes(title) + ">\r\n", 3);
  w.WriteObject("[/PDF /Text]", 4);
  w.WriteObject("/Font <</F0 9 0 R>>/ProcSet 4 0 R\r\n", 5);
  const int page = w.NextObjectNumber(), contents = w.NextObjectNumber(), font = w.NextObjectNumber();
  w.WriteObject("/Type/Page/Parent 2 0 R/MediaBox [0 0 200 100]/Resources 5 0 R/Contents " + Ref(contents) + "\r\n", page);
  std::string content = "BT /F0 12 Tf 10 50 Td (Hello secret) Tj ET";
  crypt.EncryptStream(content, content.size(), 0, contents);
  w.WriteObject("/Length " + std::to_string(content.size()) + "\r\n", contents, false);
  w.WriteStreamData(content);
  w.WriteObject("/Type/Font/Subtype/Type1/BaseFont/Helvetica\r\n", font);
  const int enc = w.NextObjectNumber();
  w.WriteObject(crypt.DictionaryBody(), enc);
  const std::string id = HexBytes(crypt.GetFileID());
  w.WriteXRefAndTrailer("/Root 1 0 R/Info 3 0 R/Size " + std::to_string(w.LastObjNo() + 1) + "/ID [<" + id + "><" +
                        id + ">]/Encrypt " + Ref(enc));
  return w.Buffer();
}

struct QpdfView {
  std::string output;
  std::string key;
  std::string r, p;
};

QpdfView ShowEncryption(const std::string &path, const std::string &password) {
  const auto res = nxtest::RunCommand("qpdf --show-encryption --show-encryption-key --password=" +
                                      nxtest::ShellQuote(password) + " " + nxtest::ShellQuote(path));
  QpdfView v{res.output, "", "", ""};
  std::smatch m;
  if (std::regex_search(res.output, m, std::regex("key = ([0-9a-f]+)"))) v.key = m[1];
  if (std::regex_search(res.output, m, std::regex("R = (\\d+)"))) v.r = m[1];
  if (std::regex_search(res.output, m, std::regex("P = (-?\\d+)"))) v.p = m[1];
  return v;
}

std::string LowerHex(const std::string &bytes) {
  std::string h = HexBytes(bytes);
  for (char &c : h) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return h;
}

}  // namespace

TEST(PdfPermissions, ValuesOfBothLevels) {
  const TgtUserPermissions lib{AllowCopy, AllowPrint, AllowAnnotation};
  EXPECT_EQ(PermissionValue(elRC4_128Bit, lib), -3852);
  EXPECT_EQ(PermissionValue(elRC4_40Bit, lib), -12);
  EXPECT_EQ(PermissionValue(elRC4_128Bit, TgtUserPermissions::All()), -4);
  // High-resolution printing only together with printing.
  EXPECT_EQ(PermissionValue(elRC4_128Bit, {AllowHighResPrint}), static_cast<int32_t>(0xFFFFF0C0u));
}

TEST(PdfEncryptionSettings, OwnerRuleAndDefaults) {
  TgtPDFEncryptionSettings s;
  EXPECT_FALSE(s.Enabled());
  EXPECT_EQ(s.Level(), elRC4_128Bit);
  EXPECT_EQ(s.UserPermissions(), TgtUserPermissions::All());
  s.SetOwnerPassword("own");
  EXPECT_EQ(s.OwnerPassword(), "own");
  s.SetIsOwner(false);
  EXPECT_EQ(s.OwnerPassword(), "");
  try {
    s.SetEnabled(true);
    FAIL() << "changed without the owner flag";
  } catch (const std::exception &e) {
    EXPECT_STREQ(e.what(), "User cannot change encryption settings");
  }
  uint8_t b[4] = {1, 2, 3, 4};
  EXPECT_THROW(Rc4("", b, 4), std::exception);
}

TEST(PdfEncryption, ObjectKeysAndIdentifier) {
  const TgtPDFEncryption h128("C:\\out\\reportpdf", Settings(elRC4_128Bit, "a", "a", TgtUserPermissions::All()), "D:20260101000000+00'00'");
  const TgtPDFEncryption h40("C:\\out\\reportpdf", Settings(elRC4_40Bit, "a", "a", {}), "D:20260101000000+00'00'");
  EXPECT_EQ(h128.GetFileID(), h40.GetFileID());  // same name and second: same identifier
  const auto d = Md5({"C:\\out\\reportpdf", "D:20260101000000+00'00'"});
  EXPECT_EQ(h128.GetFileID(), std::string(reinterpret_cast<const char *>(d.data()), 16));
  EXPECT_EQ(h128.ObjectKey(7, 0).size(), 16u);
  EXPECT_EQ(h40.ObjectKey(7, 0).size(), 10u);
  EXPECT_EQ(h40.GetFileKey().size(), 5u);
  EXPECT_NE(h128.ObjectKey(7, 0), h128.ObjectKey(8, 0));
  // RC4 is its own inverse with a fresh state per string.
  std::string s = "text", t = s;
  h128.EncryptStream(t, t.size(), 0, 3);
  EXPECT_NE(t, s);
  h128.EncryptStream(t, t.size(), 0, 3);
  EXPECT_EQ(t, s);
  EXPECT_NE(h128.DictionaryBody().find("/V 2/R 3/P -4/Length 128/Filter/Standard/O <"), std::string::npos);
  EXPECT_EQ(h40.DictionaryBody().find("/Length"), std::string::npos);
  EXPECT_TRUE(h40.DictionaryBody().starts_with("/V 1/R 2/P -12") ||
              h40.DictionaryBody().starts_with("/V 1/R 2/P -64"));
}

// Every key derivation is judged by qpdf: the file key it derives from the
// password must equal ours, and the decrypted text must be the original.
TEST(PdfEncryption, QpdfDerivesOurKeysForEveryCase) {
  NX_REQUIRE_TOOL("qpdf");
  NX_REQUIRE_TOOL("pdftotext");
  nxtest::TempDir dir;
  const TgtUserPermissions lib{AllowCopy, AllowPrint, AllowAnnotation};
  struct Case {
    const char *name;
    TgtPDFEncryptionLevel level;
    std::string owner, user, open;
    TgtUserPermissions perms;
    const char *r, *p;
  } cases[] = {
      {"library", elRC4_128Bit, "pw", "pw", "pw", lib, "3", "-3852"},
      {"forty", elRC4_40Bit, "pw", "pw", "pw", lib, "2", "-12"},
      {"all", elRC4_128Bit, "o", "u", "u", TgtUserPermissions::All(), "3", "-4"},
      {"empty", elRC4_128Bit, "", "", "", lib, "3", "-3852"},
      {"owner-only", elRC4_128Bit, "boss", "", "", lib, "3", "-3852"},
      {"user-only", elRC4_40Bit, "", "reader", "reader", lib, "2", "-12"},
      {"long", elRC4_128Bit, std::string(40, 'x'), std::string(40, 'y'), std::string(32, 'y'), lib, "3", "-3852"},
      {"ansi", elRC4_128Bit, "\xE9t\xE9", "\xE9t\xE9", "\xE9t\xE9", lib, "3", "-3852"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const TgtPDFEncryption h("name", Settings(c.level, c.owner, c.user, c.perms), "D:20260101000000+01'00'");
    const std::string path = dir.file(std::string(c.name) + ".pdf");
    const std::string bytes = EncryptedFile(h);
    nxtest::WriteFileBytes(path, std::vector<unsigned char>(bytes.begin(), bytes.end()));
    const QpdfView v = ShowEncryption(path, c.open);
    EXPECT_EQ(v.key, LowerHex(h.GetFileKey())) << v.output;
    EXPECT_EQ(v.r, c.r) << v.output;
    EXPECT_EQ(v.p, c.p) << v.output;
    EXPECT_EQ(nxtest::RunCommand("qpdf --check --password=" + nxtest::ShellQuote(c.open) + " " + path).exitCode, 0);
    const auto text = nxtest::RunCommand("pdftotext -upw " + nxtest::ShellQuote(c.open) + " " + path + " -");
    EXPECT_NE(text.output.find("Hello secret"), std::string::npos) << text.output;
    const auto info = nxtest::RunCommand("pdfinfo -upw " + nxtest::ShellQuote(c.open) + " " + path);
    EXPECT_NE(info.output.find("Secret title"), std::string::npos) << info.output;
    if (!c.owner.empty() && c.owner != c.user) {
      // The owner password opens it too.
      EXPECT_EQ(ShowEncryption(path, c.owner).key, LowerHex(h.GetFileKey()));
    }
    if (!c.user.empty()) {
      const auto wrong = nxtest::RunCommand("pdftotext -upw wrong " + path + " -");
      EXPECT_NE(wrong.exitCode, 0);
    }
  }
}
