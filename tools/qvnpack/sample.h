// sample.h: the built-in sample product, for trying the setup and the tests.
#ifndef QVNPACK_SAMPLE_H
#define QVNPACK_SAMPLE_H

#include <string>

// Writes every file the install plan unpacks and both documents into dir
// (made when missing).
bool Sample(const std::string &dir);

#endif
