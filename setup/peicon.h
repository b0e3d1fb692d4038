/* peicon.h: the icon image of a program file, found in its bytes.
 *
 * Pure (no system call): the setup takes the page icon from a program's
 * bytes that it has already read and checked, and the fuzzer runs the
 * same code natively.
 */
#ifndef QVN_PEICON_H
#define QVN_PEICON_H

/* Largest icon image taken; anything longer is refused. */
#define PEICON_MAX_IMAGE (1ul << 20)

/* Finds, in the PE32 or PE32+ file of size bytes at image (as it lies on
   disk), the first icon group's image whose width is nearest want pixels
   and returns 1 with the image's place inside image: *offset and *length,
   offset + length <= size. The image starts with a BITMAPINFOHEADER whose
   pixels and mask fit length, or with a PNG signature and its IHDR chunk:
   the bytes CreateIconFromResourceEx takes. Returns 0, leaving *offset and
   *length 0, when the file carries no icon or anything on the way is
   malformed. */
int PeIconFind(const unsigned char *image, unsigned long size, unsigned want, unsigned long *offset,
               unsigned long *length);

#endif
