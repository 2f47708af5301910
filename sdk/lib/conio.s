; conio.s - cc65's <conio.h> output on the console's escape sequences.
;
; The terminal cannot be asked where its cursor is without a reply on the
; keyboard, so the position is followed here: gotoxy and clrscr set it,
; cputc moves it as the terminal does (wrapping after the last column,
; "\r" to the line's start, "\n" to the next line's start, as the
; terminal's newline translation makes it).  Bytes $EA-$F8 (the CH_* line
; and corner characters of <target.h>) are drawn from the terminal's
; line-drawing set: ESC ( 0, the letter, ESC ( B.

        .export         _clrscr, _gotoxy, gotoxy, _gotox, _gotoy
        .export         _wherex, _wherey, _cputc, _cputcxy
        .export         _cclear, _cclearxy, _chline, _chlinexy
        .export         _cvline, _cvlinexy, _revers, _textcolor, _bgcolor
        .export         _bordercolor, _emu_wait_cursor, screensize
        .export         _emu_screen_width, _emu_screen_height
        .import         popa, cursor    ; cursor: set by cc65's cursor()
        .include        "emu6502.inc"

LINE_FIRST = $EA                ; 'j' | $80: the lower right corner
LINE_LAST  = $F8                ; 'x' | $80: the vertical line
CH_HLINE   = 'q' | $80
CH_VLINE   = 'x' | $80

        .data

_emu_screen_width:      .byte   80
_emu_screen_height:     .byte   24
; The colours a terminal starts with, as textcolor/bgcolor report them.
text_color:     .byte   7       ; white
back_color:     .byte   0       ; on black
border_color:   .byte   0

        .bss

; Column 0 .. width; width means "just wrote the last column": the next
; character goes to the next line's start, as the terminal does it.
curx:   .res    1
cury:   .res    1
reverse_on:     .res    1
in_line_set:    .res    1       ; chline/cvline switch the set once

        .code

; void clrscr(void): attributes stay; the cursor goes home.
_clrscr:
        jsr     csi
        lda     #'H'
        sta     CON_OUT
        jsr     csi
        lda     #'2'
        sta     CON_OUT
        lda     #'J'
        sta     CON_OUT
        lda     #0
        sta     curx
        sta     cury
        rts

; gotoxy, as cc65's library (cputsxy, cprintf...) calls it: x and y both
; on the C stack.
gotoxy: jsr     popa            ; y

; void gotoxy(unsigned char x, unsigned char y)
_gotoxy:
        sta     cury
        jsr     popa
        sta     curx
place:  jsr     csi             ; ESC [ row ; column H, both counted from 1
        ldx     cury
        inx
        txa
        jsr     put_decimal
        lda     #';'
        sta     CON_OUT
        ldx     curx
        inx
        txa
        jsr     put_decimal
        lda     #'H'
        sta     CON_OUT
        rts

; void gotox(unsigned char x)
_gotox: sta     curx
        jmp     place

; void gotoy(unsigned char y)
_gotoy: sta     cury
        jsr     column
        sta     curx
        jmp     place

; unsigned char wherex(void)
_wherex:
        jsr     column
        ldx     #0
        rts

; unsigned char wherey(void)
_wherey:
        lda     cury
        ldx     #0
        rts

; The cursor's column: a pending wrap still shows in the last column.
column: lda     curx
        cmp     _emu_screen_width
        bcc     @in
        ldx     _emu_screen_width
        dex
        txa
@in:    rts

; void cputcxy(unsigned char x, unsigned char y, char c)
_cputcxy:
        pha
        jsr     gotoxy
        pla

; void cputc(char c)
_cputc: cmp     #' '
        bcc     control
        cmp     #LINE_FIRST
        bcc     @plain
        cmp     #LINE_LAST + 1
        bcs     @plain
        jsr     wrap
        ldx     in_line_set
        bne     @letter
        jsr     line_set_on
        and     #$7F
        sta     CON_OUT
        jsr     line_set_off
        jmp     advance
@letter:
        and     #$7F
        sta     CON_OUT
        jmp     advance
@plain: pha
        jsr     wrap
        pla
        sta     CON_OUT
advance:
        inc     curx
        rts

; Before a character: a pending wrap moves to the next line.
wrap:   ldx     curx
        cpx     _emu_screen_width
        bcc     @done
        ldx     #0
        stx     curx
        jmp     down
@done:  rts

control:
        sta     CON_OUT
        cmp     #CR
        beq     @start
        cmp     #LF
        beq     @newline
        cmp     #KEY_BS
        beq     @back
        cmp     #9              ; tab: to the next multiple of 8
        bne     @done
        jsr     column
        ora     #7
        tax
        inx
        cpx     _emu_screen_width
        bcc     @tab
        ldx     _emu_screen_width
        dex
@tab:   stx     curx
        rts
@back:  jsr     column
        beq     @done
        sec
        sbc     #1
        sta     curx
@done:  rts
@start: lda     #0
        sta     curx
        rts
@newline:
        lda     #0
        sta     curx
down:   ldx     cury            ; the last line scrolls instead
        inx
        cpx     _emu_screen_height
        bcs     @bottom
        stx     cury
@bottom:
        rts

; void cclearxy(unsigned char x, unsigned char y, unsigned char length)
_cclearxy:
        pha
        jsr     gotoxy
        pla

; void cclear(unsigned char length)
_cclear:
        tax
        beq     @done
@next:  txa
        pha
        lda     #' '
        jsr     _cputc
        pla
        tax
        dex
        bne     @next
@done:  rts

; void chlinexy(unsigned char x, unsigned char y, unsigned char length)
_chlinexy:
        pha
        jsr     gotoxy
        pla

; void chline(unsigned char length)
_chline:
        tax
        beq     @done
        jsr     lines_begin
@next:  txa
        pha
        lda     #CH_HLINE
        jsr     _cputc
        pla
        tax
        dex
        bne     @next
        jmp     lines_end
@done:  rts

; void cvlinexy(unsigned char x, unsigned char y, unsigned char length)
_cvlinexy:
        pha
        jsr     gotoxy
        pla

; void cvline(unsigned char length): downwards from the cursor, which ends
; below the line.
_cvline:
        tax
        beq     @done
        jsr     lines_begin
@next:  txa
        pha
        jsr     column
        pha
        lda     #CH_VLINE
        jsr     _cputc
        pla
        sta     curx
        jsr     down
        jsr     place
        pla
        tax
        dex
        bne     @next
        jmp     lines_end
@done:  rts

; Around a run of line characters: the set switched once (keeps X).
lines_begin:
        jsr     line_set_on
        lda     #1
        sta     in_line_set
        rts
lines_end:
        lda     #0
        sta     in_line_set
        jmp     line_set_off

; unsigned char revers(unsigned char onoff): ESC [ 7 m or ESC [ 27 m
_revers:
        ldx     reverse_on
        cmp     #0
        beq     @off
        lda     #1
@off:   sta     reverse_on
        txa
        pha
        jsr     csi
        lda     reverse_on
        bne     @on
        lda     #'2'
        sta     CON_OUT
@on:    lda     #'7'
        sta     CON_OUT
        lda     #'m'
        sta     CON_OUT
        pla
        ldx     #0
        rts

; unsigned char textcolor(unsigned char color): ESC [ 3 color m
_textcolor:
        ldx     text_color
        ldy     #'3'
        and     #7
        sta     text_color
        jmp     set_color

; unsigned char bgcolor(unsigned char color): ESC [ 4 color m
_bgcolor:
        ldx     back_color
        ldy     #'4'
        and     #7
        sta     back_color
set_color:
        pha
        txa                     ; the old colour, returned
        pha
        jsr     csi
        sty     CON_OUT
        tsx
        lda     $0102,x         ; the new colour
        ora     #'0'
        sta     CON_OUT
        lda     #'m'
        sta     CON_OUT
        pla
        tax
        pla
        txa
        ldx     #0
        rts

; unsigned char bordercolor(unsigned char color): a terminal has no border;
; the value is only kept.
_bordercolor:
        ldx     border_color
        sta     border_color
        txa
        ldx     #0
        rts

; void emu_wait_cursor(unsigned char show), for cgetc: with cursor(1), the
; terminal's cursor is shown (ESC [ ? 25 h) while cgetc waits and hidden
; (ESC [ ? 25 l) again when the key has come; with cursor(0) (the start)
; it is left as it is.
_emu_wait_cursor:
        ldx     cursor
        beq     @done
        tay
        jsr     csi
        lda     #'?'
        sta     CON_OUT
        lda     #25
        jsr     put_decimal
        lda     #'l'
        cpy     #0
        beq     @hide
        lda     #'h'
@hide:  sta     CON_OUT
@done:  rts

; screensize for cc65's screensize(): columns in X, rows in Y.
screensize:
        ldx     _emu_screen_width
        ldy     _emu_screen_height
        rts

; ESC [ (keeps X and Y)
csi:    lda     #ESC
        sta     CON_OUT
        lda     #'['
        sta     CON_OUT
        rts

; ESC ( 0 and ESC ( B around line-drawing letters; both keep A and X.
line_set_on:
        ldy     #'0'
        bne     designate
line_set_off:
        ldy     #'B'
designate:
        pha
        lda     #ESC
        sta     CON_OUT
        lda     #'('
        sta     CON_OUT
        sty     CON_OUT
        pla
        rts

; A (0-255) in decimal without leading zeros; keeps Y.
put_decimal:
        ldx     #'0' - 1
        cmp     #100
        bcc     @tens
@hundreds:
        inx
        sbc     #100
        bcs     @hundreds
        adc     #100
        stx     CON_OUT
        ldx     #'0' - 1
        sec
        bcs     @ten            ; tens digit printed even when 0
@tens:  cmp     #10
        bcc     @ones
@ten:   inx
        sbc     #10
        bcs     @ten
        adc     #10
        stx     CON_OUT
@ones:  ora     #'0'
        sta     CON_OUT
        rts
