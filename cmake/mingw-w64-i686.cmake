# Cross build for the plant's 32-bit Windows hosts with Debian's mingw-w64 i686 compilers
# (package g++-mingw-w64-i686). Produces zurpm.dll and the Windows test programs, which ctest runs
# under Wine in a private prefix inside the build folder.
#
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(ZURPM_MINGW_TRIPLET i686-w64-mingw32)
# The compilers' thread model. posix (the default) has the whole C++ thread library, which the
# tests need; its runtime (winpthread) imports GetTickCount64, so the DLL wants Vista or later.
# win32 builds a zurpm.dll that also loads on Windows XP, without the tests:
#   -DZURPM_MINGW_THREADS=win32 -DZURPM_TESTS=OFF
# Either way the runtime is linked statically below: no mingw DLL travels with the programs.
if(NOT ZURPM_MINGW_THREADS)
  set(ZURPM_MINGW_THREADS posix)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZURPM_MINGW_THREADS)
set(CMAKE_C_COMPILER ${ZURPM_MINGW_TRIPLET}-gcc-${ZURPM_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${ZURPM_MINGW_TRIPLET}-g++-${ZURPM_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${ZURPM_MINGW_TRIPLET}-windres)
set(CMAKE_DLLTOOL ${ZURPM_MINGW_TRIPLET}-dlltool)
set(CMAKE_OBJDUMP ${ZURPM_MINGW_TRIPLET}-objdump)

# Libraries and headers come from the cross tree only; programs (wine, objdump) from the build host.
set(CMAKE_FIND_ROOT_PATH /usr/${ZURPM_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go inside each DLL and program: a plant gets zurpm.dll alone.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Windows programs of the build run under Wine, in a prefix of this build folder only, through
# tests/windows/wine_run.sh: quiet, without offering to install Mono or Gecko, and with Wine's
# debugger on, so that a crash leaves its backtrace in the test's output.
set(ZURPM_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix for the Windows test runs")
set(CMAKE_CROSSCOMPILING_EMULATOR
    env WINEPREFIX=${ZURPM_WINEPREFIX} ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine_run.sh)
