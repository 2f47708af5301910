; irq.s - the timer interrupt for C programs that need it.
;
; The start-up code leaves interrupts off.  When a program links code that
; must run on the timer's tick (clock(), or a handler set with cc65's
; set_irq()), cc65's library calls initirq before main and doneirq at the
; end: the IRQ vector then points here while the program runs, and is given
; back afterwards.  Each tick runs the program's interrupt routines (cc65's
; "interruptors") and returns.  A BRK goes on to the vector that was there
; before, so with the machine's default (0x0000) it still ends the run.

        .export         initirq, doneirq
        .import         callirq
        .include        "emu6502.inc"

        .bss

previous:       .res    2       ; the IRQ vector found at start

        .code

initirq:
        lda     IRQ_VECTOR
        sta     previous
        lda     IRQ_VECTOR+1
        sta     previous+1
        lda     #<interrupt
        sta     IRQ_VECTOR
        lda     #>interrupt
        sta     IRQ_VECTOR+1
        cli
        rts

doneirq:
        sei
        lda     previous
        sta     IRQ_VECTOR
        lda     previous+1
        sta     IRQ_VECTOR+1
        rts

interrupt:
        pha
        txa
        pha
        tya
        pha
        tsx
        lda     $0104,x         ; the status pushed by the processor
        and     #$10            ; B: a BRK, not the timer
        bne     @brk
        jsr     callirq
        pla
        tay
        pla
        tax
        pla
        rti
@brk:   pla
        tay
        pla
        tax
        pla
        jmp     (previous)
