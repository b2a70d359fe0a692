// Files that cannot be written, for real: a full disk (a small tmpfs), a
// link to /dev/full, a pipe that no program reads, a read-only folder and a
// missing one. The mounts live in the test's own mount namespace, entered
// before main while the process has one thread (root only; without root
// the full disk and the read-only folder are left out).
#pragma once

#include <QDir>
#include <QFile>
#include <QTest>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

inline const bool Private_Mounts = geteuid() == 0 && unshare(CLONE_NEWNS) == 0 &&
                                   mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;

// Columns "file" (where the page goes) and "reason" (what the system says),
// one row a fault, made under `folder`. Where there was a file, it holds
// "old page".
inline void Faulty_Targets_Data(const QString &folder)
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reason");
    const auto old_file_in = [&](const char *name) {
        const QString sub = folder + u'/' + QLatin1String(name);
        QDir().mkpath(sub);
        return sub;
    };
    const auto write_old = [](const QString &sub) {
        QFile old(sub + QStringLiteral("/page.pdf"));
        return old.open(QIODevice::WriteOnly) && old.write("old page") == 8;
    };

    const QString full = old_file_in("full");
    if (Private_Mounts && mount("tmpfs", QFile::encodeName(full).constData(), "tmpfs", 0, "size=16k") == 0 &&
        write_old(full))
        QTest::newRow("full disk") << full + QStringLiteral("/page.pdf") << QStringLiteral("No space left on device");

    const QString device = folder + QStringLiteral("/dev-full.pdf");
    QFile::link(QStringLiteral("/dev/full"), device);
    QTest::newRow("link to /dev/full") << device << QStringLiteral("No space left on device");

    const QString pipe = folder + QStringLiteral("/pipe.pdf");
    mkfifo(QFile::encodeName(pipe).constData(), 0600);
    QTest::newRow("pipe nobody reads") << pipe << QStringLiteral("no program is reading");

    const QString locked = old_file_in("read-only");
    const QByteArray lockedName = QFile::encodeName(locked);
    if (Private_Mounts && mount("tmpfs", lockedName.constData(), "tmpfs", 0, "size=1m") == 0 && write_old(locked) &&
        mount(nullptr, lockedName.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0)
        QTest::newRow("read-only folder") << locked + QStringLiteral("/page.pdf")
                                          << QStringLiteral("Read-only file system");

    QTest::newRow("missing folder") << folder + QStringLiteral("/missing/page.pdf")
                                    << QStringLiteral("No such file or directory");
}

// Takes Faulty_Targets_Data's mounts down, so that `folder` can be removed.
inline void Faulty_Targets_Cleanup(const QString &folder)
{
    for (const char *sub : {"/full", "/read-only"})
        umount2(QFile::encodeName(folder + QLatin1String(sub)).constData(), MNT_DETACH);
}

// What the folder holds: names, kinds and the bytes of its regular files.
inline QStringList Folder_State(const QString &folder)
{
    QStringList state;
    for (const QFileInfo &entry : QDir(folder).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        QString kind = entry.isSymLink() ? QStringLiteral("-> ") + entry.symLinkTarget() : QStringLiteral("other");
        QFile file(entry.filePath());
        if (!entry.isSymLink() && entry.isFile() && file.open(QIODevice::ReadOnly))
            kind = QString::fromLatin1(file.readAll().toBase64());
        state.append(entry.fileName() + QStringLiteral(": ") + kind);
    }
    return state;
}
