#!/usr/bin/env bash
# Runs a command with a private PostgreSQL cluster for the server's tests: initdb into a
# temporary folder, listening on 127.0.0.1 only, run as the postgres user when we are root
# (PostgreSQL refuses root). MIRAVEL_TEST_POSTGRES tells the tests where it is, so each test
# process need not start a cluster of its own. Without PostgreSQL the command still runs, and
# the tests start their own cluster or say why they skip.
# Usage: scripts/with-test-postgres.sh COMMAND [ARGUMENTS...]
set -uo pipefail

bindir=""
for candidate in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V); do
  [ -x "$candidate/initdb" ] && bindir="$candidate"
done
if [ -z "$bindir" ] || [ -n "${MIRAVEL_TEST_POSTGRES:-}" ]; then
  exec "$@"
fi

folder=$(mktemp -d /tmp/miravel-ci-pg-XXXXXX)
as_postgres=()
if [ "$(id -u)" -eq 0 ]; then
  chown postgres: "$folder"
  as_postgres=(runuser -u postgres --)
fi
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])' 2>/dev/null || echo 55432)

stop() {
  "${as_postgres[@]}" "$bindir/pg_ctl" -D "$folder/data" -m fast -w stop >/dev/null 2>&1
  rm -rf "$folder"
}

if "${as_postgres[@]}" "$bindir/initdb" -D "$folder/data" -A trust -U miravel -E UTF8 --locale=C --no-sync \
     >"$folder/initdb.log" 2>&1 &&
   "${as_postgres[@]}" "$bindir/pg_ctl" -D "$folder/data" -l "$folder/server.log" -w -t 30 \
     -o "-h 127.0.0.1 -p $port -k $folder -F -c max_connections=300" start >/dev/null 2>&1; then
  export MIRAVEL_TEST_POSTGRES="postgresql://miravel@127.0.0.1:$port"
  echo "PostgreSQL for the tests at $MIRAVEL_TEST_POSTGRES"
  trap stop EXIT
else
  echo "PostgreSQL could not be started for the tests (see $folder); they start their own or skip"
fi
"$@"
