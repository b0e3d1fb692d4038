// codec.h: packed files made and read as streams, in fixed chunks, so
// memory stays small whatever the file's size. The format is the setup's:
// the plain length (4 bytes, little-endian) and one zlib stream, made as
// zlib's compress makes it.
#ifndef QVNPACK_CODEC_H
#define QVNPACK_CODEC_H

#include <string>
#include "io.h"

// The largest plain file: what the 4-byte length field holds. The packed
// file may be any size.
const unsigned long long kPlainMax = 0xFFFFFFFFull;

// Packs src into dst; the SHA-256 of the bytes written into *sum unless
// null. False with a message on any failure (dst as it was).
bool Pack(const std::string &src, const Where &dst, std::string *sum = 0);

// Inflates the packed file src as the setup does, to dst unless null.
// Accepts exactly what the setup accepts: a length of 1 to kPlainMax that
// the stream can hold, and one complete zlib stream that inflates to that
// length. Returns false with a message saying why not (dst as it was).
bool Unpack(const std::string &src, const char *dst);

#endif
