#!/bin/bash
# Checks that scripts/bootstrap, when one of its steps fails, says which step
# failed, shows the end of that step's log and exits non-zero, and that it
# gives Tcl's install a native tclsh. Runs a copy of the script in a scratch
# tree whose Tcl source is a stand-in: its configure, and the make and
# apt-get found first on PATH, do what each case needs. The machine's real
# packages and locales are already set up by the build, so those steps pass
# without changing anything.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT
failures=0

# Lays out a tree with the bootstrap, its patches of Tcl and a stand-in Tcl
# source whose configure runs CONFIGURE (shell text) and whose patched file
# is the build's own (FAKE_PATCHED, when set, is its text instead);
# FAKE_MAKE and FAKE_APT are the bodies of the make and apt-get scripts put
# first on PATH.
make_tree() {
    local tree=$1 configure=$2
    rm -rf "$tree"
    mkdir -p "$tree/scripts" "$tree/bin" "$tree/third_party/src/tk8.6-0"
    cp "$ROOT/scripts/bootstrap" "$ROOT/scripts/setup.sh" "$tree/scripts/"
    cp -r "$ROOT/scripts/patches" "$tree/scripts/"
    # What the build already fetched and built: the bootstrap fetches
    # nothing here. Of SQLite, the package and the mark of its fixes.
    cp -r "$ROOT/third_party/tkcon" "$ROOT/third_party/tcllib" "$tree/third_party/"
    mkdir -p "$tree/third_party/sqlite"
    cp -r "$ROOT/third_party/sqlite/lib" "$ROOT/third_party/sqlite/.patches" "$tree/third_party/sqlite/"
    mkdir -p "$tree/third_party/apt"; touch "$tree/third_party/apt/updated"
    if [ -n "$configure" ]; then
        mkdir -p "$tree/third_party/src/tcl8.6-0/win"
        printf '#!/bin/sh\n%s\n' "$configure" > "$tree/third_party/src/tcl8.6-0/win/configure"
        chmod +x "$tree/third_party/src/tcl8.6-0/win/configure"
        if [ -n "${FAKE_PATCHED:-}" ]; then
            printf '%s\n' "$FAKE_PATCHED" > "$tree/third_party/src/tcl8.6-0/win/tclWinFile.c"
        else
            cp "$ROOT"/third_party/src/tcl8.6-*/win/tclWinFile.c "$tree/third_party/src/tcl8.6-0/win/"
        fi
    fi
    printf '#!/bin/sh\n%s\n' "${FAKE_MAKE:-exit 0}" > "$tree/bin/make"
    printf '#!/bin/sh\n%s\n' "${FAKE_APT:-exec /usr/bin/apt-get \"\$@\"}" > "$tree/bin/apt-get"
    chmod +x "$tree/bin/make" "$tree/bin/apt-get"
    if [ -n "${FAKE_DPKG:-}" ]; then
        printf '#!/bin/sh\n%s\n' "$FAKE_DPKG" > "$tree/bin/dpkg"
        chmod +x "$tree/bin/dpkg"
        rm "$tree/third_party/apt/updated"
    fi
}

# expect NAME STATUS OUTPUT PATTERN...: the status must be non-zero and
# every pattern (grep -E) must be in the output.
expect() {
    local name=$1 status=$2 output=$3 pattern
    shift 3
    if [ "$status" -eq 0 ]; then
        echo "FAIL $name: exited 0"; failures=$((failures + 1))
    fi
    for pattern in "$@"; do
        if ! grep -Eq -- "$pattern" <<<"$output"; then
            echo "FAIL $name: no line matching '$pattern' in:"; sed 's/^/    /' <<<"$output"
            failures=$((failures + 1))
        fi
    done
}

# run_case NAME CONFIGURE PATTERN...: runs the bootstrap in a tree of its own.
run_case() {
    local name=$1 configure=$2 output status
    shift 2
    make_tree "$SCRATCH/$name" "$configure"
    output=$(PATH="$SCRATCH/$name/bin:$PATH" "$SCRATCH/$name/scripts/bootstrap" 2>&1)
    status=$?
    expect "$name" "$status" "$output" "$@"
}

WRITES_MAKEFILE='printf "SHARED_LIBRARIES = x\nTCL_OBJS = y\n" > Makefile; echo configured'

# Each case: its name, the configure script, what the output must show.
FAKE_APT='echo "E: Unable to find a source package for $2"; exit 100' \
run_case fetch "" \
    '^bootstrap: fetching the source package tcl8.6 failed \(status 100\)' \
    'Unable to find a source package for tcl8.6'

run_case configure 'echo "checking for i686-w64-mingw32-gcc... no"; echo "configure: error: no C compiler" >&2; exit 77' \
    '^bootstrap: configuring Tcl failed \(status 77\); the end of .*/build/tcl/configure\.log' \
    'checking for i686-w64-mingw32-gcc\.\.\. no' 'configure: error: no C compiler'

FAKE_MAKE='echo "tclWinFile.c:42: error: boom"; exit 2' \
run_case make "$WRITES_MAKEFILE" \
    '^bootstrap: building Tcl failed \(status 2\); the end of .*/build/tcl/make\.log' \
    'tclWinFile\.c:42: error: boom'

# Tcl's install runs Tcl scripts natively; without a tclsh it stopped.
FAKE_MAKE='case " $* " in *" install "*) echo "make install $*"; echo "/bin/sh: 1: tclsh: not found"; exit 2;; esac' \
run_case install "$WRITES_MAKEFILE" \
    '^bootstrap: installing Tcl failed \(status 2\); the end of .*/build/tcl/install\.log' \
    'TCL_EXE=/[^ ]*tclsh8\.6( |$)' 'tclsh: not found'

# A source that the patch does not fit stops before the build.
FAKE_PATCHED='/* not Tcl */' \
run_case patch "$WRITES_MAKEFILE" \
    '^bootstrap: patching Tcl with tcl-native-file-names\.patch failed \(status 1\); the end of .*/logs/patch-tcl\.log' \
    'FAILED'

# A mirror in mid-sync: one suite's list fails on every try. The set-up
# says so once, installs with that suite least preferred (the stand-in
# apt-get checks the preferences it is pointed at) and goes on to the
# build, whose stand-in configure stops it here.
export TOBRISK_APT_PAUSE=0
MISSING_PACKAGES='case "$1" in --print-foreign-architectures) exit 0;; -s) exit 1;; esac; exit 0'
MID_SYNC_UPDATE='update)
    echo "Err:9 http://mirror.invalid/debian-security bookworm-security/main i386 Packages"
    echo "  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]"
    echo "E: Some index files failed to download."; exit 100;;'
PINNED='for a; do case $a in Dir::Etc::PreferencesParts=*) prefs=${a#*=};; esac; done
        grep -A2 -q "^Pin: release n=bookworm-security" "$prefs"/*.pref || { echo "E: not pinned"; exit 100; }'
FAKE_DPKG=$MISSING_PACKAGES FAKE_APT="case \"\$1\" in $MID_SYNC_UPDATE
    install) $PINNED; echo installed; exit 0;;
esac; exit 0" \
run_case mid-sync 'exit 77' \
    '^bootstrap: the package lists of bookworm-security did not load after 3 tries \(apt: File has unexpected size \(374820 != 376004\)\. Mirror sync in progress\?\); installing from the other suites, with bookworm-security least preferred$' \
    '^bootstrap: configuring Tcl failed \(status 77\)'

# The same, when the install cannot be done without the missing lists.
FAKE_DPKG=$MISSING_PACKAGES FAKE_APT="case \"\$1\" in $MID_SYNC_UPDATE
    install) $PINNED; echo 'E: pkgProblemResolver::Resolve generated breaks'; exit 100;;
esac; exit 0" \
run_case mid-sync-install 'exit 77' \
    '^bootstrap: installing g\+\+-mingw-w64-i686 .*wine32 .* failed \(status 100\) while the package lists of bookworm-security could not be loaded \(a mirror in mid-sync\); run the command again later; the end of .*/logs/apt-install\.log' \
    'pkgProblemResolver::Resolve generated breaks'

# A command outside the reported steps: configure makes no Makefile to edit.
run_case unreported 'exit 0' \
    '^bootstrap: failed \(status [1-9][0-9]*\): sed '

echo "test_bootstrap: $failures failure(s)"
[ "$failures" -eq 0 ]
