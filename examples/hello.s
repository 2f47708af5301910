; hello.s - the smallest program for the machine: print a greeting through
; the console register and end the run by jumping to 0x0000.
CON_OUT = $FF01

        .org $0200
start:  ldx #0
loop:   lda message,x
        beq done
        sta CON_OUT
        inx
        bne loop
done:   jmp $0000

message:
        .byte "Hello from the 6502!", 13, 10, 0
