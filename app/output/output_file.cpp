#include "output_file.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iterator>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

QString Reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Where a write to `path`, which does not exist, lands: its symbolic links
// followed one by one to the name of the file to make. 0, or the error.
int Follow_Links(QByteArray &path)
{
    for (int links = 0; links < 40; ++links) {
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.constData(), target, sizeof target);
        if (length < 0)
            return errno == EINVAL || errno == ENOENT ? 0 : errno; // not a link, or nothing there yet
        if (size_t(length) >= sizeof target)
            return ENAMETOOLONG;
        QByteArray next(target, length);
        const qsizetype slash = path.lastIndexOf('/');
        if (!next.startsWith('/') && slash >= 0)
            next.prepend(path.left(slash + 1));
        path = next;
    }
    return ELOOP;
}

// 0, or the error of the write that failed.
int Write_All(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    size_t left = size_t(bytes.size());
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        left -= size_t(written);
    }
    return 0;
}

// A device or a pipe, written as it is.
QString Write_Directly(const QByteArray &path, const struct stat &found, const QByteArray &bytes)
{
    // Opened without waiting: a pipe that no program reads fails at once.
    const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENXIO && S_ISFIFO(found.st_mode))
            return QStringLiteral("no program is reading from this pipe");
        return Reason(errno);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // A reader that goes away makes the write fail (EPIPE) instead of
    // ending the program with SIGPIPE.
    sigset_t pipe, old;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &old);
    int error = Write_All(fd, bytes);
    if (error == EPIPE && !sigismember(&old, SIGPIPE)) {
        const timespec now{};
        sigtimedwait(&pipe, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error == 0 ? QString() : Reason(error);
}

// The temporary being written, which a signal that ends the program removes
// first. One at a time: Write_Whole_File is not reentrant.
char pending[PATH_MAX + 8];
volatile sig_atomic_t pendingSet = 0;
constexpr int Ending_Signals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGXFSZ};
struct sigaction savedActions[std::size(Ending_Signals)];

extern "C" void Remove_Pending(int signal)
{
    const int error = errno;
    if (pendingSet)
        ::unlink(pending);
    // What the signal did before (end the program, mostly) it does again
    // once this handler returns.
    for (size_t i = 0; i < std::size(Ending_Signals); ++i)
        if (Ending_Signals[i] == signal)
            ::sigaction(signal, &savedActions[i], nullptr);
    ::raise(signal);
    errno = error;
}

// While it lives, a signal that ends the program removes the temporary
// named in `pending` first. Signals the program ignores stay ignored.
class Pending_Temporary {
public:
    Pending_Temporary()
    {
        struct sigaction action {};
        action.sa_handler = Remove_Pending;
        sigemptyset(&action.sa_mask);
        for (const int signal : Ending_Signals)
            sigaddset(&action.sa_mask, signal);
        for (size_t i = 0; i < std::size(Ending_Signals); ++i) {
            ::sigaction(Ending_Signals[i], nullptr, &savedActions[i]);
            if (savedActions[i].sa_handler != SIG_IGN)
                ::sigaction(Ending_Signals[i], &action, nullptr);
        }
    }
    ~Pending_Temporary()
    {
        pendingSet = 0;
        for (size_t i = 0; i < std::size(Ending_Signals); ++i)
            ::sigaction(Ending_Signals[i], &savedActions[i], nullptr);
    }
    Pending_Temporary(const Pending_Temporary &) = delete;
    Pending_Temporary &operator=(const Pending_Temporary &) = delete;

    // Makes the temporary beside `path`: its descriptor, or -1 and errno.
    int Make(const QByteArray &path)
    {
        const QByteArray name = path + ".XXXXXX";
        if (size_t(name.size()) >= sizeof pending) {
            errno = ENAMETOOLONG;
            return -1;
        }
        // mkostemp fills in the name where the handler reads it.
        std::memcpy(pending, name.constData(), size_t(name.size()) + 1);
        pendingSet = 1;
        const int fd = ::mkostemp(pending, O_CLOEXEC);
        if (fd < 0)
            pendingSet = 0;
        return fd;
    }
    const char *Name() const { return pending; }
    void Remove()
    {
        ::unlink(pending);
        pendingSet = 0;
    }
};

// Copies the extended attributes of the file `from`, its ACL among them,
// onto `fd`. 0, or the error.
int Copy_Attributes(const char *from, int fd)
{
    ssize_t size = ::listxattr(from, nullptr, 0);
    if (size <= 0)
        return size == 0 || errno == ENOTSUP ? 0 : errno;
    QByteArray names(size, Qt::Uninitialized);
    if ((size = ::listxattr(from, names.data(), size_t(names.size()))) < 0)
        return errno;
    for (const char *name = names.constData(); name < names.constData() + size; name += std::strlen(name) + 1) {
        ssize_t length = ::getxattr(from, name, nullptr, 0);
        if (length < 0)
            return errno;
        QByteArray value(length, Qt::Uninitialized);
        if ((length = ::getxattr(from, name, value.data(), size_t(value.size()))) < 0 ||
            ::fsetxattr(fd, name, value.constData(), size_t(length), 0) != 0)
            return errno;
    }
    return 0;
}

// Rewrites the file at `path` in place, as cp does, now that the new content
// is whole in memory: every name of a file with several sees it, and the
// file keeps whatever it has. Room is reserved first, so that a full disk or
// a file-size limit fails before anything is overwritten.
QString Rewrite_In_Place(const QByteArray &path, const QByteArray &bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Reason(errno);
    int error = 0;
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        rlim_t(bytes.size()) > limit.rlim_cur)
        error = EFBIG;
    if (error == 0 && !bytes.isEmpty() && ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(bytes.size())) != 0 &&
        errno != EOPNOTSUPP)
        error = errno;
    const bool untouched = error != 0;
    if (error == 0)
        error = Write_All(fd, bytes);
    if (error == 0 && ::ftruncate(fd, off_t(bytes.size())) != 0)
        error = errno;
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0)
        return {};
    if (untouched)
        return Reason(error);
    return QStringLiteral("%1 (the file was being rewritten in place and may now be incomplete)").arg(Reason(error));
}

// A regular file or a new one: a temporary beside it, given the old file's
// owner, group, attributes and permissions, written and renamed over it.
// What the temporary cannot be given (another user's owner, as a user) and a
// file with more than one name are rewritten in place instead.
QString Replace(const QByteArray &path, const struct stat *old, const QByteArray &bytes)
{
    if (old && old->st_nlink > 1)
        return Rewrite_In_Place(path, bytes);
    Pending_Temporary temporary;
    const int fd = temporary.Make(path);
    if (fd < 0)
        return Reason(errno);
    mode_t mode = 0;
    if (old) {
        // Owner first: a change of owner clears the set-user-ID bit, which
        // the permissions then give back.
        if (::fchown(fd, old->st_uid, old->st_gid) != 0 || Copy_Attributes(path.constData(), fd) != 0) {
            ::close(fd);
            temporary.Remove();
            return Rewrite_In_Place(path, bytes);
        }
        mode = old->st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    int error = 0;
    if (::fchmod(fd, mode) != 0)
        error = errno;
    if (error == 0)
        error = Write_All(fd, bytes);
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.Name(), path.constData()) != 0)
        error = errno;
    if (error != 0)
        temporary.Remove();
    return error == 0 ? QString() : Reason(error);
}

} // namespace

QString Write_Whole_File(const QByteArray &path, const QByteArray &bytes)
{
    struct stat found {};
    if (::stat(path.constData(), &found) != 0) {
        if (errno != ENOENT)
            return Reason(errno);
        // Nothing there yet, or a link to nothing yet: the file is made
        // where the links lead.
        QByteArray target = path;
        if (const int error = Follow_Links(target))
            return Reason(error);
        return Replace(target, nullptr, bytes);
    }
    if (S_ISDIR(found.st_mode))
        return Reason(EISDIR);
    if (!S_ISREG(found.st_mode))
        return Write_Directly(path, found, bytes);
    // A file the user may not write is not replaced either.
    if (::access(path.constData(), W_OK) != 0)
        return Reason(errno);
    char *real = ::realpath(path.constData(), nullptr);
    if (!real)
        return Reason(errno);
    const QByteArray target(real);
    std::free(real);
    return Replace(target, &found, bytes);
}

Memory_File::Memory_File() : fd_(::memfd_create("quorvel-output", MFD_CLOEXEC))
{
    if (fd_ < 0) {
        error_ = Reason(errno);
        return;
    }
    // Writers reach the file by its name under /proc, which a container or
    // a chroot may not have mounted: then there is no file to give them.
    struct stat file {}, named {};
    if (::fstat(fd_, &file) != 0 || ::stat(Name().toLocal8Bit().constData(), &named) != 0
        || file.st_dev != named.st_dev || file.st_ino != named.st_ino) {
        error_ = QStringLiteral("the file in memory cannot be reached as %1 (is /proc mounted?)").arg(Name());
        ::close(fd_);
        fd_ = -1;
    }
}

Memory_File::~Memory_File()
{
    if (fd_ >= 0)
        ::close(fd_);
}

QString Memory_File::Name() const
{
    return fd_ < 0 ? QString() : QStringLiteral("/proc/self/fd/%1").arg(fd_);
}

std::optional<QByteArray> Memory_File::Contents()
{
    struct stat status {};
    if (fd_ < 0 || ::fstat(fd_, &status) != 0) {
        if (fd_ >= 0)
            error_ = Reason(errno);
        return std::nullopt;
    }
    QByteArray contents(qsizetype(status.st_size), Qt::Uninitialized);
    for (qsizetype done = 0; done < contents.size();) {
        const ssize_t got = ::pread(fd_, contents.data() + done, size_t(contents.size() - done), off_t(done));
        if (got <= 0) {
            if (got < 0 && errno == EINTR)
                continue;
            error_ = got < 0 ? Reason(errno) : QStringLiteral("the file ended early");
            return std::nullopt;
        }
        done += got;
    }
    return contents;
}

QString Memory_File::Write_Error()
{
    struct stat status {};
    if (fd_ < 0 || ::fstat(fd_, &status) != 0)
        return Reason(fd_ < 0 ? EBADF : errno);
    if (::pwrite(fd_, "", 1, status.st_size) == 1) {
        ::ftruncate(fd_, status.st_size);
        return {};
    }
    return Reason(errno);
}
