#include "output_file.h"

#include <QFile>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <iterator>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

QString Reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A descriptor, closed when it goes.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd &operator=(Fd &&other) noexcept
    {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~Fd() { Close(); }
    int Get() const { return fd_; }
    // 0, or the error of the close.
    int Close()
    {
        const int fd = std::exchange(fd_, -1);
        return fd < 0 || ::close(fd) == 0 ? 0 : errno;
    }

private:
    int fd_ = -1;
};

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

// The temporary a file is written to before it takes the file's name: made
// without a name where the file system can (O_TMPFILE), so that a writer
// that is killed leaves nothing; named otherwise, and then removed by the
// next writer in that folder should its writer be killed (Remove_Abandoned).
constexpr char Temporary_Pattern[] = ".qv-XXXXXX";
struct Temporary {
    Fd file;
    int folder = -1;
    bool named = false;
    char name[sizeof Temporary_Pattern] = {};
};

// A fresh name of the pattern, from the kernel's random numbers.
bool Random_Name(char (&name)[sizeof Temporary_Pattern])
{
    static constexpr char Letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    constexpr size_t Random_Letters = 6;
    unsigned char random[Random_Letters];
    if (::getrandom(random, sizeof random, 0) != ssize_t(sizeof random))
        return false;
    std::memcpy(name, Temporary_Pattern, sizeof name);
    for (size_t i = 0; i < Random_Letters; ++i)
        name[sizeof name - 1 - Random_Letters + i] = Letters[random[i] % (sizeof Letters - 1)];
    return true;
}

// Makes a temporary in `folder`, with `mode` less the umask, locked while it
// is written (Remove_Abandoned). `unnamed`: without a name, if the file system
// can. 0, or the error.
int Make_Temporary(int folder, mode_t mode, bool unnamed, Temporary &made)
{
    made.folder = folder;
    made.named = false;
    made.file = Fd(unnamed ? ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode) : -1);
    if (made.file.Get() >= 0)
        return 0;
    made.named = true;
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (!Random_Name(made.name))
            return errno;
        made.file = Fd(::openat(folder, made.name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, mode));
        // Found locked already, another writer took it for abandoned in
        // that instant.
        if (made.file.Get() >= 0 && ::flock(made.file.Get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
            continue;
        if (made.file.Get() >= 0)
            return 0;
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

// Gives an unnamed temporary a name of the pattern in its folder, through
// /proc, or directly where the process may (AT_EMPTY_PATH). 0, or the error;
// ENOENT when neither way is open.
int Name_Temporary(Temporary &temporary)
{
    if (::flock(temporary.file.Get(), LOCK_EX | LOCK_NB) != 0 && errno != ENOLCK && errno != EOPNOTSUPP)
        return errno;
    const QByteArray proc = "/proc/self/fd/" + QByteArray::number(temporary.file.Get());
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (!Random_Name(temporary.name))
            return errno;
        if (::linkat(AT_FDCWD, proc.constData(), temporary.folder, temporary.name, AT_SYMLINK_FOLLOW) == 0 ||
            ::linkat(temporary.file.Get(), "", temporary.folder, temporary.name, AT_EMPTY_PATH) == 0) {
            temporary.named = true;
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

// Whether `name` is one Make_Temporary gives.
bool Is_Temporary_Name(const char *name)
{
    constexpr size_t Prefix = sizeof Temporary_Pattern - 7; // ".qv-"
    if (std::strlen(name) != sizeof Temporary_Pattern - 1 || std::strncmp(name, Temporary_Pattern, Prefix) != 0)
        return false;
    return std::all_of(name + Prefix, name + sizeof Temporary_Pattern - 1,
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

// Removes from `folder` the named temporaries of writers that a signal
// ended: the user's own that nobody holds locked, as every writer holds its
// temporary until it is renamed or removed.
void Remove_Abandoned(int folder)
{
    const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *entries = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!entries) {
        if (listing >= 0)
            ::close(listing);
        return;
    }
    while (const dirent *entry = ::readdir(entries)) {
        if (!Is_Temporary_Name(entry->d_name))
            continue;
        const Fd file(::openat(folder, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat found {}, now {};
        if (file.Get() < 0 || ::fstat(file.Get(), &found) != 0 || !S_ISREG(found.st_mode) ||
            found.st_uid != ::geteuid() || ::flock(file.Get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        if (::fstatat(folder, entry->d_name, &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == found.st_dev &&
            now.st_ino == found.st_ino)
            ::unlinkat(folder, entry->d_name, 0);
    }
    ::closedir(entries);
}

// Gives the temporary the name `name` in `folder`, replacing whatever had
// it: 0, or the error.
int Rename_Temporary(Temporary &temporary, int folder, const QByteArray &name)
{
    if (!temporary.named)
        if (const int error = Name_Temporary(temporary))
            return error;
    if (::renameat(temporary.folder, temporary.name, folder, name.constData()) != 0)
        return errno;
    temporary.named = false;
    return 0;
}

// Removes the temporary's name, if it has one: 0, or the error.
int Remove_Temporary(Temporary &temporary)
{
    if (!std::exchange(temporary.named, false))
        return 0;
    return ::unlinkat(temporary.folder, temporary.name, 0) == 0 ? 0 : errno;
}

// Where a write to a name lands, found as the kernel follows the name: the
// folder, held open, the name in it and, when something is there, that
// opened for writing (without waiting) and its status.
struct Target {
    Fd folder;
    QByteArray name;
    Fd file;
    struct stat status {};
    bool opened_file = false; // a link of /proc to an open file: written there, never replaced
};

// Whether `folder` is in /proc, whose links to open files (/proc/self/fd/1,
// which /dev/stdout names) the kernel follows to the file itself, not to
// the name they read as ("pipe:[123]", "/tmp/page.png (deleted)").
bool In_Proc(int folder)
{
    struct statfs found {};
    return ::fstatfs(folder, &found) == 0 && found.f_type == PROC_SUPER_MAGIC;
}

// Reads the link `link`, found in `folder`, into `to`, as the kernel would
// follow it: in a world-writable sticky folder, only a link of the folder's
// owner or of the user (anyone else could have planted it there). 0, or the
// error.
int Read_Link(int folder, int link, QByteArray &to)
{
    struct stat found {}, in {};
    if (::fstat(link, &found) != 0 || ::fstat(folder, &in) != 0)
        return errno;
    const mode_t shared = S_ISVTX | S_IWOTH;
    if ((in.st_mode & shared) == shared && found.st_uid != in.st_uid && found.st_uid != ::geteuid())
        return EACCES;
    char text[PATH_MAX];
    const ssize_t length = ::readlinkat(link, "", text, sizeof text);
    if (length < 0)
        return errno;
    if (size_t(length) >= sizeof text)
        return ENAMETOOLONG;
    to = QByteArray(text, length);
    return 0;
}

// An absolute `path` starts again at the root. 0, or the error.
int From_Root(const QByteArray &path, Fd &folder)
{
    if (path.startsWith('/'))
        folder = Fd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    return folder.Get() < 0 ? errno : 0;
}

// Opens the folders on the way to `path`'s last name one by one, from
// `folder` on, as the kernel walks them, a link among them followed as
// Read_Link says (the kernel would follow anyone's where
// fs.protected_symlinks is off); leaves the last name in `path` and its
// folder in `folder`. `links` counts the links followed. 0, or the error.
int Walk_Folders(QByteArray &path, Fd &folder, int &links)
{
    if (const int error = From_Root(path, folder))
        return error;
    for (qsizetype slash; (slash = path.indexOf('/')) >= 0;) {
        const QByteArray name = path.left(slash), rest = path.mid(slash);
        path = rest.mid(1);
        if (name.isEmpty() || name == ".")
            continue;
        Fd step(::openat(folder.Get(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat status {};
        if (step.Get() < 0 || ::fstat(step.Get(), &status) != 0)
            return errno;
        if (S_ISDIR(status.st_mode)) {
            folder = std::move(step);
            continue;
        }
        if (!S_ISLNK(status.st_mode))
            return ENOTDIR;
        if (++links > 40)
            return ELOOP;
        QByteArray to;
        if (const int error = Read_Link(folder.Get(), step.Get(), to))
            return error;
        path = to + rest;
        if (const int error = From_Root(path, folder))
            return error;
    }
    return 0;
}

// Finds the target of a write to `path`, every link on the way and at its
// end followed as Read_Link says. 0, or the error.
int Find_Target(QByteArray path, Target &target)
{
    target.folder = Fd(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (int links = 0;;) {
        if (const int error = Walk_Folders(path, target.folder, links))
            return error;
        target.name = path.isEmpty() ? QByteArray(".") : path; // "folder/" names the folder
        target.file = Fd(::openat(target.folder.Get(), target.name.constData(),
                                  O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
        if (target.file.Get() >= 0)
            return ::fstat(target.file.Get(), &target.status) == 0 ? 0 : errno;
        if (errno != ELOOP)
            return errno == ENOENT ? 0 : errno; // nothing there yet
        if (++links > 40)
            return ELOOP;
        if (In_Proc(target.folder.Get())) {
            target.opened_file = true;
            target.file = Fd(::openat(target.folder.Get(), target.name.constData(),
                                      O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
            if (target.file.Get() < 0)
                return errno;
            return ::fstat(target.file.Get(), &target.status) == 0 ? 0 : errno;
        }
        // The link is read from what is opened now; should it have been
        // replaced meanwhile, its name is looked at again.
        const Fd link(::openat(target.folder.Get(), target.name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat found {};
        if (link.Get() < 0 || ::fstat(link.Get(), &found) != 0)
            return errno;
        if (!S_ISLNK(found.st_mode))
            continue;
        if (const int error = Read_Link(target.folder.Get(), link.Get(), path))
            return error;
    }
}

// Whether the target's name still leads to the file opened.
bool Still_There(const Target &target)
{
    struct stat now {};
    return ::fstatat(target.folder.Get(), target.name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
           now.st_dev == target.status.st_dev && now.st_ino == target.status.st_ino;
}

// Takes the file's advisory lock, so that writers of one file take turns,
// waiting up to `wait` for another. 0, or the error. A file system without
// locks is written without.
int Lock(int fd, std::chrono::milliseconds wait)
{
    constexpr std::chrono::milliseconds Pause{10};
    const auto tries = std::max<std::chrono::milliseconds::rep>(1, wait / Pause);
    for (auto tried = 1; ::flock(fd, LOCK_EX | LOCK_NB) != 0; ++tried) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return 0;
        if (tried >= tries)
            return EWOULDBLOCK;
        std::this_thread::sleep_for(Pause);
    }
    return 0;
}

// Whether files can be added to `folder` but never removed (chattr +a).
bool Append_Only(int folder)
{
    struct statx status {};
    return ::statx(folder, "", AT_EMPTY_PATH, STATX_TYPE, &status) == 0 &&
           (status.stx_attributes & status.stx_attributes_mask & STATX_ATTR_APPEND);
}

// A device or a pipe, written as it is.
Result<> Write_Directly(Target &target, const QByteArray &bytes)
{
    const int fd = target.file.Get();
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
    if (const int closed = target.file.Close(); error == 0)
        error = closed;
    if (error != 0)
        return Failure{Reason(error)};
    return {};
}

// Gives `to` the extended attributes of `from`, its ACL among them, and no
// ACL where `from` has none: a folder's default ACL, which the kernel gave
// `to` when it was made, would otherwise let others in that the old file kept
// out. 0, or the error.
int Copy_Attributes(int from, int to)
{
    static constexpr char Acl[] = "system.posix_acl_access";
    ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size < 0 && errno != ENOTSUP)
        return errno;
    QByteArray names(std::max<ssize_t>(size, 0), Qt::Uninitialized);
    if (size > 0 && (size = ::flistxattr(from, names.data(), size_t(names.size()))) < 0)
        return errno;
    bool acl = false;
    for (const char *name = names.constData(); name < names.constData() + size; name += std::strlen(name) + 1) {
        acl = acl || std::strcmp(name, Acl) == 0;
        ssize_t length = ::fgetxattr(from, name, nullptr, 0);
        if (length < 0)
            return errno;
        QByteArray value(length, Qt::Uninitialized);
        if ((length = ::fgetxattr(from, name, value.data(), size_t(value.size()))) < 0 ||
            ::fsetxattr(to, name, value.constData(), size_t(length), 0) != 0)
            return errno;
    }
    if (!acl && ::fremovexattr(to, Acl) != 0 && errno != ENODATA && errno != ENOTSUP)
        return errno;
    return 0;
}

// Writes `bytes` over the file `fd` and cuts it to their length, in a child
// process that blocks every signal it can: a signal that ends the program
// meanwhile leaves the file whole (old bytes behind new ones would be a torn
// file), without the program handling any signal. Only calls a child of a
// threaded program may make. 0, or the error.
int Overwrite_Whole(int fd, const QByteArray &bytes)
{
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    const pid_t child = ::fork();
    if (child == 0) {
        int error = Write_All(fd, bytes);
        if (error == 0 && ::ftruncate(fd, off_t(bytes.size())) != 0)
            error = errno;
        ::_exit(error & 0xFF);
    }
    const int forked = errno;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (child < 0)
        return forked;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return errno;
    return WIFEXITED(status) ? WEXITSTATUS(status) : EIO;
}

// Rewrites the target in place, as cp does, now that the new content is
// whole in memory: every name of a file with several sees it, and the file
// keeps whatever it has. Room is reserved first, so that a full disk or a
// file-size limit fails before anything is overwritten.
Result<> Rewrite_In_Place(Target &target, const QByteArray &bytes)
{
    const int fd = target.file.Get();
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
        error = Overwrite_Whole(fd, bytes);
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (const int closed = target.file.Close(); error == 0)
        error = closed;
    if (error == 0)
        return {};
    if (untouched)
        return Failure{Reason(error)};
    return Failure{
        QStringLiteral("%1 (the file was being rewritten in place and may now be incomplete)").arg(Reason(error))};
}

// The reason of a failure that left the temporary, which could not be
// removed either.
QString Left_Behind(int error, const Temporary &temporary, int removed)
{
    return QStringLiteral("%1 (the temporary file %2 is left beside it: %3)")
        .arg(Reason(error), QString::fromLatin1(temporary.name), Reason(removed));
}

// Gives the temporary the old file's owner, group, attributes and
// permissions. 0, or the error; EPERM when the old file's owner or
// attributes cannot be given (another user's file, as a user).
int Copy_Owner_And_Mode(const Target &target, int temporary)
{
    const struct stat &old = target.status;
    // Owner first: a change of owner clears the set-user-ID bit, which the
    // permissions then give back.
    if (::fchown(temporary, old.st_uid, old.st_gid) != 0 || Copy_Attributes(target.file.Get(), temporary) != 0)
        return EPERM;
    return ::fchmod(temporary, old.st_mode & 07777) == 0 ? 0 : errno;
}

// A regular file or a new one: a temporary in its folder, given the old
// file's owner, group, attributes and permissions, written and renamed over
// it. A file with more than one name, one in a folder where no temporary
// can be made or removed, and one whose owner or attributes the temporary
// cannot be given are rewritten in place instead. `unnamed`: the temporary
// has no name until it is whole, where the file system and /proc allow.
Result<> Replace(Target &target, const QByteArray &bytes, bool unnamed = true)
{
    const bool exists = target.file.Get() >= 0;
    // An append-only folder keeps whatever is made in it, a failed
    // temporary too.
    if (Append_Only(target.folder.Get()))
        return exists ? Rewrite_In_Place(target, bytes)
                      : Failure{QStringLiteral("the folder is append-only: a new file there could not be removed "
                                               "should its writing fail")};
    if (exists && target.status.st_nlink > 1)
        return Rewrite_In_Place(target, bytes);
    // A new file gets the permissions a shell would give it; the folder's
    // default ACL, if any, applies.
    Remove_Abandoned(target.folder.Get());
    Temporary temporary;
    if (const int error = Make_Temporary(target.folder.Get(), exists ? 0600 : 0666, unnamed, temporary))
        return exists && (error == EACCES || error == EPERM) ? Rewrite_In_Place(target, bytes) : Failure{Reason(error)};
    int error = exists ? Copy_Owner_And_Mode(target, temporary.file.Get()) : 0;
    if (error == EPERM) {
        temporary.file.Close();
        if (const int removed = Remove_Temporary(temporary))
            return Failure{Left_Behind(removed, temporary, removed)};
        return Rewrite_In_Place(target, bytes);
    }
    if (error == 0)
        error = Write_All(temporary.file.Get(), bytes);
    if (error == 0 && ::fsync(temporary.file.Get()) != 0)
        error = errno;
    if (error == 0 && !temporary.named && (error = Name_Temporary(temporary)) != 0 && !temporary.named)
        return Replace(target, bytes, false); // no way to name it: written again, named from the start
    const Fd held(::fcntl(temporary.file.Get(), F_DUPFD_CLOEXEC, 0)); // its lock, until it is renamed or removed
    if (const int closed = temporary.file.Close(); error == 0)
        error = closed;
    if (error == 0 && (error = Rename_Temporary(temporary, target.folder.Get(), target.name)) == 0)
        return {};
    if (const int removed = Remove_Temporary(temporary))
        return Failure{Left_Behind(error, temporary, removed)};
    return Failure{Reason(error)};
}

// Why a writer that waited its turn gave up, and how long it waited.
QString Waited(std::chrono::milliseconds wait, const char *why)
{
    return QStringLiteral("%1 for all of the %2 s it waited its turn")
        .arg(QLatin1String(why))
        .arg(double(wait.count()) / 1000);
}

} // namespace

Result<> Write_Whole_File(const QByteArray &path, const QByteArray &bytes, std::chrono::milliseconds lock_wait)
{
    Target target;
    // Writers of one file take turns; one that waited looks again, as the
    // file it waited for may have been replaced meanwhile: ten times, or
    // for as long as it may wait, whichever is more.
    const auto until = std::chrono::steady_clock::now() + lock_wait;
    for (int attempt = 1;; ++attempt) {
        const auto left = std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                                       until - std::chrono::steady_clock::now()),
                                   std::chrono::milliseconds(0));
        target = Target{};
        if (const int error = Find_Target(path, target)) {
            struct stat found {};
            if (error == ENXIO && ::fstatat(target.folder.Get(), target.name.constData(), &found, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISFIFO(found.st_mode))
                return Failure{QStringLiteral("no program is reading from this pipe")};
            return Failure{Reason(error)};
        }
        if (target.file.Get() < 0 || !S_ISREG(target.status.st_mode))
            break;
        if (const int error = Lock(target.file.Get(), left))
            return Failure{error != EWOULDBLOCK ? Reason(error)
                           : lock_wait.count() ? Waited(lock_wait, "another program kept the file locked")
                                               : QStringLiteral("another program keeps the file locked")};
        if (target.opened_file || Still_There(target))
            break;
        if (attempt >= 10 && left.count() == 0)
            return Failure{lock_wait.count() ? Waited(lock_wait, "other programs kept replacing the file")
                                             : QStringLiteral("the file keeps being replaced by another program")};
    }
    if (target.file.Get() >= 0 && !S_ISREG(target.status.st_mode))
        return Write_Directly(target, bytes);
    if (target.opened_file)
        return Rewrite_In_Place(target, bytes);
    return Replace(target, bytes);
}
