; clock.s - clock() for <time.h>: the timer's ticks (every 10 ms, so
; CLOCKS_PER_SEC is 100) since the program started.  Linking it turns the
; timer interrupt on (see irq.s).

        .export         _clock
        .interruptor    tick
        .importzp       sreg

        .bss

ticks:  .res    4

        .code

; Runs on every tick; carry clear: the tick is left to the other routines.
tick:   inc     ticks
        bne     @done
        inc     ticks+1
        bne     @done
        inc     ticks+2
        bne     @done
        inc     ticks+3
@done:  clc
        rts

; clock_t clock(void): read with the interrupt held off, so that all four
; bytes belong to the same count.
_clock: php
        sei
        lda     ticks+3
        sta     sreg+1
        lda     ticks+2
        sta     sreg
        ldx     ticks+1
        lda     ticks
        plp
        rts
