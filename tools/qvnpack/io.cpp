// Files of the medium tool: inputs, outputs, SHA-256, folders.
#include "io.h"
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

std::string Sha256::Hex()
{
    unsigned char digest[SHA256_DIGEST_SIZE];
    sha256_digest(&ctx, sizeof digest, digest);
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : digest) out += digits[b >> 4], out += digits[b & 15];
    return out;
}

std::string Sha256::Of(const std::vector<unsigned char> &bytes)
{
    Sha256 sha;
    sha.Add(bytes.data(), bytes.size());
    return sha.Hex();
}

std::string Sha256::FromHex(const std::string &hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += (char)std::stoi(hex.substr(i, 2), 0, 16);
    return out;
}

const char *Kind(mode_t mode)
{
    return S_ISDIR(mode) ? "a folder" : S_ISFIFO(mode) ? "a FIFO" : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
           : S_ISSOCK(mode) ? "a socket" : S_ISLNK(mode) ? "a symbolic link" : "of another kind";
}

bool OpenInput(const std::string &path, File *in, int flags)
{
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | flags);
    if (fd < 0 || fstat(fd, &in->st) != 0) {
        fprintf(stderr, "qvnpack: cannot read %s: %s\n", path.c_str(), strerror(errno));
        if (fd >= 0) close(fd);
        return false;
    }
    if (!S_ISREG(in->st.st_mode)) {
        fprintf(stderr, "qvnpack: cannot read %s: it is %s, not a regular file\n", path.c_str(), Kind(in->st.st_mode));
        close(fd);
        return false;
    }
    if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 || !(in->f = fdopen(fd, "rb"))) {
        fprintf(stderr, "qvnpack: cannot read %s: %s\n", path.c_str(), strerror(errno));
        close(fd);
        return false;
    }
    return true;
}

bool ReadChunk(File &in, const std::string &name, unsigned char *buf, size_t *n)
{
    *n = fread(buf, 1, kChunk, in.f);
    if (!ferror(in.f)) return true;
    fprintf(stderr, "qvnpack: cannot read %s: %s\n", name.c_str(), strerror(errno));
    return false;
}

bool ReadAll(File &in, const std::string &name, std::vector<unsigned char> *bytes)
{
    bytes->clear();
    size_t n;
    do {
        size_t had = bytes->size();
        bytes->resize(had + kChunk);
        if (!ReadChunk(in, name, bytes->data() + had, &n)) return false;
        bytes->resize(had + n);
    } while (n > 0);
    return true;
}

// True, with a message, when dst (its status st) is the file in.
static bool SameFile(const File &in, const struct stat &st, const std::string &dst)
{
    if (st.st_dev != in.st.st_dev || st.st_ino != in.st.st_ino) return false;
    fprintf(stderr, "qvnpack: %s is the same file as its input; it is left as it is\n", dst.c_str());
    return true;
}

Output::~Output()
{
    if (f) fclose(f);
    if (!temp.empty()) unlink(temp.c_str());
}

bool Output::Fail(int err)
{
    fprintf(stderr, "qvnpack: cannot write %s: %s\n", path.c_str(), strerror(err));
    return false;
}

bool Output::Open(const Where &dst, const File *input)
{
    path = dst.shown;
    target = dst.name;
    mode_t mask = umask(0);
    umask(mask);
    mode_t mode = 0666 & ~mask;
    if (dst.dir >= 0) {
        int fd = openat(dst.dir, dst.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 && (f = fdopen(fd, "wb"))) return true;
        int err = errno;
        if (fd >= 0) close(fd);
        return Fail(err);
    }
    struct stat st;
    if (stat(target.c_str(), &st) == 0) {
        if (input && SameFile(*input, st, path)) return false;
        if (S_ISDIR(st.st_mode)) {
            fprintf(stderr, "qvnpack: cannot write %s: it is a folder\n", path.c_str());
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd >= 0 && (f = fdopen(fd, "wb"))) return true;
            int err = errno;
            if (fd >= 0) close(fd);
            return Fail(err);
        }
        // Through a symbolic link: the file it names is replaced.
        if (char *real = realpath(target.c_str(), 0)) target = real, free(real);
        mode = st.st_mode & 07777;
    }
    size_t slash = target.find_last_of('/') + 1;    // 0 without a slash
    std::string name = target.substr(0, slash) + "." + target.substr(slash) + ".XXXXXX";
    int fd = mkstemp(&name[0]);
    if (fd < 0) return Fail(errno);
    temp = name;
    if (fchmod(fd, mode) == 0 && (f = fdopen(fd, "wb"))) return true;
    int err = errno;
    close(fd);
    return Fail(err);
}

bool Output::Write(const unsigned char *p, size_t n)
{
    return fwrite(p, 1, n, f) == n || Fail(errno);
}

bool Output::Finish()
{
    struct stat st;
    bool regular = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
    if (fflush(f) != 0 || (regular && fsync(fileno(f)) != 0)) return Fail(errno);
    int rc = fclose(f);
    f = 0;
    if (rc != 0 || (!temp.empty() && rename(temp.c_str(), target.c_str()) != 0)) return Fail(errno);
    temp.clear();
    return true;
}

bool Stream(File &in, const std::string &name, Output *out, std::string *sum)
{
    std::vector<unsigned char> buf(kChunk);
    Sha256 sha;
    size_t n;
    do {
        if (!ReadChunk(in, name, buf.data(), &n) || (out && !out->Write(buf.data(), n))) return false;
        sha.Add(buf.data(), n);
    } while (n > 0);
    *sum = sha.Hex();
    return true;
}

bool Copy(File &in, const std::string &name, const Where &dst, std::string *sum)
{
    Output out;
    return out.Open(dst, &in) && Stream(in, name, &out, sum) && out.Finish();
}

bool WriteBytes(const Where &dst, const unsigned char *p, size_t n)
{
    Output out;
    return out.Open(dst, 0) && out.Write(p, n) && out.Finish();
}

bool WriteText(const Where &dst, const std::string &s)
{
    return WriteBytes(dst, (const unsigned char *)s.data(), s.size());
}

bool MakeFolders(const std::string &path)
{
    for (size_t i = 1; i <= path.size(); i++)
        if (i == path.size() || path[i] == '/')
            if (mkdir(path.substr(0, i).c_str(), 0777) != 0 && errno != EEXIST) return false;
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string BaseName(const std::string &path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool EmptyFolder(int dir)
{
    int fd = dup(dir);
    DIR *d = fd >= 0 ? fdopendir(fd) : 0;
    if (!d) {
        if (fd >= 0) close(fd);
        return false;
    }
    rewinddir(d);
    bool ok = true;
    while (struct dirent *e = readdir(d)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
        if (unlinkat(dir, e->d_name, 0) == 0) continue;
        int sub = openat(dir, e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ok = sub >= 0 && EmptyFolder(sub) && ok;
        if (sub >= 0) close(sub);
        ok = unlinkat(dir, e->d_name, AT_REMOVEDIR) == 0 && ok;
    }
    closedir(d);
    return ok;
}
