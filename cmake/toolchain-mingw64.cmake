# Cross build for 64-bit Windows with MinGW-w64 from Linux:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
# The posix thread model of the compiler is taken when it is installed (the
# one GoogleTest is happiest with); its runtime is linked statically, so the
# programs need only DLLs that every Windows has. Tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FLANKGUARD_MINGW_PREFIX x86_64-w64-mingw32)
find_program(FLANKGUARD_MINGW_CXX NAMES ${FLANKGUARD_MINGW_PREFIX}-g++-posix ${FLANKGUARD_MINGW_PREFIX}-g++)
find_program(FLANKGUARD_MINGW_CC NAMES ${FLANKGUARD_MINGW_PREFIX}-gcc-posix ${FLANKGUARD_MINGW_PREFIX}-gcc)
if(NOT FLANKGUARD_MINGW_CXX)
  message(FATAL_ERROR "${FLANKGUARD_MINGW_PREFIX}-g++ not found (Debian: g++-mingw-w64-x86-64)")
endif()
set(CMAKE_CXX_COMPILER ${FLANKGUARD_MINGW_CXX})
if(FLANKGUARD_MINGW_CC)
  set(CMAKE_C_COMPILER ${FLANKGUARD_MINGW_CC})
endif()
set(CMAKE_RC_COMPILER ${FLANKGUARD_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FLANKGUARD_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libgcc, libstdc++ or winpthread DLLs beside the programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs (and GoogleTest's discovery at build time) run under Wine,
# in a prefix of the build's own. Wine is kept quiet and does not offer to
# install Mono or Gecko.
find_program(FLANKGUARD_WINE NAMES wine wine64)
if(FLANKGUARD_WINE AND NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  if(NOT DEFINED FLANKGUARD_WINEPREFIX)
    set(FLANKGUARD_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEPREFIX=${FLANKGUARD_WINEPREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
      ${FLANKGUARD_WINE})
endif()
