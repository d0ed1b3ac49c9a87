#include "export/export_commands.h"

#include "common/program_folder.h"
#include "export_fixture.h"
#include "support/fake_ui.h"

#include <QTest>

using namespace converter;
using namespace converter::testing;

class ExportCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void yearEntries_data();
    void yearEntries();
    void listsDistinctYears();
    void emptyDatabaseGivesEmptyList();
    void choosingDatabase();
    void overwriteQuestion();
    void saveAnsweredWithAnInput_data();
    void saveAnsweredWithAnInput();
    void refusesWithoutDatabaseOrElements();
};

namespace {

// A database with one stand per AKTM value and an exported column.
void MakeDatabase(ExportFixture& f, const std::vector<QVariant>& years) {
    f.writeDictionary({{"KOD", "K", 3}});
    f.createDatabase({{"KOD", "SMALLINT"}}, {});
    std::vector<QVariantMap> stands;
    int kv = 0;
    for (const QVariant& year : years) {
        ++kv;
        stands.push_back(ExportFixture::Stand(kv, 1, year, {{"KOD", kv}}));
    }
    ExportFixture::insertRows(f.mainPath(), stands);
}

}  // namespace

void ExportCommandsTest::yearEntries_data() {
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("currentYear");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("empty") << QVariant() << 2026 << "Не определен" << 9999;
    QTest::newRow("98") << QVariant(98) << 2026 << "1998" << 98;
    QTest::newRow("10") << QVariant(10) << 2026 << "2010" << 10;
    QTest::newRow("the current year") << QVariant(26) << 2026 << "2026" << 26;
    QTest::newRow("the year after") << QVariant(27) << 2026 << "1927" << 27;
    QTest::newRow("10 in 2009") << QVariant(10) << 2009 << "1910" << 10;
    QTest::newRow("99 in 2099") << QVariant(99) << 2099 << "2099" << 99;
    QTest::newRow("9") << QVariant(9) << 2026 << "2009" << 9;
    QTest::newRow("0") << QVariant(0) << 2026 << "2000" << 0;
    QTest::newRow("100 as it is") << QVariant(100) << 2026 << "100" << 100;
    QTest::newRow("four digits") << QVariant(2021) << 2026 << "2021" << 2021;
    QTest::newRow("negative") << QVariant(-3) << 2026 << "200-3" << -3;
    QTest::newRow("a whole double") << QVariant(21.0) << 2026 << "2021" << 21;
}

void ExportCommandsTest::yearEntries() {
    QFETCH(QVariant, stored);
    QFETCH(int, currentYear);
    QFETCH(QString, text);
    QFETCH(int, value);
    const YearEntry entry = YearEntryFor(stored, currentYear);
    QCOMPARE(entry.text, text);
    QCOMPARE(entry.value, value);
}

void ExportCommandsTest::listsDistinctYears() {
    ExportFixture f;
    MakeDatabase(f, {98, 5, QVariant(), 98, 5});
    FakeUi ui;
    std::optional<YearList> list = GetYearsList(ui, f.mainPath());
    QVERIFY(list);
    QStringList texts;
    QList<int> values;
    for (const YearEntry& entry : list->entries) {
        texts.append(entry.text);
        values.append(entry.value);
    }
    // The distinct query returns its values in ascending order, the empty one first.
    QCOMPARE(texts, (QStringList{"Не определен", "2005", "1998"}));
    QCOMPARE(values, (QList<int>{9999, 5, 98}));
    QCOMPARE(list->selected, 0);

    // A database that cannot be read keeps the list as it was, after a message.
    FakeUi broken;
    QVERIFY(!GetYearsList(broken, f.path("missing.db")));
    QCOMPARE(broken.messageTexts(),
             QStringList{"Ошибка подключения к базе.\rВозможной причиной может быть слишком "
                         "длинный путь к файлу."});
}

void ExportCommandsTest::emptyDatabaseGivesEmptyList() {
    ExportFixture f;
    MakeDatabase(f, {});
    FakeUi ui;
    std::optional<YearList> list = GetYearsList(ui, f.mainPath());
    QVERIFY(list);
    QVERIFY(list->entries.empty());
    QCOMPARE(list->selected, -1);
    QCOMPARE(ProposedExportFile(f.mainPath(), QString()), ProgramFolder() + "/les_.txt");
    QCOMPARE(ProposedExportFile(f.mainPath(), "2005"), ProgramFolder() + "/les_2005.txt");
}

void ExportCommandsTest::choosingDatabase() {
    ExportFixture f;
    MakeDatabase(f, {5});

    FakeUi ui;
    ui.openFileAnswers = {f.mainPath()};
    OpenExportOutcome outcome = ChooseExportDatabase(ui);
    QCOMPARE(ui.openFilters, QStringList{"Базы данных ГИС Вельтара (*.db)|*.db"});
    QCOMPARE(outcome.databasePath, std::optional<QString>(f.mainPath()));
    QVERIFY(outcome.years && outcome.years->entries.size() == 1);
    QCOMPARE(outcome.years->entries[0].text, QStringLiteral("2005"));
    QVERIFY(ui.messages.isEmpty());
    QCOMPARE(ui.busyHistory, (QList<bool>{true, false}));
    QVERIFY(ui.statusHistory.contains("Построение списка лет..."));
    QCOMPARE(ui.statusVisible[StatusLabel::Export], false);

    // Cancelled: nothing changes.
    FakeUi cancelled;
    outcome = ChooseExportDatabase(cancelled);
    QVERIFY(!outcome.databasePath && !outcome.years);
    QVERIFY(cancelled.messages.isEmpty());

    // A database without its elements file leaves the box and the list as they were.
    const QString lonely = f.path("lonely.db");
    QFile::copy(f.mainPath(), lonely);
    FakeUi noElements;
    noElements.openFileAnswers = {lonely};
    outcome = ChooseExportDatabase(noElements);
    QVERIFY(!outcome.databasePath && !outcome.years);
    QCOMPARE(noElements.messageTexts(),
             QStringList{"Не найден файл по элементам леса:\r" + f.path("lonelyСост.db")});
    QCOMPARE(noElements.lastMessage().title, QStringLiteral("Ошибка"));
    QVERIFY(noElements.busyHistory.isEmpty());

    // An elements file whose name differs in letter case is found.
    QFile::rename(f.elementsPath(), f.path("LESСОСТ.DB"));
    FakeUi upperCase;
    upperCase.openFileAnswers = {f.mainPath()};
    QVERIFY(ChooseExportDatabase(upperCase).databasePath);
    QVERIFY(upperCase.messages.isEmpty());
    upperCase.saveFileAnswers = {f.outputPath()};
    QVERIFY(RunExport(upperCase, f.mainPath(), 5, "2005"));
    QCOMPARE(ExportFixture::StandLines(f.outputPath()), QStringList{"K=1\t"});
}

void ExportCommandsTest::overwriteQuestion() {
    ExportFixture f;
    MakeDatabase(f, {5});
    QFile existing(f.outputPath());
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("keep me");
    existing.close();

    FakeUi no;
    no.saveFileAnswers = {f.outputPath()};
    no.yesNoAnswers = {false};
    QVERIFY(!RunExport(no, f.mainPath(), 5, "2005"));
    QCOMPARE(no.saveInitialNames, QStringList{ProgramFolder() + "/les_2005.txt"});
    QCOMPARE(no.saveFilters, QStringList{"Текстовые файлы (*.txt)|*.txt"});
    QCOMPARE(no.messages.size(), 1);
    QCOMPARE(no.lastMessage().title, QStringLiteral("Перезаписать файл?"));
    QCOMPARE(no.lastMessage().text,
             QStringLiteral("Файл с выбранным именем существует.\rПерезаписать?"));
    QCOMPARE(ExportFixture::Bytes(f.outputPath()), QByteArray("keep me"));
    QVERIFY(no.busyHistory.isEmpty());

    FakeUi yes;
    yes.saveFileAnswers = {f.outputPath()};
    yes.yesNoAnswers = {true};
    QVERIFY(RunExport(yes, f.mainPath(), 5, "2005"));
    QCOMPARE(ExportFixture::StandLines(f.outputPath()), QStringList{"K=1\t"});
    QCOMPARE(yes.lastMessage().title, QStringLiteral("Экспорт выполнен"));
    QCOMPARE(yes.busyHistory, (QList<bool>{true, false}));
}

// A file the export reads, chosen in the save dialog, is refused before the overwrite question
// (a Yes there would announce a deletion the export then refuses) and stays as it was.
void ExportCommandsTest::saveAnsweredWithAnInput_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("the database's own file") << "les.db";
    QTest::newRow("its index") << "les.px";
    QTest::newRow("the elements table") << "lesСост.db";
    QTest::newRow("the database in another case") << "LES.DB";
}

void ExportCommandsTest::saveAnsweredWithAnInput() {
    QFETCH(QString, name);
    ExportFixture f;
    MakeDatabase(f, {5});
    const QString answered = f.path(name);
    const QString stored = QFileInfo::exists(answered) ? answered : f.mainPath();
    QFile file(stored);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    FakeUi ui;
    ui.saveFileAnswers = {answered};
    ui.defaultYesNo = true;
    QVERIFY(!RunExport(ui, f.mainPath(), 5, "2005"));
    QCOMPARE(ui.messages.size(), 1);
    QVERIFY(!ui.lastMessage().question);
    QCOMPARE(ui.lastMessage().text,
             QStringLiteral("Файл результата совпадает с исходным файлом:\r") +
                 QDir::toNativeSeparators(answered));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

void ExportCommandsTest::refusesWithoutDatabaseOrElements() {
    FakeUi empty;
    QVERIFY(!RunExport(empty, QString(), 5, "2005"));
    QCOMPARE(empty.messageTexts(), QStringList{"Выберите базу данных для экспорта"});
    QCOMPARE(empty.lastMessage().icon, MessageIcon::Information);
    QVERIFY(empty.saveInitialNames.isEmpty());

    ExportFixture f;
    MakeDatabase(f, {5});
    QFile::remove(f.elementsPath());
    FakeUi noElements;
    QVERIFY(!RunExport(noElements, f.mainPath(), 5, "2005"));
    QCOMPARE(noElements.messageTexts(),
             QStringList{"Не найден файл по элементам леса:\r" + f.elementsPath()});
    QVERIFY(noElements.saveInitialNames.isEmpty());

    // A typed path whose main table is missing is named as it is, not by its elements file.
    FakeUi noMain;
    const QString missing = f.path("nosuch.db");
    QVERIFY(!RunExport(noMain, missing, 5, "2005"));
    QCOMPARE(noMain.messageTexts(), QStringList{"Файл не существует: \r" + missing});
    QCOMPARE(noMain.lastMessage().icon, MessageIcon::Warning);
    QVERIFY(noMain.saveInitialNames.isEmpty());
}

QTEST_GUILESS_MAIN(ExportCommandsTest)
#include "tst_export_commands.moc"
