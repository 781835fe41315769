# The release package as a plant engineer gets it: made with CPack from the cross build, unpacked
# into an empty folder, its layout checked, and its zurpm.exe run from there under Wine (info;
# check, which reads the folder's own zurPM.int; report, of a run recorded on Linux; and a
# rehearsal on a laptop: demo, and a read of the packaged plant.toml emulated behind the DLL).
#   cmake -DBUILD=<build dir> -DCPACK=<cpack> -DPACKAGE=<zip name without .zip> -DWINE=<a|b|c> -P check_package.cmake
cmake_minimum_required(VERSION 3.20)
string(REPLACE "|" ";" wine "${WINE}")

execute_process(COMMAND ${CPACK} -G ZIP --config ${BUILD}/CPackConfig.cmake -B ${BUILD}
                RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
set(zip ${BUILD}/${PACKAGE}.zip)
if(failed OR NOT EXISTS ${zip})
  message(FATAL_ERROR "cpack did not make ${zip}:\n${out}")
endif()

set(unpacked ${BUILD}/package-test)
file(REMOVE_RECURSE ${unpacked})
file(MAKE_DIRECTORY ${unpacked})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zip} WORKING_DIRECTORY ${unpacked} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${zip} does not unpack")
endif()

file(GLOB_RECURSE files RELATIVE ${unpacked} ${unpacked}/*)
list(SORT files)
set(expected INSTALL.txt driver-xp/zurpm.dll driver/zurpm.dll plant.toml tools/ORVANT.dll tools/zurpm.dll
    tools/zurpm.exe zurPM.int)
if(NOT files STREQUAL expected)
  message(FATAL_ERROR "${zip} holds [${files}]\n  expected [${expected}]")
endif()
# Read as hex: file(READ) drops carriage returns. "BASE=10\r\n1=" and no line end without its \r.
file(READ ${unpacked}/zurPM.int int_file HEX)
string(REGEX MATCHALL "(..)" int_bytes "${int_file}")
string(REPLACE "0d;0a" "" int_crlf_removed "${int_bytes}")
if(NOT int_file MATCHES "^424153453d31300d0a313d" OR int_crlf_removed MATCHES "(^|;)0a(;|$)")
  message(FATAL_ERROR "zurPM.int of the package is not the example with Windows line ends: ${int_file}")
endif()
file(SHA256 ${unpacked}/driver/zurpm.dll driver_sum)
file(SHA256 ${unpacked}/tools/zurpm.dll tools_sum)
if(NOT driver_sum STREQUAL tools_sum)
  message(FATAL_ERROR "tools/zurpm.dll is not the driver of driver/zurpm.dll")
endif()

# Run from the package's own folder, as on the plant PC.
function(run_packaged exit pattern)
  execute_process(COMMAND ${wine} tools/zurpm.exe ${ARGN} WORKING_DIRECTORY ${unpacked}
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL exit OR NOT "${out}${err}" MATCHES "${pattern}")
    message(FATAL_ERROR "tools/zurpm.exe ${ARGN} (exit ${result}, expected ${exit}) printed:\n${out}${err}\n"
                        "expected: ${pattern}")
  endif()
  message(STATUS "tools/zurpm.exe ${ARGN}: ok")
endfunction()
run_packaged(0 "driver +GE Genius PCIM Lan.*library +[^\n]*package-test.tools.zurpm\\.dll" info)
# Base 10 from the package's zurPM.int: nine characters name %R00010 of station 5; a refusal comes
# with the driver's level-8 message.
run_packaged(1 "number base 10.*station 5, memory 8[^\n]*offset 9.*refused \\[8\\] ZURPM Error: The selected PLC type X is not valid"
             check 059R00010 05XR00010)
# The commissioning report of a run recorded on Linux (the example plant, three polls of four gate
# elements), made on Windows.
file(COPY ${CMAKE_CURRENT_LIST_DIR}/example-plant-run.jsonl DESTINATION ${unpacked})
run_packaged(0 "4 gate elements, 3 polls" report example-plant-run.jsonl -o run.html)
file(READ ${unpacked}/run.html page)
string(REGEX MATCHALL "<figure class=\"chart" charts "${page}")
list(LENGTH charts chart_count)
if(NOT chart_count EQUAL 4 OR NOT page MATCHES "data-gate=\"34GD00001\"")
  message(FATAL_ERROR "the report zurpm.exe wrote has ${chart_count} charts, not 4 with one of 34GD00001")
endif()

# A rehearsal as on a laptop without cards: the demo's own plant, and the packaged example plant
# behind the unchanged DLL's own device calls, started by the folder's zurPM.int (base 10).
file(GLOB before ${unpacked}/*)
run_packaged(0 "tank_level  019R0001  -?[0-9]+  ok.*37GD0001  [01]  ok.*plant served as [^\n]*XPORTIO inside zurpm"
             demo --seconds 5)
run_packaged(0 "039R00001  100\r?\n039R00002  200\r?\n039R00003  300\r?\n039R00004  400\r?\n049R00010  -1\r?\n34GD00001  0\r?\n34GD00002  1.*plant.toml emulated as"
             read --emulate plant.toml 039R00001 039R00002::3 049R00010 34GD00001::4)
file(GLOB after ${unpacked}/*)
if(NOT before STREQUAL after)
  message(FATAL_ERROR "the rehearsal changed the package's folder: [${before}] became [${after}]")
endif()
# The plants' temporary folders (zurpm-plant-*, zurpm-demo-*) are gone from Windows' TEMP. A
# folder removed while a handle to it is still open is deleted when that handle closes; Wine's
# server closes the last handles of a program a moment after the program has ended, so the folder
# is given up to 10 s to go (one that was never removed stays).
if(DEFINED ENV{WINEPREFIX})
  foreach(attempt RANGE 100)
    file(GLOB left_behind $ENV{WINEPREFIX}/drive_c/users/*/Temp/zurpm-*
                          $ENV{WINEPREFIX}/drive_c/users/*/AppData/Local/Temp/zurpm-* $ENV{WINEPREFIX}/drive_c/windows/temp/zurpm-*)
    if(NOT left_behind)
      break()
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 0.1)
  endforeach()
  if(left_behind)
    message(FATAL_ERROR "the rehearsal left ${left_behind} behind")
  endif()
  message(STATUS "the rehearsal's temporary folders are gone after ${attempt} waits of 0.1 s")
endif()
message(STATUS "${zip}: ${files}")
