// The sample product: small files with some structure, so that they pack
// like real ones, and the documents with CRLF line ends.
#include "sample.h"
#include <stdio.h>
#include "io.h"
#include "product.h"

// Deterministic filler with some structure, so that it packs like real data.
static std::string Filler(const char *magic, size_t n, unsigned seed)
{
    std::string s = magic;
    while (s.size() < n) {
        seed = seed * 1664525u + 1013904223u;
        if ((seed >> 29) == 0) s += std::string(8 + (seed >> 20) % 24, (char)(seed >> 8));
        else s += (char)(seed >> 16);
    }
    s.resize(n);
    return s;
}

bool Sample(const std::string &dir)
{
    const std::string crlf = "\r\n";
    std::string ini = "[Ostrel]" + crlf + "Server=Vell" + crlf + "Clips=KQ" + crlf + "Language=English" + crlf;
    std::string pdf = "%PDF-1.4" + crlf + "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj" + crlf +
                      "2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj" + crlf +
                      "trailer << /Root 1 0 R >>" + crlf + "%%EOF" + crlf;
    std::string license =
        "QUORVANE END USER LICENSE AGREEMENT" + crlf + crlf +
        "1. You may install and use one copy of Quorvane on one computer." + crlf +
        "2. You may not rent, lease or lend the software." + crlf +
        "3. The software is provided as is, without warranty of any kind." + crlf + crlf +
        "Click Yes to accept these terms." + crlf;
    std::string readme =
        "Thank you for choosing Quorvane." + crlf +
        "Start Ostrel from the Start Menu folder Quorvane." + crlf;
    struct { const char *name; std::string data; } files[] = {
        {"Ostrel.exe", Filler("MZ", 24576, 1)},
        {"Ov.INI", ini},
        {"VELLSVR.exe", Filler("MZ", 12288, 2)},
        {"KQSVR.exe", Filler("MZ", 8192, 3)},
        {"OsGuide.pdf", pdf},
        {"KQ1.avi", Filler("RIFF", 32768, 4)},
        {"KQ2.avi", Filler("RIFF", 24576, 5)},
        {"KQ3.avi", Filler("RIFF", 16384, 6)},
        {PRODUCT_LICENSE, license},
        {PRODUCT_READ_FIRST, readme},
    };
    if (!MakeFolders(dir)) {
        fprintf(stderr, "qvnpack: cannot create the folder %s\n", dir.c_str());
        return false;
    }
    for (const auto &f : files)
        if (!WriteText(Where(dir + "/" + f.name), f.data)) return false;
    return true;
}
