#!/usr/bin/env bash
# The Debian packages: built by CPack from this build, their contents and control fields, no lintian
# error, and (as root) the server package installed with dpkg and its binary serving a demo database.
set -euo pipefail
build=$1
src=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FALHOU: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; fail "cpack"; }
version=$(sed -n 's/^project(kpd VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
server=$(ls "$out"/kpd-appserver_"$version"-*_amd64.deb)
host=$(ls "$out"/kpd-host_"$version"-*_amd64.deb)

contents() { dpkg-deb -c "$1" | awk '{print $6}'; }
for f in ./usr/bin/kpd-appserver ./lib/systemd/system/kpd-appserver.service ./etc/default/kpd-appserver \
         ./usr/share/man/man1/kpd-appserver.1.gz \
         ./usr/share/doc/kpd-appserver/copyright ./usr/share/doc/kpd-appserver/changelog.Debian.gz; do
  contents "$server" | grep -qx "$f" || fail "kpd-appserver sem $f"
done
for f in ./usr/bin/kpd-host ./usr/lib/x86_64-linux-gnu/kpd-host/libkpd00100.so ./usr/lib/x86_64-linux-gnu/kpd-host/libzil.so \
         ./usr/lib/x86_64-linux-gnu/kpd-host/libkpdruntime.so ./usr/lib/x86_64-linux-gnu/kpd-host/libkpdwire.so \
         ./usr/share/applications/kpd-host.desktop ./usr/lib/systemd/user/kpd-host-kiosk.service \
         ./lib/systemd/system/kpd-host-subscription.service ./lib/systemd/system/kpd-host-subscription.timer \
         ./usr/share/doc/kpd-host/mail.md ./usr/share/man/man1/kpd-host.1.gz; do
  contents "$host" | grep -qx "$f" || fail "kpd-host sem $f"
done
[ "$(dpkg-deb -f "$server" Package)" = kpd-appserver ] || fail "nome do pacote do servidor"
[ "$(dpkg-deb -f "$server" Version)" = "$version-1" ] || fail "versão do pacote do servidor"
# Dependencies come from dpkg-shlibdeps, not from a list typed by hand.
dpkg-deb -f "$server" Depends | grep -q 'libgrpc++1.51' || fail "dependências do servidor: $(dpkg-deb -f "$server" Depends)"
dpkg-deb -f "$host" Depends | grep -q 'libcurl4' || fail "dependências do host (libcurl): $(dpkg-deb -f "$host" Depends)"
dpkg-deb -f "$host" Depends | grep -q 'libqt6widgets6' || fail "dependências do host: $(dpkg-deb -f "$host" Depends)"
dpkg-deb -I "$server" conffiles | grep -qx /etc/default/kpd-appserver || fail "conffiles"
dpkg-deb --fsys-tarfile "$server" | tar -xO ./lib/systemd/system/kpd-appserver.service | grep -q '^LimitNOFILE=' \
  || fail "unidade systemd sem LimitNOFILE"

if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$server" "$host" >"$out/lintian.log" 2>&1 || true
  if grep -q '^E: ' "$out/lintian.log"; then cat "$out/lintian.log"; fail "lintian"; fi
else
  fail "lintian não está instalado"
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "sem root: a instalação com dpkg -i não foi testada"
  exit 0
fi
dpkg -i "$server" >"$out/dpkg.log" 2>&1 || { cat "$out/dpkg.log"; fail "dpkg -i"; }
[ "$(/usr/bin/kpd-appserver --version)" = "kpd-appserver $version" ] || fail "versão do binário instalado"
/usr/bin/kpd-appserver --init-demo "$out/demo.db" --branches 12 --months 2 >/dev/null 2>&1 || fail "--init-demo"
/usr/bin/kpd-appserver --db "$out/demo.db" --listen 127.0.0.1:0 >"$out/server.out" 2>"$out/server.log" &
pid=$!
address=""
for _ in $(seq 1 100); do
  address=$(sed -n 's/.*listening on \([^ ]*\).*/\1/p' "$out/server.out" | head -n 1)
  [ -n "$address" ] && break
  sleep 0.1
done
[ -n "$address" ] || { cat "$out/server.log"; kill $pid; fail "o servidor instalado não iniciou"; }
month=$(date +%Y-%m)
rc=0
QT_QPA_PLATFORM=offscreen "$build/bin/kpd-host" --server "$address" --month "$month" --export-json "$out/c.json" \
  >/dev/null 2>"$out/host.log" || rc=$?
kill $pid; wait $pid 2>/dev/null || true
[ $rc -eq 0 ] || { cat "$out/host.log"; fail "o painel não foi atualizado pelo servidor instalado"; }
grep -q '"lblTitulo"' "$out/c.json" || fail "JSON do painel"

# The unit's own start, by hand where there is no systemd: an empty database made in the state folder,
# a word on how to load figures, health served. Upgrading and removing keep the database; purging takes it.
state=/var/lib/kpd-appserver
[ -e "$state/kpd.db" ] && fail "$state/kpd.db já existia antes do teste"
mkdir -p "$state"
args=$(. /etc/default/kpd-appserver && echo "$KPD_APPSERVER_ARGS" | sed 's/127.0.0.1:2113/127.0.0.1:0/')
# shellcheck disable=SC2086
/usr/bin/kpd-appserver $args >"$out/unit.out" 2>"$out/unit.log" &
pid=$!
for _ in $(seq 1 100); do
  grep -q 'listening on' "$out/unit.out" && break
  sleep 0.1
done
kill $pid; wait $pid 2>/dev/null || true
grep -q 'listening on' "$out/unit.out" || { cat "$out/unit.log"; fail "a unidade não iniciou o servidor"; }
grep -q 'ainda não recebeu cargas; carregue os movimentos com kpd-appserver --import' "$out/unit.log" \
  || { cat "$out/unit.log"; fail "o servidor não disse como carregar os movimentos"; }
[ -f "$state/kpd.db" ] || fail "o banco vazio não foi criado em $state"
dpkg -i "$server" >"$out/dpkg2.log" 2>&1 || { cat "$out/dpkg2.log"; fail "atualização"; }
[ -f "$state/kpd.db" ] || fail "a atualização apagou o banco"
dpkg -r kpd-appserver >"$out/dpkg3.log" 2>&1 || { cat "$out/dpkg3.log"; fail "dpkg -r"; }
[ -f "$state/kpd.db" ] || fail "a remoção apagou o banco"
dpkg -P kpd-appserver >"$out/dpkg4.log" 2>&1 || { cat "$out/dpkg4.log"; fail "dpkg -P"; }
[ ! -e "$state" ] || fail "a purga deixou $state"
echo "pacotes e instalação verificados"
