// A medium laid out in a private folder and moved into place whole, and
// a medium verified as the setup would find it.
#include "medium.h"
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <iterator>
#include <map>
#include "codec.h"
#include "io.h"
#include "pelist.h"
#include "product.h"

// The files the setup unpacks, in install order, then its two documents.
static std::vector<std::string> PackedNames()
{
    std::vector<std::string> names;
    for (const ProductFile &row : kProductPlan)
        if (row.action == kUnpack) names.push_back(row.name);
    names.insert(names.end(), std::begin(kProductDocuments), std::end(kProductDocuments));
    return names;
}
static const std::vector<std::string> kPacked = PackedNames();
// The setup loads zlib from this file beside it; without it nothing unpacks.
static const char kBrannic[] = PRODUCT_BRANNIC;
// The setup program, which carries the medium's list, and its icon file.
static const char kSetup[] = PRODUCT_SETUP;
static const char kIcon[] = PRODUCT_ICON_FILE;

// The files a list holds, by name, with their digests in hexadecimal.
typedef std::map<std::string, std::string> Sums;

// Whether the setup reads name from its medium, so that its list names it.
static bool Listed(const std::string &name)
{
    return name == kBrannic || name == kIcon || std::find(kPacked.begin(), kPacked.end(), name) != kPacked.end();
}

// Fills the list of the setup program's bytes (path: where they came from)
// with the listed files of sums.
static bool FillList(std::vector<unsigned char> &image, const std::string &path, const Sums &sums)
{
    std::vector<std::string> digests;
    std::vector<PeListEntry> entries;
    for (const auto &e : sums)
        if (Listed(e.first)) digests.push_back(Sha256::FromHex(e.second));
    for (const auto &e : sums)
        if (Listed(e.first))
            entries.push_back({e.first.data(), e.first.size(),
                               (const unsigned char *)digests[entries.size()].data()});
    int status = PeListFill(image.data(), image.size(), entries.data(), entries.size());
    if (status == kPeListOk) return true;
    fprintf(stderr, "qvnpack: %s: %s\n", path.c_str(), PeListReason(status));
    return false;
}

// The medium's folder: built private beside the target, moved into place
// by Commit, removed with everything in it otherwise.
struct Place {
    std::string target, folder;
    int dir = -1;
    bool existed = false;
    struct stat old;

    ~Place()
    {
        if (dir < 0) return;
        EmptyFolder(dir);
        close(dir);
        rmdir(folder.c_str());
    }

    bool Refuse(const std::string &why)
    {
        fprintf(stderr, "qvnpack: cannot lay the medium in %s: %s; give a folder that does not exist yet, "
                        "or an empty one of your own that only you may write\n", target.c_str(), why.c_str());
        return false;
    }

    // The target must not exist, or be an empty folder of this user's that
    // neither group nor others may write. Nothing is made before it passes.
    bool Prepare(const std::string &medium)
    {
        target = medium;
        while (target.size() > 1 && target.back() == '/') target.pop_back();
        size_t slash = target.find_last_of('/');
        std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
        std::string base = target.substr(slash + 1);
        if (base.empty() || base == "." || base == "..") return Refuse("not a name for a folder");
        if (lstat(target.c_str(), &old) == 0) {
            if (!S_ISDIR(old.st_mode)) return Refuse(std::string("it is ") + Kind(old.st_mode));
            int fd = open(target.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            DIR *d = fd >= 0 && fstat(fd, &old) == 0 ? fdopendir(fd) : 0;
            if (!d) {
                if (fd >= 0) close(fd);
                return Refuse(strerror(errno));
            }
            int entries = 0;
            while (struct dirent *e = readdir(d)) entries += strcmp(e->d_name, ".") && strcmp(e->d_name, "..");
            closedir(d);
            char why[80];
            if (old.st_uid != geteuid())
                return snprintf(why, sizeof why, "it belongs to another user (uid %u)", (unsigned)old.st_uid),
                       Refuse(why);
            if (old.st_mode & 022)
                return snprintf(why, sizeof why, "group or others may write it (mode %04o)",
                                (unsigned)(old.st_mode & 07777)),
                       Refuse(why);
            if (entries) return Refuse("it is not empty");
            existed = true;
        } else if (errno != ENOENT) {
            return Refuse(strerror(errno));
        } else if (!MakeFolders(parent)) {
            fprintf(stderr, "qvnpack: cannot create the folder %s\n", parent.c_str());
            return false;
        }
        folder = parent + "/." + base + ".XXXXXX";
        if (!mkdtemp(&folder[0])) {
            fprintf(stderr, "qvnpack: cannot create a folder beside %s: %s\n", target.c_str(), strerror(errno));
            return false;
        }
        dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dir >= 0) return true;
        fprintf(stderr, "qvnpack: cannot open %s: %s\n", folder.c_str(), strerror(errno));
        rmdir(folder.c_str());
        return false;
    }

    Where At(const std::string &name) const { return Where(dir, name, target + "/" + name); }

    // Opens the folder to others as a new folder (or the one replaced) was,
    // and moves it into place; never over anything but the empty folder
    // that Prepare checked.
    bool Commit()
    {
        mode_t mask = umask(0);
        umask(mask);
        if (fchmod(dir, existed ? old.st_mode & 07777 : 0777 & ~mask) != 0 || fsync(dir) != 0) {
            fprintf(stderr, "qvnpack: cannot finish %s: %s\n", folder.c_str(), strerror(errno));
            return false;
        }
        struct stat now;
        if (existed && (lstat(target.c_str(), &now) != 0 || now.st_dev != old.st_dev || now.st_ino != old.st_ino))
            return Refuse("it was replaced while the medium was laid");
        int rc = existed ? rename(folder.c_str(), target.c_str())
                         : renameat2(AT_FDCWD, folder.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
        if (rc != 0)
            return Refuse(errno == EEXIST || errno == ENOTEMPTY ? "something was put there while the medium was laid"
                                                                 : strerror(errno));
        close(dir);
        dir = -1;
        return true;
    }
};

// Puts bytes on the medium as name, signed first when asked; the SHA-256
// of the bytes written into *sum.
static bool PutProgram(const Signer &signer, const Place &place, const std::string &name,
                       std::vector<unsigned char> &bytes, std::string *sum)
{
    std::vector<unsigned char> signed_;
    if (signer.On()) {
        if (!Sign(signer, place.folder, name, bytes, &signed_)) return false;
        bytes.swap(signed_);
    }
    *sum = Sha256::Of(bytes);
    return WriteBytes(place.At(name), bytes.data(), bytes.size());
}

bool Medium(const std::string &product, const std::string &medium, char **extra, int nExtra,
            const Signer &signer)
{
    // Every further file is opened and checked before anything is made. The
    // first is Brannic.dll on the medium, whatever its own name; the setup
    // program comes last, when every digest of its list is known.
    std::vector<File> inputs(nExtra);
    std::vector<std::string> names;
    int setup = -1;
    for (int i = 0; i < nExtra; i++) {
        std::string name = i == 0 ? kBrannic : BaseName(extra[i]);
        bool taken = std::find(names.begin(), names.end(), name) != names.end();
        if (taken || name == "SHA256SUMS" || std::find(kPacked.begin(), kPacked.end(), name) != kPacked.end()) {
            fprintf(stderr, "qvnpack: %s would replace the medium's %s\n", extra[i], name.c_str());
            return false;
        }
        if (!OpenInput(extra[i], &inputs[i])) return false;
        names.push_back(name);
        if (name == kSetup) setup = i;
    }
    // The setup program is read once; its list is filled into these bytes.
    // Tried first with empty digests, so that a program without room for
    // the list, or a name that does not fit, is refused before anything is
    // written.
    std::vector<unsigned char> image;
    if (setup >= 0) {
        Sums trial;
        for (const std::string &name : names) trial[name] = std::string(64, '0');
        for (const std::string &name : kPacked) trial[name] = std::string(64, '0');
        std::vector<unsigned char> copy;
        if (!ReadAll(inputs[setup], extra[setup], &image) || !FillList(copy = image, extra[setup], trial))
            return false;
    }
    Place place;
    if (!place.Prepare(medium)) return false;
    Sums sums;
    for (const std::string &name : kPacked)
        if (!Pack(product + "/" + name, place.At(name), &sums[name])) return false;
    for (int i = 0; i < nExtra; i++) {
        std::vector<unsigned char> bytes;
        if (i == setup) continue;
        if (i == 0 ? !ReadAll(inputs[i], extra[i], &bytes) || !PutProgram(signer, place, names[i], bytes, &sums[names[i]])
                   : !Copy(inputs[i], extra[i], place.At(names[i]), &sums[names[i]]))
            return false;
    }
    if (setup >= 0 && (!FillList(image, extra[setup], sums) || !PutProgram(signer, place, kSetup, image, &sums[kSetup])))
        return false;
    std::string list;
    for (const auto &s : sums) list += s.second + "  " + s.first + "\n";
    return WriteText(place.At("SHA256SUMS"), list) && place.Commit();
}

// A name SHA256SUMS may give: a file directly in the medium folder.
static bool PlainName(const std::string &name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// The bytes of a file of the medium, read without following a link.
static bool ReadFile(const std::string &path, std::vector<unsigned char> *bytes)
{
    File in;
    return OpenInput(path, &in, O_NOFOLLOW) && ReadAll(in, path, bytes);
}

// SHA-256 of a whole file of the medium, in hexadecimal.
static bool SumOf(const std::string &path, std::string *sum)
{
    File in;
    return OpenInput(path, &in, O_NOFOLLOW) && Stream(in, path, 0, sum);
}

// The setup program's list, in its bytes, must name with a matching digest
// every file the setup reads from its medium, and nothing that differs.
static bool VerifyList(const std::string &medium, const std::vector<unsigned char> &image)
{
    size_t at = 0;
    int status = PeListFind(image.data(), image.size(), &at);
    const unsigned char *entries = 0;
    int n = status == kPeListOk ? MedListParse(&image[at], MEDLIST_SIZE, &entries) : -1;
    if (n < 0) {
        fprintf(stderr, "qvnpack: %s: %s\n", kSetup, PeListReason(status == kPeListOk ? kPeListMalformed : status));
        return false;
    }
    if (n == 0) {
        fprintf(stderr, "qvnpack: %s: its list is empty: it would trust whatever lies beside it\n", kSetup);
        return false;
    }
    bool ok = true;
    std::vector<std::string> required(kPacked);
    required.push_back(kBrannic);
    required.push_back(kIcon);
    for (const std::string &name : required)
        if (!MedListDigest(entries, n, name.c_str())) {
            fprintf(stderr, "qvnpack: %s: its list does not name %s\n", kSetup, name.c_str());
            ok = false;
        }
    for (int i = 0; i < n; i++) {
        const unsigned char *e = entries + i * MEDLIST_ENTRY;
        std::string name((const char *)e), sum;
        if (!PlainName(name) || !SumOf(medium + "/" + name, &sum) ||
            Sha256::FromHex(sum) != std::string((const char *)e + MEDLIST_NAME, MEDLIST_DIGEST)) {
            fprintf(stderr, "qvnpack: %s: the setup program's list does not match it\n", name.c_str());
            ok = false;
        }
    }
    return ok;
}

bool Verify(const std::string &medium, const std::string &ca)
{
    bool ok = true;
    for (const std::string &name : kPacked)
        if (!Unpack(medium + "/" + name, 0)) ok = false;
    File f;
    if (!OpenInput(medium + "/SHA256SUMS", &f)) return false;
    std::map<std::string, std::string> listed;
    char line[4096];
    while (fgets(line, sizeof line, f.f)) {
        std::string l(line);
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
        if (l.size() < 67 || l.find_first_not_of("0123456789abcdef") != 64 || l[64] != ' ' ||
            (l[65] != ' ' && l[65] != '*')) {
            fprintf(stderr, "qvnpack: SHA256SUMS: bad line %s\n", l.c_str());
            ok = false;
        } else if (!PlainName(l.substr(66))) {
            fprintf(stderr, "qvnpack: SHA256SUMS: %s is not a name in the medium folder\n", l.c_str() + 66);
            ok = false;
        } else {
            listed[l.substr(66)] = l.substr(0, 64);
        }
    }
    std::vector<std::string> required(kPacked);
    required.push_back(kBrannic);
    for (const std::string &name : required)
        if (!listed.count(name)) {
            fprintf(stderr, "qvnpack: SHA256SUMS does not list %s\n", name.c_str());
            ok = false;
        }
    for (const auto &e : listed) {
        std::string path = medium + "/" + e.first, sum;
        struct stat st;
        if (lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            fprintf(stderr, "qvnpack: %s: listed in SHA256SUMS, is %s\n", e.first.c_str(), Kind(st.st_mode));
            ok = false;
        } else if (!SumOf(path, &sum)) {
            ok = false;
        } else if (sum != e.second) {
            fprintf(stderr, "qvnpack: %s: SHA-256 differs from SHA256SUMS\n", e.first.c_str());
            ok = false;
        }
    }
    // The setup program's own list must find the medium as it is; and both
    // programs' signatures.
    std::vector<unsigned char> image;
    if (!ReadFile(medium + "/" + kSetup, &image) || !VerifyList(medium, image)) ok = false;
    for (const char *program : {kSetup, kBrannic}) {
        std::string path = medium + "/" + program;
        std::vector<unsigned char> bytes;
        if (access(path.c_str(), F_OK) != 0) continue;
        if (!ca.empty()) {
            if (!Run({"osslsigncode", "verify", "-CAfile", ca, "-in", path})) {
                fprintf(stderr, "qvnpack: %s: no valid signature that chains to %s\n", program, ca.c_str());
                ok = false;
            }
        } else if (ReadFile(path, &bytes) && PeSigned(bytes.data(), bytes.size()) >= 0) {
            printf("%s: %s\n", program, PeSigned(bytes.data(), bytes.size()) ? "signed (not checked: no --ca)"
                                                                             : "not signed");
        }
    }
    if (ok) printf("%s: %zu files verified\n", medium.c_str(), listed.size());
    return ok;
}
