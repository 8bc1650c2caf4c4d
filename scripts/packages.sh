# What the machine needs, read by scripts/setup.sh and scripts/check-setup.sh.
# Sourced, not run.

# Debian packages that setup installs (without recommends).
SNAPVANE_PACKAGES=(
  cmake ninja-build
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  libwine-dev wine64-tools wine wine64 wine32:i386 fonts-wine
  xvfb xauth x11-utils imagemagick
  googletest nlohmann-json3-dev
  libjpeg-turbo-progs stress-ng
  nsis zip python3
  nasm dpkg-dev debian-archive-keyring
  clang libclang-rt-14-dev llvm-14 libjpeg62-turbo-dev libgtest-dev
  libwmf-bin fonts-urw-base35
)

# Every program and file that the build, the tests and the scripts call,
# each resolved to the package that provides it by scripts/check-setup.sh.
# A new command in a script or a CMake file belongs here too.
SNAPVANE_PROGRAMS=(
  # the build
  cmake ctest ninja widl
  i686-w64-mingw32-gcc-posix i686-w64-mingw32-g++-posix i686-w64-mingw32-windres
  x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres
  x86_64-w64-mingw32-objdump
  /usr/src/googletest/CMakeLists.txt /usr/include/nlohmann/json.hpp
  /usr/include/wine/wine/windows/oaidl.idl
  /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/stdole2.tlb
  # Wine and the display
  /usr/lib/wine/wine /usr/lib/wine/wine64 /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver
  /usr/share/wine/fonts/marlett.ttf /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf
  xvfb-run Xvfb xauth xdpyinfo
  # pictures, benchmarks, load
  convert identify djpeg cjpeg stress-ng
  # libjpeg-turbo from its source package
  nasm dpkg-source /usr/share/keyrings/debian-archive-keyring.gpg
  # the native build of the pictures room: sanitizers, libFuzzer, libjpeg, GoogleTest
  clang clang++ /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a
  /usr/lib/llvm-14/bin/llvm-symbolizer /usr/include/jpeglib.h /usr/include/gtest/gtest.h
  # the real-picture sweep's other reader of metafiles, and the fonts it draws text with
  wmf2svg /usr/share/fonts/type1/urw-base35/NimbusSans-Regular.t1
  # the setup program and the user guide's check
  makensis zip python3 i686-w64-mingw32-strip x86_64-w64-mingw32-strip
  /usr/share/doc/mingw-w64-i686-dev/copyright /usr/share/doc/gcc-mingw-w64-base/copyright
  # the scripts themselves
  realpath basename dirname mkfifo od paste wc find date
  bash timeout dpkg-query apt-get apt-cache dpkg sed awk grep sort tr cut head tail
)
