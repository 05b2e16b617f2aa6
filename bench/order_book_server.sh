#!/usr/bin/env bash
# The shared order book on a loopback PostgreSQL server: makes a cluster in a
# temporary folder (as the postgres account when run as root), serves it on
# 127.0.0.1, and runs order_book_bench against it with the server's default
# durability. Usage: bench/order_book_server.sh [ORDERS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTOVA_BUILD_DIR:-$here/build}
cmake --build "$build" --target order_book_bench -j2 >/dev/null
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
root=$(mktemp -d /tmp/kpg-bench-XXXXXX)
as=()
if [ "$(id -u)" -eq 0 ]; then
    chown postgres: "$root"
    as=(runuser -u postgres --)
fi
port=54329
trap '"${as[@]}" "$bin/pg_ctl" -D "$root/data" -m fast -w stop >/dev/null 2>&1 || true; rm -rf "$root"' EXIT
"${as[@]}" "$bin/initdb" -D "$root/data" -U postgres --auth=trust -E UTF8 --locale=C >/dev/null
"${as[@]}" "$bin/pg_ctl" -D "$root/data" -l "$root/log" -w \
    -o "-k $root -c listen_addresses=127.0.0.1 -p $port" start >/dev/null
"$build/bin/order_book_bench" "${1:-100000}" --server "host=127.0.0.1 port=$port dbname=postgres user=postgres"
