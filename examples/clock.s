; clock.s - prints the date and time of the calendar clock, such as
; "2026-03-14 09:26:53".
;
; Build:  sdk/build.sh examples/clock.bin examples/clock.s
; Run:    build/emu6502 examples/clock.bin

        .include "emu6502.inc"

        .zeropage
stamp:  .res    6               ; year-2000, month, day, hour, minute, second

        .code
start:  sei
        ; Each register read samples the clock anew, so read all six and
        ; start again if the second moved on meanwhile.
sample: ldx     #0
field:  lda     RTC_YEAR,x
        sta     stamp,x
        inx
        cpx     #6
        bne     field
        lda     RTC_SECOND
        cmp     stamp+5
        bne     sample

        PUTC    '2'             ; the year register counts from 2000
        PUTC    '0'
        lda     stamp+0
        PUTDEC2
        PUTC    '-'
        lda     stamp+1
        PUTDEC2
        PUTC    '-'
        lda     stamp+2
        PUTDEC2
        PUTC    ' '
        lda     stamp+3
        PUTDEC2
        PUTC    ':'
        lda     stamp+4
        PUTDEC2
        PUTC    ':'
        lda     stamp+5
        PUTDEC2
        NEWLINE
        END_RUN
