// A write that fails part-way (a full disk, simulated at the file layer) must leave the previous
// file as it was or no file, never a truncated one, and the user must hear of it.
#include "posix_fixture.h"

#include "common/qt_compat.h"
#include "common/report.h"
#include "common/safe_write.h"
#include "export/export_writer.h"
#include "storage/database.h"
#include "storage/paradox/paradox_folder.h"

#include <QtTest>

#include <cerrno>

using namespace converter;
using namespace converter::testing;

namespace {

int RowCount(const QString& dbPath) {
    return paradox::ParadoxTable::Load(dbPath).rowCount();
}

// A keyed table of `rows` stands, written in one go.
void FillTable(const QString& dbPath, int first, int rows) {
    RecordsetPtr table = OpenRecordset(BuildConnectionString(kParadoxFolder, dbPath),
                                       QStringLiteral("[t]"), kSourceTable);
    for (int i = first; i < first + rows; ++i) {
        table->addNew();
        table->setValue(0, i);
        table->setValue(1, QStringLiteral("Выдел %1").arg(i));
        table->update();
    }
    table->close();
}

std::vector<ReportSection> Sections(const QStringList& lines) {
    ReportSection section;
    section.caption = QStringLiteral("Неизвестные имена");
    for (const QString& line : lines) {
        section.add(line);
    }
    return {section};
}

}  // namespace

class TestFailedWrites : public QObject {
    Q_OBJECT

private slots:
    void tableRewriteKeepsOldTable_data() {
        QTest::addColumn<int>("goodWrites");
        QTest::newRow("data file header") << 0;
        QTest::newRow("first data block") << 1;
        QTest::newRow("middle data block") << 5;
        QTest::newRow("index file") << 40;
    }
    void tableRewriteKeepsOldTable() {
        QFETCH(int, goodWrites);
        ProgramFixture fixture;
        const QString db = fixture.path(QStringLiteral("t.db"));
        const QString connection = BuildConnectionString(kParadoxFolder, db);
        ExecuteStatement(connection,
                         QStringLiteral("CREATE TABLE [t] ([KV] INTEGER, [Name] CHAR (60))"));
        ExecuteStatement(connection, QStringLiteral("CREATE INDEX [t] ON [t] ([KV]) WITH PRIMARY"));
        FillTable(db, 1, 300);
        const QMap<QString, QByteArray> before = FolderPicture(fixture.path(QString()));

        FailWriteAfter(goodWrites);
        QVERIFY_THROWS_EXCEPTION(Failure, FillTable(db, 1000, 2000));
        FailWriteAfter(-1);

        QCOMPARE(FolderPicture(fixture.path(QString())), before);
        QCOMPARE(RowCount(db), 300);
        // The failure left nothing behind that would stop the next write.
        FillTable(db, 1000, 10);
        QCOMPARE(RowCount(db), 310);
    }

    // A report write that fails anywhere fails with the report's name and leaves neither the
    // previous report nor its copy to pass for this run's.
    void reportFailureLeavesNoStaleReport_data() {
        QTest::addColumn<int>("goodWrites");
        QTest::newRow("first line") << 0;
        QTest::newRow("a detail line") << 6;
        QTest::newRow("closing the file") << 8;  // 1 header + 4 section lines + 3 details
        QTest::newRow("the copy under reports") << 12;
    }
    void reportFailureLeavesNoStaleReport() {
        QFETCH(int, goodWrites);
        ProgramFixture fixture;
        FakeUi ui;
        const QString report = fixture.path(QStringLiteral("les_rep.txt"));
        const QString copy = fixture.path(QStringLiteral("reports/создание базы.txt"));
        WriteReport(ui, report, QStringLiteral("les.db"), Sections({"первая"}), kReportImport);
        QVERIFY(QFileInfo::exists(report));
        QCOMPARE(FileBytes(copy), FileBytes(report));

        FailWriteAfter(goodWrites);
        QString description;
        try {
            WriteReport(ui, report, QStringLiteral("les.db"), Sections({"a", "b", "c"}),
                        kReportImport);
        } catch (const Failure& failure) {
            description = failure.description();
        }
        FailWriteAfter(-1);

        QVERIFY2(description.contains(QStringLiteral("Недостаточно места на диске")),
                 qPrintable(description));
        QVERIFY2(description.contains(goodWrites < 9 ? QDir::toNativeSeparators(report)
                                                     : QDir::toNativeSeparators(copy)),
                 qPrintable(description));
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(QFileInfo::exists(report), goodWrites >= 9);
        QVERIFY(!QFileInfo::exists(copy));
        QCOMPARE(TemporaryFiles(fixture.path(QString())), QStringList());
    }

    void exportKeepsPreviousFile_data() {
        QTest::addColumn<int>("goodWrites");
        QTest::newRow("header") << 0;
        QTest::newRow("stand lines") << 30;
        QTest::newRow("closing the file") << -2;  // the write after the last line
    }
    void exportKeepsPreviousFile() {
        QFETCH(int, goodWrites);
        ProgramFixture fixture;
        FakeUi importUi;
        const QString db = fixture.path(QStringLiteral("les.db"));
        QVERIFY(ProgramFixture::Import(importUi, ProgramFixture::SampleDoviFile(), db));

        const QString output = fixture.path(QStringLiteral("les_2022.txt"));
        const ExportRequest request{output, db, ProgramFixture::ElementsPath(db),
                                    ProgramFixture::FirstYear(db), 0};
        FakeUi first;
        QVERIFY2(ExportCurrentChanges(first, request),
                 qPrintable(first.messageTexts().join(" | ")));
        const int lines = ReadTextLines(output, TextCodec::Windows1251).size();
        QVERIFY(lines > 30);
        WriteBytes(output, "old file\r\n");

        FakeUi ui;
        FailWriteAfter(goodWrites < 0 ? lines : goodWrites);
        QVERIFY(!ExportCurrentChanges(ui, request));
        FailWriteAfter(-1);
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.lastMessage().icon, MessageIcon::Warning);
        QCOMPARE(FileBytes(output), QByteArray("old file\r\n"));
        QCOMPARE(TemporaryFiles(fixture.path(QString())), QStringList());
    }

    // A disk that really fills up: every operation fails, names the system's reason, and leaves
    // the old files byte for byte.
    void fullDisk_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<qint64>("free");
        QTest::newRow("export") << "export" << qint64{4096};
        QTest::newRow("report") << "report" << qint64{8192};
        QTest::newRow("import over a database") << "import" << qint64{32768};
        QTest::newRow("formation over reference tables") << "formation" << qint64{32768};
    }
    void fullDisk() {
        QFETCH(QString, operation);
        QFETCH(qint64, free);
        SmallDisk disk(4 * 1024 * 1024);
        if (!disk.mounted()) {
            QVERIFY2(::geteuid() != 0, "root could not mount a tmpfs");
            QSKIP("mounting a small disk needs root");
        }
        ProgramFixture fixture;
        const QString db = fixture.path(QStringLiteral("les.db"));
        const QString big = fixture.path(QStringLiteral("big.txt"));
        WriteBytes(big, BigForestry(4));
        FakeUi setupUi;
        QVERIFY(ProgramFixture::Import(setupUi, big, db));
        const ExportRequest request{disk.path(QStringLiteral("out.txt")), db,
                                    ProgramFixture::ElementsPath(db), ProgramFixture::FirstYear(db),
                                    0};
        const QString diskDb = disk.path(QStringLiteral("les.db"));
        const QString sprav = disk.path(QStringLiteral("sprav"));
        QStringList lines;
        for (int i = 0; i < 3000; ++i) {
            lines.append(QStringLiteral("Неизвестное имя %1").arg(i));
        }
        // The old files, whole, before the disk fills.
        if (operation == QLatin1String("export")) {
            QVERIFY(ExportCurrentChanges(setupUi, request));
            QVERIFY(QFileInfo(request.outputPath).size() > 3 * free);
            WriteBytes(request.outputPath, "old file\r\n");
        } else if (operation == QLatin1String("report")) {
            WriteBytes(disk.path(QStringLiteral("les_rep.txt")), "old report\r\n");
        } else if (operation == QLatin1String("import")) {
            QVERIFY(ProgramFixture::Import(setupUi, ProgramFixture::SampleDoviFile(), diskDb));
        } else {
            QVERIFY(QDir().mkpath(sprav));
            QVERIFY(ProgramFixture::Form(setupUi, sprav, ProgramFixture::SampleValueBooks()));
        }
        QVERIFY(disk.fillLeaving(free));
        auto before = FolderPicture(disk.path(QString()));

        FakeUi ui;
        bool done = true;
        if (operation == QLatin1String("export")) {
            done = ExportCurrentChanges(ui, request);
        } else if (operation == QLatin1String("report")) {
            QVERIFY_THROWS_EXCEPTION(
                Failure, WriteReport(ui, disk.path(QStringLiteral("les_rep.txt")),
                                     QStringLiteral("les.db"), Sections(lines), kReportImport));
            done = false;
            // The old report went first: it does not stand for this run's.
            before.remove(disk.path(QStringLiteral("les_rep.txt")));
        } else if (operation == QLatin1String("import")) {
            done = ProgramFixture::Import(ui, ProgramFixture::SampleDoviFile(), diskDb);
        } else {
            done = ProgramFixture::Form(ui, sprav, ProgramFixture::SampleValueBooks());
        }
        QVERIFY(!done);
        if (operation != QLatin1String("report")) {
            QVERIFY2(
                ui.messageTexts()
                    .join(QLatin1Char(' '))
                    .contains(QStringLiteral("Недостаточно места на диске для записи в папку: ") +
                              QDir::toNativeSeparators(disk.path(QString()))),
                qPrintable(ui.messageTexts().join(QStringLiteral(" | "))));
        }
        QCOMPARE(FolderPicture(disk.path(QString())), before);
        QCOMPARE(TemporaryFiles(disk.path(QString())), QStringList());
    }

    // Whatever write fails, the operation says so and every table it leaves reads. Each write
    // in turn fails, until the operation gets through.
    void importLeavesReadableTables() {
        int goodWrites = 0;
        for (;; ++goodWrites) {
            QVERIFY(goodWrites < 500);
            ProgramFixture fixture;
            FakeUi ui;
            const QString db = fixture.path(QStringLiteral("les.db"));
            FailWriteAfter(goodWrites);
            const bool done = ProgramFixture::Import(ui, ProgramFixture::SampleDoviFile(), db);
            FailWriteAfter(-1);
            QCOMPARE(UnreadableTables(fixture.path(QString())), QStringList());
            QCOMPARE(TemporaryFiles(fixture.path(QString())), QStringList());
            if (done) {
                break;
            }
            QVERIFY2(!ui.messages.isEmpty(), qPrintable(QString::number(goodWrites)));
            QCOMPARE(ui.messages.last().icon, MessageIcon::Warning);
        }
        QVERIFY(goodWrites > 10);
    }

    void formationLeavesReadableTables() {
        int goodWrites = 0;
        for (;; ++goodWrites) {
            QVERIFY(goodWrites < 500);
            ProgramFixture fixture;
            FakeUi ui;
            const QString target = fixture.makeFolder(QStringLiteral("sprav"));
            FailWriteAfter(goodWrites);
            const bool done = ProgramFixture::Form(ui, target, ProgramFixture::SampleValueBooks());
            FailWriteAfter(-1);
            QCOMPARE(UnreadableTables(target), QStringList());
            QCOMPARE(TemporaryFiles(fixture.path(QString())), QStringList());
            if (done) {
                break;
            }
            QVERIFY2(!ui.messages.isEmpty(), qPrintable(QString::number(goodWrites)));
        }
        QVERIFY(goodWrites > 5);
    }
};

QTEST_GUILESS_MAIN(TestFailedWrites)
#include "tst_failed_writes.moc"
