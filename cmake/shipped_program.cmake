# zoppel_shipped_program(TARGET NAME ENTRY LIMIT DLL...): the settings every program
# that ships with the game shares. It is named NAME.EXE in the build folder; its
# sources are built for a 386 (ZOPPEL_SHIPPED_CPU, as the libraries it links are) and
# without exceptions or RTTI; it starts at ENTRY without the C runtime's start-up and
# links no C runtime (platform/win32/c_functions.c has the few functions it needs),
# with libgcc last on its link line; it is stripped and carries no time stamp, so that
# two builds of one commit are the same bytes. After each link, before the strip, the
# build fails when its code holds an instruction a 386 with Windows 95 cannot execute
# or a static constructor or destructor (check_code.cmake, with the link map NAME.map
# in the calling directory's build folder). Then its size and imports are printed, and
# the build fails when it outgrows LIMIT bytes, imports a DLL that is not among the
# DLLs named, imports a function not known to be exported by Windows 95 and NT 4,
# shows an import the check cannot read, or has thread-local storage
# (report_exe.cmake). A failing check removes the program.
function(zoppel_shipped_program target name entry limit)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} SUFFIX .EXE
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>
    ${ZOPPEL_SHIPPED_CPU})
  set(map ${CMAKE_CURRENT_BINARY_DIR}/${name}.map)
  target_link_options(${target} PRIVATE -nostdlib -Wl,-e,_${entry} -Wl,--gc-sections
    -Wl,--no-insert-timestamp -Wl,-Map=${map})
  target_link_libraries(${target} PRIVATE zoppel_c_functions)
  # libgcc's helpers (64-bit division, the stack probe) may be called from any library
  # the program links, so -lgcc ends the link line: the calling directory's standard
  # libraries come after all the libraries a program names, in whatever order.
  foreach(lang C CXX)
    if(NOT CMAKE_${lang}_STANDARD_LIBRARIES MATCHES "(^| )-lgcc$")
      set(CMAKE_${lang}_STANDARD_LIBRARIES "${CMAKE_${lang}_STANDARD_LIBRARIES} -lgcc" PARENT_SCOPE)
    endif()
  endforeach()
  # The code is checked with its symbols, so that a fault names its function; strip
  # then gives the bytes ld -s would (SOURCE_DATE_EPOCH=0: no time stamp). A changed
  # check links the program again, so that it is run.
  string(REPLACE ";" "," dlls "${ARGN}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/check_code.cmake
    ${PROJECT_SOURCE_DIR}/cmake/report_exe.cmake ${PROJECT_SOURCE_DIR}/cmake/first_windows_exports.cmake)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:${target}> -DMAP=${map} -DOBJDUMP=${ZOPPEL_OBJDUMP}
            -P ${PROJECT_SOURCE_DIR}/cmake/check_code.cmake
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${ZOPPEL_STRIP} --strip-all $<TARGET_FILE:${target}>
    COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:${target}> -DOBJDUMP=${ZOPPEL_OBJDUMP} -DLIMIT=${limit}
            -DDLLS=${dlls} -P ${PROJECT_SOURCE_DIR}/cmake/report_exe.cmake
    VERBATIM)
endfunction()

# zoppel_program_resources(TARGET RC NAME DESCRIPTION LEVEL [DEPENDS...]): links in the
# program's resource script RC, which includes resources/version.rc and the program's
# manifest as "program.manifest", made from resources/program.manifest.in with the
# program's identity NAME, its DESCRIPTION and its requested execution LEVEL. RC is
# rebuilt when those or DEPENDS change.
function(zoppel_program_resources target rc name description level)
  set(MANIFEST_NAME ${name})
  set(MANIFEST_DESCRIPTION ${description})
  set(MANIFEST_LEVEL ${level})
  set(manifest ${CMAKE_CURRENT_BINARY_DIR}/program.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/resources/program.manifest.in ${manifest} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES
    OBJECT_DEPENDS "${manifest};${PROJECT_SOURCE_DIR}/resources/version.rc;${ARGN}")
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR} ${PROJECT_SOURCE_DIR}/resources)
endfunction()
