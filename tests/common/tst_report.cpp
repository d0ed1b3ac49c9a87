#include "common/failure.h"
#include "common/program_folder.h"
#include "common/qt_compat.h"
#include "common/report.h"
#include "common/text_file.h"
#include "support/fake_ui.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace converter;
using converter::testing::FakeUi;

namespace {

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

ReportSection Section(const QString& caption, const QStringList& lines) {
    ReportSection section;
    section.caption = caption;
    for (const QString& line : lines) {
        section.add(line);
    }
    return section;
}

// Three sections, the middle one empty: it must leave no trace.
std::vector<ReportSection> SampleSections() {
    return {Section(QStringLiteral("Не найдены файлы"), {QStringLiteral("12.000"), "7.000"}),
            Section(QStringLiteral("Пустой раздел"), {}),
            Section(QStringLiteral("Ошибки"), {QStringLiteral("ЛЕС - 3")})};
}

// The report names the user's file the system's way: with backslashes on Windows.
const QByteArray kSampleReport =
    EncodeText(QStringLiteral("Файл: ") + QDir::toNativeSeparators("D:/data/les.db") +
                   QStringLiteral("\r\n"
                                  "\r\n\r\n"
                                  "Не найдены файлы: 2\r\n"
                                  "\r\n"
                                  "12.000\r\n7.000\r\n"
                                  "\r\n\r\n"
                                  "Ошибки: 1\r\n"
                                  "\r\n"
                                  "ЛЕС - 3\r\n"),
               TextCodec::Windows1251);

}  // namespace

class TestReport : public QObject {
    Q_OBJECT
private:
    QTemporaryDir programDir_;
    QTemporaryDir workDir_;

private slots:
    void init() {
        QVERIFY(programDir_.isValid() && workDir_.isValid());
        SetProgramFolder(programDir_.path());
        QDir(programDir_.path() + "/reports").removeRecursively();
    }

    void cleanupTestCase() { SetProgramFolder(QString()); }

    void writesExactBytesLeavingOutEmptySectionsAndShowsThem() {
        FakeUi ui;
        const QString path = workDir_.filePath("les_rep.txt");
        WriteReport(ui, path, QStringLiteral("D:/data/les.db"), SampleSections(), kReportCheck);

        QCOMPARE(ReadBytes(path), kSampleReport);
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(ui.reportShown, 1);
        QCOMPARE(ui.report, DecodeText(kSampleReport, TextCodec::Windows1251));
        // The folder is made even when the kind keeps no copy, and stays empty.
        QVERIFY(QDir(programDir_.path() + "/reports").exists());
        QVERIFY(QDir(programDir_.path() + "/reports").isEmpty());
    }

    void reportWithoutFaultsHoldsTheHeaderOnly() {
        FakeUi ui;
        const QString path = workDir_.filePath("empty_rep.txt");
        std::vector<ReportSection> sections(4);
        WriteReport(ui, path, QStringLiteral("x"), sections, kReportCheck);
        QCOMPARE(ReadBytes(path), QByteArray("\xD4\xE0\xE9\xEB: x\r\n"));
    }

    void copiesByKind_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("copyName");
        QTest::newRow("import") << kReportImport << QStringLiteral("создание базы.txt");
        QTest::newRow("formation")
            << kReportFormation << QStringLiteral("формирование справочника.txt");
        QTest::newRow("check") << kReportCheck << QString();
        QTest::newRow("unknown kind") << 7 << QString();
    }

    void copiesByKind() {
        QFETCH(int, kind);
        QFETCH(QString, copyName);
        FakeUi ui;
        const QString path = workDir_.filePath("rep.txt");
        WriteReport(ui, path, QStringLiteral("D:/data/les.db"), SampleSections(), kind);

        const QStringList copies = QDir(programDir_.path() + "/reports").entryList(QDir::Files);
        if (copyName.isEmpty()) {
            QVERIFY(copies.isEmpty());
        } else {
            QCOMPARE(copies, QStringList{copyName});
            QCOMPARE(ReadBytes(programDir_.path() + "/reports/" + copyName), kSampleReport);
        }
    }

    void laterReportReplacesEarlierCopy() {
        FakeUi ui;
        const QString copy = programDir_.path() + "/reports/создание базы.txt";
        WriteReport(ui, workDir_.filePath("a.txt"), "first", SampleSections(), kReportImport);
        WriteReport(ui, workDir_.filePath("b.txt"), "second", {Section("S", {"1"})}, kReportImport);
        QCOMPARE(ReadBytes(copy),
                 QByteArray("\xD4\xE0\xE9\xEB: second\r\n\r\n\r\nS: 1\r\n\r\n1\r\n"));
    }

    // A report that cannot be written fails the operation: the failure names the report and the
    // reason, nothing is shown as this run's report, and the old copy is gone.
    void failuresFailTheOperation_data() {
        QTest::addColumn<QString>("caseName");
        QTest::addColumn<QString>("named");
        QTest::newRow("report folder missing") << "missing folder"
                                               << "no/such/folder/rep.txt";
        QTest::newRow("no sections at all") << "no sections"
                                            << "Нет разделов отчета";
        QTest::newRow("reports folder cannot be made") << "reports is a file"
                                                       << "reports";
    }

    void failuresFailTheOperation() {
        QFETCH(QString, caseName);
        QFETCH(QString, named);
        FakeUi ui;
        QString path = workDir_.filePath("rep.txt");
        std::vector<ReportSection> sections = SampleSections();
        const QString copy = programDir_.path() + "/reports/создание базы.txt";
        if (caseName == "missing folder") {
            path = workDir_.filePath("no/such/folder/rep.txt");
        } else if (caseName == "no sections") {
            sections.clear();
        } else {
            WriteBytes(programDir_.path() + "/reports", "not a folder");
        }
        if (caseName != "reports is a file") {
            WriteReport(ui, workDir_.filePath("old.txt"), "old", SampleSections(), kReportImport);
            QVERIFY(QFileInfo::exists(copy));
        }
        const int shown = ui.reportShown;
        QString description;
        try {
            WriteReport(ui, path, QStringLiteral("h"), sections, kReportImport);
        } catch (const Failure& failure) {
            description = failure.description();
        }
        QVERIFY2(description.startsWith(QStringLiteral("Ошибка при формировании отчета\r")),
                 qPrintable(description));
        QVERIFY2(description.contains(QDir::toNativeSeparators(named)), qPrintable(description));
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(ui.reportShown, shown);
        QVERIFY(!QFileInfo::exists(copy));
        QFile::remove(programDir_.path() + "/reports");
    }

    void showReportEndsEveryLineWithCrLf() {
        FakeUi ui;
        const QString path = workDir_.filePath("mixed.txt");
        WriteBytes(path, "one\ntwo\r\n\xCB\xE5\xF1");
        ShowReport(ui, path);
        QCOMPARE(ui.report, QStringLiteral("one\r\ntwo\r\nЛес\r\n"));
        QVERIFY(ui.messages.isEmpty());
    }

    void showReportOfMissingFileKeepsThePanel() {
        FakeUi ui;
        ui.report = QStringLiteral("earlier");
        ShowReport(ui, workDir_.filePath("absent.txt"));
        QCOMPARE(ui.messageTexts(), QStringList{QStringLiteral("Ошибка при отображении отчета")});
        QCOMPARE(ui.lastMessage().icon, MessageIcon::None);
        QVERIFY(ui.lastMessage().title.isEmpty());
        QCOMPARE(ui.report, QStringLiteral("earlier"));
        QCOMPARE(ui.reportShown, 0);
    }

    void copyTextFileEndsEveryLine() {
        const QString source = workDir_.filePath("src.txt");
        const QString target = workDir_.filePath("dst.txt");
        WriteBytes(source, "a\nb\rc\r\n\xC0\xDF");
        CopyTextFile(source, target);
        QCOMPARE(ReadBytes(target), QByteArray("a\r\nb\r\nc\r\n\xC0\xDF\r\n"));
        QVERIFY_THROWS_EXCEPTION(Failure,
                                 CopyTextFile(source, workDir_.filePath("no/such/dir/dst.txt")));
    }
};

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
