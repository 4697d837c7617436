# Shared by the scripts that run the Windows build under Wine (test-windows.sh, and
# simulate-figures.sh and request-stress.sh when given a .exe).
# shellcheck shell=bash

QUELSOR_WINE=/usr/lib/wine/wine64
QUELSOR_WINESERVER=/usr/lib/wine/wineserver64

# quelsor_wine_setup PREFIX: Wine's settings for our runs (the prefix PREFIX, no debug output, no
# Mono or Gecko installers, no display, arguments read as UTF-8), a persistent wineserver for the
# many short runs (quelsor_wine_stop ends it), and the prefix created or updated, with
# PulseAudio as its only sound driver: without a server to talk to, Wine then has no sound device
# at all, as a Windows machine whose audio service is stopped, instead of trying ALSA.
quelsor_wine_setup() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export LC_ALL=C.UTF-8 # Wine converts the arguments from the locale's encoding
  unset DISPLAY WAYLAND_DISPLAY
  mkdir -p "$WINEPREFIX"
  "$QUELSOR_WINESERVER" -p 2>/dev/null || true # fails only when this prefix's server already runs
  "$QUELSOR_WINE" wineboot --init >/dev/null 2>&1
  "$QUELSOR_WINE" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d pulse /f >/dev/null 2>&1
}

# quelsor_wine_stop: ends this prefix's wineserver (and so every program still running in it).
quelsor_wine_stop() { "$QUELSOR_WINESERVER" -k 2>/dev/null || true; }

# quelsor_cli_runner PATH: sets QUELSOR_CLI_RUN to the command that runs the quelsor-cli at PATH:
# PATH itself, or Wine with it for a .exe (the prefix beside it, set up on first use).
quelsor_cli_runner() {
  if [[ $1 == *.exe ]]; then
    quelsor_wine_setup "${WINEPREFIX:-$(cd "$(dirname "$1")/.." && pwd)/wine-prefix}"
    QUELSOR_CLI_RUN=("$QUELSOR_WINE" "$1")
  else
    QUELSOR_CLI_RUN=("$1")
  fi
}
