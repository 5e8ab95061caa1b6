#!/usr/bin/env bash
# Installs the build into a scratch prefix, as a packager would, and checks
# what lands there: the programs and nothing else in bin/, the desktop entry
# and the AppStream metadata by their validators, the icon at every size, the
# MIME types the entry names, the manual pages, and one version throughout.
#   install-check.sh BUILD_DIR SOURCE_DIR APP_ID VERSION PROGRAM...
set -uo pipefail
build=$1 source=$2 id=$3 version=$4
shift 4
programs=("$@")

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
if ! cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1; then
  cat "$prefix.log"
  fail "cmake --install"
fi
rm -f "$prefix.log"
share=$prefix/share

# Programs: each one executable, and no test or benchmark beside them.
for p in "${programs[@]}"; do
  [ -x "$prefix/bin/$p" ] || fail "bin/$p is missing or not executable"
done
installed=$(cd "$prefix/bin" 2>/dev/null && ls | sort | tr '\n' ' ')
expected=$(printf '%s\n' "${programs[@]}" | sort | tr '\n' ' ')
[ "$installed" = "$expected" ] || fail "bin/ holds '$installed', expected '$expected'"

# The DICOM reader: beside the programs' prefix in libexec, where they find it.
reader=$prefix/libexec/lumidra/lumidra-dicom-read
if [ -x "$reader" ]; then
  [ "$("$reader" scan </dev/null)" = E ] || fail "libexec/lumidra/lumidra-dicom-read does not answer"
else
  fail "libexec/lumidra/lumidra-dicom-read is missing or not executable"
fi

# Desktop entry: no warning and no hint either, starting an installed program.
desktop=$share/applications/$id.desktop
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate failed"
[ -z "$out" ] || fail "desktop-file-validate says: $out"
grep -qx 'Exec=lumidra %f' "$desktop" || fail "the entry does not start 'lumidra %f'"
grep -qx "Icon=$id" "$desktop" || fail "the entry's icon is not $id"
# Qt names the window's class after the program; the shell matches it to the entry.
grep -qx 'StartupWMClass=lumidra' "$desktop" || fail "the entry does not claim the lumidra window"

# Icon: the SVG and a PNG of the named size at each size the theme looks for.
[ -s "$share/icons/hicolor/scalable/apps/$id.svg" ] || fail "scalable icon missing"
for size in 16 22 24 32 48 64 128 256; do
  png=$share/icons/hicolor/${size}x${size}/apps/$id.png
  file -b "$png" | grep -q "PNG image data, $size x $size," ||
    fail "icon ${size}x${size}: $(file -b "$png" 2>&1)"
done

# MIME types: every type the entry opens is defined, by the package shipped
# beside it or by the system, and *.nii / *.nii.gz map to ours.
mime=$prefix/mime-check
mkdir -p "$mime/packages"
cp /usr/share/mime/packages/freedesktop.org.xml "$share/mime/packages/$id.xml" "$mime/packages/" ||
  fail "MIME package $id.xml missing"
update-mime-database "$mime" >/dev/null 2>&1 || fail "update-mime-database rejects the MIME package"
for type in $(sed -n 's/^MimeType=//p' "$desktop" | tr ';' ' '); do
  [ -f "$mime/$type.xml" ] || fail "the entry opens $type, which no MIME package defines"
done
grep -q ':image/x-nifti:\*\.nii$' "$mime/globs2" || fail "*.nii is not image/x-nifti"
grep -q ':image/x-nifti-gzip:\*\.nii\.gz$' "$mime/globs2" || fail "*.nii.gz is not image/x-nifti-gzip"

# AppStream: valid without the network, and pointing at this desktop entry.
metainfo=$share/metainfo/$id.metainfo.xml
out=$(appstreamcli validate --no-net --no-color "$metainfo" 2>&1) ||
  fail "appstreamcli validate: $out"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
  fail "the metadata does not launch $id.desktop"
grep -q "<id>$id</id>" "$metainfo" || fail "the metadata's id is not $id"

# Manual pages: one per program, gzipped as Debian wants (maximum compression,
# no time stamp), rendering without a groff warning.
for p in "${programs[@]}"; do
  page=$share/man/man1/$p.1.gz
  if [ ! -s "$page" ]; then
    fail "manual page of $p missing"
    continue
  fi
  [ "$(od -An -tx1 -j4 -N4 "$page" | tr -d ' ')" = 00000000 ] || fail "$p.1.gz holds a time stamp"
  [ "$(od -An -tx1 -j8 -N1 "$page" | tr -d ' ')" = 02 ] || fail "$p.1.gz is not gzip -9"
  out=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$out" ] || fail "man $p: $out"
done
# Every option a tool's --help lists is in its manual page.
for p in lumidra-import lumidra-stats; do
  [ -x "$prefix/bin/$p" ] || continue
  page=$(zcat "$share/man/man1/$p.1.gz" | sed 's/\\-/-/g')
  for option in $("$prefix/bin/$p" --help 2>&1 | grep -oE -- '(^|[^[:alnum:]])--?[a-z][a-z-]*' |
    grep -oE -- '--?[a-z][a-z-]*' | sort -u); do
    grep -qe "$option" <<<"$page" || fail "$p --help lists $option, its manual page does not"
  done
done

# Region files to start from: installed, and named by an installed
# lumidra-stats that has no region file of its own.
for rif in t1-brain.rif ct-hu.rif; do
  [ -s "$share/lumidra/$rif" ] || fail "share/lumidra/$rif is missing"
done
if [ -x "$prefix/bin/lumidra-stats" ]; then
  out=$(cd "$prefix" && "$prefix/bin/lumidra-stats" scan.nii 2>&1)
  for rif in t1-brain.rif ct-hu.rif; do
    grep -qF "$share/lumidra/$rif" <<<"$out" || fail "lumidra-stats without a region file does not name $share/lumidra/$rif: $out"
  done
fi

# Debian's documents, and one version in the project, the metadata, the
# changelog and the manual pages.
doc=$share/doc/lumidra
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$doc/copyright" ||
  fail "copyright is not in Debian's machine-readable format"
[ "$(zcat "$doc/changelog.Debian.gz" | head -1 | sed -E 's/^lumidra \(([^-)]*)-[0-9]+\).*/\1/')" = "$version" ] ||
  fail "changelog.Debian's newest entry is not $version"
[ "$(grep -m1 -o '<release version="[^"]*"' "$metainfo" | cut -d'"' -f2)" = "$version" ] ||
  fail "the metadata's newest release is not $version"
for page in "$source"/man/*.1; do
  grep -q "^\.TH .* \"Lumidra $version\"" "$page" || fail "$(basename "$page") is not for Lumidra $version"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "install-check: all checks passed"
