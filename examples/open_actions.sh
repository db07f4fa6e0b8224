#!/usr/bin/env bash
# Builds the example document and opens it in each of the four workflow actions (draft, view,
# approve, finalise) with the add-in connected, against a development OA server on 127.0.0.1.
# Everything happens in a fresh temporary work directory and registry file.
# QNMURO_HOST=libreoffice runs every session in LibreOffice Writer instead of the simulated
# word processor.
#   usage: examples/open_actions.sh [path/to/qnmuro]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
qnmuro="${1:-$here/../build/qnmuro}"
# shellcheck source=example_env.sh
source "$here/example_env.sh"

cp "$here/docmarkline.bmp" "$QNMURO_WORKDIR/"
echo "== making notice.doc"
"$qnmuro" run "${host_args[@]}" "$here/make_notice.run"
cp "$QNMURO_WORKDIR/notice.doc" "$work/template.doc"

for action in DraftDocument ViewDocument ApproveDocument FinalizeDocument; do
  echo
  echo "== $action"
  sed -e "s|<action>DraftDocument</action>|<action>$action</action>|" \
      -e "s|http://127.0.0.1:8080|$base|g" "$here/control.xml" >"$work/control.xml"
  # The OA system's side: the document, its control file and data source, CurrentFile.
  "$qnmuro" handover "$work/template.doc" --name notice.doc --config "$work/control.xml" \
    --datasource "$here/notice.ds.xml"
  "$qnmuro" run "${host_args[@]}" "$here/open_notice.run"
done

echo
echo "== uploaded to the OA server:"
find "$work/server/documents" -type f 2>/dev/null | sed "s|$work/server/||" | sort
echo "== event log: $QNMURO_WORKDIR/comlog.txt"
