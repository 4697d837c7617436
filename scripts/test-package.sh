#!/usr/bin/env bash
# The Debian package: builds it with CPack from the build folder ($QUELSOR_BUILD, built here
# when needed), checks it with lintian (errors fail, warnings are listed), unpacks it into a
# throw-away root and runs what it installs there: quelsor-cli --help and --version,
# quelsor-cli decode of a generated recording with the installed sample configuration, and the
# window offscreen, started and closed twice by a user without configuration: the first start
# copies the sample configuration to the user's folder, the close saves the threshold there;
# the polling service's unit, user and log rotation.
# The window needs a sound server (test.sh starts the virtual link).
set -euo pipefail
source "$(dirname "$0")/common.sh"

quelsor_ensure_packages "${QUELSOR_RUN_PACKAGES[@]}" "${QUELSOR_PACKAGE_PACKAGES[@]}"
quelsor_build "$QUELSOR_BUILD" -DQUELSOR_WERROR=ON

failed=0
passed=0
check() { # check DESCRIPTION COMMAND...: runs the command, counts and reports the outcome
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    echo "FAIL $what" >&2
    failed=$((failed + 1))
  fi
}

rm -f "$QUELSOR_BUILD"/quelsor_*.deb
(cd "$QUELSOR_BUILD" && cpack -G DEB >/dev/null)
deb=$(ls "$QUELSOR_BUILD"/quelsor_*.deb)
echo "Package: $deb ($(du -k "$deb" | cut -f1) KiB)"
dpkg-deb --field "$deb" Package Version Depends Recommends

# lintian: the tags it gives, errors fail. Running as root is only worth an informational note.
lintian_out=$(lintian --fail-on error --allow-root "$deb" 2>&1) && lintian_ok=1 || lintian_ok=0
[ -n "$lintian_out" ] && echo "$lintian_out"
check "lintian finds errors" test "$lintian_ok" -eq 1
# A build that reads every recording format depends on the libraries it reads them with.
if grep -q '^QUELSOR_USE_SNDFILE:BOOL=ON' "$QUELSOR_BUILD/CMakeCache.txt" &&
  grep -q '^QUELSOR_SOXR_LIBRARY:FILEPATH=/' "$QUELSOR_BUILD/CMakeCache.txt"; then
  depends=$(dpkg-deb --field "$deb" Depends)
  check "Depends names libsndfile1 and libsoxr0" \
    bash -c '[[ "$1" == *"libsndfile1 "* && "$1" == *"libsoxr0 "* ]]' _ "$depends"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root="$work/root"
dpkg-deb -x "$deb" "$root"
bin="$root/usr/bin"
dpkg-deb --contents "$deb" | awk '{print $6}'

# Every dependency is installed on this system (apt only simulates the installation).
if [ "$(id -u)" -eq 0 ]; then
  check "dependencies unresolved" bash -c \
    'apt-get install --simulate --no-install-recommends "$1" | grep -q "^Inst quelsor " &&
     ! apt-get install --simulate --no-install-recommends "$1" | grep "^Inst " | grep -qv "^Inst quelsor "' \
    _ "$deb"
fi

check "quelsor-cli --help" bash -c '"$1" --help | grep -q "^Usage: quelsor-cli COMMAND"' _ "$bin/quelsor-cli"
check "quelsor-cli --version" bash -c '[ "$("$1" --version)" = "quelsor-cli $2" ]' _ "$bin/quelsor-cli" \
  "$(dpkg-deb --field "$deb" Version)"
check "quelsor-cli request --help (the installed sound helper)" bash -c \
  '"$1" request --help | grep -q "^Usage: quelsor-cli request"' _ "$bin/quelsor-cli"
check "the manual page holds the sound commands' options" bash -c \
  'zcat "$1" | grep -q -- "mqtt ADDRESS"' _ "$root/usr/share/man/man1/quelsor-cli.1.gz"
check "quelsor --help" bash -c '"$1" --help | grep -q "^Usage: quelsor "' _ "$bin/quelsor"
check "manual pages" test -s "$root/usr/share/man/man1/quelsor.1.gz" -a -s "$root/usr/share/man/man1/quelsor-cli.1.gz"

"$bin/quelsor-cli" generate -o "$work/answer.wav" '78D1CA1C#....0'
decoded=$("$bin/quelsor-cli" decode --config "$root/usr/share/quelsor/quelsor.ini" --request 0 \
  "$work/answer.wav" 2>/dev/null)
check "installed decode" grep -q '^Tension 12.000' <<<"$decoded"

# The polling service: its unit passes systemd's checks (as an instance, with the package's
# programs), its user is made by systemd-sysusers in the audio group, and the rotation snippet
# renames a record file and signals the pollers (here with the poller's user and signal swapped
# for ones that exist on this machine).
unit="$root/lib/systemd/system/quelsor-poll@.service"
check "the service's files" test -s "$unit" -a -s "$root/usr/lib/sysusers.d/quelsor.conf" \
  -a -s "$root/etc/logrotate.d/quelsor" -a -s "$root/usr/share/quelsor/poll.conf"
check "the logrotate snippet is a conffile" bash -c \
  'dpkg-deb --ctrl-tarfile "$1" | tar -xO ./conffiles | grep -qx /etc/logrotate.d/quelsor' _ "$deb"
# systemd-analyze checks a unit against this machine's units: the instance, with the path of
# the unpacked quelsor-cli, must give neither an error nor a warning.
units="$work/units"
mkdir -p "$units"
sed "s|=/usr/bin/quelsor-cli |=$root/usr/bin/quelsor-cli |" "$unit" >"$units/quelsor-poll@radio.service"
if systemd-analyze verify --man=no "$units/quelsor-poll@radio.service" >"$work/verify.out" 2>&1 &&
  ! grep -q . "$work/verify.out"; then
  check "systemd-analyze verify quelsor-poll@radio.service" true
else
  cat "$work/verify.out"
  check "systemd-analyze verify quelsor-poll@radio.service" false
fi
sysroot="$work/sysroot"
mkdir -p "$sysroot/etc"
grep '^\(root\|audio\):' /etc/group >"$sysroot/etc/group"
grep '^root:' /etc/passwd >"$sysroot/etc/passwd"
check "systemd-sysusers makes the service's user" bash -c \
  'systemd-sysusers --root="$1" "$2" && grep -q "^quelsor:x:[0-9]*:[0-9]*:.*:/var/lib/quelsor:" \
     "$1/etc/passwd" && grep -q "^audio:.*[:,]quelsor\(,\|$\)" "$1/etc/group"' \
  _ "$sysroot" "$root/usr/lib/sysusers.d/quelsor.conf"
logs="$work/log"
mkdir -p "$logs"
printf 'time,request\r\n' >"$logs/radio.csv"
sed -e "s|/var/log/quelsor|$logs|g" -e "s|su quelsor quelsor|su root root|" \
  -e "s|systemctl kill .*|touch $work/signalled|" "$root/etc/logrotate.d/quelsor" >"$work/logrotate.conf"
check "logrotate renames the records and signals the pollers" bash -c \
  'logrotate --force --state "$1/logrotate.state" "$1/logrotate.conf" && test -s "$2/radio.csv.1" &&
     test ! -e "$2/radio.csv" && test -e "$1/signalled"' _ "$work" "$logs"
for script in postinst postrm; do
  check "$script is a shell script that the shell reads" bash -c \
    'dpkg-deb --ctrl-tarfile "$1" | tar -xO "./$2" | sh -n' _ "$deb" "$script"
done

# The window as a user with empty folders; QUELSOR_STARTUP_TIME closes it at its first paint.
home="$work/home"
mkdir -p "$home"
run_window() {
  HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
    QT_QPA_PLATFORM=offscreen QUELSOR_STARTUP_TIME=1 timeout 60 "$bin/quelsor" >"$work/window.out" 2>&1
}
user_ini="$home/.config/Quelsor/quelsor.ini"
check "first start and close of the installed window" run_window
check "first start copies the sample configuration" cmp -s "$user_ini" "$root/usr/share/quelsor/quelsor.ini"
sed -i '/^Seuil=/d' "$user_ini"
check "second start and close of the installed window" run_window
check "the close saves the threshold in the user's file" grep -q '^Seuil=200' "$user_ini"
check "scratch folder in the user's cache" test -d "$home/.cache/Quelsor"
check "nothing written beside the program" test "$(ls "$bin")" = "$(printf 'quelsor\nquelsor-cli')"
cat "$work/window.out"

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
