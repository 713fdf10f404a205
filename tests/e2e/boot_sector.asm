; A boot sector that announces itself on the first serial port and halts.
; It works wherever the firmware jumps (0000:7C00 or 07C0:0000): only
; relative jumps, and data addressed through DS = 0 with absolute offsets.
bits 16
org 0x7c00

start:
    cli
    xor ax, ax
    mov ds, ax
    mov dx, 0x3f9          ; no interrupts
    out dx, al
    mov dx, 0x3fb          ; divisor latch on
    mov al, 0x80
    out dx, al
    mov dx, 0x3f8          ; 115200 baud
    mov al, 1
    out dx, al
    mov dx, 0x3f9
    xor al, al
    out dx, al
    mov dx, 0x3fb          ; 8 bits, no parity, one stop bit
    mov al, 3
    out dx, al
    mov si, message
.next:
    mov al, [si]
    inc si
    test al, al
    jz .halt
    mov ah, al
    mov dx, 0x3fd
.wait:
    in al, dx
    test al, 0x20
    jz .wait
    mov al, ah
    mov dx, 0x3f8
    out dx, al
    jmp .next
.halt:
    hlt
    jmp .halt

message: db BOOT_MESSAGE, 13, 10, 0

times 510 - ($ - $$) db 0
dw 0xaa55
