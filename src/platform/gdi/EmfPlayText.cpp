// Playing the text records of a metafile through ExtTextOutW.
#include "platform/gdi/EmfRecords.h"

namespace nx::gdi {

namespace {

// Text records carry the graphics mode they were written in (at 24 in
// EXTTEXTOUT, POLYTEXTOUT and SMALLTEXTOUT): in GM_COMPATIBLE the glyphs
// stay upright whatever the world transform, in GM_ADVANCED they follow it.
class TextModeScope {
 public:
  TextModeScope(const Player &p, const RecordView &r) : dc_(DcFromHandle(p.hdc)) {
    DWORD mode = r.Size() >= 28 ? r.U32(24) : 0;
    if (!dc_) return;
    old_ = dc_->textGraphicsMode;
    dc_->textGraphicsMode = mode == GM_COMPATIBLE || mode == GM_ADVANCED ? (int)mode : 0;
  }
  ~TextModeScope() {
    if (dc_) dc_->textGraphicsMode = old_;
  }
  TextModeScope(const TextModeScope &) = delete;
  TextModeScope &operator=(const TextModeScope &) = delete;

 private:
  Dc *dc_;
  int old_ = 0;
};

bool Aligned(const void *p, size_t a) { return reinterpret_cast<uintptr_t>(p) % a == 0; }

// One EMRTEXT at `at`: the string and advances it points to are checked
// against the record. Without ETO_NO_RECT the rectangle sits between
// fOptions and offDx; with it, offDx follows fOptions.
bool PlayEmrText(const Player &p, const RecordView &r, size_t at, bool ansi) {
  constexpr size_t kOptions = offsetof(EMRTEXT, fOptions);
  if (!r.Fits(at, 1, kOptions + 4)) return false;
  LONG x = (LONG)r.U32(at), y = (LONG)r.U32(at + 4);
  DWORD n = r.U32(at + 8), offString = r.U32(at + 12), options = r.U32(at + kOptions);
  bool noRect = (options & ETO_NO_RECT) != 0;
  size_t offDxAt = at + (noRect ? kOptions + 4 : offsetof(EMRTEXT, offDx));
  if (!r.Fits(offDxAt, 1, 4) || !r.Fits(offString, n, ansi ? 1 : 2)) return false;
  RECT rc{};
  if (!noRect) std::memcpy(&rc, r.At(at + offsetof(EMRTEXT, rcl)), sizeof rc);
  DWORD offDx = r.U32(offDxAt);
  uint64_t count = (uint64_t)n * ((options & ETO_PDY) ? 2 : 1);
  if (offDx && !ansi && !r.Fits(offDx, count, 4)) return false;
  bool useRect = !noRect && (options & (ETO_OPAQUE | ETO_CLIPPED));
  UINT drawOptions = options & ~ETO_NO_RECT;
  // A UTF-16 string and advances that sit aligned in the record are drawn
  // from it; others are copied out first.
  if (!ansi && Aligned(r.At(offString), alignof(WCHAR)) && (!offDx || Aligned(r.At(offDx), alignof(INT)))) {
    const INT *dx = offDx && n ? reinterpret_cast<const INT *>(r.At(offDx)) : nullptr;
    return ExtTextOutW(p.hdc, x, y, drawOptions, useRect ? &rc : nullptr,
                       reinterpret_cast<LPCWSTR>(r.At(offString)), n, dx);
  }
  std::u16string text(n, u'\0');
  if (ansi) {
    int got = n ? MultiByteToWideChar(CP_ACP, 0, (LPCSTR)r.At(offString), (int)n,
                                      (LPWSTR)text.data(), (int)n)
                : 0;
    text.resize((size_t)std::max(got, 0));
  } else if (n) {
    std::memcpy(text.data(), r.At(offString), 2 * (size_t)n);
  }
  std::vector<INT> dx;
  if (offDx && text.size() == n) {
    if (!r.Fits(offDx, count, 4)) return false;
    dx.resize((size_t)count);
    if (count) std::memcpy(dx.data(), r.At(offDx), 4 * (size_t)count);
  }
  return ExtTextOutW(p.hdc, x, y, drawOptions, useRect ? &rc : nullptr,
                     (LPCWSTR)text.data(), (UINT)text.size(), dx.empty() ? nullptr : dx.data());
}

// SMALLTEXTOUT: x, y, cChars, fuOptions, iGraphicsMode, two scales, then
// the rectangle unless ETO_NO_RECT is set, then the characters without
// advances: one byte each (the low byte of a UTF-16 unit) with this flag.
constexpr DWORD kSmallChars = 0x200;

bool PlaySmallText(const Player &p, const RecordView &r) {
  constexpr size_t kRect = 36;
  if (r.Size() < kRect) return false;
  LONG x = (LONG)r.U32(8), y = (LONG)r.U32(12);
  DWORD n = r.U32(16), options = r.U32(20);
  bool noRect = (options & ETO_NO_RECT) != 0, small = (options & kSmallChars) != 0;
  size_t at = kRect + (noRect ? 0 : sizeof(RECTL));
  if (!r.Fits(at, n, small ? 1 : 2)) return false;
  RECT rc{};
  if (!noRect) std::memcpy(&rc, r.At(kRect), sizeof rc);
  std::u16string text(n, u'\0');
  for (DWORD i = 0; i < n; ++i) {
    if (small) {
      text[i] = r.At(at)[i];
    } else {
      uint16_t u;
      std::memcpy(&u, r.At(at + 2 * (size_t)i), 2);
      text[i] = u;
    }
  }
  bool useRect = !noRect && (options & (ETO_OPAQUE | ETO_CLIPPED));
  return ExtTextOutW(p.hdc, x, y, options & ~(ETO_NO_RECT | kSmallChars), useRect ? &rc : nullptr,
                     (LPCWSTR)text.data(), n, nullptr);
}

}  // namespace

bool IsTextRecord(DWORD t) {
  return t == EMR_EXTTEXTOUTW || t == EMR_EXTTEXTOUTA || t == EMR_POLYTEXTOUTW ||
         t == EMR_POLYTEXTOUTA || t == EMR_SMALLTEXTOUT;
}

bool PlayText(const Player &p, const RecordView &r) {
  TextModeScope mode(p, r);
  DWORD t = r.Type();
  if (t == EMR_SMALLTEXTOUT) return PlaySmallText(p, r);
  bool ansi = t == EMR_EXTTEXTOUTA || t == EMR_POLYTEXTOUTA;
  if (t == EMR_EXTTEXTOUTW || t == EMR_EXTTEXTOUTA)
    return PlayEmrText(p, r, offsetof(EMREXTTEXTOUTW, emrtext), ansi);
  // POLYTEXTOUT: a count at 36, then that many EMRTEXT blocks.
  constexpr size_t kTexts = offsetof(EMREXTTEXTOUTW, emrtext) + 4;
  DWORD count = r.U32(kTexts - 4);
  if (!r.Fits(kTexts, count, sizeof(EMRTEXT))) return false;
  bool ok = true;
  for (DWORD i = 0; i < count; ++i) ok = PlayEmrText(p, r, kTexts + sizeof(EMRTEXT) * i, ansi) && ok;
  return ok;
}

}  // namespace nx::gdi
