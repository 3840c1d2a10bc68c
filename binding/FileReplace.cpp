#include "FileReplace.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

// Links followed before a name is taken to loop, as the kernel counts them.
const int kMaxLinks = 40;

int IoError(Tcl_Interp* interp, const char* what, const char* fileName, int error)
{
    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, what, " \"", fileName, "\": ", Tcl_ErrnoMsg(error), (char*)nullptr);
    return VistelError(interp, nullptr, "IO");
}

std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a name finally stands for, links followed: the existing file's
// real path, or for a name that does not exist yet (itself, or the end of
// a chain of links) the path at which it will be created.
std::string FinalPath(const std::string& name)
{
    char real[PATH_MAX];
    if (realpath(name.c_str(), real)) return real;
    std::string path = name;
    for (int i = 0; i < kMaxLinks; i++) {
        char target[PATH_MAX];
        const ssize_t n = readlink(path.c_str(), target, sizeof(target) - 1);
        if (n < 0) break;
        target[n] = '\0';
        path = target[0] == '/' ? std::string(target) : DirectoryOf(path) + "/" + target;
    }
    return path;
}

// Writes all bytes to a descriptor; the errno of a failure, else 0.
int WriteAll(int fd, const unsigned char* bytes, size_t size)
{
    while (size > 0) {
        const ssize_t n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        bytes += n;
        size -= (size_t)n;
    }
    return 0;
}

// Writes in place: devices, pipes and other files that are not regular, and
// regular files in a directory where no new file can be made. Nothing is
// removed on failure: the file existed before.
int WriteInPlace(Tcl_Interp* interp, const char* fileName, const std::string& path,
                 const unsigned char* bytes, size_t size)
{
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return IoError(interp, "couldn't open", fileName, errno);
    int error = WriteAll(fd, bytes, size);
    if (close(fd) != 0 && error == 0) error = errno;
    return error ? IoError(interp, "error writing", fileName, error) : TCL_OK;
}

// Creates a file of a name no other file has, beside `path`: its name with
// a suffix of the process and a count. New files get 0644 less the umask,
// as Tk's own photo writes make them. The descriptor, or -1 with errno set.
int CreateBeside(const std::string& path, std::string* created)
{
    static std::atomic<unsigned> count{0};
    for (int attempt = 0; attempt < 100; attempt++) {
        *created = path + ".vs" + std::to_string(getpid()) + "-" + std::to_string(count++);
        const int fd = open(created->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Whether a file could not be made beside another for want of space, which
// writing in place would only make worse.
bool OutOfSpace(int error)
{
    return error == ENOSPC || error == EDQUOT;
}

}  // namespace

int ReplaceFileContents(Tcl_Interp* interp, const char* fileName, const unsigned char* bytes,
                        size_t size)
{
    Tcl_Obj* nameObj = Tcl_NewStringObj(fileName, -1);
    Tcl_IncrRefCount(nameObj);
    const char* native = (const char*)Tcl_FSGetNativePath(nameObj);
    const std::string path = native ? FinalPath(native) : std::string();
    Tcl_DecrRefCount(nameObj);
    if (!native) return IoError(interp, "couldn't open", fileName, EXDEV);

    struct stat existing;
    const bool exists = stat(path.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        return WriteInPlace(interp, fileName, path, bytes, size);

    // The new content goes into a file of its own in the same directory (a
    // rename cannot cross file systems). A directory that takes no new file
    // (read-only, or a file system such as /proc) leaves an existing file
    // to be written in place.
    std::string temp;
    const int fd = CreateBeside(path, &temp);
    if (fd < 0) {
        const int error = errno;
        if (exists && !OutOfSpace(error)) return WriteInPlace(interp, fileName, path, bytes, size);
        return IoError(interp, "couldn't open", fileName, error);
    }
    int error = WriteAll(fd, bytes, size);
    if (error == 0 && exists) {
        fchmod(fd, existing.st_mode & 07777);
        // Only root may give a file away; anyone else's copy stays theirs.
        const int owned = fchown(fd, existing.st_uid, existing.st_gid);
        (void)owned;
    }
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error) {
        unlink(temp.c_str());
        return IoError(interp, "error writing", fileName, error);
    }
    return TCL_OK;
}
