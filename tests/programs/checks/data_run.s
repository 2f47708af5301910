; Runs bytes that were declared as data.
.segment "CODE"
        jmp     table
.segment "RODATA"
table:  .byte   $A9, $01, $4C, $00, $00     ; LDA #1; JMP $0000
