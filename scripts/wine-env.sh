# Sourced by the run and test scripts: a Wine prefix of the build's own, a
# virtual X display when none is set, and a persistent wineserver so that a
# test does not pay Wine's start-up cost. Call wine_env_start BUILD_DIR, and
# wine_env_stop at the end (the scripts do it in an EXIT trap).

wine_env_start() {
  local build_dir=$1
  export WINEPREFIX="$build_dir/wineprefix"
  export WINEARCH=win64
  export WINEDEBUG=-all
  # Timestamps and list lines depend on the locale; tests that change the
  # prefix's regional settings rely on it staying the same between runs.
  export LC_ALL=${DORMIVEL_LC_ALL:-C.UTF-8}  # Wine reads it as English (United States)

  WINE_ENV_XVFB_PID=
  if [[ -z "${DISPLAY:-}" || "${DORMIVEL_OWN_DISPLAY:-0}" == 1 ]]; then
    local n
    for n in $(seq 91 140); do
      [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] || break
    done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    WINE_ENV_XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 100); do
      [[ -S /tmp/.X11-unix/X$n ]] && break
      sleep 0.1
    done
    echo "== virtual display $DISPLAY (Xvfb pid $WINE_ENV_XVFB_PID)"
  fi

  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    echo "== creating Wine prefix $WINEPREFIX (once, about 15 s)"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  # Wine's own Tahoma, Marlett and MS Sans Serif (Debian's fonts-wine), so
  # that dialogs render with the metrics they were laid out for rather than
  # a fallback font.
  if compgen -G "/usr/share/wine/fonts/*.ttf" >/dev/null; then
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
  # Without a window manager every close of a visible window waits 2 s unless
  # Wine manages no windows itself; crashes must never open a dialog; the
  # Win32 test program, and dormivel.exe run from the build folder, load the
  # stand-in powrprof.dll built beside them, which records sleep requests
  # instead of making them and plays the machine a test asks for. The values are
  # written first and the server restarted after, so that every process of
  # the run, Wine's own desktop process included, starts with them.
  wine_env_kill_server
  wine_env_setting 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N
  wine_env_setting 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
  wine_env_setting 'HKCU\Software\Wine\AppDefaults\dormivel_wintests.exe\DllOverrides' /v powrprof /t REG_SZ \
    /d native,builtin
  # dormivel.exe prefers it too: run from the build folder, beside it, it
  # plays a healthy machine; a copy elsewhere gets Wine's own.
  wine_env_setting 'HKCU\Software\Wine\AppDefaults\dormivel.exe\DllOverrides' /v powrprof /t REG_SZ \
    /d native,builtin
  # A fresh persistent server (one left behind by an interrupted run would
  # keep its old display) serves every Wine process of this run.
  wine_env_kill_server
  wineserver -p
  wine cmd /c exit 0 >/dev/null 2>&1 </dev/null || true
}

# Ends the prefix's server and waits until it is gone, so that the next Wine
# process does not meet a server still on its way out.
wine_env_kill_server() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}

# Writes one registry value of the prefix; tried again once after the server
# is restarted, and said aloud when it still fails.
wine_env_setting() {
  wine reg add "$@" /f >/dev/null 2>&1 && return 0
  wine_env_kill_server
  wine reg add "$@" /f >/dev/null 2>&1 && return 0
  echo "== wine: could not write the prefix setting $1 /v $3" >&2
  return 1
}

wine_env_stop() {
  if [[ -n "${WINEPREFIX:-}" ]]; then
    wineserver -k >/dev/null 2>&1 || true
  fi
  if [[ -n "${WINE_ENV_XVFB_PID:-}" ]]; then
    kill "$WINE_ENV_XVFB_PID" >/dev/null 2>&1 || true
    wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
    WINE_ENV_XVFB_PID=
  fi
}
