#pragma once

#include <QString>

namespace converter {

// Internal names beside the user's files: the staging folder of a set (its name ends so) and a
// file written under a temporary name (".name.<process id>" and this ending).
inline const QString kStagingSuffix = QStringLiteral(".dovi2tarvel-new");
inline const QString kTemporarySuffix = QStringLiteral(".dovi2tarvel-tmp");
inline const QString kLockSuffix = QStringLiteral(".dovi2tarvel-lock");

// The user's name for a path that may be internal: a file in a staging folder, or under a
// temporary name, is shown as the file it becomes; a lock file as its folder. Native separators.
QString ShownPath(const QString& path);
// The same for every path inside a message text.
QString WithoutInternalNames(const QString& text);

// Why a write failed, in the user's words: what the folder of `path` (the file itself where the
// error is the file's) lacks, for the common errors; the system's own text for the rest.
QString WriteErrorReason(int error, const QString& path);

// A Failure: `what` (ending in a space), the user's path and, on a line of its own, the reason.
[[noreturn]] void ThrowFileError(const QString& what, const QString& path, int error);

}  // namespace converter
