#!/usr/bin/env bash
# Times our merge (bench/merge_files) side by side with qpdf, mutool and
# pdfunite on the same inputs, five cases, and prints per case each tool's
# median wall time, peak memory and output size, and our time over each other
# tool's. Run on demand, not in CI. Our outputs are checked once per case
# (qpdf --check and the page count) so that no figure comes from dropped
# content.
#
# Environment:
#   QZ_BENCH_RUNS       timed runs per tool and case, after one warm-up (5)
#   QZ_BENCH_BUILD_DIR  where the release preset is built (build/release)
#   QZ_BENCH_CASES      space-separated subset of the case names below
#   QZ_BENCH_MERGE      a merge_files program to time instead of the build's
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
runs=${QZ_BENCH_RUNS:-5}
build=${QZ_BENCH_BUILD_DIR:-build/release}
cache=$root/build/bench-cache/compare
all_cases="text-100x10 big-2000+10 images-20x5MiB raw-images-20x5MiB pages-1000x1"
cases=${QZ_BENCH_CASES:-$all_cases}
jobs=$(nproc)

QZ_BENCH_DEPS=1 scripts/deps
if [ -z "${QZ_BENCH_MERGE:-}" ]; then
  cmake --preset release -B "$build" -DQZ_BUILD_BENCH=ON >/dev/null
  cmake --build "$build" --target merge_files make_image_pdf >/dev/null
  merge_files=$(realpath "$build")/bench/merge_files
else
  merge_files=$(realpath "$QZ_BENCH_MERGE")
  cmake --preset release -B "$build" -DQZ_BUILD_BENCH=ON >/dev/null
  cmake --build "$build" --target make_image_pdf >/dev/null
fi
make_image_pdf=$(realpath "$build")/bench/make_image_pdf

gs_pdf=(gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite)

# Text pages in a font Ghostscript embeds as a subset of its own in every file.
# $1 first page number, $2 page count, $3 a tag that varies the text.
text_program() {
  cat <<EOF
%!PS
/NimbusSans-Regular findfont 10 scalefont setfont
$1 1 $(($1 + $2 - 1)) { /n exch def
  0 1 44 { /l exch def 50 770 l 16 mul sub moveto
    (Page ) show n 8 string cvs show (, line ) show l 4 string cvs show
    ( of $3: the quick brown fox jumps over the lazy dog, 0123456789.) show } for
  showpage } for
EOF
}

make_text_100x10() {
  local dir=$1
  for i in $(seq -w 1 100); do text_program 1 10 "file $i" >"$dir/in$i.ps"; done
  # One Ghostscript per file, as many at once as there are processors.
  ls "$dir"/in*.ps | xargs -P "$jobs" -I{} sh -c 'gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -o "${1%.ps}.pdf" "$1"' _ {}
  rm "$dir"/in*.ps
}

make_big_2000_10() {
  local dir=$1
  text_program 1 2000 "the long file" >"$dir/big.ps"
  text_program 1 10 "the short file" >"$dir/small.ps"
  "${gs_pdf[@]}" -o "$dir/in1.pdf" "$dir/big.ps"
  "${gs_pdf[@]}" -o "$dir/in2.pdf" "$dir/small.ps"
  rm "$dir"/*.ps
}

make_images_20x5MiB() {
  local dir=$1
  for i in $(seq -w 1 20); do
    # 2048 x 2560 grey samples of noise: 5 MiB that Flate cannot shrink.
    head -c $((2048 * 2560)) /dev/urandom >"$dir/noise$i.bin"
    cat >"$dir/in$i.ps" <<EOF
%!PS
<< /PageSize [612 792] >> setpagedevice
gsave 36 36 translate 540 675 scale
/DeviceGray setcolorspace
<< /ImageType 1 /Width 2048 /Height 2560 /BitsPerComponent 8 /Decode [0 1]
   /ImageMatrix [2048 0 0 -2560 0 2560] /DataSource ($dir/noise$i.bin) (r) file >> image
grestore showpage
EOF
  done
  # Flate without downsampling keeps the samples whole.
  ls "$dir"/in*.ps | xargs -P "$jobs" -I{} sh -c 'gs -q -dNOPAUSE -dBATCH -dSAFER --permit-file-read="$2/" \
    -sDEVICE=pdfwrite -dAutoFilterGrayImages=false -dGrayImageFilter=/FlateEncode -dDownsampleGrayImages=false \
    -o "${1%.ps}.pdf" "$1"' _ {} "$dir"
  rm "$dir"/in*.ps "$dir"/noise*.bin
}

make_raw_images_20x5MiB() {
  local dir=$1
  # One unfiltered RGB image of 5 MiB per file, looking like a photograph
  # (shading, shapes, sensor noise): what a scanner or camera program writes
  # without compression. Different in every file.
  for i in $(seq -w 1 20); do "$make_image_pdf" "$dir/in$i.pdf" "$((10#$i))"; done
}

make_pages_1000x1() {
  local dir=$1
  text_program 1 1000 "a one-page file" >"$dir/pages.ps"
  # %04d: one output file per page, each with its own font subset.
  "${gs_pdf[@]}" -o "$dir/in%04d.pdf" "$dir/pages.ps"
  rm "$dir/pages.ps"
}

# The inputs of a case, made at first use; a stamp marks a complete set.
case_dir() {
  local name=$1 dir=$cache/$1
  if [ ! -f "$dir/.complete" ]; then
    echo "making the inputs of $name ..." >&2
    rm -rf "$dir"
    mkdir -p "$dir"
    case $name in
      text-100x10) make_text_100x10 "$dir" ;;
      big-2000+10) make_big_2000_10 "$dir" ;;
      images-20x5MiB) make_images_20x5MiB "$dir" ;;
      raw-images-20x5MiB) make_raw_images_20x5MiB "$dir" ;;
      pages-1000x1) make_pages_1000x1 "$dir" ;;
      *) echo "unknown case $name" >&2; exit 2 ;;
    esac
    local pages=0
    for f in "$dir"/in*.pdf; do
      pages=$((pages + $(pdfinfo "$f" | awk '/^Pages:/ {print $2}')))
    done
    echo "$pages" >"$dir/.pages"
    touch "$dir/.complete"
  fi
  echo "$dir"
}

tools=(ours qpdf mutool pdfunite)

# Runs one tool once: IN... are the case's inputs, $2 the output.
# Prints "seconds peak_KiB", or "fail" when the tool did not succeed.
run_tool() {
  local tool=$1 out=$2
  shift 2
  local cmd
  case $tool in
    ours) cmd=("$merge_files" "$out" "$@") ;;
    qpdf) cmd=(qpdf --empty --pages "$@" -- "$out") ;;
    mutool) cmd=(mutool merge -o "$out" "$@") ;;
    pdfunite) cmd=(pdfunite "$@" "$out") ;;
  esac
  rm -f "$out"
  local stats=$work/time.txt start end rc=0
  start=$(date +%s%N)
  /usr/bin/time -v -o "$stats" "${cmd[@]}" >/dev/null 2>"$work/stderr.txt" || rc=$?
  end=$(date +%s%N)
  # qpdf exits 3 when it only warned.
  if [ $rc -ne 0 ] && ! { [ "$tool" = qpdf ] && [ $rc -eq 3 ]; }; then
    echo fail
    return
  fi
  local peak
  peak=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$stats")
  echo "$(( (end - start) / 1000 )) $peak"
}

median() { sort -n | awk '{v[NR] = $1} END {if (NR == 0) print 0; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

mkdir -p "$cache"
work=$(mktemp -d "$cache/run.XXXXXX")
trap 'rm -rf "$work"' EXIT

printf 'merge_files: %s\nruns per tool: %s after one warm-up\n' "$merge_files" "$runs"
summary=()
for name in $cases; do
  dir=$(case_dir "$name")
  inputs=("$dir"/in*.pdf)
  expected=$(cat "$dir/.pages")
  declare -A failed=()
  for tool in "${tools[@]}"; do : >"$work/$tool.runs"; failed[$tool]=0; done

  # Round 0 is the warm-up; each round starts with the next tool in turn.
  for ((r = 0; r <= runs; r++)); do
    for ((k = 0; k < ${#tools[@]}; k++)); do
      tool=${tools[$(((r + k) % ${#tools[@]}))]}
      [ "${failed[$tool]}" = 1 ] && continue
      result=$(run_tool "$tool" "$work/$tool.pdf" "${inputs[@]}")
      if [ "$result" = fail ]; then
        failed[$tool]=1
        if [ "$tool" = ours ]; then
          echo "$name: merge_files failed: $(cat "$work/stderr.txt")" >&2
          exit 1
        fi
        continue
      fi
      [ $r -gt 0 ] && echo "$result" >>"$work/$tool.runs"
    done
  done

  # Our output must be whole: a clean check and every page.
  check=ok
  if ! qpdf --check "$work/ours.pdf" >"$work/check.txt" 2>&1; then check="qpdf --check FAILED"; fi
  pages=$(pdfinfo "$work/ours.pdf" 2>/dev/null | awk '/^Pages:/ {print $2}')
  [ "$pages" = "$expected" ] || check="$check; $pages pages, expected $expected"

  in_size=$(cat "${inputs[@]}" | wc -c)
  printf '\n%s: %d files, %d pages, %.1f MiB in; our output: %s\n' "$name" "${#inputs[@]}" "$expected" \
    "$(awk -v b="$in_size" 'BEGIN {print b / 1048576}')" "$check"
  printf '%-9s %10s %10s %12s %11s\n' tool "median ms" "peak MiB" "out KiB" "ours/tool"
  declare -A ms=() mib=() out=()
  for tool in "${tools[@]}"; do
    if [ "${failed[$tool]}" = 1 ]; then
      printf '%-9s %10s\n' "$tool" failed
      continue
    fi
    ms[$tool]=$(awk '{print $1 / 1000}' "$work/$tool.runs" | median)
    mib[$tool]=$(awk '{print $2 / 1024}' "$work/$tool.runs" | median)
    out[$tool]=$(stat -c %s "$work/$tool.pdf")
    ratio=$(awk -v a="${ms[ours]}" -v b="${ms[$tool]}" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}')
    printf '%-9s %10.1f %10.1f %12.1f %11s\n' "$tool" "${ms[$tool]}" "${mib[$tool]}" \
      "$(awk -v b="${out[$tool]}" 'BEGIN {print b / 1024}')" "$ratio"
  done

  # The figures that must hold: faster than the fastest, less memory and no
  # larger output than qpdf.
  fastest=""
  for tool in qpdf mutool pdfunite; do
    [ "${failed[$tool]}" = 1 ] && continue
    if [ -z "$fastest" ] || awk -v a="${ms[$tool]}" -v b="${ms[$fastest]}" 'BEGIN {exit !(a < b)}'; then
      fastest=$tool
    fi
  done
  verdict=""
  [ -n "$fastest" ] && ! awk -v a="${ms[ours]}" -v b="${ms[$fastest]}" 'BEGIN {exit !(a < b)}' &&
    verdict="$verdict slower than $fastest;"
  if [ "${failed[qpdf]}" = 0 ]; then
    awk -v a="${mib[ours]}" -v b="${mib[qpdf]}" 'BEGIN {exit !(a < b)}' || verdict="$verdict more memory than qpdf;"
    [ "${out[ours]}" -le "${out[qpdf]}" ] ||
      verdict="$verdict output $(( out[ours] - out[qpdf] )) bytes larger than qpdf's;"
  fi
  [ "$check" = ok ] || verdict="$verdict output check failed;"
  summary+=("$(printf '%-15s %s' "$name" "${verdict:- all figures hold}")")
  unset ms mib out failed
done

printf '\nsummary (ours/tool below 1.0 means ours is faster)\n'
printf '%s\n' "${summary[@]}"
