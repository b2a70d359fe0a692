// Writing the files the programs make (the printed page as a PDF, the
// canvas as a PNG) so that a failure never costs the user a file: a file is
// replaced whole or not at all, and every failure comes back with the
// system's reason.
#pragma once

#include "outcome.h"

#include <QByteArray>

#include <chrono>

// Writes `bytes` to the file named by `path`, the name's own bytes as the
// system takes them (a name need not be valid UTF-8). Symbolic links are
// followed as the kernel follows a shell's redirection, to a file that need
// not exist yet, one name at a time; in a world-writable sticky folder (/tmp)
// a link, to a folder on the way or to the file, is followed only when it
// belongs to the user or to the folder's owner. Every step works on what was
// opened, never on a name looked up again. A regular file, or a new one, is
// written to a temporary file beside it, flushed to the disk and then
// renamed over it; on any failure the old file stays as it was and the
// temporary is removed. The temporary has no name until it is whole
// (O_TMPFILE, linked through /proc or directly), so that a writer that is
// ended by any signal, SIGKILL included, leaves nothing; where the file
// system refuses that, or it cannot be linked, it is named (".qv-" and six
// letters) from the start, and one left by a writer that was ended, which
// nobody holds locked any more, is removed by the next writer in its
// folder. No signal is handled: the program's signals stay as they are. The new file keeps the old one's owner
// and group (as root), extended attributes, ACL (or none: not the folder's
// default ACL) and permissions; a new one gets what the kernel gives it (the
// umask, or the folder's default ACL). A file with more than one name, one in
// a folder where it cannot be replaced (not writable, sticky, append-only),
// and one whose owner or attributes the new file cannot be given, is
// rewritten in place instead, once room for the new content is reserved, by
// a child process that blocks signals until the bytes and the length are
// written. Writers of
// one file take turns (an advisory lock on it): a file found locked is waited
// for up to `lock_wait`, by default not at all, so that a window never hangs
// on another program. Anything else found there (a device, a pipe) is written
// directly, and a pipe that no program reads is refused at once instead of
// waited for. A link of /proc to an open file (/dev/stdout) leads to that
// file, as the kernel has it: a regular one is rewritten in place. Fails with the system's reason ("No space left on device").
Result<> Write_Whole_File(const QByteArray &path, const QByteArray &bytes, std::chrono::milliseconds lock_wait = {});
