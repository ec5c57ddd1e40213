# Sourced by scripts/run and scripts/run-desktop: builds what is missing (the
# client program named in CLIENT_TARGET and the programs around it), makes the
# sample catalogue, starts the local store backend and the service (on free
# ports when the defaults are taken) and stops them again when the script
# exits. Expects BUILD_DIR, GAME_ID and DEMO; exports VANTIS_HOME and
# VANTIS_CONFIG_HOST for the client.

if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  BUILD_DIR="$BUILD_DIR" scripts/setup -DCMAKE_BUILD_TYPE=Release >&2
fi
cmake --build "$BUILD_DIR" --target "$CLIENT_TARGET" vantis-updater vantis-backend vantis-pack vantis-service >&2
if [ ! -s "$BUILD_DIR/sample/catalogue/games/$GAME_ID/product.json" ]; then
  scripts/make-sample-catalogue "$BUILD_DIR" >&2
fi

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
free_or_ephemeral() { if port_in_use "$1"; then echo 0; else echo "$1"; fi; }

mkdir -p "$DEMO/home"
chmod 700 "$DEMO/home"
export VANTIS_HOME="$DEMO/home"
started=()
stop_started() {
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${started[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap stop_started EXIT

source scripts/backend-banner.sh
start_backend "$DEMO/backend.out" "$DEMO/backend.log" scripts/backend --api-port "$(free_or_ephemeral 18443)" \
  --web-port "$(free_or_ephemeral 18080)" --reports "$DEMO/reports" || exit 1
started+=("$BACKEND_PID")
export VANTIS_CONFIG_HOST="${BACKEND_API#https://}"

if ! port_in_use 9977; then
  service_options=()
  [ "$(id -u)" -ne 0 ] || service_options+=(--allow-root)
  "$BUILD_DIR/bin/vantis-service" "${service_options[@]}" >"$DEMO/service.log" 2>&1 &
  started+=($!)
fi
