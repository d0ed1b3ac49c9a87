// The final step of a replacement, its locks and what the next run does with a killed run's
// leftovers: the faults a run can meet between its last write and its outcome.
#include "reliability_fixture.h"

#include "common/report.h"
#include "common/safe_write.h"
#include "export/export_writer.h"

#include <QtTest>

// Runs once inside the next flock(): what other runs may do between a lock file's open and lock.
static std::function<void()> beforeNextLock;
#ifndef Q_OS_WIN
#include <dlfcn.h>
extern "C" int flock(int fd, int operation) noexcept {
    if (const auto step = std::exchange(beforeNextLock, nullptr)) {
        step();
    }
    return reinterpret_cast<int (*)(int, int)>(dlsym(RTLD_NEXT, "flock"))(fd, operation);
}
#endif

using namespace converter;
using namespace converter::testing;

namespace {

const QString kDb = QStringLiteral("les.db");

// Every name in `folder`, hidden ones included.
QStringList Names(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                               QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

QStringList DatabaseNames(bool report) {
    QStringList names{"les.db", "les.px", "lesСост.db", "lesСост.px", "les_TI.db", "les_TI.px"};
    if (report) {
        names.append("les_rep.txt");
    }
    names.sort();
    return names;
}

const QStringList kReferenceNames{"spfield.db", "spfield.px", "sptab.db", "sptab.px"};

void MakeOld(const QString& path, int seconds) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::Append));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-seconds),
                             QFileDevice::FileModificationTime));
}

bool Check(FakeUi& ui, const QString& db, const QString& reference) {
    QString report;
    bool deficiencies = false;
    return CheckTarvelDatabase(ui, db, reference + QLatin1Char('/'), report, deficiencies);
}

}  // namespace

class TestFinalStep : public QObject {
    Q_OBJECT

private slots:
    // What a lock file holds never keeps a run out; only a live holder does, however old its
    // file.
    void lockTakenOverUnlessHeld_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("held");
        QTest::newRow("empty, left by a kill while it was written") << QByteArray() << false;
        QTest::newRow("garbage") << QByteArray("\x01\xFFnot a lock\n", 13) << false;
        QTest::newRow("a process that is gone") << QByteArray("2147483646\nx\nhost\n") << false;
        QTest::newRow("live holder, file an hour old") << QByteArray() << true;
#ifndef Q_OS_WIN
        // Held, with content: that file goes after the open, and the holder locks one made anew.
        QTest::newRow("live holder of a file made after the open") << QByteArray("left") << true;
#endif
    }
    void lockTakenOverUnlessHeld() {
        QFETCH(QByteArray, content);
        QFETCH(bool, held);
        ProgramFixture fixture;
        const QString lockPath = DatabaseLockPath(fixture.path(kDb));
        OperationLock holder;
        FakeUi ui;
        if (held && content.isEmpty()) {
            QVERIFY(holder.acquire(ui, lockPath));
        } else {
            WriteBytes(lockPath, content);
        }
        MakeOld(lockPath, 3600);
        if (held && !content.isEmpty()) {
            beforeNextLock = [&] { QFile::remove(lockPath) && holder.acquire(ui, lockPath); };
        }

        OperationLock next;
        QCOMPARE(next.acquire(ui, lockPath), !held);
        QCOMPARE(ui.messages.size(), held ? 1 : 0);
        if (held) {
            QVERIFY(ui.messages.first().text.startsWith(
                QStringLiteral("Файлы заняты другой операцией")));
            QVERIFY2(!ui.messages.first().text.contains(QStringLiteral("dovi2tarvel")),
                     qPrintable(ui.messages.first().text));
        }
    }

    // Before a folder is read, the temporary files and the lock files of runs that ended are
    // removed; those of a live run, and names that are not ours, stay.
    void leftoversOfEndedRunsGo_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("removed");
        const QString dead = QString::number(2147483646);
        const QString live = QString::number(QCoreApplication::applicationPid());
        QTest::newRow("export file of an ended run")
            << ".out.txt." + dead + ".dovi2tarvel-tmp" << true;
        QTest::newRow("report copy of an ended run")
            << ".создание базы.txt." + dead + ".dovi2tarvel-tmp" << true;
        QTest::newRow("export file of a live run")
            << ".out.txt." + live + ".dovi2tarvel-tmp" << false;
        QTest::newRow("lock file left by a kill") << ".les.db.dovi2tarvel-lock" << true;
        QTest::newRow("another program's temporary name") << "out.txt.WGECxZ" << false;
        QTest::newRow("the user's hidden file") << ".out.txt.1.txt" << false;
    }
    void leftoversOfEndedRunsGo() {
        QFETCH(QString, name);
        QFETCH(bool, removed);
        ProgramFixture fixture;
        const QString folder = fixture.makeFolder("db");
        WriteBytes(folder + "/" + name, "x");
        FakeUi ui;
        QVERIFY(FolderRecovery().recover(ui, folder, {kDb}));
        QCOMPARE(QFileInfo::exists(folder + "/" + name), !removed);
        QVERIFY(ui.messages.isEmpty());
    }

    // The check reads the database and the reference tables: a run holding either keeps it out.
    void checkRefusedWhileEitherSetIsLocked_data() {
        QTest::addColumn<bool>("databaseHeld");
        QTest::newRow("database") << true;
        QTest::newRow("reference folder") << false;
    }
    void checkRefusedWhileEitherSetIsLocked() {
        QFETCH(bool, databaseHeld);
        ProgramFixture fixture;
        FakeUi setup;
        const QString db = fixture.makeFolder("db") + "/" + kDb;
        const QString reference = fixture.makeFolder("sprav");
        QVERIFY(ProgramFixture::Import(setup, ProgramFixture::SampleDoviFile(), db));
        QVERIFY(ProgramFixture::Form(setup, reference, ProgramFixture::SampleValueBooks()));
        OperationLock holder;
        QVERIFY(holder.acquire(
            setup, databaseHeld ? DatabaseLockPath(db) : FolderLockPath(reference + "/")));
        FakeUi ui;
        QVERIFY(!Check(ui, db, reference));
        QVERIFY(ui.messageTexts().join(' ').contains(QStringLiteral("заняты другой операцией")));
    }

    // An ordinary run over what a killed run left: a staging folder with its journal (killed in
    // the final step, one file already moved in) is completed first, one without is dropped;
    // either way the run succeeds and leaves exactly its own files.
    void runOverKilledRunsLeftovers_data() {
        QTest::addColumn<bool>("formation");
        QTest::addColumn<bool>("journal");
        QTest::newRow("import, killed in the final step") << false << true;
        QTest::newRow("import, killed while writing") << false << false;
        QTest::newRow("formation, killed in the final step") << true << true;
        QTest::newRow("formation, killed while writing") << true << false;
    }
    void runOverKilledRunsLeftovers() {
        QFETCH(bool, formation);
        QFETCH(bool, journal);
        ProgramFixture fixture;
        FakeUi ui;
        const QString target = fixture.makeFolder("target");
        const QString other = fixture.makeFolder("other");
        const QString key = formation ? QString::fromLatin1(kReferenceTablesKey) : kDb;
        auto run = [&](const QString& folder) {
            return formation ? ProgramFixture::Form(ui, folder, ProgramFixture::SampleValueBooks())
                             : ProgramFixture::Import(ui, ProgramFixture::SampleDoviFile(),
                                                      folder + "/" + kDb);
        };
        QVERIFY(run(target));
        QVERIFY(run(other));
        const QStringList expected = Names(target);
        // The killed run's staging folder: the other run's files; with a journal, the first
        // file already in place and its old one kept aside.
        const QString staging = target + "/." + key + ".dovi2tarvel-new/";
        QVERIFY(QDir().mkpath(staging + "old"));
        QStringList plan;
        for (const QString& name : Names(other)) {
            QVERIFY(QFile::copy(other + "/" + name, staging + name));
            plan.append("+" + name);
        }
        if (journal) {
            const QString first = plan.first().mid(1);
            QVERIFY(QFile::copy(target + "/" + first, staging + "old/" + first));
            QVERIFY(QFile::rename(staging + first, target + "/" + first) ||
                    (QFile::remove(target + "/" + first) &&
                     QFile::rename(staging + first, target + "/" + first)));
            WriteBytes(staging + ".journal", plan.join('\n').toUtf8() + '\n');
        } else {
            WriteBytes(staging + "les.db.tmp~", "half a table");
        }

        QVERIFY2(run(target), qPrintable(ui.messageTexts().join(" | ")));
        QCOMPARE(Names(target), expected);
        QCOMPARE(UnreadableTables(target), QStringList());
    }

    // An output whose name a folder holds in another letter case (as a Windows GIS would take
    // it) is refused before anything is written: no lock, no staging, the folder as it was.
    void folderNamedLikeOutputRefusedFirst_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("folderName");
        QTest::newRow("import, main table") << "import"
                                            << "LES.DB";
        QTest::newRow("import, elements index") << "import"
                                                << "LESСОСТ.PX";
        QTest::newRow("formation") << "formation"
                                   << "SPTAB.DB";
        QTest::newRow("export") << "export"
                                << "OUT.TXT";
    }
    void folderNamedLikeOutputRefusedFirst() {
        QFETCH(QString, operation);
        QFETCH(QString, folderName);
        ProgramFixture fixture;
        FakeUi ui;
        const QString source = fixture.makeFolder("source") + "/" + kDb;
        QVERIFY(ProgramFixture::Import(ui, ProgramFixture::SampleDoviFile(), source));
        const QString target = fixture.makeFolder("target");
        QVERIFY(QDir().mkpath(target + "/" + folderName));
        const QStringList before = Names(target);
        bool done = true;
        if (operation == "import") {
            done = ProgramFixture::Import(ui, ProgramFixture::SampleDoviFile(), target + "/" + kDb);
        } else if (operation == "formation") {
            done = ProgramFixture::Form(ui, target, ProgramFixture::SampleValueBooks());
        } else {
            done = ExportCurrentChanges(
                ui, ExportRequest{target + "/out.txt", source, ProgramFixture::ElementsPath(source),
                                  ProgramFixture::FirstYear(source), 0});
        }
        QVERIFY(!done);
        QVERIFY2(ui.messages.last().text.contains(QStringLiteral("На его месте папка")),
                 qPrintable(ui.messages.last().text));
        QCOMPARE(Names(target), before);
    }

    // After each operation its folder holds exactly the files it makes: no journal, lock,
    // staging folder or temporary file, hidden or not.
    void foldersHoldExactlyTheirFiles() {
        ProgramFixture fixture;
        FakeUi ui;
        const QString dbFolder = fixture.makeFolder("db");
        const QString db = dbFolder + "/" + kDb;
        bool errors = false;
        QVERIFY(ProgramFixture::Import(ui, ProgramFixture::SampleDoviFile(), db, &errors));
        QCOMPARE(Names(dbFolder), DatabaseNames(errors));
        QVERIFY(ProgramFixture::Import(ui, ProgramFixture::SampleDoviFile(), db, &errors));
        QCOMPARE(Names(dbFolder), DatabaseNames(errors));

        const QString reference = fixture.makeFolder("sprav");
        QVERIFY(ProgramFixture::Form(ui, reference, ProgramFixture::SampleValueBooks()));
        QCOMPARE(Names(reference), kReferenceNames);
        QVERIFY(ProgramFixture::Form(ui, reference, ProgramFixture::SampleValueBooks()));
        QCOMPARE(Names(reference), kReferenceNames);

        QVERIFY(Check(ui, db, reference));
        QCOMPARE(Names(dbFolder), DatabaseNames(errors));
        QCOMPARE(Names(reference), kReferenceNames);

        const QString out = dbFolder + "/out.txt";
        QVERIFY(ExportCurrentChanges(ui, ExportRequest{out, db, ProgramFixture::ElementsPath(db),
                                                       ProgramFixture::FirstYear(db), 0}));
        QCOMPARE(Names(dbFolder), QStringList(DatabaseNames(errors) << "out.txt"));
        QStringList withReports = Names(fixture.path("reports"));
        QVERIFY2(withReports.filter("dovi2tarvel").isEmpty(), qPrintable(withReports.join(' ')));
    }

    // A rename that fails anywhere in the final step (or in its journal) is undone by the run
    // before it reports: the old files stay byte for byte, and nothing of the run is left.
    void failedRenameInFinalStepRollsBack_data() {
        QTest::addColumn<bool>("formation");
        QTest::newRow("import") << false;
        QTest::newRow("formation") << true;
    }
    void failedRenameInFinalStepRollsBack() {
        QFETCH(bool, formation);
        ProgramFixture fixture;
        FakeUi ui;
        const QString target = fixture.makeFolder("target");
        auto run = [&](FakeUi& runUi) {
            return formation
                       ? ProgramFixture::Form(runUi, target, ProgramFixture::SampleValueBooks())
                       : ProgramFixture::Import(runUi, ProgramFixture::SampleDoviFile(),
                                                target + "/" + kDb);
        };
        QVERIFY(run(ui));
        // The count of writes and renames of a whole run: the last ones are the final step's.
        constexpr int kLarge = 1000000;
        FailWriteAfter(kLarge);
        QVERIFY(run(ui));
        int total = kLarge - WritesLeft();
        FailWriteAfter(-1);
        // The report's copy under reports/ comes after the final step: a failure there leaves
        // the new files, so the last writes counted here are the final step's own.
        const QString report = target + (formation ? "/sptab_rep.txt" : "/les_rep.txt");
        if (QFile::exists(report)) {
            FailWriteAfter(kLarge);
            CopyPlacedReport(report, formation ? kReportFormation : kReportImport);
            total -= kLarge - WritesLeft();
            FailWriteAfter(-1);
        }
        // A different old state, so that a rolled-forward run would show.
        QVERIFY(QFile::remove(target + (formation ? "/sptab.px" : "/les.px")) &&
                QFile::copy(target + (formation ? "/spfield.px" : "/les_TI.px"),
                            target + (formation ? "/sptab.px" : "/les.px")));
        const auto before = FolderPicture(target);
        int failed = 0;
        for (int n = std::max(0, total - 20); n < total; ++n) {
            FakeUi failing;
            FailWriteAfter(n);
            const bool done = run(failing);
            FailWriteAfter(-1);
            QVERIFY2(!done, qPrintable(QString::number(n)));
            ++failed;
            QVERIFY2(FolderPicture(target) == before, qPrintable(QString::number(n)));
            QCOMPARE(TemporaryFiles(fixture.path(QString())), QStringList());
            QVERIFY2(failing.messageTexts().join(' ').contains(QStringLiteral("ввода-вывода")) ||
                         failing.messageTexts().join(' ').contains(QStringLiteral("места")),
                     qPrintable(failing.messageTexts().join(" | ")));
        }
        QVERIFY2(failed >= 10, qPrintable(QString::number(failed)));
    }
};

QTEST_GUILESS_MAIN(TestFinalStep)
#include "tst_final_step.moc"
