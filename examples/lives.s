; lives.s - a player's name of eight random letters, then the lives left.
; It has a bug to find by stepping backwards: see "Steps backwards" in the
; manual (the lives byte holds a letter: it prints no 3).
;
; Build: sdk/build.sh examples/lives.bin examples/lives.s   (or scripts/build-examples.sh)
; Run:   build/emu6502 --deterministic --monitor examples/lives.bin
        .include "emu6502.inc"

        .code
start:  lda #3
        sta lives
        ldx #0
name_loop:
        lda RANDOM              ; a letter from a to p
        and #15
        clc
        adc #'a'
        sta name,x
        inx
        cpx #9
        bne name_loop
show:   lda lives
        clc
        adc #'0'
        sta CON_OUT
        END_RUN

        .bss
name:   .res 8
lives:  .res 1
