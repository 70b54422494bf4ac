// The standard security handler of PDF, revisions 2 (40-bit RC4) and 3
// (128-bit RC4): the settings an engine keeps between documents, and the
// handler of one document that derives the keys and encrypts its strings and
// streams. MD5 and RC4 are nettle's.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace nx {

enum TgtPDFEncryptionLevel : uint8_t { elRC4_40Bit = 0, elRC4_128Bit = 1 };

enum TgtUserPermissionsType : uint8_t {
  AllowCopy = 0,
  AllowModify = 1,
  AllowPrint = 2,
  AllowAnnotation = 3,
  AllowFormFill = 4,
  AllowAccessibility = 5,
  AllowDocAssembly = 6,
  AllowHighResPrint = 7,
};

// A set of TgtUserPermissionsType, one bit per member.
class TgtUserPermissions {
 public:
  constexpr TgtUserPermissions() = default;
  constexpr TgtUserPermissions(std::initializer_list<TgtUserPermissionsType> l) {
    for (auto p : l) bits_ |= static_cast<uint8_t>(1u << p);
  }
  static constexpr TgtUserPermissions All() {
    TgtUserPermissions p;
    p.bits_ = 0xFF;
    return p;
  }
  constexpr bool Has(TgtUserPermissionsType p) const { return (bits_ >> p) & 1u; }
  constexpr bool operator==(const TgtUserPermissions &) const = default;

 private:
  uint8_t bits_ = 0;
};

// The encryption settings of an engine; they stay until changed.
class TgtPDFEncryptionSettings {
 public:
  bool Enabled() const { return FEnabled; }
  TgtPDFEncryptionLevel Level() const { return FLevel; }
  // The owner password only while the settings may be changed.
  std::string OwnerPassword() const { return FIsOwner ? FOwnerPassword : std::string(); }
  const std::string &UserPassword() const { return FUserPassword; }
  TgtUserPermissions UserPermissions() const { return FUserPermissions; }
  bool IsOwner() const { return FIsOwner; }

  void SetEnabled(bool v);
  void SetLevel(TgtPDFEncryptionLevel v);
  void SetOwnerPassword(const std::string &v);
  void SetUserPassword(const std::string &v);
  void SetUserPermissions(TgtUserPermissions v);
  void SetIsOwner(bool v) { FIsOwner = v; }

 private:
  void CheckOwner() const;

  bool FIsOwner = true;
  bool FEnabled = false;
  TgtPDFEncryptionLevel FLevel = elRC4_128Bit;
  std::string FOwnerPassword;
  std::string FUserPassword;
  TgtUserPermissions FUserPermissions = TgtUserPermissions::All();
};

using TMd5Digest = std::array<uint8_t, 16>;
// MD5 of the concatenated parts.
TMd5Digest Md5(std::initializer_list<std::string_view> parts);
// RC4 over the bytes in place; the key is 1 .. 256 bytes.
void Rc4(std::string_view key, uint8_t *data, size_t size);

// The handler of one document.
class TgtPDFEncryption {
 public:
  // Passwords and permissions from the settings; the file identifier is the
  // MD5 of fileName followed by creationTime (both 8-bit texts).
  TgtPDFEncryption(std::string_view fileName, const TgtPDFEncryptionSettings &settings,
                   std::string_view creationTime);

  // The identifier a document without encryption gets, from the same digest.
  static TMd5Digest FileIdOf(std::string_view fileName, std::string_view time);

  std::string GetFileID() const;
  std::string GetOwnerKey() const;
  std::string GetUserKey() const;
  std::string GetFileKey() const;
  int32_t PermissionValue() const { return FPermission; }
  TgtPDFEncryptionLevel Level() const { return FLevel; }

  // The key of object objNo, generation genNo.
  std::string ObjectKey(int32_t objNo, int32_t genNo) const;
  void EncryptBuffer(const uint8_t *source, uint8_t *dest, int32_t genNo, int32_t objNo, size_t size) const;
  void EncryptStream(std::string &stream, size_t size, int32_t genNo, int32_t objNo) const;
  // The object body of the encryption dictionary (without "<<" ">>").
  std::string DictionaryBody() const;

 private:
  size_t KeyLength() const { return FLevel == elRC4_40Bit ? 5 : 16; }
  void ComputeOwnerKey();
  void ComputeFileKey();
  void ComputeUserKey();

  TgtPDFEncryptionLevel FLevel;
  TMd5Digest FFileID{};
  std::array<uint8_t, 32> FOwnerKey{};
  std::array<uint8_t, 32> FUserKey{};
  std::array<uint8_t, 16> FFileKey{};
  int32_t FPermission = 0;
  std::array<uint8_t, 32> FOwnerPad{};
  std::array<uint8_t, 32> FUserPad{};
};

// The /P value of the permissions at the level.
int32_t PermissionValue(TgtPDFEncryptionLevel level, TgtUserPermissions perms);

}  // namespace nx
