#!/usr/bin/env bash
# scripts/install-deps.sh: installs the Debian packages (Debian 12 or 13) that building and
# testing Orvalin need. As root it installs what is missing; as another user it prints the
# command to run. With --fuzz it also covers clang and its libFuzzer runtime; with --package,
# what building the .deb needs and checks (dpkg-shlibdeps, dpkg-buildflags, lintian); with
# --bench, what bench/run drives and measures against.
set -euo pipefail

# Names that differ between releases are chosen by the release this runs on: Debian 12
# (bookworm) has the first name, Debian 13 (trixie) and later the second.
release=$(. /etc/os-release && echo "${VERSION_ID:-}")
named() {
    if [[ "$release" == 12 ]]; then echo "$1"; else echo "$2"; fi
}
taglib=$(named libtag1-dev libtag-dev)                  # TagLib 1.13 / 2.0
clang_rt=$(named libclang-rt-14-dev libclang-rt-19-dev) # the runtime of the default clang

packages=(
    cmake ninja-build g++ pkg-config           # the build
    qt6-base-dev qt6-qpa-plugins libgl-dev     # Qt 6 Widgets; its CMake package wants GL headers
    qt6-tools-dev qt6-l10n-tools               # Qt Linguist: the catalogues, built with lrelease
    qt6-translations-l10n                      # Qt's own texts in the user's language
    libwayland-dev                             # the outputs' scale, before the toolkit starts
    "$taglib"                                  # ID3v2 frames
    zlib1g-dev                                 # compressed frames in crafted test tags
    libgtest-dev googletest                    # the tests
    shared-mime-info                           # file types by name and content
    attr e2fsprogs                             # setfattr/getfattr; chattr for read-only cases
    xvfb xauth xdotool x11-utils imagemagick   # the real-window test and screenshots
    openbox dbus at-spi2-core python3-pyatspi  # the end-to-end test: window manager, AT-SPI
    mutter xwayland qt6-wayland python3-dbus   # ... and its Wayland runs under GNOME's compositor
    fonts-dejavu-core                          # glyphs for offscreen and Xvfb rendering
    librsvg2-bin                               # the icon's PNG sizes
    desktop-file-utils appstream python3       # checks of the installed files; orvalin-user-actions
    xfsprogs btrfs-progs exfatprogs dosfstools # the file-system matrix: images made with mkfs
    exfat-fuse fusefat ntfs-3g fuse3           # ... and mounted through FUSE (ntfs-3g has lowntfs-3g)
    sshfs openssh-server                       # ... and over SFTP to a server on 127.0.0.1
    strace                                     # the kill test: kills as a rename step begins
)
for option in "$@"; do
    case "$option" in
        --fuzz) packages+=(clang "$clang_rt") ;;
        --package) packages+=(dpkg-dev file lintian) ;;
        --bench)
            packages+=(
                openbox dbus at-spi2-core python3-pyatspi libxtst6 # the desktop the window runs on
                time                                               # peak RSS: /usr/bin/time -f %M
                libimage-exiftool-perl kid3-cli                    # the peers
                linux-perf strace                                  # bench/run --profile
                bsdutils                                           # script: a terminal's pty
            )
            ;;
        *) echo "install-deps: unknown option $option" >&2; exit 2 ;;
    esac
done

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    if [[ "$status" != "install ok installed" ]]; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} == 0)); then
    echo "install-deps: all packages are installed."
    exit 0
fi

if [[ "$(id -u)" -eq 0 ]]; then
    echo "install-deps: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
else
    echo "install-deps: missing packages: ${missing[*]}" >&2
    echo "Install them with:" >&2
    echo "sudo apt-get install --no-install-recommends ${missing[*]}"
    exit 1
fi
