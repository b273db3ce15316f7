# zoppel_shipped_program(TARGET NAME ENTRY LIMIT DLL...): the settings every program
# that ships with the game shares. It is named NAME.EXE in the build folder; it is
# built without exceptions or RTTI; it starts at ENTRY without the C runtime's
# start-up and links no C runtime (platform/win32/c_functions.c has the few functions
# it needs); it is stripped and carries no time stamp, so that two builds of one
# commit are the same bytes. After each link its size and imports are printed, and
# the build fails when it outgrows LIMIT bytes, imports a DLL that is not among the
# DLLs named, or imports a function not known to be exported by Windows 95 and NT 4.
function(zoppel_shipped_program target name entry limit)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} SUFFIX .EXE
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
  target_link_options(${target} PRIVATE -nostdlib -Wl,-e,_${entry} -s -Wl,--gc-sections
    -Wl,--no-insert-timestamp)
  target_link_libraries(${target} PRIVATE zoppel_c_functions gcc)
  string(REPLACE ";" "," dlls "${ARGN}")
  add_custom_command(TARGET ${target} POST_BUILD
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
