#include "export/gtPDFCrypt3.h"

#include <nettle/arcfour.h>
#include <nettle/md5.h>

#include <cstring>

#include "common/ErrorChannel.h"
#include "export/gtCstPDFEngFormat.h"

namespace nx {

namespace {

// The padding string of the standard security handler.
const uint8_t kPad[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                          0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                          0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

std::string_view View(const uint8_t *p, size_t n) { return {reinterpret_cast<const char *>(p), n}; }
template <size_t N>
std::string_view View(const std::array<uint8_t, N> &a, size_t n = N) {
  return View(a.data(), n);
}

std::array<uint8_t, 32> PadPassword(const std::string &pw) {
  std::array<uint8_t, 32> out{};
  const size_t n = std::min<size_t>(pw.size(), 32);
  std::memcpy(out.data(), pw.data(), n);
  std::memcpy(out.data() + n, kPad, 32 - n);
  return out;
}

// The digest hashed 50 more times over its first n bytes, as revision 3 asks.
void Rehash50(TMd5Digest &d, size_t n) {
  for (int i = 0; i < 50; ++i) d = Md5({View(d, n)});
}

// RC4 twenty times, the key's bytes XOR the round number (revision 3).
void Rc4Rounds(const uint8_t *key, size_t n, uint8_t *data, size_t size) {
  uint8_t k[16];
  for (int i = 0; i < 20; ++i) {
    for (size_t j = 0; j < n; ++j) k[j] = static_cast<uint8_t>(key[j] ^ i);
    Rc4(View(k, n), data, size);
  }
}

}  // namespace

// --- settings ---------------------------------------------------------------

void TgtPDFEncryptionSettings::CheckOwner() const {
  if (!FIsOwner) throw ENxError(nxeGeneral, "User cannot change encryption settings");
}
void TgtPDFEncryptionSettings::SetEnabled(bool v) {
  CheckOwner();
  FEnabled = v;
}
void TgtPDFEncryptionSettings::SetLevel(TgtPDFEncryptionLevel v) {
  CheckOwner();
  FLevel = v;
}
void TgtPDFEncryptionSettings::SetOwnerPassword(const std::string &v) {
  CheckOwner();
  FOwnerPassword = v;
}
void TgtPDFEncryptionSettings::SetUserPassword(const std::string &v) {
  CheckOwner();
  FUserPassword = v;
}
void TgtPDFEncryptionSettings::SetUserPermissions(TgtUserPermissions v) {
  CheckOwner();
  FUserPermissions = v;
}

// --- primitives -------------------------------------------------------------

TMd5Digest Md5(std::initializer_list<std::string_view> parts) {
  md5_ctx ctx;
  md5_init(&ctx);
  for (std::string_view p : parts) md5_update(&ctx, p.size(), reinterpret_cast<const uint8_t *>(p.data()));
  TMd5Digest d;
  md5_digest(&ctx, d.size(), d.data());
  return d;
}

void Rc4(std::string_view key, uint8_t *data, size_t size) {
  if (key.empty() || key.size() > 256) throw ENxError(nxeGeneral, "RC4: Invalid key length");
  arcfour_ctx ctx;
  arcfour_set_key(&ctx, key.size(), reinterpret_cast<const uint8_t *>(key.data()));
  arcfour_crypt(&ctx, size, data, data);
}

int32_t PermissionValue(TgtPDFEncryptionLevel level, TgtUserPermissions p) {
  const bool full = level == elRC4_128Bit;
  uint32_t v = full ? 0xFFFFF0C0u : 0xFFFFFFC0u;
  if (p.Has(AllowPrint)) v |= 4;
  if (p.Has(AllowModify)) v |= 8;
  if (p.Has(AllowCopy)) v |= 16;
  if (p.Has(AllowAnnotation)) v |= 32;
  if (full) {
    if (p.Has(AllowFormFill)) v |= 256;
    if (p.Has(AllowAccessibility)) v |= 512;
    if (p.Has(AllowDocAssembly)) v |= 1024;
    if (p.Has(AllowHighResPrint) && p.Has(AllowPrint)) v |= 2048;
  }
  return static_cast<int32_t>(v);
}

// --- the handler ------------------------------------------------------------

TgtPDFEncryption::TgtPDFEncryption(std::string_view fileName, const TgtPDFEncryptionSettings &s,
                                   std::string_view creationTime)
    : FLevel(s.Level()) {
  FFileID = FileIdOf(fileName, creationTime);
  FPermission = nx::PermissionValue(FLevel, s.UserPermissions());
  const std::string owner = s.IsOwner() ? s.OwnerPassword() : std::string();
  FUserPad = PadPassword(s.UserPassword());
  FOwnerPad = owner.empty() ? FUserPad : PadPassword(owner);
  ComputeOwnerKey();
  ComputeFileKey();
  ComputeUserKey();
}

TMd5Digest TgtPDFEncryption::FileIdOf(std::string_view fileName, std::string_view time) {
  return Md5({fileName, time});
}

void TgtPDFEncryption::ComputeOwnerKey() {
  TMd5Digest d = Md5({View(FOwnerPad)});
  const size_t n = KeyLength();
  FOwnerKey = FUserPad;
  if (FLevel == elRC4_40Bit) {
    Rc4(View(d, 5), FOwnerKey.data(), 32);
    return;
  }
  Rehash50(d, 16);
  Rc4Rounds(d.data(), n, FOwnerKey.data(), 32);
}

void TgtPDFEncryption::ComputeFileKey() {
  uint8_t p[4];
  const uint32_t u = static_cast<uint32_t>(FPermission);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(u >> (8 * i));
  TMd5Digest d = Md5({View(FUserPad), View(FOwnerKey), View(p, 4), View(FFileID)});
  const size_t n = KeyLength();
  if (FLevel == elRC4_128Bit) Rehash50(d, n);
  std::memcpy(FFileKey.data(), d.data(), n);
}

void TgtPDFEncryption::ComputeUserKey() {
  const size_t n = KeyLength();
  if (FLevel == elRC4_40Bit) {
    std::memcpy(FUserKey.data(), kPad, 32);
    Rc4(View(FFileKey, n), FUserKey.data(), 32);
    return;
  }
  TMd5Digest d = Md5({View(kPad, 32), View(FFileID)});
  Rc4Rounds(FFileKey.data(), n, d.data(), 16);
  FUserKey.fill(0);
  std::memcpy(FUserKey.data(), d.data(), 16);
}

std::string TgtPDFEncryption::GetFileID() const { return std::string(View(FFileID)); }
std::string TgtPDFEncryption::GetOwnerKey() const { return std::string(View(FOwnerKey)); }
std::string TgtPDFEncryption::GetUserKey() const { return std::string(View(FUserKey)); }
std::string TgtPDFEncryption::GetFileKey() const { return std::string(View(FFileKey, KeyLength())); }

std::string TgtPDFEncryption::ObjectKey(int32_t objNo, int32_t genNo) const {
  const size_t n = KeyLength();
  const uint8_t tail[5] = {static_cast<uint8_t>(objNo), static_cast<uint8_t>(objNo >> 8),
                           static_cast<uint8_t>(objNo >> 16), static_cast<uint8_t>(genNo),
                           static_cast<uint8_t>(genNo >> 8)};
  const TMd5Digest d = Md5({View(FFileKey, n), View(tail, 5)});
  return std::string(View(d, std::min<size_t>(n + 5, 16)));
}

void TgtPDFEncryption::EncryptBuffer(const uint8_t *source, uint8_t *dest, int32_t genNo, int32_t objNo,
                                     size_t size) const {
  if (size == 0) return;
  if (dest != source) std::memmove(dest, source, size);
  Rc4(ObjectKey(objNo, genNo), dest, size);
}

void TgtPDFEncryption::EncryptStream(std::string &stream, size_t size, int32_t genNo, int32_t objNo) const {
  size = std::min(size, stream.size());
  auto *p = reinterpret_cast<uint8_t *>(stream.data());
  EncryptBuffer(p, p, genNo, objNo, size);
}

std::string TgtPDFEncryption::DictionaryBody() const {
  const bool full = FLevel == elRC4_128Bit;
  std::string s = full ? "/V 2/R 3" : "/V 1/R 2";
  s += "/P ";
  pdf::AppendInt(s, FPermission);
  if (full) s += "/Length 128";
  s += "/Filter/Standard/O <" + pdf::HexBytes(View(FOwnerKey)) + ">/U <" + pdf::HexBytes(View(FUserKey)) + ">\r\n";
  return s;
}

}  // namespace nx
