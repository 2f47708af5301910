; pushed.s - greets twice through a routine that saves X on the stack and
; forgets to pull it again: its RTS takes the byte for half of the return
; address. It has a bug for --check to find (see "Checks, coverage and
; profiles" in the README): the run goes wrong silently without it.
;
; Build: sdk/build.sh examples/pushed.bin examples/pushed.s   (or scripts/build-examples.sh)
; Run:   build/emu6502 --check examples/pushed.bin
        .include "emu6502.inc"

        .code
start:  ldx #2                  ; two greetings
again:  jsr greet
        dex
        bne again
        END_RUN

; Prints the greeting; keeps X.
greet:  txa
        pha                     ; X saved...
        ldy #0
@next:  lda text,y
        beq @done
        sta CON_OUT
        iny
        bne @next
@done:  rts                     ; ...and never pulled back: the bug

        .rodata
text:   .byte "Hello!", 10, 0
