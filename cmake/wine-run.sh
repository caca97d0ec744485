#!/bin/sh
# Runs a Windows program under Wine, quietly, in the given Wine prefix (the build folder keeps
# one of its own): a user's own ~/.wine is never made or changed. The prefix is made on first use;
# the wine server stays up for a minute after the last program ends, so that each further run
# starts in a few hundredths of a second instead of seconds.
#
# usage: cmake/wine-run.sh PREFIX program.exe [arguments...]
set -eu
WINEPREFIX=$(realpath -m "$1")
shift
WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko: console programs need neither, and their installers would ask. Never Wine's
# menu builder, which would leave menu entries and icons (the installer's shortcuts among them)
# in the user's ~/.local/share and ~/.config.
WINEDLLOVERRIDES="winemenubuilder.exe=d;${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  # Two runs may start at once (ctest -j): one makes the prefix, the other waits for it.
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wineboot --init >/dev/null 2>&1 || true
      wineserver --wait
    fi
  ) 9>"$WINEPREFIX.lock"
fi
wineserver -p60 >/dev/null 2>&1 || true
exec wine "$@"
