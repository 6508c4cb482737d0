#!/usr/bin/env bash
# Wine for the Windows tests, as CTest runs them: one Xvfb and one booted template prefix a run,
# and for each test a prefix copied from the template, so that tests run side by side, each with
# its own wineserver.
#   wine-tests.sh up DIR           make DIR/template and start the Xvfb, one screen per slot of
#                                  tests/screens.json
#   wine-tests.sh run DIR COMMAND  run COMMAND with its own prefix, on the screen CTest gave it
#   wine-tests.sh down DIR         stop that Xvfb and remove DIR
set -euo pipefail
source "$(dirname "$0")/lib.sh"
usage="usage: $0 up|run|down DIR [COMMAND...]"
action=${1:?$usage}
dir=${2:?$usage}
shift 2

case $action in
  up)
    rm -rf "$dir"
    ensure_wine_prefix "$dir/template"
    # No window manager runs, so the window test's windows are not given to one: Wine would wait
    # two seconds for it each time a window closes. The program's own windows are left managed.
    wine reg add 'HKCU\Software\Wine\AppDefaults\Form1WindowTest.exe\X11 Driver' /v Managed /d N \
      /f >/dev/null
    # The registry is on disk only once the template's wineserver has gone.
    wineserver -w
    start_display "$(grep -o '"id"' "$ROOT/tests/screens.json" | wc -l)"
    printf 'DISPLAY=%s XVFB_PID=%s\n' "$DISPLAY" "$XVFB_PID" >"$dir/display"
    # The locales that tests pick code pages with, built here as a new machine has none: Wine
    # names files in the locale's character set, so a folder named in any script needs a real one.
    mkdir "$dir/locales"
    for locale in en_US ru_RU ja_JP; do localedef -i "$locale" -f UTF-8 "$dir/locales/$locale.UTF-8"; done
    ;;
  run)
    # shellcheck disable=SC1091
    source "$dir/display"
    # CTest names the screen as id:N,slots:1; without a resource file, the first one.
    screen=${CTEST_RESOURCE_GROUP_0_SCREENS:-id:0,}
    screen=${screen#id:}
    export DISPLAY="$DISPLAY.${screen%%,*}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
      LOCPATH="$dir/locales"
    WINEPREFIX=$(mktemp -d "$dir/prefix.XXXXXX")
    export WINEPREFIX
    trap 'wineserver -k 2>/dev/null || true; chmod -R u+w "$WINEPREFIX"; rm -rf "$WINEPREFIX"' EXIT
    # Linked, not copied, but for the registry, which wineserver writes: Wine only reads the rest.
    cp -al "$dir/template/." "$WINEPREFIX"
    cp --remove-destination "$dir/template/"*.reg "$WINEPREFIX/"
    "$@"
    ;;
  down)
    # shellcheck disable=SC1091
    [ ! -f "$dir/display" ] || { source "$dir/display" && kill "$XVFB_PID" 2>/dev/null || true; }
    rm -rf "$dir"
    ;;
  *)
    echo "$usage" >&2
    exit 2
    ;;
esac
