// Fault injection into the console program, as a hostile disk would do it: for one operation over
// an old state, every file call in turn fails with EIO, fails with ENOSPC from there on, or kills
// the process just before it (through the preloaded fault library on Linux, the program's own
// seam on Windows, which can also refuse a call as a file another program holds or as access
// denied). After each run the folder
// tree must hold exactly the old files or exactly the new ones (a failure after the last rename
// may leave the new ones); a run that reports success must leave the new ones; after a kill the
// next reading command must leave one of the two, with no temporary, staging or lock file, and
// the operation run again must succeed with the new ones. Two leftovers are the next command's
// to finish, judged the same way: those of a disk that stays full (no room to undo) and the file
// whose own removal failed. A report copy in the program folder may be missing after a failure,
// never stand beside files it does not describe. Messages name the user's files only, and never
// call a file of ours that something else holds a file of theirs in use.
//
//   fault_injection OPERATION CLI PRELOAD SOURCE_DIR [--every M,M...] [--stride K] [--all]
//                   [--modes M,M...] [--no-links]
//
// OPERATION: import, form (its old report goes), form-report (its new tables come with a
// report), export or check. PRELOAD: the fault library, or a space-separated
// list whose last entry it is (a sanitizer runtime must come first); "-" for a Windows program.
// --modes lists the modes (eio, enospc, kill, and on Windows sharing and denied; the first three
// by default). --every names the modes run at every call (eio by default); the others run at a
// sample of calls (every K-th, and every call that renames, links, removes, makes a folder,
// locks or holds a file); sharing and denied strike only calls that open or name a file. --all
// runs every call in all modes.
// Prints the runs, passes and failures by class per mode; exits 1 when any run failed.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <csignal>
#include <vector>

namespace {

using State = QMap<QString, QByteArray>;  // relative path -> bytes; folders end with '/'

struct Outcome {
    int status = -1;       // exit status, or -1 when the process did not end by itself
    bool killed = false;   // by the fault's kill
    bool crashed = false;  // any other way
    bool timedOut = false;
    bool failedToStart = false;
    bool counted = false;  // the seam logged at least one call
    uint exitCode = 0;     // as the system gave it (an NT status after a crash on Windows)
    QString errors;        // standard error
    QString output;        // standard output
};

struct Call {
    long number = 0;
    QString kind;
    QString path;
};

QTextStream out(stdout);

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// A table's header holds the time it was written; nothing else of ours depends on the clock.
QByteArray Masked(const QString& name, QByteArray bytes) {
    if (name.endsWith(QLatin1String(".db"), Qt::CaseInsensitive) && bytes.size() >= 0x64) {
        bytes.replace(0x60, 4, QByteArray(4, '\0'));
    }
    return bytes;
}

State Snapshot(const QString& root) {
    State state;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(root).relativeFilePath(path);
        if (it.fileInfo().isDir()) {
            state.insert(relative + QLatin1Char('/'), QByteArray());
        } else {
            state.insert(relative, Masked(relative, FileBytes(path)));
        }
    }
    return state;
}

bool Restore(const QString& root, const State& state) {
    if (!QDir(root).removeRecursively() || !QDir().mkpath(root)) {
        return false;
    }
    for (auto it = state.begin(); it != state.end(); ++it) {
        const QString path = root + QLatin1Char('/') + it.key();
        const bool done =
            it.key().endsWith(QLatin1Char('/')) ? QDir().mkpath(path) : WriteFile(path, it.value());
        if (!done) {
            return false;
        }
    }
    return true;
}

State Without(State state, const QStringList& names) {
    for (const QString& name : names) {
        state.remove(name);
    }
    return state;
}

// What differs between two states, briefly: the names only in one, or changed.
// Each table's .db moves in after its index: a kill between the two may leave an old table
// beside a new index, which the GIS rebuilds, never a new table beside an old index (a table
// that the run does not change, and an index moved aside for a moment, tell nothing).
QString NewTableBesideOldIndex(const State& state, const State& old, const State& fresh) {
    for (auto it = state.begin(); it != state.end(); ++it) {
        const QString index = it.key().chopped(3) + QStringLiteral(".px");
        if (it.key().endsWith(QLatin1String(".db")) && fresh.value(it.key()) == it.value() &&
            old.value(it.key()) != it.value() && state.contains(index) &&
            state.value(index) != fresh.value(index)) {
            return it.key();
        }
    }
    return {};
}

QString Difference(const State& actual, const State& expected) {
    QStringList lines;
    for (auto it = actual.begin(); it != actual.end(); ++it) {
        if (!expected.contains(it.key())) {
            lines << QStringLiteral("+") + it.key();
        } else if (expected.value(it.key()) != it.value()) {
            lines << QStringLiteral("~") + it.key();
        }
    }
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        if (!actual.contains(it.key())) {
            lines << QStringLiteral("-") + it.key();
        }
    }
    return lines.join(QLatin1Char(' '));
}

class Runner {
public:
    Runner(QString cli, QString preload, QString root, bool noLinks)
        : cli_(std::move(cli)),
          preload_(std::move(preload)),
          root_(std::move(root)),
          noLinks_(noLinks) {}

    // Runs the console program; with a mode, through the fault library (on Windows the program's
    // own seam reads the same variables). A folder without links has none for every run, the
    // set-up and the follow-ups included. Wine now and then fails to start a process, or ends
    // it with an NT status before it runs our code (a run that made no call and printed nothing):
    // such a start is tried again; a program that fails so every time is still reported.
    Outcome run(const QStringList& arguments, const QString& faultMode = QString(), long at = 0) {
        Outcome outcome;
        for (int attempt = 0; attempt < 3; ++attempt) {
            outcome = runOnce(arguments, faultMode, at);
            if (!outcome.failedToStart && !(outcome.crashed && outcome.output.isEmpty() &&
                                            outcome.errors.isEmpty() && !outcome.counted)) {
                break;
            }
            ++restarts;
        }
        return outcome;
    }

    int restarts = 0;  // starts tried again (told in the result line)

    Outcome runOnce(const QStringList& arguments, const QString& faultMode, long at) {
        const QString mode = faultMode.isEmpty() && noLinks_ ? QStringLiteral("trace") : faultMode;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString& name : environment.keys()) {
            if (name == QLatin1String("LD_PRELOAD") || name.startsWith(QLatin1String("FAULT_"))) {
                environment.remove(name);
            }
        }
        const QString logPath = root_ + QStringLiteral("/../calls.txt");
        QFile::remove(logPath);
        if (!mode.isEmpty()) {
            if (!preload_.isEmpty()) {
                environment.insert(QStringLiteral("LD_PRELOAD"), preload_);
            }
            environment.insert(QStringLiteral("FAULT_ROOT"), root_);
            environment.insert(QStringLiteral("FAULT_MODE"), mode);
            environment.insert(QStringLiteral("FAULT_AT"), QString::number(at));
            environment.insert(QStringLiteral("FAULT_LOG"), logPath);
            if (noLinks_) {
                environment.insert(QStringLiteral("FAULT_NO_LINKS"), QStringLiteral("1"));
            }
        }
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(cli_, arguments);
        Outcome outcome;
        if (!process.waitForFinished(60000) && process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(-1);
            outcome.timedOut = true;
        }
        const bool ended = process.error() != QProcess::FailedToStart;
        const bool crashed = process.exitStatus() == QProcess::CrashExit;
#ifdef Q_OS_WIN
        // The seam logs its kill, then ends the program with TerminateProcess, which sets the exit
        // code 9. Wine may end a program that terminates itself with another status: one whose
        // log ends at its kill was killed all the same.
        outcome.killed =
            mode == QLatin1String("kill") && ((!crashed && process.exitCode() == 9) ||
                                              FileBytes(logPath).trimmed().endsWith(" KILL"));
#else
        // QProcess tells the signal that ended a program as its exit code.
        outcome.killed = crashed && process.exitCode() == SIGKILL;
#endif
        outcome.crashed = crashed && !outcome.killed;
        outcome.status = !ended ? 127 : crashed || outcome.killed ? -1 : process.exitCode();
        outcome.failedToStart = !ended;
        outcome.counted = QFileInfo(logPath).size() > 0;
        outcome.exitCode = static_cast<uint>(process.exitCode());
        outcome.errors = QString::fromUtf8(process.readAllStandardError());
        outcome.output = QString::fromUtf8(process.readAllStandardOutput());
        return outcome;
    }

    std::vector<Call> calls() const {
        std::vector<Call> list;
        const QList<QByteArray> lines =
            FileBytes(root_ + QStringLiteral("/../calls.txt")).split('\n');
        for (const QByteArray& line : lines) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() >= 3) {
                list.push_back(
                    {parts[0].toLong(), QString::fromUtf8(parts[1]),
                     QString::fromUtf8(line.mid(parts[0].size() + parts[1].size() + 2))});
            }
        }
        return list;
    }

private:
    QString cli_;
    QString preload_;
    QString root_;
    bool noLinks_ = false;
};

struct Operation {
    QStringList arguments;        // of the operation itself
    QStringList followUp;         // a command that opens the same target, run after a kill
    QStringList followUpOutputs;  // what the follow-up writes itself
};

// The old state: a database from part of the sample, another from all of it, reference tables
// from part of the value books with a check report about the other database, an old export.
bool BuildOldState(Runner& runner, const QString& w, const QString& sourceDir, const QString& sprav,
                   QString& year) {
    QDir().mkpath(w + QStringLiteral("/prog"));
    QDir().mkpath(w + QStringLiteral("/in/nsi"));
    QDir().mkpath(w + QStringLiteral("/in/nsi_old"));
    QDir().mkpath(w + QStringLiteral("/out"));
    QFile::copy(sprav, w + QStringLiteral("/prog/sprav.mdb"));
    const QByteArray sample =
        FileBytes(sourceDir + QStringLiteral("/data/samples/lesnichestvo_03.txt"));
    WriteFile(w + QStringLiteral("/in/new.txt"), sample);
    // The first stands only: up to the tenth stand line.
    qsizetype cut = 0;
    for (int stand = 0; stand < 10 && cut >= 0; ++stand) {
        cut = sample.indexOf("\nKV=", cut + 1);
    }
    WriteFile(w + QStringLiteral("/in/old.txt"), sample.left(cut + 1));
    const QStringList books = QDir(sourceDir + QStringLiteral("/data/nsi"))
                                  .entryList({QStringLiteral("*.000")}, QDir::Files, QDir::Name);
    for (qsizetype i = 0; i < books.size(); ++i) {
        const QString from = sourceDir + QStringLiteral("/data/nsi/") + books[i];
        QFile::copy(from, w + QStringLiteral("/in/nsi/") + books[i]);
        if (i % 3 != 1) {
            QFile::copy(from, w + QStringLiteral("/in/nsi_old/") + books[i]);
        }
    }
    WriteFile(w + QStringLiteral("/out/out.txt"), "an older export\r\n");
    const QStringList program{QStringLiteral("--program-folder"), w + QStringLiteral("/prog")};
    const QStringList unit{QStringLiteral("--leshoz"), QStringLiteral("50010203"),
                           QStringLiteral("--lesnich"), QStringLiteral("3")};
    const QList<QStringList> steps{
        program +
            QStringList{QStringLiteral("import"), w + QStringLiteral("/in/new.txt"),
                        w + QStringLiteral("/db2/les.db")} +
            unit,
        program +
            QStringList{QStringLiteral("import"), w + QStringLiteral("/in/old.txt"),
                        w + QStringLiteral("/db/les.db")} +
            unit,
        program + QStringList{QStringLiteral("form"), w + QStringLiteral("/in/nsi_old"),
                              w + QStringLiteral("/sprav")},
        program + QStringList{QStringLiteral("check"), w + QStringLiteral("/db2/les.db"),
                              w + QStringLiteral("/sprav")},
        program + QStringList{QStringLiteral("form"), w + QStringLiteral("/in/nsi"),
                              w + QStringLiteral("/sprav_full")},
    };
    QDir().mkpath(w + QStringLiteral("/db"));
    QDir().mkpath(w + QStringLiteral("/db2"));
    for (const QStringList& step : steps) {
        const Outcome outcome = runner.run(step);
        if (outcome.status != 0 && outcome.status != 1) {
            out << "setting up failed: " << step.join(QLatin1Char(' ')) << "\n"
                << outcome.errors << Qt::endl;
            return false;
        }
    }
    // The year to export: the first that `years` lists (its value after the tab).
    const Outcome years = runner.run(
        program + QStringList{QStringLiteral("years"), w + QStringLiteral("/db/les.db")});
    year = years.output.section(QLatin1Char('\n'), 0, 0).section(QLatin1Char('\t'), 1, 1);
    if (years.status != 0 || year.isEmpty()) {
        out << "no year to export: " << years.errors << Qt::endl;
        return false;
    }
    return true;
}

Operation Describe(const QString& name, const QString& w, const QString& year) {
    const QStringList program{QStringLiteral("--program-folder"), w + QStringLiteral("/prog")};
    const QString db = w + QStringLiteral("/db/les.db");
    const QStringList years = program + QStringList{QStringLiteral("years"), db};
    Operation op;
    if (name == QLatin1String("import")) {
        op.arguments = program + QStringList{QStringLiteral("import"),
                                             w + QStringLiteral("/in/new.txt"),
                                             db,
                                             QStringLiteral("--leshoz"),
                                             QStringLiteral("50010203"),
                                             QStringLiteral("--lesnich"),
                                             QStringLiteral("3"),
                                             QStringLiteral("--overwrite")};
        op.followUp = years;
    } else if (name == QLatin1String("form")) {
        op.arguments =
            program + QStringList{QStringLiteral("form"), w + QStringLiteral("/in/nsi"),
                                  w + QStringLiteral("/sprav"), QStringLiteral("--overwrite")};
        // The check reads the reference tables (and writes its own report).
        op.followUp =
            program + QStringList{QStringLiteral("check"), db, w + QStringLiteral("/sprav")};
        op.followUpOutputs = QStringList{QStringLiteral("prog/reports/проверка.txt")};
    } else if (name == QLatin1String("form-report")) {
        // A formation whose new tables come with a report (and its copy in the program folder).
        op.arguments =
            program + QStringList{QStringLiteral("form"), w + QStringLiteral("/in/nsi_old"),
                                  w + QStringLiteral("/sprav_full"), QStringLiteral("--overwrite")};
        op.followUp =
            program + QStringList{QStringLiteral("check"), db, w + QStringLiteral("/sprav_full")};
        op.followUpOutputs = QStringList{QStringLiteral("prog/reports/проверка.txt")};
    } else if (name == QLatin1String("export")) {
        op.arguments = program + QStringList{QStringLiteral("export"),
                                             db,
                                             year,
                                             w + QStringLiteral("/out/out.txt"),
                                             QStringLiteral("--overwrite"),
                                             QStringLiteral("--decimal-separator"),
                                             QStringLiteral(".")};
        // A temporary file beside the output is only found by the next export to that folder.
        op.followUp = op.arguments;
    } else if (name == QLatin1String("check")) {
        op.arguments =
            program + QStringList{QStringLiteral("check"), db, w + QStringLiteral("/sprav")};
        // It locks both the database and the reference folder: only another check opens both.
        op.followUp = op.arguments;
    }
    return op;
}

// A run whose leftovers the next command finished as it should: a pass, counted apart.
constexpr char kResolved[] = "finished by the next command";

struct Tally {
    int runs = 0;
    int passes = 0;
    int resolved = 0;  // passes whose leftovers the next command finished
    QMap<QString, int> failures;
};

class Campaign {
public:
    Campaign(Runner& runner, QString w, Operation op, State oldState)
        : runner_(runner), w_(std::move(w)), op_(std::move(op)), old_(std::move(oldState)) {}

    bool prepare() {
        Restore(w_, old_);
        const Outcome clean = runner_.run(op_.arguments, QStringLiteral("trace"));
        calls_ = runner_.calls();
        new_ = Snapshot(w_);
        cleanStatus_ = clean.status;
        // The final step of the target: its last rename or link (a report copy in the program
        // folder is not part of it, unless that is all the operation writes).
        long lastAnyRename = 0;
        for (const Call& call : calls_) {
            if (call.kind == QLatin1String("rename") || call.kind == QLatin1String("link")) {
                lastAnyRename = call.number;
                if (!QDir(w_).relativeFilePath(call.path).startsWith(QLatin1String("prog/"))) {
                    lastRename_ = call.number;
                }
            }
        }
        if (lastRename_ == 0) {
            lastRename_ = lastAnyRename;
        }
        for (const State* state : {&old_, &new_}) {
            for (auto it = state->begin(); it != state->end(); ++it) {
                if (it.key().startsWith(QLatin1String("prog/reports/")) &&
                    old_.value(it.key()) != new_.value(it.key()) && !copies_.contains(it.key())) {
                    copies_.append(it.key());
                }
            }
        }
        out << "clean run: status " << clean.status << ", " << calls_.size()
            << " counted calls, last rename at " << lastRename_
            << "; changed: " << Difference(new_, old_) << Qt::endl;
        if (clean.status != 0 && clean.status != 1) {
            out << clean.errors << Qt::endl;
            return false;
        }
        if (QString detail; !orderFault(calls_, 0, detail).isEmpty()) {
            out << orderFault(calls_, 0, detail) << ": " << detail << Qt::endl;
            return false;
        }
        if (new_ == old_ || calls_.empty()) {
            out << "the operation changed nothing" << Qt::endl;
            return false;
        }
        // The follow-up of a kill writes its own files: the states it may leave.
        Restore(w_, new_);
        runner_.run(op_.followUp);
        newAfterFollowUp_ = Snapshot(w_);
        Restore(w_, old_);
        runner_.run(op_.followUp);
        oldAfterFollowUp_ = Snapshot(w_);
        return true;
    }

    long callCount() const { return static_cast<long>(calls_.size()); }
    QString relative(const QString& path) const { return QDir(w_).relativeFilePath(path); }
    const Call& call(long n) const { return calls_[static_cast<size_t>(n - 1)]; }

    // One run with the fault at call `n`; empty when it passed, else the failure's class.
    QString runOnce(const QString& mode, long n, QString& detail) {
        Restore(w_, old_);
        const Outcome outcome = runner_.run(op_.arguments, mode, n);
        if (outcome.timedOut) {
            return QStringLiteral("hang");
        }
        if (outcome.errors.contains(QLatin1String("Sanitizer")) ||
            outcome.errors.contains(QLatin1String("runtime error")) || outcome.crashed ||
            outcome.status > 2) {
            detail = outcome.errors.left(400) +
                     QStringLiteral(" [exit code 0x%1]").arg(outcome.exitCode, 0, 16);
            return QStringLiteral("crash");
        }
        if (mode != QLatin1String("enospc")) {
            if (const QString fault = orderFault(runner_.calls(), n, detail); !fault.isEmpty()) {
                return fault;
            }
        }
        const State state = Snapshot(w_);
        if (outcome.killed) {
            detail = QStringLiteral("killed; ");
            if (const QString table = NewTableBesideOldIndex(state, old_, new_); !table.isEmpty()) {
                detail += table;
                return QStringLiteral("table before its index");
            }
            return afterInterruption(detail);
        }
        detail = QStringLiteral("status %1: ").arg(outcome.status);
        const QString verdict = strictVerdict(outcome, state, mode, n, detail);
        if (verdict.isEmpty() || verdict.startsWith(QLatin1String("message")) ||
            verdict.startsWith(QLatin1String("failure without"))) {
            return verdict;
        }
        // A disk that stays full leaves no room to undo, and a failed removal of our own file
        // cannot be helped: what the run left must then be finished by the next command.
        bool ours = false;
        for (auto it = state.begin(); it != state.end(); ++it) {
            ours = ours || (IsLeftoverName(it.key()) && !old_.contains(it.key()));
        }
        const Call& faulted = call(n);
        const bool removal =
            (faulted.kind == QLatin1String("unlink") || faulted.kind == QLatin1String("rmdir")) &&
            IsLeftoverName(QDir(w_).relativeFilePath(faulted.path));
        if (!ours || (mode != QLatin1String("enospc") && !removal)) {
            return verdict;
        }
        QString next = QStringLiteral(" | ");
        if (afterInterruption(next, outcome.status != 2).isEmpty()) {
            return QString::fromLatin1(kResolved);
        }
        detail += next;
        return verdict;
    }

    QString strictVerdict(const Outcome& outcome, const State& state, const QString& mode, long n,
                          QString& detail) const {
        // The file whose own removal was made to fail cannot go; the next run removes it.
        const State tolerated = WithoutFaultedLeftover(state, mode, n);
        if (outcome.status != 2) {
            if (tolerated == new_ && outcome.status == cleanStatus_) {
                return MessageFault(outcome, mode, n, detail);
            }
            detail += Difference(tolerated, new_) + messageOf(outcome);
            return outcome.status == cleanStatus_ ? QStringLiteral("success without the new state")
                                                  : QStringLiteral("wrong status");
        }
        if (matches(tolerated, old_) || (matches(tolerated, new_) && n > lastRename_)) {
            return MessageFault(outcome, mode, n, detail);
        }
        if (matches(tolerated, new_)) {
            detail += QStringLiteral("new state") + messageOf(outcome);
            return QStringLiteral("failure reported after completing");
        }
        detail += QStringLiteral("vs old: ") + Difference(tolerated, old_) +
                  QStringLiteral(" | vs new: ") + Difference(tolerated, new_) + messageOf(outcome);
        return LeftoversOnly(tolerated, old_) || LeftoversOnly(tolerated, new_)
                   ? QStringLiteral("leftover file")
                   : QStringLiteral("mix after failure");
    }

private:
    // The calls after call `n` (the fault; 0 in a clean run) out of order, or empty: an undo puts
    // files back last first (a kill in it then leaves what one in the step would), and where
    // folders sync, one that took a file by a rename is synced before the step's journal goes.
    QString orderFault(const std::vector<Call>& calls, long n, QString& detail) const {
        QStringList moved;  // the journal, then the names the step moved before the fault
        qsizetype undone = static_cast<qsizetype>(calls.size());  // the place last put back
        QSet<QString> unsynced;
        for (const Call& call : calls) {
            const QFileInfo file(call.path);
            const bool renamed =
                call.kind == QLatin1String("rename") || call.kind == QLatin1String("link");
            if (renamed && call.number < n && !moved.contains(file.fileName()) &&
                (!moved.isEmpty() || file.fileName() == QLatin1String(".journal"))) {
                moved.append(file.fileName());
            } else if (renamed && call.number > n && moved.indexOf(file.fileName()) > undone) {
                detail = relative(call.path);
                return QStringLiteral("undo out of order");
            } else if (renamed && call.number > n && moved.contains(file.fileName())) {
                undone = moved.indexOf(file.fileName());
            }
#ifndef Q_OS_WIN
            if (call.number > n && call.kind == QLatin1String("rename") &&
                !IsLeftoverName(relative(file.path()))) {
                unsynced.insert(file.path());
            } else if (call.kind == QLatin1String("fsync")) {
                unsynced.remove(call.path);
            } else if (call.kind == QLatin1String("unlink") && !unsynced.isEmpty() &&
                       file.fileName() == QLatin1String(".journal")) {
                break;  // it went before the folder was synced
            }
#endif
        }
        detail = QStringList(unsynced.begin(), unsynced.end()).join(QLatin1Char(' '));
        return unsynced.isEmpty() ? QString() : QStringLiteral("folder not synced after a rename");
    }

    // A run that kept the files right must still tell the person, about their own files, not ours
    // and not in Qt's words; a file of ours that something else holds (a virus scanner) is no
    // table of theirs in use. (A rename or link names one of two files: the other may be theirs.)
    QString MessageFault(const Outcome& outcome, const QString& mode, long n,
                         QString& detail) const {
        if (outcome.status == 2 && !outcome.errors.contains(QLatin1String("[warning]"))) {
            return QStringLiteral("failure without a message");
        }
        static const QRegularExpression internal(QStringLiteral(
            "dovi2tarvel-(new|lock)|\\.tmp~|\\.journal|[/\\\\]#\\d+|QLockFile|QSaveFile"));
        if (internal.match(outcome.errors).hasMatch()) {
            detail += messageOf(outcome);
            return QStringLiteral("message names an internal file");
        }
        const Call& faulted = call(n);
        if (mode == QLatin1String("sharing") && faulted.kind != QLatin1String("rename") &&
            faulted.kind != QLatin1String("link") && IsLeftoverName(relative(faulted.path)) &&
            outcome.errors.contains(QStringLiteral("Файл занят другой программой"))) {
            detail += messageOf(outcome);
            return QStringLiteral("a file of ours held, told as the user's");
        }
        return {};
    }

    // A lock left empty by a kill is taken over only once it is some seconds old (a live run may
    // be writing it): the next run after a kill comes later than at once.
    void ageLocks() const {
        const QDateTime past = QDateTime::currentDateTime().addSecs(-60);
        QDirIterator it(w_, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.endsWith(QLatin1String("-lock"))) {
                QFile file(path);
                if (file.open(QIODevice::ReadWrite)) {
                    file.setFileTime(past, QFileDevice::FileModificationTime);
                }
            }
        }
    }

    // After a kill, or a failure that left our files behind: the next command over the target
    // must leave exactly the old or the new files (the new ones after a reported success), and
    // the operation run again must succeed with the new ones.
    QString afterInterruption(QString& detail, bool mustBeNew = false) {
        ageLocks();
        const Outcome next = runner_.run(op_.followUp);
        const State afterNext = WithoutKillLeftovers(Snapshot(w_));
        detail += QStringLiteral("next: status %1: ").arg(next.status);
        if (next.status != 0 && next.status != 1) {
            detail += messageOf(next) + QStringLiteral(" | vs old: ") + Difference(afterNext, old_);
            return QStringLiteral("next command refused after kill");
        }
        if ((mustBeNew || !matches(afterNext, oldAfterFollowUp_)) &&
            !matches(afterNext, newAfterFollowUp_)) {
            detail += QStringLiteral("vs old: ") + Difference(afterNext, oldAfterFollowUp_) +
                      QStringLiteral(" | vs new: ") + Difference(afterNext, newAfterFollowUp_);
            return LeftoversOnly(afterNext, oldAfterFollowUp_) ||
                           LeftoversOnly(afterNext, newAfterFollowUp_)
                       ? QStringLiteral("leftover after kill")
                       : QStringLiteral("mix after kill");
        }
        const Outcome again = runner_.run(op_.arguments);
        const State afterAgain = Without(Snapshot(w_), op_.followUpOutputs);
        if (again.status != cleanStatus_ || afterAgain != Without(new_, op_.followUpOutputs)) {
            detail += QStringLiteral("rerun status %1: ").arg(again.status) +
                      Difference(afterAgain, Without(new_, op_.followUpOutputs)) + messageOf(again);
            return QStringLiteral("rerun after kill fails");
        }
        return {};
    }

    // A report copy in the program folder that a failed or killed run removed is no stale report;
    // one that stays must belong to the files beside it.
    bool matches(const State& state, const State& expected) const {
        if (state == expected) {
            return true;
        }
        for (const QString& copy : copies_) {
            if (state.contains(copy)) {
                return false;
            }
        }
        return state == Without(expected, copies_);
    }

    // What the next run after a kill may still find and take over or remove: a lock file nobody
    // holds, a temporary report copy in the program folder. The operation run again must leave
    // neither.
    static State WithoutKillLeftovers(State state) {
        for (auto it = state.begin(); it != state.end();) {
            const bool lock = it.key().endsWith(QLatin1String("-lock"));
            const bool copy =
                it.key().startsWith(QLatin1String("prog/")) && IsLeftoverName(it.key());
            it = lock || copy ? state.erase(it) : std::next(it);
        }
        return state;
    }

    static QString messageOf(const Outcome& outcome) {
        QString text = outcome.errors.simplified();
        return text.isEmpty() ? QString()
                              : QStringLiteral(" «") + text.left(240) + QStringLiteral("»");
    }

    // Names of ours that no state should hold: locks, staging folders, temporary files.
    static bool IsLeftoverName(const QString& name) {
        return name.contains(QLatin1String("dovi2tarvel")) ||
               name.contains(QLatin1String(".tmp")) || name.endsWith(QLatin1Char('~')) ||
               QFileInfo(name).suffix().size() == 6;  // QSaveFile's "name.XXXXXX"
    }

    static bool LeftoversOnly(const State& actual, const State& expected) {
        for (auto it = actual.begin(); it != actual.end(); ++it) {
            if (!IsLeftoverName(it.key()) &&
                (!expected.contains(it.key()) || expected.value(it.key()) != it.value())) {
                return false;
            }
        }
        for (auto it = expected.begin(); it != expected.end(); ++it) {
            if (!actual.contains(it.key())) {
                return false;
            }
        }
        return true;
    }

    State WithoutFaultedLeftover(State state, const QString& mode, long n) const {
        const Call& faulted = call(n);
        const bool removal = faulted.kind == QLatin1String("unlink") ||
                             faulted.kind == QLatin1String("rmdir") ||
                             faulted.kind == QLatin1String("close");
        if (mode == QLatin1String("enospc") || !removal) {
            return state;
        }
        QString relative = QDir(w_).relativeFilePath(faulted.path);
        if (relative.endsWith(QLatin1Char('/'))) {
            relative.chop(1);
        }
        if (!IsLeftoverName(relative)) {
            return state;
        }
        state.remove(relative);
        state.remove(relative + QLatin1Char('/'));
        // A staging folder whose last file could not go stays with it.
        const QString folder = QFileInfo(relative).path() + QLatin1Char('/');
        if (IsLeftoverName(folder)) {
            bool empty = true;
            for (auto it = state.begin(); it != state.end(); ++it) {
                empty = empty && !(it.key().startsWith(folder) && it.key() != folder);
            }
            if (empty) {
                state.remove(folder);
            }
        }
        return state;
    }

    Runner& runner_;
    QString w_;
    Operation op_;
    State old_;
    State new_;
    State oldAfterFollowUp_;
    State newAfterFollowUp_;
    std::vector<Call> calls_;
    int cleanStatus_ = 0;
    long lastRename_ = 0;
    QStringList copies_;  // report copies in the program folder the operation writes
};

// A sharing violation or a refusal of access answers a call that opens or names a file, not a
// write to a file already open.
bool Applies(const QString& mode, const Call& call) {
    static const QSet<QString> naming{QStringLiteral("create"), QStringLiteral("lock"),
                                      QStringLiteral("hold"),   QStringLiteral("rename"),
                                      QStringLiteral("link"),   QStringLiteral("unlink"),
                                      QStringLiteral("rmdir"),  QStringLiteral("mkdir")};
    return (mode != QLatin1String("sharing") && mode != QLatin1String("denied")) ||
           (naming.contains(call.kind) &&
            (mode == QLatin1String("denied") || call.kind != QLatin1String("mkdir")));
}

bool Sampled(const Call& call, long n, long count, int stride) {
    static const QSet<QString> structural{QStringLiteral("rename"), QStringLiteral("link"),
                                          QStringLiteral("unlink"), QStringLiteral("rmdir"),
                                          QStringLiteral("mkdir"),  QStringLiteral("lock"),
                                          QStringLiteral("hold")};
    return n % stride == 1 || structural.contains(call.kind) || n > count - 6;
}

// Runs one mode at every call, or at a sample; prints the failures and the counts.
Tally RunMode(Campaign& campaign, const QString& name, const QString& mode, bool everyCall,
              int stride) {
    const long count = campaign.callCount();
    Tally tally;
    int shown = 0;
    for (long n = 1; n <= count; ++n) {
        if (!Applies(mode, campaign.call(n)) ||
            (!everyCall && !Sampled(campaign.call(n), n, count, stride))) {
            continue;
        }
        QString detail;
        const QString failure = campaign.runOnce(mode, n, detail);
        ++tally.runs;
        if (failure.isEmpty() || failure == QLatin1String(kResolved)) {
            ++tally.passes;
            tally.resolved += failure.isEmpty() ? 0 : 1;
            continue;
        }
        ++tally.failures[failure];
        if (shown++ < 40) {
            out << "  FAIL " << name << " " << mode << " N=" << n << " (" << campaign.call(n).kind
                << " " << campaign.relative(campaign.call(n).path) << "): " << failure << ": "
                << detail << "\n";
        }
    }
    QStringList classes;
    for (auto it = tally.failures.begin(); it != tally.failures.end(); ++it) {
        classes << it.key() + QStringLiteral(" ") + QString::number(it.value());
    }
    out << "RESULT " << name << " " << mode << ": runs " << tally.runs << ", passed "
        << tally.passes << " (" << tally.resolved << " finished by the next command), failed "
        << tally.runs - tally.passes
        << (classes.isEmpty()
                ? QString()
                : QStringLiteral(" (") + classes.join(QStringLiteral(", ")) + QLatin1Char(')'))
        << Qt::endl;
    return tally;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QStringList every{QStringLiteral("eio")};
    int stride = 4;
    bool all = false;
    bool noLinks = false;
    QStringList modes{QStringLiteral("eio"), QStringLiteral("enospc"), QStringLiteral("kill")};
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--every") && i + 1 < args.size()) {
            every = args.takeAt(i + 1).split(QLatin1Char(','), Qt::SkipEmptyParts);
            args.removeAt(i--);
        } else if (args[i] == QLatin1String("--stride") && i + 1 < args.size()) {
            stride = std::max(1, args.takeAt(i + 1).toInt());
            args.removeAt(i--);
        } else if (args[i] == QLatin1String("--modes") && i + 1 < args.size()) {
            modes = args.takeAt(i + 1).split(QLatin1Char(','), Qt::SkipEmptyParts);
            args.removeAt(i--);
        } else if (args[i] == QLatin1String("--all")) {
            all = true;
            args.removeAt(i--);
        } else if (args[i] == QLatin1String("--no-links")) {
            noLinks = true;
            args.removeAt(i--);
        }
    }
    if (args.size() != 4) {
        out << "usage: fault_injection import|form|form-report|export|check CLI PRELOAD SOURCE_DIR "
               "[--every M,M...] [--stride K] [--all] [--modes M,M...] [--no-links]"
            << Qt::endl;
        return 64;
    }
    const QString name = args[0];
    const QString cli = args[1];
    const QString sprav = QFileInfo(cli).absolutePath() + QStringLiteral("/sprav.mdb");
    QTemporaryDir temporary;
    // The library compares paths as given: name the folder by its real path.
    const QString w = QFileInfo(temporary.path()).canonicalFilePath() + QStringLiteral("/w");
    Runner runner(cli, args[2] == QLatin1String("-") ? QString() : args[2], w, noLinks);
    QString year;
    if (!BuildOldState(runner, w, args[3], sprav, year)) {
        return 1;
    }
    const Operation op = Describe(name, w, year);
    if (op.arguments.isEmpty()) {
        out << "unknown operation " << name << Qt::endl;
        return 64;
    }
    Campaign campaign(runner, w, op, Snapshot(w));
    if (!campaign.prepare()) {
        return 1;
    }
    bool failed = false;
    for (const QString& mode : modes) {
        const Tally tally = RunMode(campaign, name, mode, all || every.contains(mode), stride);
        failed = failed || tally.passes != tally.runs;
    }
    if (runner.restarts > 0) {
        out << "starts tried again after the system failed to start the program: "
            << runner.restarts << Qt::endl;
    }
    return failed ? 1 : 0;
}
