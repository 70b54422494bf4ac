#include "drawing/Picture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "common/ErrorChannel.h"
#include "common/Files.h"
#include "common/Strings.h"

namespace nx {
namespace {

// Picture files beyond this size are refused rather than read into memory.
constexpr std::uintmax_t kMaxPictureFileBytes = 256u * 1024 * 1024;

WString UpperExtension(const WString &name) {
  size_t dot = name.find_last_of(u'.');
  size_t sep = name.find_last_of(u"\\/");
  if (dot == WString::npos || (sep != WString::npos && sep > dot)) return {};
  WString ext = name.substr(dot);
  for (WCHAR &c : ext)
    if (c >= u'a' && c <= u'z') c = static_cast<WCHAR>(c - u'a' + u'A');
  return ext;
}

[[noreturn]] void FileProblem(const WString &name, const std::string &why) {
  throw ENxError(nxeFile, "Cannot read picture " + WideToAnsi(name) + ": " + why);
}

std::vector<BYTE> ReadPictureFile(const WString &name) {
  namespace fs = std::filesystem;
  const fs::path path(NativePath(name));
  std::error_code ec;
  if (fs::is_directory(path, ec)) FileProblem(name, "the name is a folder");
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) FileProblem(name, ec.message());
  if (size > kMaxPictureFileBytes) FileProblem(name, "the file is larger than 256 MB");
  std::ifstream in(path, std::ios::binary);
  if (!in) FileProblem(name, "the file cannot be opened");
  std::vector<BYTE> bytes(static_cast<size_t>(size));
  if (size > 0 && !in.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(size)))
    FileProblem(name, "the file cannot be read");
  return bytes;
}

}  // namespace

void CheckPictureSize(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) throw ENxError(nxeData, "the picture has no pixels");
  if (width > kMaxPictureSide || height > kMaxPictureSide ||
      static_cast<int64_t>(width) * height > kMaxPicturePixels)
    throw ENxError(nxeData, "the declared size " + std::to_string(width) + " x " + std::to_string(height) +
                                " is beyond the limit of 32767 pixels a side and 64 megapixels");
}

TSampling SamplingFor(int32_t width, int32_t height, const TCoverage &cover) {
  if (!cover) return {};
  const SIZE covered = cover(width, height);
  auto step = [](int32_t size, LONG pixels) {
    return pixels <= 0 ? 1 : std::max<int32_t>(1, static_cast<int32_t>(size / pixels));
  };
  return {step(width, covered.cx), step(height, covered.cy)};
}

TPicture::TPicture(int32_t width, int32_t height, TSampling sampling, int32_t gridWidth, int32_t gridHeight) {
  CheckPictureSize(width, height);
  declaredWidth_ = width;
  declaredHeight_ = height;
  stepX_ = std::max(1, sampling.stepX);
  stepY_ = std::max(1, sampling.stepY);
  const int32_t gw = gridWidth > 0 ? gridWidth : width, gh = gridHeight > 0 ? gridHeight : height;
  width_ = (gw + stepX_ - 1) / stepX_;
  height_ = (gh + stepY_ - 1) / stepY_;
  stride_ = ((static_cast<size_t>(width_) * 24 + 31) / 32) * 4;
  bits_.assign(stride_ * static_cast<size_t>(height_), 0xFF);
}

void TPicture::Fill(BYTE r, BYTE g, BYTE b) {
  for (int32_t y = 0; y < height_; ++y) {
    BYTE *p = Row(y);
    for (int32_t x = 0; x < width_; ++x, p += 3) p[0] = b, p[1] = g, p[2] = r;
  }
}

BITMAPINFOHEADER TPicture::Header() const {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = width_;
  h.biHeight = height_;
  h.biPlanes = 1;
  h.biBitCount = 24;
  h.biCompression = BI_RGB;
  h.biSizeImage = static_cast<DWORD>(bits_.size());
  return h;
}

TPictureKind PictureKindOf(const WString &fileName) {
  const WString ext = UpperExtension(fileName);
  if (ext == NXW(".BMP")) return TPictureKind::Bmp;
  if (ext == NXW(".GIF")) return TPictureKind::Gif;
  if (ext == NXW(".JPG") || ext == NXW(".JPEG")) return TPictureKind::Jpeg;
  return TPictureKind::Unknown;
}

TPicture DecodePicture(TPictureKind kind, const BYTE *data, size_t size, const TCoverage &cover) {
  switch (kind) {
    case TPictureKind::Bmp: return DecodeBmp(data, size, cover);
    case TPictureKind::Gif: return DecodeGif(data, size, cover);
    case TPictureKind::Jpeg: return DecodeJpeg(data, size, cover);
    default: throw ENxError(nxeData, "the file type is not a picture type");
  }
}

TPicture LoadPicture(const WString &fileName, TPictureKind kind, const TCoverage &cover) {
  const std::vector<BYTE> bytes = ReadPictureFile(fileName);
  try {
    return DecodePicture(kind, bytes.data(), bytes.size(), cover);
  } catch (const ENxError &e) {
    throw ENxError(e.code(), "Cannot draw picture " + WideToAnsi(fileName) + ": " + e.what());
  }
}

}  // namespace nx
