# What a Windows build needs beyond the common tree: GoogleTest built with the cross compiler from
# the sources Debian installs under /usr/src/googletest, since the build host's own libraries are of
# no use to a Windows program.
if(ZURPM_TESTS AND NOT TARGET GTest::gtest_main)
  set(ZURPM_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows build")
  if(NOT EXISTS ${ZURPM_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${ZURPM_GOOGLETEST_SOURCE} (Debian package googletest)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  # Windows threads for GoogleTest's own locks, whatever the compiler's thread model.
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(${ZURPM_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest names its targets GTest::gtest, GTest::gtest_main and so on itself.
  target_sources(gtest PRIVATE ${CMAKE_CURRENT_LIST_DIR}/gtest_quiet_debug_string.cpp)
endif()
