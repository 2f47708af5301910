; notes.s - a pocket notebook for the machine.
;
; Shows the date and time from the clock registers, lists the notes kept in
; file0, and adds every line you type to them, stamped with the time of day.
; Backspace (8 or 127) erases, arrow, function and editing keys are ignored
; (their escape sequences skipped whole), Enter (13, or 10 from a pipe) ends
; a line, Enter on an empty line redraws the screen with a fresh clock, and a
; line holding only "q" quits.
;
; Build: sdk/build.sh examples/notes.bin examples/notes.s   (or scripts/build-examples.sh)
; Run:   build/emu6502 examples/notes.bin
;        printf 'milk\nq\n' | build/emu6502 examples/notes.bin -i

        .include "emu6502.inc"

NOTES       = $3000     ; the notebook, as it is kept in file0
NOTES_END   = $7000     ; 16 KiB is plenty of notes
LINE        = $2F00     ; the line being typed
MAX_LINE    = 60

        .zeropage
ptr:    .res 2          ; end of the notes in memory (next free byte)
len:    .res 1          ; length of the line being typed
src:    .res 2          ; string and listing pointer

        .code
start:  sei             ; the timer's default vector, 0x0000, holds no handler
        cld
        ldx #$FF
        txs
        lda FILE_SELECT ; close anything left open, then pick file0
        lda #0
        sta FILE_SELECT
        jsr load_notes
redraw: jsr draw_screen

; ---- typing a line -------------------------------------------------------
new_line:
        lda #<prompt
        ldy #>prompt
        jsr puts
        lda #0
        sta len
key:    jsr wait_key
got:    cmp #KEY_ENTER
        beq enter
        cmp #LF         ; piped lines end in a line feed
        beq enter
        cmp #KEY_BS
        beq erase
        cmp #127        ; DEL from standard input arrives unchanged
        beq erase
        cmp #ESC
        beq escape
        cmp #' '
        bcc key         ; other control keys do nothing
        cmp #127
        bcs key         ; nor do bytes above plain text
        ldx len
        cpx #MAX_LINE
        bcs key         ; the line is full
        sta LINE,x
        inc len
        sta CON_OUT     ; echo it ourselves
        jmp key

erase:  ldx len
        beq key
        dec len
        lda #KEY_BS
        sta CON_OUT
        lda #' '
        sta CON_OUT
        lda #KEY_BS
        sta CON_OUT
        jmp key

; Arrow, function and editing keys send escape sequences: CSI (ESC [
; parameters final, e.g. ESC [ D or ESC [ 3 ~) or SS3 (ESC O P). Skip them
; whole. A control code inside one, or a key other than [ or O right after
; ESC (Alt+key, or Esc then a key), is not part of a sequence: it counts as
; a key of its own.
escape: jsr wait_key
        cmp #'['
        beq @csi
        cmp #'O'
        beq @last
        jmp got
@csi:   jsr wait_key
        cmp #'['        ; the Linux console's F1-F5: ESC [ [ A
        beq @last
@param: cmp #' '
        bcc got
        cmp #'@'        ; $40-$7E: the final byte
        bcs @done
        jsr wait_key    ; parameters and intermediates: $20-$3F
        jmp @param
@last:  jsr wait_key
        cmp #' '
        bcc got
@done:  jmp key

enter:  lda len
        bne @typed
        jmp redraw      ; empty line: show the clock again
@typed: cmp #1
        bne keep
        lda LINE
        cmp #'q'
        beq quit
keep:   jsr append_line
        jsr save_notes
        jmp redraw

quit:   lda #<goodbye
        ldy #>goodbye
        jsr puts
        END_RUN

; ---- the notebook in memory and in file0 ---------------------------------

; Reads file0 into NOTES until its end (0xFF), then closes it.
load_notes:
        lda #<NOTES
        sta ptr
        lda #>NOTES
        sta ptr+1
@next:  lda FILE_READ
        cmp #$FF
        beq @done
        jsr store_byte
        bcc @next
@done:  lda FILE_SELECT ; close
        rts

; Points src at the first note.
rewind: lda #<NOTES
        sta src
        lda #>NOTES
        sta src+1
        rts

; Z set when src has reached the end of the notes.
at_end: lda src
        cmp ptr
        bne @out
        lda src+1
        cmp ptr+1
@out:   rts

; Writes the whole notebook to file0 from its start; it only ever grows,
; so the new contents cover the old.
save_notes:
        jsr rewind
        ldy #0
@next:  jsr at_end
        beq @done
        lda (src),y
        sta FILE_WRITE
        inc src
        bne @next
        inc src+1
        jmp @next
@done:  lda FILE_SELECT ; close: the bytes reach the disk
        rts

; Adds "HH:MM " and the typed line, then a line feed, to the notebook.
append_line:
        lda RTC_HOUR
        jsr store_two_digits
        lda #':'
        jsr store_byte
        lda RTC_MINUTE
        jsr store_two_digits
        lda #' '
        jsr store_byte
        ldx #0
@next:  cpx len
        beq @end
        lda LINE,x
        jsr store_byte
        inx
        bne @next
@end:   lda #LF
        jmp store_byte

; Stores A at ptr and moves on; carry set (and nothing stored) when full.
store_byte:
        ldy ptr+1
        cpy #>NOTES_END
        bcs @full
        ldy #0
        sta (ptr),y
        inc ptr
        bne @ok
        inc ptr+1
@ok:    clc
@full:  rts

store_two_digits:
        jsr split_digits
        pha
        txa
        jsr store_byte
        pla
        jmp store_byte

; A (0-99) -> X = tens digit, A = ones digit, both as characters.
split_digits:
        ldx #'0'
@tens:  cmp #10
        bcc @ones
        sbc #10         ; carry is set here
        inx
        bne @tens
@ones:  ora #'0'
        rts

; ---- the screen ----------------------------------------------------------

draw_screen:
        lda #<title
        ldy #>title
        jsr puts
        lda #'2'
        sta CON_OUT
        lda #'0'
        sta CON_OUT
        lda RTC_YEAR
        jsr print_two_digits
        lda #'-'
        sta CON_OUT
        lda RTC_MONTH
        jsr print_two_digits
        lda #'-'
        sta CON_OUT
        lda RTC_DAY
        jsr print_two_digits
        lda #' '
        sta CON_OUT
        lda RTC_HOUR
        jsr print_two_digits
        lda #':'
        sta CON_OUT
        lda RTC_MINUTE
        jsr print_two_digits
        lda #':'
        sta CON_OUT
        lda RTC_SECOND
        jsr print_two_digits
        lda #<help
        ldy #>help
        jsr puts
        ; the notes, one per line
        jsr rewind
        ldy #0
@next:  jsr at_end
        beq @done
        lda (src),y
        cmp #LF
        bne @plain
        lda #CR         ; a terminal in raw mode needs both
        sta CON_OUT
        lda #LF
@plain: sta CON_OUT
        inc src
        bne @next
        inc src+1
        jmp @next
@done:  rts

print_two_digits:
        jsr split_digits
        stx CON_OUT
        sta CON_OUT
        rts

; Prints the zero-terminated string at A (low), Y (high).
puts:   sta src
        sty src+1
        ldy #0
@next:  lda (src),y
        beq @done
        sta CON_OUT
        iny
        bne @next
@done:  rts

; Polls the keyboard until a key arrives.
wait_key:
        lda KBD_IN
        beq wait_key
        rts

title:  .byte ESC, "[2J", ESC, "[H", ESC, "[1;33m", "notes", ESC, "[0m  ", 0
help:   .byte CR, LF, ESC, "[2m", "type a line and press Enter; q alone quits", ESC, "[0m", CR, LF, CR, LF, 0
prompt: .byte CR, LF, ESC, "[1;32m> ", ESC, "[0m", 0
goodbye:
        .byte CR, LF, "bye", CR, LF, 0
