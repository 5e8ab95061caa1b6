#!/usr/bin/env bash
# Makes sure ./data/ holds the sample: the brain template of Debian's
# mricron-data (a T1 scan, 181 axial slices) as raw slice files, and a
# colornfo.txt whose regions name and colour its tissues. Existing slices and
# an existing colornfo.txt are never touched.
#   scripts/sample-data.sh PATH/TO/lumidra-import
set -euo pipefail
cd "$(dirname "$0")/.."
importer=${1:?usage: sample-data.sh PATH/TO/lumidra-import}
template=/usr/share/mricron/templates/ch2.nii.gz

if [ ! -e data/slice000 ] && [ ! -e data/slice000.pgm ]; then
  echo "sample: importing $template into ./data/"
  "$importer" "$template" data/
fi

if [ ! -e data/colornfo.txt ]; then
  # Grey ranges fitted to the template's histogram under the default window
  # (robust: its values 0 to 178 onto 0..4095): scalp and facial fat from
  # value 121 up, white matter 104-120, grey matter 72-103, the boundary
  # 40-71, CSF 8-39, background 0-7.
  # Names are single words: a region info file keeps a name's first word only.
  # Region 0 is what the first screen paints: the bright scalp and facial fat
  # of the lowest slice.
  cat > data/colornfo.txt <<'RIF'
#Number of Regions
6

#Scalp
174
255
255
190
110

#WhiteMatter
149
173
245
240
205

#GreyMatter
103
148
205
85
95

#Boundary
57
102
130
90
170

#CSF
11
56
60
120
255

#Background
0
10
0
0
0

RIF
  echo "sample: wrote data/colornfo.txt"
fi
