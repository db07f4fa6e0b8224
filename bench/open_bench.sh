#!/usr/bin/env bash
# Opening a handed-over draft the add-in's way, whole process: `qnmuro run` opens a document
# of COUNT bookmarks (one data field per paragraph, beside 200 tracked insertions) with its
# control file and a data source in a fresh work directory; the add-in prepares the draft,
# which merges every item into its bookmark. Twice: with a data source of COUNT items, one for
# every bookmark ("open"), and with one item, so that all bookmarks but the first stay as they
# are ("open-unfilled"). Both grow linearly with COUNT.
#   bench/open_bench.sh [QNMURO_BINARY] [RUNS] [COUNT...]     (default 5 runs; 1000 10000 50000)
# Prints per COUNT: RESULT open <count> <median s> <min s> <max s> <peak KiB>, and the same for
# open-unfilled, read by bench/run.sh. Exits 1 when a run fails or the merge did not fill the
# last item's bookmark (checked in one untimed run first).
set -euo pipefail
qnmuro=$(realpath "${1:-build/qnmuro}")
runs=${2:-5}
shift 2 || true
counts=("$@")
[ "${#counts[@]}" -gt 0 ] || counts=(1000 10000 50000)

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# The draft: a head line with "BodyStart", COUNT paragraphs "第i项：[Fieldi]，其余文字保持不变。"
# (every (COUNT/200)-th with "其余" as a tracked insertion) and the body's end.
make_document() {
  awk -v n="$1" 'BEGIN {
    printf "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    printf "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\""
    printf " xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\""
    printf " xmlns:dc=\"http://purl.org/dc/elements/1.1/\" office:version=\"1.2\""
    printf " office:mimetype=\"application/vnd.oasis.opendocument.text\">\n"
    printf " <office:body>\n  <office:text>\n  <text:tracked-changes text:track-changes=\"false\">\n"
    step = int(n / 200); if (step < 1) step = 1
    for (i = 0; i < n; i += step)
      printf "   <text:changed-region text:id=\"ct%d\"><text:insertion><office:change-info>" \
             "<dc:creator>李四</dc:creator><dc:date>2026-01-01T08:00:00</dc:date>" \
             "</office:change-info></text:insertion></text:changed-region>\n", i
    printf "  </text:tracked-changes>\n"
    printf "   <text:p>青禾市人民政府办公室文件<text:bookmark text:name=\"BodyStart\"/></text:p>\n"
    for (i = 0; i < n; i++) {
      rest = (i % step == 0) ? sprintf("<text:change-start text:change-id=\"ct%d\"/>其余" \
                                       "<text:change-end text:change-id=\"ct%d\"/>", i, i) : "其余"
      printf "   <text:p>第%d项：<text:bookmark-start text:name=\"Field%d\"/>（待填写的内容）" \
             "<text:bookmark-end text:name=\"Field%d\"/>，%s文字保持不变。</text:p>\n", i, i, i, rest
    }
    printf "   <text:p>正文结束。<text:bookmark text:name=\"BodyEnd\"/></text:p>\n"
    printf "  </office:text>\n </office:body>\n</office:document>\n"
  }'
}

# ITEMS items for the first ITEMS of the bookmarks.
make_data_source() {
  awk -v n="$1" 'BEGIN {
    printf "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<document unid=\"B1\"><items>\n"
    for (i = 0; i < n; i++)
      printf "<item><name>f%d</name><desc>Field%d</desc><value>第%d项的值</value></item>\n", i, i, i
    printf "</items></document>\n"
  }'
}

make_control() {
  cat <<XML
<?xml version="1.0" encoding="UTF-8"?>
<config><common><clientLog>true</clientLog><http><rootUrl>http://127.0.0.1:9/oa</rootUrl></http>
<user><dept>办公室</dept><name>bench</name><lastName>张三</lastName><fullName>张三/办公室</fullName>
<password>00</password></user><transferMethod>HttpStreamBinary</transferMethod></common>
<binarys><binary><uploadUrl/><fileName>big.doc</fileName><title/><type>content</type>
<downloadUrl/><valueType/><draftUrl/></binary></binarys><binaryAssistants/><wordConfig/>
<sealConfig/><document><action>DraftDocument</action><binaryDatabase><fileName/><filePath/>
<server><address/><name/><title/></server><title/></binaryDatabase><database><fileName/>
<filePath/><server><address/><name/><title/></server><title/></database><status/><unid>B1</unid>
<button/></document><extend/></config>
XML
}

# "median min max" of the numbers given.
spread() {
  printf "%s\n" "$@" | sort -g | awk '{ v[NR] = $1 }
    END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1], v[NR] }'
}

for n in "${counts[@]}"; do
 for kind in open open-unfilled; do
  work="$dir/$n"
  mkdir -p "$work/OAWork"
  items=$n
  [ "$kind" = open ] || items=1
  make_document "$n" > "$work/big.doc"
  make_data_source "$items" > "$work/OAWork/big.ds.xml"
  make_control > "$work/OAWork/big.xml"
  last=$((items - 1))
  printf '%s\n' "set-registry CurrentFile big.doc" "open big.doc" > "$work/open.run"
  # One run first, untimed, checks that the merge filled the last item's bookmark.
  cp "$work/big.doc" "$work/OAWork/big.doc"
  printf '%s\n' "show bookmarks" > "$work/check.run"
  cat "$work/open.run" "$work/check.run" > "$work/verify.run"
  QNMURO_WORKDIR="$work/OAWork" QNMURO_REGISTRY="$work/registry.reg" \
    "$qnmuro" run "$work/verify.run" > "$work/out" 2>&1 || { tail "$work/out"; exit 1; }
  grep -q "^BOOKMARK Field$last .*\"第${last}项的值\"" "$work/out" ||
    { echo "the merge did not fill Field$last:"; tail "$work/out"; exit 1; }
  times=()
  peak=0
  for _ in $(seq "$runs"); do
    cp "$work/big.doc" "$work/OAWork/big.doc"
    rm -f "$work/OAWork/comlog.txt"
    start=$EPOCHREALTIME
    QNMURO_WORKDIR="$work/OAWork" QNMURO_REGISTRY="$work/registry.reg" \
      /usr/bin/time -f "%M" -o "$work/time" "$qnmuro" run "$work/open.run" > "$work/out" 2>&1 ||
      { tail "$work/out"; exit 1; }
    end=$EPOCHREALTIME
    times+=("$(awk -v a="$start" -v b="$end" 'BEGIN{ printf "%.4f", b - a }')")
    kib=$(tail -n 1 "$work/time")
    [ "$kib" -gt "$peak" ] && peak=$kib
  done
  echo "RESULT $kind $n $(spread "${times[@]}") $peak"
  rm -rf "$work"
 done
done
