#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace converter {

class Ui;

// The system's reason for the last failed call, in words (strerror of errno).
QString SystemErrorText(int error);

// A device's error in words: Qt's text, or the system's reason `error` where Qt has none.
QString DeviceErrorText(const QString& qtText, int error);

// Canonical form of a path for comparing files: links and "." / ".." resolved for the part that
// exists, so that two spellings of one file compare equal.
QString CanonicalPath(const QString& path);

// True (after a warning naming the file) when one of `outputs` is one of `inputs`.
bool RefuseOutputsAmongInputs(Ui& ui, const QStringList& outputs, const QStringList& inputs);

// Why a file the operation reads cannot be read, or empty: it must be a regular file (devices,
// pipes and folders never end or block), at most `maxSize` bytes when given, and, when `text`,
// hold no NUL bytes except as trailing padding.
QString InputFileProblem(const QString& path, qint64 maxSize = -1, bool text = false);

// True for the suffix of a file that belongs to the table of the same base name beside its .db and
// .px: a secondary index (X??, Y??, XG?, YG?) or validity checks (VAL), in any letter case. Those
// of an old table do not match a new one written in its place.
bool IsTableCompanionSuffix(const QString& suffix);

// Every entry of `folder` whose name equals `name` without regard to letter case, as the table
// engine finds them (folders too: one in a table's place must not pass unseen).
QStringList FilesNamedIgnoringCase(const QString& folder, const QString& name);

// The file the table engine would take for `name` in `folder`: the exact name, else the first
// spelled in another case; empty when none.
QString EngineFile(const QString& folder, const QString& name);

// One operation at a time per target: a lock file beside it (never a name the GIS uses for its
// own locks), locked through the system, which frees it when its holder ends however it ends: a
// lock file left by a killed run, empty or holding anything, is taken over; a live holder's lock
// is refused whatever its age. The file goes when the lock does.
class OperationLock {
public:
    OperationLock();
    ~OperationLock();
    OperationLock(const OperationLock&) = delete;
    OperationLock& operator=(const OperationLock&) = delete;

    // Locks the target whose lock file is `lockPath`; false after a message when another run
    // holds it. A folder that takes no files cannot be written by any run either: it needs no
    // lock.
    bool acquire(Ui& ui, const QString& lockPath);

private:
    int handle_ = -1;
    QString path_;
};

// The lock file of a stand database (its main table path) and of a reference folder; the staging
// keys of the two sets (distinct even for a database named like the reference tables).
inline constexpr char kReferenceTablesKey[] = "reference-tables";
QString StagingKey(const QString& mainPath);
QString DatabaseLockPath(const QString& mainPath);
QString FolderLockPath(const QString& folder);

// New files of an operation are written into a staging folder inside the target folder and
// replace the old files in one short final step of renames alone: each new file over its old one
// (which keeps a second name in the staging folder), then the old files no new one replaces into
// the staging folder. The step is journaled: once its plan is written, a killed run is completed
// by the next one (RecoverStagedReplacement), so the folder holds either all old or all new
// files; a failure inside it is undone by the run itself. Made under the set's lock, it first
// recovers what a killed run left.
class StagedReplacement {
public:
    // `key` names the set of files (StagingKey of a database, kReferenceTablesKey); the staging
    // folder is made at once. Failure when it cannot be.
    StagedReplacement(const QString& targetFolder, const QString& key);
    ~StagedReplacement();  // without commit() the staging folder and all in it go
    StagedReplacement(const StagedReplacement&) = delete;
    StagedReplacement& operator=(const StagedReplacement&) = delete;

    // Folder (with a final "/") into which the new files are written under their final names.
    QString folder() const;

    // Moves every staged file into the target folder; `replaced` are the final names of the
    // files this set consists of: an old file the table engine would take for one of them (in
    // another letter case, or one the new set does not hold) goes; for a table that exists
    // under its exact name, only exact names count. The secondary indexes of every table
    // replaced go with it. Failure on any error, with the old files back in place; where even the
    // undoing fails, the message says what the next run that opens the folder will do.
    void commit(const QStringList& replaced);

private:
    QString target_;
    QString staging_;
};

// Completes or discards what a killed run left for the set `key` in `folder` (the caller holds
// the set's lock): a journaled replacement is finished, a staging folder without a journal is
// removed. Other sets' staging folders belong to runs that may still be going. Temporary files
// of ended runs go too.
void RecoverStagedReplacement(const QString& folder, const QString& key);

// Before anything in `folder` is read: completes or drops, under each set's lock, what killed
// runs left there (the sets `keys`, or every set with a staging folder when empty), and removes
// their temporary files. The locks are held while the object lives. False after a message when
// a set is busy (a live run is replacing it) or its step cannot be completed.
class FolderRecovery {
public:
    FolderRecovery();
    ~FolderRecovery();
    FolderRecovery(const FolderRecovery&) = delete;
    FolderRecovery& operator=(const FolderRecovery&) = delete;

    bool recover(Ui& ui, const QString& folder, const QStringList& keys = {});

private:
    std::vector<std::unique_ptr<OperationLock>> locks_;
};

// The temporary name under which `path` is written (a file, or a folder of temporary files) before
// it is renamed into place: a hidden name beside it that holds this run's process id, so that a
// later run knows it for a leftover.
QString TemporaryPathFor(const QString& path);
// Removes the temporary files and folders of runs that no longer run from `folder`.
void RemoveTemporariesOfEndedRuns(const QString& folder);

// True (after a warning) when a folder sits where one of `outputs` would go, in any letter
// case: the final step could not put the file there.
bool RefuseFoldersNamedLikeOutputs(Ui& ui, const QStringList& outputs);

// Flushes a file's data to the disk; the system's reason on failure, empty when done.
QString SyncFile(const QString& path);

}  // namespace converter
