# Prints a stripped program's size and the DLLs and functions it imports after each
# link, and fails the build, removing the program, when it outgrows LIMIT bytes,
# imports a DLL outside DLLS (comma-separated), imports a function that
# first_windows_exports.cmake does not list as exported by both Windows 95 and
# Windows NT 4, shows an import line this script cannot read (an import by ordinal
# among them), or has a TLS directory or a .tls section, which nothing without the C
# runtime would set up.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/first_windows_exports.cmake)
file(SIZE "${EXE}" size)
get_filename_component(name "${EXE}" NAME)
execute_process(COMMAND "${OBJDUMP}" -p -h "${EXE}" OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${name}: ${OBJDUMP} could not read it")
endif()
string(REPLACE "," ";" allowed "${DLLS}")
string(TOUPPER "${allowed}" allowed)
string(REPLACE ";" ", " allowedShown "${allowed}")
set(faults "")

# Thread-local data and its callbacks need start-up code these programs do not have.
if(NOT dump MATCHES "\nEntry 9 0+ 0+ Thread Storage Directory")
  list(APPEND faults "has a TLS directory")
endif()
if(dump MATCHES "\n +[0-9]+ \\.tls")
  list(APPEND faults "has a .tls section")
endif()

# Between "The Import Tables" and the dump's next part, objdump lists each DLL's entry,
# then "DLL Name: X", a heading and one "<vma> <hint> <function>" line per function,
# up to a blank line. Any other line there (an import by ordinal shows as "<none>") is
# an import this check would not see, so it fails the build.
set(headings "^ vma: +Hint +Time +Forward +DLL +First$|^ +Table +Stamp +Chain +Name +Thunk$"
  "^ [0-9a-f]+\t[0-9a-f]+( [0-9a-f]+)+$|^\tvma: +Hint/Ord Member-Name Bound-To$")
list(JOIN headings "|" headings)
string(REPLACE "\n" ";" lines "${dump}")
set(inTables FALSE)
set(dll "")
set(dlls "")
set(count 0)
foreach(line IN LISTS lines)
  if(line MATCHES "^The Import Tables ")
    set(inTables TRUE)
  elseif(NOT inTables)
    # the rest of the dump
  elseif(line STREQUAL "")
    set(dll "")
  elseif(line MATCHES "^[^ \t]")
    set(inTables FALSE)
  elseif(line MATCHES "^\tDLL Name: (.+)$")
    string(TOUPPER "${CMAKE_MATCH_1}" dll)
    list(APPEND dlls ${dll})
    if(NOT dll IN_LIST allowed)
      list(APPEND faults "imports ${dll}, which is not one of ${allowedShown}")
    endif()
  elseif(dll AND line MATCHES "^\t[0-9a-f]+\t +[0-9]+  ([A-Za-z_0-9]+)$")
    math(EXPR count "${count} + 1")
    string(REPLACE "." "_" table "FIRST_WINDOWS_${dll}")
    if(NOT CMAKE_MATCH_1 IN_LIST ${table})
      list(APPEND faults "imports ${dll} ${CMAKE_MATCH_1}, not known to be in Windows 95 and NT 4")
    endif()
  elseif(NOT line MATCHES "${headings}")
    string(REGEX REPLACE "[\t ]+" " " line "${line}")
    string(STRIP "${line}" line)
    if(dll)
      string(PREPEND line "${dll}: ")
    endif()
    list(APPEND faults "has an import line this check cannot read: ${line}")
  endif()
endforeach()
if(count EQUAL 0)
  list(APPEND faults "imports no function objdump shows")
endif()
string(REPLACE ";" ", " shown "${dlls}")
message(STATUS "${name}: ${size} bytes; imports ${count} functions from ${shown}")
if(size GREATER LIMIT)
  list(APPEND faults "is ${size} bytes, over its budget of ${LIMIT}")
endif()
if(faults)
  list(JOIN faults "\n  " text)
  file(REMOVE "${EXE}")
  message(FATAL_ERROR "${name}:\n  ${text}")
endif()
