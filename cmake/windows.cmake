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

# Version resources: file and product version MAJOR.MINOR.BUILD.0 from the project version (its third
# number is the build number), product name zurpm, a description and the original file name.
enable_language(RC)
set(ZURPM_BUILD_NUMBER ${PROJECT_VERSION_PATCH})
if(ZURPM_BUILD_NUMBER STREQUAL "")
  set(ZURPM_BUILD_NUMBER 0)
endif()
set(ZURPM_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${ZURPM_BUILD_NUMBER}")

# zurpm_version_resource(TARGET DESCRIPTION): the target's file gets its version resource.
function(zurpm_version_resource target description)
  get_target_property(type ${target} TYPE)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  if(type STREQUAL "EXECUTABLE")
    set(ZURPM_RC_FILE_TYPE VFT_APP)
    set(ZURPM_RC_FILE_NAME ${name}.exe)
  else()
    set(ZURPM_RC_FILE_TYPE VFT_DLL)
    set(ZURPM_RC_FILE_NAME ${name}.dll)
  endif()
  set(ZURPM_RC_DESCRIPTION "${description}")
  set(ZURPM_RC_INTERNAL_NAME ${name})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

# The driver for Windows XP hosts: the same sources configured again with the win32 thread model,
# whose runtime imports nothing newer than XP, and built as the driver alone. The package ships it
# and the Windows tests load it under a Windows XP setting.
if(ZURPM_MINGW_THREADS STREQUAL "posix")
  include(ExternalProject)
  set(ZURPM_XP_DIR ${CMAKE_BINARY_DIR}/windows-xp)
  ExternalProject_Add(zurpm_xp
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${ZURPM_XP_DIR}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DZURPM_MINGW_THREADS=win32
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DZURPM_TESTS=OFF -DZURPM_BENCHMARKS=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${ZURPM_XP_DIR} --target zurpm
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${ZURPM_XP_DIR}/src/zurpm.dll
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD OFF)
  set(ZURPM_XP_DLL ${ZURPM_XP_DIR}/src/zurpm.dll)
endif()

