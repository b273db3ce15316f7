# Prints a program's size and the DLLs it imports after each link, and fails the build
# when the program outgrows LIMIT bytes.
file(SIZE "${EXE}" size)
execute_process(COMMAND "${OBJDUMP}" -p "${EXE}" OUTPUT_VARIABLE dump)
string(REGEX MATCHALL "DLL Name: [^\n]+" dlls "${dump}")
string(REPLACE "DLL Name: " "" dlls "${dlls}")
get_filename_component(name "${EXE}" NAME)
message(STATUS "${name}: ${size} bytes; imports ${dlls}")
if(LIMIT AND size GREATER LIMIT)
  message(FATAL_ERROR "${name} is ${size} bytes, over its budget of ${LIMIT}")
endif()
