// qvnpack: makes and reads packed files on Linux, and lays out a
// distribution medium.
//
//   qvnpack pack SOURCE DESTINATION
//   qvnpack unpack SOURCE DESTINATION
//   qvnpack sample FOLDER                 write the built-in sample product
//   qvnpack medium PRODUCT MEDIUM BRANNIC [FILE...]
//       pack every product file of the install plan and both documents from
//       PRODUCT into MEDIUM, copy BRANNIC (Brannic.dll) as it is, and copy
//       each further FILE (the setup program, iQvn.exe) as it is.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>
#include "packcore.h"
#include "qel.h"

static const ZlibCalls kZlib = {compress, uncompress, compressBound};

// The files the setup unpacks, in install order, then its two documents.
static const char *const kPacked[] = {
    "Ostrel.exe", "Ov.INI", "VELLSVR.exe", "KQSVR.exe", "OsGuide.pdf",
    "KQ1.avi", "KQ2.avi", "KQ3.avi", "LicenseQvn.txt", "ReadfirstQvn.txt",
};

static bool ReadAll(const std::string &path, std::vector<unsigned char> &out)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return false;
    out.clear();
    unsigned char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

static bool WriteAll(const std::string &path, const void *data, size_t n)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(data, 1, n, f) == n;
    return fclose(f) == 0 && ok;
}

static bool WriteText(const std::string &path, const std::string &s)
{
    return WriteAll(path, s.data(), s.size());
}

// Packs (mode 1) or unpacks (mode -1) one file; false on any failure.
static bool Convert(int mode, const std::string &src, const std::string &dst)
{
    std::vector<unsigned char> in;
    if (!ReadAll(src, in) || in.empty() || in.size() > PACK_MAX_LENGTH) {
        fprintf(stderr, "qvnpack: cannot read %s\n", src.c_str());
        return false;
    }
    unsigned length = 0;
    unsigned char *out = mode == 1 ? PackBlock(&kZlib, in.data(), (unsigned)in.size(), &length)
                                   : UnpackBlock(&kZlib, in.data(), (unsigned)in.size(), &length);
    if (!out) {
        fprintf(stderr, "qvnpack: %s is not a valid %s file\n", src.c_str(), mode == 1 ? "plain" : "packed");
        return false;
    }
    bool ok = WriteAll(dst, out, length);
    qelMemBank(0, (intptr_t)out);
    if (!ok) fprintf(stderr, "qvnpack: cannot write %s\n", dst.c_str());
    return ok;
}

static bool Copy(const std::string &src, const std::string &dst)
{
    std::vector<unsigned char> data;
    if (!ReadAll(src, data) || !WriteAll(dst, data.data(), data.size())) {
        fprintf(stderr, "qvnpack: cannot copy %s to %s\n", src.c_str(), dst.c_str());
        return false;
    }
    return true;
}

static std::string BaseName(const std::string &path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

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

static bool Sample(const std::string &dir)
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
        {"LicenseQvn.txt", license},
        {"ReadfirstQvn.txt", readme},
    };
    for (const auto &f : files)
        if (!WriteText(dir + "/" + f.name, f.data)) {
            fprintf(stderr, "qvnpack: cannot write %s/%s\n", dir.c_str(), f.name);
            return false;
        }
    return true;
}

static bool Medium(const std::string &product, const std::string &medium, char **extra, int nExtra)
{
    for (const char *name : kPacked)
        if (!Convert(1, product + "/" + name, medium + "/" + name)) return false;
    for (int i = 0; i < nExtra; i++)
        if (!Copy(extra[i], medium + "/" + BaseName(extra[i]))) return false;
    return true;
}

int main(int argc, char **argv)
{
    std::string cmd = argc > 1 ? argv[1] : "";
    bool ok;
    if ((cmd == "pack" || cmd == "unpack") && argc == 4)
        ok = Convert(cmd == "pack" ? 1 : -1, argv[2], argv[3]);
    else if (cmd == "sample" && argc == 3)
        ok = Sample(argv[2]);
    else if (cmd == "medium" && argc >= 5)
        ok = Medium(argv[2], argv[3], argv + 4, argc - 4);
    else {
        fprintf(stderr, "usage: qvnpack pack|unpack SOURCE DESTINATION\n"
                        "       qvnpack sample FOLDER\n"
                        "       qvnpack medium PRODUCT MEDIUM BRANNIC [FILE...]\n");
        return 2;
    }
    return ok ? 0 : 1;
}
