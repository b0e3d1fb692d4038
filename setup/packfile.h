/* packfile.h: packing and unpacking whole files on disk. */
#ifndef PACKFILE_H
#define PACKFILE_H

/* mode 1 packs source into destination, mode -1 unpacks it; any other mode
   reads the source and writes nothing. Returns the bytes written to the
   destination (packed length with header, or plain length), 0 on any
   failure: missing or empty source, a source the medium's list does not
   vouch for (unpacking), corrupt stream, Brannic.dll not loadable or not
   vouched for, or a destination that could not be written whole. An existing
   destination is replaced whole, with no old tail left behind. */
int PackFile(int mode, const char *source, const char *destination);

/* Unpacks the packed file source in memory and copies at most capacity
   bytes of its plain content to buffer, adding nothing. Writes no file.
   Returns the number of bytes copied, 0 on any failure (as PackFile). */
int UnpackInto(const char *source, void *buffer, unsigned capacity);

/* With a filled medium's list: writes the Brannic.dll that this process
   checked and loaded (loading it first if need be) to destination, whole.
   Returns the bytes written, 0 when it was refused or cannot be written. */
int InstallBrannic(const char *destination);

/* The zlib calls of the Brannic.dll this process checked and loaded
   (loading it first if need be); 0 when it is refused or cannot be loaded. */
struct ZlibCalls;
const ZlibCalls *BrannicCalls(void);

#endif
