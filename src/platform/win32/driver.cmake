# zurpm.dll: the driver's core on the Windows platform, for the plant's 32-bit hosts.
#
# ZurMain is exported undecorated and __stdcall (--kill-at drops the "@4" the compiler gives it).
# err comes from ORVANT.dll, which the host brings; its import library is made here from a
# module-definition file. libgcc and libstdc++ are linked in, so the DLL needs nothing beside it
# but ORVANT.dll and Windows itself.
set(ZURPM_WIN32_DIR ${CMAKE_CURRENT_LIST_DIR})
file(GLOB ZURPM_WIN32_SOURCES CONFIGURE_DEPENDS ${ZURPM_WIN32_DIR}/*.cpp)

if(NOT CMAKE_DLLTOOL)
  find_program(CMAKE_DLLTOOL NAMES i686-w64-mingw32-dlltool dlltool REQUIRED)
endif()

set(ZURPM_ORVANT_IMPORT ${CMAKE_CURRENT_BINARY_DIR}/liborvant_import.a)
add_custom_command(
  OUTPUT ${ZURPM_ORVANT_IMPORT}
  COMMAND ${CMAKE_DLLTOOL} --input-def ${ZURPM_WIN32_DIR}/orvant_import.def
          --dllname ORVANT.dll --output-lib ${ZURPM_ORVANT_IMPORT}
  DEPENDS ${ZURPM_WIN32_DIR}/orvant_import.def
  COMMENT "Import library for ORVANT.dll"
  VERBATIM)
add_custom_target(zurpm_orvant_import DEPENDS ${ZURPM_ORVANT_IMPORT})

add_library(zurpm SHARED $<TARGET_OBJECTS:zurpm_core> ${ZURPM_WIN32_SOURCES})
set_target_properties(zurpm PROPERTIES OUTPUT_NAME zurpm PREFIX "")
target_include_directories(zurpm PUBLIC ${PROJECT_SOURCE_DIR}/include PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_options(zurpm PRIVATE ${ZURPM_DRIVER_OPTIONS})
add_dependencies(zurpm zurpm_orvant_import)
# winmm: timeBeginPeriod and timeEndPeriod, for 1 ms sleeps while the cards are in service.
target_link_libraries(zurpm PRIVATE ${ZURPM_ORVANT_IMPORT} winmm)
zurpm_version_resource(zurpm "GE Genius PCIM Lan driver (ZurMain)")
target_link_options(zurpm PRIVATE -Wl,--kill-at -Wl,--no-undefined)

# Programs that link the driver statically (the suites on the virtual platform) find ZurMain in
# their own image, not behind a DLL import.
target_compile_definitions(zurpm_virtual INTERFACE ZURPM_BUILDING_DRIVER=1)
