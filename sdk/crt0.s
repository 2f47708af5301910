; crt0.s - start-up code for C programs on the emu6502 machine.
;
; The image is loaded at $0200 and started there, so STARTUP must be the
; first segment in the image (emu6502.cfg puts it first).  DATA is loaded
; in place with the image, so nothing needs copying; BSS is zeroed here.

        .export         __STARTUP__ : absolute = 1  ; referenced by cc65's main
        .export         _exit
        .import         initlib, donelib, zerobss, callmain
        .import         __STACKTOP__                ; from emu6502.cfg
        .include        "zeropage.inc"

        .segment        "STARTUP"

start:  sei                     ; no IRQ handler: with the default vector
                                ; ($0000) the first timer tick would send the
                                ; processor into whatever memory holds there
        cld
        ldx     #$FF            ; fresh hardware stack
        txs
        lda     #<__STACKTOP__  ; C stack grows down from just below the
        sta     sp              ; device page
        lda     #>__STACKTOP__
        sta     sp+1
        jsr     zerobss
        jsr     initlib         ; constructors (e.g. the heap's set-up)
        jsr     callmain        ; main(0, NULL); its result is in A/X

; void exit(int status): run destructors and atexit functions, then end the
; run; the emulator stops when pc reaches $0000.  A/X keep the status, so
; A holds its low byte at the end: "emu6502 --exit-status" exits with it.
; main's return value arrives here the same way.
_exit:  pha
        txa
        pha
        jsr     donelib
        pla
        tax
        pla
        jmp     $0000
