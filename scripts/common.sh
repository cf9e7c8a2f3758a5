# Shared by ./run and ./test: install what is missing, then configure and build.
# shellcheck shell=bash

KPD_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KPD_BUILD=${KPD_BUILD:-$KPD_ROOT/build}

KPD_PACKAGES=(
  cmake g++ make ninja-build mold pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql libgl-dev
  libgrpc++-dev protobuf-compiler-grpc libprotobuf-dev protobuf-compiler
  libsqlite3-dev sqlite3 libpq-dev openssl libssl-dev
  libgtest-dev libbenchmark-dev
  xvfb xauth openbox x11-utils imagemagick xdotool lintian poppler-utils help2man
  fonts-liberation fonts-dejavu-core qt6-translations-l10n
  postgresql haproxy
  libmicrohttpd-dev libcpp-httplib-dev libsodium-dev chromium
  libldap-dev slapd ldap-utils
  libcurl4-openssl-dev python3-aiosmtpd
)

kpd_install_packages() {
  local missing=()
  local p
  # One dpkg-query for the whole list: one per package was half a second of every ./run.
  local -A installed=()
  while read -r p; do installed[$p]=1; done < <(dpkg-query -W -f='${Package} ${Status}\n' "${KPD_PACKAGES[@]}" \
    2>/dev/null | sed -n 's/ install ok installed$//p')
  for p in "${KPD_PACKAGES[@]}"; do
    [ -n "${installed[$p]:-}" ] || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Instalando pacotes: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update
  # slapd is only for the tests, which start their own on loopback: no directory of the machine's own.
  echo "slapd slapd/no_configuration boolean true" | $sudo debconf-set-selections
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
}

# kpd_generator: sets KPD_GENERATOR to the -G option for the build folder. Ninja where it is installed (it
# starts compiling at once and keeps both cores busy), unless CMAKE_GENERATOR says otherwise. A folder
# configured with another generator (a build/ from before, with Makefiles) cannot be switched in place: its
# cache goes and the folder is configured anew, which rebuilds it once.
kpd_generator() {
  KPD_GENERATOR=""
  [ -z "${CMAKE_GENERATOR:-}" ] || return 0
  command -v ninja >/dev/null || return 0
  local cache="$KPD_BUILD/CMakeCache.txt" cached=""
  [ -f "$cache" ] && cached=$(sed -n 's/^CMAKE_GENERATOR:INTERNAL=//p' "$cache")
  if [ -n "$cached" ] && [ "$cached" != Ninja ]; then
    echo "A pasta $KPD_BUILD foi configurada com $cached; configurando-a de novo com Ninja."
    rm -rf "$cache" "$KPD_BUILD/CMakeFiles"
  fi
  KPD_GENERATOR=-GNinja
}

# kpd_build [TARGET...]: configures and builds the given targets (everything when none are given).
kpd_build() {
  kpd_generator
  cmake -S "$KPD_ROOT" -B "$KPD_BUILD" ${KPD_GENERATOR:+"$KPD_GENERATOR"} -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  local targets=()
  local t
  for t in "$@"; do targets+=(--target "$t"); done
  cmake --build "$KPD_BUILD" -j"${KPD_JOBS:-2}" "${targets[@]}"
}

# kpd_step LOG MESSAGE COMMAND...: one line of progress; the command's output goes to LOG, shown only
# (its end, and where the whole is) when the command fails.
kpd_step() {
  local log=$1 message=$2
  shift 2
  printf '%s... ' "$message"
  local start=$SECONDS
  if "$@" >>"$log" 2>&1; then
    echo "ok ($((SECONDS - start)) s)"
  else
    echo "falhou"
    tail -n 25 "$log" | sed 's/^/    /'
    echo "Registro completo: $log"
    exit 1
  fi
}

# kpd_build_step LOG MESSAGE TARGET...: builds like kpd_build, showing the build's count as it goes: one line
# that updates in place on a terminal ("Compilando [37/112] ..."), a line every few seconds otherwise.
kpd_build_step() {
  local log=$1 message=$2
  shift 2
  local start=$SECONDS
  kpd_build "$@" >>"$log" 2>&1 &
  local build=$! last=0 count=""
  while kill -0 $build 2>/dev/null; do
    # Make prints "[ 37%]", Ninja "[37/112]": the last one the log has.
    count=$(grep -o '^\[ *[0-9]*\(%\|/[0-9]*\)\]' "$log" 2>/dev/null | tail -n 1 | tr -d ' ' || true)
    if [ -t 1 ]; then
      printf '\r\033[K%s %s (registro: %s)' "$message" "${count:-...}" "$log"
    elif [ $((SECONDS - last)) -ge 5 ]; then
      echo "$message ${count:-...} ($((SECONDS - start)) s)"
      last=$SECONDS
    fi
    sleep 0.5
  done
  if [ -t 1 ]; then printf '\r\033[K'; fi
  if wait $build; then
    echo "$message... ok ($((SECONDS - start)) s)"
  else
    echo "$message... falhou"
    tail -n 25 "$log" | sed 's/^/    /'
    echo "Registro completo: $log"
    exit 1
  fi
}

# kpd_free_port FIRST: the first port from FIRST on that nothing on this machine listens on.
kpd_free_port() {
  local port=$1
  while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do
    port=$((port + 1))
  done
  echo "$port"
}
