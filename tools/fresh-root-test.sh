#!/bin/sh
# SPDX-License-Identifier: MIT
# The README's first commands on a fresh minimal Debian 12, as a newcomer
# types them. mmdebstrap makes a minbase bookworm root from this machine's
# package mirrors; there, as root, every line of README.md's first code block
# runs in turn (apt's questions answered yes), its `git clone` fetching this
# checkout's committed HEAD; then `make test`. CI=true throughout, so warnings
# are errors and the block's own `make test` builds what the last one tests.
# Needs root. The root and its mounts are removed afterwards, also on failure
# or timeout.
#   tools/fresh-root-test.sh [--worktree] [--keep]
#     --worktree  copy the working tree (uncommitted changes too) where the
#                 block clones, instead of cloning HEAD
#     --keep      leave the root (unmounted) for a look; its path is printed
#   FRESH_ROOT_TIMEOUT  seconds allowed inside the root (default 900)
#   FRESH_ROOT_MIRROR   a mirror URL or sources file instead of this machine's
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
mode=clone
keep=no
for arg; do
    case $arg in
        --worktree) mode=copy ;;
        --keep) keep=yes ;;
        *) sed -n '11,16s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
    esac
done
limit=${FRESH_ROOT_TIMEOUT:-900}

say() { echo "fresh-root-test: $*"; }
fail() { echo "fresh-root-test: FAILED: $*" >&2; exit 1; }
started=$(date +%s)
since() { s=$(($(date +%s) - $1)); [ $s -ge 60 ] && echo "$((s / 60))m$((s % 60))s" || echo "${s}s"; }
# The checkout may belong to another user than root.
hostgit() { git -c safe.directory='*' -C "$repo" "$@"; }

[ "$(id -u)" -eq 0 ] || fail "needs root, for mmdebstrap, mount and chroot"
if ! command -v mmdebstrap >/dev/null 2>&1; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q mmdebstrap >/dev/null 2>&1 ||
        fail "mmdebstrap is missing and could not be installed (apt-get install mmdebstrap)"
fi

work=$(mktemp -d /tmp/fresh-root.XXXXXX)
rootfs=$work/root
inside=""
cleanup() {
    status=$?
    trap - EXIT INT TERM
    if [ -n "$inside" ] && kill -0 "$inside" 2>/dev/null; then
        kill -TERM "$inside" 2>/dev/null # timeout passes it on to everything it started
        wait "$inside" 2>/dev/null || true
    fi
    # Whatever still runs in the root holds its mounts.
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" = "$rootfs" ] && kill -KILL "${p#/proc/}" 2>/dev/null
    done
    # Unmount deepest first, so that nothing of the host goes with the root;
    # --one-file-system guards against a mount that would not go.
    awk -v r="$rootfs/" 'index($2, r) == 1 { print $2 }' /proc/mounts | sort -r | while read -r m; do
        umount "$m" 2>/dev/null || umount -l "$m"
    done
    if [ $keep = yes ]; then
        say "the root is kept in $rootfs"
    else
        rm -rf --one-file-system "$work"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'echo "fresh-root-test: interrupted; removing the root" >&2; exit 130' INT TERM

# The block and what goes where it clones, from the same tree.
if [ $mode = clone ]; then
    readme=$(hostgit show HEAD:README.md) || fail "no README.md in the committed HEAD"
    what="the committed HEAD $(hostgit rev-parse --short HEAD)"
    place="git clone /srv/pictoria.git"
else
    readme=$(cat "$repo/README.md")
    what="the working tree of $repo"
    place="cp -a /srv/pictoria"
fi
block=$(printf '%s\n' "$readme" | awk '/^```/ { if (open) exit; open = 1; next } open')
[ -n "$block" ] || fail "README.md has no code block"
[ "$(printf '%s\n' "$block" | grep -c 'git clone')" -eq 1 ] ||
    fail "README.md's first block should clone the repository exactly once:
$block"
# The address a reader puts in place of the placeholder (or a real one this
# machine may not reach) becomes the copy of this repository in the root.
block=$(printf '%s\n' "$block" | sed -E "s#git clone (<[^>]*>|[^[:space:]]+)#$place#")

mirrors=${FRESH_ROOT_MIRROR:-}
if [ -z "$mirrors" ]; then
    # The files apt reads that name bookworm; third-party sources are left out.
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && grep -Eq '^[^#]*[[:space:]]bookworm(-[a-z]+)?([[:space:]]|$)' "$f" && mirrors="$mirrors $f"
    done
fi
say "making a minimal Debian 12 root (mmdebstrap --variant=minbase bookworm, mirrors:${mirrors:- default})"
step=$(date +%s)
# shellcheck disable=SC2086 # a list of files or URLs
# dpkg without fsync, as in Debian's container images: the same packages, in
# half the time on a slow disk.
mmdebstrap --variant=minbase --dpkgopt=force-unsafe-io bookworm "$rootfs" $mirrors >"$work/mmdebstrap.log" 2>&1 || {
    tail -n 30 "$work/mmdebstrap.log" >&2
    fail "mmdebstrap could not make the root"
}
say "root made in $(since "$step")"

mount -t proc proc "$rootfs/proc"
# mmdebstrap makes the device nodes where mknod is allowed; elsewhere the host's serve.
[ -c "$rootfs/dev/null" ] || mount --bind /dev "$rootfs/dev"
# apt logs dpkg's output through a pseudo-terminal.
mount --bind /dev/pts "$rootfs/dev/pts"

mkdir -p "$rootfs/srv"
if [ $mode = clone ]; then
    git init -q --bare --initial-branch=main "$rootfs/srv/pictoria.git"
    git -c safe.directory='*' -C "$rootfs/srv/pictoria.git" fetch -q "$repo" HEAD:refs/heads/main ||
        fail "could not fetch HEAD of $repo"
else
    mkdir "$rootfs/srv/pictoria"
    (cd "$repo" && git -c safe.directory='*' ls-files -z -co --exclude-standard |
        tar --null -T - --ignore-failed-read -cf -) | tar -C "$rootfs/srv/pictoria" -xf -
fi

printf '%s\n' "$block" >"$rootfs/root/readme-block"
cat >"$rootfs/root/fresh-root-run" <<'EOF'
# Each line of the block in one shell, so that its `cd` holds for the next.
since() { s=$(($(date +%s) - $1)); [ $s -ge 60 ] && echo "$((s / 60))m$((s % 60))s" || echo "${s}s"; }
cd /root
while IFS= read -r line <&3; do
    case $line in "" | "#"*) continue ;; esac
    echo "==> $line"
    step=$(date +%s)
    if ! eval "$line"; then
        echo "fresh-root: this line of the README's first block failed: $line" >&2
        exit 1
    fi
    echo "<== $(since "$step"): $line"
done 3</root/readme-block
echo "==> make test (in $(pwd))"
step=$(date +%s)
make test || { echo "fresh-root: make test failed after the README's commands" >&2; exit 1; }
echo "<== $(since "$step"): make test"
EOF

say "running README.md's first block on $what, then make test (at most ${limit}s):"
printf '%s\n' "$block" | sed 's/^/    /'
step=$(date +%s)
# A clean environment as a login would give; stdin answers apt's questions.
yes | timeout --kill-after=20 "$limit" chroot "$rootfs" /usr/bin/env -i HOME=/root \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin CI=true \
    /bin/sh /root/fresh-root-run &
inside=$!
status=0
wait "$inside" || status=$?
inside=""
case $status in
    0) say "passed in $(since "$started") (inside the root: $(since "$step"))" ;;
    124 | 137) fail "the README's commands took longer than ${limit}s (FRESH_ROOT_TIMEOUT)" ;;
    *) fail "the README's commands or make test failed in the fresh root (exit $status; see above)" ;;
esac
