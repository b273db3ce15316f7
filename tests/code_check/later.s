# One instruction of each processor after the 386, each in a function of its own, then
# prefixes a 386 does not allow there (as bytes: gas refuses them) and the long NOP
# with a register, which objdump spells as plain nop.
.text
i486:            bswap %eax;           pentium:        cpuid;       pentium_cr4: mov %cr4,%eax
pentium_mmx:     paddb %mm1,%mm0;      pentium_pro:    cmovne %eax,%ebx
pentium_pro_x87: fcomi %st(1),%st;     pentium_pro_nop: nopl (%eax)
pentium_iii_sse: movaps %xmm1,%xmm0;   pentium_4_sse2: paddq %xmm1,%xmm0
pentium_4_sse3:  fisttpl (%eax);       core_vmx:       vmcall;      nehalem_popcnt: popcnt %eax,%ebx
atom_movbe:      movbe (%eax),%ebx;    sandy_avx:      vaddps %ymm1,%ymm2,%ymm3
haswell_tzcnt:   tzcnt %eax,%ebx;      haswell_rtm:    xbegin haswell_rtm; haswell_xtest: xtest
broadwell_adcx:  adcx %eax,%ebx;       skylake_pku:    wrpkru;      rdpid: rdpid %eax
pentium_pro_nop_reg: .byte 0x0f,0x1f,0xc0  # nop %eax
lock_mov:        .byte 0xf0,0x89,0x03  # lock mov %eax,(%ebx)
rep_add:         .byte 0xf3,0x01,0xc3  # repz add %eax,%ebx
