# Sourced by the example scripts after they set `qnmuro`: a fresh temporary work directory
# ($work, with $QNMURO_WORKDIR and $QNMURO_REGISTRY in it) and a development OA server on a
# free port of 127.0.0.1 serving $work/server, at $base; the server stops when the script ends.
work="$(mktemp -d)"
# The word processor every `run` drives: QNMURO_HOST=libreoffice for Writer.
host_args=(--host "${QNMURO_HOST:-sim}")
server_log="$work/oa-server.log"
export QNMURO_WORKDIR="$work/OAWork"
export QNMURO_REGISTRY="$work/registry.reg"
mkdir -p "$QNMURO_WORKDIR" "$work/server"
trap 'kill "$server_pid" 2>/dev/null || true; wait 2>/dev/null || true' EXIT

"$qnmuro" oa-server --root "$work/server" --port 0 >"$server_log" &
server_pid=$!
for _ in $(seq 50); do grep -q "serving" "$server_log" && break; sleep 0.1; done
base="$(sed -n 's/.* on \(http:[^ ]*[0-9]\)\/.*/\1/p' "$server_log" | head -n 1)"
echo "== OA server at $base"
