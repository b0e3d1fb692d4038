// sign.h: programs signed by osslsigncode or the release engineer's own
// command, from bytes in memory to bytes in memory.
#ifndef QVNPACK_SIGN_H
#define QVNPACK_SIGN_H

#include <string>
#include <vector>

// How programs are signed: osslsigncode with a certificate and key, or the
// release engineer's own command; neither: not signed.
struct Signer {
    std::string cert, key, command;
    bool On() const { return !cert.empty() || !command.empty(); }
};

// Runs argv; true when it exits 0. What it prints is shown only when it
// fails, on standard error.
bool Run(const std::vector<std::string> &argv);

// Signs the program bytes (shown as name) into *signed_. The signer works
// in a new folder (mode 0700) inside folder, which must be one that only
// this user may write; its output is opened once, without following a link,
// and read through that one descriptor, so the bytes returned are the ones
// the signer left, whatever happens to its file afterwards.
bool Sign(const Signer &signer, const std::string &folder, const std::string &name,
          const std::vector<unsigned char> &bytes, std::vector<unsigned char> *signed_);

#endif
