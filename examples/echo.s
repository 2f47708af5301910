; echo.s - keyboard echo: prints every key typed until Enter or 'q'.
;
; Build:  sdk/build.sh examples/echo.bin examples/echo.s
; Run:    build/emu6502 examples/echo.bin            (type, then Enter)
;         echo hello | build/emu6502 examples/echo.bin -i

        .include "emu6502.inc"

        .code
start:  sei                     ; no IRQ handler installed
        PUTS    prompt
next:   GETKEY                  ; waits: KBD_IN reads 0 until a key comes
        cmp     #KEY_ENTER
        beq     done
        cmp     #LF             ; piped input ends its lines with LF
        beq     done
        cmp     #'q'
        beq     done
        sta     CON_OUT
        jmp     next
done:   PUTS    goodbye
        END_RUN

        .rodata
prompt: .byte   "Type something (Enter or q ends):", CR, LF, 0
goodbye:
        .byte   CR, LF, "Bye.", CR, LF, 0
