/* packfile.h: packing and unpacking whole files, and writing them whole. */
#ifndef PACKFILE_H
#define PACKFILE_H

/* mode 1 packs source into destination, mode -1 unpacks it; any other mode
   reads the source and writes nothing. Returns the bytes written to the
   destination (packed length with header, or plain length), 0 on any
   failure: missing or empty source, corrupt stream, Brannic.dll not
   loadable, or a destination that could not be written whole. An existing
   destination is replaced whole, with no old tail left behind. */
int PackFile(int mode, const char *source, const char *destination);

/* Unpacks size bytes of a packed file at packed. With a destination, writes
   the plain content there (as PackFile) and returns its length; without
   one, copies at most capacity bytes of it to buffer, adding nothing, and
   returns how many. 0 on any failure. */
int UnpackBytes(const unsigned char *packed, unsigned size, void *buffer, unsigned capacity,
                const char *destination);

/* Writes length bytes at data to destination from its first byte and cuts
   any longer old content. Returns length, or 0 when the file could not be
   written whole (an incomplete file is then removed unless the write never
   touched an existing one). */
int WriteWhole(const char *destination, const unsigned char *data, unsigned length);

#endif
