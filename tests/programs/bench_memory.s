; bench_memory.s - speed workload dominated by memory traffic through the
; indexed and indirect addressing modes: fill a table with pseudo-random
; bytes, bubble-sort it, check the order, copy a 4 KiB block forwards
; through (zp),y pointers and sum it back through (zp,x).
;
; The byte at image offset 3 (address 0x0203) is the number of rounds;
; patch it to make the run longer or shorter (0 means 256). One round is
; about 296,000 instructions (the sort is most of it), so the default of
; 200 rounds is about 59 million instructions.
; At the end it prints "MEM " and a checksum in hexadecimal ("MEM BAD" if a
; sorted table was found out of order), then ends the run with JMP $0000.
; Interrupts stay off throughout.

CON_OUT = $FF01

TABLE   = $4000         ; 256 bytes to sort
SOURCE  = $5000         ; 16 pages copied ...
DEST    = $7000         ; ... to here
PAGES   = 16

rounds_left = $80
seed        = $81
limit       = $82
sum_lo      = $83
sum_hi      = $84
src         = $86       ; pointers for (zp),y
dst         = $88
ptr         = $8A       ; pointer for (zp,x)
pages       = $8C

        .org $0200
start:  jmp main
rounds: .byte 200

main:   sei
        cld
        ldx #$FF
        txs
        lda rounds
        sta rounds_left
        lda #$A7
        sta seed
        lda #0
        sta sum_lo
        sta sum_hi

        ; The copy source: 16 pages of a running pattern, written through
        ; (zp),y with the pointer's high byte stepping.
        lda #<SOURCE
        sta dst
        lda #>SOURCE
        sta dst+1
        ldx #PAGES
        ldy #0
        tya
:       sta (dst),y
        clc
        adc #7
        iny
        bne :-
        inc dst+1
        dex
        bne :-

round:
        ; 1. Fill TABLE with a 8-bit Galois LFSR (abs,y stores).
        ldy #0
        lda seed
fill:   asl a
        bcc :+
        eor #$1D
:       sta TABLE,y
        iny
        bne fill
        sta seed

        ; 2. Bubble sort TABLE ascending (abs,x loads, compares and stores).
        lda #$FF
        sta limit
pass:   ldx #0
compare:
        lda TABLE,x
        cmp TABLE+1,x
        bcc ordered
        beq ordered
        ldy TABLE+1,x           ; swap the pair
        sta TABLE+1,x
        tya
        sta TABLE,x
ordered:
        inx
        cpx limit
        bne compare
        dec limit
        bne pass

        ; 3. The table must now be in order (abs,y).
        ldy #0
check:  lda TABLE,y
        cmp TABLE+1,y
        beq :+
        bcs bad
:       iny
        cpy #$FF
        bne check

        ; 4. Copy SOURCE to DEST, page by page, through (src),y and (dst),y.
        lda #<SOURCE
        sta src
        lda #>SOURCE
        sta src+1
        lda #<DEST
        sta dst
        lda #>DEST
        sta dst+1
        lda #PAGES
        sta pages
        ldy #0
copy:   lda (src),y
        sta (dst),y
        iny
        bne copy
        inc src+1
        inc dst+1
        dec pages
        bne copy

        ; 5. Sum the last copied page and the sorted table through (ptr,x).
        lda #<(DEST + (PAGES - 1) * 256)
        sta ptr
        lda #>(DEST + (PAGES - 1) * 256)
        sta ptr+1
        ldx #0
        clc
sum:    lda (ptr,x)
        adc sum_lo
        sta sum_lo
        bcc :+
        inc sum_hi
        clc
:       inc ptr
        bne sum
        lda TABLE+$80           ; the median of the table
        eor sum_hi
        sta sum_hi

        dec rounds_left
        beq finish
        jmp round

finish: jsr print_title
        lda sum_hi
        jsr print_hex
        lda sum_lo
        jsr print_hex
        lda seed
        jsr print_hex
        jmp done

bad:    ldx #0
:       lda bad_text,x
        beq done
        sta CON_OUT
        inx
        bne :-

done:   lda #13
        sta CON_OUT
        lda #10
        sta CON_OUT
        jmp $0000

        .include "print.inc"

title:    .byte "MEM ", 0
bad_text: .byte "MEM BAD", 0
