# System libraries that the platform backend of this build links, in
# FLANKGUARD_PLATFORM_LIBS for the programs that link the backend: on
# Windows the system's own; on POSIX ALSA for playback, libsndfile for
# decoding WAV images and Xlib for the simulator's window.
set(FLANKGUARD_PLATFORM_LIBS "")
if(WIN32)
  # Windows: Winsock 2, the multimedia library, and user32 for FindWindowA.
  set(FLANKGUARD_PLATFORM_LIBS ws2_32 winmm user32)
else()
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND)
    pkg_check_modules(FLANKGUARD_ALSA QUIET IMPORTED_TARGET alsa)
    pkg_check_modules(FLANKGUARD_SNDFILE QUIET IMPORTED_TARGET sndfile)
  endif()
  if(FLANKGUARD_ALSA_FOUND AND FLANKGUARD_SNDFILE_FOUND)
    set(FLANKGUARD_PLATFORM_LIBS PkgConfig::FLANKGUARD_ALSA PkgConfig::FLANKGUARD_SNDFILE)
    target_link_libraries(flankguard_platform PRIVATE ${FLANKGUARD_PLATFORM_LIBS})
  else()
    find_path(FLANKGUARD_ALSA_INCLUDE alsa/asoundlib.h)
    find_path(FLANKGUARD_SNDFILE_INCLUDE sndfile.h)
    find_library(FLANKGUARD_ALSA_LIB asound)
    find_library(FLANKGUARD_SNDFILE_LIB sndfile)
    if(NOT FLANKGUARD_ALSA_INCLUDE OR NOT FLANKGUARD_SNDFILE_INCLUDE OR
       NOT FLANKGUARD_ALSA_LIB OR NOT FLANKGUARD_SNDFILE_LIB)
      message(FATAL_ERROR "ALSA (libasound2-dev) and libsndfile (libsndfile1-dev) are needed")
    endif()
    set(FLANKGUARD_PLATFORM_LIBS ${FLANKGUARD_ALSA_LIB} ${FLANKGUARD_SNDFILE_LIB})
    target_include_directories(flankguard_platform PRIVATE ${FLANKGUARD_ALSA_INCLUDE} ${FLANKGUARD_SNDFILE_INCLUDE})
  endif()
  list(APPEND FLANKGUARD_PLATFORM_LIBS X11)  # Xlib: finding the simulator's window
endif()
