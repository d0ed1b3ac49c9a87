#include "common/safe_write.h"

#include "common/failure.h"
#include "common/file_errors.h"
#include "common/platform_files.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "common/write_fault.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>

namespace converter {

namespace {

const QString kJournalName = QStringLiteral(".journal");
// Inside a staging folder: the old files the final step moved aside, kept until it is complete.
const QString kOldFolder = QStringLiteral("old/");

QString FolderOf(const QString& folder) {
    return folder.isEmpty() ? QStringLiteral(".") : folder;
}

bool Exists(const QString& path) {
    return QFileInfo::exists(path);
}

void Rename(const QString& from, const QString& to) {
    if (const int error = RenameFaultDue() ? EIO : platform::RenameOver(from, to)) {
        ThrowFileError(QStringLiteral("Не удаётся заменить файл "), to, error);
    }
}

// A second name for `existing`; where the file system has none to give, the file moves to it
// (the step is still renames only, with a moment in which the first name is missing).
void Link(const QString& existing, const QString& link) {
    if (RenameFaultDue()) {
        ThrowFileError(QStringLiteral("Не удаётся заменить файл "), existing, EIO);
    }
    int error = platform::HardLink(existing, link);
    if (error != 0 && platform::LinksUnsupported(error)) {
        error = platform::RenameOver(existing, link);
    }
    if (error != 0) {
        ThrowFileError(QStringLiteral("Не удаётся заменить файл "), existing, error);
    }
}

void SyncOrThrow(const QString& path) {
    if (const int error = platform::SyncPath(path)) {
        ThrowFileError(QStringLiteral("Ошибка записи файла "), path, error);
    }
}

// The final step's plan: the staged files to move in, in order, and the old files that no new
// one replaces, to move aside.
struct ReplacementPlan {
    QStringList in;
    QStringList aside;
};

ReplacementPlan ReadJournal(const QString& staging) {
    ReplacementPlan plan;
    QFile journal(staging + kJournalName);
    if (!journal.open(QIODevice::ReadOnly)) {
        ThrowFileError(QStringLiteral("Не удалось открыть файл "), journal.fileName(), errno);
    }
    for (const QString& line :
         QString::fromUtf8(journal.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1Char('+'))) {
            plan.in.append(line.mid(1));
        } else {
            plan.aside.append(line.startsWith(QLatin1Char('-')) ? line.mid(1) : line);
        }
    }
    // A journal of an earlier version lists only the removals: every staged file moves in.
    if (plan.in.isEmpty()) {
        for (const QString& name : QDir(staging).entryList(QDir::Files | QDir::Hidden)) {
            if (!name.startsWith(kJournalName)) {
                plan.in.append(name);
            }
        }
    }
    return plan;
}

// One new file into its place. The old one keeps a second name in the staging folder first, so
// that the target name never goes missing and the step can be undone. Done already when the new
// file is no longer staged.
void MoveIn(const QString& target, const QString& staging, const QString& name) {
    const QString fresh = staging + name;
    if (!Exists(fresh)) {
        return;
    }
    const QString current = target + QLatin1Char('/') + name;
    const QString backup = staging + kOldFolder + name;
    if (Exists(current) && !Exists(backup)) {
        Link(current, backup);
    }
    Rename(fresh, current);
}

void MoveAside(const QString& target, const QString& staging, const QString& name) {
    const QString current = target + QLatin1Char('/') + name;
    if (Exists(current)) {
        Rename(current, staging + kOldFolder + name);
    }
}

// Undoes MoveIn and MoveAside, last first; what was not done is skipped.
void MoveBack(const QString& target, const QString& staging, const ReplacementPlan& plan) {
    for (auto name = plan.aside.crbegin(); name != plan.aside.crend(); ++name) {
        const QString backup = staging + kOldFolder + *name;
        if (Exists(backup) && !Exists(target + QLatin1Char('/') + *name)) {
            Rename(backup, target + QLatin1Char('/') + *name);
        }
    }
    for (auto name = plan.in.crbegin(); name != plan.in.crend(); ++name) {
        const QString current = target + QLatin1Char('/') + *name;
        const QString fresh = staging + *name;
        const QString backup = staging + kOldFolder + *name;
        if (Exists(fresh)) {
            // Not moved in; where the old file moved aside to make room, it comes back.
            if (!Exists(current) && Exists(backup)) {
                Rename(backup, current);
            }
            continue;
        }
        if (Exists(backup)) {
            // The new file keeps its staged name, so that a killed undo can still go forward.
            Link(current, fresh);
            Rename(backup, current);
        } else {
            Rename(current, fresh);
        }
    }
}

// The final step proper: only renames in the target folder, new files first and the files that
// go last, so no old file goes before its replacement is in place. Run again after a kill it
// does the rest. Once the folder is synced the new state is complete; what is left in the
// staging folder (the old files) goes with it, and a next run removes it if this one cannot.
void CompleteReplacement(const QString& target, const QString& staging) {
    const ReplacementPlan plan = ReadJournal(staging);
    QDir().mkpath(staging + kOldFolder);
    for (const QString& name : plan.in) {
        MoveIn(target, staging, name);
    }
    for (const QString& name : plan.aside) {
        MoveAside(target, staging, name);
    }
    SyncOrThrow(target);
    if (platform::RemoveFile(staging + kJournalName) == 0) {
        QDir(staging).removeRecursively();
    }
}

// Files written under a temporary name by a run that is no longer running.
void RemoveDeadTemporaries(const QString& folder) {
    static const QRegularExpression name(QStringLiteral("^\\..+\\.([0-9]+)") +
                                         QRegularExpression::escape(kTemporarySuffix) +
                                         QLatin1Char('$'));
    const QDir dir(FolderOf(folder));
    for (const QFileInfo& entry : dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::Hidden |
                                                    QDir::System | QDir::NoDotAndDotDot)) {
        const QRegularExpressionMatch match = name.match(entry.fileName());
        if (!match.hasMatch() || platform::ProcessRunning(match.captured(1).toLongLong())) {
            continue;
        }
        if (entry.isDir() && !entry.isSymLink()) {
            QDir(entry.filePath()).removeRecursively();
        } else {
            platform::RemoveFile(entry.filePath());
        }
    }
}

}  // namespace

QString SystemErrorText(int error) {
    return platform::SystemErrorText(error);
}

QString DeviceErrorText(const QString& qtText, int error) {
    if ((qtText.isEmpty() || qtText == QLatin1String("Unknown error")) && error != 0) {
        return SystemErrorText(error);
    }
    return qtText;
}

QString CanonicalPath(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty()) {
        return canonical;
    }
    // A file yet to be made: its folder's canonical path and its own name.
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? QDir::cleanPath(info.absolutePath()) : folder) + QLatin1Char('/') +
           info.fileName();
}

bool RefuseOutputsAmongInputs(Ui& ui, const QStringList& outputs, const QStringList& inputs) {
    for (const QString& output : outputs) {
        const QString canonicalOutput = CanonicalPath(output);
        for (const QString& input : inputs) {
            // Table files are found without regard to case, so "LES.db" would replace "les.db".
            if (!input.isEmpty() &&
                CanonicalPath(input).compare(canonicalOutput, Qt::CaseInsensitive) == 0) {
                ui.showMessage(QStringLiteral("Файл результата совпадает с исходным файлом:\r") +
                                   QDir::toNativeSeparators(output),
                               QStringLiteral("Ошибка"), MessageIcon::Warning);
                return true;
            }
        }
    }
    return false;
}

QString InputFileProblem(const QString& path, qint64 maxSize, bool text) {
    const QFileInfo info(path);
    if (!info.exists()) {
        return QStringLiteral("Не найден файл:\r") + path;
    }
    if (!info.isFile()) {
        return QStringLiteral("Не является обычным файлом:\r") + path;
    }
    if (maxSize >= 0 && info.size() > maxSize) {
        return QStringLiteral("Файл слишком велик (%1 байт, допустимо не более %2):\r")
                   .arg(info.size())
                   .arg(maxSize) +
               path;
    }
    if (text) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            return QStringLiteral("Не удалось открыть файл: ") + path + QLatin1Char('\r') +
                   file.errorString();
        }
        // Some editors pad a file with NUL bytes to a whole block, and DOS programs end it with
        // 0x1A marks: a run of both, in any order, ends the file. A NUL with text after it is
        // not text, nor is padding without any text.
        bool sawNul = false;
        bool nulSinceText = false;
        bool sawText = false;
        while (!file.atEnd()) {
            const QByteArray chunk = file.read(1 << 16);
            if (chunk.isEmpty()) {
                // A read error: the position stays, and atEnd() would never come.
                return QStringLiteral("Ошибка при чтении файла: ") + path + QLatin1Char('\r') +
                       file.errorString();
            }
            for (const char c : chunk) {
                if (c == '\0') {
                    sawNul = nulSinceText = true;
                } else if (c == '\x1A') {
                    continue;
                } else if (nulSinceText) {
                    return QStringLiteral("Файл не является текстовым файлом ДОВИ:\r") + path;
                } else {
                    sawText = true;
                }
            }
        }
        if (sawNul && !sawText) {
            return QStringLiteral("Файл не является текстовым файлом ДОВИ:\r") + path;
        }
    }
    return {};
}

bool IsTableCompanionSuffix(const QString& suffix) {
    static const QRegularExpression companion(QStringLiteral("^(X|Y|XG|YG)[0-9A-F]{1,2}$|^VAL$"),
                                              QRegularExpression::CaseInsensitiveOption);
    return companion.match(suffix).hasMatch();
}

QStringList FilesNamedIgnoringCase(const QString& folder, const QString& name) {
    QStringList found;
    const QDir dir(FolderOf(folder));
    for (const QString& entry : dir.entryList(QDir::Files | QDir::Dirs | QDir::Hidden |
                                              QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0) {
            found.append(dir.filePath(entry));
        }
    }
    return found;
}

QString EngineFile(const QString& folder, const QString& name) {
    const QString exact = QDir(FolderOf(folder)).filePath(name);
    if (QFileInfo::exists(exact)) {
        return exact;
    }
    const QStringList found = FilesNamedIgnoringCase(folder, name);
    return found.isEmpty() ? QString() : found.first();
}

OperationLock::OperationLock() = default;

OperationLock::~OperationLock() {
    if (handle_ >= 0) {
        platform::ReleaseLockFile(handle_, path_);
    }
}

bool OperationLock::acquire(Ui& ui, const QString& lockPath) {
    const QString folder = QDir::toNativeSeparators(QFileInfo(lockPath).absolutePath());
    int error = 0;
    switch (platform::TryLockFile(lockPath, handle_, error)) {
        case platform::LockOutcome::Locked:
            path_ = lockPath;
            return true;
        case platform::LockOutcome::Busy:
            ui.showMessage(QStringLiteral("Файлы заняты другой операцией. Повторите попытку после "
                                          "ее завершения.\rПуть: ") +
                               folder,
                           QStringLiteral("Ошибка"), MessageIcon::Warning);
            return false;
        case platform::LockOutcome::Failed:
            break;
    }
    const platform::ErrorKind kind = platform::ErrorKindOf(error);
    if ((kind == platform::ErrorKind::NoPermission || kind == platform::ErrorKind::ReadOnly) &&
        !platform::FolderTakesFiles(folder)) {
        return true;
    }
    ui.showMessage(QStringLiteral("Не удалось начать запись в папку: ") + folder +
                       QLatin1Char('\r') + WriteErrorReason(error, folder),
                   QStringLiteral("Ошибка"), MessageIcon::Warning);
    return false;
}

QString DatabaseLockPath(const QString& mainPath) {
    const QFileInfo info(mainPath);
    return info.absoluteDir().filePath(QLatin1Char('.') + info.completeBaseName().toLower() +
                                       QStringLiteral(".db.dovi2tarvel-lock"));
}

QString StagingKey(const QString& mainPath) {
    return QFileInfo(mainPath).completeBaseName() + QStringLiteral(".db");
}

QString FolderLockPath(const QString& folder) {
    return QDir(FolderOf(folder)).filePath(QStringLiteral(".reference-tables.dovi2tarvel-lock"));
}

StagedReplacement::StagedReplacement(const QString& targetFolder, const QString& key)
    : target_(QDir(FolderOf(targetFolder)).absolutePath()) {
    staging_ = target_ + QStringLiteral("/.") + key.toLower() + kStagingSuffix + QLatin1Char('/');
    // Our own lock is held: whatever lies here was left by a killed run.
    RecoverStagedReplacement(target_, key);
    if (const int error = platform::MakeFolder(staging_)) {
        ThrowFileError(QStringLiteral("Не удалось записать файлы в папку "), target_, error);
    }
}

StagedReplacement::~StagedReplacement() {
    if (!committed_) {
        QDir(staging_).removeRecursively();
    }
}

QString StagedReplacement::folder() const {
    return staging_;
}

namespace {

// The files the table engine takes for the names are replaced, whatever their case; but where a
// table exists under its exact name, "Les.px" beside "les.db" belongs to another table and stays.
// The old files the staged ones do not overwrite by name are to be removed.
QStringList ReplacedOldFiles(const QString& folder, const QStringList& replaced,
                             const QStringList& staged) {
    const QDir target(folder);
    auto exactTable = [&](const QString& name) {
        const QString base = QFileInfo(name).completeBaseName();
        return std::any_of(replaced.begin(), replaced.end(), [&](const QString& other) {
            return QFileInfo(other).completeBaseName() == base &&
                   QFileInfo::exists(target.filePath(other));
        });
    };
    QStringList removals;
    for (const QString& name : replaced) {
        const QString exact = target.filePath(name);
        const QString old = exactTable(name) ? (QFileInfo::exists(exact) ? exact : QString())
                                             : EngineFile(folder, name);
        const QString oldName = QFileInfo(old).fileName();
        if (!old.isEmpty() && !staged.contains(oldName) && !removals.contains(oldName)) {
            removals.append(oldName);
        }
    }
    return removals;
}

// Secondary indexes and validity checks of a replaced table would mislead the GIS about the new
// one. The engine pairs them with the table by base name in any case; one whose exact base names
// another table that stays belongs to that table. Adds them to `removals`.
void AddStaleCompanions(const QDir& target, const QStringList& replaced, const QStringList& staged,
                        QStringList& removals) {
    const QStringList entries = target.entryList(QDir::Files | QDir::Hidden);
    auto keptTable = [&](const QString& base) {
        return std::any_of(entries.begin(), entries.end(), [&](const QString& entry) {
            const QFileInfo info(entry);
            return info.completeBaseName() == base &&
                   info.suffix().compare(QLatin1String("db"), Qt::CaseInsensitive) == 0 &&
                   !removals.contains(entry) && !staged.contains(entry);
        });
    };
    for (const QString& name : replaced) {
        const QFileInfo table(name);
        if (table.suffix().compare(QLatin1String("db"), Qt::CaseInsensitive) != 0) {
            continue;
        }
        for (const QString& entry : entries) {
            const QFileInfo info(entry);
            if (info.completeBaseName().compare(table.completeBaseName(), Qt::CaseInsensitive) ==
                    0 &&
                IsTableCompanionSuffix(info.suffix()) &&
                (info.completeBaseName() == table.completeBaseName() ||
                 !keptTable(info.completeBaseName())) &&
                !removals.contains(entry)) {
                removals.append(entry);
            }
        }
    }
}

// A folder in the place of a file would stop the step half-way: refuse before it starts.
void RefuseFoldersInPlace(const QDir& target, const QStringList& names) {
    for (const QString& name : names) {
        if (QFileInfo(target.filePath(name)).isDir()) {
            throw Failure(QStringLiteral("Не удаётся заменить файл ") +
                          QDir::toNativeSeparators(target.filePath(name)) + QLatin1Char('\r') +
                          SystemErrorText(EISDIR));
        }
    }
}

// A file another program holds open (the GIS keeps its tables open) can be neither replaced nor
// moved aside: refuse before the final step starts, naming it, with every old file in place.
void RefuseFilesHeldOpen(const QDir& target, const QStringList& names) {
    for (const QString& name : names) {
        if (platform::HeldOpen(target.filePath(name))) {
            ThrowFileError(QStringLiteral("Не удаётся заменить файл "), target.filePath(name),
                           EBUSY);
        }
    }
}

// The journal of the final step, its plan one name a line, written and synced under a temporary
// name.
void WriteJournalPart(const QString& part, const QStringList& lines) {
    const QByteArray bytes = lines.join(QLatin1Char('\n')).toUtf8() + '\n';
    int handle = -1;
    int error = platform::CreateFile(part, handle);
    if (error == 0) {
        error =
            WriteFaultDue() ? ENOSPC : platform::WriteAll(handle, bytes.constData(), bytes.size());
        if (error == 0) {
            error = platform::SyncHandle(handle);
        }
        const int closed = platform::CloseFile(handle);
        error = error != 0 ? error : closed;
    }
    if (error != 0) {
        ThrowFileError(QStringLiteral("Ошибка записи файла "), part, error);
    }
}

// The plan's lines: the new files, each table's .db after the rest (its arrival makes the table
// new for the GIS), then the old files to move aside.
QStringList JournalLines(const QStringList& staged, const QStringList& removals) {
    QStringList lines;
    QStringList tables;
    for (const QString& name : staged) {
        const bool table =
            QFileInfo(name).suffix().compare(QLatin1String("db"), Qt::CaseInsensitive) == 0;
        (table ? tables : lines).append(QLatin1Char('+') + name);
    }
    lines += tables;
    for (const QString& name : removals) {
        lines.append(QLatin1Char('-') + name);
    }
    return lines;
}

}  // namespace

void StagedReplacement::commit(const QStringList& replaced) {
    const QStringList staged = QDir(staging_).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : staged) {
        SyncOrThrow(staging_ + name);
    }
    const QDir target(target_);
    QStringList removals = ReplacedOldFiles(target_, replaced, staged);
    AddStaleCompanions(target, replaced, staged, removals);
    RefuseFoldersInPlace(target, staged + removals);
    RefuseFilesHeldOpen(target, staged + removals);
    const QString part = staging_ + kJournalName + QStringLiteral(".part");
    WriteJournalPart(part, JournalLines(staged, removals));
    Rename(part, staging_ + kJournalName);
    SyncOrThrow(staging_);
    committed_ = true;
    try {
        CompleteReplacement(target_, staging_);
    } catch (...) {
        // The run undoes its own renames before it reports; where even that fails, the journal
        // stays and the next run that opens the target completes the step.
        try {
            MoveBack(target_, staging_, ReadJournal(staging_));
            SyncOrThrow(target_);
            if (platform::RemoveFile(staging_ + kJournalName) == 0) {
                committed_ = false;
            }
        } catch (...) {
        }
        throw;
    }
}

void RecoverStagedReplacement(const QString& folder, const QString& key) {
    const QString target = QDir(FolderOf(folder)).absolutePath();
    const QString staging =
        target + QStringLiteral("/.") + key.toLower() + kStagingSuffix + QLatin1Char('/');
    if (Exists(staging + kJournalName)) {
        CompleteReplacement(target, staging);
    } else if (QFileInfo(staging).isDir()) {
        QDir(staging).removeRecursively();
    }
    RemoveDeadTemporaries(target);
}

FolderRecovery::FolderRecovery() = default;
FolderRecovery::~FolderRecovery() = default;

bool FolderRecovery::recover(Ui& ui, const QString& folder, const QStringList& keys) {
    const QString target = QDir(FolderOf(folder)).absolutePath();
    if (!platform::FolderTakesFiles(target)) {
        // Nothing can have been left where no file can be written.
        return true;
    }
    QStringList found;
    for (const QString& entry :
         QDir(target).entryList(QStringList{QStringLiteral(".*") + kStagingSuffix},
                                QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QString key = entry.mid(1, entry.size() - 1 - kStagingSuffix.size());
        if (keys.isEmpty() || keys.contains(key, Qt::CaseInsensitive)) {
            found.append(key);
        }
    }
    auto lockPathOf = [&target](const QString& key) {
        return key == QLatin1String(kReferenceTablesKey)
                   ? FolderLockPath(target)
                   : target + QStringLiteral("/.") + key.toLower() + kLockSuffix;
    };
    // A lock file that a killed run left blocks nobody, but it would stay: taken and given back,
    // it goes. One that a live run holds stays, unmentioned: that run has not begun to replace
    // anything here.
    for (const QString& key : keys) {
        int handle = -1;
        int error = 0;
        if (!found.contains(key, Qt::CaseInsensitive) && Exists(lockPathOf(key)) &&
            platform::TryLockFile(lockPathOf(key), handle, error) ==
                platform::LockOutcome::Locked) {
            platform::ReleaseLockFile(handle, lockPathOf(key));
        }
    }
    for (const QString& key : found) {
        const QString lockPath = lockPathOf(key);
        auto lock = std::make_unique<OperationLock>();
        if (!lock->acquire(ui, lockPath)) {
            return false;
        }
        try {
            RecoverStagedReplacement(target, key);
        } catch (...) {
            ShowErrorBox(ui, CurrentFailure());
            return false;
        }
        locks_.push_back(std::move(lock));
    }
    RemoveDeadTemporaries(target);
    return true;
}

QString TemporaryPathFor(const QString& path) {
    const QFileInfo info(path);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QLatin1Char('.') +
           QString::number(platform::ProcessId()) + kTemporarySuffix;
}

void RemoveTemporariesOfEndedRuns(const QString& folder) {
    RemoveDeadTemporaries(folder);
}

bool RefuseFoldersNamedLikeOutputs(Ui& ui, const QStringList& outputs) {
    for (const QString& output : outputs) {
        const QFileInfo info(output);
        for (const QString& found : FilesNamedIgnoringCase(info.absolutePath(), info.fileName())) {
            if (QFileInfo(found).isDir()) {
                ui.showMessage(
                    QStringLiteral("Не удаётся заменить файл ") + QDir::toNativeSeparators(output) +
                        QStringLiteral("\rНа его месте папка: ") + QDir::toNativeSeparators(found),
                    QStringLiteral("Ошибка"), MessageIcon::Warning);
                return true;
            }
        }
    }
    return false;
}

QString SyncFile(const QString& path) {
    const int error = platform::SyncPath(path);
    return error == 0 ? QString() : WriteErrorReason(error, path);
}

}  // namespace converter
