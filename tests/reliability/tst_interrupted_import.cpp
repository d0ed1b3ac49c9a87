// Killing the program during an import over an old database leaves the old or the new database,
// each table complete: both our reader and pxlib read every table found afterwards.
#include "reliability_fixture.h"

#include "common/platform_files.h"
#include "common/safe_write.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QtTest>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#ifdef HAVE_PXLIB
extern "C" {
#include <paradox.h>
}
#endif

using namespace converter;
using namespace converter::testing;

namespace {

QString Cli() {
    return QStringLiteral(PROGRAM_DIR "/dovi2tarvel-cli");
}

// Writing the tables takes microseconds, so a kill would almost never land in it. Where strace
// can run, every write of the program is made to take a few milliseconds, which turns the saves
// into most of the run.
QStringList SlowWrites() {
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty() ||
        QProcess::execute(strace, {QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                   QStringLiteral("true")}) != 0) {
        return {};
    }
    return {strace,
            QStringLiteral("-f"),
            QStringLiteral("-qq"),
            QStringLiteral("-o"),
            QStringLiteral("/dev/null"),
            QStringLiteral("-e"),
            QStringLiteral("trace=write"),
            QStringLiteral("-e"),
            QStringLiteral("inject=write:delay_exit=3000")};
}

// Starts the console import, through strace when `wrapper` names it.
void StartImport(QProcess& process, const QStringList& wrapper, const QStringList& arguments) {
    // The leak checker cannot work under a tracer; a sanitizer build would fail every run.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(
        QStringLiteral("ASAN_OPTIONS"),
        environment.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
    process.setProcessEnvironment(environment);
    if (wrapper.isEmpty()) {
        process.start(Cli(), arguments);
    } else {
        process.start(wrapper.first(), wrapper.mid(1) + QStringList{Cli()} + arguments);
    }
}

// Kills the process and what it started (the import under strace) at once, the import first:
// a tracee outlives its tracer. The import, orphaned, is reaped here (the test is a subreaper),
// so that no zombie passes for the owner of its lock.
void KillTree(QProcess& process) {
    const qint64 pid = process.processId();
    std::vector<pid_t> killed;
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    if (children.open(QIODevice::ReadOnly)) {
        for (const QByteArray& child : children.readAll().split(' ')) {
            if (!child.trimmed().isEmpty()) {
                killed.push_back(static_cast<pid_t>(child.trimmed().toLongLong()));
                ::kill(killed.back(), SIGKILL);
            }
        }
    }
    process.kill();
    process.waitForFinished(60000);
    for (const pid_t child : killed) {
        ::waitpid(child, nullptr, 0);
    }
}

QStringList ImportArguments(const QString& folder, const QString& text, const QString& db) {
    return {QStringLiteral("--program-folder"),
            folder,
            QStringLiteral("import"),
            text,
            db,
            QStringLiteral("--leshoz"),
            QStringLiteral("12345678"),
            QStringLiteral("--lesnich"),
            QStringLiteral("3"),
            QStringLiteral("--overwrite")};
}

// Copies the files of a database (not its lock) into `folder`.
void CopyDatabase(const QString& from, const QString& folder) {
    for (const QFileInfo& file : QDir(from).entryInfoList(QDir::Files)) {
        QVERIFY(QFile::copy(file.filePath(), folder + QLatin1Char('/') + file.fileName()));
    }
}

// Runs the console program to its end; its exit code, its standard error in `error`.
int RunCli(const QStringList& arguments, QString* error) {
    QProcess process;
    process.start(Cli(), arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    *error = QString::fromUtf8(process.readAllStandardError());
    return process.exitCode();
}

#ifdef HAVE_PXLIB
// Empty when pxlib reads the table and all its records, else why not.
QString PxlibRefusal(const QString& dbPath, int expectedRows) {
    pxdoc_t* doc = PX_new();
    if (doc == nullptr) {
        return QStringLiteral("PX_new");
    }
    QString refusal;
    if (PX_open_file(doc, QFile::encodeName(dbPath).constData()) != 0) {
        refusal = QStringLiteral("cannot open ") + dbPath;
    } else {
        if (PX_get_num_records(doc) != expectedRows) {
            refusal = QStringLiteral("row count differs in ") + dbPath;
        }
        std::vector<char> record(static_cast<size_t>(doc->px_head->px_recordsize));
        for (int r = 0; refusal.isEmpty() && r < expectedRows; ++r) {
            if (PX_get_record(doc, r, record.data()) == nullptr) {
                refusal = QStringLiteral("cannot read record %1 of ").arg(r) + dbPath;
            }
        }
        PX_close(doc);
    }
    PX_delete(doc);
    return refusal;
}
#endif

}  // namespace

class TestInterruptedImport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }

    // An import over an old database, killed at any moment, leaves (once the next run has
    // cleaned up) either the whole old database or the whole new one; while it runs, a second
    // import or an export of the same database is refused at once.
    void killedImportLeavesReadableTables() {
        if (!QFileInfo(Cli()).isExecutable()) {
            QSKIP("the console front end is not built");
        }
        ProgramFixture fixture;
        const QString text = fixture.path(QStringLiteral("big.txt"));
        WriteBytes(text, BigForestry(20));
        const QString old = fixture.makeFolder(QStringLiteral("old"));
        FakeUi oldUi;
        QVERIFY(ProgramFixture::Import(oldUi, ProgramFixture::SampleDoviFile(), old + "/les.db"));
        const int oldStands = paradox::ParadoxTable::Load(old + "/les.db").rowCount();
        const int oldElements = paradox::ParadoxTable::Load(old + "/lesСост.db").rowCount();

        // A complete run first, to know how long one takes.
        const QString whole = fixture.makeFolder(QStringLiteral("whole"));
        CopyDatabase(old, whole);
        QElapsedTimer timer;
        timer.start();
        const QStringList wrapper = SlowWrites();
        if (wrapper.isEmpty()) {
            qWarning("strace cannot run here: kills will seldom land in a table write");
        }
        QProcess full;
        StartImport(full, wrapper,
                    ImportArguments(fixture.path(QString()), text, whole + "/les.db"));
        const QString lock = DatabaseLockPath(whole + "/les.db");
        while (!QFileInfo::exists(lock) && full.state() != QProcess::NotRunning) {
            QTest::qWait(5);
        }
        QString error;
        const int second =
            RunCli(ImportArguments(fixture.path(QString()), text, whole + "/les.db"), &error);
        const QString secondError = error;
        const int exported = RunCli(
            {QStringLiteral("--program-folder"), fixture.path(QString()), QStringLiteral("export"),
             whole + "/les.db", QStringLiteral("9999"), fixture.path("out.txt")},
            &error);
        // The lock still held after both: the first run held it through them (it takes it once).
        int probe = -1;
        int probeError = 0;
        const bool overlapped =
            platform::TryLockFile(lock, probe, probeError) == platform::LockOutcome::Busy;
        if (!overlapped && probe >= 0) {
            platform::ReleaseLockFile(probe, lock);
        }
        QVERIFY(full.waitForFinished(600000));
        QVERIFY2(full.exitCode() <= 1, full.readAllStandardError().constData());
        const qint64 duration = timer.elapsed();
        if (overlapped) {
            QCOMPARE(second, 2);
            QVERIFY2(secondError.contains(QStringLiteral("заняты")), qPrintable(secondError));
            QCOMPARE(exported, 2);
            QVERIFY2(error.contains(QStringLiteral("заняты")), qPrintable(error));
        } else {
            QVERIFY2(wrapper.isEmpty(), "the traced import ended before the second run");
        }
        const int stands = paradox::ParadoxTable::Load(whole + "/les.db").rowCount();
        const int elements = paradox::ParadoxTable::Load(whole + "/lesСост.db").rowCount();
        QVERIFY(stands > 300);
        QVERIFY(stands != oldStands);

        // Cuts at growing shares of that time. The machine may be quicker now than during the
        // measurement: a run that ended before its cut makes the estimate shorter.
        const int shares[] = {5, 20, 40, 60, 75, 85, 90, 95, 98};
        qint64 estimate = duration;
        int interrupted = 0;
        QSet<int> outcomes;
        for (int attempt = 0; attempt < 25 && interrupted < 9; ++attempt) {
            const QString folder = fixture.makeFolder(QStringLiteral("cut%1").arg(attempt));
            CopyDatabase(old, folder);
            QProcess run;
            StartImport(run, wrapper,
                        ImportArguments(fixture.path(QString()), text, folder + "/les.db"));
            QVERIFY(run.waitForStarted());
            QTest::qWait(static_cast<int>(estimate * shares[interrupted] / 100));
            // A run that already ended is not waited for: waitForFinished() would say false.
            if (run.state() != QProcess::NotRunning) {
                ++interrupted;
                KillTree(run);
                QCOMPARE(run.state(), QProcess::NotRunning);
            } else {
                estimate = estimate * 3 / 4;
            }

            // The next run takes over the killed run's lock and finishes or drops its work.
            FakeUi ui;
            OperationLock next;
            QVERIFY(next.acquire(ui, DatabaseLockPath(folder + "/les.db")));
            RecoverStagedReplacement(folder, StagingKey(folder + "/les.db"));
            QCOMPARE(TemporaryFiles(folder), QStringList());
            QCOMPARE(UnreadableTables(folder), QStringList());
            const int rows = paradox::ParadoxTable::Load(folder + "/les.db").rowCount();
            const int elementRows = paradox::ParadoxTable::Load(folder + "/lesСост.db").rowCount();
            QVERIFY2(rows == oldStands || rows == stands, qPrintable(QString::number(rows)));
            QCOMPARE(elementRows, rows == stands ? elements : oldElements);
            outcomes.insert(rows);
#ifdef HAVE_PXLIB
            for (const QFileInfo& table : QDir(folder).entryInfoList({"*.db"}, QDir::Files)) {
                QCOMPARE(PxlibRefusal(table.filePath(),
                                      paradox::ParadoxTable::Load(table.filePath()).rowCount()),
                         QString());
            }
#endif
        }
        QCOMPARE(interrupted, 9);
        QVERIFY(outcomes.contains(oldStands));
        qInfo("second run during the import: %s; killed runs that left the new database: %s",
              overlapped ? "yes" : "no", outcomes.contains(stands) ? "some" : "none");
    }
};

QTEST_GUILESS_MAIN(TestInterruptedImport)
#include "tst_interrupted_import.moc"
