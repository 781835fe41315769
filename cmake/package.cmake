# The plant's delivery, built by the cross build: zurpm-<version>-win32.zip with
#   driver/zurpm.dll        the driver (Vista and later)
#   driver-xp/zurpm.dll     the driver built with the win32 thread model, for Windows XP hosts
#   tools/                  zurpm.exe with its own zurpm.dll and the stand-in ORVANT.dll
#   zurPM.int, INSTALL.txt  an example configuration and the install note (Windows line ends)
#   plant.toml              the example plant that zurPM.int starts, for zurpm --emulate (a
#                           rehearsal on a laptop; Windows line ends)
#   cmake --build build/windows --target package
if(NOT TARGET zurpm OR NOT TARGET zurpm_tool)
  return()
endif()

set(ZURPM_PACKAGE_NOTES ${CMAKE_BINARY_DIR}/package)
configure_file(${PROJECT_SOURCE_DIR}/packaging/INSTALL.txt.in ${ZURPM_PACKAGE_NOTES}/INSTALL.txt
               @ONLY NEWLINE_STYLE WIN32)
file(READ ${PROJECT_SOURCE_DIR}/examples/zurPM.int ZURPM_EXAMPLE_INT)
string(REPLACE "\n" "\r\n" ZURPM_EXAMPLE_INT "${ZURPM_EXAMPLE_INT}")
file(WRITE ${ZURPM_PACKAGE_NOTES}/zurPM.int "${ZURPM_EXAMPLE_INT}")
file(READ ${PROJECT_SOURCE_DIR}/examples/plant-two-cards.toml ZURPM_EXAMPLE_PLANT)
string(REPLACE "\n" "\r\n" ZURPM_EXAMPLE_PLANT "${ZURPM_EXAMPLE_PLANT}")
file(WRITE ${ZURPM_PACKAGE_NOTES}/plant.toml "${ZURPM_EXAMPLE_PLANT}")

install(PROGRAMS $<TARGET_FILE:zurpm> DESTINATION driver COMPONENT plant)
install(PROGRAMS $<TARGET_FILE:zurpm_tool> $<TARGET_FILE:zurpm> $<TARGET_FILE:orvant> DESTINATION tools
        COMPONENT plant)
if(ZURPM_XP_DLL)
  install(PROGRAMS ${ZURPM_XP_DLL} DESTINATION driver-xp COMPONENT plant)
endif()
install(FILES ${ZURPM_PACKAGE_NOTES}/INSTALL.txt ${ZURPM_PACKAGE_NOTES}/zurPM.int ${ZURPM_PACKAGE_NOTES}/plant.toml
        DESTINATION .
        COMPONENT plant)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME zurpm)
set(CPACK_PACKAGE_VERSION ${ZURPM_VERSION_TEXT})
set(CPACK_PACKAGE_FILE_NAME zurpm-${ZURPM_VERSION_TEXT}-win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_COMPONENTS_ALL plant)
include(CPack)
