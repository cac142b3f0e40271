# Sourced by the other scripts: installs the Debian packages Brindle needs when any is missing,
# and makes sure the Chinese locale that the Wine tests run under exists.

brindle_packages=(
  cmake make g++ pkg-config
  libgtest-dev libgmock-dev
  default-jdk-headless procyon-decompiler
  g++-mingw-w64-x86-64-posix wine wine64
  qt6-base-dev qt6-translations-l10n xvfb xauth imagemagick fonts-wqy-microhei
  xdg-utils shared-mime-info desktop-file-utils
  libcommons-lang3-java unzip xdotool
  locales
)

brindle_install_packages() {
  local missing=()
  local package
  for package in "${brindle_packages[@]}"; do
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
  if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
    local sudo=()
    ((EUID == 0)) || sudo=(sudo)
    "${sudo[@]}" localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
  fi
}
