// The thunk for the System V x86-64 convention: rbx, rbp and r12-r15 are the callee's to keep.
//   intptr_t rawout_checked_call(const void* function, uintptr_t a, uintptr_t b, uintptr_t c,
//                                uintptr_t d, CallRecord* record)
// rdi = function, rsi..r8 = the arguments, r9 = record: expected at 0, seen at 224, the stack
// pointer before the call at 448 and after it at 456.
        .text
        .globl  rawout_checked_call
        .type   rawout_checked_call, @function
rawout_checked_call:
        .cfi_startproc
        pushq   %rbp
        .cfi_adjust_cfa_offset 8
        .cfi_rel_offset rbp, 0
        pushq   %rbx
        .cfi_adjust_cfa_offset 8
        .cfi_rel_offset rbx, 0
        pushq   %r12
        .cfi_adjust_cfa_offset 8
        .cfi_rel_offset r12, 0
        pushq   %r13
        .cfi_adjust_cfa_offset 8
        .cfi_rel_offset r13, 0
        pushq   %r14
        .cfi_adjust_cfa_offset 8
        .cfi_rel_offset r14, 0
        pushq   %r15
        .cfi_adjust_cfa_offset 8
        .cfi_rel_offset r15, 0
        // The record, kept where the call cannot reach it; the stack is 16-byte aligned now.
        pushq   %r9
        .cfi_adjust_cfa_offset 8
        movq    %rdi, %rax
        movq    %rsp, 448(%r9)
        movq    0(%r9), %rbx
        movq    8(%r9), %rbp
        movq    16(%r9), %r12
        movq    24(%r9), %r13
        movq    32(%r9), %r14
        movq    40(%r9), %r15
        movq    %rsi, %rdi
        movq    %rdx, %rsi
        movq    %rcx, %rdx
        movq    %r8, %rcx
        callq   *%rax
        movq    (%rsp), %r9
        movq    %rsp, 456(%r9)
        movq    %rbx, 224(%r9)
        movq    %rbp, 232(%r9)
        movq    %r12, 240(%r9)
        movq    %r13, 248(%r9)
        movq    %r14, 256(%r9)
        movq    %r15, 264(%r9)
        popq    %r9
        .cfi_adjust_cfa_offset -8
        popq    %r15
        .cfi_adjust_cfa_offset -8
        .cfi_restore r15
        popq    %r14
        .cfi_adjust_cfa_offset -8
        .cfi_restore r14
        popq    %r13
        .cfi_adjust_cfa_offset -8
        .cfi_restore r13
        popq    %r12
        .cfi_adjust_cfa_offset -8
        .cfi_restore r12
        popq    %rbx
        .cfi_adjust_cfa_offset -8
        .cfi_restore rbx
        popq    %rbp
        .cfi_adjust_cfa_offset -8
        .cfi_restore rbp
        retq
        .cfi_endproc
        .size   rawout_checked_call, .-rawout_checked_call

        .section .rodata
        .globl  rawout_checked_call_registers
        .type   rawout_checked_call_registers, @object
rawout_checked_call_registers:
        .asciz  "rbx rbp r12 r13 r14 r15"
        .size   rawout_checked_call_registers, .-rawout_checked_call_registers

        .section .note.GNU-stack, "", @progbits
