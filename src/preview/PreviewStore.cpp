// The preview window's geometry in the registry of the current user.
#include <string>

#include "preview/Preview.h"

namespace nx::preview {
namespace {

// Reads a REG_DWORD value; a missing or malformed value keeps `value`.
void ReadDword(HKEY key, const WCHAR *name, int &value) {
  DWORD type = 0, data = 0, size = sizeof data;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&data), &size) == ERROR_SUCCESS &&
      type == REG_DWORD && size == sizeof data)
    value = static_cast<int>(data);
}

bool WriteDword(HKEY key, const WCHAR *name, int value) {
  const DWORD data = static_cast<DWORD>(value);
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&data), sizeof data) == ERROR_SUCCESS;
}

}  // namespace

TWindowSettings LoadWindowSettings(bool withZoom, int zoom) {
  TWindowSettings s;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    if (!withZoom) s.Zoom = zoom;
    return s;
  }
  ReadDword(key, u"WindowState", s.WindowState);
  ReadDword(key, u"Left", s.Left);
  ReadDword(key, u"Top", s.Top);
  ReadDword(key, u"Width", s.Width);
  ReadDword(key, u"Height", s.Height);
  if (withZoom) ReadDword(key, u"Zoom", s.Zoom);
  else s.Zoom = zoom;
  RegCloseKey(key);
  return s;
}

bool SaveWindowSettings(const TWindowSettings &s, int topMost) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return false;
  const bool ok = WriteDword(key, u"WindowState", s.WindowState) && WriteDword(key, u"Left", s.Left) &&
                  WriteDword(key, u"Top", s.Top) && WriteDword(key, u"Width", s.Width) &&
                  WriteDword(key, u"Height", s.Height) && WriteDword(key, u"Zoom", s.Zoom) &&
                  WriteDword(key, u"TopMost", topMost);
  RegCloseKey(key);
  return ok;
}

}  // namespace nx::preview
