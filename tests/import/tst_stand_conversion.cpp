#include "common/text_file.h"
#include "import/import_driver.h"
#include "import/stand_database.h"
#include "import_fixture.h"

#include <QDir>
#include <QTest>

#include "support/pxlib_rows.h"

using namespace converter;
using namespace converter::testing;

namespace {

const QString kDuplicateHeadline = QStringLiteral("Ошибка при обработке при обработке выдела: ");

// KV, VYDEL and P1 of layout 1, E1 of the elements layout: the dictionary of the worked example.
std::vector<FieldRow> ExampleFields() {
    return {{"KV", "KV", 1, 1, "integer"},
            {"SKNR", "VYDEL", 1, 2, "integer"},
            {"C1", "P1", 1, 3},
            {"EC1", "E1", 10, 1, "integer"}};
}

// Adds a ten-fold number, ADMR, a layout below 10, a coded element value and a layout above 10.
std::vector<FieldRow> RuleFields() {
    std::vector<FieldRow> fields = ExampleFields();
    fields.push_back({"HT", "MT", 1, 4, "double", true});
    fields.push_back({"ADMR", "ADMR", 1, 5});
    fields.push_back({"C3", "L3", 3, 1});
    fields.push_back({"POR", "POR", 10, 2, "integer", false, true});
    fields.push_back({"A11", "L11A", 11, 1});
    fields.push_back({"B11", "L11B", 11, 2});
    return fields;
}

const std::vector<std::vector<QVariant>> kPorCodes = {{"POR", 1, QStringLiteral("С")},
                                                      {"POR", 2, QStringLiteral("Е")}};

struct Run {
    bool ok = false;
    QString countText;
    bool hadErrors = false;
};

Run Import(FakeUi& ui, const ImportFixture& fixture, const QString& textPath) {
    Run run;
    const QString mainPath = fixture.path("les.db");
    run.ok = ImportDoviFile(ui, textPath, mainPath, ElementsTablePath(mainPath), run.countText,
                            run.hadErrors);
    return run;
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class TestStandConversion : public QObject {
    Q_OBJECT

private slots:
    void workedExampleGivesOneStandAndTwoElements() {
        ImportFixture fixture;
        fixture.writeDictionary(ExampleFields());
        const QString text = fixture.writeDoviFile(
            {"", "KV=12\tVYDEL=3\tP1=45\t", "M#10\tE1=7\t", "M#10\tE1=8\t", ""});
        FakeUi ui;
        ui.forestUnitAnswers.push_back(Unit("12345678", "5"));

        const Run run = Import(ui, fixture, text);

        QVERIFY2(run.ok, qPrintable(ui.messageTexts().join(" / ")));
        QVERIFY(ui.messages.isEmpty());
        QVERIFY(!run.hadErrors);
        QCOMPARE(run.countText, QStringLiteral("Количество выделов: 1"));
        QCOMPARE(ImportFixture::ColumnNames(fixture.path("les.db")),
                 QStringList({"GIR", "KV", "SKNR", "MUK", "C1", "EC1"}));
        QCOMPARE(RowTexts(ImportFixture::Rows(fixture.path("les.db"))),
                 QStringList({"34567805|12|3|12345678|45|7"}));
        QCOMPARE(ImportFixture::ColumnNames(fixture.path("lesСост.db")),
                 QStringList({"GIR", "KV", "SKNR", "NUM", "MUK", "EC1"}));
        QCOMPARE(RowTexts(ImportFixture::Rows(fixture.path("lesСост.db"))),
                 QStringList({"34567805|12|3|1|12345678|7", "34567805|12|3|2|12345678|8"}));
        QVERIFY(ImportFixture::Rows(fixture.path("les_TI.db")).empty());
        QVERIFY(!QFile::exists(fixture.path("les_rep.txt")));
        QCOMPARE(ui.statusVisible[StatusLabel::Import], false);
    }

    // One file with faults of all eight sections, the value rules and a last line that is an
    // element line; the rows and the report's bytes are checked as a whole.
    void conversionRulesAndReport() {
        ImportFixture fixture;
        fixture.writeDictionary(RuleFields(), kPorCodes);
        const QString text = fixture.writeDoviFile({
            "",                                                      // 8
            "KV=1\tVYDEL=1\tP1=10\tMT=125\tADMR=123\tL11A=4\t",      // 9
            "M#10\tE1=7\tPOR=е\t",                                   // 10
            "M#10\tE1=8\tPOR=Х\tP1=99\t",                            // 11
            "   ",                                                   // 12
            "kv=1\tVYDEL=2\tMT=12\tL3=3A\tZZ=5\tP1\tA=1B=2\tm#3\t",  // 13
            "M#10\tE1=9\tP1=55\tZZ=6\t",                             // 14
            "",                                                      // 15
            "P1=5\tZZ=1\t",                                          // 16
            "",                                                      // 17
            "QQ=1\t",                                                // 18
            "",                                                      // 19
            "KV=2\tMT=2.5\tL11B=3\t",                                // 20
            "M#10\tPOR=С\t",                                         // 21
        });
        FakeUi ui;
        ui.forestUnitAnswers.push_back(Unit("12345678", "5"));

        const Run run = Import(ui, fixture, text);

        QVERIFY2(run.ok, qPrintable(ui.messageTexts().join(" / ")));
        QVERIFY(run.hadErrors);
        QCOMPARE(run.countText, "Количество выделов: 2\rОтчет сохранен в файле: " +
                                    QDir::toNativeSeparators(fixture.path("les_rep.txt")));
        QCOMPARE(ImportFixture::ColumnNames(fixture.path("les.db")),
                 QStringList({"GIR", "KV", "SKNR", "MUK", "C1", "HT", "ADMR", "C3", "EC1", "POR",
                              "A11", "B11"}));
        // Stand 1: ten-fold 125, ADMR prefix, first element in the main row, B11 zero-filled.
        // Stand 2: P1 of the first element line, C3 refused, POR zero-filled, layout 11 absent.
        QCOMPARE(RowTexts(ImportFixture::Rows(fixture.path("les.db"))),
                 QStringList({"34567805|1|1|12345678|10|12.5|1234123|-|7|2|4|0",
                              "34567805|1|2|12345678|55|1.2|-|-|9|0|-|-"}));
        // The element of the stand without VYDEL has no key either: reported, not stored.
        QCOMPARE(RowTexts(ImportFixture::Rows(fixture.path("lesСост.db"))),
                 QStringList({"34567805|1|1|1|12345678|7|2", "34567805|1|1|2|12345678|8|0",
                              "34567805|1|2|1|12345678|9|-"}));

        const QString report = QStringLiteral(
                                   "Файл: %1\r\n"
                                   "\r\n\r\n"
                                   "В справочнике не оказалось показателей: 2\r\n\r\n"
                                   "ZZ\r\nQQ\r\n"
                                   "\r\n\r\n"
                                   "Пропущен знак равенства: 1\r\n\r\n"
                                   "строка 13\r\n"
                                   "\r\n\r\n"
                                   "Пропущен знак табуляции: 1\r\n\r\n"
                                   "строка 13\r\n"
                                   "\r\n\r\n"
                                   "Недопустимые (нечисловые) значения: 1\r\n\r\n"
                                   "строка 13 - показатель L3 - значение \"3A\"\r\n"
                                   "\r\n\r\n"
                                   "Не определены ключевые поля: 2\r\n\r\n"
                                   "строка 17\r\nстрока 22\r\n"
                                   "\r\n\r\n"
                                   "Не опредены ключевые поля для таблицы с элементами леса: "
                                   "1\r\n\r\n"
                                   "строка 23\r\n"
                                   "\r\n\r\n"
                                   "Не оказалось показателей по элементам леса: 1\r\n\r\n"
                                   "P1\r\n"
                                   "\r\n\r\n"
                                   "Не удалось закодировать значение: 1\r\n\r\n"
                                   "Строка 11 - показатель POR - значение \"Х\"\r\n")
                                   .arg(QDir::toNativeSeparators(fixture.path("les.db")));
        const QByteArray expected = EncodeText(report, TextCodec::Windows1251);
        QCOMPARE(ReadBytes(fixture.path("les_rep.txt")), expected);
        QCOMPARE(ReadBytes(fixture.path("reports/создание базы.txt")), expected);
        QCOMPARE(ui.reportShown, 1);
        QVERIFY(ui.messages.isEmpty());

#ifdef HAVE_PXLIB
        // An outside reader sees the same rows.
        for (const QString name : {"les.db", "lesСост.db"}) {
            QCOMPARE(PxlibRows(fixture.path(name)),
                     RowTexts(ImportFixture::Rows(fixture.path(name))));
        }
        QCOMPARE(PxlibRows(fixture.path("les_TI.db")), QStringList());
#endif
    }

    // A rule failure ends the import with its line, and no half-filled database is left.
    void ruleFailuresEndTheConversion_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("failingLine");

        QTest::newRow("second stand with the same keys")
            << QStringList{"", "KV=1\tVYDEL=1\tP1=1\t", "", "KV=1\tVYDEL=1\tP1=2\t", "", "KV=3\t"}
            << 12;
        QTest::newRow("value too large for its column")
            << QStringList{"", "KV=1\tVYDEL=1\t", "", "KV=70000\tVYDEL=1\t", ""} << 11;
    }

    void ruleFailuresEndTheConversion() {
        QFETCH(QStringList, lines);
        QFETCH(int, failingLine);
        ImportFixture fixture;
        fixture.writeDictionary(ExampleFields());
        FakeUi ui;
        ui.forestUnitAnswers.push_back(Unit());

        const Run run = Import(ui, fixture, fixture.writeDoviFile(lines));

        QVERIFY(!run.ok);
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY2(ui.lastMessage().text.startsWith(kDuplicateHeadline +
                                                  QString::number(failingLine) + "\r"),
                 qPrintable(ui.lastMessage().text));
        const QStringList left = QDir(fixture.path("."))
                                     .entryList({"*.db", "*.px", "*.txt", ".*dovi2tarvel-new"},
                                                QDir::Files | QDir::Dirs | QDir::Hidden);
        QCOMPARE(left, QStringList{"les.txt"});
    }

    // An element line before its stand's KV and VYDEL belongs to no stand: it is reported with the
    // line that finishes it, not stored, and the import goes on. The stand itself is kept, with
    // its first element's values in its own row.
    void elementLinesBeforeTheirStandsKeys_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("stands");
        QTest::addColumn<QStringList>("elements");
        QTest::addColumn<QStringList>("reported");  // the items of the elements' key section

        QTest::newRow("element line first")
            << QStringList{"", "M#10\tE1=1\t", "KV=1\tVYDEL=1\t", "M#10\tE1=2\t", ""}
            << QStringList{"34567805|1|1|12345678|-|1"} << QStringList{"34567805|1|1|2|12345678|2"}
            << QStringList{"строка 10"};
        // Stored under keys of 0, the second element 1 repeated the first's key.
        QTest::newRow("two such stands, the last at the end of the file")
            << QStringList{"", "M#10\tE1=1\t", "KV=1\tVYDEL=1\t",
                           "", "M#10\tE1=2\t", "KV=2\tVYDEL=1\t"}
            << QStringList{"34567805|1|1|12345678|-|1", "34567805|2|1|12345678|-|2"}
            << QStringList{} << QStringList{"строка 10", "строка 13"};
        QTest::newRow("only KV before the element line")
            << QStringList{"", "KV=1\t", "M#10\tE1=1\t", "VYDEL=1\t", ""}
            << QStringList{"34567805|1|1|12345678|-|1"} << QStringList{}
            << QStringList{"строка 11"};
        QTest::newRow("keys on the element line itself")
            << QStringList{"", "M#10\tKV=3\tVYDEL=4\tE1=5\t", ""}
            << QStringList{"34567805|3|4|12345678|-|5"} << QStringList{"34567805|3|4|1|12345678|5"}
            << QStringList{};
        QTest::newRow("after a block with a bare element line, which opened no stand")
            << QStringList{"", "M#10\t", "", "KV=1\tVYDEL=1\t", "M#10\tE1=5\t", "M#10\tE1=6\t", ""}
            << QStringList{"34567805|1|1|12345678|-|5"}
            << QStringList{"34567805|1|1|1|12345678|5", "34567805|1|1|2|12345678|6"}
            << QStringList{};
    }

    void elementLinesBeforeTheirStandsKeys() {
        QFETCH(QStringList, lines);
        QFETCH(QStringList, stands);
        QFETCH(QStringList, elements);
        QFETCH(QStringList, reported);
        ImportFixture fixture;
        fixture.writeDictionary(ExampleFields());
        FakeUi ui;
        ui.forestUnitAnswers.push_back(Unit());

        const Run run = Import(ui, fixture, fixture.writeDoviFile(lines));

        QVERIFY2(run.ok, qPrintable(ui.messageTexts().join(" / ")));
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(RowTexts(ImportFixture::Rows(fixture.path("les.db"))), stands);
        QCOMPARE(RowTexts(ImportFixture::Rows(fixture.path("lesСост.db"))), elements);
        QCOMPARE(run.hadErrors, !reported.isEmpty());
        if (!reported.isEmpty()) {
            const QString section =
                QStringLiteral(
                    "Не опредены ключевые поля для таблицы с элементами леса: %1\r\n\r\n")
                    .arg(reported.size()) +
                reported.join("\r\n") + "\r\n";
            QVERIFY2(ui.report.contains(section), qPrintable(ui.report));
            // No other section: the stands had their keys.
            QCOMPARE(ui.report.count("\r\n\r\n\r\n"), 1);
        }
    }

    void cancelledDialogDeletesTheNewDatabase() {
        ImportFixture fixture;
        fixture.writeDictionary(ExampleFields());
        FakeUi ui;  // no answer scripted: the dialog is cancelled

        const Run run = Import(ui, fixture, fixture.writeDoviFile({"", "KV=1\tVYDEL=1\t"}));

        QVERIFY(!run.ok);
        QCOMPARE(ui.forestUnitRequests, 1);
        QVERIFY(ui.messages.isEmpty());
        const QStringList left =
            QDir(fixture.path(".")).entryList({"*.db", "*.px"}, QDir::Files, QDir::Name);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(", ")));
    }

    void progressEveryFiftyLines() {
        ImportFixture fixture;
        fixture.writeDictionary(ExampleFields());
        QStringList lines = {""};
        for (int kv = 1; kv <= 60; ++kv) {
            lines << QStringLiteral("KV=%1\tVYDEL=1\t").arg(kv) << "";
        }
        FakeUi ui;
        ui.forestUnitAnswers.push_back(Unit());

        const Run run = Import(ui, fixture, fixture.writeDoviFile(lines));

        QVERIFY(run.ok);
        QCOMPARE(run.countText, QStringLiteral("Количество выделов: 60"));
        const QStringList progress = ui.statusHistory.filter("Обработано строк");
        QCOMPARE(progress, QStringList({"Обработано строк: 50/128", "Обработано строк: 100/128"}));
    }
};

QTEST_GUILESS_MAIN(TestStandConversion)
#include "tst_stand_conversion.moc"
