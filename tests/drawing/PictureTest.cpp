// Picture decoders against ImageMagick's reading of the same files, the
// variants users have (bit depths, RLE, top-down, interlaced, transparent,
// greyscale, CMYK, progressive), bad input, and a short fuzz.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>

#include "common/ErrorChannel.h"
#include "drawing/Picture.h"
#include "support/TestSupport.h"

namespace {

using nx::TPicture;
using nxtest::ReadFileBytes;
using nxtest::RunCommand;
using nxtest::ShellQuote;

// A 40 x 20 source with a gradient and four solid blocks.
std::string MakeSource(const nxtest::TempDir &dir) {
  std::string src = dir.file("src.png");
  auto r = RunCommand("convert -size 40x20 gradient:red-blue -fill lime -draw 'rectangle 0,0 9,4' -fill white "
                      "-draw 'rectangle 30,15 39,19' " + ShellQuote(src));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return src;
}

std::string Convert(const nxtest::TempDir &dir, const std::string &src, const std::string &args,
                    const std::string &out) {
  // A trailing "BMP3:" style prefix names the output format.
  std::string path = dir.file(out);
  std::string options = args, prefix;
  if (!options.empty() && options.back() == ':') {
    size_t space = options.find_last_of(' ');
    prefix = space == std::string::npos ? options : options.substr(space + 1);
    options.resize(space == std::string::npos ? 0 : space);
  }
  auto r = RunCommand("convert " + ShellQuote(src) + " " + options + " " + ShellQuote(prefix + path));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return path;
}

TPicture Decode(const std::string &path) {
  auto bytes = ReadFileBytes(path);
  return nx::DecodePicture(nx::PictureKindOf(std::u16string(path.begin(), path.end())), bytes.data(), bytes.size());
}

// ImageMagick's pixels of a file, RGB, top row first.
std::vector<unsigned char> Reference(const nxtest::TempDir &dir, const std::string &path) {
  std::string raw = dir.file("ref.rgb");
  auto r = RunCommand("convert " + ShellQuote(path + "[0]") + " -depth 8 rgb:" + ShellQuote(raw));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return ReadFileBytes(raw);
}

// Largest channel difference between the decoded picture and the reference.
int MaxDifference(const TPicture &pic, const std::vector<unsigned char> &ref) {
  if (ref.size() != static_cast<size_t>(pic.Width()) * pic.Height() * 3) return 1000;
  int worst = 0;
  for (int y = 0; y < pic.Height(); ++y)
    for (int x = 0; x < pic.Width(); ++x) {
      COLORREF c = pic.Pixel(x, y);
      const unsigned char *p = &ref[(static_cast<size_t>(y) * pic.Width() + x) * 3];
      worst = std::max({worst, std::abs(GetRValue(c) - p[0]), std::abs(GetGValue(c) - p[1]),
                        std::abs(GetBValue(c) - p[2])});
    }
  return worst;
}

struct Variant {
  const char *args;
  const char *file;
  int tolerance;
};

void ExpectVariantsMatch(const std::vector<Variant> &variants) {
  NX_REQUIRE_TOOL("convert");
  nxtest::TempDir dir;
  std::string src = MakeSource(dir);
  for (const Variant &v : variants) {
    SCOPED_TRACE(std::string(v.file) + " " + v.args);
    std::string path = Convert(dir, src, v.args, v.file);
    TPicture pic = Decode(path);
    EXPECT_EQ(pic.Width(), 40);
    EXPECT_EQ(pic.Height(), 20);
    EXPECT_LE(MaxDifference(pic, Reference(dir, path)), v.tolerance);
  }
}

TEST(PictureDecoders, BitmapsOfEveryDepthMatchImageMagick) {
  ExpectVariantsMatch({
      {"-monochrome BMP3:", "m1.bmp", 0},
      {"-colors 12 -type palette -compress None BMP3:", "p4.bmp", 0},
      {"-colors 200 -type palette -compress None BMP3:", "p8.bmp", 0},
      {"-colors 200 -type palette -compress RLE BMP3:", "r8.bmp", 0},
      {"-type truecolor -define bmp:subtype=RGB565", "c565.bmp", 1},
      {"-type truecolor -define bmp:subtype=RGB555", "c555.bmp", 1},
      {"-type truecolor BMP3:", "t24.bmp", 0},
      {"-type truecolor BMP2:", "core24.bmp", 0},
      {"-alpha set -define bmp:subtype=ARGB8888", "a32.bmp", 0},
  });
}

TEST(PictureDecoders, GifAndJpegVariantsMatchImageMagick) {
  ExpectVariantsMatch({
      {"", "plain.gif", 0},
      {"-interlace GIF", "interlaced.gif", 0},
      {"-quality 90", "baseline.jpg", 2},
      {"-quality 90 -interlace JPEG", "progressive.jpeg", 2},
      {"-colorspace Gray", "grey.jpg", 2},
      {"-colorspace CMYK -quality 95", "cmyk.jpg", 6},
  });
}

// Little-endian helpers to build bitmaps by hand.
void Put16(std::vector<unsigned char> &b, size_t at, unsigned v) {
  b[at] = v & 0xFF;
  b[at + 1] = (v >> 8) & 0xFF;
}
void Put32(std::vector<unsigned char> &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}

// A 4-bit bitmap file around the given bits, with a 16-entry grey palette
// (entry i = i x 17) except entry 1 red and 2 blue.
std::vector<unsigned char> Bitmap4(int width, int height, uint32_t compression,
                                   const std::vector<unsigned char> &bits) {
  std::vector<unsigned char> b(14 + 40 + 64);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 10, 14 + 40 + 64);
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<uint32_t>(width));
  Put32(b, 22, static_cast<uint32_t>(height));
  Put16(b, 26, 1);
  Put16(b, 28, 4);
  Put32(b, 30, compression);
  for (int i = 0; i < 16; ++i) b[54 + 4 * i] = b[55 + 4 * i] = b[56 + 4 * i] = static_cast<unsigned char>(i * 17);
  b[54 + 4] = 0, b[55 + 4] = 0, b[56 + 4] = 255;  // 1: red (B, G, R order)
  b[54 + 8] = 255, b[55 + 8] = 0, b[56 + 8] = 0;  // 2: blue
  b.insert(b.end(), bits.begin(), bits.end());
  Put32(b, 2, static_cast<uint32_t>(b.size()));
  return b;
}

TEST(PictureDecoders, Rle4AndTopDownRows) {
  // RLE4, 6 x 2, bottom-up: bottom row red red blue blue red red (an
  // encoded run of alternating 1/2 and an absolute run), top row a delta
  // that skips two pixels, then grey 15.
  std::vector<unsigned char> rle = {2, 0x11, 0, 4, 0x22, 0x11, 0, 0,  // row 0: run, absolute run, end of line
                                    0, 2, 2, 0, 4, 0xFF, 0, 1};       // row 1: delta (2, 0), run, end of bitmap
  auto file = Bitmap4(6, 2, BI_RLE4, rle);
  TPicture pic = nx::DecodeBmp(file.data(), file.size());
  ASSERT_EQ(pic.Width(), 6);
  EXPECT_EQ(pic.Pixel(0, 1), RGB(255, 0, 0));
  EXPECT_EQ(pic.Pixel(2, 1), RGB(0, 0, 255));
  EXPECT_EQ(pic.Pixel(5, 1), RGB(255, 0, 0));
  EXPECT_EQ(pic.Pixel(0, 0), RGB(0, 0, 0)) << "a skipped pixel keeps colour 0";
  EXPECT_EQ(pic.Pixel(2, 0), RGB(255, 255, 255));
  EXPECT_EQ(pic.Pixel(5, 0), RGB(255, 255, 255));

  // The same palette, uncompressed, top-down: the first row in the file is the top.
  std::vector<unsigned char> rows = {0x12, 0x00, 0x00, 0x00, 0x21, 0x00, 0x00, 0x00};
  auto down = Bitmap4(2, -2, BI_RGB, rows);
  TPicture top = nx::DecodeBmp(down.data(), down.size());
  ASSERT_EQ(top.Height(), 2);
  EXPECT_EQ(top.Pixel(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(top.Pixel(1, 0), RGB(0, 0, 255));
  EXPECT_EQ(top.Pixel(0, 1), RGB(0, 0, 255));
}

// A 24-bit bottom-up file rewritten as 32 bits per pixel without bit fields
// (what many Windows programs save), and either file with its rows stored
// top-down (negative height).
std::vector<unsigned char> Rewrite(const std::vector<unsigned char> &bmp24, bool to32, bool topDown) {
  const uint32_t offset = bmp24[10] | (bmp24[11] << 8) | (bmp24[12] << 16);
  const int width = bmp24[18] | (bmp24[19] << 8), height = bmp24[22] | (bmp24[23] << 8);
  const size_t inStride = (static_cast<size_t>(width) * 24 + 31) / 32 * 4;
  const size_t outStride = to32 ? static_cast<size_t>(width) * 4 : inStride;
  std::vector<unsigned char> out(bmp24.begin(), bmp24.begin() + offset);
  out.resize(offset + outStride * static_cast<size_t>(height), 0);
  for (int row = 0; row < height; ++row) {
    const unsigned char *src = &bmp24[offset + inStride * static_cast<size_t>(row)];
    const int outRow = topDown ? height - 1 - row : row;
    unsigned char *dst = &out[offset + outStride * static_cast<size_t>(outRow)];
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) dst[x * (to32 ? 4 : 3) + c] = src[x * 3 + c];
  }
  if (to32) Put16(out, 28, 32);
  if (topDown) Put32(out, 22, static_cast<uint32_t>(-height));
  Put32(out, 2, static_cast<uint32_t>(out.size()));
  Put32(out, 34, 0);  // biSizeImage: 0 is allowed for uncompressed rows
  return out;
}

TEST(PictureDecoders, ThirtyTwoBitAndTopDownRowsMatchTheBottomUpFile) {
  NX_REQUIRE_TOOL("convert");
  nxtest::TempDir dir;
  const std::string path = Convert(dir, MakeSource(dir), "-type truecolor BMP3:", "t24.bmp");
  const auto ref = Reference(dir, path);
  const auto bytes = ReadFileBytes(path);
  for (bool to32 : {false, true})
    for (bool topDown : {false, true}) {
      SCOPED_TRACE(std::string(to32 ? "32" : "24") + (topDown ? " top-down" : " bottom-up"));
      const auto file = Rewrite(bytes, to32, topDown);
      TPicture pic = nx::DecodeBmp(file.data(), file.size());
      ASSERT_EQ(pic.Width(), 40);
      ASSERT_EQ(pic.Height(), 20);
      EXPECT_EQ(MaxDifference(pic, ref), 0);
    }
}

TEST(PictureDecoders, TransparentGifLeavesItsTransparentPixelsWhite) {
  NX_REQUIRE_TOOL("convert");
  nxtest::TempDir dir;
  std::string path = Convert(dir, MakeSource(dir), "-transparent lime", "t.gif");
  TPicture pic = Decode(path);
  EXPECT_EQ(pic.Pixel(2, 2), RGB(255, 255, 255));
  EXPECT_NE(pic.Pixel(20, 10), RGB(255, 255, 255));
}

std::string DecodeError(const std::vector<unsigned char> &bytes, nx::TPictureKind kind) {
  try {
    nx::DecodePicture(kind, bytes.data(), bytes.size());
  } catch (const nx::ENxError &e) {
    EXPECT_EQ(e.code(), nx::nxeData);
    return e.what();
  }
  return "decoded";
}

TEST(PictureDecoders, BadInputIsRefusedWithTheReason) {
  NX_REQUIRE_TOOL("convert");
  nxtest::TempDir dir;
  std::string src = MakeSource(dir);
  using K = nx::TPictureKind;
  auto bmp = ReadFileBytes(Convert(dir, src, "-type truecolor BMP3:", "t.bmp"));
  auto gif = ReadFileBytes(Convert(dir, src, "", "t.gif"));
  auto jpg = ReadFileBytes(Convert(dir, src, "", "t.jpg"));

  auto cut = [](std::vector<unsigned char> v) {
    v.resize(v.size() * 2 / 3);
    return v;
  };
  EXPECT_NE(DecodeError(cut(bmp), K::Bmp).find("truncated"), std::string::npos);
  EXPECT_NE(DecodeError(cut(gif), K::Gif).find("truncated"), std::string::npos);
  EXPECT_NE(DecodeError(cut(jpg), K::Jpeg).find("truncated"), std::string::npos);
  EXPECT_NE(DecodeError({}, K::Jpeg), "decoded");
  EXPECT_NE(DecodeError({'B', 'M'}, K::Bmp), "decoded");
  EXPECT_NE(DecodeError(gif, K::Jpeg).find("cannot be decoded"), std::string::npos);

  // Huge declared sizes are refused before memory is taken for them.
  auto hugeBmp = bmp;
  Put32(hugeBmp, 18, 30000);
  Put32(hugeBmp, 22, 30000);
  EXPECT_NE(DecodeError(hugeBmp, K::Bmp).find("beyond the limit"), std::string::npos);
  auto hugeGif = gif;
  Put16(hugeGif, 6, 60000);
  Put16(hugeGif, 8, 60000);
  EXPECT_NE(DecodeError(hugeGif, K::Gif).find("beyond the limit"), std::string::npos);
  auto hugeJpg = jpg;
  for (size_t i = 2; i + 9 < hugeJpg.size(); ++i)
    if (hugeJpg[i] == 0xFF && (hugeJpg[i + 1] == 0xC0 || hugeJpg[i + 1] == 0xC2)) {
      Put16(hugeJpg, i + 5, 0xF0F0);  // height and width, big-endian: 61680
      Put16(hugeJpg, i + 7, 0xF0F0);
      break;
    }
  EXPECT_NE(DecodeError(hugeJpg, K::Jpeg).find("beyond the limit"), std::string::npos);

  // A GIF with a screen but no image.
  std::vector<unsigned char> empty = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0, 0, 0, 0x3B};
  EXPECT_NE(DecodeError(empty, K::Gif).find("no image"), std::string::npos);
}

// A setting from the environment, for longer fuzz runs by hand.
unsigned EnvNumber(const char *name, unsigned fallback) {
  const char *v = std::getenv(name);
  return v && *v ? static_cast<unsigned>(std::strtoul(v, nullptr, 10)) : fallback;
}

// Flipped bytes, cut files and random spans over valid files of the three
// kinds, decoded whole and kept smaller: every outcome is a picture or a
// data error, never a crash. The seed and the rounds per file can be raised
// with NX_DECODER_FUZZ_SEED and NX_DECODER_FUZZ_ROUNDS.
TEST(PictureDecoders, ShortFuzz) {
  NX_REQUIRE_TOOL("convert");
  nxtest::TempDir dir;
  std::string src = MakeSource(dir);
  using K = nx::TPictureKind;
  std::vector<std::pair<std::vector<unsigned char>, K>> seeds = {
      {ReadFileBytes(Convert(dir, src, "-colors 200 -type palette -compress RLE BMP3:", "r8.bmp")), K::Bmp},
      {ReadFileBytes(Convert(dir, src, "-type truecolor -define bmp:subtype=RGB565", "c.bmp")), K::Bmp},
      {ReadFileBytes(Convert(dir, src, "-monochrome BMP3:", "m.bmp")), K::Bmp},
      {ReadFileBytes(Convert(dir, src, "-type truecolor BMP2:", "core.bmp")), K::Bmp},
      {ReadFileBytes(Convert(dir, src, "-alpha set -define bmp:subtype=ARGB8888", "a.bmp")), K::Bmp},
      {Bitmap4(6, 2, BI_RLE4, {2, 0x11, 0, 4, 0x22, 0x11, 0, 0, 0, 2, 2, 0, 4, 0xFF, 0, 1}), K::Bmp},
      {ReadFileBytes(Convert(dir, src, "-interlace GIF", "i.gif")), K::Gif},
      {ReadFileBytes(Convert(dir, src, "-transparent lime", "t.gif")), K::Gif},
      {ReadFileBytes(Convert(dir, src, "-interlace JPEG", "p.jpg")), K::Jpeg},
      {ReadFileBytes(Convert(dir, src, "-colorspace CMYK", "c.jpg")), K::Jpeg},
      {ReadFileBytes(Convert(dir, src, "-colorspace Gray", "g.jpg")), K::Jpeg},
  };
  std::mt19937 rng(EnvNumber("NX_DECODER_FUZZ_SEED", 6));
  const unsigned rounds = EnvNumber("NX_DECODER_FUZZ_ROUNDS", 150);
  int decoded = 0, refused = 0;
  for (const auto &[seed, kind] : seeds) {
    for (unsigned round = 0; round < rounds; ++round) {
      auto bytes = seed;
      const int flips = 1 + static_cast<int>(rng() % 8);
      for (int i = 0; i < flips; ++i) bytes[rng() % bytes.size()] = static_cast<unsigned char>(rng());
      if (round % 5 == 0) bytes.resize(rng() % bytes.size());
      // Rounds keep the whole picture, keep it smaller (as a small box
      // does) or keep a part of it (as the sheet's edge does).
      const nx::TPlacement placements[] = {
          {},
          [](int32_t w, int32_t h) { return nx::TView{0, 0, w, h, 3, 5}; },
          [](int32_t w, int32_t h) { return nx::TView{w / 4, h / 3, w - w / 5, h, 1 + w / 20, 2}; },
      };
      try {
        TPicture pic = nx::DecodePicture(kind, bytes.data(), bytes.size(), placements[round % 3]);
        EXPECT_GT(pic.Width(), 0);
        ++decoded;
      } catch (const nx::ENxError &e) {
        EXPECT_FALSE(std::string(e.what()).empty());
        ++refused;
      }
    }
  }
  EXPECT_GT(decoded, 0);
  EXPECT_GT(refused, 0);
}

// An RLE bitmap of 4 x 2 pixels: the bottom row red, then a top row whose
// runs move the column 2^32 - 4 pixels on before four blue pixels. A decoder
// counting the column in 32 bits lands just before the row and paints the
// bottom row blue (or before the buffer, with other sizes).
std::vector<unsigned char> WrappingRle(uint32_t compression) {
  const bool four = compression == BI_RLE4;
  const unsigned char red = four ? 0x11 : 1, blue = four ? 0x22 : 2;
  std::vector<unsigned char> rle = {4, red, 0, 0};
  const uint64_t skip = (uint64_t{1} << 32) - 4;
  rle.reserve(static_cast<size_t>(skip / 255 + 8) * 2);
  for (uint64_t moved = 0; moved < skip;) {
    const unsigned n = static_cast<unsigned>(std::min<uint64_t>(255, skip - moved));
    rle.push_back(static_cast<unsigned char>(n));
    rle.push_back(0);  // colour 0: black
    moved += n;
  }
  rle.insert(rle.end(), {4, blue, 0, 1});
  auto file = Bitmap4(4, 2, compression, rle);
  if (!four) {
    Put16(file, 28, 8);
    Put32(file, 46, 16);  // the same 16 colours
  }
  return file;
}

TEST(HostilePictures, RunLengthPositionsNeverWrap) {
  for (uint32_t compression : {uint32_t{BI_RLE8}, uint32_t{BI_RLE4}}) {
    SCOPED_TRACE(compression == BI_RLE8 ? "RLE8" : "RLE4");
    const auto file = WrappingRle(compression);
    TPicture pic = nx::DecodeBmp(file.data(), file.size());
    ASSERT_EQ(pic.Width(), 4);
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(pic.Pixel(x, 1), RGB(255, 0, 0)) << "bottom row, x = " << x;
      EXPECT_EQ(pic.Pixel(x, 0), RGB(0, 0, 0)) << "top row, x = " << x;
    }
  }
  // Deltas past the right edge and runs after them skip pixels only.
  std::vector<unsigned char> rle = {0, 2, 255, 0, 0, 2, 255, 0, 3, 0x11, 0, 2, 0, 1, 2, 0x22, 0, 1};
  auto file = Bitmap4(3, 2, BI_RLE4, rle);
  TPicture pic = nx::DecodeBmp(file.data(), file.size());
  EXPECT_EQ(pic.Pixel(0, 1), RGB(0, 0, 0));
  EXPECT_EQ(pic.Pixel(0, 0), RGB(0, 0, 0)) << "the delta kept the column at the right edge";
}

// A picture made by ImageMagick from its arguments alone.
std::string Make(const nxtest::TempDir &dir, const std::string &args, const std::string &name) {
  const std::string path = dir.file(name);
  auto r = RunCommand("convert " + args + " " + ShellQuote(path));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return path;
}

TEST(HostilePictures, AnEmptyGifIsRefused) {
  EXPECT_NE(DecodeError({}, nx::TPictureKind::Gif).find("cannot be decoded"), std::string::npos);
  const std::vector<unsigned char> header = {'G', 'I', 'F', '8', '9', 'a'};
  EXPECT_NE(DecodeError(header, nx::TPictureKind::Gif), "decoded");
}

// Where the entropy-coded data of the first scan starts (after its SOS).
size_t FirstScanData(const std::vector<unsigned char> &jpg) {
  for (size_t i = 2; i + 4 < jpg.size();) {
    if (jpg[i] != 0xFF) return 0;
    const size_t length = (jpg[i + 2] << 8) | jpg[i + 3];
    if (jpg[i + 1] == 0xDA) return i + 2 + length;
    i += 2 + length;
  }
  return 0;
}

// The segment from an SOS marker to the next marker that is not a restart
// marker, for each scan of the file.
std::vector<std::pair<size_t, size_t>> Scans(const std::vector<unsigned char> &jpg) {
  std::vector<std::pair<size_t, size_t>> out;
  for (size_t i = 2; i + 4 < jpg.size();) {
    if (jpg[i] != 0xFF) break;
    if (jpg[i + 1] == 0xD9) break;
    const size_t length = (jpg[i + 2] << 8) | jpg[i + 3];
    if (jpg[i + 1] != 0xDA) {
      i += 2 + length;
      continue;
    }
    size_t j = i + 2 + length;
    while (j + 1 < jpg.size() && !(jpg[j] == 0xFF && jpg[j + 1] != 0 && (jpg[j + 1] < 0xD0 || jpg[j + 1] > 0xD7))) ++j;
    out.push_back({i, j});
    i = j;
  }
  return out;
}

TEST(HostilePictures, DamagedJpegDataIsRefused) {
  NX_REQUIRE_TOOL("convert");
  nxtest::TempDir dir;
  auto jpg = ReadFileBytes(Make(dir, "-size 300x200 -seed 3 plasma:red-blue", "p.jpg"));
  // The data cut in the middle of the scan, the file's end marker after it:
  // libjpeg meets a marker inside the scan's data (premature end of segment).
  const size_t data = FirstScanData(jpg);
  ASSERT_GT(data, 0u);
  auto hit = std::vector<unsigned char>(jpg.begin(), jpg.begin() + static_cast<long>(data + (jpg.size() - data) / 2));
  hit.insert(hit.end(), {0xFF, 0xD9});
  EXPECT_NE(DecodeError(hit, nx::TPictureKind::Jpeg).find("truncated"), std::string::npos);

  // A frame header claiming 8192 x 8192 (64 megapixels) in a file of 2 KB.
  auto small = ReadFileBytes(Make(dir, "-size 40x20 xc:gray", "s.jpg"));
  for (size_t i = 2; i + 9 < small.size(); ++i)
    if (small[i] == 0xFF && small[i + 1] == 0xC0) {
      small[i + 5] = 0x20, small[i + 6] = 0x00, small[i + 7] = 0x20, small[i + 8] = 0x00;
      break;
    }
  EXPECT_NE(DecodeError(small, nx::TPictureKind::Jpeg).find("cannot be held"), std::string::npos);

  // A progressive file with its first scan repeated 2,000 times.
  auto prog = ReadFileBytes(Make(dir, "-size 300x200 -seed 3 plasma:red-blue -interlace JPEG", "i.jpg"));
  auto scans = Scans(prog);
  ASSERT_GT(scans.size(), 2u);
  std::vector<unsigned char> repeated(prog.begin(), prog.begin() + static_cast<long>(scans[0].second));
  for (int i = 0; i < 2000; ++i)
    repeated.insert(repeated.end(), prog.begin() + static_cast<long>(scans[0].first),
                    prog.begin() + static_cast<long>(scans[0].second));
  repeated.insert(repeated.end(), prog.begin() + static_cast<long>(scans[0].second), prog.end());
  EXPECT_NE(DecodeError(repeated, nx::TPictureKind::Jpeg).find("cannot be decoded"), std::string::npos);
}

// A valid progressive file of 2400 x 2400 pixels in 100 scans (cjpeg's
// most), where a picture of that size may have 93: the DC in two steps,
// every AC coefficient of the first component on its own, the second's in
// pairs, the third's in three bands.
TEST(HostilePictures, JpegScansAreLimited) {
  NX_REQUIRE_TOOL("convert");
  NX_REQUIRE_TOOL("cjpeg");
  nxtest::TempDir dir;
  std::string script = "0,1,2: 0-0, 0, 1;\n0,1,2: 0-0, 1, 0;\n";
  for (int k = 1; k < 64; ++k) script += "0: " + std::to_string(k) + "-" + std::to_string(k) + ", 0, 0;\n";
  for (int k = 1; k < 64; k += 2)
    script += "1: " + std::to_string(k) + "-" + std::to_string(std::min(k + 1, 63)) + ", 0, 0;\n";
  script += "2: 1-21, 0, 0;\n2: 22-42, 0, 0;\n2: 43-63, 0, 0;\n";
  std::ofstream(dir.file("scans.txt")) << script;
  const std::string ppm = Make(dir, "-size 2400x2400 gradient:red-blue", "p.ppm");
  const std::string out = dir.file("many.jpg");
  auto r = RunCommand("cjpeg -scans " + ShellQuote(dir.file("scans.txt")) + " -outfile " + ShellQuote(out) + " " +
                      ShellQuote(ppm));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(DecodeError(ReadFileBytes(out), nx::TPictureKind::Jpeg).find("more than 93 scans"), std::string::npos);
  // The same picture in ten scans decodes.
  auto normal = ReadFileBytes(Convert(dir, ppm, "-interlace JPEG", "n.jpg"));
  EXPECT_EQ(nx::DecodeJpeg(normal.data(), normal.size()).Width(), 2400);
}

// With a coverage of 10 x 5 device pixels a 40 x 20 picture keeps every
// fourth column and row, the same pixels a full decoding has there; JPEG
// lets libjpeg scale by 1/8 and keeps 5 x 3.
TEST(HostilePictures, PicturesAreKeptAtTheSizeTheyCover) {
  NX_REQUIRE_TOOL("convert");
  nxtest::TempDir dir;
  const std::string src = MakeSource(dir);
  auto cover = [](int32_t w, int32_t h) {
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 20);
    return nx::TView{0, 0, w, h, 4, 4};
  };
  for (const char *name : {"s.bmp", "s.gif"}) {
    SCOPED_TRACE(name);
    const auto bytes = ReadFileBytes(Convert(dir, src, "", name));
    const auto kind = nx::PictureKindOf(std::u16string(name, name + 5));
    TPicture full = nx::DecodePicture(kind, bytes.data(), bytes.size());
    TPicture kept = nx::DecodePicture(kind, bytes.data(), bytes.size(), cover);
    ASSERT_EQ(kept.Width(), 10);
    ASSERT_EQ(kept.Height(), 5);
    EXPECT_EQ(kept.DeclaredWidth(), 40);
    EXPECT_TRUE(kept.Sampled());
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 10; ++x) EXPECT_EQ(kept.Pixel(x, y), full.Pixel(4 * x, 4 * y)) << x << "," << y;
  }
  const auto jpg = ReadFileBytes(Convert(dir, src, "", "s.jpg"));
  TPicture small =
      nx::DecodeJpeg(jpg.data(), jpg.size(), [](int32_t w, int32_t h) { return nx::TView{0, 0, w, h, 8, 10}; });
  EXPECT_EQ(small.Width(), 5);
  EXPECT_EQ(small.Height(), 3);
  EXPECT_EQ(small.DeclaredHeight(), 20);
}

// A window of a picture, kept pixel for pixel or every few pixels, holds
// the same pixels as the whole picture decoded: for every kind of file,
// RLE4 runs and absolute runs that start before the window included.
// libjpeg widens a cropped line to its blocks and skips rows, which must
// not change the pixels either.
TEST(HostilePictures, AWindowHoldsThePixelsOfTheWholePicture) {
  NX_REQUIRE_TOOL("convert");
  nxtest::TempDir dir;
  const std::string src = dir.file("w.png");
  auto r = RunCommand(
      "convert -size 200x120 gradient:red-blue -fill lime -draw 'circle 100,60 130,90' -fill white "
      "-draw 'rectangle 10,70 60,110' " +
      ShellQuote(src));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  std::vector<unsigned char> rle4;  // rows of runs of 7 and absolute runs of 9 pixels
  for (int row = 0; row < 120; ++row) {
    for (int x = 0; x < 192; x += 16) {
      rle4.insert(rle4.end(), {7, static_cast<unsigned char>(0x12 + row % 3), 0, 9});
      for (int k = 0; k < 6; ++k) rle4.push_back(static_cast<unsigned char>(0x34 + 0x11 * ((row + x + k) % 9)));
    }
    rle4.insert(rle4.end(), {0, 0});
  }
  rle4.insert(rle4.end(), {0, 1});
  using K = nx::TPictureKind;
  const std::vector<std::pair<std::vector<unsigned char>, K>> files = {
      {ReadFileBytes(Convert(dir, src, "-type truecolor BMP3:", "t.bmp")), K::Bmp},
      {ReadFileBytes(Convert(dir, src, "-colors 60 -type palette -compress RLE BMP3:", "r8.bmp")), K::Bmp},
      {Bitmap4(200, 120, BI_RLE4, rle4), K::Bmp},
      {ReadFileBytes(Convert(dir, src, "-monochrome BMP3:", "m.bmp")), K::Bmp},
      {ReadFileBytes(Convert(dir, src, "", "p.gif")), K::Gif},
      {ReadFileBytes(Convert(dir, src, "-interlace GIF", "i.gif")), K::Gif},
      {ReadFileBytes(Convert(dir, src, "-quality 90", "b.jpg")), K::Jpeg},
      {ReadFileBytes(Convert(dir, src, "-interlace JPEG -sampling-factor 2x2", "p.jpg")), K::Jpeg},
      {ReadFileBytes(Convert(dir, src, "-colorspace CMYK", "c.jpg")), K::Jpeg},
      {ReadFileBytes(Convert(dir, src, "-colorspace Gray", "g.jpg")), K::Jpeg},
  };
  for (size_t i = 0; i < files.size(); ++i) {
    const auto &[bytes, kind] = files[i];
    SCOPED_TRACE(i);
    const TPicture whole = nx::DecodePicture(kind, bytes.data(), bytes.size());
    ASSERT_EQ(whole.Width(), 200);
    // JPEG keeps steps of 1 here: larger ones let libjpeg scale instead.
    const std::vector<nx::TView> views =
        kind == K::Jpeg
            ? std::vector<nx::TView>{{37, 21, 151, 99, 1, 1}, {0, 64, 41, 120, 1, 1}}
            : std::vector<nx::TView>{{37, 21, 151, 99, 1, 1}, {0, 64, 41, 120, 1, 1}, {13, 5, 200, 77, 3, 2}};
    for (const nx::TView &v : views) {
      const TPicture part = nx::DecodePicture(kind, bytes.data(), bytes.size(), [&](int32_t w, int32_t h) {
        EXPECT_EQ(w, 200);
        EXPECT_EQ(h, 120);
        return v;
      });
      SCOPED_TRACE(std::to_string(v.x0) + "," + std::to_string(v.y0) + " step " + std::to_string(v.stepX));
      const RECT w = part.Window();
      EXPECT_EQ((std::vector<LONG>{w.left, w.top, w.right, w.bottom}), (std::vector<LONG>{v.x0, v.y0, v.x1, v.y1}));
      ASSERT_EQ(part.Width(), (v.x1 - v.x0 + v.stepX - 1) / v.stepX);
      ASSERT_EQ(part.Height(), (v.y1 - v.y0 + v.stepY - 1) / v.stepY);
      int differ = 0;
      for (int y = 0; y < part.Height(); ++y)
        for (int x = 0; x < part.Width(); ++x)
          differ += part.Pixel(x, y) != whole.Pixel(v.x0 + x * v.stepX, v.y0 + y * v.stepY);
      EXPECT_EQ(differ, 0);
    }
  }
}

// Run-length streams of random runs, absolute runs, deltas, line ends and
// bitmap ends, some repeated thousands of times, over pictures of random
// sizes, decoded whole and kept smaller: every stream is drawn or refused,
// and nothing is written outside the picture (run under the sanitizers to
// see it). NX_DECODER_FUZZ_SEED and NX_DECODER_FUZZ_ROUNDS raise it.
TEST(HostilePictures, RunLengthStreamFuzz) {
  std::mt19937 rng(EnvNumber("NX_DECODER_FUZZ_SEED", 14) + 1);
  const unsigned rounds = EnvNumber("NX_DECODER_FUZZ_ROUNDS", 150);
  int drawn = 0;
  for (unsigned round = 0; round < rounds; ++round) {
    const bool four = round % 2 == 1;
    std::vector<unsigned char> rle;
    const int ops = 1 + static_cast<int>(rng() % 40);
    for (int i = 0; i < ops; ++i) {
      std::vector<unsigned char> op;
      switch (rng() % 6) {
        case 0: op = {static_cast<unsigned char>(rng()), static_cast<unsigned char>(rng())}; break;
        case 1: op = {0, 0}; break;
        case 2: op = {0, 2, static_cast<unsigned char>(rng()), static_cast<unsigned char>(rng() % 4)}; break;
        case 3: {
          const unsigned char n = static_cast<unsigned char>(3 + rng() % 253);
          op = {0, n};
          const size_t bytes = four ? (n + 1u) / 2 : n;
          for (size_t k = 0; k < ((bytes + 1) & ~size_t{1}); ++k) op.push_back(static_cast<unsigned char>(rng()));
          break;
        }
        case 4: op = {255, static_cast<unsigned char>(rng())}; break;
        default: op = {0, 1}; break;
      }
      const int repeat = rng() % 8 == 0 ? 1 + static_cast<int>(rng() % 20000) : 1;
      for (int r = 0; r < repeat; ++r) rle.insert(rle.end(), op.begin(), op.end());
    }
    const int width = 1 + static_cast<int>(rng() % 300), height = 1 + static_cast<int>(rng() % 40);
    auto file = Bitmap4(width, height, four ? BI_RLE4 : BI_RLE8, rle);
    if (!four) {
      Put16(file, 28, 8);
      Put32(file, 46, 16);
    }
    for (bool kept : {false, true}) {
      nx::TPlacement cover;
      if (kept)
        cover = [](int32_t w, int32_t h) {
          return nx::TView{w / 3, h / 4, w / 3 + 1 + w / 2, h - h / 4, w / 7, h / 3};
        };
      try {
        TPicture pic = nx::DecodeBmp(file.data(), file.size(), cover);
        EXPECT_EQ(pic.DeclaredWidth(), width);
        EXPECT_LE(pic.Width(), width);
        ++drawn;
      } catch (const nx::ENxError &e) {
        EXPECT_EQ(e.code(), nx::nxeData);
      }
    }
  }
  EXPECT_GT(drawn, 0);
}

TEST(PictureDecoders, KindFollowsTheExtensionInAnyCase) {
  using K = nx::TPictureKind;
  EXPECT_EQ(nx::PictureKindOf(u"C:\\pics\\Logo.BmP"), K::Bmp);
  EXPECT_EQ(nx::PictureKindOf(u"a.gif"), K::Gif);
  EXPECT_EQ(nx::PictureKindOf(u"a.JPEG"), K::Jpeg);
  EXPECT_EQ(nx::PictureKindOf(u"a.jpg"), K::Jpeg);
  EXPECT_EQ(nx::PictureKindOf(u"a.png"), K::Unknown);
  EXPECT_EQ(nx::PictureKindOf(u"dir.bmp/file"), K::Unknown);
}

}  // namespace
