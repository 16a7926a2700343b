# shellcheck shell=bash
# Sourced by the scripts that keep what they build outside the clone
# (scripts/tsqldb, scripts/windows, scripts/compiler-cache): where that cache
# is, and building something into it once, under a lock. The sourcing script
# defines die (prints and exits) and say (prints on standard error).

# Prints the cache's root: OVERRIDE when it is not empty (each script has its
# own variable for it), else /var/cache/zelvor as root, else
# ${XDG_CACHE_HOME:-$HOME/.cache}/zelvor. CI keeps /var/cache/zelvor between
# runs, so the names below it must not change.
zelvor_cache_root() {
    if [[ -n ${1:-} ]]; then
        echo "$1"
    elif [[ $(id -u) -eq 0 ]]; then
        echo /var/cache/zelvor
    else
        echo "${XDG_CACHE_HOME:-$HOME/.cache}/zelvor"
    fi
}

# zelvor_cache_build ROOT NAME WHAT FINAL MARKER BUILD_FN
#
# Builds WHAT into the folder FINAL unless FINAL/MARKER exists. BUILD_FN runs
# as BUILD_FN WORK FINAL in a subshell that stops at its first failing command,
# its output in WORK/build.log, and leaves the result in WORK/stage$FINAL
# (installs carry FINAL's absolute path, so they are made with DESTDIR=WORK/stage);
# that folder is renamed to FINAL in one step, so an interrupted build is never
# taken for a finished one. One build at a time under the lock ROOT/.NAME.lock:
# a second caller waits, then finds the result. WORK is a fresh ROOT/.NAME.XXXXXX,
# removed at the end, also when the build fails.
zelvor_cache_build() {
    local root=$1 name=$2 what=$3 final=$4 marker=$5 build_fn=$6
    [[ -e $final/$marker ]] && return 0
    mkdir -p "$root"
    local lock
    exec {lock}>"$root/.$name.lock"
    flock "$lock"
    if [[ -e $final/$marker ]]; then
        exec {lock}>&-
        return 0
    fi
    # Holding the lock, any working folder left is one of an interrupted build.
    # Folders only (the trailing slash): the lock file must stay, or the next
    # caller locks a new file and removes a build that is still running.
    rm -rf "$root/.$name".*/
    local started=$SECONDS work status earlier_trap
    work=$(mktemp -d "$root/.$name.XXXXXX")
    earlier_trap=$(trap -p EXIT)
    # shellcheck disable=SC2064 # expand now: the folder is known
    trap "rm -rf '$work'" EXIT
    say "building $what into $final (once; log $work/build.log)"
    # Not as an if's condition: there set -e would not hold inside the build,
    # which would go on past a failing step.
    set +e
    (
        set -e
        "$build_fn" "$work" "$final"
    ) >"$work/build.log" 2>&1
    status=$?
    set -e
    if ((status != 0)); then
        tail -n 40 "$work/build.log" >&2
        die "building $what failed (the log's end is above)"
    fi
    [[ -e $work/stage$final/$marker ]] || die "building $what left no $marker"
    mv -T "$work/stage$final" "$final"
    rm -rf "$work"
    eval "${earlier_trap:-trap - EXIT}"
    exec {lock}>&-
    say "$what built in $((SECONDS - started)) s ($(du -sh "$final" | cut -f1))"
}
