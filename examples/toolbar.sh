#!/usr/bin/env bash
# Clicks every button of the add-in's toolbar in each of the four workflow actions (draft,
# view, approve, finalise), against a development OA server on 127.0.0.1 that serves the
# templates, seals, report template and original draft. Everything happens in a fresh
# temporary work directory and registry file.
# QNMURO_HOST=libreoffice runs every session in LibreOffice Writer instead of the simulated
# word processor.
#   usage: examples/toolbar.sh [path/to/qnmuro]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
qnmuro="${1:-$here/../build/qnmuro}"
# shellcheck source=example_env.sh
source "$here/example_env.sh"

cp "$here/docmarkline.bmp" "$QNMURO_WORKDIR/"
echo "== making notice.doc and the files the server serves"
"$qnmuro" run "${host_args[@]}" "$here/make_notice.run" >/dev/null
"$qnmuro" run "${host_args[@]}" "$here/make_templates.run"
cp "$QNMURO_WORKDIR/notice.doc" "$work/template.doc"
# Where the control file's addresses point: /<db>/0/<unid>/$file/<name>.
files="$work/server/files"
mkdir -p "$files/A1B2C3" "$files/5EA1" "$files/6F2A" "$files/R1"
mv "$QNMURO_WORKDIR/notice_red.wps" "$QNMURO_WORKDIR/notice_plain.wps" "$files/A1B2C3/"
mv "$QNMURO_WORKDIR/notice_draft.doc" "$files/6F2A/"
mv "$QNMURO_WORKDIR/report.doc" "$files/R1/"
cp "$here/office_seal.png" "$here/finance_seal.png" "$files/5EA1/"

for action in DraftDocument ViewDocument ApproveDocument FinalizeDocument; do
  echo
  echo "== $action"
  "$here/toolbar_control.sh" "$here/control.xml" "$action" "$base" >"$work/control.xml"
  # The OA system's side: the document, its control file and data source, CurrentFile.
  "$qnmuro" handover "$work/template.doc" --name notice.doc --config "$work/control.xml" \
    --datasource "$here/notice.ds.xml"
  "$qnmuro" run "${host_args[@]}" "$here/toolbar.run"
done

echo
echo "== uploaded to the OA server:"
find "$work/server/documents" -type f 2>/dev/null | sed "s|$work/server/||" | sort
echo "== event log: $QNMURO_WORKDIR/comlog.txt"
