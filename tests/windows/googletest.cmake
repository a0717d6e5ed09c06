# GoogleTest for a Windows build that has none installed, compiled from its
# sources: by default the ones that Debian's googletest package ships, for
# the cross build; natively, point FLANKGUARD_GTEST_SOURCE at a checkout.
set(FLANKGUARD_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for a Windows build")
if(NOT EXISTS ${FLANKGUARD_GTEST_SOURCE}/googletest/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${FLANKGUARD_GTEST_SOURCE} (Debian: googletest)")
endif()

set(BUILD_GMOCK OFF)
set(INSTALL_GTEST OFF)
# MSVC: the same C runtime DLL as the rest of the build.
set(gtest_force_shared_crt ON)
# GoogleTest is not ours: it builds with its own flags, not with the
# project's warnings-as-errors.
get_directory_property(flankguard_saved_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
add_subdirectory(${FLANKGUARD_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${flankguard_saved_options}")

foreach(lib gtest gtest_main)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()
