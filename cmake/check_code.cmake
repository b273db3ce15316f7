# Checks a shipped program's code after its link, before it is stripped, and fails the
# build, removing the program, when an instruction in it is not one a 386 with a 387
# executes (naming the function that holds it), or when its link map MAP shows a static
# constructor or destructor, which no start-up code would ever run. MAP is required,
# so that a caller cannot lose the constructor check by leaving it out; CODE_ONLY=ON
# checks the code alone, as the check's own test does on an object, which has no map.
cmake_minimum_required(VERSION 3.25)
get_filename_component(name "${EXE}" NAME)
if(NOT MAP AND NOT CODE_ONLY)
  file(REMOVE "${EXE}")
  message(FATAL_ERROR "${name}: check_code.cmake needs its link map (-DMAP=<file>), or "
    "-DCODE_ONLY=ON to check the code alone")
endif()
set(faults "")

# What a 386 with a 387 executes, as objdump prints it in AT&T syntax (from the 386's
# and the 387's own manuals). An allow-list: an instruction of any later processor, or
# one this list has never heard of, fails, however new. Integer mnemonics may carry a
# size suffix (b, w, l); the x87 ones are spelt out with theirs. (CMake's regular
# expressions take at most nine groups.)
set(integer
  mov "movs[bw][wl]" "movz[bw][wl]" lea xchg xlat push pusha pushf pop popa popf lahf sahf
  cbtw cwtl cwtd cltd lds les lfs lgs lss in out
  add adc sub sbb cmp inc dec neg mul imul div idiv and or xor not test
  daa das aaa aas aam aad rol ror rcl rcr shl sal shr sar shld shrd bt bts btr btc bsf bsr
  "(j|set)(n?[ospe]|b|ae|be|a|l|ge|le|g)" jmp ljmp call lcall ret lret iret enter leave
  int int3 into bound jcxz jecxz loop loope loopne clc stc cmc cld std cli sti wait
  hlt arpl lar lsl lgdt sgdt lidt sidt lldt sldt ltr str lmsw smsw clts verr verw)
set(strings movs cmps scas lods stos ins outs)
# The 387 added fucom*, fprem1, fsin, fcos and fsincos to the 287's set; fcomi, fucomi
# and fcmov* came with the Pentium Pro, fisttp with SSE3.
set(x87
  "fld[slt]?" "fstp?[slt]?" "fild[sl]" "fistp?[sl]" fildll fistpll fbld fbstp fxch
  "fadd[slp]?" "fsubr?[slp]?" "fmul[slp]?" "fdivr?[slp]?" "fiadd[sl]" "fisubr?[sl]" "fimul[sl]"
  "fidivr?[sl]" "ficomp?[sl]" "fcomp?[sl]?" fcompp "fucomp?p?" ftst fxam
  fld1 fldz fldpi fldl2e fldl2t fldlg2 fldln2 fldcw "fn?stcw" "fn?stsw" "fn?clex" "fn?init"
  "fn?saves?" "fn?stenvs?" "frstors?" "fldenvs?" ffree fincstp fdecstp fnop fwait
  f2xm1 fyl2x fyl2xp1 fptan fpatan fxtract fprem fprem1 fsqrt fsincos fsin fcos frndint
  fscale fabs fchs)
list(JOIN integer "|" integer)
list(JOIN strings "|" strings)
list(JOIN x87 "|" x87)
# ud2 (Pentium Pro) is there to fault, and a 386 faults on it too. nop is allowed
# without an operand only: with one it is the long NOP (0F 1F) of the Pentium Pro.
set(allowed "(${integer}|${strings})[bwl]?|${x87}|ud2|nop")
# Prefixes as objdump shows them; rep only before a string instruction (before others
# a 386 leaves it undefined, and later processors read F3 0F as other instructions),
# lock only before the instructions a 386 locks.
set(prefixes "data16|addr16|[c-gs]s|rep|repz|repnz|lock")
set(lockable "(add|adc|and|btc|btr|bts|dec|inc|neg|not|or|sbb|sub|xor|xchg)[bwl]?")
# The 386's general, segment and x87 registers, the control and debug registers it has,
# and %eiz, objdump's name for a SIB byte without an index (gas pads 386 code with
# lea 0x0(%esi,%eiz,1),%esi). Nothing else: no %cr4, no %mm, %xmm, %ymm, %zmm, %k.
set(registers "e?[abcd]x|[abcd][lh]|e?(si|di|sp|bp)|eiz|[c-gs]s|st(\\([0-7]\\))?|cr[023]|db[0-367]")

execute_process(COMMAND "${OBJDUMP}" -d -C -w "${EXE}" OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE "${EXE}")
  message(FATAL_ERROR "${name}: ${OBJDUMP} could not disassemble it")
endif()
# "<address> <symbol>:" opens each function, "  <address>:\t<bytes>\t<instruction>"
# follows; the instruction ends before a "<symbol+offset>" or "#" note. Its words are
# the prefixes, the mnemonic and one word of operands.
string(REPLACE "\n" ";" lines "${dump}")
set(function "")
set(found "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-f]+ <(.*)>:$")
    set(function "${CMAKE_MATCH_1}")
    continue()
  elseif(NOT line MATCHES "^ *([0-9a-f]+):\t[^\t]*\t([^<#]*)")
    continue()
  endif()
  set(address "${CMAKE_MATCH_1}")
  string(REGEX REPLACE " +$" "" instruction "${CMAKE_MATCH_2}")
  # Bytes objdump cannot decode: the words that end .text (the constructor lists), and
  # those cut short by the end of a section. Any instruction newer than this objdump
  # (binutils 2.40) passes so too, unseen by the allow-list, which cannot catch it.
  if(instruction MATCHES "\\(bad\\)$|^\\.byte ")
    continue()
  endif()
  if(NOT instruction MATCHES "^(((${prefixes}) )*)([^ ]+) *([^ ]*)$")
    list(APPEND found "  ${function}: ${address}: ${instruction}")
    continue()
  endif()
  set(used "${CMAKE_MATCH_1}")
  set(mnemonic "${CMAKE_MATCH_4}")
  set(operands "${CMAKE_MATCH_5}")
  # A few dozen mnemonics make up the thousands of lines: each is judged once, in an
  # if() of its own, since if() evaluates every MATCHES of its condition.
  if(NOT DEFINED "allowed ${used}${mnemonic}")
    if(mnemonic MATCHES "^(${allowed})$"
       AND (NOT used MATCHES "rep" OR mnemonic MATCHES "^(${strings})[bwl]?$")
       AND (NOT used MATCHES "lock" OR mnemonic MATCHES "^${lockable}$"))
      set("allowed ${used}${mnemonic}" TRUE)
    endif()
  endif()
  string(REGEX REPLACE "%(${registers})" "@" rest "${operands}")
  if(NOT DEFINED "allowed ${used}${mnemonic}" OR (mnemonic STREQUAL "nop" AND operands)
     OR rest MATCHES "%|@[a-z0-9(]")
    list(APPEND found "  ${function}: ${address}: ${instruction}")
  endif()
endforeach()
if(found)
  list(JOIN found "\n  " found)
  list(APPEND faults "holds instructions a 386 with a 387 cannot execute:\n  ${found}")
endif()

# Without the C runtime's start-up nothing calls the constructor lists, and the linker
# folds them into .text: the map's input sections show them, with the object each came
# from. (.CRT$X* are the initializer and TLS callback tables of the same start-up.)
if(MAP)
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
endif()

if(faults)
  list(JOIN faults "\n  " text)
  file(REMOVE "${EXE}")
  if(MAP)
    string(APPEND text "\n(link map: ${MAP})")
  endif()
  message(FATAL_ERROR "${name}:\n  ${text}")
endif()
