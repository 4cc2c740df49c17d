#!/usr/bin/env bash
# A PostgreSQL cluster of the tests' own, with PostGIS: initdb in a
# temporary folder, a free port on 127.0.0.1, the unix socket in that
# folder, stopped at the end whatever the tests did.
#
#   pg_cluster.sh start STATE_FILE   starts it; STATE_FILE then holds
#                                    PGHOST, PGPORT, PGUSER, the folder and
#                                    the password of the TCP login
#   pg_cluster.sh stop STATE_FILE    stops it and removes the folder
#
# The database "egib" has PostGIS.  Logins over the socket are trusted;
# over TCP the user "egib" (password in the state file) owns the
# database, and the user "reader" may log in but create nothing.  initdb
# refuses to run as root, so as root the server runs as the postgres user.
set -euo pipefail

action="${1:?start or stop}"
state="$(realpath -m "${2:?state file}")"
# The server's user may not enter the caller's folder.
cd /

as_server_user() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

bindir="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)"
if [ -z "$bindir" ]; then
  echo "pg_cluster: PostgreSQL is not installed (apt-get install postgresql postgis)" >&2
  exit 1
fi

stop() {
  [ -f "$state" ] || return 0
  # shellcheck disable=SC1090
  . "$state"
  if [ -n "${EGIB_PG_DIR:-}" ] && [ -d "$EGIB_PG_DIR" ]; then
    if [ -f "$EGIB_PG_DIR/data/postmaster.pid" ]; then
      as_server_user "$bindir/pg_ctl" -D "$EGIB_PG_DIR/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$EGIB_PG_DIR"
  fi
  rm -f "$state"
}

case "$action" in
  stop)
    stop
    ;;
  start)
    stop  # a cluster a killed test run left behind
    dir="$(mktemp -d /tmp/egib-pg.XXXXXX)"
    chmod 755 "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres "$dir"
    password="egib-$RANDOM$RANDOM"
    printf '%s\n' "$password" >"$dir/pwfile"
    [ "$(id -u)" -eq 0 ] && chown postgres "$dir/pwfile"
    as_server_user "$bindir/initdb" -D "$dir/data" -U postgres --pwfile="$dir/pwfile" \
      --auth-local=trust --auth-host=scram-sha-256 -E UTF8 --no-sync >"$dir/initdb.log" 2>&1 \
      || { cat "$dir/initdb.log" >&2; rm -rf "$dir"; exit 1; }
    port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
    {
      echo "EGIB_PG_DIR=$dir"
      echo "PGHOST=$dir"
      echo "PGPORT=$port"
      echo "PGUSER=postgres"
      echo "EGIB_PG_PASSWORD=$password"
    } >"$state"
    as_server_user "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
      -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=60" \
      start >/dev/null || { cat "$dir/server.log" >&2; stop; exit 1; }
    psql() { as_server_user "$bindir/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$port" -U postgres "$@"; }
    psql -d postgres -c "CREATE ROLE egib LOGIN PASSWORD '$password'" \
      -c "CREATE ROLE reader LOGIN PASSWORD '$password'" \
      -c "CREATE DATABASE egib OWNER egib"
    psql -d egib -c "CREATE EXTENSION postgis" -c "ALTER SCHEMA public OWNER TO egib" \
      -c "REVOKE CREATE ON SCHEMA public FROM PUBLIC"
    echo "pg_cluster: PostgreSQL with PostGIS on 127.0.0.1:$port, socket in $dir"
    ;;
  *)
    echo "usage: pg_cluster.sh start|stop STATE_FILE" >&2
    exit 2
    ;;
esac
