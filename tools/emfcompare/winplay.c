/* winplay: plays enhanced metafiles with the GDI of the system it runs on
 * (Windows, or Wine's reimplementation) and writes each picture as a
 * 24-bit BMP, so that our own playback can be compared with it.
 *
 * Build:  x86_64-w64-mingw32-gcc -O2 -o winplay.exe winplay.c -lgdi32
 * Run:    winplay.exe IN.emf OUT.bmp WIDTH HEIGHT
 *         winplay.exe -          (lines "IN OUT WIDTH HEIGHT" on stdin)
 *
 * The picture's frame is mapped onto 0,0,WIDTH,HEIGHT of a white DIB
 * section, as PlayEnhMetaFile does for any destination rectangle.
 * Exit status: 0 when every file played, 1 when one failed, 2 on usage.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static int WriteBmp(const char *path, const void *bits, int w, int h) {
  DWORD stride = ((DWORD)w * 3 + 3) & ~3u, image = stride * (DWORD)h;
  BITMAPFILEHEADER fh;
  BITMAPINFOHEADER ih;
  FILE *f;
  int ok;
  memset(&fh, 0, sizeof fh);
  memset(&ih, 0, sizeof ih);
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof ih;
  fh.bfSize = fh.bfOffBits + image;
  ih.biSize = sizeof ih;
  ih.biWidth = w;
  ih.biHeight = -h; /* top-down, as the DIB section is */
  ih.biPlanes = 1;
  ih.biBitCount = 24;
  ih.biCompression = BI_RGB;
  ih.biSizeImage = image;
  f = fopen(path, "wb");
  if (!f) return 0;
  ok = fwrite(&fh, sizeof fh, 1, f) == 1 && fwrite(&ih, sizeof ih, 1, f) == 1 &&
       fwrite(bits, 1, image, f) == image;
  return fclose(f) == 0 && ok;
}

static int PlayOne(const char *in, const char *out, int w, int h) {
  BITMAPINFO bi;
  void *bits = NULL;
  HBITMAP bm;
  HDC dc;
  HGDIOBJ old;
  RECT rect;
  BOOL played;
  int written;
  HENHMETAFILE emf = GetEnhMetaFileA(in);
  if (!emf) {
    fprintf(stderr, "winplay: cannot read %s\n", in);
    return 0;
  }
  memset(&bi, 0, sizeof bi);
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  bm = CreateDIBSection(NULL, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
  if (!bm || !bits) {
    DeleteEnhMetaFile(emf);
    fprintf(stderr, "winplay: no memory for %d x %d\n", w, h);
    return 0;
  }
  memset(bits, 0xFF, (size_t)(((DWORD)w * 3 + 3) & ~3u) * (size_t)h);
  dc = CreateCompatibleDC(NULL);
  old = SelectObject(dc, bm);
  rect.left = 0, rect.top = 0, rect.right = w, rect.bottom = h;
  played = PlayEnhMetaFile(dc, emf, &rect);
  GdiFlush();
  written = WriteBmp(out, bits, w, h);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bm);
  DeleteEnhMetaFile(emf);
  if (!played) fprintf(stderr, "winplay: PlayEnhMetaFile reported a failure for %s\n", in);
  if (!written) fprintf(stderr, "winplay: cannot write %s\n", out);
  return written;
}

static int SizeOk(int w, int h) { return w > 0 && h > 0 && w <= 10000 && h <= 10000; }

int main(int argc, char **argv) {
  char in[1024], out[1024];
  int w, h, failed = 0;
  if (argc == 5) {
    w = atoi(argv[3]), h = atoi(argv[4]);
    if (!SizeOk(w, h)) return 2;
    return PlayOne(argv[1], argv[2], w, h) ? 0 : 1;
  }
  if (argc != 2 || strcmp(argv[1], "-") != 0) {
    fprintf(stderr, "usage: winplay IN.emf OUT.bmp WIDTH HEIGHT | winplay -\n");
    return 2;
  }
  while (scanf("%1023s %1023s %d %d", in, out, &w, &h) == 4) {
    if (!SizeOk(w, h) || !PlayOne(in, out, w, h)) failed = 1;
    fflush(stderr);
  }
  return failed;
}
