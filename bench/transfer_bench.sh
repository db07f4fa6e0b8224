#!/usr/bin/env bash
# Throughput and peak memory of the add-in's transfers against the development OA server on
# 127.0.0.1, next to curl doing the same requests.
#   bench/transfer_bench.sh [QNMURO_BINARY] [SIZE_MIB] [RUNS]
# Prints MiB/s (median of RUNS) and peak resident memory per tool and direction.
set -euo pipefail
qnmuro=${1:-build/qnmuro}
size_mib=${2:-256}
runs=${3:-7}
qnmuro=$(realpath "$qnmuro")

dir=$(mktemp -d)
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$dir"
}
trap cleanup EXIT

mkdir -p "$dir/oa/files/U1" "$dir/work"
head -c "$((size_mib * 1024 * 1024))" /dev/urandom > "$dir/oa/files/U1/big.bin"
cp "$dir/oa/files/U1/big.bin" "$dir/work/up.bin"

"$qnmuro" oa-server --root "$dir/oa" --port 0 > "$dir/server.log" &
server_pid=$!
for _ in $(seq 50); do grep -q "serving" "$dir/server.log" 2>/dev/null && break; sleep 0.1; done
base=$(grep -o 'http://127.0.0.1:[0-9]*' "$dir/server.log" | head -1)
cat > "$dir/control.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<config><common><clientLog>true</clientLog><http><rootUrl>$base/oa</rootUrl></http>
<user><dept/><name>bench</name><lastName/><fullName/><password>00</password></user>
<transferMethod>HttpStreamBinary</transferMethod></common>
<binarys><binary><uploadUrl/><fileName/><title/><type>content</type><downloadUrl/><valueType/>
<draftUrl/></binary></binarys><binaryAssistants/><wordConfig/><sealConfig/>
<document><action>DraftDocument</action><binaryDatabase><fileName/><filePath/><server><address/>
<name/><title/></server><title/></binaryDatabase><database><fileName/><filePath/><server>
<address/><name/><title/></server><title/></database><status/><unid>U1</unid><button/>
</document><extend/></config>
XML

export QNMURO_WORKDIR="$dir/work" QNMURO_REGISTRY="$dir/registry.reg"
download_url="$base/oa/0/U1/\$file/big.bin"
confirm_url="$base/oa/save?OpenAgent&action=upload&unid=U9&method=replacecontent&ctlaction=10"

# Runs one command under /usr/bin/time; prints "seconds peak_kib".
timed() {
  /usr/bin/time -f "%e %M" -o "$dir/time" "$@" > /dev/null 2>&1
  cat "$dir/time"
}

# Median time and highest peak of each of two commands, run alternately RUNS times so that
# both see the same machine load. Prints "median_a peak_a median_b peak_b".
compare() {
  local -n cmd_a=$1 cmd_b=$2
  local times_a=() times_b=() peak_a=0 peak_b=0 s k
  for _ in $(seq "$runs"); do
    read -r s k < <(timed "${cmd_a[@]}")
    times_a+=("$s")
    [ "$k" -gt "$peak_a" ] && peak_a=$k
    read -r s k < <(timed "${cmd_b[@]}")
    times_b+=("$s")
    [ "$k" -gt "$peak_b" ] && peak_b=$k
  done
  echo "$(median "${times_a[@]}") $peak_a $(median "${times_b[@]}") $peak_b"
}

median() {
  printf "%s\n" "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

report() {
  local label=$1 secs=$2 kib=$3
  awk -v l="$label" -v s="$secs" -v k="$kib" -v m="$size_mib" \
    'BEGIN{ if (s <= 0) s = 0.01; printf "%-28s %8.1f MiB/s  peak %6.1f MiB\n", l, m / s, k / 1024 }'
}

curl_download=(curl -s -X POST -o "$dir/work/curl.bin" "$download_url")
ours_download=("$qnmuro" transfer download "$download_url" got.bin --config "$dir/control.xml")
read -r curl_down curl_k ours_down ours_k < <(compare curl_download ours_download)
report "download curl -X POST -o" "$curl_down" "$curl_k"
report "download qnmuro" "$ours_down" "$ours_k"
cmp -s "$dir/work/got.bin" "$dir/oa/files/U1/big.bin" || { echo "download differs"; exit 1; }

curl_upload=(curl -s -X POST -H "Content-Type: multipart/form-data" -H "Expect:"
  -T "$dir/work/up.bin" "$base/upload.muro?filename=curl.bin")
ours_upload=("$qnmuro" transfer upload "$dir/work/up.bin" "$confirm_url" --config "$dir/control.xml")
read -r curl_up curl_k ours_up ours_k < <(compare curl_upload ours_upload)
report "upload curl -X POST -T" "$curl_up" "$curl_k"
report "upload qnmuro" "$ours_up" "$ours_k"
cmp -s "$dir/oa/documents/U9/up.bin" "$dir/work/up.bin" || { echo "upload differs"; exit 1; }

awk -v a="$curl_down" -v b="$ours_down" -v c="$curl_up" -v d="$ours_up" \
  'BEGIN{ printf "qnmuro/curl throughput: download %.0f %%, upload %.0f %%\n", 100*a/b, 100*c/d }'
