; files.s - data file round trip: writes a message to "file1", closes it,
; reads it back to the end and prints what it read.
;
; Build:  sdk/build.sh examples/files.bin examples/files.s
; Run:    build/emu6502 examples/files.bin      (leaves file1 behind)

        .include "emu6502.inc"

FILE_NUMBER = 1

        .code
start:  sei
        lda     FILE_SELECT     ; close whatever is open, so that the
                                ; selection below takes effect
        lda     #FILE_NUMBER
        sta     FILE_SELECT

        ; Write the message; the first write opens (or creates) file1.
        ; An existing longer file keeps its tail: the file is not emptied.
        ldx     #0
write:  lda     message,x
        sta     FILE_WRITE
        inx
        cpx     #message_length
        bne     write
        PUTS    wrote
        lda     FILE_SELECT     ; close: 0 means the bytes are on disk
        PUTHEX
        NEWLINE

        ; Read it back from the start until the end-of-file value $FF.
        PUTS    readback
read:   lda     FILE_READ
        cmp     #FILE_EOF
        beq     eof
        sta     CON_OUT
        jmp     read
eof:    lda     FILE_SELECT
        NEWLINE
        END_RUN

        .rodata
message:
        .byte   "Hello, file!"
message_length = * - message
wrote:  .byte   "Wrote 12 bytes to file1, close status ", 0
readback:
        .byte   "Read back: ", 0
