#include "output_file.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
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

// A regular file or a new one: a temporary beside it, renamed over it.
QString Replace(const QByteArray &path, const struct stat *old, const QByteArray &bytes)
{
    QByteArray temporary = path + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return Reason(errno);
    // The old file's permissions, or those of a new file.
    mode_t mode = 0;
    if (old) {
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
    if (error == 0 && ::rename(temporary.constData(), path.constData()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temporary.constData());
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
    if (fd_ < 0)
        error_ = Reason(errno);
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
