# Checks a shipped program's code after its link, before it is stripped, and fails the
# build, removing the program, when an instruction in it needs more than a 386 running
# the first Windows 95 (naming the function that holds it), or when its link map MAP
# shows a static constructor or destructor, which no start-up code would ever run.
cmake_minimum_required(VERSION 3.25)
get_filename_component(name "${EXE}" NAME)
set(faults "")

# What the 386 lacks, by the processor that brought it (Intel's and AMD's manuals). A
# deny-list, since the words that end .text (the constructor lists) disassemble as
# "(bad)". ud2 (Pentium Pro) is left alone: it is there to fault, and a 386 faults too.
set(denied
  # 486: byte swap, compare-exchange, exchange-add, cache and TLB control
  bswap cmpxchg xadd invd wbinvd invlpg
  # Pentium (cpuid also on late 486s), Pentium with MMX (and %mm below)
  cpuid cmpxchg8b rdtsc rdmsr wrmsr rsm emms
  # Pentium Pro: conditional moves, FPU compares into EFLAGS, counters, the long NOP
  # (0F 1F: nopw, nopl, and nop with an operand below)
  "cmov[a-z]+" "fcmov[a-z]+" fcomi fcomip fcompi fucomi fucomip fucompi rdpmc nopw nopl
  # Pentium II and K6: fast system calls, FPU state save
  sysenter sysexit syscall sysret fxsave fxrstor
  # Pentium III (SSE) and Pentium 4 (SSE2, SSE3) without an %xmm operand
  ldmxcsr stmxcsr sfence lfence mfence clflush "prefetch[a-z0-9]*" movnti maskmovq movntq
  "fisttp[a-z]*" monitor mwait
  # K6-2 (3DNow!)
  femms "pf[a-z0-9]+" pi2fd pi2fw pavgusb pmulhrw pswapd
  # later (K8, Atom, Core i7, Haswell and on): counts (tzcnt is the rep bsf that libgcc
  # uses, a prefix left undefined before), byte-order loads, CRC, BMI, extended state,
  # random numbers, CET
  rdtscp popcnt lzcnt tzcnt movbe crc32 andn bextr "blsi|blsmsk|blsr" bzhi mulx pdep pext
  rorx sarx shlx shrx "xgetbv|xsetbv" "xsave[a-z0-9]*" "xrstor[a-z0-9]*" rdrand rdseed
  "clflushopt|clwb" "vzeroupper|vzeroall" endbr32 endbr64)
list(JOIN denied "|" denied)
# MMX, SSE, AVX and AVX-512 registers (Pentium with MMX and later).
set(deniedRegisters "%[xyz]?mm[0-9]|%k[0-7]")

execute_process(COMMAND "${OBJDUMP}" -d -C -w "${EXE}" OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE "${EXE}")
  message(FATAL_ERROR "${name}: ${OBJDUMP} could not disassemble it")
endif()
# "<address> <symbol>:" opens each function, "  <address>:\t<bytes>\t<instruction>"
# follows; the instruction ends before a "<symbol+offset>" or "#" note.
string(REPLACE "\n" ";" lines "${dump}")
set(function "")
set(found "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-f]+ <(.*)>:$")
    set(function "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^ *([0-9a-f]+):\t[^\t]*\t([^<#]*)")
    set(address "${CMAKE_MATCH_1}")
    string(REGEX REPLACE " +$" "" instruction "${CMAKE_MATCH_2}")
    if(instruction MATCHES "(^| )(${denied})[bwlq]?( |$)" OR instruction MATCHES "(^| )nop +[^ ]"
       OR instruction MATCHES "${deniedRegisters}")
      list(APPEND found "  ${function}: ${address}: ${instruction}")
    endif()
  endif()
endforeach()
if(found)
  list(JOIN found "\n  " found)
  list(APPEND faults "holds instructions a 386 with Windows 95 cannot execute:\n  ${found}")
endif()

# Without the C runtime's start-up nothing calls the constructor lists, and the linker
# folds them into .text: the map's input sections show them, with the object each came
# from. (.CRT$X* are the initializer and TLS callback tables of the same start-up.)
file(READ "${MAP}" map)
string(FIND "${map}" "Linker script and memory map" start)
if(start EQUAL -1)
  file(REMOVE "${EXE}")
  message(FATAL_ERROR "${name}: ${MAP} is not a link map this check can read")
endif()
string(SUBSTRING "${map}" ${start} -1 map)
set(lists "\\.ctors?|\\.dtors?|\\.init_array|\\.fini_array|\\.CRT\\$X")
string(REGEX MATCHALL "\n (${lists})[^ \n]*[ \n]+0x[0-9a-f]+ +0x[0-9a-f]+ [^\n]+" sections "${map}")
foreach(section IN LISTS sections)
  string(REGEX REPLACE "^\n ([^ \n]+)[ \n]+0x[0-9a-f]+ +0x([0-9a-f]+) (.+)$" "\\2;\\1 of \\3" section "${section}")
  list(POP_FRONT section size)
  if(NOT size MATCHES "^0+$")
    list(APPEND faults "has a static constructor or destructor that would never run: ${section}")
  endif()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  file(REMOVE "${EXE}")
  message(FATAL_ERROR "${name}:\n  ${text}\n(link map: ${MAP})")
endif()
