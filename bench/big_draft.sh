# shellcheck shell=bash
# A handed-over draft of COUNT bookmarks and what comes with it, for the benchmarks that open
# one (bench/open_bench.sh on the simulated word processor, bench/writer_bench.sh in Writer).
# Sourced; each function writes to standard output.
#   make_document COUNT      the draft (Flat ODF, whatever its file name says)
#   make_data_source ITEMS   its data source: ITEMS items, item i filling bookmark Field<i>
#   make_control             its control file: a draft (DraftDocument) that uploads nowhere

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
