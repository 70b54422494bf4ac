// Playing a metafile onto a DC: the frame mapping, the metafile's own
// coordinate spaces and saved states, and the clean-up afterwards.
//
// The destination keeps its own window/viewport; everything the metafile
// does to its coordinate spaces (map mode, window, viewport, world) is
// tracked on a private shadow DC built like the reference device, and the
// destination's world transform is set to
//   metafile logical -> reference pixels (shadow) -> frame mapping -> the
//   destination's own world transform,
// so that records replay through the ordinary GDI calls onto any DC.
#pragma once

#include <vector>

#include "platform/gdi/GdiInternal.h"

namespace nx::gdi {

class EmfPlayback {
 public:
  // Sets up hdc to play a metafile with this header into rect (logical
  // units of hdc). False (nothing changed) when the DC is not usable.
  bool Begin(HDC hdc, const ENHMETAHEADER &h, const RECT &rect);
  // Restores the destination as it was and deletes the objects the
  // metafile left in its handle table.
  void End(HANDLETABLE *table, UINT count);

  HDC Target() const { return hdc_; }
  HDC Shadow() const { return shadow_; }
  // Re-applies the composed world transform after the shadow changed.
  // False when the result cannot be used (drawing is then skipped).
  bool Sync();
  bool Drawable() const { return drawable_; }
  // Reference-device pixels -> destination device pixels (region data).
  Affine RefToDevice() const;
  // The destination's clip when playback began (metafile clips combine with it).
  const ClipRegion &BaseClip() const { return baseClip_; }
  // Objects the metafile deleted while they were still selected.
  void DeleteLater(HGDIOBJ h) { orphans_.push_back(h); }
  // The destination's save level that holds its state before playback:
  // the metafile's n-th saved state is level Level() + n.
  int Level() const { return level_; }

 private:
  HDC hdc_ = nullptr;
  HDC shadow_ = nullptr;
  int level_ = 0;         // the destination's SaveDC level before playback
  Affine base_;           // reference pixels -> destination logical -> its world
  bool wasPlaying_ = false;
  bool drawable_ = true;
  ClipRegion baseClip_;
  std::vector<HGDIOBJ> orphans_;
};

// The playback running on a DC (the innermost one), or NULL.
EmfPlayback *ActivePlayback(HDC hdc);

// Calls proc for each record of a validated metafile image (hmf's, read in
// place), within a playback session onto hdc when hdc is given.
BOOL WalkRecords(HDC hdc, HENHMETAFILE hmf, const std::vector<uint8_t> &bytes, ENHMFENUMPROC proc, LPVOID param,
                 const RECT *lpRect);

// DeleteEnhMetaFile calls this first: while EnumEnhMetaFile walks hmf, its
// image (bytes) moves to the walk and is freed when the walk ends.
void KeepWalkedBytes(HENHMETAFILE hmf, std::vector<uint8_t> &bytes);

// The frame mapping: reference-device pixels of the metafile -> rect.
Affine FrameToRect(const ENHMETAHEADER &h, const RECT &rect);

}  // namespace nx::gdi
