#!/bin/sh
# Renders enhanced metafiles three ways at the same size -- our emfrender,
# Wine's GDI (winplay.exe) and LibreOffice -- and gives the RMSE of each
# pair per file, the median and worst per pair, and side-by-side sheets of
# the files where ours and Wine's differ most.
#
#   tools/emfcompare/compare-emf-wine.sh [-o OUTDIR] [-n TOP] [--no-lo] EMF-or-folder...
#
# Renders of Wine and LibreOffice already in OUTDIR are kept, so a second
# run with the same -o (and BOX) redoes only ours.
# Environment: EMFRENDER (default build/emfrender), WINE64 (default
# /usr/lib/wine/wine64, else wine64 or wine on PATH), BOX (the box each
# picture is fitted into, default 400x300).
# Needs ImageMagick and python3; Wine and the MinGW-w64 compiler
# (x86_64-w64-mingw32-gcc), else it says so and exits 0 without comparing;
# LibreOffice (soffice) and pdftoppm for the third column, else that column
# is left out.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=""
top=8
use_lo=1
while [ $# -gt 0 ]; do
  case "$1" in
    -o) out=$2; shift 2 ;;
    -n) top=$2; shift 2 ;;
    --no-lo) use_lo=0; shift ;;
    -h|--help) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    --) shift; break ;;
    -*) echo "compare-emf-wine: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: compare-emf-wine.sh [-o OUTDIR] [-n TOP] [--no-lo] EMF-or-folder..." >&2; exit 2; }

wine=${WINE64:-}
if [ -z "$wine" ]; then
  for w in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
    if [ -n "$w" ] && [ -x "$w" ]; then wine=$w; break; fi
  done
fi
if [ -z "$wine" ] || [ ! -x "$wine" ] || ! command -v x86_64-w64-mingw32-gcc >/dev/null 2>&1; then
  echo "compare-emf-wine: skipped: needs wine64 and x86_64-w64-mingw32-gcc" \
       "(apt-get install --no-install-recommends wine64 gcc-mingw-w64-x86-64)"
  exit 0
fi
for tool in compare convert python3; do
  command -v $tool >/dev/null 2>&1 || { echo "compare-emf-wine: needs $tool" >&2; exit 2; }
done
emfrender=${EMFRENDER:-$root/build/emfrender}
[ -x "$emfrender" ] || { echo "compare-emf-wine: no $emfrender (build the emfrender target)" >&2; exit 2; }
if [ $use_lo = 1 ] && ! { command -v soffice >/dev/null 2>&1 && command -v pdftoppm >/dev/null 2>&1; }; then
  echo "compare-emf-wine: no soffice or pdftoppm: LibreOffice column left out"
  use_lo=0
fi

[ -n "$out" ] || out=$(mktemp -d /tmp/emfcompare.XXXXXX)
mkdir -p "$out/emf" "$out/ours" "$out/wine" "$out/lo" "$out/sheets"
: > "$out/list"
for a in "$@"; do
  if [ -d "$a" ]; then find "$a" -maxdepth 1 -iname '*.emf' | sort; else echo "$a"; fi
done | while IFS= read -r f; do
  # Plain names for Wine's command line: copies under emf/.
  name=$(basename "$f" | sed 's/\.[Ee][Mm][Ff]$//; s/[^A-Za-z0-9._-]/_/g')
  cp "$f" "$out/emf/$name.emf"
  echo "$name" >> "$out/list"
done

# Each picture's size: its frame fitted into the box, aspect kept.
python3 - "$out" "${BOX:-400x300}" <<'EOF'
import struct, sys
out, box = sys.argv[1], sys.argv[2]
bw, bh = (int(v) for v in box.lower().split('x'))
with open(out + '/list') as names, open(out + '/sizes', 'w') as sizes:
    for name in names.read().split():
        head = open('%s/emf/%s.emf' % (out, name), 'rb').read(88)
        if len(head) < 88 or struct.unpack_from('<I', head, 40)[0] != 0x464D4520:
            continue
        l, t, r, b = struct.unpack_from('<4i', head, 24)
        w, h = r - l, b - t
        if w <= 0 or h <= 0:
            continue
        s = min(bw / w, bh / h)
        sizes.write('%s %d %d %.2f %.2f\n' % (name, max(1, round(w * s)), max(1, round(h * s)),
                                             w / 100.0, h / 100.0))
EOF

echo "compare-emf-wine: $(wc -l < "$out/sizes") files into $out"

# Ours.
while read -r name w h wmm hmm; do
  "$emfrender" "$out/emf/$name.emf" "$out/ours/$name.png" --size "${w}x${h}" \
    < /dev/null 2> "$out/ours/$name.log" || true
done < "$out/sizes"

# Wine: one process plays every file not played in OUTDIR before.
awk -v o="$out" '{ f = o "/wine/" $1 ".png"; if (system("test -f " f) != 0)
                   print o "/emf/" $1 ".emf", o "/wine/" $1 ".bmp", $2, $3 }' "$out/sizes" > "$out/wine/todo"
if [ -s "$out/wine/todo" ]; then
  x86_64-w64-mingw32-gcc -O2 -o "$out/winplay.exe" "$here/winplay.c" -lgdi32
  prefix=$(mktemp -d /tmp/emfcompare-wine.XXXXXX)
  (
    export WINEPREFIX="$prefix" WINEDEBUG=-all
    "$wine" wineboot -i > /dev/null 2>&1 || true
    "$wine" "$out/winplay.exe" - < "$out/wine/todo" > "$out/wine/log" 2>&1 || true
    "$(dirname "$wine")/wineserver" -k 2>/dev/null || true
  )
  rm -rf "$prefix"
fi
while read -r name w h wmm hmm; do
  if [ -f "$out/wine/$name.bmp" ]; then
    convert "$out/wine/$name.bmp" "$out/wine/$name.png" < /dev/null && rm "$out/wine/$name.bmp"
  fi
done < "$out/sizes"

# LibreOffice places a picture on an A4 page: at its frame size, centred,
# when it fits inside 10 mm margins, else scaled to fit them. Cut that box
# out of the page at the size the others use.
if [ $use_lo = 1 ]; then
  todo=$(while read -r name w h wmm hmm; do
           if [ ! -f "$out/lo/$name.pdf" ]; then echo "$name.emf"; fi
         done < "$out/sizes")
  if [ -n "$todo" ]; then
    lohome=$(mktemp -d /tmp/emfcompare-lo.XXXXXX)
    (cd "$out/emf" && HOME=$lohome soffice --headless --norestore --convert-to pdf \
       --outdir "$out/lo" $todo > "$out/lo/log" 2>&1) || true
    rm -rf "$lohome"
  fi
  while read -r name w h wmm hmm; do
    if [ ! -f "$out/lo/$name.pdf" ] || [ -f "$out/lo/$name.png" ]; then continue; fi
    set -- $(python3 -c "
w, h, wmm, hmm = $w, $h, $wmm, $hmm
s = min(1.0, 190.0 / wmm, 277.0 / hmm)
pw, ph = wmm * s, hmm * s
dpi = w * 25.4 / pw
print('%.4f %d %d' % (dpi, round((210 - pw) / 2 / 25.4 * dpi), round((297 - ph) / 2 / 25.4 * dpi)))")
    pdftoppm -png -singlefile -r "$1" -x "$2" -y "$3" -W "$w" -H "$h" \
      "$out/lo/$name.pdf" "$out/lo/$name" < /dev/null 2>> "$out/lo/log" || true
  done < "$out/sizes"
fi

# RMSE per pair (ImageMagick's normalised value, 0 = equal, 1 = opposite);
# "-" when a side has no picture.
rmse() {
  if [ -f "$1" ] && [ -f "$2" ]; then
    compare -metric RMSE "$1" "$2" null: 2>&1 < /dev/null | sed -n 's/.*(\(.*\)).*/\1/p' | head -n 1
  else
    echo -
  fi
}
printf 'file\twidth\theight\tours-wine\tours-lo\twine-lo\n' > "$out/rmse.tsv"
while read -r name w h wmm hmm; do
  o=$out/ours/$name.png; v=$out/wine/$name.png; l=$out/lo/$name.png
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$w" "$h" "$(rmse "$o" "$v")" "$(rmse "$o" "$l")" \
    "$(rmse "$v" "$l")" >> "$out/rmse.tsv"
done < "$out/sizes"

python3 - "$out/rmse.tsv" "$top" > "$out/summary.txt" <<'EOF'
import statistics, sys
rows = [l.rstrip('\n').split('\t') for l in open(sys.argv[1])][1:]
top = int(sys.argv[2])
print('pair        files  median   worst  (file)')
for col, pair in ((3, 'ours-wine'), (4, 'ours-lo'), (5, 'wine-lo')):
    vals = [(float(r[col]), r[0]) for r in rows if r[col] not in ('-', '')]
    if not vals:
        print('%-10s  %5d       -       -' % (pair, 0))
        continue
    worst = max(vals)
    print('%-10s  %5d  %6.4f  %6.4f  (%s)' % (pair, len(vals), statistics.median(v for v, _ in vals),
                                            worst[0], worst[1]))
print('\nwhere ours and Wine differ most (ours-wine, ours-lo, wine-lo):')
ranked = sorted((r for r in rows if r[3] not in ('-', '')), key=lambda r: -float(r[3]))
for r in ranked[:top]:
    print('  %-20s %s  %s  %s' % (r[0], r[3], r[4], r[5]))
missing = [r[0] for r in rows if '-' in (r[3], r[4], r[5])]
if missing:
    print('\nnot drawn by every renderer: ' + ' '.join(missing))
EOF
cat "$out/summary.txt"

# Sheets: ours | Wine | LibreOffice for the files that differ most.
sed -n 's/^  \([^ ]*\) .*/\1/p' "$out/summary.txt" | while read -r name; do
  set --
  for side in ours wine lo; do
    if [ -f "$out/$side/$name.png" ]; then set -- "$@" "$out/$side/$name.png"; fi
  done
  if [ $# -gt 0 ]; then
    convert "$@" -bordercolor '#ff00ff' -border 1 +append "$out/sheets/$name.png" < /dev/null
  fi
done
echo "compare-emf-wine: table $out/rmse.tsv, summary $out/summary.txt, sheets (ours | Wine | LibreOffice) in $out/sheets"
