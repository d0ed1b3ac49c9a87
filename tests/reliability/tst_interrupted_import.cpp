// Killing the program during an import leaves every table file absent, as it was, or complete:
// both our reader and pxlib read every table found afterwards.
#include "reliability_fixture.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include <signal.h>

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
// a tracee outlives its tracer.
void KillTree(QProcess& process) {
    const qint64 pid = process.processId();
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    if (children.open(QIODevice::ReadOnly)) {
        for (const QByteArray& child : children.readAll().split(' ')) {
            if (!child.trimmed().isEmpty()) {
                ::kill(static_cast<pid_t>(child.trimmed().toLongLong()), SIGKILL);
            }
        }
    }
    process.kill();
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
            QStringLiteral("3")};
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
    void killedImportLeavesReadableTables() {
        if (!QFileInfo(Cli()).isExecutable()) {
            QSKIP("the console front end is not built");
        }
        ProgramFixture fixture;
        const QString text = fixture.path(QStringLiteral("big.txt"));
        WriteBytes(text, BigForestry(20));

        // A complete run first, to know how long one takes.
        const QString whole = fixture.makeFolder(QStringLiteral("whole"));
        QElapsedTimer timer;
        timer.start();
        const QStringList wrapper = SlowWrites();
        if (wrapper.isEmpty()) {
            qWarning("strace cannot run here: kills will seldom land in a table write");
        }
        QProcess full;
        StartImport(full, wrapper,
                    ImportArguments(fixture.path(QString()), text, whole + "/les.db"));
        QVERIFY(full.waitForFinished(600000));
        QVERIFY2(full.exitCode() <= 1, full.readAllStandardError().constData());
        const qint64 duration = timer.elapsed();
        const int stands = paradox::ParadoxTable::Load(whole + "/les.db").rowCount();
        QVERIFY(stands > 300);

        // Cuts at growing shares of that time. The machine may be quicker now than during the
        // measurement: a run that ended before its cut makes the estimate shorter.
        const int shares[] = {5, 20, 40, 60, 75, 85, 90, 95, 98};
        qint64 estimate = duration;
        int interrupted = 0;
        for (int attempt = 0; attempt < 25 && interrupted < 9; ++attempt) {
            const QString folder = fixture.makeFolder(QStringLiteral("cut%1").arg(attempt));
            QProcess run;
            StartImport(run, wrapper,
                        ImportArguments(fixture.path(QString()), text, folder + "/les.db"));
            QVERIFY(run.waitForStarted());
            QTest::qWait(static_cast<int>(estimate * shares[interrupted] / 100));
            // A run that already ended is not waited for: waitForFinished() would say false.
            if (run.state() != QProcess::NotRunning) {
                ++interrupted;
                KillTree(run);
                QVERIFY(run.waitForFinished(60000));
            } else {
                estimate = estimate * 3 / 4;
            }

            QCOMPARE(UnreadableTables(folder), QStringList());
            for (const QFileInfo& table : QDir(folder).entryInfoList({"*.db"}, QDir::Files)) {
                const int rows = paradox::ParadoxTable::Load(table.filePath()).rowCount();
                // A table is empty, as created, or holds everything.
                if (table.fileName() == QStringLiteral("les.db")) {
                    QVERIFY2(rows == 0 || rows == stands, qPrintable(QString::number(rows)));
                }
#ifdef HAVE_PXLIB
                QCOMPARE(PxlibRefusal(table.filePath(), rows), QString());
#endif
            }
        }
        QCOMPARE(interrupted, 9);
    }
};

QTEST_GUILESS_MAIN(TestInterruptedImport)
#include "tst_interrupted_import.moc"
