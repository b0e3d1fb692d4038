/* packfile.h: packing and unpacking whole files, and Brannic.dll's calls. */
#ifndef PACKFILE_H
#define PACKFILE_H

/* mode 1 packs source into destination, mode -1 unpacks it; any other mode
   reads the source and writes nothing. Returns the bytes written to the
   destination (packed length with header, or plain length), 0 on any
   failure: missing or empty source, corrupt stream, Brannic.dll not
   loadable, or a destination that could not be written whole. An existing
   destination is replaced whole, with no old tail left behind. */
int PackFile(int mode, const char *source, const char *destination);

/* The zlib calls of the Brannic.dll this process checked and loaded
   (loading it first if need be); 0 when it is refused or cannot be loaded. */
struct ZlibCalls;
const ZlibCalls *BrannicCalls(void);

#endif
