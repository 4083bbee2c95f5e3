#!/usr/bin/env bash
# Makes the seed corpus of every fuzz target into fuzz/corpus/<target>/: the
# inputs of make_seeds (test-support library), files made by Ghostscript,
# qpdf variants of them (object streams, linearized, encrypted with an empty
# user password), and for the security handler the encryption dictionaries
# and identifiers of qpdf's encrypted files. Run by hand when the seeds should
# change; the result is committed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/deps
cmake --preset ci >/dev/null
cmake --build --preset ci --target make_seeds >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/ci/fuzz/make_seeds "$work/seeds"

cat >"$work/text.ps" <<'PS'
%!PS
/Helvetica findfont 12 scalefont setfont
1 1 2 { /n exch def 72 700 moveto (Page ) show n 3 string cvs show
  newpath 100 100 moveto 300 400 lineto 0.5 setgray 4 setlinewidth stroke showpage } for
PS
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -o "$work/gs.pdf" "$work/text.ps"
cp "$work/gs.pdf" "$work/seeds/load/gs.pdf"
cp "$work/gs.pdf" "$work/seeds/merge/gs.pdf"
qpdf --object-streams=generate "$work/gs.pdf" "$work/seeds/load/gs-objstm.pdf"
qpdf --linearize "$work/gs.pdf" "$work/seeds/merge/gs-linearized.pdf"
for level in 40 128 aes; do
  case $level in
    40) args=(--encrypt "" owner 40 --) ;;
    128) args=(--encrypt "" owner 128 --) ;;
    aes) args=(--encrypt "" owner 128 --use-aes=y --) ;;
  esac
  out="$work/enc-$level.pdf"
  qpdf --allow-weak-crypto "${args[@]}" "$work/gs.pdf" "$out" 2>/dev/null || qpdf "${args[@]}" "$work/gs.pdf" "$out"
  cp "$out" "$work/seeds/load/"
  cp "$out" "$work/seeds/merge/"
  # The handler's own input: the empty password, the dictionary, the identifier.
  trailer=$(qpdf --show-object=trailer "$out")
  number=$(sed -n 's|.*/Encrypt \([0-9]*\) 0 R.*|\1|p' <<<"$trailer")
  id=$(sed -n 's|.*/ID \(\[[^]]*\]\).*|\1|p' <<<"$trailer")
  { printf '\n'; qpdf --show-object="$number" "$out"; printf ' %s' "$id"; } >"$work/seeds/security/qpdf-$level"
done

for target in parser load codecs security merge; do
  mkdir -p "fuzz/corpus/$target"
  cp "$work/seeds/$target/"* "fuzz/corpus/$target/"
done
du -sh fuzz/corpus
