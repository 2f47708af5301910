; devices.s - data files, clock, random byte and trace switch for C
; programs (see emu6502.h).

        .export         _emu_file_select, _emu_file_read, _emu_file_write
        .export         _emu_file_close, _emu_clock, _emu_random, _emu_trace
        .include        "zeropage.inc"
        .include        "emu6502.inc"

        .code

; void emu_file_select(unsigned char number)
_emu_file_select:
        sta     FILE_SELECT
        rts

; unsigned char emu_file_read(void)
_emu_file_read:
        lda     FILE_READ
        ldx     #0
        rts

; void emu_file_write(unsigned char byte)
_emu_file_write:
        sta     FILE_WRITE
        rts

; unsigned char emu_file_close(void): reading FILE_SELECT closes the file
_emu_file_close:
        lda     FILE_SELECT
        ldx     #0
        rts

; void emu_clock(struct emu_time* t): the registers are sampled one by one,
; so read them again if the second changed meanwhile.
_emu_clock:
        sta     ptr1
        stx     ptr1+1
@again: ldy     #0
@field: lda     RTC_YEAR,y      ; year, month, day, hour, minute, second
        sta     (ptr1),y
        iny
        cpy     #6
        bne     @field
        dey
        lda     RTC_SECOND
        cmp     (ptr1),y
        bne     @again
        rts

; unsigned char emu_random(void)
_emu_random:
        lda     RANDOM
        ldx     #0
        rts

; void emu_trace(unsigned char on)
_emu_trace:
        sta     TRACE_CTL
        rts
