/*
 * files.c - open(), close() and the file side of read() and write() on the
 * machine's data-file channel, for cc65's stdio (fopen, fread, fgets,
 * fprintf, fclose...).
 *
 * The channel has one file at a time: "file0" ... "file255" (a name may
 * also be just the number), descriptor 3.  What the channel cannot do, and
 * how it shows:
 * - It opens a file on its first access, creating it if it is missing, so
 *   open() makes that access (it reads the first byte, kept for read())
 *   and, if the byte is the end-of-file mark, closes the file again to
 *   learn from the close status whether the device could open it at all.
 * - A byte 0xFF reads as the end of the file.
 * - It cannot shorten a file: O_TRUNC ("w") overwrites the old contents
 *   and, at close, covers what is left of them with 0xFF bytes, so the
 *   file reads back as exactly what was written; O_APPEND ("a") writes
 *   right after the contents, over the first 0xFF byte if there is one.
 * - It cannot seek: it only starts a file again at its first byte.  So
 *   lseek() (and with it ftell, rewind, fseek) tells the position and goes
 *   back to the start; other moves fail with ESPIPE.
 */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>
#include "emu6502.h"

#define FILE_FD 3

/* console.s passes the descriptors other than 0-2 on to these. */
extern int __fastcall__ (*emu_fd_read)(int fd, void* buf, unsigned count);
extern int __fastcall__ (*emu_fd_write)(int fd, const void* buf, unsigned count);

static unsigned char open_flags;    /* as given to open(); 0: none open */
static unsigned char device_open;   /* accessed since the device's last close */
static unsigned char first;         /* the first byte, read by open() */
static unsigned char have_first;    /* ... and not yet passed to read() */
static unsigned char at_end;        /* the device said end of file */
static unsigned long position;      /* bytes read or written since open() */
static unsigned long old_length;    /* O_TRUNC: the old contents to cover */

/* "fileN" or "N", N = 0-255 in decimal as the host names it: no sign, no
 * leading zero; -1 for any other name. */
static int file_number(const char* name)
{
    unsigned number = 0;
    if (strncmp(name, "file", 4) == 0) {
        name += 4;
    }
    if (*name == '\0' || (*name == '0' && name[1] != '\0')) {
        return -1;
    }
    for (; *name != '\0'; ++name) {
        if (*name < '0' || *name > '9') {
            return -1;
        }
        number = number * 10 + (*name - '0');
        if (number > 255) {
            return -1;
        }
    }
    return number;
}

/* Closes the device's file: 0, or 0xFF when the device could not open it
 * or dropped a write.  Without an access since the last close there is
 * nothing to close (and the register would read back the file number). */
static unsigned char device_close(void)
{
    if (!device_open) {
        return 0;
    }
    device_open = 0;
    return FILE_SELECT;
}

static unsigned char device_read(void)
{
    device_open = 1;
    return FILE_READ;
}

/* The rest of the file, counted (it ends at the first 0xFF). */
static unsigned long count_rest(void)
{
    unsigned long n = 0;
    while (device_read() != 0xFF) {
        ++n;
    }
    return n;
}

static int fail(unsigned char code)
{
    errno = code;
    return -1;
}

static int __fastcall__ file_read(int fd, void* buf, unsigned count)
{
    unsigned char* to = buf;
    unsigned n = 0;
    unsigned char c;

    if (fd != FILE_FD || (open_flags & O_RDONLY) == 0) {
        return fail(EBADF);
    }
    while (n < count) {
        if (have_first) {
            c = first;
            have_first = 0;
        } else if (at_end) {
            break;
        } else if ((c = device_read()) == 0xFF) {
            at_end = 1; /* from now on without asking the device again */
            break;
        }
        to[n++] = c;
        ++position;
    }
    return n;
}

static int __fastcall__ file_write(int fd, const void* buf, unsigned count)
{
    const unsigned char* from = buf;
    unsigned n;

    if (fd != FILE_FD || (open_flags & O_WRONLY) == 0) {
        return fail(EBADF);
    }
    if (have_first) {
        /* The device is one byte ahead of position 0: start it again. */
        have_first = 0;
        if (device_close() != 0) {
            return fail(EIO);
        }
    }
    device_open = 1;
    for (n = 0; n < count; ++n) {
        FILE_WRITE = from[n];
    }
    position += count;
    return count;
}

int open(const char* name, int flags, ...)
{
    int number;

    if (open_flags != 0) {
        return fail(EMFILE);
    }
    number = file_number(name);
    if (number < 0) {
        return fail(ENOENT);
    }
    if ((flags & O_RDWR) == 0) {
        return fail(EINVAL);
    }
    (void)FILE_SELECT; /* closes a file the emu_file_* calls left open */
    FILE_SELECT = number;
    position = 0;
    old_length = 0;
    at_end = 0;
    first = device_read();
    have_first = first != 0xFF;
    if (!have_first) {
        /* Empty, or not there for the device: its close status tells. */
        if (device_close() != 0) {
            return fail(EIO);
        }
        at_end = 1;
    }
    if ((flags & O_EXCL) && have_first) {
        device_close();
        return fail(EEXIST);
    }
    if (flags & O_TRUNC) {
        if (have_first) {
            old_length = 1 + count_rest();
            have_first = 0;
            device_close(); /* writing starts again at the start */
        }
        at_end = 1;
    } else if (flags & O_APPEND) {
        if (have_first) {
            /* The device has read the end mark too when it is a 0xFF byte
             * (what a "w" left of a longer file): it starts again and
             * skips the contents, to stand right after them. */
            position = 1 + count_rest();
            have_first = 0;
            if (device_close() != 0) {
                return fail(EIO);
            }
            for (old_length = 0; old_length < position; ++old_length) {
                (void)device_read();
            }
            old_length = 0;
        }
        at_end = 1;
    }
    open_flags = flags;
    emu_fd_read = file_read;
    emu_fd_write = file_write;
    return FILE_FD;
}

off_t __fastcall__ lseek(int fd, off_t offset, int whence)
{
    if (fd != FILE_FD || open_flags == 0) {
        return fail(fd < FILE_FD ? ESPIPE : EBADF);
    }
    if (offset == 0 && whence == SEEK_CUR) {
        return position;
    }
    /* Back to the start, where the device opens a file again; not after
     * O_TRUNC (the old contents are there to read) or with O_APPEND. */
    if (offset != 0 || whence != SEEK_SET || (open_flags & (O_TRUNC | O_APPEND))) {
        return fail(ESPIPE);
    }
    have_first = 0;
    at_end = 0;
    position = 0;
    if (device_close() != 0) {
        return fail(EIO);
    }
    return 0;
}

int __fastcall__ close(int fd)
{
    unsigned char status;

    if (fd < FILE_FD) {
        return 0; /* the console stays */
    }
    if (fd != FILE_FD || open_flags == 0) {
        return fail(EBADF);
    }
    if (open_flags & O_TRUNC) {
        for (; position < old_length; ++position) {
            device_open = 1;
            FILE_WRITE = 0xFF;
        }
    }
    open_flags = 0;
    have_first = 0;
    status = device_close();
    if (status != 0) {
        return fail(EIO); /* a write was dropped */
    }
    return 0;
}
