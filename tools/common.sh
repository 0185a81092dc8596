# Shared by run-tests.sh, run-demo.sh and tools/release.sh: packages, builds, the test CA, a display
# and a Wine prefix.
# Sourced, not run.

# xdotool refuses to type "não" ("Invalid multi-byte sequence") unless the locale is UTF-8, and Wine
# reads file names and command lines by it (under POSIX it takes the "ã" of a folder as "C#"). A
# caller without one (LANG unset: a minimal container, cron, env -i; or a locale not installed) runs
# under C.UTF-8, which Debian 12 and 13 carry without the locales package; a caller's own UTF-8
# locale is kept.
if [ "$(locale charmap 2> /dev/null)" != UTF-8 ]; then
    export LC_ALL=C.UTF-8
fi

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

packages="cmake make g++ g++-mingw-w64-x86-64 wine wine64 xvfb xdotool x11-utils imagemagick python3-pytest
python3-pil python3-numpy fonts-open-sans fonts-dejavu-core python3-fonttools doctest-dev openssl curl
ca-certificates nodejs chromium x11vnc novnc websockify osslsigncode debootstrap iproute2 clang
libclang-rt-dev xserver-xorg-core xserver-xorg-video-dummy"

install_packages() {
    local missing=()
    for p in $packages; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "== installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" > /dev/null
}

# npm_install DIR: the exact packages of DIR's package-lock.json, fetched only when the lock changed.
npm_install() {
    local dir=$1 sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    # Debian's nodejs comes without npm; other builds of nodejs carry their own.
    command -v npm > /dev/null || DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq npm > /dev/null
    cmp -s "$dir/package-lock.json" "$dir/node_modules/.installed-lock.json" && return 0
    echo "== npm ci in $dir"
    (cd "$dir" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error) || return 1
    cp "$dir/package-lock.json" "$dir/node_modules/.installed-lock.json"
}

# build DIR HOST: configure and build the program (and its tests) for the given support host.
build() {
    cmake -S "$top" -B "$1" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64.cmake" -DSUPPORT_HOST="$2" \
        -DCMAKE_BUILD_TYPE=Release > "$1.configure.log" 2>&1 || { cat "$1.configure.log"; return 1; }
    cmake --build "$1" -j"$(nproc)" > "$1.build.log" 2>&1 || { tail -40 "$1.build.log"; return 1; }
    # The build must stay free of warnings.
    if grep -i 'warning:' "$1.build.log"; then return 1; fi
    [ -f "$1/suporte.exe" ]
}

# build_native DIR: the pure readers and text helpers with the host's compiler, and their tests run.
build_native() {
    cmake -S "$top/tests/native" -B "$1" > "$1.configure.log" 2>&1 || { cat "$1.configure.log"; return 1; }
    cmake --build "$1" -j"$(nproc)" > "$1.build.log" 2>&1 || { tail -40 "$1.build.log"; return 1; }
    (cd "$1" && ctest --output-on-failure)
}

# Certificates made fresh each run; the CA is trusted only while the run lasts.
start_fake_server() {
    "$top/server/make_certs.sh" "$1" > /dev/null
    "$top/server/trust_ca.sh" install "$1"
    "$top/server/start.sh" "$1" > /dev/null
}

stop_fake_server() {
    "$top/server/stop.sh" "$1" > /dev/null 2>&1 || true
    "$top/server/trust_ca.sh" remove "$1" > /dev/null 2>&1 || true
}

# A developer's run inside its own network namespace: the run's certificates (made once and kept in
# RUN), its CA trusted and the fake server started; all of it, Wine and the run's display (xvfb_pid or
# xorg_pid) are undone when the script ends.
serve_in_namespace() {
    run=$1
    mkdir -p "$run"
    [ -f "$run/ca.crt" ] || "$top/server/make_certs.sh" "$run" > /dev/null
    "$top/server/trust_ca.sh" install "$run"
    "$top/server/start.sh" "$run" > /dev/null || return 1
    trap 'wineserver -k > /dev/null 2>&1; "$top/server/stop.sh" "$run" > /dev/null 2>&1
          kill ${xvfb_pid:-} ${xorg_pid:-} 2> /dev/null; "$top/server/trust_ca.sh" remove "$run" > /dev/null 2>&1' EXIT
}

# A private X display on Xvfb; sets DISPLAY and xvfb_pid.
start_display() {
    local n=97
    while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 "${HALVOREN_SCREEN:-1280x800x24}" -nolisten tcp > "$1/xvfb.log" 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do xdpyinfo > /dev/null 2>&1 && return 0; sleep 0.1; done
    echo "Xvfb did not start" >&2
    return 1
}

# A fresh Wine prefix in unmanaged mode (Wine draws the title bars and moves the focus itself), with
# Segoe UI mapped to Open Sans (with the status lines' "●" added, tools/ui_font.py) so that screenshots
# resemble Windows.
make_prefix() {
    export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    rm -rf "$WINEPREFIX"
    wineboot -i > /dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f > /dev/null 2>&1
    /usr/bin/python3 "$top/tools/ui_font.py" "$WINEPREFIX/drive_c/windows/Fonts"
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "Segoe UI" /d "Suporte Sans" /f > /dev/null 2>&1
    # A crash ends the process at once instead of waiting in Wine's debugger.
    wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f > /dev/null 2>&1
    wineserver -w
}

# One wineserver and one desktop for the whole run, for the test build in $1, logging into $2. Without
# a process on it, Wine closes the desktop a second after each test's process ends and the next one
# starts it again; a window asked for in that moment was seen refused. A probe holding the desktop
# keeps it up. The first window starts Wine's desktop process, which would inherit CTest's output
# pipe and keep it open: start it here, into a file.
start_wine() {
    wineserver -p
    wine "$1/tests/suporte_tests.exe" --no-version --test-case="the brushes have their colours" \
        > "$2/warm-up.log" 2>&1
    wine "$1/tests/probe.exe" hold > "$2/hold.log" 2>&1 &
}

# Ends what a run started: Wine, the fake server with its trusted CA, and the private display.
stop_everything() {
    wineserver -k > /dev/null 2>&1 || true
    stop_fake_server "$1"
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2> /dev/null
    return 0
}

# Wine 10 for the scaling lane (tools/wine10.sh). Debian 13's wine is 10; Debian 12 has Wine 8 only.
host_wine_is_10() {
    case "$(wine --version 2> /dev/null)" in wine-[1-9][0-9].*) return 0 ;; esac
    return 1
}

# HALVOREN_WINE10_ROOT puts it elsewhere (to try making one without touching the machine's).
wine10_base=${HALVOREN_WINE10_ROOT:-/var/cache/halvoren/trixie}

# A Debian 13 root with Wine 10, made once per machine outside any checkout and reused after. (Its
# /usr/bin/wine links to an absolute path, the host's on test: look at a plain file instead.)
wine10_root() {
    local root=$wine10_base
    [ -x "$root/usr/lib/wine/wine64" ] && return 0
    mkdir -p "$(dirname "$root")"
    (
        # Runs side by side wait for the one making it.
        flock 9
        [ -x "$root/usr/lib/wine/wine64" ] && exit 0
        echo "== making a Debian 13 root with Wine 10 in $root (once per machine)"
        target=$root
        if [ ! -x "$root/usr/bin/apt-get" ]; then
            target=$root.new
            rm -rf "$target"
            debootstrap --variant=minbase --include=ca-certificates trixie "$target" \
                http://deb.debian.org/debian > "$root.log" 2>&1 || { tail -20 "$root.log"; exit 1; }
        fi
        cp /etc/hosts "$target/etc/hosts"
        unshare -m --propagation private sh -c "mount --bind /proc '$target/proc' &&
            DEBIAN_FRONTEND=noninteractive chroot '$target' apt-get install -y -qq --no-install-recommends \
            wine wine64" >> "$root.log" 2>&1 || { tail -20 "$root.log"; exit 1; }
        [ "$target" = "$root" ] || mv "$target" "$root"
    ) 9> "$root.lock"
}

# enter_wine10_root LANE RUN BUILD: the root as this run sees it, at LANE/fs/root: an overlay whose
# changes (the hosts file, the run's CA in the trust store) stay in memory, with /proc, /dev, the X
# socket folder and the build and run folders bound at their own paths; and LANE/bin holding wine,
# wineboot and wineserver commands that run Wine 10 there. Call it inside a private mount namespace.
enter_wine10_root() {
    local lane=$1 run=$2 build=$3 fs=$1/fs
    local r=$fs/root d name
    mkdir -p "$fs" /tmp/.X11-unix
    chmod 1777 /tmp/.X11-unix
    mount -t tmpfs wine10 "$fs" || return 1
    mkdir -p "$fs/upper" "$fs/work" "$r"
    mount -t overlay wine10 -o "lowerdir=$wine10_base,upperdir=$fs/upper,workdir=$fs/work" "$r" || return 1
    for d in /proc /dev /tmp/.X11-unix "$build" "$run"; do
        mkdir -p "$r$d"
        mount --rbind "$d" "$r$d" || return 1
    done
    cp /etc/hosts "$r/etc/hosts"
    cp "$run/ca.crt" "$r/usr/local/share/ca-certificates/halvoren-test-ca.crt"
    chroot "$r" update-ca-certificates > /dev/null 2>&1 || { echo "the test CA was not trusted in $r" >&2; return 1; }
    mkdir -p "$lane/bin"
    for name in wine wineboot wineserver; do
        # Inside, the root's own command, in the same working folder (bound at its own path).
        printf '%s\n' '#!/bin/sh' \
            "exec chroot '$r' /usr/bin/env PATH=/usr/sbin:/usr/bin:/sbin:/bin /bin/sh -c 'cd \"\$0\" 2> /dev/null || cd /; exec \"\$@\"' \"\$PWD\" /usr/bin/$name \"\$@\"" \
            > "$lane/bin/$name"
        chmod +x "$lane/bin/$name"
    done
}

# Undoes enter_wine10_root's mounts (the namespace drops them anyway when it ends).
leave_wine10_root() {
    umount -R "$1/fs/root" 2> /dev/null
    umount "$1/fs" 2> /dev/null
    rm -rf "$1/bin"
    return 0
}
