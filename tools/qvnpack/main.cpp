// qvnpack: makes and reads packed files on Linux, and lays out and checks a
// distribution medium.
//
//   qvnpack pack SOURCE DESTINATION
//   qvnpack unpack SOURCE DESTINATION
//   qvnpack sample FOLDER                 write the built-in sample product
//   qvnpack medium PRODUCT MEDIUM BRANNIC [FILE...] [--sign CERT KEY | --sign-command 'CMD {in} {out}']
//       lay MEDIUM: pack every product file of the install plan and both
//       documents from PRODUCT into it, copy BRANNIC under the name
//       Brannic.dll, copy each further FILE (the setup program, iQvn.exe) as
//       it is, and write SHA256SUMS (sha256sum -c checks it) over all of them.
//       The setup program's copy (InstallQvn.exe) gets the medium's list:
//       the SHA-256 of Brannic.dll, iQvn.exe and every packed file, as they
//       lie on the medium; that setup uses no file of its medium that does
//       not match. With --sign, Brannic.dll is signed (Authenticode, SHA-256,
//       by osslsigncode) before its digest is taken, and the setup program
//       after its list is filled; --sign-command runs CMD (by the shell, with
//       {in} and {out} replaced by quoted paths) at the same two points.
//       MEDIUM must not exist, or be an empty folder of the caller's that
//       neither group nor others may write. The medium is built in a private
//       folder (mode 0700) beside it and moved into place only when whole;
//       every digest is taken over the bytes written there or read once
//       from the signer's output, never from a file read again by name.
//   qvnpack verify MEDIUM [--ca CERT]
//       every packed file of the plan unpacks as the setup would unpack it,
//       to the length its header gives, SHA256SUMS lists Brannic.dll and
//       every packed file and matches every file it lists, and the setup
//       program's list names Brannic.dll, iQvn.exe and every packed file,
//       each as it lies on the medium. With --ca, Brannic.dll and
//       InstallQvn.exe must carry valid signatures that chain to CERT;
//       without, it says whether each is signed.
//
// A plain file holds 1 to 4,294,967,295 bytes (the format's 4-byte length
// field); the packed file may be any size. Inputs must be regular files. A
// regular output of pack, unpack and sample is written to a temporary file
// beside it and renamed into place only when complete, so a failure leaves
// what was there; a device node or FIFO is written directly.
#include <stdio.h>
#include <string>
#include "codec.h"
#include "medium.h"
#include "sample.h"
#include "sign.h"

int main(int argc, char **argv)
{
    // The options, wherever they stand; the rest stays in order.
    Signer signer;
    std::string ca;
    int n = 0;
    bool bad = false;
    for (int i = 0; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--sign" && i + 2 < argc) signer.cert = argv[++i], signer.key = argv[++i];
        else if (a == "--sign-command" && i + 1 < argc) signer.command = argv[++i];
        else if (a == "--ca" && i + 1 < argc) ca = argv[++i];
        else if (a.rfind("--", 0) == 0) bad = true;
        else argv[n++] = argv[i];
    }
    argc = bad || (!signer.cert.empty() && !signer.command.empty()) ? 0 : n;
    std::string cmd = argc > 1 ? argv[1] : "";
    bool plain = !signer.On() && ca.empty(), ok;
    if (cmd == "pack" && argc == 4 && plain)
        ok = Pack(argv[2], Where(argv[3]));
    else if (cmd == "unpack" && argc == 4 && plain)
        ok = Unpack(argv[2], argv[3]);
    else if (cmd == "sample" && argc == 3 && plain)
        ok = Sample(argv[2]);
    else if (cmd == "medium" && argc >= 5 && ca.empty())
        ok = Medium(argv[2], argv[3], argv + 4, argc - 4, signer);
    else if (cmd == "verify" && argc == 3 && !signer.On())
        ok = Verify(argv[2], ca);
    else {
        fprintf(stderr, "usage: qvnpack pack|unpack SOURCE DESTINATION\n"
                        "       qvnpack sample FOLDER\n"
                        "       qvnpack medium PRODUCT MEDIUM BRANNIC [FILE...] [--sign CERT KEY | --sign-command 'CMD {in} {out}']\n"
                        "       qvnpack verify MEDIUM [--ca CERT]\n"
                        "A plain file holds 1 to 4,294,967,295 bytes; the packed file may be any size.\n");
        return 2;
    }
    return ok ? 0 : 1;
}
