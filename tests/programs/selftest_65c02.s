; selftest_65c02.s - the 65C02 checks itself: new instructions and modes,
; the bit instructions, decimal flags, D cleared by BRK and interrupts,
; WAI with the timer, the undefined opcodes' lengths. Run with --cpu 65C02;
; protocol in checks.inc.

.setcpu "65C02"
.include "checks.inc"

        .org $0200
start:  BEGIN

; BRA, PHX/PHY/PLX/PLY.
        T
        bra :+
        jmp fail
:       ldx #$5A
        phx
        ply
        cpy #$5A
        bne bad1
        ldy #$80
        phy
        plx
        jsr capture
        EXPX $80
        CHKB save_p, FN | FI | FU | FB | FC   ; C from the CPY
; STZ in its four modes.
        T
        lda #$FF
        sta ZPT
        sta ZPT+1
        sta ABST
        sta ABST+1
        ldx #1
        stz ZPT
        stz ZPT,x
        stz ABST
        stz ABST,x
        lda ZPT
        ora ZPT+1
        ora ABST
        ora ABST+1
        beq :+
bad1:   jmp fail
; TSB, TRB.
:       T
        lda #$F0
        sta ZPT
        SETUP $0F, 0
        tsb ZPT
        EXPECT $0F, FZ
        CHKB ZPT, $FF
        T
        SETUP $0F, 0
        trb ZPT
        EXPECT $0F, 0
        CHKB ZPT, $F0
; BIT #imm changes Z only; BIT zp,X and abs,X as BIT.
        T
        SETUP $0F, FN | FV
        bit #$F0
        EXPECT $0F, FN | FV | FZ
        T
        lda #$C0
        sta ABST
        ldx #$20
        SETUP $40, 0
        bit ABST-$20,x
        EXPECT $40, FN | FV
        T
        lda #$40
        sta ZPT
        ldx #2
        SETUP $01, FN
        bit ZPT-2,x
        EXPECT $01, FV | FZ
; INC A, DEC A.
        T
        SETUP $FF, FC
        inc a
        EXPECT $00, FZ | FC
        T
        SETUP $00, 0
        dec a
        EXPECT $FF, FN
; (zp).
        T
        lda #<ABST
        sta PTR
        lda #>ABST
        sta PTR+1
        lda #$77
        sta ABST
        ldy #$10
        lda #0
        lda (PTR)
        cmp #$77
        bne bad2
        lda #$33
        sta (PTR)
        CHKB ABST, $33
; JMP (abs,X) and JMP (abs) across a page.
        T
        ldx #2
        jmp (jump_table,x)
bad2:   jmp fail
jumped: T
        lda #<jumped2
        sta $A0FF
        lda #>jumped2
        sta $A100
        lda #>bad2
        sta $A000
        jmp ($A0FF)
jumped2:
; RMB, SMB, BBR, BBS.
        T
        lda #$00
        sta ZPT
        smb3 ZPT
        CHKB ZPT, $08
        rmb3 ZPT
        smb7 ZPT
        CHKB ZPT, $80
        bbr7 ZPT, bad2
        bbs7 ZPT, :+
        jmp fail
:       bbs0 ZPT, bad2
        bbr0 ZPT, :+
        jmp fail
; Decimal mode: N and Z valid.
:       T
        SETUP $99, FD
        adc #$01
        EXPECT $00, FZ | FD | FC
        T
        SETUP $00, FD | FC
        sbc #$01
        EXPECT $99, FN | FD
        T
        SETUP $50, FD
        adc #$50
        EXPECT $00, FV | FZ | FD | FC
; BRK clears D in the handler; RTI brings it back.
        T
        lda #0
        sta irq_count
        SETUP $00, FD
        brk
        .byte $EA
        jsr capture
        CHKB irq_count, 1
        lda live_p
        and #FD
        beq :+
        jmp fail
:       lda save_p
        and #FD
        bne :+
        jmp fail
; WAI: idles until the timer's request, taken with D cleared.
:       T
        lda #0
        sta irq_count
        sed
        cli
        wai
        sei
        cld
        CHKB irq_count, 1
        lda live_p
        and #FD
        beq :+
        jmp fail
; The undefined opcodes are NOPs of the chip's lengths: each INX must run.
:       T
        ldx #0
        .byte $03
        inx
        .byte $0B
        inx
        .byte $02, $E8
        inx
        .byte $44, $E8
        inx
        .byte $54, $E8
        inx
        .byte $5C, $E8, $E8
        inx
        .byte $DC, $E8, $E8
        inx
        .byte $FB
        inx
        cpx #8
        beq :+
        jmp fail
:
        REPORT

jump_table: .word bad2, jumped
