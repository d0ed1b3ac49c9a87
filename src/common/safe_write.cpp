#include "common/safe_write.h"

#include "common/failure.h"
#include "common/platform.h"
#include "common/ui.h"
#include "common/write_fault.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace converter {

namespace {

const QString kStagingSuffix = QStringLiteral(".dovi2tarvel-new");
const QString kJournalName = QStringLiteral(".journal");

QString FolderOf(const QString& folder) {
    return folder.isEmpty() ? QStringLiteral(".") : folder;
}

[[noreturn]] void ThrowFileError(const QString& what, const QString& path, const QString& reason) {
    throw Failure(what + QDir::toNativeSeparators(path) + QLatin1Char('\r') + reason);
}

[[noreturn]] void ThrowFileError(const QString& what, const QString& path, int error) {
    ThrowFileError(what, path, SystemErrorText(error));
}

void Rename(const QString& from, const QString& to) {
    const QString problem = MoveReplacing(from, to);
    if (!problem.isEmpty()) {
        ThrowFileError(QStringLiteral("Не удаётся заменить файл "), to, problem);
    }
}

void Remove(const QString& path) {
    const QString problem = RemoveFile(path);
    if (!problem.isEmpty()) {
        ThrowFileError(QStringLiteral("Не удаётся удалить файл "), path, problem);
    }
}

void SyncOrThrow(const QString& path, bool folder = false) {
    const QString problem = folder ? SyncFolder(path) : SyncFile(path);
    if (!problem.isEmpty()) {
        throw Failure(QStringLiteral("Ошибка записи файла ") + QDir::toNativeSeparators(path) +
                      QLatin1Char('\r') + problem);
    }
}

// The final step proper: old files that no new one replaces go, then the new ones move in. Run
// again after a kill it does the rest, since both removing a missing file and moving the files
// still staged are harmless.
void CompleteReplacement(const QString& target, const QString& staging) {
    QFile journal(staging + kJournalName);
    const QStringList removals =
        journal.open(QIODevice::ReadOnly)
            ? QString::fromUtf8(journal.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
            : QStringList();
    for (const QString& name : removals) {
        Remove(QDir(target).filePath(name));
    }
    const QStringList staged =
        QDir(staging).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : staged) {
        if (name != kJournalName) {
            Rename(staging + name, QDir(target).filePath(name));
        }
    }
    SyncOrThrow(target, true);
    Remove(staging + kJournalName);
    QDir().rmdir(staging);
}

}  // namespace

QString SystemErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
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
        // Some editors pad a file with NUL bytes to a whole block; anything before that is not
        // text.
        bool padding = false;
        bool sawText = false;
        while (!file.atEnd()) {
            const QByteArray chunk = file.read(1 << 16);
            for (const char c : chunk) {
                if (c == '\0') {
                    padding = true;
                } else if (padding) {
                    return QStringLiteral("Файл не является текстовым файлом ДОВИ:\r") + path;
                } else {
                    sawText = true;
                }
            }
        }
        if (padding && !sawText) {
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
OperationLock::~OperationLock() = default;

bool OperationLock::acquire(Ui& ui, const QString& lockPath) {
    auto lock = std::make_unique<QLockFile>(lockPath);
    // An import of a large forestry may hold its lock for minutes: only a dead owner frees it.
    lock->setStaleLockTime(0);
    // A lock whose process is gone is taken over at once; a live one is never waited for.
    if (lock->tryLock(0)) {
        lock_ = std::move(lock);
        return true;
    }
    const int error = errno;
    if (lock->error() == QLockFile::PermissionError &&
        !QFileInfo(QFileInfo(lockPath).absolutePath()).isWritable()) {
        return true;
    }
    if (lock->error() != QLockFile::LockFailedError) {
        ui.showMessage(QStringLiteral("Не удалось создать файл: ") +
                           QDir::toNativeSeparators(lockPath) + QLatin1Char('\r') +
                           SystemErrorText(error),
                       QStringLiteral("Ошибка"), MessageIcon::Warning);
        return false;
    }
    ui.showMessage(QStringLiteral("Файлы заняты другой операцией. Повторите попытку после ее "
                                  "завершения.\rПуть: ") +
                       QDir::toNativeSeparators(QFileInfo(lockPath).absolutePath()),
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
    if (!QDir().mkdir(staging_)) {
        ThrowFileError(QStringLiteral("Не удалось создать папку: "), staging_, errno);
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
// removed: refuse before the final step starts, so that nothing is half replaced.
void RefuseFilesHeldOpen(const QDir& target, const QStringList& names) {
    for (const QString& name : names) {
        const QString path = target.filePath(name);
        if (FileHeldOpen(path)) {
            throw Failure(
                QStringLiteral("Не удаётся заменить файл ") + QDir::toNativeSeparators(path) +
                QStringLiteral("\rФайл открыт другой программой (например, ГИС). Закройте "
                               "его и повторите операцию. Прежние файлы не изменены."));
        }
    }
}

// The journal of the final step, the removals one a line, written and synced under a temporary
// name.
void WriteJournalPart(const QString& part, const QStringList& removals) {
    {
        QFile journal(part);
        const QByteArray bytes = removals.join(QLatin1Char('\n')).toUtf8() + '\n';
        if (!journal.open(QIODevice::WriteOnly) || WriteFaultDue() ||
            journal.write(bytes) != bytes.size() || !journal.flush()) {
            throw Failure(QStringLiteral("Ошибка записи файла ") + QDir::toNativeSeparators(part) +
                          QLatin1Char('\r') + journal.errorString());
        }
    }
    SyncOrThrow(part);
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
    WriteJournalPart(part, removals);
    Rename(part, staging_ + kJournalName);
    SyncOrThrow(staging_, true);
    committed_ = true;
    CompleteReplacement(target_, staging_);
}

void RecoverStagedReplacement(const QString& folder, const QString& key) {
    const QString staging =
        QDir(FolderOf(folder)).absoluteFilePath(QLatin1Char('.') + key.toLower() + kStagingSuffix) +
        QLatin1Char('/');
    if (QFileInfo::exists(staging + kJournalName)) {
        CompleteReplacement(QDir(FolderOf(folder)).absolutePath(), staging);
    } else if (QFileInfo(staging).isDir()) {
        QDir(staging).removeRecursively();
    }
}

}  // namespace converter
