# shellcheck shell=bash
# Shell functions of the end-to-end install benchmarks (install-throughput,
# mainjob-throughput): a generated game, vantis-backend on ephemeral ports of
# 127.0.0.1, and the raw pipeline that replays the content requests the backend
# served with curl into md5sum. Sourced from the repository root by a script
# that has set BUILD_DIR and WORK (a scratch directory it removes).

source scripts/backend-banner.sh

BENCH_BACKEND="$BUILD_DIR/bin/vantis-backend"
BENCH_PACK="$BUILD_DIR/bin/vantis-pack"
BENCH_CA="$BUILD_DIR/share/vantis/rootCA.pem"
BENCH_USER=bench

calc() { awk "BEGIN { print $1 }"; }
field() { echo " $1" | sed "s/.* $2 \([0-9.]*\).*/\1/"; }

# SIZE_MIB and FILES as a game needs them: at least 1 MiB and 2 files, at least one byte a file.
bench_valid_size() { # size_mib files
  [[ "$1" =~ ^[1-9][0-9]*$ && "$2" =~ ^[1-9][0-9]*$ ]] && [ "$2" -ge 2 ] && [ $(($1 * 1048576)) -ge "$2" ]
}

# One line "<kind> <size>" a file: every other file text, the others random
# data, each kind adding up to half the total in sizes spread evenly on a log
# scale (a few hundred bytes to a few percent of the total for the default
# games). The first file of each kind takes what rounding left over.
bench_file_plan() { # size_mib files
  awk -v files="$2" -v total=$(($1 * 1048576)) 'BEGIN {
    srand(1)
    share["text"] = int(total / 2)
    share["data"] = total - share["text"]
    for (i = 0; i < files; i++) {
      kind[i] = i % 2 ? "data" : "text"
      weight[i] = exp(rand() * log(65536))
      sum[kind[i]] += weight[i]
      count[kind[i]]++
    }
    for (i = 0; i < files; i++) {
      k = kind[i]
      size[i] = 1 + int(weight[i] * (share[k] - count[k]) / sum[k])
      used[k] += size[i]
    }
    size[0] += share["text"] - used["text"]
    size[1] += share["data"] - used["data"]
    for (i = 0; i < files; i++) printf "%s %.0f\n", kind[i], size[i]
  }'
}

# Lines of words and numbers; deflate shrinks them to about a third, as it does text.
bench_text_pool() { # bytes
  awk -v bytes="$1" 'BEGIN {
    srand(7)
    n = split("the of and to in a is that for it as was with be by on not he this are or his from at " \
              "which but have an they you were her she there been one all we their has would when what " \
              "if more will so no who can said about up out them some could into than other then its " \
              "time only these two may first new any like my now over such our man me even most made", word, " ")
    while (written < bytes) {
      line = ""
      for (k = 3 + int(rand() * 12); k > 0; k--) line = line word[1 + int(rand() * n)] " "
      line = line int(rand() * 100000)
      print line
      written += length(line) + 1
    }
  }'
}

# The game's file of plan line i (from 0): <input>/game/<kind>/<kind>NNNN.<txt|bin>.
bench_game_file() { # input kind i
  printf '%s/game/%s/%s%04d.%s' "$1" "$2" "$2" "$3" "$([ "$2" = text ] && echo txt || echo bin)"
}

# Writes the files of a plan below <input>/game. Text files are windows of one
# pool, each starting elsewhere in it.
bench_make_game_files() { # plan input
  local plan="$1" input="$2" i=0 kind size largest
  mkdir -p "$input/game/text" "$input/game/data"
  largest=$(awk '$1 == "text" && $2 > largest { largest = $2 } END { print largest + 0 }' "$plan")
  bench_text_pool $((largest * 2)) >"$WORK/pool.txt"
  while read -r kind size; do
    if [ "$kind" = text ]; then
      dd if="$WORK/pool.txt" of="$(bench_game_file "$input" text "$i")" iflag=skip_bytes,count_bytes \
        skip=$(( (i * 7919 * 4096) % largest )) count="$size" bs=1M status=none
    else
      head -c "$size" /dev/urandom >"$(bench_game_file "$input" data "$i")"
    fi
    i=$((i + 1))
  done <"$plan"
  rm "$WORK/pool.txt"
}

# The description vantis-pack reads: one game, its files in <input>/game.
bench_write_description() { # input game_id timestamp
  printf '{"gameId": "%s", "name": "Bench", "installDirectory": "Bench", "timestamp": %s, "languages": ["en"], "directory": "game"}\n' \
    "$2" "$3" >"$1/game.json"
}

# An accounts file that gives the bench user the game.
bench_write_accounts() { # file game_id
  echo '{"users":[{"username":"'"$BENCH_USER"'","password":"'"$BENCH_USER"'","games":["'"$2"'"]}]}' >"$1"
}

# Starts the backend in the background and sets BACKEND_PID, API (https://...),
# WEB (http://...) and CONTROL_TOKEN. Its banner goes to $WORK/backend.out, its log to $WORK/backend.log.
bench_start_backend() { # catalogue [backend options...]
  local catalogue="$1"
  shift
  start_backend "$WORK/backend.out" "$WORK/backend.log" "$BENCH_BACKEND" --catalogue "$catalogue" \
    --certificate "$BUILD_DIR/private/backend.pem" --key "$BUILD_DIR/private/backend.key" \
    --api-port 0 --web-port 0 "$@" || return 1
  API="$BACKEND_API"
  WEB="$BACKEND_WEB"
  CONTROL_TOKEN="$BACKEND_CONTROL_TOKEN"
}

# An access token of the bench user, for the links of the raw pipeline.
bench_access_token() {
  local client_id client_secret
  client_id="$(grep -o 'VANTIS_CLIENT_ID:STRING=.*' "$BUILD_DIR/CMakeCache.txt" | cut -d= -f2)"
  client_secret="$(grep -o 'VANTIS_CLIENT_SECRET:STRING=.*' "$BUILD_DIR/CMakeCache.txt" | cut -d= -f2)"
  curl -sf --cacert "$BENCH_CA" \
    "$API/token?client_id=$client_id&client_secret=$client_secret&grant_type=password&username=$BENCH_USER&password=$BENCH_USER" |
    sed 's/.*"access_token":"\([^"]*\)".*/\1/'
}

bench_control() { # method endpoint [body]
  curl -sf -o /dev/null -X "$1" -H "X-Control-Token: $CONTROL_TOKEN" -H "Content-Type: application/json" \
    ${3:+-d "$3"} "$WEB/control/$2"
}

# The content requests the backend served since the list was last cleared, one
# line "<path> <status> <body bytes> <range>" each, oldest first; a whole
# content has an empty range.
bench_served_content() {
  curl -sf -H "X-Control-Token: $CONTROL_TOKEN" -H "Content-Type: application/json" "$WEB/control/served" |
    sed 's/\\\//\//g' | grep -o '{[^{}]*}' | grep '"path":"/content/' | awk '{
      path = $0; sub(/.*"path":"/, "", path); sub(/".*/, "", path)
      status = $0; sub(/.*"status":/, "", status); sub(/[^0-9].*/, "", status)
      bytes = $0; sub(/.*"bodyBytes":/, "", bytes); sub(/[^0-9].*/, "", bytes)
      range = ""
      if ($0 ~ /"range":"bytes=/) { range = $0; sub(/.*"range":"bytes=/, "", range); sub(/".*/, "", range) }
      print path, status, bytes, range
    }'
}

# The API route that signs a link to a content path (/content/<catalogue path>).
bench_link_route() { # content_path
  local path="${1#/content/}"
  case "$path" in
    games/*/product.json) path="${path#games/}"; echo "games/${path%%/*}/os/linux/rootManifests" ;;
    games/*/manifests/*) path="${path#games/}"; echo "games/${path%%/*}/os/linux/manifests/${path##*/}" ;;
    objects/*/*) path="${path#objects/}"; echo "games/${path%%/*}/os/linux/depots/1/${path##*/}" ;;
    redists/repository.json) echo "redists/packages/manifests/files/repository.json" ;;
    redists/manifests/*) echo "redists/packages/manifests/files/${path##*/}" ;;
    redists/objects/*/*) path="${path#redists/objects/}"; echo "redists/packages/${path%%/*}/files/${path##*/}" ;;
    *) echo "no link route for $1" >&2; return 1 ;;
  esac
}

# Lines of bench_served_content as curl's configuration: for each, a fresh
# signed link to its content and its range, in the order served. Each is an
# operation of its own ("next"), or the last range would apply to all of them.
bench_raw_requests() { # token < served lines
  local token="$1" path range route separator=""
  declare -A links
  while read -r path _ _ range; do
    if [ -z "${links[$path]:-}" ]; then
      route="$(bench_link_route "$path")"
      links[$path]="$(curl -sf --cacert "$BENCH_CA" -H "Authorization: Bearer $token" "$API/$route" |
        sed 's/.*"link":"\([^"]*\)".*/\1/; s/\\\//\//g')"
    fi
    printf '%surl = "%s"\n%scacert = "%s"\nfail\n' "$separator" "${links[$path]}" \
      "${range:+range = \"$range\"$'\n'}" "$BENCH_CA"
    separator=$'next\n'
  done
}

# Runs the raw pipeline on a curl configuration under /usr/bin/time; the
# time file holds "<wall> <user> <sys> <max RSS KiB>".
bench_time_raw() { # in_flight config time_file
  /usr/bin/time -f '%e %U %S %M' -o "$3" \
    bash -c 'set -o pipefail; curl --no-progress-meter --parallel --parallel-max "$1" -K "$2" | md5sum >/dev/null' \
    raw "$1" "$2"
}

# Runs the reference installer (bench/ReferenceInstaller.cpp: the install's bare
# work, without the client's code) on the game of a catalogue into a fresh
# directory under /usr/bin/time; the time file as bench_time_raw writes it.
bench_time_reference() { # in_flight catalogue token dir time_file
  rm -rf "$4"
  /usr/bin/time -f '%e %U %S %M' -o "$5" "$BUILD_DIR/bench/vantis-bench-reference" "$API" "$3" "$BENCH_CA" \
    "$2" "$GAME_ID" en "$4" "$1" >/dev/null
}
