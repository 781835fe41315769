# Reads the import and export tables of the built zurpm.dll with the mingw objdump and checks what a
# plant relies on: a 32-bit DLL that exports ZurMain under that name alone, imports err by name
# from ORVANT.dll, and needs no DLL but ORVANT.dll and Windows' own (libgcc and libstdc++ inside).
#   cmake -DOBJDUMP=<objdump> -DDLL=<zurpm.dll> -P check_dll_tables.cmake
cmake_minimum_required(VERSION 3.20)
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed")
endif()

set(problems "")

if(NOT dump MATCHES "file format pei-i386")
  string(APPEND problems "  not a 32-bit (pei-i386) image\n")
endif()

# Exports: the [Ordinal/Name Pointer] table lists one "[ n] name" line per exported name.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)*" export_table "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" export_lines "${export_table}")
set(exports "")
foreach(line IN LISTS export_lines)
  string(REGEX REPLACE "^\\[ *[0-9]+\\] " "" name "${line}")
  list(APPEND exports "${name}")
endforeach()
if(NOT exports STREQUAL "ZurMain")
  string(APPEND problems "  exported names are [${exports}], expected exactly [ZurMain]\n")
endif()

# Imports: each "DLL Name:" line opens the list of that DLL's imported names.
set(allowed_dlls kernel32.dll msvcrt.dll orvant.dll user32.dll advapi32.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" dll_lines "${dump}")
set(dlls "")
foreach(line IN LISTS dll_lines)
  string(REGEX REPLACE "^DLL Name: " "" dll "${line}")
  list(APPEND dlls "${dll}")
  string(TOLOWER "${dll}" lower)
  if(NOT lower IN_LIST allowed_dlls)
    string(APPEND problems "  imports from ${dll}, which a plant does not have\n")
  endif()
endforeach()
if(NOT "ORVANT.dll" IN_LIST dlls)
  string(APPEND problems "  no import from ORVANT.dll (imports: ${dlls})\n")
else()
  # The names imported from ORVANT.dll: rows "<vma> <hint> <name>" up to the next blank line.
  string(REGEX MATCH "DLL Name: ORVANT\\.dll\n[^\n]*\n(([^\n]+)\n)*" orvant_block "${dump}")
  string(REGEX MATCHALL "\n\t[0-9a-f]+\t +[0-9]+  [^\n]+" rows "${orvant_block}")
  set(orvant_names "")
  foreach(row IN LISTS rows)
    string(REGEX REPLACE "^\n\t[0-9a-f]+\t +[0-9]+  " "" name "${row}")
    string(STRIP "${name}" name)
    list(APPEND orvant_names "${name}")
  endforeach()
  if(NOT orvant_names STREQUAL "err")
    string(APPEND problems "  names imported from ORVANT.dll are [${orvant_names}], expected exactly [err] by name\n")
  endif()
endif()

if(problems)
  message(FATAL_ERROR "${DLL}:\n${problems}")
endif()
message(STATUS "${DLL}: exports [${exports}], imports from [${dlls}]")
