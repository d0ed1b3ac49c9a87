#include "common/safe_write.h"

#include "common/failure.h"
#include "common/file_errors.h"
#include "common/final_step.h"
#include "common/platform_files.h"
#include "common/responsive_call.h"
#include "common/ui.h"
#include "common/utilities.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>

namespace converter {

namespace {

bool Exists(const QString& path) {
    return QFileInfo::exists(path);
}

QString FolderOf(const QString& folder) {
    return folder.isEmpty() ? QStringLiteral(".") : folder;
}

QString StagingFolder(const QString& target, const QString& key) {
    return target + QStringLiteral("/.") + key.toLower() + kStagingSuffix + QLatin1Char('/');
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
                       QLatin1Char('\r') + WriteErrorReason(error, lockPath),
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
    : target_(QDir(FolderOf(targetFolder)).absolutePath()), staging_(StagingFolder(target_, key)) {
    // Our own lock is held: whatever lies here was left by a killed run.
    RecoverStagedReplacement(target_, key);
    if (const int error = platform::MakeFolder(staging_)) {
        ThrowFileError(QStringLiteral("Не удалось записать файлы в папку "), target_, error);
    }
}

StagedReplacement::~StagedReplacement() {
    // A journal left by a step that could not be finished is the next run's to finish.
    if (!StepJournaled(staging_)) {
        QDir(staging_).removeRecursively();
    }
}

QString StagedReplacement::folder() const {
    return staging_;
}

namespace {

// Names as the file system tells them apart: on Windows "SPTAB.DB" and "sptab.db" are one file.
Qt::CaseSensitivity NameCase() {
    return platform::NamesIgnoreCase() ? Qt::CaseInsensitive : Qt::CaseSensitive;
}

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
        if (!old.isEmpty() && !staged.contains(oldName, NameCase()) &&
            !removals.contains(oldName, NameCase())) {
            removals.append(oldName);
        }
    }
    return removals;
}

// Secondary indexes and validity checks of a replaced table would mislead the GIS about the new
// one. The engine pairs them with the table by base name in any case; one whose own base names
// another table that stays belongs to that table. Adds them to `removals`.
void AddStaleCompanions(const QDir& target, const QStringList& replaced, const QStringList& staged,
                        QStringList& removals) {
    const QStringList entries = target.entryList(QDir::Files | QDir::Hidden);
    auto keptTable = [&](const QString& base) {
        return std::any_of(entries.begin(), entries.end(), [&](const QString& entry) {
            const QFileInfo info(entry);
            return info.completeBaseName().compare(base, NameCase()) == 0 &&
                   info.suffix().compare(QLatin1String("db"), Qt::CaseInsensitive) == 0 &&
                   !removals.contains(entry, NameCase()) && !staged.contains(entry, NameCase());
        });
    };
    for (const QString& name : replaced) {
        const QFileInfo table(name);
        if (table.suffix().compare(QLatin1String("db"), Qt::CaseInsensitive) != 0) {
            continue;
        }
        for (const QString& entry : entries) {
            const QString base = QFileInfo(entry).completeBaseName();
            if (base.compare(table.completeBaseName(), Qt::CaseInsensitive) == 0 &&
                IsTableCompanionSuffix(QFileInfo(entry).suffix()) &&
                (base.compare(table.completeBaseName(), NameCase()) == 0 || !keptTable(base)) &&
                !removals.contains(entry, NameCase())) {
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

// An old file that is read-only by its own attribute cannot be replaced or removed (Windows):
// refuse before the final step starts, naming it.
void RefuseReadOnlyFiles(const QDir& target, const QStringList& names) {
    for (const QString& name : names) {
        const QString path = target.filePath(name);
        if (platform::ReadOnlyAttribute(path)) {
            throw Failure(QStringLiteral("Не удаётся заменить файл ") + ShownPath(path) +
                          QStringLiteral("\rФайл доступен только для чтения: ") + ShownPath(path));
        }
    }
}

}  // namespace

void StagedReplacement::commit(const QStringList& replaced) {
    // The writers synced every new file through its own handle before closing it.
    const QStringList staged = QDir(staging_).entryList(QDir::Files | QDir::Hidden);
    const QDir target(target_);
    QStringList removals = ReplacedOldFiles(target_, replaced, staged);
    AddStaleCompanions(target, replaced, staged, removals);
    RefuseFoldersInPlace(target, staged + removals);
    RefuseReadOnlyFiles(target, staged + removals);
    const ReplacementPlan plan = PlanOf(staged, removals);
    RunResponsively([&] { RunFinalStep(target_, staging_, plan); });
}

void RecoverStagedReplacement(const QString& folder, const QString& key) {
    const QString target = QDir(FolderOf(folder)).absolutePath();
    const QString staging = StagingFolder(target, key);
    if (!RecoverFinalStep(target, staging) && QFileInfo(staging).isDir()) {
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
