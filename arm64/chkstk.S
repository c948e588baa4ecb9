// The stack probe that clang calls before a frame of more than a page: x15 holds the frame's
// size in 16-byte units. Each page below the stack pointer is touched in order, so that the
// guard page grows the stack one page at a time. Changes only x16 and x17, as callers expect.
    .text
    .p2align 2
    .globl __chkstk
__chkstk:
    lsl     x16, x15, #4
    mov     x17, sp
1:
    sub     x17, x17, #4096
    subs    x16, x16, #4096
    ldr     xzr, [x17]
    b.gt    1b
    ret
