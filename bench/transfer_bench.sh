#!/usr/bin/env bash
# Throughput and peak memory of the add-in's transfers against the development OA server on
# 127.0.0.1, next to curl doing the same requests.
#   bench/transfer_bench.sh [QNMURO_BINARY] [SIZE_MIB] [RUNS]
# Prints the machine and its load, per tool and direction the median time of RUNS with its range,
# MiB/s and peak resident memory (RESULT lines, read by bench/run.sh), then the time ratios.
# The add-in's download ends with its file flushed to the disk, curl's (-o) does not; every run
# starts after an untimed sync, so that neither pays for the other's unwritten pages.
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

disk=$(df --output=source,fstype "$dir" | tail -1 | awk '{ print $1 " (" $2 ")" }')
echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores ($(grep -m1 'model name' /proc/cpuinfo |
  cut -d: -f2 | sed 's/^ *//')), files on $disk"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

export QNMURO_WORKDIR="$dir/work" QNMURO_REGISTRY="$dir/registry.reg"
download_url="$base/oa/0/U1/\$file/big.bin"
confirm_url="$base/oa/save?OpenAgent&action=upload&unid=U9&method=replacecontent&ctlaction=10"

# Runs one command under /usr/bin/time; prints "seconds peak_kib", the seconds measured to the
# microsecond around it (/usr/bin/time's own are in hundredths).
timed() {
  sync
  local start=$EPOCHREALTIME end
  /usr/bin/time -f "%M" -o "$dir/time" "$@" > /dev/null 2>&1
  end=$EPOCHREALTIME
  echo "$(awk -v a="$start" -v b="$end" 'BEGIN{ printf "%.4f", b - a }') $(cat "$dir/time")"
}

# Runs each of two commands RUNS times, alternately, so that both see the same machine load.
# Prints "median min max peak" of the first, then the same of the second.
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
  echo "$(spread "${times_a[@]}") $peak_a $(spread "${times_b[@]}") $peak_b"
}

# "median min max" of the numbers given.
spread() {
  printf "%s\n" "$@" | sort -g | awk '{ v[NR] = $1 }
    END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1], v[NR] }'
}

# One line per measurement, for people and for bench/run.sh:
#   RESULT <direction> <tool> <median s> <min s> <max s> <peak KiB>  <median MiB/s> ...
report() {
  local direction=$1 tool=$2 median=$3 min=$4 max=$5 kib=$6
  awk -v d="$direction" -v t="$tool" -v md="$median" -v lo="$min" -v hi="$max" -v k="$kib" \
    -v m="$size_mib" -v r="$runs" 'BEGIN{
      printf "RESULT %s %s %s %s %s %s  %.0f MiB/s (%.0f-%.0f over %d runs), peak %.1f MiB\n",
        d, t, md, lo, hi, k, m / md, m / hi, m / lo, r, k / 1024 }'
}

# Both tools make the same requests: the download is one POST whose reply is the file; the
# upload is the raw body POSTed to upload.muro and then the confirmation, which moves it into
# the document's versions (curl does both in one run, as the add-in does).
curl_download=(curl -sf -X POST -o "$dir/work/curl.bin" "$download_url")
ours_download=("$qnmuro" transfer download "$download_url" got.bin --config "$dir/control.xml")
read -r cd_med cd_min cd_max cd_k od_med od_min od_max od_k \
  < <(compare curl_download ours_download)
report download curl "$cd_med" "$cd_min" "$cd_max" "$cd_k"
report download qnmuro "$od_med" "$od_min" "$od_max" "$od_k"
cmp -s "$dir/work/got.bin" "$dir/oa/files/U1/big.bin" || { echo "download differs"; exit 1; }
cmp -s "$dir/work/curl.bin" "$dir/oa/files/U1/big.bin" || { echo "curl's download differs"; exit 1; }

# The confirmation names the uploaded file by the Base64 of its name: "curl.bin".
curl_upload=(curl -sf -X POST -H "Content-Type: multipart/form-data" -H "Expect:"
  -T "$dir/work/up.bin" "$base/upload.muro?filename=curl.bin"
  --next -sf -X POST -d "" "${confirm_url/U9/U8}&lastflag=last&filename=Y3VybC5iaW4=")
ours_upload=("$qnmuro" transfer upload "$dir/work/up.bin" "$confirm_url" --config "$dir/control.xml")
read -r cu_med cu_min cu_max cu_k ou_med ou_min ou_max ou_k < <(compare curl_upload ours_upload)
report upload curl "$cu_med" "$cu_min" "$cu_max" "$cu_k"
report upload qnmuro "$ou_med" "$ou_min" "$ou_max" "$ou_k"
cmp -s "$dir/oa/documents/U9/up.bin" "$dir/work/up.bin" || { echo "upload differs"; exit 1; }
cmp -s "$dir/oa/documents/U8/curl.bin" "$dir/work/up.bin" || { echo "curl's upload differs"; exit 1; }

awk -v a="$cd_med" -v b="$od_med" -v c="$cu_med" -v d="$ou_med" \
  'BEGIN{ printf "qnmuro time / curl time (medians): download %.2f, upload with confirmation %.2f\n", b/a, d/c }'
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
