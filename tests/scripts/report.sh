#!/usr/bin/env bash
# The receiver report end to end, read by real consumers: the page must be
# well-formed XML (every inline SVG with it) and render in headless Chromium to
# a picture that is not blank; GPSBabel must read the GPX and KML tracks back
# as the same points the CSV lists as accepted. Then the exit statuses and
# messages of bad inputs and outputs. A second page, from three simulated
# receivers with a reference, one with a long gap, is printed to PDF and its
# pages turned to PNG; so is a third, from three captured receivers when the
# captures are beside the checkout. The screenshots, the printed pages and the pages are
# kept in BUILD_DIR/test-artifacts/.
#   bash tests/scripts/report.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$(realpath "$1")
build_dir=$(realpath "$2")
kestrova="$build_dir/kestrova"
artifacts="$build_dir/test-artifacts"
mkdir -p "$artifacts"
for tool in xmllint chromium gpsbabel convert pdftoppm pdfinfo; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is missing (tools/install-deps.sh report test installs it)"
    exit 77
  fi
done
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-report.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cd "$work"
cp "$source_dir/samples/demo.nme" a.nme
cp "$source_dir/samples/demo-binr.dat" b.dat

# The demo: an NMEA and a BINR recording of the same drive, side by side.
"$kestrova" --report a.nme b.dat --html r.html --csv r.csv --gpx r.gpx --kml r.kml --json r.json >table.txt ||
  fail "the report ended with status $?"
# Equal values are no best: neither gets a mark.
grep -Eq '^Accepted fixes +600 +600 *$' table.txt || fail "table: $(grep '^Accepted' table.txt)"
grep -q '"cep50_m": [0-9]' r.json || fail "no CEP50 in the JSON"
cp r.html "$artifacts/report.html"

xmllint --noout r.html r.gpx r.kml || fail "the page or a track is not well-formed XML"
svgs=$(xmllint --xpath 'count(//*[local-name()="svg"])' r.html)
# Per recording a scatter, two error charts, the used satellites' C/N0 and a
# sky plot; the distribution, satellites, HDOP and C/N0 against elevation.
[ "$svgs" -eq 14 ] || fail "$svgs SVG charts on the page, not 14"
# Each track labelled with its number in its system's colour; the used
# satellites' C/N0 per system, from the NMEA GSA lists and the BINR 0x93.
for want in '<text class="sat"[^>]*fill="#0000ff"[^>]*>12</text>' '<text class="sat"[^>]*fill="#ff0000"[^>]*>18</text>' \
  'C/N0 of the satellites used: a.nme' 'C/N0 of the satellites used: b.dat' \
  'Kinds accepted</td><td>every kind but manual and simulated \(the default\)'; do
  [ "$(grep -Eo -- "$want" r.html | wc -l)" -ge 1 ] || fail "the page lacks $want"
done
cn0_lines=$(xmllint --xpath 'count(//*[local-name()="svg"][.//*[local-name()="text"][starts-with(., "C/N0 of the satellites used")]]//*[@stroke="#0000ff" or @stroke="#e00000"])' r.html)
[ "$cn0_lines" -eq 4 ] || fail "$cn0_lines GPS and GLONASS C/N0 lines, not 4"
[ "$(grep -c '<text class="sat"' r.html)" -eq 30 ] || fail "$(grep -c '<text class="sat"' r.html) satellite labels, not 30"
"$kestrova" --report a.nme --kinds rtk-fixed,autonomous --html k.html >/dev/null || fail "--kinds page: status $?"
grep -q 'Kinds accepted</td><td>autonomous, rtk-fixed (--kinds)' k.html || fail "the page does not list --kinds"
! grep -Eq '<script|(src|href)="(https?:|//)' r.html || fail "the page is not self-contained"

rm -f "$artifacts/report.png"
timeout 120 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1100,5400 \
  --screenshot="$artifacts/report.png" "file://$work/r.html" >/dev/null 2>&1 || true
[ -s "$artifacts/report.png" ] || fail "Chromium made no screenshot"
colors=$(convert "$artifacts/report.png" -format '%k' info:)
[ "$colors" -gt 200 ] || fail "the screenshot looks blank ($colors colours)"

# Three receivers with a reference: a named NMEA receiver, a BINR one with
# its device text, and one that loses 10 minutes and comes back for 18 epochs.
sim="$build_dir/kestrova-sim"
if [ -x "$sim" ]; then
  "$sim" --write-demo s.nme --protocol nmea --seconds 900 --scenario static --seed 1 >/dev/null
  { echo '$GPTXT,01,01,02,SIM-A receiver FW 3.1*72'; cat s.nme; } >sim-a.nme
  "$sim" --write-demo sim-b.dat --protocol binr --seconds 900 --scenario static --seed 2 --device "RX-B 2.0" >/dev/null
  "$sim" --write-demo s.nme --protocol nmea --seconds 900 --scenario static --seed 3 >/dev/null
  # 8 lines an epoch: epochs 200 to 881 go, 18 stay after the gap.
  sed '1601,7056d' s.nme >sim-c.nme
  printf 'Antennas on one pole.\nSplitter <A&B> "as is".\n' >notes.txt
  "$kestrova" --report sim-a.nme sim-b.dat sim-c.nme --reference 52.2297,21.0122,111.5 --max-hdop 2.0 \
    --title "Three receivers, one pole" --notes notes.txt --html three.html >three.txt || fail "three: status $?"
  xmllint --noout three.html || fail "the three-receiver page is not well-formed XML"
  for want in 'Three receivers, one pole' 'Splitter &lt;A&amp;B&gt; &quot;as is&quot;' 'SIM-A receiver FW 3.1' 'RX-B 2.0' \
    "$(sha256sum sim-b.dat | cut -d' ' -f1)" 'Bias east, m' '--max-hdop 2.0' '2018-09-18 10:15:00.000' \
    'fixes beyond|every fix within' 'fill="#e8e8e8"'; do
    grep -Eq -- "$want" three.html || fail "the three-receiver page lacks $want"
  done
  cp three.html "$artifacts/report-three.html"
  rm -f "$artifacts"/report-three*.png
  timeout 120 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1100,7000 \
    --screenshot="$artifacts/report-three.png" "file://$work/three.html" >/dev/null 2>&1 || true
  [ -s "$artifacts/report-three.png" ] || fail "Chromium made no screenshot of the three-receiver page"
  timeout 120 chromium --headless --no-sandbox --disable-gpu --no-pdf-header-footer --print-to-pdf="$work/three.pdf" \
    "file://$work/three.html" >/dev/null 2>&1 || true
  [ -s three.pdf ] || fail "Chromium printed no PDF"
  pages=$(pdfinfo three.pdf | awk '/^Pages:/ {print $2}')
  size=$(pdfinfo three.pdf | awk '/^Page size:/ {print $3 "x" $5}')
  [ "$pages" -ge 3 ] && [ "$pages" -le 12 ] || fail "the print has $pages pages"
  awk -v s="$size" 'BEGIN { split(s, d, "x"); exit !(d[1] > 590 && d[1] < 600 && d[2] > 837 && d[2] < 847) }' ||
    fail "the print is not A4: $size pt"
  pdftoppm -r 60 -png three.pdf "$artifacts/report-three-print"
else
  echo "NOTE: no kestrova-sim beside kestrova: the three-receiver page was not made"
fi

# Three real receivers of different makes, with a reference (the RTK
# receiver's own mean, so its scatter is the one to read): screenshot and
# printed pages kept beside the simulated ones.
captures="$source_dir/../shared/testdata/nmea"
if [ -f "$captures/nmea-rtk.log" ] && [ -f "$captures/quectel-l76k-dual.log" ] && [ -f "$captures/skytraq-dgps.log" ]; then
  cp "$captures/nmea-rtk.log" rtk.nme
  cp "$captures/quectel-l76k-dual.log" quectel.nme
  cp "$captures/skytraq-dgps.log" skytraq.nme
  ref=$("$kestrova" --report rtk.nme --json - | tr -d ' \n' |
        sed -E 's/.*"reference_lat_deg":([-0-9.e]+),"reference_lon_deg":([-0-9.e]+),"reference_height_m":([-0-9.e]+).*/\1,\2,\3/')
  "$kestrova" --report rtk.nme quectel.nme skytraq.nme --reference "$ref" --html captures.html >/dev/null ||
    fail "captures: status $?"
  xmllint --noout captures.html || fail "the page of three captures is not well-formed XML"
  grep -q -- "--reference $ref" captures.html || fail "the page of three captures does not name its reference"
  rm -f "$artifacts"/report-captures*.png
  timeout 120 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1100,7000 \
    --screenshot="$artifacts/report-captures.png" "file://$work/captures.html" >/dev/null 2>&1 || true
  [ -s "$artifacts/report-captures.png" ] || fail "Chromium made no screenshot of the page of three captures"
  timeout 120 chromium --headless --no-sandbox --disable-gpu --no-pdf-header-footer --print-to-pdf="$work/captures.pdf" \
    "file://$work/captures.html" >/dev/null 2>&1 || true
  [ -s captures.pdf ] || fail "Chromium printed no PDF of the page of three captures"
  pdftoppm -r 60 -png captures.pdf "$artifacts/report-captures-print"
else
  echo "NOTE: the shared captures are absent: the page of three captures was not made"
fi

# GPSBabel reads both tracks back as the accepted rows of the CSV.
awk -F, 'NR > 1 && $5 == 1 {print $6, $7, $8}' r.csv >expected.txt
for format in gpx kml; do
  gpsbabel -t -i "$format" -f "r.$format" -o unicsv -F - | awk -F, 'NR > 1 {print $2, $3, $4}' >"read-$format.txt"
  [ "$(wc -l <"read-$format.txt")" -eq "$(wc -l <expected.txt)" ] ||
    fail "$format: $(wc -l <"read-$format.txt") points read back, $(wc -l <expected.txt) accepted in the CSV"
  paste -d' ' expected.txt "read-$format.txt" | awk -v f="$format" '
    function abs(x) { return x < 0 ? -x : x }
    abs($1 - $4) > 1e-6 || abs($2 - $5) > 1e-6 || abs($3 - $6) > 0.051 { print "FAIL: " f " point " NR ": " $0; bad = 1; exit }
    END { exit bad }' || exit 1
done

# Bad inputs and outputs.
status() { local rc=0; "$kestrova" --report "$@" >out.txt 2>err.txt || rc=$?; echo "$rc"; }
rc=$(status a.nme missing.nme --json ok.json)
[ "$rc" -eq 2 ] || fail "a missing file gave status $rc"
grep -qx 'kestrova: missing.nme: cannot open: No such file or directory' err.txt || fail "missing file: $(cat err.txt)"
grep -q '"file": "a.nme"' ok.json || fail "the readable file was not reported beside the missing one"

rc=$(status a.nme --csv no/such/folder/r.csv --json ok2.json)
[ "$rc" -eq 1 ] || fail "an unwritable output gave status $rc"
grep -q 'no/such/folder/r.csv' err.txt || fail "unwritable output: $(cat err.txt)"
[ -s ok2.json ] || fail "the other output was not written"

for bad in "--reference 91,0,0" "--reference 1,2" "--from 25:00:00" "--to 12:00"; do
  # shellcheck disable=SC2086
  rc=$(status a.nme $bad)
  [ "$rc" -eq 2 ] || fail "$bad gave status $rc"
  grep -q -- "${bad%% *}" err.txt || fail "$bad: the message does not name the option: $(cat err.txt)"
done

# A time window that holds no epoch is said, not a table of dashes.
rc=$(status a.nme --from 03:00:00 --to 03:00:05)
[ "$rc" -eq 1 ] || fail "an empty time window gave status $rc"
grep -qx 'kestrova: a.nme has no epoch from 03:00:00 to 03:00:05 UTC' err.txt || fail "empty window: $(cat err.txt)"

LC_ALL=C awk 'BEGIN { srand(10); for (i = 0; i < 200000; i++) printf "%c", int(rand() * 256) }' >garbage.nme
cat garbage.nme >garbage.dat
rc=$(status garbage.nme garbage.dat)
[ "$rc" -eq 0 ] || fail "garbage gave status $rc"
grep -Eq '^CEP50, m +– +– *$' out.txt || fail "garbage: $(grep '^CEP50' out.txt)"

echo "report: pages, print, tracks and statuses checked; screenshots and printed pages in $artifacts/"
