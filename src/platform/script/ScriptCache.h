// What a SCRIPT_CACHE points at: the font, and the buffer of the last
// shaping so that ScriptPlace returns HarfBuzz's advances and offsets for
// the glyphs ScriptShape just produced.
#pragma once

#include "platform/text/FontEngine.h"

#include <vector>

typedef struct hb_buffer_t hb_buffer_t;

namespace nx::script {

struct ScriptCacheData {
  ScriptCacheData();
  ~ScriptCacheData();
  ScriptCacheData(const ScriptCacheData &) = delete;
  ScriptCacheData &operator=(const ScriptCacheData &) = delete;
  std::shared_ptr<text::SizedFont> font;
  // Reused by every ScriptShape on this cache; it keeps the last shaping's
  // glyphs and positions (design units) for ScriptPlace.
  hb_buffer_t *buffer;
  std::vector<uint8_t> isMark;  // per glyph id: 0 no, 1 yes, 2 not looked up yet
};

// A cache bound to a font (for callers that hold a font rather than a DC).
SCRIPT_CACHE MakeScriptCache(std::shared_ptr<text::SizedFont> font);

}  // namespace nx::script
