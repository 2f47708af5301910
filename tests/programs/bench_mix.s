; bench_mix.s - speed workload: a broad instruction mix (binary and decimal
; arithmetic, logic, shifts, compares and branches, stack, subroutines,
; read-modify-write memory) in a tight loop.
;
; The byte at image offset 3 (address 0x0203) is the number of outer rounds;
; patch it to make the run longer or shorter (0 means 256). Each round is
; 65,536 inner passes of about 42 instructions, so the default of 40 rounds
; is about 111 million instructions.
; At the end it prints "MIX " and a checksum in hexadecimal, then ends the
; run with JMP $0000. Interrupts stay off throughout.

CON_OUT = $FF01

outer   = $80
sum_lo  = $81           ; binary running sum
sum_hi  = $82
bcd_lo  = $83           ; decimal counter
bcd_hi  = $84
count   = $85
shift   = $86
tmp     = $87

        .org $0200
start:  jmp main
rounds: .byte 40

main:   sei
        cld
        ldx #$FF
        txs
        lda rounds
        sta outer
        lda #0
        sta sum_lo
        sta sum_hi
        sta bcd_lo
        sta bcd_hi
        sta count
        sta shift

round:  ldy #0
middle: ldx #0
inner:  txa                     ; binary 16-bit accumulate
        eor tmp
        clc
        adc sum_lo
        sta sum_lo
        lda sum_hi
        adc #0
        sta sum_hi
        txa                     ; logic and shifts
        eor #$5A
        and #$F0
        ora #$03
        asl a
        rol shift
        lsr a
        ror shift
        cmp #$40                ; compare and a data-dependent branch
        bcc :+
        inc count
:       sed                     ; decimal counter: add 1, then a subtract
        clc
        lda bcd_lo
        adc #$01
        sta bcd_lo
        lda bcd_hi
        adc #$00
        sta bcd_hi
        sec
        lda bcd_lo
        sbc #$03
        cld
        pha                     ; stack and a subroutine
        jsr mix_sub
        pla
        bit shift
        bvc :+
        dec count
:       inx
        bne inner
        iny
        bne middle
        dec outer
        bne round

        jsr print_title         ; "MIX hhhhhhhhhh\r\n"
        lda sum_hi
        jsr print_hex
        lda sum_lo
        jsr print_hex
        lda bcd_hi
        jsr print_hex
        lda bcd_lo
        jsr print_hex
        lda count
        jsr print_hex
        lda #13
        sta CON_OUT
        lda #10
        sta CON_OUT
        jmp $0000

mix_sub:
        sta tmp
        tya
        eor tmp
        sta tmp
        rts

        .include "print.inc"

title:  .byte "MIX ", 0
