#!/usr/bin/env bash
# Writes the example control file for the toolbar's buttons to standard output: control.xml
# for the workflow action, every address on the server at BASE, 请示 with a template the
# dialog does not offer (it falls back to 通知's), two seal pictures, and the report template in
# the first extend parameter.
#   usage: examples/toolbar_control.sh CONTROL_XML ACTION BASE
set -euo pipefail
sed -e "s|<action>DraftDocument</action>|<action>$2</action>|" \
    -e "s|http://127.0.0.1:8080|$3|g" \
    -e "s|request.wps|request.doc|" \
    -e "s|<templateFile>office_seal.gif</templateFile>|<templateFile>office_seal.png</templateFile><templateName>财务专用章</templateName><templateFile>finance_seal.png</templateFile>|" \
    -e "s|<value>青办〔2026〕12号</value>|<value>$3/oa/doc.nsf/0/R1/\$file/report.doc</value>|" \
    "$1"
