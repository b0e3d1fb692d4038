// medium.h: a distribution medium laid out and verified.
#ifndef QVNPACK_MEDIUM_H
#define QVNPACK_MEDIUM_H

#include <string>
#include "sign.h"

// Lays the medium: every packed file of the plan and both documents from
// product, extra[0] as Brannic.dll, the further files under their names
// (the setup program with the medium's list filled), SHA256SUMS. Built in
// a private folder beside medium and moved into place only when whole.
bool Medium(const std::string &product, const std::string &medium, char **extra, int nExtra,
            const Signer &signer);

// Checks a medium; with ca, both programs' signatures against it. Reports
// each fault.
bool Verify(const std::string &medium, const std::string &ca);

#endif
