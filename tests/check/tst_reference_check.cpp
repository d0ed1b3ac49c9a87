#include "check/check_fixtures.h"
#include "check/reference_check.h"
#include "common/program_folder.h"
#include "common/text_file.h"
#include "support/fake_ui.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace converter;
using namespace converter::testing;

namespace {

const QString kStandColumns = QStringLiteral(
    "CREATE TABLE [les] ([GIR] INTEGER, [KV] SMALLINT, [SKNR] SMALLINT, [MUK] INTEGER,[POR] "
    "smallint, [BON] float, [TXT] string, [PUST] integer, [UNKNOWN] integer)");
const QString kStandIndex =
    QStringLiteral("CREATE INDEX [les] ON [les] ([GIR], [KV], [SKNR]) WITH PRIMARY");

// Key columns, then: POR coded by book 1, BON by book 2, TXT (a text column) by book 1, PUST by
// book 9 which has no rows; UNKNOWN is not described.
const Rows kSpfieldRows = {
    {"GIR", "Лесничество", QVariant(), 0, QVariant()},
    {"KV", "Квартал", QVariant(), 0, QVariant()},
    {"SKNR", "Выдел", QVariant(), QVariant(), QVariant()},  // empty SpNum, as formation writes it
    {"MUK", QVariant(), QVariant(), 0, QVariant()},         // empty Text
    {"POR", "Порода", QVariant(), 1, QVariant()},
    {"BON", "Бонитет", QVariant(), 2, QVariant()},
    {"TXT", "Текст", QVariant(), 1, QVariant()},
    {"PUST", "Пустой", QVariant(), 9, QVariant()},
};

const Rows kSptabRows = {
    {1, 0, "нет", "нет"}, {1, 1, "С", "Сосна"}, {1, 2, "Е", "Ель"},
    {2, 1, "I", "I"},     {2, 2, "II", "II"},
};

}  // namespace

class TestReferenceCheck : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString programFolder_, referenceFolder_, databasePath_;

    QString reportPath() const { return programFolder_ + "/reports/проверка.txt"; }

    void createReferences(const Rows& spfield = kSpfieldRows, const Rows& sptab = kSptabRows) {
        CreateSpfield(referenceFolder_, spfield, false);
        CreateSptab(referenceFolder_, sptab);
    }

    void createStands(const Rows& rows) {
        CreateTable(databasePath_, {kStandColumns, kStandIndex}, rows);
    }

    // Every stand holds only known codes.
    Rows cleanStands() const {
        return {{1, 1, 1, 100, 1, 1.0, "2", QVariant(), 0},
                {1, 1, 2, 100, 2, 2.0, QVariant(), QVariant(), 0}};
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        programFolder_ = dir_->filePath("program");
        referenceFolder_ = dir_->filePath("ref");
        QVERIFY(QDir().mkpath(programFolder_));
        QVERIFY(QDir().mkpath(referenceFolder_));
        QVERIFY(QDir().mkpath(dir_->filePath("db")));
        databasePath_ = dir_->filePath("db/les.db");
        SetProgramFolder(programFolder_);
    }

    void cleanupTestCase() { SetProgramFolder(QString()); }

    void reportsEveryKindOfShortcomingOnce() {
        createReferences(kSpfieldRows, kSptabRows);
        // PUST is described (book 9 has no rows) and UNKNOWN is not, so PUST gets section 2 and
        // UNKNOWN section 1. A PUST value is never looked at. Value 5 of POR appears in two
        // stands, 2.5 of BON and "x" of TXT once; NULLs and empty texts are passed over.
        createStands({{1, 1, 1, 100, 5, 1.0, "1", 77, 3},
                      {1, 1, 2, 100, 5, 2.5, "x", QVariant(), QVariant()},
                      {1, 2, 1, 100, QVariant(), QVariant(), QVariant(), 77, 4},
                      {1, 2, 2, 100, 0, 2.0, "", QVariant(), 5}});
        FakeUi ui;
        QString reportText = QStringLiteral("before");
        bool deficiencies = false;
        QVERIFY(CheckTarvelDatabase(ui, databasePath_, referenceFolder_ + "/", reportText,
                                    deficiencies));
        QVERIFY(deficiencies);
        // Only the line that names the report, for the outcome.
        QCOMPARE(reportText,
                 "Отчет сохранен в файле: " +
                     QDir::toNativeSeparators(WritableProgramFolder("reports") + "/проверка.txt"));
        QVERIFY(ui.messages.isEmpty());

        const QString expected =
            "Файл: " + QDir::toNativeSeparators(databasePath_) +
            "\r\nПуть к справочнику: " + QDir::toNativeSeparators(referenceFolder_ + "/") + "\r\n" +
            "\r\n\r\nОтсутствуют поля в справочнике spfield.db: 1\r\n\r\nUNKNOWN\r\n"
            "\r\n\r\nВ справочнике sptab.db нет значений для показателя: 1\r\n\r\nPUST - 9\r\n"
            "\r\n\r\nВ справочнике sptab.db отсутствут значение: 3\r\n\r\n"
            "POR - Порода - 5\r\nBON - Бонитет - 2.5\r\nTXT - Текст - x\r\n";
        QFile report(reportPath());
        QVERIFY(report.open(QIODevice::ReadOnly));
        QCOMPARE(report.readAll(), EncodeText(expected, TextCodec::Windows1251));
        QCOMPARE(ui.report, expected);
        // Only the check's own report lies in reports/: kind 3 makes no copy.
        QCOMPARE(QDir(programFolder_ + "/reports").entryList(QDir::Files),
                 QStringList{"проверка.txt"});
    }

    void progressCaptionPerColumn() {
        createReferences();
        createStands(cleanStands());
        FakeUi ui;
        QString reportText;
        bool deficiencies = true;
        QVERIFY(CheckTarvelDatabase(ui, databasePath_, referenceFolder_, reportText, deficiencies));
        QStringList expected;
        for (int i = 1; i <= 9; ++i) {
            expected.append(QStringLiteral("Обработано полей: %1/9").arg(i));
        }
        QCOMPARE(ui.statusHistory, expected);
        QVERIFY(ui.eventsProcessed >= 9);
    }

    void noShortcomingLeavesNoReport() {
        Rows spfield(kSpfieldRows.begin(), kSpfieldRows.begin() + 7);
        spfield.push_back({"PUST", "Не кодируется", QVariant(), 0, QVariant()});
        spfield.push_back({"UNKNOWN", QVariant(), QVariant(), QVariant(), QVariant()});
        createReferences(spfield);
        createStands(cleanStands());
        const QDateTime stamp = QFileInfo(databasePath_).lastModified();

        FakeUi ui;
        QString reportText = QStringLiteral("kept");
        bool deficiencies = true;
        QVERIFY(CheckTarvelDatabase(ui, databasePath_, referenceFolder_, reportText, deficiencies));
        QVERIFY(!deficiencies);
        QCOMPARE(reportText, QStringLiteral("kept"));
        QVERIFY(!QFile::exists(reportPath()));
        QCOMPARE(ui.reportShown, 0);
        QVERIFY(ui.messages.isEmpty());
        // The check only reads the database.
        QCOMPARE(QFileInfo(databasePath_).lastModified(), stamp);
    }

    void upperCaseWindowsTablesAreFound() {
        createReferences();
        UpperCaseTableFiles(referenceFolder_, "spfield");
        UpperCaseTableFiles(referenceFolder_, "sptab");
        createStands({{1, 1, 1, 100, 7, 1.0, QVariant(), QVariant(), QVariant()}});
        FakeUi ui;
        QString reportText;
        bool deficiencies = false;
        QVERIFY(CheckTarvelDatabase(ui, databasePath_, referenceFolder_ + "/", reportText,
                                    deficiencies));
        QVERIFY(ui.messages.isEmpty());
        QVERIFY(deficiencies);
        QVERIFY(ui.report.contains("POR - Порода - 7\r\n"));
    }

    void columnLookupKeepsTheTablesSpelling() {
        // The index holds upper-cased names and the table's own spelling is looked up, so a
        // lower-case column is not described, whatever SPFIELD.DB holds.
        createReferences({{"POR", "Порода", QVariant(), 1, QVariant()}}, kSptabRows);
        CreateTable(databasePath_, {"CREATE TABLE [les] ([por] smallint, [POR2] smallint)"},
                    {{1, 1}});
        FakeUi ui;
        QString reportText;
        bool deficiencies = false;
        QVERIFY(CheckTarvelDatabase(ui, databasePath_, referenceFolder_, reportText, deficiencies));
        QVERIFY(ui.report.endsWith(
            "Отсутствуют поля в справочнике spfield.db: 2\r\n\r\npor\r\nPOR2\r\n"));
    }

    void codeMatching_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("known");
        QTest::newRow("integer") << QVariant(2) << true;
        QTest::newRow("whole double") << QVariant(2.0) << true;
        QTest::newRow("fraction") << QVariant(2.5) << false;
        QTest::newRow("unknown integer") << QVariant(3) << false;
        QTest::newRow("text of a code") << QVariant("2") << true;
        QTest::newRow("text with blanks and zero") << QVariant(" 02 ") << true;
        QTest::newRow("text with a fraction") << QVariant("2.0") << false;
        QTest::newRow("word") << QVariant("Сосна") << false;
        QTest::newRow("beyond 32 bits") << QVariant(4294967298.0) << false;
    }

    void codeMatching() {
        QFETCH(QVariant, value);
        QFETCH(bool, known);
        QCOMPARE(IsKnownCode(value, QSet<qint32>{0, 2}), known);
    }

    void codesOfBookAreGatheredPerBook() {
        createReferences();
        FakeUi ui;
        ReferenceCheckState state;
        QVERIFY(CheckSptabTable(ui, referenceFolder_));
        QVERIFY(LoadSptab(ui, referenceFolder_ + "/sptab.db", state));
        QCOMPARE(CodesOfBook(state, 1), (QSet<qint32>{0, 1, 2}));
        QCOMPARE(CodesOfBook(state, 2), (QSet<qint32>{1, 2}));
        QVERIFY(CodesOfBook(state, 9).isEmpty());
    }

    void badReferenceRowsStopTheLoad_data() {
        QTest::addColumn<Rows>("spfield");
        QTest::addColumn<Rows>("sptab");
        QTest::addColumn<QString>("headline");
        const Rows goodSptab = {{1, 1, "С", "Сосна"}};
        const Rows goodSpfield = {{"POR", "Порода", QVariant(), 1, QVariant()}};
        QTest::newRow("empty FieldName") << Rows{{QVariant(), "Порода", QVariant(), 1, QVariant()}}
                                         << goodSptab << "Ошибка при чтении справочника SPFIELD.DB";
        QTest::newRow("FieldName repeated in another case")
            << Rows{{"Por", "Порода", QVariant(), 1, QVariant()},
                    {"POR", "Порода", QVariant(), 1, QVariant()}}
            << goodSptab << "Ошибка при чтении справочника SPFIELD.DB";
        QTest::newRow("empty Code") << goodSpfield << Rows{{1, QVariant(), "С", "Сосна"}}
                                    << "Ошибка при чтении справочника SPTAB.DB";
        QTest::newRow("empty SpNum of a value")
            << goodSpfield << Rows{{QVariant(), 1, "С", "Сосна"}}
            << "Ошибка при чтении справочника SPTAB.DB";
    }

    void badReferenceRowsStopTheLoad() {
        QFETCH(Rows, spfield);
        QFETCH(Rows, sptab);
        QFETCH(QString, headline);
        CreateSpfield(referenceFolder_, spfield, false);
        CreateSptab(referenceFolder_, sptab, false);
        createStands(cleanStands());
        FakeUi ui;
        QString reportText;
        bool deficiencies = false;
        QVERIFY(
            !CheckTarvelDatabase(ui, databasePath_, referenceFolder_, reportText, deficiencies));
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY2(ui.lastMessage().text.startsWith(headline + "\r"),
                 qPrintable(ui.lastMessage().text));
        QVERIFY(!QFile::exists(reportPath()));
    }

    void failingStepsEndTheRun_data() {
        QTest::addColumn<QString>("caseName");
        QTest::addColumn<QString>("messageStart");
        QTest::newRow("no reference tables") << "no references"
                                             << "Не найден файл справочника SPFIELD.DB";
        QTest::newRow("database missing") << "no database"
                                          << "Описание ошибки:";
        QTest::newRow("database damaged") << "damaged database"
                                          << "Описание ошибки:";
    }

    void failingStepsEndTheRun() {
        QFETCH(QString, caseName);
        QFETCH(QString, messageStart);
        if (caseName != "no references") {
            createReferences();
        }
        if (caseName == "damaged database") {
            QFile file(databasePath_);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(2048, '\x01'));
        }
        FakeUi ui;
        QString reportText;
        bool deficiencies = false;
        QVERIFY(
            !CheckTarvelDatabase(ui, databasePath_, referenceFolder_, reportText, deficiencies));
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY2(ui.lastMessage().text.startsWith(messageStart), qPrintable(ui.lastMessage().text));
        QVERIFY(!QFile::exists(reportPath()));
    }
};

QTEST_GUILESS_MAIN(TestReferenceCheck)
#include "tst_reference_check.moc"
