#!/usr/bin/env bash
# Sets up 32-bit Wine for the i686 build, privately under build/wine32 of this work tree:
#   - Debian's i386 Wine (the same version as the system's wine64) and the libraries it loads,
#     fetched with `apt-get download` under a private apt configuration (architecture i386, its
#     own state, lists and cache; the mirror and suite come from /etc/apt/sources.list.d) and
#     unpacked with `dpkg-deb -x` into build/wine32/root. dpkg's database, its architectures and
#     /etc/apt are never changed.
#   - a static qemu-i386 from the next release's qemu-user package (build/wine32/qemu-i386):
#     the current release's qemu spends about 48 s of CPU on every process start.
#   - binfmt_misc: 32-bit ELF files go to that qemu, so that a 32-bit Windows program can start
#     another one. This needs root; where it is refused, the set-up says so and goes on.
# Idempotent: a run after a complete one downloads and unpacks nothing and takes well under a
# second. The per-build-folder WoW64 prefix is made by scripts/wine-env.sh.
set -u
cd "$(dirname "$0")/.."
# shellcheck source=scripts/wine-common.sh
. scripts/wine-common.sh

top=$WINE32_DIR
apt_dir=$top/apt
debs=$top/debs
root=$WINE32_ROOT
qemu_suite=trixie # the release after bookworm: its qemu-user holds a static, fast qemu-i386
packages=(wine32 libwine libc6 libunwind8 liblzma5 libgcc-s1
          libx11-6 libxext6 libxcb1 libxau6 libxdmcp6 libbsd0 libmd0 libxrender1 libxrandr2 libxi6
          libxcursor1 libxfixes3 libxinerama1 libxcomposite1 libxxf86vm1 libfreetype6
          libfontconfig1 libexpat1 libpng16-16 zlib1g libbrotli1 libuuid1)

say() { echo "wine32-setup: $*"; }
die() { say "$*" >&2; exit 1; }

# The system's Debian mirror, components and key for its own release, read from the deb822
# (.sources) and one-line (.list) files in /etc/apt/sources.list.d. Prints
# "URI|SUITES|COMPONENTS|KEY".
system_mirror() {
  local codename files
  files=$(compgen -G '/etc/apt/sources.list.d/*.sources'; compgen -G '/etc/apt/sources.list.d/*.list')
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] && [ -n "$files" ] || return 1
  awk -v want="$codename" '
    function flush() {
      if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " want " ") && uri != "" && found == "")
        found = uri "|" suites "|" comps "|" key
      types = uri = suites = comps = key = ""
    }
    FNR == 1 { flush() }
    FILENAME ~ /\.sources$/ {
      if ($0 ~ /^[ \t]*#/) next
      if ($0 ~ /^[ \t]*$/) { flush(); next }
      f = tolower($1); sub(/^[^:]*:[ \t]*/, "")
      if (f == "types:") types = $0
      else if (f == "uris:") { split($0, u, " "); uri = u[1] }
      else if (f == "suites:") suites = $0
      else if (f == "components:") comps = $0
      else if (f == "signed-by:") key = $0
      next
    }
    FILENAME ~ /\.list$/ && $1 == "deb" && found == "" {
      line = $0; key = ""
      if (match(line, /\[[^]]*\]/)) {
        opts = substr(line, RSTART + 1, RLENGTH - 2); line = substr(line, 1, RSTART - 1) substr(line, RSTART + RLENGTH)
        if (match(opts, /signed-by=[^ ]+/)) key = substr(opts, RSTART + 10, RLENGTH - 10)
      }
      n = split(line, w, /[ \t]+/)
      if (w[3] == want) { c = w[4]; for (i = 5; i <= n; i++) c = c " " w[i]; found = w[2] "|" w[3] "|" c "|" key }
      key = ""
    }
    END { flush(); if (found == "") exit 1; print found }
  ' $files
}

# Writes the private apt configuration for one architecture and suite into $apt_dir/NAME and
# brings its package lists in once. The system's apt.conf.d is not read (its update hooks
# would touch the system), nor its preferences.
apt_setup() {
  local name=$1 arch=$2 suites=$3 dir=$apt_dir/$1
  mkdir -p "$dir/state/lists/partial" "$dir/cache/archives/partial" "$dir/etc/parts" "$dir/etc/prefs"
  touch "$dir/state/status"
  cat >"$dir/sources.sources" <<EOF
Types: deb
URIs: $mirror_uri
Suites: $suites
Components: $mirror_components
Architectures: $arch
${mirror_key:+Signed-By: $mirror_key}
EOF
  cat >"$dir/apt.conf" <<EOF
APT::Architecture "$arch";
APT::Architectures { "$arch"; };
Dir::State "$dir/state";
Dir::State::lists "$dir/state/lists";
Dir::State::status "$dir/state/status";
Dir::Cache "$dir/cache";
Dir::Etc::main "/dev/null";
Dir::Etc::parts "$dir/etc/parts";
Dir::Etc::preferences "/dev/null";
Dir::Etc::preferencesparts "$dir/etc/prefs";
Dir::Etc::sourcelist "$dir/sources.sources";
Dir::Etc::sourceparts "/dev/null";
Acquire::Languages "none";
Acquire::GzipIndexes "true";
Acquire::CompressionTypes::Order { "gz"; };
Dir::Cache::pkgcache "";
Dir::Cache::srcpkgcache "";
APT::Sandbox::User "root";
EOF
  if [ ! -f "$dir/updated" ]; then
    say "fetching the $arch package lists of $suites"
    APT_CONFIG=$dir/apt.conf apt-get update -qq >"$dir/update.log" 2>&1 \
      || { cat "$dir/update.log" >&2; die "apt-get update ($name) failed"; }
    touch "$dir/updated"
  fi
}

# Downloads PACKAGE[=VERSION] ... with the apt configuration NAME unless the .deb is there.
apt_fetch() {
  local name=$1; shift
  local want=() p
  for p in "$@"; do
    compgen -G "$debs/$name/${p%%=*}_*.deb" >/dev/null || want+=("$p")
  done
  [ ${#want[@]} -gt 0 ] || return 0
  mkdir -p "$debs/$name"
  say "downloading ${want[*]}"
  (cd "$debs/$name" && APT_CONFIG=$apt_dir/$name/apt.conf apt-get download -qq "${want[@]}") \
    >"$apt_dir/$name/download.log" 2>&1 || { cat "$apt_dir/$name/download.log" >&2; die "apt-get download ($name) failed"; }
}

fetch_and_unpack() {
  # Nothing to do when every part is in place from an earlier run.
  if [ -f "$top/unpacked" ] && [ -x "$WINE32_QEMU" ]; then return 0; fi
  local mirror
  mirror=$(system_mirror) || die "no deb entry for this Debian release in /etc/apt/sources.list.d"
  local suites
  IFS='|' read -r mirror_uri suites mirror_components mirror_key <<<"$mirror"
  local wine_version
  wine_version=$(dpkg-query -W -f='${Version}' wine64 2>/dev/null) || die "wine64 is not installed (scripts/install-deps.sh installs it)"

  if [ ! -f "$top/unpacked" ]; then
    apt_setup i386 i386 "$suites"
    # The 32-bit Wine must be the system wine64's version: both talk to one wineserver.
    local list=() p
    for p in "${packages[@]}"; do
      case "$p" in wine32|libwine) list+=("$p=$wine_version") ;; *) list+=("$p") ;; esac
    done
    apt_fetch i386 "${list[@]}"
    say "unpacking $(ls "$debs/i386" | wc -l) packages into $root"
    rm -rf "$root" && mkdir -p "$root"
    for deb in "$debs"/i386/*.deb; do
      dpkg-deb -x "$deb" "$root" || die "cannot unpack $deb"
    done
    [ -x "$root/usr/lib/wine/wine" ] || die "the unpacked root has no usr/lib/wine/wine"
    # The 32-bit loader starts the 64-bit helpers natively through this name.
    ln -sfn /usr/lib/wine/wine64 "$root/usr/lib/wine/wine64"
    touch "$top/unpacked"
  fi

  if [ ! -x "$WINE32_QEMU" ]; then
    apt_setup next amd64 "$qemu_suite"
    apt_fetch next qemu-user
    local tmp=$top/qemu-unpack
    rm -rf "$tmp" && mkdir -p "$tmp"
    dpkg-deb --fsys-tarfile "$debs"/next/qemu-user_*.deb | tar -x -C "$tmp" ./usr/bin/qemu-i386 \
      || die "no ./usr/bin/qemu-i386 in the qemu-user package"
    mv "$tmp/usr/bin/qemu-i386" "$WINE32_QEMU" && rm -rf "$tmp" "$debs/next"
    "$WINE32_QEMU" --version | head -1 | sed 's/^/wine32-setup: /'
  fi
}

# Hands 32-bit ELF files to the private qemu-i386 (flag F: the kernel opens the interpreter
# now, so it works in any mount namespace and keeps working if the file moves). The entry's
# name carries a hash of the path, so several work trees do not fight over one entry.
register_binfmt() {
  local dir=/proc/sys/fs/binfmt_misc name
  name=korvex-i386-$(printf '%s' "$WINE32_QEMU" | md5sum | cut -c1-8)
  if [ ! -e "$dir/register" ]; then
    mount -t binfmt_misc binfmt_misc "$dir" 2>/dev/null
  fi
  if [ -e "$dir/$name" ]; then
    grep -q '^enabled' "$dir/$name" || echo 1 >"$dir/$name" 2>/dev/null
    if grep -q '^enabled' "$dir/$name"; then echo yes >"$WINE32_DIR/binfmt"; return 0; fi
  fi
  if [ -e "$dir/register" ] &&
     printf ':%s:M::%s:%s:%s:F' "$name" \
       '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00' \
       '\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff' \
       "$WINE32_QEMU" >"$dir/register" 2>/dev/null; then
    say "registered $WINE32_QEMU for 32-bit ELF files ($dir/$name)"
    echo yes >"$WINE32_DIR/binfmt"; return 0
  fi
  echo no >"$WINE32_DIR/binfmt"
  say "NOTE: could not register qemu-i386 with binfmt_misc (needs root and a mountable $dir)."
  say "      32-bit programs still run, but one cannot start another: the i686 Wine tests that"
  say "      start a second process fail (the child never comes up), and the i686 demo cannot"
  say "      run (bash scripts/demo.sh --x64 runs the x86_64 one)."
}

mkdir -p "$top"
fetch_and_unpack
register_binfmt
exit 0
