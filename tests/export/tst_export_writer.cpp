#include "export/export_writer.h"

#include "export_fixture.h"
#include "support/fake_ui.h"

#include <QDir>
#include <QTest>

using namespace converter;
using namespace converter::testing;

namespace {

const QString kHeaderLine3 = QStringLiteral("MUK=12345678&GIR=005\t");

}  // namespace

class ExportWriterTest : public QObject {
    Q_OBJECT

private slots:
    void writesExactFile();
    void layoutLineRules_data();
    void layoutLineRules();
    void girHeaderForms_data();
    void girHeaderForms();
    void refusesYearWithoutStands_data();
    void refusesYearWithoutStands();
    void refusesMissingKeys_data();
    void refusesMissingKeys();
    void exportsWithoutElementRows();
    void ordersTablesWithoutPrimaryIndex();
    void showsProgressAndCompletion();
    void failureLeavesNoFile();
    void countsCharactersOutsideCodePage();
};

// Three stands of year 5 and one of year 98: key order, the seven header lines, maket order,
// markers, MultTen, decoding (a miss drops the value), "admr", and element lines of elements 2
// and up only, with their codes as stored (element lines are not decoded).
void ExportWriterTest::writesExactFile() {
    ExportFixture f;
    f.writeDictionary({{"KV", "KV", 1},
                       {"SKNR", "VYDEL", 1},
                       {"admr", "ADMR", 1},
                       {"AKTM", "GT", 2},
                       {"KOD", "K", 12},
                       {"PL", "PL", 3, 1, "double", true},
                       {"POR", "POR", 10, 1, "integer", false, true},
                       {"VOZ", "VOZ", 10},
                       {"H", "H", 10, 3, "double", true}},
                      {{"POR", 1, "сосна"}, {"POR", 3, "ель"}});
    f.createDatabase({{"admr", "INTEGER"},
                      {"PL", "FLOAT"},
                      {"POR", "SMALLINT"},
                      {"VOZ", "SMALLINT"},
                      {"H", "FLOAT"},
                      {"KOD", "SMALLINT"}},
                     {{"POR", "SMALLINT"}, {"VOZ", "SMALLINT"}, {"H", "FLOAT"}});
    ExportFixture::insertRows(
        f.mainPath(),
        {ExportFixture::Stand(
             1, 2, 5,
             {{"admr", 5012}, {"PL", 2.5}, {"POR", 3}, {"VOZ", 40}, {"H", 12.3}, {"KOD", 5}}),
         ExportFixture::Stand(1, 1, 5, {{"admr", 12}, {"PL", 0.0}, {"POR", 7}}),
         ExportFixture::Stand(1, 3, 98, {{"VOZ", 50}}),
         ExportFixture::Stand(2, 1, 5, {{"KOD", 0}})});
    ExportFixture::insertRows(
        f.elementsPath(), {ExportFixture::Element(1, 2, 1, {{"POR", 3}, {"VOZ", 40}, {"H", 12.3}}),
                           ExportFixture::Element(1, 2, 3, {{"POR", 9}, {"VOZ", 20}, {"H", 1.1}}),
                           ExportFixture::Element(1, 2, 2, {{"POR", 1}, {"VOZ", 35}, {"H", 0.0}}),
                           ExportFixture::Element(1, 3, 1, {{"VOZ", 50}}),
                           ExportFixture::Element(1, 3, 2, {{"VOZ", 99}}),
                           ExportFixture::Element(2, 1, 2, {{"VOZ", 10}})});

    const QStringList expected = {
        "\t", "\t", kHeaderLine3, "\t", "\t", "\t", "\t",
        // stand 1/1: a decode miss still writes the layout-10 marker line
        "", "KV=1\tVYDEL=1\tADMR=12\t", "GT=5\t", "M#10\t",
        // stand 1/2
        "", "KV=1\tVYDEL=2\tADMR=012\t", "GT=5\t", "PL=25\t", "M#10\tPOR=ЕЛЬ\tVOZ=40\tH=123\t",
        "M#10\tPOR=1\tVOZ=35\t", "M#10\tPOR=9\tVOZ=20\tH=11\t", "M#12\tK=5\t",
        // stand 2/1: no element 1 in either table, element 2 still follows
        "", "KV=2\tVYDEL=1\t", "GT=5\t", "M#10\tVOZ=10\t"};

    FakeUi ui;
    QVERIFY(f.exportYear(ui, 5));
    QCOMPARE(ExportFixture::Bytes(f.outputPath()), DoviBytes(expected));
    QCOMPARE(ui.messages.size(), 1);
    QCOMPARE(ui.lastMessage().title, QStringLiteral("Экспорт выполнен"));

    // A second run in the same program run writes the same file.
    const QString second = f.path("second.txt");
    QVERIFY(f.exportYear(ui, 5, second));
    QCOMPARE(ExportFixture::Bytes(second), DoviBytes(expected));
}

void ExportWriterTest::layoutLineRules_data() {
    QTest::addColumn<int>("maket");
    QTest::addColumn<QString>("tarvel");
    QTest::addColumn<bool>("multTen");
    QTest::addColumn<bool>("decode");
    QTest::addColumn<QString>("sqlType");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QStringList>("lines");

    const QVariant null;
    QTest::newRow("layout 12 has a marker") << 12 << "KOD" << false << false << "SMALLINT"
                                            << QVariant(5) << "." << QStringList{"M#12\tK=5\t"};
    QTest::newRow("layout 3 has none")
        << 3 << "KOD" << false << false << "SMALLINT" << QVariant(5) << "." << QStringList{"K=5\t"};
    QTest::newRow("negative") << 3 << "KOD" << false << false << "SMALLINT" << QVariant(-3) << "."
                              << QStringList{"K=-3\t"};
    QTest::newRow("decimal point") << 3 << "KOD" << false << false << "FLOAT" << QVariant(0.5)
                                   << "." << QStringList{"K=0.5\t"};
    QTest::newRow("zero writes no line")
        << 12 << "KOD" << false << false << "SMALLINT" << QVariant(0) << "." << QStringList{};
    QTest::newRow("null writes no line")
        << 12 << "KOD" << false << false << "SMALLINT" << null << "." << QStringList{};
    QTest::newRow("text zero writes no line")
        << 3 << "KOD" << false << false << "STRING" << QVariant("0") << "." << QStringList{};
    QTest::newRow("ten-fold 2.5") << 3 << "KOD" << true << false << "FLOAT" << QVariant(2.5) << "."
                                  << QStringList{"K=25\t"};
    QTest::newRow("ten-fold without binary noise")
        << 3 << "KOD" << true << false << "FLOAT" << QVariant(1.1) << "." << QStringList{"K=11\t"};
    QTest::newRow("ten-fold of a comma text") << 3 << "KOD" << true << false << "STRING"
                                              << QVariant("2,5") << "." << QStringList{"K=25\t"};
    QTest::newRow("ten-fold of a word unchanged") << 3 << "KOD" << true << false << "STRING"
                                                  << QVariant("A1") << "." << QStringList{"K=A1\t"};
    QTest::newRow("admr 5012") << 1 << "admr" << false << false << "INTEGER" << QVariant(5012)
                               << "." << QStringList{"K=012\t"};
    QTest::newRow("admr 12") << 1 << "ADMR" << false << false << "INTEGER" << QVariant(12) << "."
                             << QStringList{"K=12\t"};
    QTest::newRow("decoded") << 3 << "KOD" << false << true << "SMALLINT" << QVariant(3) << "."
                             << QStringList{"K=ЕЛЬ\t"};
    // An empty line would end the stand in the file.
    QTest::newRow("decode miss, layout 3 writes no line")
        << 3 << "KOD" << false << true << "SMALLINT" << QVariant(7) << "." << QStringList{};
    QTest::newRow("decode miss, layout 12") << 12 << "KOD" << false << true << "SMALLINT"
                                            << QVariant(7) << "." << QStringList{"M#12\t"};
    QTest::newRow("decimal comma") << 3 << "KOD" << false << false << "FLOAT" << QVariant(0.5)
                                   << "," << QStringList{"K=0,5\t"};
    QTest::newRow("ten-fold with a comma") << 3 << "KOD" << true << false << "FLOAT"
                                           << QVariant(0.25) << "," << QStringList{"K=2,5\t"};
    QTest::newRow("a whole number has no separator")
        << 3 << "KOD" << false << false << "FLOAT" << QVariant(2.0) << "," << QStringList{"K=2\t"};
    QTest::newRow("a text keeps its point") << 3 << "KOD" << false << false << "STRING"
                                            << QVariant("2.5") << "," << QStringList{"K=2.5\t"};
    QTest::newRow("line breaks and tabs in a text become blanks")
        << 3 << "KOD" << false << false << "STRING" << QVariant("a\tb\r\nc\rd\ne") << "."
        << QStringList{"K=a b  c d e\t"};
}

void ExportWriterTest::layoutLineRules() {
    QFETCH(int, maket);
    QFETCH(QString, tarvel);
    QFETCH(bool, multTen);
    QFETCH(bool, decode);
    QFETCH(QString, sqlType);
    QFETCH(QVariant, stored);
    QFETCH(QString, separator);
    QFETCH(QStringList, lines);

    ExportFixture f;
    f.writeDictionary({{tarvel, "K", maket, 1, "long", multTen, decode}}, {{"K", 3, "ель"}});
    f.createDatabase({{tarvel, sqlType}}, {});
    ExportFixture::insertRows(f.mainPath(), {ExportFixture::Stand(1, 1, 5, {{tarvel, stored}})});

    FakeUi ui;
    QVERIFY(f.exportYear(ui, 5, {}, separator.front()));
    QCOMPARE(ExportFixture::StandLines(f.outputPath()), lines);
}

void ExportWriterTest::girHeaderForms_data() {
    QTest::addColumn<int>("gir");
    QTest::addColumn<QString>("line3");
    QTest::newRow("5") << 5 << "MUK=12345678&GIR=05\t";
    QTest::newRow("1205") << 1205 << "MUK=12345678&GIR=005\t";
    QTest::newRow("34567805") << 34567805 << "MUK=12345678&GIR=005\t";
}

void ExportWriterTest::girHeaderForms() {
    QFETCH(int, gir);
    QFETCH(QString, line3);
    ExportFixture f;
    f.writeDictionary({{"KOD", "K", 3}});
    f.createDatabase({{"KOD", "SMALLINT"}}, {});
    QVariantMap stand = ExportFixture::Stand(1, 1, 5);
    stand.insert("GIR", gir);
    ExportFixture::insertRows(f.mainPath(), {stand});

    FakeUi ui;
    QVERIFY(f.exportYear(ui, 5));
    const QStringList lines = ReadTextLines(f.outputPath(), TextCodec::Windows1251);
    QCOMPARE(lines.mid(0, 8), (QStringList{"\t", "\t", line3, "\t", "\t", "\t", "\t", ""}));
}

void ExportWriterTest::refusesYearWithoutStands_data() {
    QTest::addColumn<int>("year");
    QTest::newRow("a year nobody changed") << 7;
    QTest::newRow("\"Не определен\" does not select empty AKTM") << 9999;
}

void ExportWriterTest::refusesYearWithoutStands() {
    QFETCH(int, year);
    ExportFixture f;
    f.writeDictionary({{"KOD", "K", 3}});
    f.createDatabase({{"KOD", "SMALLINT"}}, {});
    ExportFixture::insertRows(f.mainPath(), {ExportFixture::Stand(1, 1, QVariant(), {{"KOD", 5}}),
                                             ExportFixture::Stand(1, 2, 5, {{"KOD", 5}})});
    FakeUi ui;
    QVERIFY(!f.exportYear(ui, year));
    QCOMPARE(ui.messageTexts(), QStringList{"Не обнаружено записей в таблице"});
    QCOMPARE(ui.lastMessage().icon, MessageIcon::Warning);
    QCOMPARE(ui.lastMessage().title, QString());
    QVERIFY(!QFile::exists(f.outputPath()));
    QCOMPARE(ui.statusVisible[StatusLabel::Export], false);
}

void ExportWriterTest::refusesMissingKeys_data() {
    QTest::addColumn<QStringList>("mainKeys");
    QTest::addColumn<QStringList>("elementKeys");
    QTest::addColumn<bool>("inMain");
    QTest::addColumn<QString>("missing");
    const QStringList all = {"GIR", "KV", "SKNR"};
    QTest::newRow("KV of the stands") << QStringList{"GIR", "SKNR"} << all << true << "KV\r";
    QTest::newRow("every missing key is named")
        << QStringList{"GIR"} << all << true << "KV\rSKNR\r";
    QTest::newRow("GIR of the elements") << all << QStringList{"KV", "SKNR"} << false << "GIR\r";
}

void ExportWriterTest::refusesMissingKeys() {
    QFETCH(QStringList, mainKeys);
    QFETCH(QStringList, elementKeys);
    QFETCH(bool, inMain);
    QFETCH(QString, missing);

    ExportFixture f;
    f.writeDictionary({{"KOD", "K", 3}});
    ExportFixture::Columns main = {{"MUK", "INTEGER"}, {"AKTM", "SMALLINT"}, {"KOD", "SMALLINT"}};
    for (const QString& key : mainKeys) {
        main.push_back({key, "SMALLINT"});
    }
    ExportFixture::Columns elements = {{"NUM", "SMALLINT"}};
    for (const QString& key : elementKeys) {
        elements.push_back({key, "SMALLINT"});
    }
    f.createTable(f.mainPath(), main, {});
    f.createTable(f.elementsPath(), elements, {});
    QVariantMap stand{{"MUK", 1}, {"AKTM", 5}, {"KOD", 1}};
    for (const QString& key : mainKeys) {
        stand.insert(key, 1);
    }
    ExportFixture::insertRows(f.mainPath(), {stand});

    FakeUi ui;
    QVERIFY(!f.exportYear(ui, 5));
    QCOMPARE(ui.messageTexts(),
             QStringList{"Отсутствуют ключевые поля: " + missing + "Путь: " +
                         QDir::toNativeSeparators(inMain ? f.mainPath() : f.elementsPath())});
    QCOMPARE(ui.lastMessage().title, QStringLiteral("Ошибка"));
    QVERIFY(!QFile::exists(f.outputPath()));
}

void ExportWriterTest::exportsWithoutElementRows() {
    ExportFixture f;
    f.writeDictionary({{"VOZ", "VOZ", 10}});
    f.createDatabase({{"VOZ", "SMALLINT"}}, {{"VOZ", "SMALLINT"}});
    ExportFixture::insertRows(f.mainPath(), {ExportFixture::Stand(1, 1, 5, {{"VOZ", 40}}),
                                             ExportFixture::Stand(1, 2, 5, {{"VOZ", 50}})});
    FakeUi ui;
    QVERIFY(f.exportYear(ui, 5));
    QCOMPARE(ExportFixture::StandLines(f.outputPath()),
             (QStringList{"M#10\tVOZ=40\t", "", "M#10\tVOZ=50\t"}));
}

// Tables without a primary index deliver rows as stored; the export still writes the stands in
// key order and finds each stand's elements.
void ExportWriterTest::ordersTablesWithoutPrimaryIndex() {
    ExportFixture f;
    f.writeDictionary({{"VOZ", "VOZ", 10}});
    ExportFixture::Columns main = ExportFixture::StandKeys();
    main.push_back({"VOZ", "SMALLINT"});
    ExportFixture::Columns elements = ExportFixture::ElementKeys();
    elements.push_back({"VOZ", "SMALLINT"});
    f.createTable(f.mainPath(), main, {});
    f.createTable(f.elementsPath(), elements, {});
    ExportFixture::insertRows(f.mainPath(), {ExportFixture::Stand(2, 1, 5, {{"VOZ", 21}}),
                                             ExportFixture::Stand(1, 10, 5, {{"VOZ", 110}}),
                                             ExportFixture::Stand(1, 2, 5, {{"VOZ", 12}})});
    ExportFixture::insertRows(f.elementsPath(),
                              {ExportFixture::Element(2, 1, 3, {{"VOZ", 213}}),
                               ExportFixture::Element(1, 2, 2, {{"VOZ", 122}}),
                               ExportFixture::Element(2, 1, 2, {{"VOZ", 212}}),
                               ExportFixture::Element(1, 10, 2, {{"VOZ", 1102}})});
    FakeUi ui;
    QVERIFY(f.exportYear(ui, 5));
    QCOMPARE(
        ExportFixture::StandLines(f.outputPath()),
        (QStringList{"M#10\tVOZ=12\t", "M#10\tVOZ=122\t", "", "M#10\tVOZ=110\t", "M#10\tVOZ=1102\t",
                     "", "M#10\tVOZ=21\t", "M#10\tVOZ=212\t", "M#10\tVOZ=213\t"}));
}

void ExportWriterTest::showsProgressAndCompletion() {
    ExportFixture f;
    f.writeDictionary({{"KOD", "K", 3}});
    f.createDatabase({{"KOD", "SMALLINT"}}, {});
    std::vector<QVariantMap> stands;
    for (int i = 1; i <= 60; ++i) {
        stands.push_back(ExportFixture::Stand(i, 1, 5));  // no values: one empty line each
    }
    ExportFixture::insertRows(f.mainPath(), stands);

    FakeUi ui;
    const QString output = f.path("Les_2005.txt");
    QVERIFY(f.exportYear(ui, 5, output));
    QCOMPARE(ui.statusHistory, (QStringList{"Обработано: 25/60", "Обработано: 50/60", QString()}));
    QVERIFY(ui.eventsProcessed >= 2);
    QCOMPARE(ui.statusVisible[StatusLabel::Export], false);
    QCOMPARE(ReadTextLines(output, TextCodec::Windows1251).size(), 7 + 60);

    const FakeUi::Message& done = ui.lastMessage();
    QCOMPARE(done.title, QStringLiteral("Экспорт выполнен"));
    QCOMPARE(done.icon, MessageIcon::Information);
    const QString folder = f.path("x").chopped(1);
    // The file's name as on disk, in its own letter case.
    const QString expectedStart =
        "Экспортировано выделов: 60\rРезультаты сохранены в: Les_2005.txt\r"
        "Путь: " +
        QDir::toNativeSeparators(folder) + "\rЗатрачено: На обработку затрачено: ";
    QVERIFY2(done.text.startsWith(expectedStart), qPrintable(done.text));
}

// A failure half-way (an element column the elements table lacks) shows the error box and leaves
// no half-written file that could pass for an export.
void ExportWriterTest::failureLeavesNoFile() {
    ExportFixture f;
    f.writeDictionary({{"KOD", "K", 3}, {"VOZ", "VOZ", 10}});
    f.createDatabase({{"KOD", "SMALLINT"}, {"VOZ", "SMALLINT"}}, {});
    ExportFixture::insertRows(f.mainPath(), {ExportFixture::Stand(1, 1, 5, {{"KOD", 1}}),
                                             ExportFixture::Stand(1, 2, 5, {{"KOD", 1}})});
    ExportFixture::insertRows(f.elementsPath(), {ExportFixture::Element(1, 2, 2)});

    FakeUi ui;
    QVERIFY(!f.exportYear(ui, 5));
    QCOMPARE(ui.messages.size(), 1);
    QCOMPARE(ui.lastMessage().title, QStringLiteral("Ошибка"));
    QVERIFY(ui.lastMessage().text.contains(QStringLiteral("VOZ")));
    QVERIFY(!QFile::exists(f.outputPath()));
    QCOMPARE(ui.statusVisible[StatusLabel::Export], false);

    // No year selected: the same error box, and still no file.
    FakeUi noYear;
    QVERIFY(!f.exportYear(noYear, std::nullopt));
    QCOMPARE(noYear.messages.size(), 1);
    QVERIFY(noYear.lastMessage().text.startsWith(QStringLiteral("Описание ошибки:")));
    QVERIFY(!QFile::exists(f.outputPath()));
}

// A decoded name the code page cannot hold is written as "?", a line break in a text as a blank,
// and the completion message counts both.
void ExportWriterTest::countsCharactersOutsideCodePage() {
    ExportFixture f;
    f.writeDictionary(
        {{"KOD", "K", 3, 1, "long", false, true}, {"NOTE", "N", 3, 2, "text", false, false}},
        {{"K", 3, "ель中"}});
    f.createDatabase({{"KOD", "SMALLINT"}, {"NOTE", "STRING"}}, {});
    ExportFixture::insertRows(f.mainPath(),
                              {ExportFixture::Stand(1, 1, 5, {{"KOD", 3}, {"NOTE", "a\r\nb"}})});
    FakeUi ui;
    QVERIFY(f.exportYear(ui, 5));
    QCOMPARE(ExportFixture::StandLines(f.outputPath()), QStringList{"K=ЕЛЬ?\tN=a  b\t"});
    QVERIFY(ui.lastMessage().text.endsWith(QStringLiteral("(записаны пробелами): 3")));
}

QTEST_GUILESS_MAIN(ExportWriterTest)
#include "tst_export_writer.moc"
