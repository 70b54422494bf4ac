// Clip regions selected into a DC: the DC keeps its own copy in device
// pixels; metafile DCs record EMR_EXTSELECTCLIPRGN with the region's
// rectangles.
#include <vector>

#include "platform/gdi/GdiInternal.h"

namespace nx::gdi {

cairo_region_t *ClipRegion::Mutable() {
  // Copy on write: the region may be shared with saved states.
  cairo_region_t *copy = r_ ? cairo_region_copy(r_) : cairo_region_create();
  Reset();
  r_ = copy;
  return r_;
}

namespace {

int Complexity(const cairo_region_t *r) {
  int n = r ? cairo_region_num_rectangles(r) : 0;
  return n == 0 ? NULLREGION : n == 1 ? SIMPLEREGION : COMPLEXREGION;
}

void RecordClip(Dc *dc, int mode, const cairo_region_t *rgn) {
  const std::vector<uint8_t> data = rgn ? RegionData(rgn) : std::vector<uint8_t>();
  const DWORD cb = (DWORD)data.size();
  auto *rec = dc->rec->Add<EMREXTSELECTCLIPRGN>(EMR_EXTSELECTCLIPRGN,
                                                offsetof(EMREXTSELECTCLIPRGN, RgnData) + cb);
  rec->cbRgnData = cb;
  rec->iMode = (DWORD)mode;
  if (cb) std::memcpy(rec->RgnData, data.data(), cb);
}

}  // namespace

}  // namespace nx::gdi

using namespace nx::gdi;

int WINAPI ExtSelectClipRgn(HDC hdc, HRGN hrgn, int mode) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc || mode < RGN_MIN || mode > RGN_MAX) return ERROR;
  auto *rgn = hrgn ? Lookup<RegionObj>(hrgn, Kind::Region) : nullptr;
  if (hrgn && !rgn) {
    SetLastError(ERROR_INVALID_HANDLE);
    return ERROR;
  }
  if (!rgn && mode != RGN_COPY) return ERROR;
  if (dc->rec) RecordClip(dc, mode, rgn ? rgn->rgn : nullptr);
  if (!rgn) {
    dc->st.clip.Reset();
    return SIMPLEREGION;
  }
  if (mode == RGN_COPY || !dc->st.clip.Active()) {
    if (mode == RGN_COPY || mode == RGN_AND) {
      dc->st.clip = ClipRegion(cairo_region_copy(rgn->rgn));
    } else {
      // No clip yet means the whole surface: OR/XOR/DIFF against "everything".
      cairo_rectangle_int_t all{-(1 << 27), -(1 << 27), 1 << 28, 1 << 28};
      cairo_region_t *r = cairo_region_create_rectangle(&all);
      if (mode == RGN_OR) cairo_region_union(r, rgn->rgn);
      else if (mode == RGN_XOR) cairo_region_xor(r, rgn->rgn);
      else cairo_region_subtract(r, rgn->rgn);
      dc->st.clip = ClipRegion(r);
    }
  } else {
    cairo_region_t *cur = dc->st.clip.Mutable();
    switch (mode) {
      case RGN_AND: cairo_region_intersect(cur, rgn->rgn); break;
      case RGN_OR: cairo_region_union(cur, rgn->rgn); break;
      case RGN_XOR: cairo_region_xor(cur, rgn->rgn); break;
      default: cairo_region_subtract(cur, rgn->rgn); break;
    }
  }
  return Complexity(dc->st.clip.get());
}

int WINAPI SelectClipRgn(HDC hdc, HRGN hrgn) { return ExtSelectClipRgn(hdc, hrgn, RGN_COPY); }
