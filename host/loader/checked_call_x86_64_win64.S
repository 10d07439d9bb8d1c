// The thunk for the Windows x64 convention: rbx, rbp, rdi, rsi, r12-r15 and xmm6-xmm15 are the
// callee's to keep, and the caller leaves it 32 bytes of shadow space.
//   intptr_t rawout_checked_call(const void* function, uintptr_t a, uintptr_t b, uintptr_t c,
//                                uintptr_t d, CallRecord* record)
// rcx = function, rdx, r8, r9 = a, b, c; d and record on the stack. The record: expected at 0,
// seen at 224 (xmm registers two slots each, from slot 8), the stack pointer at 448 and 456.
// The frame below the eight pushes: shadow space at 0, the record at 32, xmm6-xmm15 at 48.
        .text
        .globl  rawout_checked_call
        .def    rawout_checked_call; .scl 2; .type 32; .endef
        .seh_proc rawout_checked_call
rawout_checked_call:
        pushq   %rbp
        .seh_pushreg %rbp
        pushq   %rbx
        .seh_pushreg %rbx
        pushq   %rdi
        .seh_pushreg %rdi
        pushq   %rsi
        .seh_pushreg %rsi
        pushq   %r12
        .seh_pushreg %r12
        pushq   %r13
        .seh_pushreg %r13
        pushq   %r14
        .seh_pushreg %r14
        pushq   %r15
        .seh_pushreg %r15
        subq    $216, %rsp
        .seh_stackalloc 216
        movups  %xmm6, 48(%rsp)
        .seh_savexmm %xmm6, 48
        movups  %xmm7, 64(%rsp)
        .seh_savexmm %xmm7, 64
        movups  %xmm8, 80(%rsp)
        .seh_savexmm %xmm8, 80
        movups  %xmm9, 96(%rsp)
        .seh_savexmm %xmm9, 96
        movups  %xmm10, 112(%rsp)
        .seh_savexmm %xmm10, 112
        movups  %xmm11, 128(%rsp)
        .seh_savexmm %xmm11, 128
        movups  %xmm12, 144(%rsp)
        .seh_savexmm %xmm12, 144
        movups  %xmm13, 160(%rsp)
        .seh_savexmm %xmm13, 160
        movups  %xmm14, 176(%rsp)
        .seh_savexmm %xmm14, 176
        movups  %xmm15, 192(%rsp)
        .seh_savexmm %xmm15, 192
        .seh_endprologue
        movq    328(%rsp), %r10
        movq    %r10, 32(%rsp)
        movq    %rsp, 448(%r10)
        movq    %rcx, %rax
        movq    %rdx, %rcx
        movq    %r8, %rdx
        movq    %r9, %r8
        movq    320(%rsp), %r9
        movq    0(%r10), %rbx
        movq    8(%r10), %rbp
        movq    16(%r10), %rdi
        movq    24(%r10), %rsi
        movq    32(%r10), %r12
        movq    40(%r10), %r13
        movq    48(%r10), %r14
        movq    56(%r10), %r15
        movups  64(%r10), %xmm6
        movups  80(%r10), %xmm7
        movups  96(%r10), %xmm8
        movups  112(%r10), %xmm9
        movups  128(%r10), %xmm10
        movups  144(%r10), %xmm11
        movups  160(%r10), %xmm12
        movups  176(%r10), %xmm13
        movups  192(%r10), %xmm14
        movups  208(%r10), %xmm15
        callq   *%rax
        movq    32(%rsp), %r10
        movq    %rsp, 456(%r10)
        movq    %rbx, 224(%r10)
        movq    %rbp, 232(%r10)
        movq    %rdi, 240(%r10)
        movq    %rsi, 248(%r10)
        movq    %r12, 256(%r10)
        movq    %r13, 264(%r10)
        movq    %r14, 272(%r10)
        movq    %r15, 280(%r10)
        movups  %xmm6, 288(%r10)
        movups  %xmm7, 304(%r10)
        movups  %xmm8, 320(%r10)
        movups  %xmm9, 336(%r10)
        movups  %xmm10, 352(%r10)
        movups  %xmm11, 368(%r10)
        movups  %xmm12, 384(%r10)
        movups  %xmm13, 400(%r10)
        movups  %xmm14, 416(%r10)
        movups  %xmm15, 432(%r10)
        movups  48(%rsp), %xmm6
        movups  64(%rsp), %xmm7
        movups  80(%rsp), %xmm8
        movups  96(%rsp), %xmm9
        movups  112(%rsp), %xmm10
        movups  128(%rsp), %xmm11
        movups  144(%rsp), %xmm12
        movups  160(%rsp), %xmm13
        movups  176(%rsp), %xmm14
        movups  192(%rsp), %xmm15
        addq    $216, %rsp
        popq    %r15
        popq    %r14
        popq    %r13
        popq    %r12
        popq    %rsi
        popq    %rdi
        popq    %rbx
        popq    %rbp
        retq
        .seh_endproc

        .section .rdata, "dr"
        .globl  rawout_checked_call_registers
rawout_checked_call_registers:
        .asciz  "rbx rbp rdi rsi r12 r13 r14 r15 xmm6 xmm6 xmm7 xmm7 xmm8 xmm8 xmm9 xmm9 xmm10 xmm10 xmm11 xmm11 xmm12 xmm12 xmm13 xmm13 xmm14 xmm14 xmm15 xmm15"
