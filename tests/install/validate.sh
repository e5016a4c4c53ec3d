#!/usr/bin/env bash
# Checks one kind of the files that make the reader a desktop program with the tool the desktop
# itself trusts; any complaint, even a warning, fails.
#
#   validate.sh desktop FILE     the menu entry (desktop-file-validate)
#   validate.sh metainfo FILE    the AppStream description (appstreamcli, without the network)
#   validate.sh mime FILE        the catalogue's type: the database built from it names
#                                pelmaropath.path, and nothing else
#   validate.sh man FILE...      manual pages (groff with every warning)
set -euo pipefail

kind=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs a command; its output, if any, is the complaint.
quiet() {
    if ! "$@" >"$work/said" 2>&1 || [[ -s $work/said ]]; then
        echo "FAIL: $*" >&2
        cat "$work/said" >&2
        exit 1
    fi
}

case $kind in
desktop)
    quiet desktop-file-validate "$1"
    ;;
metainfo)
    appstreamcli validate --no-net --strict "$1" >"$work/said" 2>&1 || {
        cat "$work/said" >&2
        exit 1
    }
    ;;
mime)
    mkdir -p "$work/mime/packages"
    cp "$1" "$work/mime/packages/"
    # The scratch database is the only one searched, so the tool has nothing to warn about.
    quiet env XDG_DATA_HOME="$work" XDG_DATA_DIRS="$work" update-mime-database "$work/mime"
    # globs2 lines are weight:type:pattern[:flags].
    globs=$(grep -v '^#' "$work/mime/globs2" | cut -d: -f2,3 | sort -u)
    if [[ $globs != "application/x-pelmaro-catalogue:pelmaropath.path" ]]; then
        echo "FAIL: the type's globs are" >&2
        echo "$globs" >&2
        exit 1
    fi
    ;;
man)
    for page in "$@"; do
        quiet groff -man -ww -z "$page"
    done
    ;;
*)
    echo "usage: $0 desktop|metainfo|mime|man FILE..." >&2
    exit 2
    ;;
esac
echo "ok: $kind"
