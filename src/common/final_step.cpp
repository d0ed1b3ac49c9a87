#include "common/final_step.h"

#include "common/failure.h"
#include "common/file_errors.h"
#include "common/platform_files.h"
#include "common/write_fault.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cerrno>

namespace converter {

namespace {

const QString kJournalName = QStringLiteral(".journal");
// The journal of a step its run began to undo and could not: the next run undoes the rest.
const QString kUndoJournalName = QStringLiteral(".journal.undo");
// Inside a staging folder: the old files the final step moved aside, kept until it is complete.
const QString kOldFolder = QStringLiteral("old/");

const QString kReplaceFailed = QStringLiteral("Не удаётся заменить файл ");

bool Exists(const QString& path) {
    return QFileInfo::exists(path);
}

void SyncOrThrow(const QString& path) {
    if (const int error = platform::SyncPath(path)) {
        ThrowFileError(QStringLiteral("Ошибка записи файла "), path, error);
    }
}

// The files of the step, kept from other programs while it lasts: where the system lets a
// program keep a file open (Windows, where the GIS keeps its tables open), nobody else can then
// open, replace or remove any of them, and the step's renames go through the held handles.
// Elsewhere nothing is held and renames go by name.
class StepFiles {
public:
    StepFiles() = default;
    ~StepFiles() { release(); }
    StepFiles(const StepFiles&) = delete;
    StepFiles& operator=(const StepFiles&) = delete;

    // Keeps every existing file that the plan moves; refuses, naming the file, where another
    // program has one open.
    void holdAll(const QString& target, const QString& staging, const ReplacementPlan& plan) {
        for (const QString& name : plan.in + plan.aside) {
            hold(target + QLatin1Char('/') + name, false);
            hold(staging + kOldFolder + name, false);
        }
        for (const QString& name : plan.in) {
            hold(staging + name, true);
        }
    }

    void release() {
        for (const platform::HeldHandle handle : std::as_const(held_)) {
            platform::ReleaseHeld(handle);
        }
        held_.clear();
    }

    // Moves `from` to `to`, replacing a file there.
    void move(const QString& from, const QString& to) {
        const platform::HeldHandle handle = held_.value(Key(from));
        int error = RenameFaultDue() ? EIO : 0;
        if (error == 0) {
            error = handle != nullptr ? platform::RenameHeld(handle, to)
                                      : platform::RenameOver(from, to);
        }
        if (error != 0) {
            ThrowFileError(kReplaceFailed, to, error);
        }
        if (handle != nullptr) {
            held_.remove(Key(from));
            held_.insert(Key(to), handle);
        }
    }

    // Gives `existing` the name `second` as well, so that the step can be undone. A held file
    // moves to it instead: no other program can open it meanwhile. Where the file system has
    // no second names to give, the file moves too (for a moment its first name is missing).
    void keepAs(const QString& existing, const QString& second) {
        if (held_.contains(Key(existing))) {
            move(existing, second);
            return;
        }
        if (RenameFaultDue()) {
            ThrowFileError(kReplaceFailed, existing, EIO);
        }
        int error = platform::HardLink(existing, second);
        if (error != 0 && platform::LinksUnsupported(error)) {
            error = platform::RenameOver(existing, second);
        }
        if (error != 0) {
            ThrowFileError(kReplaceFailed, existing, error);
        }
    }

private:
    static QString Key(const QString& path) {
        const QString clean = QDir::cleanPath(path);
        return platform::NamesIgnoreCase() ? clean.toLower() : clean;
    }

    void hold(const QString& path, bool staged) {
        if (!Exists(path) || held_.contains(Key(path))) {
            return;
        }
        platform::HeldHandle handle = nullptr;
        const int error = platform::HoldForStep(path, handle);
        if (error == EBUSY && staged) {
            // Our own new file, opened by a virus scanner or an indexer: not the user's table.
            throw Failure(kReplaceFailed + ShownPath(path) +
                          QStringLiteral("\rНовый файл занят другой программой (возможно, "
                                         "антивирусом). Повторите попытку."));
        }
        if (error != 0) {
            ThrowFileError(kReplaceFailed, path, error);
        }
        if (handle != nullptr) {
            held_.insert(Key(path), handle);
        }
    }

    QHash<QString, platform::HeldHandle> held_;
};

ReplacementPlan ReadJournal(const QString& staging, const QString& journalName) {
    ReplacementPlan plan;
    QFile journal(staging + journalName);
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

// The journal, written and synced under a temporary name, then renamed into place (the folder is
// synced by the caller).
void WriteJournal(const QString& staging, const ReplacementPlan& plan) {
    QStringList lines;
    for (const QString& name : plan.in) {
        lines.append(QLatin1Char('+') + name);
    }
    for (const QString& name : plan.aside) {
        lines.append(QLatin1Char('-') + name);
    }
    const QByteArray bytes = lines.join(QLatin1Char('\n')).toUtf8() + '\n';
    const QString part = staging + kJournalName + QStringLiteral(".part");
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
    if (error == 0) {
        error = RenameFaultDue() ? EIO : platform::RenameOver(part, staging + kJournalName);
    }
    if (error != 0) {
        ThrowFileError(QStringLiteral("Ошибка записи файла "), part, error);
    }
}

// One new file into its place. The old one keeps a second name in the staging folder first, so
// that the step can be undone. Done already when the new file is no longer staged.
void MoveIn(StepFiles& files, const QString& target, const QString& staging, const QString& name) {
    const QString fresh = staging + name;
    if (!Exists(fresh)) {
        return;
    }
    const QString current = target + QLatin1Char('/') + name;
    const QString backup = staging + kOldFolder + name;
    if (Exists(current) && !Exists(backup)) {
        files.keepAs(current, backup);
    }
    files.move(fresh, current);
}

void MoveAside(StepFiles& files, const QString& target, const QString& staging,
               const QString& name) {
    const QString current = target + QLatin1Char('/') + name;
    if (Exists(current)) {
        files.move(current, staging + kOldFolder + name);
    }
}

// Undoes MoveIn and MoveAside, last first; what was not done is skipped.
void MoveBack(StepFiles& files, const QString& target, const QString& staging,
              const ReplacementPlan& plan) {
    for (auto name = plan.aside.crbegin(); name != plan.aside.crend(); ++name) {
        const QString backup = staging + kOldFolder + *name;
        if (Exists(backup) && !Exists(target + QLatin1Char('/') + *name)) {
            files.move(backup, target + QLatin1Char('/') + *name);
        }
    }
    for (auto name = plan.in.crbegin(); name != plan.in.crend(); ++name) {
        const QString current = target + QLatin1Char('/') + *name;
        const QString fresh = staging + *name;
        const QString backup = staging + kOldFolder + *name;
        if (Exists(fresh)) {
            // Not moved in; where the old file moved aside to make room, it comes back, over
            // whatever another program may have made under its name meanwhile.
            if (Exists(backup) && (!Exists(current) || !platform::SameFile(current, backup))) {
                files.move(backup, current);
            }
            continue;
        }
        if (Exists(backup)) {
            // The new file keeps its staged name, so that a killed undo can still go forward.
            files.keepAs(current, fresh);
            files.move(backup, current);
        } else if (Exists(current)) {
            files.move(current, fresh);
        }
    }
}

// The folder for the old files; its own failure is the one told, not that of the first move
// into it.
void MakeOldFolder(const QString& staging) {
    const QString folder = staging + kOldFolder;
    if (QFileInfo(folder).isDir()) {
        return;
    }
    if (const int error = platform::MakeFolder(folder); error != 0 && error != EEXIST) {
        ThrowFileError(kReplaceFailed, folder, error);
    }
}

// Once the folder is synced it holds the state the journal `name` leads to: the journal goes,
// the files are let go and the staging folder is dropped. A journal that cannot be removed is
// finished again, with nothing left to do, by the next run.
void Finish(StepFiles& files, const QString& target, const QString& staging, const QString& name) {
    SyncOrThrow(target);
    const bool removed = platform::RemoveFile(staging + name) == 0;
    files.release();
    if (removed) {
        QDir(staging).removeRecursively();
    }
}

// The step proper: renames only, new files first and the files that go last, so that no old
// file goes before its replacement is in place. Run again after a kill it does the rest.
void Complete(StepFiles& files, const QString& target, const QString& staging,
              const ReplacementPlan& plan) {
    MakeOldFolder(staging);
    for (const QString& name : plan.in) {
        MoveIn(files, target, staging, name);
    }
    for (const QString& name : plan.aside) {
        MoveAside(files, target, staging, name);
    }
    Finish(files, target, staging, kJournalName);
}

// What the message of a step that could not be undone adds: what becomes of the folder.
QString Unfinished(bool undoJournaled) {
    return undoJournaled ? QStringLiteral(
                               "\rЗамена прервана, и прежние файлы не удалось сразу вернуть на "
                               "место: часть файлов в папке может быть уже новой. Прежние файлы "
                               "будут восстановлены при следующем открытии этой папки программой.")
                         : QStringLiteral(
                               "\rЗамена прервана, и прежние файлы не удалось вернуть на место. "
                               "Замена новыми файлами будет завершена при следующем открытии "
                               "этой папки программой.");
}

// A failed step is undone by its own run. Where that fails, or its journal cannot go, the journal
// turns into an undo journal, so that the next run restores the old files rather than completing
// the new ones; the message says which of the two the next run does.
[[noreturn]] void Undo(StepFiles& files, const QString& target, const QString& staging,
                       const ReplacementPlan& plan) {
    const Failure first = CurrentFailure();
    bool restored = false;
    try {
        MoveBack(files, target, staging, plan);
        SyncOrThrow(target);
        restored = true;
    } catch (...) {
    }
    if (restored && platform::RemoveFile(staging + kJournalName) == 0) {
        throw first;
    }
    const bool undoJournaled =
        platform::RenameOver(staging + kJournalName, staging + kUndoJournalName) == 0 &&
        platform::SyncPath(staging) == 0;
    files.release();
    if (restored && undoJournaled) {
        throw first;
    }
    throw Failure(first.description() + Unfinished(undoJournaled), first.source());
}

}  // namespace

ReplacementPlan PlanOf(const QStringList& staged, const QStringList& removals) {
    ReplacementPlan plan;
    QStringList tables;
    for (const QString& name : staged) {
        const bool table =
            QFileInfo(name).suffix().compare(QLatin1String("db"), Qt::CaseInsensitive) == 0;
        (table ? tables : plan.in).append(name);
    }
    plan.in += tables;
    plan.aside = removals;
    return plan;
}

void RunFinalStep(const QString& target, const QString& staging, const ReplacementPlan& plan) {
    StepFiles files;
    files.holdAll(target, staging, plan);
    WriteJournal(staging, plan);
    try {
        // Until the journal is on the disk, the step has not begun: undone, it goes.
        SyncOrThrow(staging);
        Complete(files, target, staging, plan);
    } catch (...) {
        Undo(files, target, staging, plan);
    }
}

bool StepJournaled(const QString& staging) {
    return Exists(staging + kJournalName) || Exists(staging + kUndoJournalName);
}

bool RecoverFinalStep(const QString& target, const QString& staging) {
    const bool undo = Exists(staging + kUndoJournalName);
    if (!undo && !Exists(staging + kJournalName)) {
        return false;
    }
    const ReplacementPlan plan = ReadJournal(staging, undo ? kUndoJournalName : kJournalName);
    StepFiles files;
    files.holdAll(target, staging, plan);
    if (undo) {
        MoveBack(files, target, staging, plan);
        Finish(files, target, staging, kUndoJournalName);
    } else {
        Complete(files, target, staging, plan);
    }
    return true;
}

}  // namespace converter
