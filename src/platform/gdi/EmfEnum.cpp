// Walking a metafile's records (EnumEnhMetaFile) and the playback session
// that maps its frame onto a rectangle of a destination DC.
#include <algorithm>

#include "platform/gdi/EmfPlayer.h"

namespace nx::gdi {

namespace {

std::vector<EmfPlayback *> &Active() {
  static std::vector<EmfPlayback *> *list = new std::vector<EmfPlayback *>();
  return *list;
}

// One axis of the frame mapping: x_dest = k * X + o for X in reference pixels.
void FrameAxis(LONG devPx, LONG devMm, LONG f0, LONG f1, LONG r0, LONG r1, double *k,
               double *o) {
  double perPixel = devPx > 0 && devMm > 0 ? 100.0 * devMm / devPx : 0;  // 0.01 mm
  double wf = (double)f1 - f0, wd = (double)r1 - r0;
  if (perPixel > 0 && wf != 0) {
    *k = perPixel * wd / wf;
    *o = r0 - f0 * wd / wf;
  } else {  // no usable frame: reference pixels land unscaled
    *k = 1;
    *o = r0 - (perPixel > 0 ? f0 / perPixel : 0);
  }
}

}  // namespace

Affine FrameToRect(const ENHMETAHEADER &h, const RECT &rect) {
  Affine m;
  FrameAxis(h.szlDevice.cx, h.szlMillimeters.cx, h.rclFrame.left, h.rclFrame.right, rect.left,
            rect.right, &m.m11, &m.dx);
  FrameAxis(h.szlDevice.cy, h.szlMillimeters.cy, h.rclFrame.top, h.rclFrame.bottom, rect.top,
            rect.bottom, &m.m22, &m.dy);
  return m;
}

EmfPlayback *ActivePlayback(HDC hdc) {
  auto &list = Active();
  for (auto it = list.rbegin(); it != list.rend(); ++it)
    if ((*it)->Target() == hdc) return *it;
  return nullptr;
}

bool EmfPlayback::Begin(HDC hdc, const ENHMETAHEADER &h, const RECT &rect) {
  Dc *dc = DcFromHandle(hdc);
  if (!dc) return false;
  HDC shadow = GetDC(nullptr);
  Dc *sh = DcFromHandle(shadow);
  if (!sh) return false;
  // The shadow is the reference device: fixed map modes scale by its size.
  if (h.szlDevice.cx > 0 && h.szlDevice.cy > 0 && h.szlMillimeters.cx > 0 &&
      h.szlMillimeters.cy > 0) {
    sh->caps.horzRes = h.szlDevice.cx;
    sh->caps.vertRes = h.szlDevice.cy;
    sh->caps.horzSize = h.szlMillimeters.cx;
    sh->caps.vertSize = h.szlMillimeters.cy;
  }
  SetGraphicsMode(shadow, GM_ADVANCED);
  Affine world = dc->st.graphicsMode == GM_ADVANCED ? Affine::FromXform(dc->st.world) : Affine{};
  level_ = SaveDC(hdc);
  if (!level_) {
    ReleaseDC(nullptr, shadow);
    return false;
  }
  hdc_ = hdc;
  shadow_ = shadow;
  base_ = FrameToRect(h, rect).Then(world);
  baseClip_ = dc->st.clip;
  wasPlaying_ = dc->playing;
  dc->playing = true;
  SetGraphicsMode(hdc, GM_ADVANCED);
  Active().push_back(this);
  Sync();
  return true;
}

bool EmfPlayback::Sync() {
  Dc *d = DcFromHandle(hdc_);
  Dc *sh = DcFromHandle(shadow_);
  if (!d || !sh) return drawable_ = false;
  XFORM x = LogicalToDevice(*sh).Then(base_).ToXform();
  if (std::memcmp(&x, &d->st.world, sizeof x) == 0 && d->st.graphicsMode == GM_ADVANCED)
    return drawable_ = true;
  d->st.graphicsMode = GM_ADVANCED;
  drawable_ = SetWorldTransform(hdc_, &x) != FALSE;
  return drawable_;
}

Affine EmfPlayback::RefToDevice() const {
  Dc *d = DcFromHandle(hdc_);
  return d ? base_.Then(PageTransform(d->st)) : base_;
}

void EmfPlayback::End(HANDLETABLE *table, UINT count) {
  RestoreDC(hdc_, level_);
  if (Dc *d = DcFromHandle(hdc_)) d->playing = wasPlaying_;
  for (UINT i = 1; i < count; ++i) {
    if (table->objectHandle[i]) DeleteObject(table->objectHandle[i]);
    table->objectHandle[i] = nullptr;
  }
  for (HGDIOBJ h : orphans_) DeleteObject(h);
  orphans_.clear();
  ReleaseDC(nullptr, shadow_);
  auto &list = Active();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

}  // namespace nx::gdi

using namespace nx::gdi;

namespace nx::gdi {

// Calls proc for each record of a validated image, within a playback session
// when hdc is given. The image is read through its first byte and size taken
// here: a callback that deletes the metafile leaves them to the walk (see
// KeepWalkedBytes).
BOOL WalkRecords(HDC hdc, HENHMETAFILE hmf, const std::vector<uint8_t> &bytes, ENHMFENUMPROC proc, LPVOID param,
                 const RECT *lpRect) {
  const uint8_t *const data = bytes.data();
  const size_t size = bytes.size();
  ENHMETAHEADER h{};
  std::memcpy(&h, data, std::min<size_t>(reinterpret_cast<const EMR *>(data)->nSize, sizeof h));
  UINT count = std::max<UINT>(h.nHandles, 1);
  std::vector<HGDIOBJ> handles(count, nullptr);
  handles[0] = hmf;
  auto *table = reinterpret_cast<HANDLETABLE *>(handles.data());
  EmfPlayback pb;
  if (hdc && !pb.Begin(hdc, h, *lpRect)) return FALSE;
  // The destination is restored however the walk ends, a callback's
  // exception included: a playback left registered would outlive it.
  struct Ending {
    EmfPlayback *pb;
    HANDLETABLE *table;
    UINT count;
    ~Ending() {
      if (pb) pb->End(table, count);
    }
  } ending{hdc ? &pb : nullptr, table, count};
  // The image was validated when it was made: every record lies inside it
  // and the last one is EMR_EOF.
  for (size_t at = 0; at + sizeof(EMR) <= size;) {
    auto *rec = reinterpret_cast<const ENHMETARECORD *>(data + at);
    DWORD recSize = rec->nSize;
    if (!proc(hdc, table, rec, (int)count, (LPARAM)param)) return FALSE;
    at += recSize;
  }
  return TRUE;
}

namespace {

// The enumerations under way, outermost first. A metafile deleted by a
// callback hands its image to the outermost walk over it, which outlives
// the inner ones; the image's memory does not move with it.
struct Walk {
  HENHMETAFILE hmf;
  std::vector<uint8_t> kept;
};

std::vector<Walk *> &Walks() {
  static std::vector<Walk *> *list = new std::vector<Walk *>();
  return *list;
}

class WalkScope {
 public:
  explicit WalkScope(HENHMETAFILE hmf) : walk_{hmf, {}} { Walks().push_back(&walk_); }
  ~WalkScope() {
    auto &list = Walks();
    list.erase(std::remove(list.begin(), list.end(), &walk_), list.end());
  }
  WalkScope(const WalkScope &) = delete;
  WalkScope &operator=(const WalkScope &) = delete;

 private:
  Walk walk_;
};

}  // namespace

void KeepWalkedBytes(HENHMETAFILE hmf, std::vector<uint8_t> &bytes) {
  for (Walk *w : Walks())
    if (w->hmf == hmf) {
      w->kept = std::move(bytes);
      return;
    }
}

}  // namespace nx::gdi

BOOL WINAPI EnumEnhMetaFile(HDC hdc, HENHMETAFILE hmf, ENHMFENUMPROC proc, LPVOID param,
                            const RECT *lpRect) {
  auto *m = Lookup<EnhMetaFileObj>(hmf, Kind::EnhMetaFile);
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!proc || (hdc && !lpRect)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Read in place: a metafile's image never changes, and one the callback
  // deletes stays with this walk until it ends.
  WalkScope scope(hmf);
  return WalkRecords(hdc, hmf, m->bytes, proc, param, lpRect);
}
