#!/usr/bin/env bash
# Makes the examples' documents as real Word 97 files through LibreOffice Writer, from the same
# scripts that make them on the simulated word processor (make_notice.run, make_templates.run):
#   notice.doc         the template-made notice that the OA system hands over
#   notice_red.wps     the red-head template (a Word 97 file, as the OA system serves it)
#   notice_plain.wps   a template without body markers
#   report.doc, notice_draft.doc, article.doc
# An integrator can open them in Word or Writer, and make their own red-head template from
# notice_red.wps: keep the bookmarks "BodyStart" and "BodyEnd" around the body, one bookmark per
# data-source item, "Seal" where the seal goes, and the picture "DocMarkLine" for the rule.
#   usage: examples/make_real_templates.sh [path/to/qnmuro] [OUTPUT_DIR]   (default
#          examples/templates)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
qnmuro="${1:-$here/../build/qnmuro}"
out="${2:-$here/templates}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export QNMURO_WORKDIR="$work/OAWork" QNMURO_REGISTRY="$work/registry.reg"
mkdir -p "$QNMURO_WORKDIR" "$out"
cp "$here/docmarkline.bmp" "$QNMURO_WORKDIR/"
"$qnmuro" run --host libreoffice "$here/make_notice.run" > "$work/notice.out"
"$qnmuro" run --host libreoffice "$here/make_templates.run" > "$work/templates.out"
if grep -h "HOST-ERROR" "$work"/*.out; then
  echo "make_real_templates: Writer reported errors (above)" >&2
  exit 1
fi
for f in notice.doc notice_red.wps notice_plain.wps report.doc notice_draft.doc article.doc; do
  cp "$QNMURO_WORKDIR/$f" "$out/$f"
done
ls -l "$out"
