# zoppel_shipped_program(TARGET NAME ENTRY): the settings every program that ships with
# the game shares. It is named NAME.EXE in the build folder; it is built without
# exceptions or RTTI; it starts at ENTRY without the C runtime's start-up and needs no
# DLL beyond the system's (the system C runtime at most); it is stripped. After each
# link its size and imports are printed, and the build fails past 24 KiB: these
# programs travel with every copy of the game.
function(zoppel_shipped_program target name entry)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} SUFFIX .EXE
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
  target_link_options(${target} PRIVATE -nostartfiles -Wl,-e,_${entry} -static-libgcc -static-libstdc++
    -s -Wl,--gc-sections)
  if(ZOPPEL_OBJDUMP)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:${target}> -DOBJDUMP=${ZOPPEL_OBJDUMP} -DLIMIT=24576
              -P ${PROJECT_SOURCE_DIR}/cmake/report_exe.cmake
      VERBATIM)
  endif()
endfunction()
