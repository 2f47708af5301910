; console.s - console input and output for C programs (see emu6502.h), and
; the read()/write() that cc65's stdio (printf, puts, getchar, fgets...)
; calls.  File descriptors 0, 1 and 2 are the console: writes go to
; CON_OUT, reads come from KBD_IN.  Any other goes to the routines in
; _emu_fd_read/_emu_fd_write, which the data-file library (lib/files.c)
; sets when a program opens a file; until then they fail with EBADF.

        .export         _emu_putc, _emu_puts, _emu_getc, _emu_key
        .export         _emu_getline, _read, _write
        .export         _emu_fd_read, _emu_fd_write
        .import         popptr1, incsp2, incsp4, __directerrno
        .include        "zeropage.inc"
        .include        "errno.inc"
        .include        "emu6502.inc"

        .data

; JMP instructions whose targets are the two routine addresses (an indirect
; JMP could meet the 6502's page-crossing fault).
read_other:     jmp     bad_fd
_emu_fd_read    = read_other + 1
write_other:    jmp     bad_fd
_emu_fd_write   = write_other + 1

        .code

; Carry set when the descriptor below buf on the C stack is not the console.
not_console:
        pha
        ldy     #3
        lda     (sp),y          ; fd, high byte
        bne     @other
        dey
        lda     (sp),y
        cmp     #3
        pla
        rts
@other: pla
        sec
        rts

bad_fd: jsr     incsp4          ; fd and buf
        lda     #EBADF
        jmp     __directerrno

; void emu_putc(char c)
_emu_putc:
        sta     CON_OUT
        rts

; void emu_puts(const char* s)
_emu_puts:
        sta     ptr1
        stx     ptr1+1
        ldy     #0
@next:  lda     (ptr1),y
        beq     @done
        sta     CON_OUT
        iny
        bne     @next
        inc     ptr1+1          ; strings longer than a page
        bne     @next
@done:  rts

; char emu_getc(void): waits for a key
_emu_getc:
        lda     KBD_IN
        beq     _emu_getc
        ldx     #0
        rts

; char emu_key(void): 0 when no key is waiting
_emu_key:
        lda     KBD_IN
        ldx     #0
        rts

; unsigned char emu_getline(char* buf, unsigned char size)
_emu_getline:
        sta     tmp1            ; size
        jsr     popptr1         ; buf -> ptr1
        ldy     #0              ; Y = length so far
        lda     tmp1
        beq     @none           ; no room even for the zero byte
        dec     tmp1            ; room for characters
@key:   jsr     wait_key
@got:   cmp     #ESC
        beq     @escape
        cmp     #CR
        beq     @enter
        cmp     #LF
        beq     @enter
        cmp     #KEY_BS
        beq     @back
        cmp     #$7F            ; DEL, as piped input delivers it
        beq     @back
        cmp     #' '
        bcc     @key            ; other control keys are ignored
        cpy     tmp1
        bcs     @key            ; line full: ignore until Enter
        sta     (ptr1),y
        sta     CON_OUT
        iny
        bne     @key            ; always taken: Y < 255
@back:  cpy     #0
        beq     @key
        dey
        lda     #KEY_BS         ; rub out the character on the screen
        sta     CON_OUT
        lda     #' '
        sta     CON_OUT
        lda     #KEY_BS
        sta     CON_OUT
        jmp     @key
@escape:
        jsr     skip_escape
        bcs     @got            ; a key that merely followed ESC
        jmp     @key
@enter: lda     #0
        sta     (ptr1),y
        lda     #LF
        sta     CON_OUT
        tya
@none:  ldx     #0
        rts

; Called after ESC: reads the rest of a key's escape sequence, CSI
; (ESC [ parameters final, e.g. ESC [ D or ESC [ 3 ~) or SS3 (ESC O P), and
; returns with carry clear. A control code inside the sequence, or a key
; other than [ or O right after ESC (Alt+key, or Esc then a key), is not
; part of one: it comes back in A with carry set, to be taken as a key.
skip_escape:
        jsr     wait_key
        cmp     #'['
        beq     @csi
        cmp     #'O'
        beq     @last
        sec
        rts
@csi:   jsr     wait_key
        cmp     #'['            ; the Linux console's F1-F5: ESC [ [ A
        beq     @last
@param: cmp     #' '
        bcc     @key
        cmp     #'@'            ; $40-$7E: the final byte
        bcs     @done
        jsr     wait_key        ; parameters and intermediates: $20-$3F
        jmp     @param
@last:  jsr     wait_key
        cmp     #' '
        bcc     @key
@done:  clc
        rts
@key:   sec
        rts

; Waits for a key: KBD_IN reads 0 until one comes.
wait_key:
        lda     KBD_IN
        beq     wait_key
        rts

; int write(int fd, const void* buf, unsigned count): all of buf to CON_OUT
_write: jsr     not_console
        bcc     @console
        jmp     write_other
@console:
        sta     ptr2            ; count, returned at the end
        stx     ptr2+1
        sta     ptr3            ; bytes still to print
        stx     ptr3+1
        jsr     popptr1         ; buf -> ptr1
        jsr     incsp2          ; fd is not used
        ldy     #0
@next:  lda     ptr3
        ora     ptr3+1
        beq     @done
        lda     (ptr1),y
        sta     CON_OUT
        inc     ptr1
        bne     @count
        inc     ptr1+1
@count: lda     ptr3
        bne     @low
        dec     ptr3+1
@low:   dec     ptr3
        jmp     @next
@done:  lda     ptr2
        ldx     ptr2+1
        rts

; int read(int fd, void* buf, unsigned count): waits for each key; Enter
; (13) is stored as '\n' and ends the read, like a terminal's line.
_read:  jsr     not_console
        bcc     @console
        jmp     read_other
@console:
        sta     ptr3            ; bytes still wanted
        stx     ptr3+1
        lda     #0
        sta     ptr2            ; bytes read
        sta     ptr2+1
        jsr     popptr1         ; buf -> ptr1
        jsr     incsp2          ; fd is not used
@next:  lda     ptr3
        ora     ptr3+1
        beq     @done
@wait:  lda     KBD_IN
        beq     @wait
        cmp     #CR
        bne     @store
        lda     #LF
@store: sta     tmp1
        ldy     #0
        sta     (ptr1),y
        inc     ptr1
        bne     @got
        inc     ptr1+1
@got:   inc     ptr2
        bne     @want
        inc     ptr2+1
@want:  lda     ptr3
        bne     @low
        dec     ptr3+1
@low:   dec     ptr3
        lda     tmp1
        cmp     #LF
        bne     @next
@done:  lda     ptr2
        ldx     ptr2+1
        rts
