; selftest.s - the processor checks itself, instruction group by instruction
; group, and reports the outcome.
;
; Result protocol:
;   0x00F0  result: 0x00 = every check passed, 0xFF = the program did not get
;           to the end, anything else = number of the first failing check
;   0x00F1  number of the check being run
;   0x00F2  step inside that check (which addressing mode of a sweep, ...)
; Console: "PASS\r\n", or "FAIL nn\r\n" with nn the failing check number in
; two hexadecimal digits. The run ends with JMP $0000.
;
; Every check puts known registers and flags in place, runs the instruction
; under test, snapshots A X Y P and compares them (and any memory it touched)
; with constants worked out by hand. The first mismatch ends the program.
; The IRQ/BRK vector points at our own handler while the checks run (a
; timer interrupt may arrive whenever I is clear) and is put back to 0x0000
; before the end.

.setcpu "6502X"

CON_OUT     = $FF01
IRQ_VECTOR  = $FFFE

; Flag masks.
FN = $80
FV = $40
FU = $20                ; the bit that always reads as 1
FB = $10
FD = $08
FI = $04
FZ = $02
FC = $01

; Zero page.
PTR_HI      = $00       ; high byte of the wrapping pointer at $FF/$00
PTR_A       = $12       ; spare pointers
PTR_B       = $15
ZPT         = $20       ; zero-page target of the sweeps
jsr_lo      = $E0       ; return address seen by jsr_sub
jsr_hi      = $E1
NOP_PTR     = $E8       ; pointer read by the two-byte NOP $93
result      = $F0
testnum     = $F1
testsub     = $F2
save_a      = $F3
save_x      = $F4
save_y      = $F5
save_p      = $F6
brk_count   = $F7
brk_p       = $F8       ; status pushed by BRK
brk_pcl     = $F9       ; return address pushed by BRK
brk_pch     = $FA
brk_live    = $FB       ; status inside the handler
irq_count   = $FC
saved_s     = $FD
tmp         = $FE
PTR_LO      = $FF       ; low byte of the wrapping pointer

; Operand locations of the addressing-mode sweeps: every mode lands on the
; same byte it would miss if an index did not wrap or carry.
ZPXB        = $F0       ; + X=$30 wraps to ZPT (no wrap would hit $0120)
IDX         = $30
ABST        = $9120     ; absolute target
ABXB        = $90F0     ; + X or Y=$30 crosses into ABST
IZXO        = $FE       ; + X=1: pointer at $FF/$00 (wraps), points at IZXT
IZXT        = $90F0
IZYO        = $FF       ; pointer $FF/$00 = $90F0, + Y=$30 crosses into ABST

; Jump trampolines and other work areas.
TRAMP_OK    = $B000     ; JMP ok
TRAMP_BAD   = $B100     ; JMP fail
JIND_WRAP   = $A0FF     ; JMP ($A0FF) must read $A0FF and $A000
JIND_PLAIN  = $A080
NOP_AREA    = $C8E8     ; operand of the three-byte NOPs: bytes E8 (INX) C8 (INY)

tno .set 0

; Start a new numbered check.
.macro T
    tno .set tno + 1
    lda #tno
    sta testnum
    lda #0
    sta testsub
.endmacro

; Next step inside a check.
.macro S
    inc testsub
.endmacro

; A = a_in and status = p_in with I set (no timer interrupts), B clear.
.macro SETUP a_in, p_in
    lda #((p_in) | FI)
    pha
    lda #(a_in)
    plp
.endmacro

; Fail unless the byte at addr equals val.
.macro CHKB addr, val
    lda addr
    cmp #(val)
    beq :+
    jmp fail
:
.endmacro

; Snapshot, then A and the full status byte as PHP pushes it.
.macro EXPECT a_out, p_out
    jsr capture
    CHKB save_a, a_out
    CHKB save_p, ((p_out) | FI | FU | FB)
.endmacro

.macro EXPX val
    CHKB save_x, val
.endmacro

.macro EXPY val
    CHKB save_y, val
.endmacro

; ORA AND EOR ADC SBC CMP LDA through all eight of their addressing modes.
.macro ALU8 op, a_in, m, p_in, a_out, p_out
    T
    SETUP a_in, p_in
    op #(m)
    EXPECT a_out, p_out
    S
    lda #(m)
    sta ZPT
    SETUP a_in, p_in
    op ZPT
    EXPECT a_out, p_out
    S
    lda #(m)
    sta ZPT
    ldx #IDX
    SETUP a_in, p_in
    op ZPXB,x
    EXPECT a_out, p_out
    S
    lda #(m)
    sta ABST
    SETUP a_in, p_in
    op ABST
    EXPECT a_out, p_out
    S
    lda #(m)
    sta ABST
    ldx #IDX
    SETUP a_in, p_in
    op ABXB,x
    EXPECT a_out, p_out
    S
    lda #(m)
    sta ABST
    ldy #IDX
    SETUP a_in, p_in
    op ABXB,y
    EXPECT a_out, p_out
    S
    lda #(m)
    sta IZXT
    ldx #1
    SETUP a_in, p_in
    op (IZXO,x)
    EXPECT a_out, p_out
    S
    lda #(m)
    sta ABST
    ldy #IDX
    SETUP a_in, p_in
    op (IZYO),y
    EXPECT a_out, p_out
.endmacro

; One immediate-mode row (the arithmetic tables).
.macro IMM op, a_in, m, p_in, a_out, p_out
    T
    SETUP a_in, p_in
    op #(m)
    EXPECT a_out, p_out
.endmacro

; SLO RLA SRE RRA DCP ISB through their seven modes: A, flags and memory.
.macro RMW7 op, a_in, m, p_in, a_out, p_out, m_out
    T
    lda #(m)
    sta ZPT
    SETUP a_in, p_in
    op ZPT
    EXPECT a_out, p_out
    CHKB ZPT, m_out
    S
    lda #(m)
    sta ZPT
    ldx #IDX
    SETUP a_in, p_in
    op ZPXB,x
    EXPECT a_out, p_out
    CHKB ZPT, m_out
    S
    lda #(m)
    sta ABST
    SETUP a_in, p_in
    op ABST
    EXPECT a_out, p_out
    CHKB ABST, m_out
    S
    lda #(m)
    sta ABST
    ldx #IDX
    SETUP a_in, p_in
    op ABXB,x
    EXPECT a_out, p_out
    CHKB ABST, m_out
    S
    lda #(m)
    sta ABST
    ldy #IDX
    SETUP a_in, p_in
    op ABXB,y
    EXPECT a_out, p_out
    CHKB ABST, m_out
    S
    lda #(m)
    sta IZXT
    ldx #1
    SETUP a_in, p_in
    op (IZXO,x)
    EXPECT a_out, p_out
    CHKB IZXT, m_out
    S
    lda #(m)
    sta ABST
    ldy #IDX
    SETUP a_in, p_in
    op (IZYO),y
    EXPECT a_out, p_out
    CHKB ABST, m_out
.endmacro


; A read-modify-write instruction on memory through zp, zp,x, abs and abs,x,
; one step each (A must stay $33).
.macro RMW_MEMORY op, m, p_in, m_out, p_out
    lda #(m)
    sta ZPT
    SETUP $33, p_in
    op ZPT
    EXPECT $33, p_out
    CHKB ZPT, m_out
    S
    lda #(m)
    sta ZPT
    ldx #IDX
    SETUP $33, p_in
    op ZPXB,x
    EXPECT $33, p_out
    CHKB ZPT, m_out
    S
    lda #(m)
    sta ABST
    SETUP $33, p_in
    op ABST
    EXPECT $33, p_out
    CHKB ABST, m_out
    S
    lda #(m)
    sta ABST
    ldx #IDX
    SETUP $33, p_in
    op ABXB,x
    EXPECT $33, p_out
    CHKB ABST, m_out
.endmacro

; ASL LSR ROL ROR: accumulator, then the four memory modes.
.macro SHIFT5 op, m, p_in, m_out, p_out
    T
    SETUP m, p_in
    op a
    EXPECT m_out, p_out
    S
    RMW_MEMORY op, m, p_in, m_out, p_out
.endmacro

; INC DEC through their four modes.
.macro INCDEC4 op, m, p_in, m_out, p_out
    T
    RMW_MEMORY op, m, p_in, m_out, p_out
.endmacro

; CPX CPY BIT in the modes given (imm, zp, abs).
.macro CMPXY op, r, m, p_in, p_out
    T
    .if .xmatch(op, cpx)
        ldx #(r)
    .else
        ldy #(r)
    .endif
    SETUP $33, p_in
    op #(m)
    EXPECT $33, p_out
    S
    lda #(m)
    sta ZPT
    SETUP $33, p_in
    op ZPT
    EXPECT $33, p_out
    S
    lda #(m)
    sta ABST
    SETUP $33, p_in
    op ABST
    EXPECT $33, p_out
.endmacro

.macro BITT a_in, m, p_in, p_out
    T
    lda #(m)
    sta ZPT
    SETUP a_in, p_in
    bit ZPT
    EXPECT a_in, p_out
    S
    lda #(m)
    sta ABST
    SETUP a_in, p_in
    bit ABST
    EXPECT a_in, p_out
.endmacro

; A branch: taken and not taken, forward and backward, in the page and
; across a page boundary (padding puts the branch at the end of a page).
.macro BRANCH op, p_take, p_skip
    T
    SETUP 0, p_take             ; taken forward
    op :+
    jmp fail
:   S
    SETUP 0, p_skip             ; not taken
    op :+
    jmp :++
:   jmp fail
:   S
    jmp :++                     ; taken backward
:   jmp :++
:   SETUP 0, p_take
    op :--
    jmp fail
:   S
    SETUP 0, p_take             ; taken forward into the next page
    .res ($FC - *) & $FF, $EA   ; NOP padding up to $xxFC
    op :+                       ; next instruction at $xxFE
    jmp fail
:   S                           ; target at $(xx+1)01
    jmp :++                     ; taken backward into the previous page
    .res ($FD - *) & $FF, $EA
:   jmp :++                     ; at $xxFD
:   SETUP 0, p_take             ; at $(xx+1)00
    op :--
    jmp fail
:   jsr capture                 ; flags survive every branch
    CHKB save_p, ((p_take) | FI | FU | FB)
.endmacro

; ---------------------------------------------------------------------------

        .org $0200

start:  sei
        cld
        ldx #$FF
        txs
        lda #$FF
        sta result              ; "did not finish" until the very end
        lda #<handler
        sta IRQ_VECTOR
        lda #>handler
        sta IRQ_VECTOR+1
        lda #0
        sta brk_count
        sta irq_count

        ; Poison the work areas, so that a stray address reads a wrong byte.
        ldx #0
        lda #$EE
clear:  sta $9000,x
        sta $9100,x
        sta $9200,x
        inx
        bne clear
        sta $0120               ; where ZPXB,x lands without the wrap
        ; Pointer $FF/$00 = IZXT, and the jump trampolines.
        lda #<IZXT
        sta PTR_LO
        lda #>IZXT
        sta PTR_HI
        lda #$4C                ; JMP abs
        sta TRAMP_OK
        sta TRAMP_BAD
        lda #<jind_ok
        sta TRAMP_OK+1
        lda #>jind_ok
        sta TRAMP_OK+2
        lda #<fail
        sta TRAMP_BAD+1
        lda #>fail
        sta TRAMP_BAD+2

; ---- loads: flags, and every mode of LDA LDX LDY -------------------------
        ; LDA changes only N and Z.
        IMM lda, $55, $00, FV|FC|FN, $00, FV|FC|FZ
        IMM lda, $55, $80, FV|FC|FZ, $80, FV|FC|FN
        IMM lda, $00, $7F, FN|FZ|FD, $7F, FD
        ALU8 lda, $00, $C3, FZ|FC, $C3, FN|FC

        T                       ; LDX in its five modes
        SETUP $33, FN
        ldx #$00
        EXPECT $33, FZ
        EXPX $00
        S
        lda #$81
        sta ZPT
        SETUP $33, FZ
        ldx ZPT
        EXPECT $33, FN
        EXPX $81
        S
        lda #$42
        sta ZPT
        ldy #IDX
        SETUP $33, FN|FZ
        ldx ZPXB,y
        EXPECT $33, 0
        EXPX $42
        EXPY IDX
        S
        lda #$90
        sta ABST
        SETUP $33, FC
        ldx ABST
        EXPECT $33, FN|FC
        EXPX $90
        S
        lda #$00
        sta ABST
        ldy #IDX
        SETUP $33, FN
        ldx ABXB,y
        EXPECT $33, FZ
        EXPX $00

        T                       ; LDY in its five modes
        SETUP $33, FZ
        ldy #$80
        EXPECT $33, FN
        EXPY $80
        S
        lda #$00
        sta ZPT
        SETUP $33, FN|FV
        ldy ZPT
        EXPECT $33, FZ|FV
        EXPY $00
        S
        lda #$17
        sta ZPT
        ldx #IDX
        SETUP $33, FZ
        ldy ZPXB,x
        EXPECT $33, 0
        EXPY $17
        S
        lda #$FF
        sta ABST
        SETUP $33, 0
        ldy ABST
        EXPECT $33, FN
        EXPY $FF
        S
        lda #$01
        sta ABST
        ldx #IDX
        SETUP $33, FZ|FN
        ldy ABXB,x
        EXPECT $33, 0
        EXPY $01

; ---- addressing-mode corners -------------------------------------------------
        T                       ; zpx: $F0 + $20 wraps to $10
        lda #$11
        sta $10
        lda #$22
        sta $0110
        ldx #$20
        SETUP 0, 0
        lda $F0,x
        EXPECT $11, 0
        S                       ; zpy: $FF + 1 wraps to $00
        lda #$A5
        sta $0100
        ldy #$01
        SETUP 0, 0
        ldx $FF,y
        EXPECT 0, FN
        EXPX >IZXT
        S                       ; abx: $FFF0 + $20 wraps to $0010
        ldx #$20
        SETUP 0, 0
        lda $FFF0,x
        EXPECT $11, 0
        S                       ; aby: $FFFF + 1 wraps to $0000
        ldy #$01
        SETUP 0, 0
        lda $FFFF,y
        EXPECT >IZXT, FN

        T                       ; izx: ($F0 + $25) -> pointer at $15/$16
        lda #$00
        sta PTR_B
        lda #$92
        sta PTR_B+1
        lda #$77
        sta $9200
        ldx #$25
        SETUP 0, 0
        lda ($F0,x)
        EXPECT $77, 0
        S                       ; izx: ($FE + 1) -> pointer at $FF and $00
        lda #$5C
        sta IZXT
        ldx #$01
        SETUP 0, 0
        lda ($FE,x)
        EXPECT $5C, 0
        S                       ; izx: ($80 + $7F) -> pointer at $FF and $00
        ldx #$7F
        SETUP 0, 0
        lda ($80,x)
        EXPECT $5C, 0

        T                       ; izy: pointer at $FF/$00, +Y crosses a page
        lda #$6D
        sta ABST
        ldy #IDX
        SETUP 0, 0
        lda ($FF),y
        EXPECT $6D, 0
        S                       ; izy: pointer $FFFF + 1 wraps to $0000
        lda #$FF
        sta PTR_A
        sta PTR_A+1
        ldy #$01
        SETUP 0, 0
        lda (PTR_A),y
        EXPECT >IZXT, FN
        S                       ; izy: pointer $9200 + 0, no crossing
        lda #$00
        sta PTR_A
        lda #$92
        sta PTR_A+1
        ldy #$00
        SETUP 0, FZ
        lda (PTR_A),y
        EXPECT $77, 0

        T                       ; an absolute operand split over two pages
        lda #$3C
        sta $9234
        SETUP 0, 0
        jmp split_lda
split_back:
        EXPECT $3C, 0

        T                       ; JMP abs and JMP (ind)
        SETUP 0, FC
        jmp :+
        jmp fail
:       S
        lda #<TRAMP_OK
        sta JIND_PLAIN
        lda #>TRAMP_OK
        sta JIND_PLAIN+1
        jmp (JIND_PLAIN)
jind_ok:
        lda testsub             ; the trampoline comes back here twice
        cmp #2
        beq jind_done
        S                       ; pointer at $A0FF: high byte from $A000
        lda #<TRAMP_OK
        sta JIND_WRAP
        lda #>TRAMP_OK
        sta JIND_WRAP & $FF00
        lda #>TRAMP_BAD
        sta JIND_WRAP + 1
        .byte $6C               ; JMP (JIND_WRAP), page wrap intended
        .word JIND_WRAP
jind_done:

; ---- stores ------------------------------------------------------------------
        T                       ; STA in its seven modes; flags untouched
        lda #0
        sta ZPT
        SETUP $A5, FN|FC
        sta ZPT
        EXPECT $A5, FN|FC
        CHKB ZPT, $A5
        S
        lda #0
        sta ZPT
        ldx #IDX
        SETUP $00, FN|FC
        sta ZPXB,x
        EXPECT $00, FN|FC
        CHKB ZPT, $00
        CHKB $0120, $EE
        S
        lda #0
        sta ABST
        SETUP $5A, FZ
        sta ABST
        EXPECT $5A, FZ
        CHKB ABST, $5A
        S
        lda #0
        sta ABST
        ldx #IDX
        SETUP $81, FV
        sta ABXB,x
        EXPECT $81, FV
        CHKB ABST, $81
        CHKB $9020, $EE
        S
        lda #0
        sta ABST
        ldy #IDX
        SETUP $82, FV
        sta ABXB,y
        EXPECT $82, FV
        CHKB ABST, $82
        CHKB $9020, $EE
        S
        lda #0
        sta IZXT
        ldx #1
        SETUP $83, 0
        sta (IZXO,x)
        EXPECT $83, 0
        CHKB IZXT, $83
        S
        lda #0
        sta ABST
        ldy #IDX
        SETUP $84, FZ|FN
        sta (IZYO),y
        EXPECT $84, FZ|FN
        CHKB ABST, $84

        T                       ; STX zp, zpy, abs
        lda #0
        sta ZPT
        ldx #$91
        SETUP $33, FZ
        stx ZPT
        EXPECT $33, FZ
        CHKB ZPT, $91
        S
        lda #0
        sta ZPT
        ldx #$92
        ldy #IDX
        SETUP $33, 0
        stx ZPXB,y
        EXPECT $33, 0
        CHKB ZPT, $92
        S
        lda #0
        sta ABST
        ldx #$93
        SETUP $33, FN
        stx ABST
        EXPECT $33, FN
        CHKB ABST, $93

        T                       ; STY zp, zpx, abs
        lda #0
        sta ZPT
        ldy #$94
        SETUP $33, FZ
        sty ZPT
        EXPECT $33, FZ
        CHKB ZPT, $94
        S
        lda #0
        sta ZPT
        ldy #$95
        ldx #IDX
        SETUP $33, 0
        sty ZPXB,x
        EXPECT $33, 0
        CHKB ZPT, $95
        S
        lda #0
        sta ABST
        ldy #$96
        SETUP $33, FN
        sty ABST
        EXPECT $33, FN
        CHKB ABST, $96

; ---- transfers -----------------------------------------------------------------
        T                       ; TAX
        ldx #$11
        SETUP $80, FZ|FC
        tax
        EXPECT $80, FN|FC
        EXPX $80
        S                       ; TAY
        ldy #$11
        SETUP $00, FN
        tay
        EXPECT $00, FZ
        EXPY $00
        S                       ; TXA
        ldx #$7F
        SETUP $00, FZ|FN|FV
        txa
        EXPECT $7F, FV
        S                       ; TYA
        ldy #$00
        SETUP $55, 0
        tya
        EXPECT $00, FZ

        T                       ; TSX reads the stack pointer with N/Z
        tsx
        stx saved_s
        ldx #$80
        txs
        ldx #0
        SETUP 0, FZ
        tsx
        EXPECT 0, FN
        EXPX $80
        S                       ; TXS changes no flag
        ldx #$00
        SETUP $33, FN
        txs
        php
        pla
        sta tmp
        tsx
        stx save_x
        ldx saved_s
        txs
        CHKB tmp, FN|FI|FU|FB
        CHKB save_x, $00

; ---- stack -----------------------------------------------------------------
        T                       ; PHA / PLA
        SETUP $80, 0
        pha
        lda #$00                ; sets Z
        pla
        EXPECT $80, FN
        S
        SETUP $00, FN
        pha
        lda #$01
        pla
        EXPECT $00, FZ

        T                       ; PHP pushes B and bit 5, live status kept
        SETUP $33, FN|FV|FZ|FC
        php
        jsr capture
        pla
        sta tmp
        CHKB save_p, FN|FV|FZ|FC|FI|FU|FB
        CHKB tmp, FN|FV|FZ|FC|FI|FU|FB
        S                       ; PLP of $00: bit 5 forced back to 1
        lda #$00
        pha
        plp
        php
        sei
        pla
        sta tmp
        CHKB tmp, FU|FB
        S                       ; PLP of $FF keeps every bit
        lda #$FF
        pha
        plp
        php
        pla
        sta tmp
        cld
        CHKB tmp, $FF

        T                       ; the stack wraps inside page 1
        tsx
        stx saved_s
        lda #$00
        sta $01FF
        ldx #$00
        txs
        lda #$5A
        pha                     ; writes $0100, S -> $FF
        tsx
        stx save_x
        lda #$00
        pla                     ; reads $0100, S -> $00
        sta save_a
        tsx
        stx save_y
stack_wrap_call:
        jsr stack_wrap_sub      ; pushes at $0100 and $01FF
        ldx saved_s
        txs
        CHKB save_x, $FF
        CHKB save_a, $5A
        CHKB save_y, $00
        CHKB tmp, $FE           ; S inside the subroutine
        CHKB $0100, >(stack_wrap_call + 2)
        CHKB $01FF, <(stack_wrap_call + 2)

; ---- flag instructions -----------------------------------------------------
        T
        SETUP $33, 0
        sec
        EXPECT $33, FC
        S
        SETUP $33, FN|FV|FD|FZ|FC
        clc
        EXPECT $33, FN|FV|FD|FZ
        S
        SETUP $33, FC
        sed
        EXPECT $33, FD|FC
        S
        SETUP $33, FN|FV|FD|FZ|FC
        cld
        EXPECT $33, FN|FV|FZ|FC
        S
        SETUP $33, FN|FV|FZ
        clv
        EXPECT $33, FN|FZ
        S                       ; CLI / SEI (a timer interrupt may come in)
        SETUP $33, FC
        cli
        php
        sei
        pla
        sta tmp
        CHKB tmp, FC|FU|FB
        S
        lda #FZ
        pha
        plp
        sei
        php
        pla
        sta tmp
        CHKB tmp, FZ|FI|FU|FB

; ---- branches --------------------------------------------------------------
        BRANCH bpl, FV|FZ|FC, FN
        BRANCH bmi, FN, FV|FZ|FC
        BRANCH bvc, FN|FZ|FC, FV
        BRANCH bvs, FV, FN|FZ|FC
        BRANCH bcc, FN|FV|FZ, FC
        BRANCH bcs, FC, FN|FV|FZ
        BRANCH bne, FN|FV|FC, FZ
        BRANCH beq, FZ, FN|FV|FC

; ---- subroutines, BRK, RTI ---------------------------------------------------
        T                       ; JSR pushes its last byte's address
        tsx
        stx saved_s
        SETUP $33, FN|FC
jsr_site:
        jsr jsr_sub
        EXPECT $44, FN|FC       ; flags kept across JSR and RTS
        CHKB tmp, $01
        CHKB jsr_lo, <(jsr_site + 2)
        CHKB jsr_hi, >(jsr_site + 2)
        tsx
        cpx saved_s
        beq :+
        jmp fail
:
        T                       ; RTI returns exactly to the pulled address
        lda #>rti_target
        pha
        lda #<rti_target
        pha
        lda #(FN|FV|FC|FI)
        pha
        lda #$00
        rti
        jmp fail
rti_target:
        EXPECT $00, FN|FV|FC
        S                       ; the pulled status is taken as it is
        lda #>rti_target2
        pha
        lda #<rti_target2
        pha
        lda #(FZ|FI)
        pha
        rti
rti_target2:
        php
        pla
        sta tmp
        CHKB tmp, FZ|FI|FU|FB

        T                       ; BRK with I clear: handler sees I set, D kept
        lda #0
        sta brk_count
        lda #(FN|FD|FC)
        pha
        lda #$33
        plp
brk_site:
        brk
        .byte $00               ; skipped; if it ran, brk_count would be 2
        php
        sei
        cld
        pla
        sta tmp
        CHKB brk_count, 1
        CHKB brk_pcl, <(brk_site + 2)
        CHKB brk_pch, >(brk_site + 2)
        CHKB brk_p, FN|FD|FC|FU|FB
        CHKB brk_live, FN|FD|FC|FI|FU|FB
        CHKB tmp, FN|FD|FC|FU|FB
        S                       ; BRK runs with I set too
        lda #0
        sta brk_count
        SETUP $33, FZ|FV
brk_site2:
        brk
        .byte $EA
        EXPECT $33, FZ|FV
        CHKB brk_count, 1
        CHKB brk_pcl, <(brk_site2 + 2)
        CHKB brk_pch, >(brk_site2 + 2)
        CHKB brk_p, FZ|FV|FI|FU|FB

; ---- logic and compare through every mode ---------------------------------
        ALU8 ora, $0F, $F0, FZ|FC, $FF, FN|FC
        ALU8 and, $F0, $0F, FN|FV, $00, FZ|FV
        ALU8 eor, $FF, $7F, FZ, $80, FN
        ALU8 cmp, $40, $40, FN|FV, $40, FZ|FC|FV
        ALU8 adc, $7F, $01, FC, $81, FN|FV
        ALU8 sbc, $05, $03, 0, $01, FC

        IMM ora, $00, $00, FN, $00, FZ
        IMM and, $81, $C3, FZ, $81, FN
        IMM eor, $5A, $5A, FN, $00, FZ
        IMM cmp, $01, $FF, FV, $01, FV
        IMM cmp, $80, $00, FZ, $80, FN|FC
        IMM cmp, $00, $80, FC, $00, FN
        IMM cmp, $C0, $C0, FN, $C0, FZ|FC
        IMM cmp, $7F, $80, FZ|FC, $7F, FN

        CMPXY cpx, $01, $FF, FV, FV
        CMPXY cpx, $80, $00, FZ, FN|FC
        CMPXY cpx, $42, $42, FN, FZ|FC
        CMPXY cpy, $00, $80, FC, FN
        CMPXY cpy, $80, $00, FZ, FN|FC
        CMPXY cpy, $42, $42, FN, FZ|FC

        BITT $0F, $C0, 0, FN|FV|FZ
        BITT $01, $01, FN|FV|FC, FC
        BITT $FF, $40, FN|FZ, FV

; ---- binary ADC and SBC ---------------------------------------------------
        IMM adc, $50, $50, 0, $A0, FN|FV
        IMM adc, $80, $80, 0, $00, FV|FZ|FC
        IMM adc, $FF, $FF, FC, $FF, FN|FC
        IMM adc, $7F, $01, 0, $80, FN|FV
        IMM adc, $01, $01, FC, $03, 0
        IMM adc, $FF, $01, FN|FV, $00, FZ|FC
        IMM adc, $C0, $C0, 0, $80, FN|FC

        IMM sbc, $00, $01, FC, $FF, FN
        IMM sbc, $80, $01, FC, $7F, FV|FC
        IMM sbc, $00, $00, 0, $FF, FN
        IMM sbc, $05, $03, FC, $02, FC
        IMM sbc, $7F, $FF, FC, $80, FN|FV
        IMM sbc, $40, $40, FC, $00, FZ|FC

        T                       ; $EB is SBC immediate as well
        SETUP $80, FC
        .byte $EB, $01
        EXPECT $7F, FV|FC
        S
        SETUP $10, FC
        .byte $EB, $01
        EXPECT $0F, FC
        S
        SETUP $00, 0
        .byte $EB, $00
        EXPECT $FF, FN

; ---- decimal ADC and SBC --------------------------------------------------
        ; N comes from the sum before its high-digit correction, V is set by
        ; any corrected sum of $80 or more, Z from the binary sum.
        IMM adc, $99, $01, FD, $00, FD|FN|FV|FC
        IMM adc, $58, $46, FD|FC, $05, FD|FN|FV|FC
        IMM adc, $45, $45, FD, $90, FD|FN|FV
        IMM adc, $79, $00, FD|FC, $80, FD|FN|FV
        IMM adc, $80, $80, FD, $60, FD|FV|FZ|FC
        IMM adc, $99, $99, FD|FC, $99, FD|FV|FC
        IMM adc, $12, $34, FD|FN|FV|FZ, $46, FD
        IMM adc, $0F, $0F, FD, $14, FD
        IMM adc, $00, $00, FD|FN|FV, $00, FD|FZ

        ; All four flags come from the binary subtraction.
        IMM sbc, $00, $01, FD|FC, $99, FD|FN
        IMM sbc, $10, $05, FD|FC, $05, FD|FC
        IMM sbc, $40, $13, FD|FC, $27, FD|FC
        IMM sbc, $32, $02, FD, $29, FD|FC
        IMM sbc, $00, $00, FD|FC, $00, FD|FZ|FC
        IMM sbc, $12, $21, FD|FC, $91, FD|FN
        IMM sbc, $00, $00, FD, $99, FD|FN
        IMM sbc, $80, $01, FD|FC, $79, FD|FV|FC

        T                       ; decimal through a memory operand
        lda #$46
        sta ABST
        ldx #IDX
        SETUP $58, FD|FC
        adc ABXB,x
        EXPECT $05, FD|FN|FV|FC
        S
        lda #$21
        sta ZPT
        SETUP $12, FD|FC
        sbc ZPT
        EXPECT $91, FD|FN

; ---- shifts and rotates ---------------------------------------------------
        SHIFT5 asl, $80, 0, $00, FZ|FC
        SHIFT5 asl, $40, FC|FZ, $80, FN
        SHIFT5 rol, $80, FC, $01, FC
        SHIFT5 rol, $00, FN, $00, FZ
        SHIFT5 rol, $55, FC|FV, $AB, FN|FV
        SHIFT5 lsr, $01, FN, $00, FZ|FC
        SHIFT5 lsr, $FF, FN|FZ, $7F, FC
        SHIFT5 ror, $01, FC, $80, FN|FC
        SHIFT5 ror, $01, 0, $00, FZ|FC
        SHIFT5 ror, $AA, FC|FV, $D5, FN|FV

; ---- increments and decrements --------------------------------------------
        INCDEC4 inc, $FF, FC|FN, $00, FZ|FC
        INCDEC4 inc, $7F, FV, $80, FN|FV
        INCDEC4 dec, $00, FZ, $FF, FN
        INCDEC4 dec, $01, FC, $00, FZ|FC

        T                       ; INX INY DEX DEY
        ldx #$FF
        SETUP $33, FN|FC
        inx
        EXPECT $33, FZ|FC
        EXPX $00
        S
        ldy #$7F
        SETUP $33, FZ
        iny
        EXPECT $33, FN
        EXPY $80
        S
        ldx #$00
        SETUP $33, FZ|FV
        dex
        EXPECT $33, FN|FV
        EXPX $FF
        S
        ldy #$01
        SETUP $33, FN
        dey
        EXPECT $33, FZ
        EXPY $00

; ---- undocumented combined instructions -------------------------------------
        RMW7 slo, $01, $81, 0, $03, FC, $02
        RMW7 slo, $00, $40, FV|FC|FZ, $80, FN|FV, $80
        RMW7 rla, $FF, $80, FC, $01, FC, $01
        RMW7 rla, $0F, $F0, FV, $00, FZ|FC|FV, $E0
        RMW7 sre, $01, $03, 0, $00, FZ|FC, $01
        RMW7 sre, $80, $02, FC|FV, $81, FN|FV, $01
        RMW7 rra, $10, $03, 0, $12, 0, $01
        RMW7 rra, $7F, $02, FC, $00, FZ|FC, $81 ; ROR brings C_in in at bit 7
        RMW7 rra, $09, $02, FD, $10, FD, $01
        RMW7 rra, $09, $03, FD, $11, FD, $01
        RMW7 dcp, $00, $01, FN, $00, FZ|FC, $00
        RMW7 dcp, $FF, $00, 0, $FF, FZ|FC, $FF
        RMW7 dcp, $10, $20, FC|FZ|FV, $10, FN|FV, $1F
        RMW7 isc, $05, $FF, FC, $05, FC, $00
        RMW7 isc, $10, $04, FD|FC, $05, FD|FC, $05
        RMW7 isc, $00, $00, FD|FC, $99, FD|FN, $01
        RMW7 isc, $80, $00, FC, $7F, FV|FC, $01

        T                       ; LAX in its seven forms
        lda #$80
        sta ZPT
        ldx #$00
        SETUP $00, FZ
        lax ZPT
        EXPECT $80, FN
        EXPX $80
        S
        lda #$00
        sta ZPT
        ldy #IDX
        ldx #$55
        SETUP $55, FN|FC
        lax ZPXB,y
        EXPECT $00, FZ|FC
        EXPX $00
        S
        lda #$7E
        sta ABST
        SETUP $00, FZ|FN
        lax ABST
        EXPECT $7E, 0
        EXPX $7E
        S
        lda #$C1
        sta ABST
        ldy #IDX
        SETUP $00, FV
        lax ABXB,y              ; $BF
        EXPECT $C1, FN|FV
        EXPX $C1
        S
        lda #$C2
        sta ABST
        ldy #IDX
        SETUP $00, 0
        .byte $BB               ; LAX aby, same as $BF
        .word ABXB
        EXPECT $C2, FN
        EXPX $C2
        S
        lda #$03
        sta IZXT
        ldx #1
        SETUP $00, 0
        lax (IZXO,x)
        EXPECT $03, 0
        EXPX $03
        S
        lda #$04
        sta ABST
        ldy #IDX
        SETUP $00, 0
        lax (IZYO),y
        EXPECT $04, 0
        EXPX $04

        T                       ; SAX stores A AND X, touches no flag
        lda #$00
        sta ZPT
        ldx #$3C
        SETUP $F0, FN|FZ
        sax ZPT
        EXPECT $F0, FN|FZ
        EXPX $3C
        CHKB ZPT, $30
        S
        lda #$00
        sta ZPT
        ldx #$0F
        ldy #IDX
        SETUP $FF, FC
        sax ZPXB,y
        EXPECT $FF, FC
        CHKB ZPT, $0F
        S
        lda #$00
        sta ABST
        ldx #$81
        SETUP $C3, FV
        sax ABST
        EXPECT $C3, FV
        CHKB ABST, $81
        S
        lda #$00
        sta IZXT
        ldx #1
        SETUP $FF, 0
        sax (IZXO,x)
        EXPECT $FF, 0
        EXPX $01
        CHKB IZXT, $01

; ---- NOP variants ---------------------------------------------------------
        T                       ; one-byte NOPs are one byte long
        ldx #0
        ldy #0
        SETUP 0, 0
        .byte $EA, $E8, $1A, $E8, $3A, $E8, $5A, $E8, $7A, $E8, $DA, $E8
        .byte $FA, $E8, $02, $E8, $12, $E8, $22, $E8, $32, $E8, $42, $E8
        .byte $52, $E8, $62, $E8, $72, $E8, $92, $E8, $B2, $E8, $D2, $E8
        .byte $F2, $E8
        jsr capture
        EXPX 19
        S                       ; ... and change nothing
        ldx #$81
        ldy #$7E
        SETUP $C3, FV|FZ|FC
        .byte $EA, $1A, $3A, $5A, $7A, $DA, $FA, $02, $12, $22, $32, $42
        .byte $52, $62, $72, $92, $B2, $D2, $F2
        EXPECT $C3, FV|FZ|FC
        EXPX $81
        EXPY $7E

        T                       ; two-byte NOPs skip their operand ($E8 = INX)
        lda #<(NOP_AREA + 8)
        sta NOP_PTR
        lda #>(NOP_AREA + 8)
        sta NOP_PTR+1
        ldx #0
        ldy #$20
        SETUP 0, 0
        .byte $80, $E8, $E8, $82, $E8, $E8, $89, $E8, $E8, $C2, $E8, $E8
        .byte $E2, $E8, $E8, $0B, $E8, $E8, $2B, $E8, $E8, $4B, $E8, $E8
        .byte $6B, $E8, $E8, $8B, $E8, $E8, $AB, $E8, $E8, $CB, $E8, $E8
        .byte $04, $E8, $E8, $44, $E8, $E8, $64, $E8, $E8
        .byte $14, $E8, $E8, $34, $E8, $E8, $54, $E8, $E8, $74, $E8, $E8
        .byte $D4, $E8, $E8, $F4, $E8, $E8
        .byte $93, $E8, $E8
        jsr capture
        EXPX 22
        EXPY $20
        S                       ; ... and change nothing
        ldx #$FF
        ldy #$20
        SETUP $FF, FN|FD
        .byte $80, $00, $82, $00, $89, $00, $C2, $00, $E2, $00
        .byte $0B, $FF, $2B, $FF, $4B, $FF, $6B, $FF, $8B, $00, $AB, $00
        .byte $CB, $01, $04, $E8, $44, $E8, $64, $E8, $14, $E8, $34, $E8
        .byte $54, $E8, $74, $E8, $D4, $E8, $F4, $E8, $93, $E8
        EXPECT $FF, FN|FD
        EXPX $FF
        EXPY $20

        T                       ; three-byte NOPs skip both operand bytes
        ldx #0
        ldy #$20
        SETUP 0, 0
        .byte $0C, $E8, $C8, $E8, $1C, $E8, $C8, $E8, $3C, $E8, $C8, $E8
        .byte $5C, $E8, $C8, $E8, $7C, $E8, $C8, $E8, $DC, $E8, $C8, $E8
        .byte $FC, $E8, $C8, $E8, $9C, $E8, $C8, $E8, $9B, $E8, $C8, $E8
        .byte $9E, $E8, $C8, $E8, $9F, $E8, $C8, $E8
        jsr capture
        EXPX 11
        EXPY $20
        S                       ; the store-like NOPs write nothing
        lda #$5A
        sta NOP_AREA + $20      ; $9B $9E $9F: NOP_AREA + Y
        sta NOP_AREA + $FF      ; $9C: NOP_AREA + X
        sta NOP_AREA + 8 + $20  ; $93: (NOP_PTR) + Y
        ldx #$FF
        ldy #$20
        SETUP $FF, FZ|FC
        .byte $93, NOP_PTR
        .byte $9B
        .word NOP_AREA
        .byte $9C
        .word NOP_AREA
        .byte $9E
        .word NOP_AREA
        .byte $9F
        .word NOP_AREA
        .byte $0C
        .word NOP_AREA
        .byte $FC
        .word NOP_AREA
        EXPECT $FF, FZ|FC
        EXPX $FF
        EXPY $20
        CHKB NOP_AREA + $20, $5A
        CHKB NOP_AREA + $FF, $5A
        CHKB NOP_AREA + 8 + $20, $5A

        .assert tno < $FF, error, "check numbers must fit below $FF"

; ---- the end --------------------------------------------------------------
        lda #0
        sta result
        ldx #0
:       lda pass_text,x
        beq finish
        sta CON_OUT
        inx
        bne :-

fail:   sei
        cld
        ldx #$FF
        txs
        lda testnum
        sta result
        ldx #0
:       lda fail_text,x
        beq :+
        sta CON_OUT
        inx
        bne :-
:       lda result
        lsr a
        lsr a
        lsr a
        lsr a
        tax
        lda hex_digits,x
        sta CON_OUT
        lda result
        and #$0F
        tax
        lda hex_digits,x
        sta CON_OUT
        lda #13
        sta CON_OUT
        lda #10
        sta CON_OUT

finish: lda #0                  ; hand the machine back with its default vector
        sta IRQ_VECTOR
        sta IRQ_VECTOR+1
        jmp $0000

; ---- helpers -----------------------------------------------------------------

; Snapshot A X Y and the status byte (as PHP pushes it); changes nothing.
capture:
        php
        sta save_a
        stx save_x
        sty save_y
        pla
        sta save_p
        lda save_a
        rts

; Called by JSR at jsr_site: reports the pushed return address in
; jsr_lo/jsr_hi and its arrival in tmp, returns A = $44 with the caller's
; flags intact.
jsr_sub:
        php
        tsx
        lda $0102,x             ; $0101,x is our own PHP
        sta jsr_lo
        lda $0103,x
        sta jsr_hi
        lda #1
        sta tmp
        lda #$44
        plp
        rts

; Called with S = $00: the return address goes to $0100 and $01FF.
stack_wrap_sub:
        tsx
        stx tmp
        rts

; Timer IRQ or BRK. Tells them apart by B in the pushed status; for BRK it
; records what was pushed and how the status looks inside the handler.
handler:
        php
        pha
        txa
        pha
        tsx                     ; X+1: X, +2: A, +3: live P, +4: pushed P, +5/6: PC
        lda $0104,x
        and #FB
        beq timer
        lda $0103,x
        sta brk_live
        lda $0104,x
        sta brk_p
        lda $0105,x
        sta brk_pcl
        lda $0106,x
        sta brk_pch
        inc brk_count
        jmp handler_out
timer:  inc irq_count
handler_out:
        pla
        tax
        pla
        plp
        rti

pass_text:  .byte "PASS", 13, 10, 0
fail_text:  .byte "FAIL ", 0
hex_digits: .byte "0123456789ABCDEF"

; An LDA abs whose two operand bytes sit on both sides of a page boundary.
        .res ($FE - *) & $FF, $EA
split_lda:
        lda $9234               ; opcode at $xxFE, operand at $xxFF/$(xx+1)00
        jmp split_back
