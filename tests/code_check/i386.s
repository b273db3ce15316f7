# 386 and 387 code of the forms the compiler emits; the assembler vouches for it.
.arch i386
.arch .387
.text
integer: push %ebp; mov %esp,%ebp; movzbl (%eax),%ecx; movsbl %cl,%edx; lea 4(%eax,%ecx,4),%esi; cltd
  imul $3,%eax,%ebx; idivl 8(%ebp); shld $3,%eax,%edx; sete %al; bt %eax,%ecx; ja integer; movl $1,%fs:0
  lock incl (%eax); xchg %ax,%ax; nop; call *%eax; leave; ret $4; rep movsb; rep stosl; repz cmpsb
x87: flds (%eax); fldt (%eax); fildll (%eax); fistpll (%eax); fnstcw (%eax); fldcw (%eax); faddp; fsubrp
  fmul %st(1),%st; fxch %st(2); fucompp; fnstsw %ax; sahf; fprem1; fsincos; fstpt (%eax); fchs; fwait
# ud2, gas's 386 padding (lea 0x0(%esi,%eiz,1),%esi), a constructor list's first word
padding: ud2; .byte 0x8d,0x74,0x26,0x00; .long -1, 0
