# Installs the Debian packages the build, the programs and the tests need.
# Sourced by run.sh and test.sh.

VELMORA_PACKAGES=(
  g++ make cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev libxcb1-dev
  libjpeg62-turbo-dev
  libfluidsynth-dev timgm6mb-soundfont
  libsdl2-dev
  fonts-ipafont-gothic
  xvfb xauth openbox x11-utils xdotool
  lua5.4 luajit
)

velmora_install_deps() {
  local missing=() p
  for p in "${VELMORA_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}
