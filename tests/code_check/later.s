# One instruction of each processor after the 386, each in a function of its own.
.text
i486:            bswap %eax;           pentium:        cpuid;       pentium_cr4: mov %cr4,%eax
pentium_mmx:     paddb %mm1,%mm0;      pentium_pro:    cmovne %eax,%ebx
pentium_pro_x87: fcomi %st(1),%st;     pentium_pro_nop: nopl (%eax)
pentium_iii_sse: movaps %xmm1,%xmm0;   pentium_4_sse2: paddq %xmm1,%xmm0
pentium_4_sse3:  fisttpl (%eax);       core_vmx:       vmcall;      nehalem_popcnt: popcnt %eax,%ebx
atom_movbe:      movbe (%eax),%ebx;    sandy_avx:      vaddps %ymm1,%ymm2,%ymm3
haswell_tzcnt:   tzcnt %eax,%ebx;      haswell_rtm:    xbegin haswell_rtm; haswell_xtest: xtest
broadwell_adcx:  adcx %eax,%ebx;       skylake_pku:    wrpkru;      rdpid: rdpid %eax
