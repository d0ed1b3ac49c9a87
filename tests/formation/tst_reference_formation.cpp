#include "common/text_file.h"
#include "formation/reference_formation.h"
#include "formation_fixture.h"
#include "storage/database.h"
#include "support/fake_ui.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace converter;
using namespace converter::testing;

namespace {

// The outcome's line that names the formation's report beside the tables.
QString ReportLine(const FormationFixture& fixture) {
    return QStringLiteral("\rОтчет сохранен в файле: ") +
           QDir::toNativeSeparators(fixture.targetFolder() + QStringLiteral("sptab_rep.txt"));
}

constexpr int kFixedRows = 29;

QString Blanks(int n) {
    return QString(n, QLatin1Char(' '));
}

// A standart line: four unread characters, the code in 13, the name after it.
QString Line(const QString& code, const QString& name) {
    return Blanks(4) + code.leftJustified(13, QLatin1Char(' ')) + name;
}

QStringList ReportLines(const QString& targetFolder) {
    return ReadTextLines(targetFolder + QStringLiteral("sptab_rep.txt"), TextCodec::Windows1251);
}

// The detail lines of one report section, by caption; empty when the section is absent.
QStringList Section(const QStringList& report, const QString& caption) {
    QStringList details;
    for (qsizetype i = 0; i < report.size(); ++i) {
        if (report[i].startsWith(caption + QStringLiteral(": "))) {
            for (qsizetype j = i + 2; j < report.size() && !report[j].isEmpty(); ++j) {
                details.append(report[j]);
            }
        }
    }
    return details;
}

struct Outcome {
    bool ok = false;
    QString report;
    bool hadErrors = false;
};

Outcome Form(FakeUi& ui, const FormationFixture& fixture) {
    Outcome outcome;
    outcome.ok = FormReferenceTables(ui, fixture.targetFolder(), fixture.nsiFolder(),
                                     outcome.report, outcome.hadErrors);
    return outcome;
}

int RowsOfBook(const SptabRows& rows, int book) {
    int count = 0;
    for (const auto& [key, row] : rows) {
        count += key.first == book ? 1 : 0;
    }
    return count;
}

}  // namespace

class TestReferenceFormation : public QObject {
    Q_OBJECT

private slots:
    void emptyReferenceFolder() {
        FormationFixture fixture;
        fixture.addStandartBook(12);
        fixture.addStandartBook(13);
        fixture.writeDictionary();
        FakeUi ui;
        const Outcome outcome = Form(ui, fixture);
        QVERIFY2(outcome.ok, qPrintable(ui.messageTexts().join(QLatin1Char('|'))));
        QVERIFY(outcome.hadErrors);
        QVERIFY(outcome.report.endsWith(QStringLiteral("Загружено справочников значений: 2") +
                                        ReportLine(fixture)));

        const SptabRows rows = ReadSptab(fixture.targetFolder());
        QCOMPARE(int(rows.size()), kFixedRows);
        QCOMPARE(rows.at({10000001, 1}).name, QStringLiteral("РУП Марвента"));
        QCOMPARE(rows.at({10000000, 2}), (SptabRow{QStringLiteral("1А"), QStringLiteral("1А")}));
        QCOMPARE(rows.at({10300007, 8}), (SptabRow{QStringLiteral("СЗ"), QStringLiteral("СЗ")}));
        QCOMPARE(rows.at({10000002, 4}),
                 (SptabRow{QStringLiteral("среднев., вкл. в расчет"), QString()}));
        QCOMPARE(RowsOfBook(rows, 10000000), 10);
        QCOMPARE(RowsOfBook(rows, 10300007), 9);
        QCOMPARE(RowsOfBook(rows, 10000002), 8);

        // The report, byte for byte, and its copy beside the program.
        const QString book12 = QDir::toNativeSeparators(fixture.nsiFolder() + "/12.000");
        const QString book13 = QDir::toNativeSeparators(fixture.nsiFolder() + "/13.000");
        const QByteArray expected =
            EncodeText(QStringLiteral("Файл: ") +
                           QDir::toNativeSeparators(fixture.targetFolder() + "sptab.db") +
                           QStringLiteral("\r\n\r\n\r\nНе найдены файлы: 2\r\n\r\n") + book12 +
                           QStringLiteral("\r\n") + book13 + QStringLiteral("\r\n"),
                       TextCodec::Windows1251);
        QFile report(fixture.targetFolder() + QStringLiteral("sptab_rep.txt"));
        QVERIFY(report.open(QIODevice::ReadOnly));
        QCOMPARE(report.readAll(), expected);
        QFile copy(fixture.programFolder() +
                   QStringLiteral("/reports/формирование справочника.txt"));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), expected);
        QCOMPARE(ui.reportShown, 1);
    }

    void standartBookFaults() {
        FormationFixture fixture;
        fixture.addStandartBook(12);
        fixture.writeBook(QStringLiteral("12.000"),
                          {QStringLiteral("1234567890"), Line(QStringLiteral("101"), "Сосна"),
                           Line(QStringLiteral("102"), "Ель европейская  "),
                           Line(QStringLiteral("101"), "Сосна повтор"),
                           Line(QStringLiteral("1А"), "Кедр"), Line(QStringLiteral("Б"), "Пихта"),
                           QStringLiteral("    15"), Line(QStringLiteral("2,5"), "Берёза"),
                           QStringLiteral("    104    "), Line(QString(), "Без кода")});
        fixture.writeDictionary();
        FakeUi ui;
        const Outcome outcome = Form(ui, fixture);
        QVERIFY(outcome.ok);
        QVERIFY(outcome.hadErrors);
        QVERIFY(outcome.report.endsWith(QStringLiteral("Загружено справочников значений: 3") +
                                        ReportLine(fixture)));

        const SptabRows rows = ReadSptab(fixture.targetFolder());
        QCOMPARE(RowsOfBook(rows, 12), 5);
        // The first non-numeric code is stored as 0 and keeps it from the book's "нет" row.
        QCOMPARE(rows.at({12, 0}).name, QStringLiteral("Кедр"));
        QCOMPARE(rows.at({12, 2}).name, QStringLiteral("Берёза"));
        QCOMPARE(rows.at({12, 101}).name, QStringLiteral("Сосна"));
        QCOMPARE(rows.at({12, 102}).name, QStringLiteral("Ель европейская"));
        QCOMPARE(rows.at({12, 104}).name, QString());

        const QStringList report = ReportLines(fixture.targetFolder());
        // Line numbers count the skipped short lines.
        QCOMPARE(
            Section(report, QStringLiteral("Код значения не является числом")),
            QStringList({QStringLiteral("12 - строка 5 - 1А"), QStringLiteral("12 - строка 6 - Б"),
                         QStringLiteral("12 - строка 10 - ")}));
        QCOMPARE(
            Section(report, QStringLiteral("Повторяющиеся значения ключевого поля")),
            QStringList({QStringLiteral("12 - 101 - Сосна повтор"),
                         QStringLiteral("12 - 0 - Пихта"), QStringLiteral("12 - 0 - Без кода")}));
        QVERIFY(Section(report, QStringLiteral("Не удалось записать значения")).isEmpty());
    }

    void repeatedCodeAloneIsNoError() {
        FormationFixture fixture;
        fixture.addStandartBook(12);
        fixture.writeBook(QStringLiteral("12.000"), {Line(QStringLiteral("1"), "Первый"),
                                                     Line(QStringLiteral("1"), "Второй")});
        fixture.writeDictionary();
        FakeUi ui;
        const Outcome outcome = Form(ui, fixture);
        QVERIFY(outcome.ok);
        QVERIFY(!outcome.hadErrors);
        QCOMPARE(ReadSptab(fixture.targetFolder()).at({12, 1}).name, QStringLiteral("Первый"));
        QCOMPARE(Section(ReportLines(fixture.targetFolder()),
                         QStringLiteral("Повторяющиеся значения ключевого поля")),
                 QStringList{QStringLiteral("12 - 1 - Второй")});
    }

    // A report of older tables would describe faults the new ones do not have: it goes.
    void noFaultsWritesNoReport() {
        FormationFixture fixture;
        fixture.addStandartBook(12);
        // Only short lines: still a book read, with just its "нет" row.
        fixture.writeBook(QStringLiteral("12.000"),
                          {QStringLiteral("short"), QString(), QStringLiteral("0123456789")});
        fixture.writeDictionary();
        QFile old(fixture.targetFolder() + QStringLiteral("sptab_rep.txt"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("older report");
        old.close();

        FakeUi ui;
        const Outcome outcome = Form(ui, fixture);
        QVERIFY(outcome.ok);
        QVERIFY(!outcome.hadErrors);
        QVERIFY(outcome.report.endsWith(QStringLiteral("Загружено справочников значений: 3")));
        const SptabRows rows = ReadSptab(fixture.targetFolder());
        QCOMPARE(RowsOfBook(rows, 12), 1);
        QCOMPARE(rows.at({12, 0}).name, QStringLiteral("нет"));
        QVERIFY(!old.exists());
        QCOMPARE(ui.reportShown, 0);
    }

    void bookTypesAndMissingFiles() {
        FormationFixture fixture;
        fixture.addStandartBook(11, QStringLiteral("std"));  // no file either
        fixture.addStandartBook(12, QStringLiteral("std"));
        fixture.addStandartBook(13, QStringLiteral("Standart"));
        fixture.addCustomBook(14, 1, 4, 12, QVariant(), 6, 5);
        fixture.dictionary.tableNamed(QStringLiteral("Nsi")).rows.back()[2] =
            QStringLiteral("CUSTOM");
        fixture.writeBook(QStringLiteral("12.000"), {Line(QStringLiteral("5"), "Пихта")});
        fixture.writeBook(QStringLiteral("13.000"), {Line(QStringLiteral("5"), "Пихта")});
        fixture.writeBook(QStringLiteral("14.000"), {QStringLiteral("   5 ПИХ   Пихта сибирская")});
        fixture.writeDictionary();
        FakeUi ui;
        const Outcome outcome = Form(ui, fixture);
        QVERIFY(outcome.ok);
        QVERIFY(outcome.report.endsWith(QStringLiteral("Загружено справочников значений: 4") +
                                        ReportLine(fixture)));
        const QStringList report = ReportLines(fixture.targetFolder());
        QCOMPARE(Section(report, QStringLiteral("Не найдены файлы")),
                 QStringList{QDir::toNativeSeparators(fixture.nsiFolder() + "/11.000")});
        QCOMPARE(Section(report, QStringLiteral("Не определен тип файлов")),
                 QStringList{QDir::toNativeSeparators(fixture.nsiFolder() + "/12.000")});
        const SptabRows rows = ReadSptab(fixture.targetFolder());
        QCOMPARE(RowsOfBook(rows, 12), 0);
        QCOMPARE(rows.at({13, 5}).name, QStringLiteral("Пихта"));
        QCOMPARE(rows.at({14, 5}),
                 (SptabRow{QStringLiteral("Пихта сибирская"), QStringLiteral("ПИХ")}));
    }

    void customBookWithoutLengths() {
        FormationFixture fixture;
        // Code in 1..3, no short names, the name from 5 to the end of each line.
        fixture.addCustomBook(20, 1, 3, 5, QVariant(), QVariant(), QVariant());
        fixture.writeBook(QStringLiteral("20.000"), {QStringLiteral(" 31 Ёлка ёжистая южная"),
                                                     QStringLiteral(" 32 Щавель и ЯЧМЕНЬ  ")});
        fixture.writeDictionary();
        FakeUi ui;
        QVERIFY(Form(ui, fixture).ok);
        const SptabRows rows = ReadSptab(fixture.targetFolder());
        QCOMPARE(rows.at({20, 31}), (SptabRow{QStringLiteral("Ёлка ёжистая южная"), QString()}));
        QCOMPARE(rows.at({20, 32}), (SptabRow{QStringLiteral("Щавель и ЯЧМЕНЬ"), QString()}));
    }

    void bookWithAFixedNumber() {
        FormationFixture fixture;
        fixture.addStandartBook(10000000);
        fixture.writeBook(QStringLiteral("10000000.000"), {Line(QStringLiteral("1"), "Ia по файлу"),
                                                           Line(QStringLiteral("2"), "Ia")});
        fixture.writeDictionary();
        FakeUi ui;
        const Outcome outcome = Form(ui, fixture);
        QVERIFY(outcome.ok);
        QVERIFY(!outcome.hadErrors);
        QVERIFY(!QFile::exists(fixture.targetFolder() + QStringLiteral("sptab_rep.txt")));
        const SptabRows rows = ReadSptab(fixture.targetFolder());
        QCOMPARE(RowsOfBook(rows, 10000000), 10);
        QCOMPARE(rows.at({10000000, 1}), (SptabRow{QStringLiteral("Ia по файлу"), QString()}));
        QCOMPARE(rows.at({10000000, 0}).name, QStringLiteral("нет"));
        QCOMPARE(rows.at({10000000, 3}).name, QStringLiteral("1"));
    }

    void keysOfDifferentBooksNeverCollide() {
        FormationFixture fixture;
        fixture.addStandartBook(1);
        fixture.addStandartBook(12);
        fixture.writeBook(QStringLiteral("1.000"), {Line(QStringLiteral("23"), "Первая книга")});
        fixture.writeBook(QStringLiteral("12.000"), {Line(QStringLiteral("3"), "Вторая книга")});
        fixture.writeDictionary();
        FakeUi ui;
        const Outcome outcome = Form(ui, fixture);
        QVERIFY(outcome.ok);
        QVERIFY(!QFile::exists(fixture.targetFolder() + QStringLiteral("sptab_rep.txt")));
        const SptabRows rows = ReadSptab(fixture.targetFolder());
        QCOMPARE(rows.at({1, 23}).name, QStringLiteral("Первая книга"));
        QCOMPARE(rows.at({12, 3}).name, QStringLiteral("Вторая книга"));
    }

    void refusedRowsAreReported() {
        FormationFixture fixture;
        // Code in 1..3, short name in 5..16, name from 18.
        fixture.addCustomBook(30, 1, 3, 18, QVariant(), 5, 12);
        const QString longName = QString(56, QChar(0x0416));  // Ж
        const QString longest = QString(55, QChar(0x0416));
        fixture.writeBook(QStringLiteral("30.000"),
                          {QStringLiteral("  1 ДУБ          ") + longName,
                           QStringLiteral("  2 ДУБЧЕРЕШЧАТ  Дуб черешчатый"),
                           QStringLiteral("  3 ВЯЗ          ") + longest,
                           QStringLiteral("  4 ╬            Знак рамки"),
                           QStringLiteral("  5 ЛП           Липа")});
        fixture.writeDictionary();
        FakeUi ui;
        const Outcome outcome = Form(ui, fixture);
        QVERIFY(outcome.ok);
        QVERIFY(outcome.hadErrors);
        const SptabRows rows = ReadSptab(fixture.targetFolder());
        QCOMPARE(RowsOfBook(rows, 30), 3);
        QCOMPARE(rows.at({30, 3}).name, longest);
        QCOMPARE(rows.at({30, 5}), (SptabRow{QStringLiteral("Липа"), QStringLiteral("ЛП")}));
        QCOMPARE(rows.at({30, 0}).name, QStringLiteral("нет"));
        QCOMPARE(Section(ReportLines(fixture.targetFolder()),
                         QStringLiteral("Не удалось записать значения")),
                 QStringList({QStringLiteral("30 - 1 - ") + longName,
                              QStringLiteral("30 - 2 - Дуб черешчатый"),
                              QStringLiteral("30 - 4 - Знак рамки")}));
    }

    void dictionaryFaultStopsTheRun_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QVariant>("posCode");
        QTest::newRow("code out of range") << "99999999999 Много" << QVariant(1);
        QTest::newRow("no code position") << "12          Мало" << QVariant();
    }

    void dictionaryFaultStopsTheRun() {
        QFETCH(QString, line);
        QFETCH(QVariant, posCode);
        FormationFixture fixture;
        fixture.addStandartBook(12);
        fixture.addCustomBook(13, posCode, 11, 13, QVariant(), QVariant(), QVariant());
        fixture.addStandartBook(14);
        fixture.writeBook(QStringLiteral("12.000"), {Line(QStringLiteral("7"), "Сохранится")});
        fixture.writeBook(QStringLiteral("13.000"), {line});
        fixture.writeBook(QStringLiteral("14.000"), {Line(QStringLiteral("8"), "Не дойдёт")});
        fixture.writeDictionary();
        FakeUi ui;
        QVERIFY(!Form(ui, fixture).ok);
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY(ui.lastMessage().text.startsWith(
            QStringLiteral("Ошибка при заполнении справочника SpTAB.Db\r")));
        // No half-filled table is left.
        QCOMPARE(QDir(fixture.targetFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());
    }

    // The command has asked: existing tables are replaced whole, once the new ones are done.
    void existingTablesAreReplacedWhole() {
        FormationFixture fixture;
        fixture.writeDictionary();
        FakeUi ui;
        QVERIFY(Form(ui, fixture).ok);
        const SptabRows first = ReadSptab(fixture.targetFolder());
        QVERIFY(Form(ui, fixture).ok);
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(ReadSptab(fixture.targetFolder()).size(), first.size());
    }

    void indicatorTable() {
        FormationFixture fixture;
        auto& fields = fixture.dictionary.tableNamed(QStringLiteral("Fields"));
        fields.rows = {
            {QStringLiteral("POR"), QStringLiteral("POR"), 1, 1, false, QStringLiteral("N"), 12,
             QString(), QStringLiteral("пор"), QStringLiteral("Порода"), false},
            {QStringLiteral("VOZ"), QStringLiteral("VOZ"), 1, 2, false, QStringLiteral("N"),
             QVariant(), QStringLiteral("лет"), QStringLiteral("возр"), QStringLiteral("Возраст")},
            {QStringLiteral("GIR"), QStringLiteral("GIR"), 1, 3, false, QStringLiteral("N"),
             13000002, QString(), QStringLiteral("лес-во"),
             QStringLiteral("Лесничество (словарь)")},
            {QString(), QStringLiteral("NONAME"), 1, 4, false, QStringLiteral("N"), 12, QString(),
             QString(), QStringLiteral("Без имени"), false}};
        fixture.dictionary.tableNamed(QStringLiteral("Makets")).rows = {
            {QStringLiteral("POR"), QStringLiteral("Повтор поля"), QStringLiteral("x")},
            {QStringLiteral("por"), QStringLiteral("Повтор строчными"), QStringLiteral("x")},
            {QStringLiteral(" "), QStringLiteral("Без имени"), QStringLiteral("x")},
            {QStringLiteral("MAKET2"), QStringLiteral("Макет 中"), QStringLiteral("м2")},
            {QStringLiteral("MAKET1"), QStringLiteral("Макет 1"), QStringLiteral("м1")}};
        fixture.dictionary.tableNamed(QStringLiteral("Ti_Fields")).rows = {
            {QStringLiteral("AKTM"), QStringLiteral("N"), 4, QStringLiteral("Год"), QVariant(),
             QString(), QStringLiteral("год")},
            {QStringLiteral("VOZ"), QStringLiteral("N"), 4, QStringLiteral("Повтор"), 5},
            {QStringLiteral("aktm"), QStringLiteral("N"), 4, QStringLiteral("Повтор строчными")},
            {QVariant(), QStringLiteral("N"), 4, QStringLiteral("Без имени")},
            {QStringLiteral("TI3"), QStringLiteral("N"), 4, QStringLiteral("Знак 中")}};
        fixture.writeDictionary();
        FakeUi ui;
        const Outcome outcome = Form(ui, fixture);
        QVERIFY(outcome.ok);
        // 3 named Fields rows + GIR and MUK + the 3 named Ti_Fields rows the table did not refuse,
        // repeats included; Makets never.
        QCOMPARE(outcome.report, QStringLiteral("Загружено показателей: 8\r\n"
                                                "Загружено справочников значений: 2") +
                                     ReportLine(fixture));
        QVERIFY(outcome.hadErrors);
        QCOMPARE(Section(ReportLines(fixture.targetFolder()),
                         QStringLiteral("Не удалось записать значения")),
                 QStringList({QStringLiteral("SPFIELD.DB - MAKET2 - Макет ?"),
                              QStringLiteral("SPFIELD.DB - TI3 - Знак ?")}));

        const QString path = fixture.targetFolder() + QStringLiteral("spfield.db");
        RecordsetPtr table = OpenRecordset(BuildConnectionString(kParadoxFolder, path),
                                           QStringLiteral("spfield"), kSourceTable);
        std::map<QString, QVariantList> rows;
        for (table->moveFirst(); !table->eof(); table->moveNext()) {
            QVariantList values;
            for (const char* column : {"Text", "SpNum", "EdIzm", "ShortText"}) {
                values.append(table->valueByName(QLatin1String(column)));
            }
            rows[table->valueByName(QStringLiteral("FieldName")).toString()] = values;
        }
        CloseRecordset(table);
        QCOMPARE(int(rows.size()), 6);
        QCOMPARE(rows.at(QStringLiteral("POR")),
                 (QVariantList{QStringLiteral("Порода"), 12, QVariant(), QStringLiteral("пор")}));
        QCOMPARE(rows.at(QStringLiteral("VOZ"))[1], QVariant(0));
        QCOMPARE(rows.at(QStringLiteral("VOZ"))[0], QVariant(QStringLiteral("Возраст")));
        QCOMPARE(rows.at(QStringLiteral("GIR"))[0],
                 QVariant(QStringLiteral("Лесничество (словарь)")));
        QCOMPARE(
            rows.at(QStringLiteral("MUK")),
            (QVariantList{QStringLiteral("Лесхоз"), 15500009, QVariant(), QStringLiteral("лсхз")}));
        QCOMPARE(rows.at(QStringLiteral("MAKET1")),
                 (QVariantList{QStringLiteral("Макет 1"), 0, QVariant(), QStringLiteral("м1")}));
        QVERIFY(rows.at(QStringLiteral("AKTM"))[1].isNull());
    }

    void repeatedFieldStopsTheIndicatorTable() {
        // Names equal after upper-casing are a repeat too: the check would refuse the table.
        for (const QString& second : {QStringLiteral("POR"), QStringLiteral("por")}) {
            FormationFixture fixture;
            auto& fields = fixture.dictionary.tableNamed(QStringLiteral("Fields"));
            fields.rows = {{QStringLiteral("POR")}, {second}};
            fixture.writeDictionary();
            FakeUi ui;
            QVERIFY(!Form(ui, fixture).ok);
            QCOMPARE(ui.messages.size(), 1);
            QVERIFY(ui.lastMessage().text.startsWith(
                QStringLiteral("Ошибка при заполнении справочника SPFIELD.DB\r")));
        }
    }
};

QTEST_GUILESS_MAIN(TestReferenceFormation)
#include "tst_reference_formation.moc"
