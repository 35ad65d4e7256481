# What the set-up scripts share: a failed step's report, and package lists
# and installs that survive a mirror caught in mid-sync. Sourced by
# scripts/bootstrap and scripts/vm, which define log and as_root and set
# APT_STATE to a folder of the checkout's own.

# step_failed WHAT LOGFILE HOW: says which step failed, shows the end of its
# log and stops.
step_failed() {
    log "$1 $3; the end of $2:"
    tail -n 30 "$2" >&2
    trap - ERR
    exit 1
}

#
# A mirror in mid-sync serves one suite's list with the wrong size, and
# `apt-get update` then keeps that whole suite's old state and exits 100.
# The update is tried a few times; when one suite's lists still fail, the
# set-up goes on with the lists that did load and installs with that suite
# made the least preferred release, through a preferences folder of our own
# that apt is pointed at for each command. The machine's apt configuration
# is never changed.

APT_UPDATE_TRIES=${TOBRISK_APT_TRIES:-3}
APT_RETRY_PAUSE=${TOBRISK_APT_PAUSE:-15}   # seconds, times the try's number
APT_OPTIONS=()
APT_LAGGING=""                             # the suites whose lists failed

# Options that point apt at our preferences folder, when one was written by
# an earlier update of this checkout (scripts/vm installs after bootstrap).
# APT_STATE/updated marks that this checkout has updated the lists once.
apt_load_state() {
    APT_OPTIONS=()
    APT_LAGGING=""
    [ -f "$APT_STATE/lagging" ] || return 0
    APT_LAGGING=$(cat "$APT_STATE/lagging")
    APT_OPTIONS=(-o "Dir::Etc::PreferencesParts=$APT_STATE/preferences.d")
}

# The suites named by apt's "Err:" lines: "Err:9 URI SUITE/COMPONENT ...".
apt_failed_suites() {
    awk '/^Err:[0-9]+ / && $3 != "" { sub(/\/.*/, "", $3); print $3 }' "$1" | sort -u
}

# Writes the preferences folder: the machine's own parts, and ours that
# makes each lagging suite least preferred.
apt_write_state() {
    local suites=$1 dir="$APT_STATE/preferences.d" parts suite
    rm -rf "$APT_STATE"
    mkdir -p "$dir"
    parts=$(apt-config dump 2>/dev/null | sed -n 's/^Dir::Etc::preferencesparts "\(.*\)";$/\1/p')
    case $parts in /*) ;; *) parts="/etc/apt/${parts:-preferences.d}" ;; esac
    cp "$parts"/* "$dir/" 2>/dev/null || true
    for suite in $suites; do
        printf 'Package: *\nPin: release n=%s\nPin-Priority: 1\n\n' "$suite"
    done > "$dir/zz-tobrisk-lagging.pref"
    printf '%s\n' "$suites" > "$APT_STATE/lagging"
    apt_load_state
}

# apt_update LOGFILE: updates the package lists; stops only when no list
# of a named suite can be told apart as the one that failed.
apt_update() {
    local logfile=$1 try status suites reason
    mkdir -p "$(dirname "$logfile")"
    for ((try = 1; try <= APT_UPDATE_TRIES; try++)); do
        status=0
        as_root apt-get update >"$logfile" 2>&1 </dev/null || status=$?
        if [ "$status" -eq 0 ] && ! grep -q '^Err:' "$logfile"; then
            rm -rf "$APT_STATE"
            mkdir -p "$APT_STATE"
            touch "$APT_STATE/updated"
            apt_load_state
            return 0
        fi
        [ "$try" -lt "$APT_UPDATE_TRIES" ] && sleep $((APT_RETRY_PAUSE * try))
    done
    suites=$(apt_failed_suites "$logfile" | tr '\n' ' ' | sed 's/ $//')
    [ -n "$suites" ] || step_failed "updating the package lists" "$logfile" \
        "failed (status $status) after $APT_UPDATE_TRIES tries"
    reason=$(grep -m1 -E '^ +[A-Z].*' "$logfile" | sed 's/^ *//; s/ \[IP:.*//')
    apt_write_state "$suites"
    touch "$APT_STATE/updated"
    log "the package lists of $suites did not load after $APT_UPDATE_TRIES tries" \
        "(apt: ${reason:-status $status}); installing from the other suites, with $suites least preferred"
}

# apt_install LOGFILE PACKAGE...: installs with the lagging suites least
# preferred, if any. A failure names the packages, the lagging suites and
# the end of apt's log, and asks for a later run.
apt_install() {
    local logfile=$1 status=0
    shift
    mkdir -p "$(dirname "$logfile")"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y \
        --no-install-recommends "${APT_OPTIONS[@]}" "$@" >"$logfile" 2>&1 </dev/null || status=$?
    [ "$status" -eq 0 ] && return 0
    if [ -n "$APT_LAGGING" ]; then
        step_failed "installing $*" "$logfile" "failed (status $status) while the package lists of $APT_LAGGING could not be loaded (a mirror in mid-sync); run the command again later"
    fi
    step_failed "installing $*" "$logfile" "failed (status $status)"
}
