// Signing: the signer runs as a child, in a folder of its own.
#include "sign.h"
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include "io.h"

static std::string ShellQuoted(const std::string &s)
{
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool Run(const std::vector<std::string> &argv)
{
    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back((char *)a.c_str());
    args.push_back(0);
    FILE *said = tmpfile();
    if (!said) return false;
    fflush(0);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fileno(said), 1);
        dup2(fileno(said), 2);
        execvp(args[0], args.data());
        fprintf(stderr, "qvnpack: cannot run %s: %s\n", args[0], strerror(errno));
        _exit(127);
    }
    int status = 0;
    bool ok = pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!ok) {
        rewind(said);
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, said)) > 0;) fwrite(buf, 1, n, stderr);
    }
    fclose(said);
    return ok;
}

// Runs the signer on the bytes, in the folder open as dir (its path in
// work), and reads what it wrote.
static bool SignIn(const Signer &signer, int dir, const std::string &work, const std::string &name,
                   const std::vector<unsigned char> &bytes, std::vector<unsigned char> *signed_)
{
    std::string unsigned_ = name + ".unsigned";
    if (!WriteBytes(Where(dir, unsigned_, name), bytes.data(), bytes.size())) return false;
    std::string in = work + "/" + unsigned_, out = work + "/" + name;
    std::vector<std::string> argv = {"osslsigncode", "sign", "-certs", signer.cert, "-key", signer.key,
                                     "-h", "sha256", "-in", in, "-out", out};
    if (!signer.command.empty()) {
        std::string cmd = signer.command;
        for (size_t at; (at = cmd.find("{in}")) != std::string::npos;) cmd.replace(at, 4, ShellQuoted(in));
        for (size_t at; (at = cmd.find("{out}")) != std::string::npos;) cmd.replace(at, 5, ShellQuoted(out));
        argv = {"/bin/sh", "-c", cmd};
    }
    if (!Run(argv)) return false;
    int fd = openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    File signed_file;
    if (fd < 0 || fstat(fd, &signed_file.st) != 0 || !S_ISREG(signed_file.st.st_mode) ||
        signed_file.st.st_size == 0 || !(signed_file.f = fdopen(fd, "rb"))) {
        fprintf(stderr, "qvnpack: the signer left no program for %s\n", name.c_str());
        if (fd >= 0 && !signed_file.f) close(fd);
        return false;
    }
    return ReadAll(signed_file, name, signed_);
}

bool Sign(const Signer &signer, const std::string &folder, const std::string &name,
          const std::vector<unsigned char> &bytes, std::vector<unsigned char> *signed_)
{
    std::string work = folder + "/.sign.XXXXXX";
    int dir = -1;
    if (!mkdtemp(&work[0]) || (dir = open(work.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) < 0) {
        fprintf(stderr, "qvnpack: cannot sign %s: %s\n", name.c_str(), strerror(errno));
        return false;
    }
    bool ok = SignIn(signer, dir, work, name, bytes, signed_);
    if (!ok) fprintf(stderr, "qvnpack: signing %s failed\n", name.c_str());
    EmptyFolder(dir);
    close(dir);
    rmdir(work.c_str());
    return ok;
}
