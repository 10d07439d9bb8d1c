// The thunk for the 32-bit cdecl convention: ebx, esi, edi and ebp are the callee's to keep, and
// the caller takes its arguments off the stack. A stdcall function takes them off itself, so the
// stack pointer may come back moved: the thunk finds its own frame again by a marker it left below
// the arguments, the address of that frame XOR a constant.
//   intptr_t rawout_checked_call(const void* function, uintptr_t a, uintptr_t b, uintptr_t c,
//                                uintptr_t d, CallRecord* record)
// All on the stack. The record: expected at 0, seen at 224 (a 64-bit slot a register, in the
// order ebx, esi, edi, ebp), the stack pointer at 448 and 456.
        .set    MARK, 0x5AFEC0DE
        .text
        .globl  _rawout_checked_call
        .def    _rawout_checked_call; .scl 2; .type 32; .endef
_rawout_checked_call:
        pushl   %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        // E, the stack pointer once the marker and the four arguments are pushed, is 20 below.
        movl    %esp, %eax
        subl    $20, %eax
        xorl    $MARK, %eax
        pushl   %eax
        pushl   40(%esp)
        pushl   40(%esp)
        pushl   40(%esp)
        pushl   40(%esp)
        movl    60(%esp), %ecx
        movl    %esp, 448(%ecx)
        movl    40(%esp), %eax
        movl    0(%ecx), %ebx
        movl    8(%ecx), %esi
        movl    16(%ecx), %edi
        movl    24(%ecx), %ebp
        call    *%eax
        // What the callee left, kept below wherever the stack pointer came back.
        pushl   %ebp
        pushl   %edi
        pushl   %esi
        pushl   %ebx
        leal    16(%esp), %ecx
        movl    %ecx, %edx
1:      movl    %edx, %ebx
        xorl    $MARK, %ebx
        cmpl    16(%edx), %ebx
        je      2f
        subl    $4, %edx
        movl    %ecx, %ebx
        subl    %edx, %ebx
        cmpl    $64, %ebx
        jbe     1b
        // The frame cannot be found again: nothing can go on safely.
        ud2
2:      movl    60(%edx), %ebx
        movl    %ecx, 456(%ebx)
        movl    0(%esp), %ecx
        movl    %ecx, 224(%ebx)
        movl    4(%esp), %ecx
        movl    %ecx, 232(%ebx)
        movl    8(%esp), %ecx
        movl    %ecx, 240(%ebx)
        movl    12(%esp), %ecx
        movl    %ecx, 248(%ebx)
        movl    %edx, %esp
        addl    $20, %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

        .section .rdata, "dr"
        .globl  _rawout_checked_call_registers
_rawout_checked_call_registers:
        .asciz  "ebx esi edi ebp"
