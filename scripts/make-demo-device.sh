#!/usr/bin/env bash
# Creates the demo device for the simulated device library under the folder $1 and writes
# $1/devices.conf for it (point TOVAREL_SIM_CONFIG at that file). Prints the configuration's path.
#
# The device, "Demo iPhone", has the iPhone edition (com.marlquist.tovarel) and the iPad edition
# (com.marlquist.tovarel.ipad) installed, not the version-4 edition (com.marlquist.tovarel4). Each
# container holds /Documents with nested folders, PDFs, text files and pictures, and a Downloads
# folder at /Library/Application Support/com.marlquist.tovarel.ASRoot/UserDocs.
#
# Running it again rewrites the demo files and the configuration and keeps anything else found
# in the folder (files added through the program stay).
set -euo pipefail
export LC_ALL=C  # byte lengths for the PDF cross-reference offsets

if [ $# -ne 1 ]; then
  echo "usage: $0 <folder>" >&2
  exit 2
fi
mkdir -p "$1"
demo=$(realpath "$1")

# A one-page PDF with a title line, with a correct cross-reference table.
write_pdf() {
  local path=$1 title=$2
  local content="BT /F1 24 Tf 72 720 Td ($title) Tj ET"
  local objects=(
    "<< /Type /Catalog /Pages 2 0 R >>"
    "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"
    "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>"
    "<< /Length ${#content} >>
stream
$content
endstream"
    "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"
  )
  local body="%PDF-1.4
" offsets=() i
  for i in "${!objects[@]}"; do
    offsets+=("${#body}")
    body+="$((i + 1)) 0 obj
${objects[$i]}
endobj
"
  done
  local xref=${#body}
  body+="xref
0 $((${#objects[@]} + 1))
0000000000 65535 f 
"
  for i in "${offsets[@]}"; do
    body+=$(printf '%010d 00000 n ' "$i")
    body+="
"
  done
  body+="trailer
<< /Size $((${#objects[@]} + 1)) /Root 1 0 R >>
startxref
$xref
%%EOF
"
  mkdir -p "$(dirname "$path")"
  printf '%s' "$body" >"$path"
}

# A small picture: drawn by ImageMagick when it is there, else a tiny image written byte for byte.
write_picture() {
  local path=$1 colour=$2
  mkdir -p "$(dirname "$path")"
  if command -v convert >/dev/null 2>&1 &&
     convert -size 160x120 "gradient:$colour-white" -fill white -draw "circle 110,40 110,58" \
       -depth 8 -strip "$path" 2>/dev/null; then
    return
  fi
  case $path in
    *.png) base64 -d >"$path" <<<'iVBORw0KGgoAAAANSUhEUgAAAAgAAAAIAQMAAAD+wSzIAAAAA1BMVEVGgrQW1EH0AAAAC0lEQVQI12NgQAUAABAAAaHFIcEAAAAASUVORK5CYII=' ;;
    *) base64 -d >"$path" <<<'/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDABALDA4MChAODQ4SERATGCgaGBYWGDEjJR0oOjM9PDkzODdASFxOQERXRTc4UG1RV19iZ2hnPk1xeXBkeFxlZ2P/2wBDARESEhgVGC8aGi9jQjhCY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2P/wAARCAAIAAgDASIAAhEBAxEB/8QAFQABAQAAAAAAAAAAAAAAAAAAAAX/xAAUEAEAAAAAAAAAAAAAAAAAAAAA/8QAFQEBAQAAAAAAAAAAAAAAAAAABQb/xAAUEQEAAAAAAAAAAAAAAAAAAAAA/9oADAMBAAIRAxEAPwCuAkTb/9k=' ;;
  esac
}

write_text() {
  mkdir -p "$(dirname "$1")"
  printf '%s\n' "$2" >"$1"
}

# One edition's container: documents the user made, and what the app downloaded.
write_container() {
  local root=$1 edition=$2
  local docs=$root/Documents
  local downloads="$root/Library/Application Support/com.marlquist.tovarel.ASRoot/UserDocs"
  write_pdf "$docs/Welcome.pdf" "Welcome to Tovarel ($edition)"
  write_pdf "$docs/Manuals/Getting Started.pdf" "Getting started"
  write_pdf "$docs/Manuals/Advanced/Reference.pdf" "Reference manual"
  write_pdf "$docs/Manuals/Advanced/Appendix A.pdf" "Appendix A"
  write_text "$docs/Notes.txt" "Shopping: bread, milk, apples."
  write_text "$docs/Books/Reading list.txt" "1. The Long Way Round"
  write_text "$docs/Résumé – Anna’s notes.txt" "Anna's résumé notes – draft 3."
  write_picture "$docs/Pictures/Harbour.png" steelblue
  write_picture "$docs/Pictures/Sunset.jpg" orange
  write_picture "$docs/Pictures/Holiday 2023/Beach.jpg" gold
  mkdir -p "$docs/Empty folder" "$root/Library/Caches" "$root/tmp"
  write_pdf "$downloads/Downloaded guide.pdf" "Downloaded guide"
  write_pdf "$downloads/Invoices/Invoice 2024-03.pdf" "Invoice 2024-03"
  write_text "$downloads/readme.txt" "Files the app downloaded."
}

write_container "$demo/iphone-edition" "iPhone edition"
write_container "$demo/ipad-edition" "iPad edition"
write_picture "$demo/storage/DCIM/100APPLE/IMG_0001.JPG" skyblue

cat >"$demo/devices.conf.new" <<EOF
# The demo device of the simulated device library (written by scripts/make-demo-device.sh).
device 00008101-000A1B2C3D4E5F60
  name Demo iPhone
  model iPhone14,2
  total 128000000000
  free 41234567890
  storage $demo/storage
  app com.marlquist.tovarel $demo/iphone-edition
  app com.marlquist.tovarel.ipad $demo/ipad-edition
EOF
# Moved into place whole, so a running library never reads half a file.
mv -f "$demo/devices.conf.new" "$demo/devices.conf"
echo "$demo/devices.conf"
