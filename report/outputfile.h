#pragma once

#include <QByteArray>
#include <QString>

// Writes `data` to `path` whole or not at all: into a new file beside it, flushed to disk and renamed into
// place only when complete, so a full disk or a missing folder leaves no truncated file behind. A path that
// names something other than a regular file (a device such as /dev/stdout) is written in place. False with
// *error, a Portuguese sentence naming the file and the reason, when the file was not written.
bool WriteOutputFile(const QString& path, const QByteArray& data, QString* error);

// The reason behind a failed system call (errno), in Portuguese.
QString SystemErrorText(int errorNumber);
