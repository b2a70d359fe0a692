// Writing the files the programs make (the printed page as a PDF, the
// canvas as a PNG) so that a failure never costs the user a file: a file is
// replaced whole or not at all, and every failure comes back with the
// system's reason.
#pragma once

#include "outcome.h"

#include <QByteArray>

// Writes `bytes` to the file named by `path`, the name's own bytes as the
// system takes them (a name need not be valid UTF-8). Symbolic links are
// followed as the kernel follows a shell's redirection, to a file that need
// not exist yet; in a world-writable sticky folder (/tmp) a link is followed
// only when it belongs to the user or to the folder's owner. Every step
// works on what was opened, never on a name looked up again. A regular file,
// or a new one, is written to a temporary file (".qv-" and six letters)
// beside it, flushed to the disk and then renamed over it; on any failure the
// old file stays as it was and the temporary is removed, also when a signal
// whose default is to end the program ends it meanwhile. The new file keeps
// the old one's owner and group (as root), extended attributes and ACL, and
// permissions. A file with more than one name, one in a folder where it
// cannot be replaced (not writable, sticky, append-only), and one whose owner
// or attributes the new file cannot be given, is rewritten in place instead,
// once room for the new content is reserved, with such signals held until
// the bytes and the length are written. Writers of one file take turns (an
// advisory lock on it). Anything else found there (a device, a pipe) is
// written directly, and a pipe that no program reads is refused at once
// instead of waited for. Fails with the system's reason ("No space left on
// device"). Not reentrant: one write at a time.
Result<> Write_Whole_File(const QByteArray &path, const QByteArray &bytes);
