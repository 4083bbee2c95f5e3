#!/usr/bin/env bash
# Merges every PDF below a folder after a one-page file, as the window
# merges, and checks each output with outside readers: qpdf --check, the
# page count (one plus what pdfinfo counts in the source) and renders of the
# first pages against the source's. Prints one line per file that fails a
# check and a summary. Run on demand against a corpus of real files, not in
# CI:
#
#   bench/check_corpus.sh /usr/share/doc/texlive-doc
#
# Environment:
#   QZ_CORPUS_PAGES    pages rendered and compared per file (3)
#   QZ_BENCH_BUILD_DIR where the release preset is built (build/release)
#   QZ_BENCH_MERGE     a merge_files program to use instead of the build's
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
corpus=${1:?usage: bench/check_corpus.sh FOLDER}
pages_checked=${QZ_CORPUS_PAGES:-3}
build=${QZ_BENCH_BUILD_DIR:-build/release}
cd "$root"
if [ -z "${QZ_BENCH_MERGE:-}" ]; then
  cmake --preset release -B "$build" -DQZ_BUILD_BENCH=ON >/dev/null
  cmake --build "$build" --target merge_files >/dev/null
  merge_files=$(realpath "$build")/bench/merge_files
else
  merge_files=$(realpath "$QZ_BENCH_MERGE")
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%%!PS\n/Helvetica findfont 20 scalefont setfont 72 700 moveto (FIRST) show showpage\n' >"$work/one.ps"
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -o "$work/one.pdf" "$work/one.ps"

# Mean grey difference of two PGM files, 0..255; 255 when the sizes differ.
cat >"$work/diff.py" <<'EOF'
import sys
def pgm(path):
    data = open(path, 'rb').read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace(): pos += 1
        if data[pos:pos + 1] == b'#':
            pos = data.index(b'\n', pos)
            continue
        end = pos
        while not data[end:end + 1].isspace(): end += 1
        fields.append(data[pos:end]); pos = end
    return int(fields[1]), int(fields[2]), data[pos + 1:]
wa, ha, a = pgm(sys.argv[1]); wb, hb, b = pgm(sys.argv[2])
print(255 if (wa, ha) != (wb, hb) else sum(abs(x - y) for x, y in zip(a, b)) / max(len(a), 1))
EOF

total=0 merged=0 refused=0 failed=0 skipped=0
while IFS= read -r -d '' pdf; do
  total=$((total + 1))
  if ! src_pages=$(pdfinfo "$pdf" 2>/dev/null | awk '/^Pages:/ {print $2}') || [ -z "$src_pages" ]; then
    skipped=$((skipped + 1)); continue  # poppler cannot read the source: nothing to compare with
  fi
  out="$work/out.pdf"; rm -f "$out"
  if ! message=$(timeout 120 "$merge_files" "$out" "$work/one.pdf" "$pdf" 2>&1); then
    refused=$((refused + 1)); echo "REFUSED $pdf: $message"; continue
  fi
  merged=$((merged + 1))
  problems=()
  # Warnings the source itself gives (duplicated keys, say) are carried.
  src_check=0; qpdf --check "$pdf" >/dev/null 2>&1 || src_check=$?
  out_check=0; qpdf --check "$out" >/dev/null 2>&1 || out_check=$?
  [ "$out_check" -eq 0 ] || [ "$src_check" -ne 0 ] || problems+=("qpdf --check exit $out_check")
  [ "$out_check" -ne 2 ] || problems+=("qpdf --check errors")
  out_pages=$(pdfinfo "$out" 2>/dev/null | awk '/^Pages:/ {print $2}')
  [ "${out_pages:-0}" = $((src_pages + 1)) ] || problems+=("pages ${out_pages:-?} for 1+$src_pages")
  last=$((src_pages < pages_checked ? src_pages : pages_checked))
  for p in $(seq 1 "$last"); do
    pdftoppm -gray -r 20 -f "$p" -l "$p" "$pdf" "$work/a" 2>/dev/null || true
    pdftoppm -gray -r 20 -f $((p + 1)) -l $((p + 1)) "$out" "$work/b" 2>/dev/null || true
    a=$(ls "$work"/a*.pgm 2>/dev/null | head -1); b=$(ls "$work"/b*.pgm 2>/dev/null | head -1)
    if [ -n "$a" ] && [ -n "$b" ]; then
      d=$(/usr/bin/python3 "$work/diff.py" "$a" "$b")
      awk -v d="$d" 'BEGIN { exit !(d > 1.0) }' && problems+=("page $p renders apart ($d)")
    fi
    rm -f "$work"/a*.pgm "$work"/b*.pgm
  done
  if [ ${#problems[@]} -gt 0 ]; then
    failed=$((failed + 1)); echo "FAILED $pdf: ${problems[*]}"
  fi
done < <(find "$corpus" -type f -iname '*.pdf' -print0 | sort -z)

echo "files $total: merged $merged ($((merged - failed)) passing every check, $failed failing one), refused $refused, not readable by poppler $skipped"
