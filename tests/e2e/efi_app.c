/* A UEFI application that announces itself and halts: once through the
   console (OVMF mirrors it on the serial port) and once straight on COM1, so
   that the line arrives even where the console goes elsewhere. Built with the
   x86_64 mingw-w64 compiler as a PE32+ image of subsystem 10. */
typedef unsigned long long u64;
typedef unsigned short u16;

struct text_output {
    u64 reset;
    u64 (*output_string)(struct text_output *self, const u16 *text);
};

/* The start of EFI_SYSTEM_TABLE up to ConOut. */
struct system_table {
    char header[24];
    u16 *firmware_vendor;
    unsigned firmware_revision;
    void *console_in_handle;
    void *console_in;
    void *console_out_handle;
    struct text_output *console_out;
};

static void to_com1(const char *s)
{
    for (; *s; ++s) {
        unsigned char status;
        do
            __asm__ volatile("inb %1, %0" : "=a"(status) : "Nd"((u16)0x3FD));
        while (!(status & 0x20));
        __asm__ volatile("outb %0, %1" : : "a"(*s), "Nd"((u16)0x3F8));
    }
}

u64 efi_main(void *image, struct system_table *system)
{
    static const u16 line[] = u"TARNWICK UEFI BOOT OK\r\n";
    (void)image;
    system->console_out->output_string(system->console_out, line);
    to_com1("TARNWICK UEFI BOOT OK\r\n");
    for (;;)
        __asm__ volatile("hlt");
    return 0;
}
