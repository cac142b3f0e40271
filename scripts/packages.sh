# Sourced by the other scripts: the Debian packages Brindle needs, and how to install the ones
# that are missing.
#
#   brindle_demo_packages  build and run the Linux programs (scripts/demo.sh)
#   brindle_test_packages  what the tests need besides (scripts/test.sh installs both lists)

brindle_demo_packages=(
  cmake make g++ pkg-config
  default-jdk-headless procyon-decompiler
  qt6-base-dev qt6-translations-l10n fonts-wqy-microhei
  xdg-utils shared-mime-info desktop-file-utils
  zlib1g-dev
  nodejs
)
# npm comes with some builds of nodejs (which then conflict with Debian's npm package).
command -v npm >/dev/null 2>&1 || brindle_demo_packages+=(npm)

brindle_test_packages=(
  libgtest-dev libgmock-dev
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64
  xvfb xauth imagemagick xdotool
  libfile-mimeinfo-perl libglib2.0-bin
  libcommons-lang3-java libcommons-collections4-java libguava-java libjackson2-databind-java
  libjsr305-java liberror-prone-java junit4 unzip
  locales
)

# Installs those of the named packages that are missing.
brindle_install_packages() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
      || missing+=("$package")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    local sudo=()
    ((EUID == 0)) || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq \
      "${missing[@]}"
  fi
}

# The Chinese locale that the Wine tests run under (so that the ANSI code page is 936).
brindle_make_chinese_locale() {
  if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
    local sudo=()
    ((EUID == 0)) || sudo=(sudo)
    "${sudo[@]}" localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
  fi
}
