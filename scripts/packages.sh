# The Debian packages the project needs, sourced by setup.sh and install.sh. BUILD_PACKAGES build
# the addon and supply its fonts (all an installed package needs); TEST_PACKAGES add what the tests,
# the benchmarks and the headless demo use.
BUILD_PACKAGES=(
  # toolchain (Node.js and npm are checked by the callers: they may come from outside Debian)
  build-essential cmake pkg-config
  # libraries the addon links
  libsdl2-dev libsdl2-image-dev libglew-dev libfreetype-dev libopenal-dev libvorbis-dev libogg-dev
  libusb-1.0-0-dev libstb-dev libpng-dev libjpeg62-turbo-dev
  # fonts (scripts/assets.sh copies them into app/assets/fonts/)
  fonts-noto-core fonts-unifont
)
TEST_PACKAGES=(
  # unit tests and benchmarks
  libgtest-dev libbenchmark-dev
  # integration tests and the demo: X server, window manager, input, clipboard, screenshots,
  # software GL, sound fixtures, an emulated USB adapter
  xvfb xauth openbox xdotool xclip x11-utils x11-xserver-utils imagemagick libgl1-mesa-dri libglx-mesa0
  sox vorbis-tools umockdev libumockdev-dev
  # published glTF 2.0 models, sound ones and deliberately broken ones, for the model loader's tests
  assimp-testmodels
)

# Prints, one per line, the packages among the arguments that are not installed.
missing_packages() {
  local p status
  for p in "$@"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || echo "$p"
  done
}
