#include "platform/text/DrawTextLayout.h"

#include <algorithm>
#include <string_view>

namespace nx::text {
namespace {

bool IsNewline(char16_t c) { return c == u'\r' || c == u'\n'; }
bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// "&x" shows x (underlined by GDI; we draw it plain) and "&&" shows "&".
std::u16string StripPrefixes(const WCHAR *s, size_t n) {
  std::u16string out;
  for (size_t i = 0; i < n; ++i) {
    if (s[i] == u'&' && i + 1 < n) ++i;
    else if (s[i] == u'&') continue;
    out += char16_t(s[i]);
  }
  return out;
}

struct Measurer {
  const MeasureFn &fn;
  std::vector<int> adv;
  int Width(const std::u16string &t) {
    adv.resize(t.size());
    if (!t.empty()) fn(reinterpret_cast<const WCHAR *>(t.data()), t.size(), adv.data());
    int w = 0;
    for (int a : adv) w += a;
    return w;
  }
  // How many leading characters of t fit in width.
  size_t Fit(const std::u16string &t, int width) {
    adv.resize(t.size());
    if (!t.empty()) fn(reinterpret_cast<const WCHAR *>(t.data()), t.size(), adv.data());
    return FitAdvances(adv.data(), t.size(), width);
  }
  static size_t FitAdvances(const int *a, size_t n, int width) {
    long w = 0;
    size_t k = 0;
    while (k < n && w + a[k] <= width) w += a[k++];
    return k;
  }
};

// One paragraph (the text between line breaks) measured once: each of its
// lines is fitted from the advances already there, so laying out a long
// paragraph takes time in proportion to its length, not to its square.
struct Paragraph {
  size_t start = 0, end = 0;
  std::vector<int> adv;
  bool entered = false, measured = false;
  // Enters the paragraph that holds pos, or stays in the current one.
  void Enter(const std::u16string &text, size_t pos, bool single) {
    if (entered && pos >= start && pos < end) return;
    start = end = pos;
    while (end < text.size() && !(!single && IsNewline(text[end]))) ++end;
    entered = true;
    measured = false;
  }
  size_t Fit(Measurer &m, const std::u16string &text, size_t pos, int width) {
    if (!measured) {
      adv.resize(end - start);
      if (end > start) m.fn(reinterpret_cast<const WCHAR *>(text.data() + start), end - start, adv.data());
      measured = true;
    }
    return Measurer::FitAdvances(adv.data() + (pos - start), end - pos, width);
  }
};

// Splits a segment (no newlines) at the word-break point; returns the line
// length and sets `next` to where the following line starts.
size_t BreakSegment(std::u16string_view seg, size_t fit, UINT flags, size_t &next) {
  const bool left = !(flags & (DT_RIGHT | DT_CENTER));
  if (fit < seg.size() && IsBlank(seg[fit])) {  // the break falls on whitespace
    next = fit + (seg[fit] == u' ' ? 1 : 0);
    size_t len = fit;
    if (!left && len > 0 && seg[len - 1] == u' ') --len;  // right/centre drop a trailing space
    return len;
  }
  size_t w = fit;
  while (w > 0 && !IsBlank(seg[w - 1])) --w;
  if (w > 0) {  // whitespace at w - 1
    size_t ws = w - 1;
    if (left) {
      next = w;
      return w;
    }
    next = ws + (seg[ws] == u' ' ? 1 : 0);
    return ws;
  }
  // One word longer than the line.
  if ((flags & DT_EDITCONTROL) && !(flags & (DT_WORD_ELLIPSIS | DT_PATH_ELLIPSIS))) {
    next = std::max<size_t>(fit, 1);
    return next;
  }
  size_t end = 0;
  while (end < seg.size() && !IsBlank(seg[end])) ++end;
  next = end + (end < seg.size() && seg[end] == u' ' ? 1 : 0);
  return end;
}

// Length of the line break at t[pos] (0, 1 or 2 units).
size_t NewlineLength(const std::u16string &t, size_t pos) {
  if (pos >= t.size() || !IsNewline(t[pos])) return 0;
  if (pos + 1 < t.size() && IsNewline(t[pos + 1]) && t[pos + 1] != t[pos]) return 2;
  return 1;
}

std::u16string Ellipsise(Measurer &m, const std::u16string &line, int width) {
  const std::u16string dots = u"...";
  int dotsWidth = m.Width(dots);
  size_t keep = dotsWidth <= width ? m.Fit(line, width - dotsWidth) : 0;
  return line.substr(0, keep) + dots;
}

}  // namespace

DrawTextLayout LayoutDrawText(const WCHAR *s, size_t n, const RECT &rc, UINT flags, int lineHeight,
                              const MeasureFn &measure) {
  DrawTextLayout out;
  out.calcRect = rc;
  if (!s || n == 0) {
    out.calcRect.right = rc.left;
    out.calcRect.bottom = rc.top;
    return out;
  }
  if (flags & DT_SINGLELINE) flags &= ~UINT(DT_WORDBREAK);
  if (flags & DT_CALCRECT) flags |= DT_NOCLIP;
  const std::u16string text = (flags & DT_NOPREFIX) ? std::u16string(reinterpret_cast<const char16_t *>(s), n)
                                                    : StripPrefixes(s, n);
  const int lh = std::max(1, lineHeight);
  const long width = long(rc.right) - rc.left;
  Measurer m{measure, {}};
  long y = rc.top;
  if (flags & DT_SINGLELINE) {
    if (flags & DT_VCENTER) y = rc.top + (long(rc.bottom) - rc.top - lh) / 2;
    else if (flags & DT_BOTTOM) y = long(rc.bottom) - lh;
  }
  const long top = y;
  int widest = 0;
  size_t pos = 0;
  Paragraph para;
  while (true) {
    const bool edit = flags & DT_EDITCONTROL;
    const bool lastLine = !(flags & DT_NOCLIP) && (edit ? y + 2L * lh - 1 > rc.bottom : y + lh > rc.bottom);
    para.Enter(text, pos, flags & DT_SINGLELINE);
    const size_t segEnd = para.end;
    const std::u16string_view seg = std::u16string_view(text).substr(pos, segEnd - pos);
    size_t lineLen = seg.size(), next = seg.size();
    if (flags & DT_WORDBREAK) {
      size_t fit = para.Fit(m, text, pos, int(std::clamp<long>(width, 0, INT32_MAX)));
      if (fit < seg.size()) lineLen = BreakSegment(seg, fit, flags, next);
    }
    std::u16string line(seg.substr(0, lineLen));
    size_t after = pos + next;  // before any newline is consumed
    if (next == seg.size()) after += NewlineLength(text, segEnd);
    // A line that takes nothing (a tab before the first word of a right or
    // centred line) gives up that blank, so the layout always moves on.
    if (after == pos) after = pos + 1;
    if (flags & DT_END_ELLIPSIS) {
      size_t restLen = text.size() - (pos + next);
      bool restIsNewline = restLen == NewlineLength(text, pos + next) && restLen > 0;
      bool overflows = m.Width(line) > width;
      if ((lastLine && after < text.size()) || (overflows && (restLen == 0 || restIsNewline)))
        line = Ellipsise(m, line, int(std::clamp<long>(width, 0, INT32_MAX)));
    }
    int w = m.Width(line);
    widest = std::max(widest, w);
    if (!(flags & DT_CALCRECT)) {
      long x = rc.left;
      if (flags & DT_RIGHT) x = rc.right - w;
      else if (flags & DT_CENTER) x = (long(rc.left) + rc.right - w) / 2;
      out.lines.push_back(DrawTextLine{line, int(x), int(y), w});
    }
    y += lh;
    pos = after;
    if (lastLine || pos >= text.size()) break;
  }
  out.height = int(y - top) > 0 ? int(y - top) : 1;
  if (flags & DT_CALCRECT) {
    out.calcRect.right = rc.left + widest;
    out.calcRect.bottom = int(y);
  }
  return out;
}

}  // namespace nx::text
