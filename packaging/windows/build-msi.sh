#!/usr/bin/env bash
# Builds one Windows installer from telkarim.wxs with wixl, then adds what
# wixl cannot express: the same version counted as an older one (another
# build replaces the installed one) and SETASSAVER among the secure
# properties.
#   build-msi.sh x64|x86 VERSION SAVER.scr ICON.ico OUT.msi
set -euo pipefail
arch=$1 version=$2 saver=$3 icon=$4 out=$5
here=$(cd "$(dirname "$0")" && pwd)
case $arch in x64|x86) ;; *) echo "build-msi: no such architecture: $arch" >&2; exit 2;; esac
tmp="$out.tmp"
rm -f "$tmp"
# wixl takes files by names relative to its include folders: a stage of
# exactly the files it packs.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$saver" "$stage/telkarim.scr"
cp "$icon" "$stage/telkarim.ico"
cp "$here/telkarim.wxs" "$stage/"
# The licence and the notices, as Windows text (CRLF), for the component
# that puts them beside the saver.
sed 's/$/\r/' "$here/../../LICENSE" >"$stage/LICENSE.txt"
sed 's/$/\r/' "$here/../../third_party/NOTICES" >"$stage/NOTICES.txt"
out_dir=$(cd "$(dirname "$out")" && pwd)
tmp="$out_dir/$(basename "$tmp")"
(cd "$stage" && wixl -a "$arch" -D Version="$version" -D Arch="$arch" -D SaverFile=telkarim.scr \
  -D IconFile=telkarim.ico -o "$tmp" telkarim.wxs)
# wixl drops IncludeMaximum: the row that finds what the install replaces
# must take the same version too.
# (Attributes is part of the table's key: the table goes out and back in.)
msiinfo export "$tmp" Upgrade | awk 'BEGIN {FS = OFS = "\t"} $7 ~ /^OLDERVERSION\r?$/ {$5 = 768} {print}' >"$stage/Upgrade.idt"
msibuild "$tmp" -i "$stage/Upgrade.idt"
msiinfo export "$tmp" Upgrade | tr -d '\r' | awk -F'\t' '$7 == "OLDERVERSION" && $5 == 768 {found=1} END {exit !found}' \
  || { echo "build-msi: no upgrade row that takes the same version" >&2; rm -f "$tmp"; exit 1; }
msiinfo export "$tmp" InstallExecuteSequence | tr -d '\r' | awk -F'\t' '$1 == "RemoveExistingProducts" && $3 < 1500 {found=1} END {exit !found}' \
  || { echo "build-msi: RemoveExistingProducts is not before InstallInitialize" >&2; rm -f "$tmp"; exit 1; }
# SETASSAVER, given on the command line of an install that elevates through
# the consent prompt, reaches the part that runs with the rights only as a
# secure property (wixl has no Secure attribute either).
secure=$(msiinfo export "$tmp" Property | tr -d '\r' | awk -F'\t' '$1 == "SecureCustomProperties" { print $2 }')
if [ -n "$secure" ]; then
  msibuild "$tmp" -q "UPDATE \`Property\` SET \`Value\` = '$secure;SETASSAVER' WHERE \`Property\` = 'SecureCustomProperties'"
else
  msibuild "$tmp" -q "INSERT INTO \`Property\` (\`Property\`, \`Value\`) VALUES ('SecureCustomProperties', 'SETASSAVER')"
fi
mv "$tmp" "$out"
