; selftest_6502x.s - the NMOS chip's own behaviour checks itself: decimal
; flags, the undocumented immediate and high-byte instructions. Run with
; --cpu 6502X; protocol in checks.inc.

.setcpu "6502X"
.include "checks.inc"

        .org $0200
start:  BEGIN

; Decimal ADC: Z from the binary sum, N and V from the sum after the
; low-digit correction.
        T
        SETUP $99, FD
        adc #$01
        EXPECT $00, FN | FD | FC        ; V clear, unlike this machine's 6502
        T
        SETUP $50, FD
        adc #$50
        EXPECT $00, FN | FV | FD | FC
        T
        SETUP $80, FD
        adc #$80
        EXPECT $60, FV | FZ | FD | FC
; Decimal SBC: all flags binary.
        T
        SETUP $12, FD | FC
        sbc #$21
        EXPECT $91, FN | FD

; ANC, ALR, ARR, SBX, ANE, LXA.
        T
        SETUP $F0, 0
        anc #$81
        EXPECT $80, FN | FC
        T
        SETUP $FF, FN
        alr #$01
        EXPECT $00, FZ | FC
        T
        SETUP $FF, FC
        arr #$FF
        EXPECT $FF, FN | FC
        T
        SETUP $40, 0
        arr #$FF
        EXPECT $20, FV
        T
        SETUP $FF, FD
        arr #$FF
        EXPECT $D5, FD | FC
        T
        ldx #$3C
        SETUP $F0, FD
        axs #$10                        ; SBX
        EXPECT $F0, FD | FC
        EXPX $20
        T
        ldx #$FF
        SETUP $01, 0
        ane #$FF
        EXPECT $EF, FN
        T
        ldx #$55
        SETUP $00, 0
        lax #$0F                        ; LXA
        EXPECT $0E, 0
        EXPX $0E

; LAS and TAS change S: kept aside and put back.
        T
        tsx
        stx saved_s
        lda #$F0
        sta ABST
        ldx #$C3
        txs
        ldy #$20
        las ABST-$20,y
        jsr capture                     ; pushes below S = $C0; nothing there matters
        tsx
        stx ZPT
        ldx saved_s
        txs
        CHKB save_a, $C0
        CHKB save_x, $C0
        CHKB ZPT, $C0
        T
        tsx
        stx saved_s
        lda #$F1
        ldx #$1F
        ldy #$20
        tas ABST-$20,y                  ; S = $11, stores $11 AND $92
        tsx
        stx ZPT
        ldx saved_s
        txs
        CHKB ZPT, $11
        CHKB ABST, $10

; SHA, SHX, SHY: the value ANDed with the base's high byte plus one; a page
; crossing puts that value in the address's high byte as well.
        T
        lda #$F1
        ldx #$1F
        ldy #$20
        sha ABST-$20,y                  ; $11 AND $92
        CHKB ABST, $10
        T
        lda #$00
        sta $1120
        sta ABST
        lda #$F1
        ldx #$1F
        ldy #$30
        sha ABST-$30,y                  ; base $90F0: crosses; $11 AND $91 lands at $1120
        CHKB $1120, $11
        CHKB ABST, $00
        T
        lda #$00
        sta PTR
        lda #$91
        sta PTR+1
        lda #$F1
        ldx #$1F
        ldy #$20
        sha (PTR),y
        CHKB ABST, $10
        T
        ldx #$0F
        ldy #$20
        shx ABST-$20,y                  ; $0F AND $92
        CHKB ABST, $02
        T
        ldy #$0F
        ldx #$20
        shy ABST-$20,x
        CHKB ABST, $02

; The combinations of this machine's 6502 work the same in RAM.
        T
        lda #$81
        sta ZPT
        SETUP $01, 0
        slo ZPT
        EXPECT $03, FC
        CHKB ZPT, $02
        T
        lda #$80
        sta ZPT
        SETUP $00, 0
        lax ZPT
        EXPECT $80, FN
        EXPX $80

        REPORT
