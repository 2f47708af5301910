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

; clock_t clock(void).  The interrupt stays on (a tick while I is set would
; be lost), so the count is read again if a tick came meanwhile: every tick
; changes the low byte.
_clock: ldy     ticks
        ldx     ticks+1
        lda     ticks+2
        sta     sreg
        lda     ticks+3
        sta     sreg+1
        cpy     ticks
        bne     _clock
        tya
        rts
