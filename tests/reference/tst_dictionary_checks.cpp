#include "common/program_folder.h"
#include "reference/dictionary_checks.h"
#include "storage/database.h"
#include "support/dictionary_builder.h"
#include "support/fake_ui.h"
#include "support/test_paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace converter;
using namespace converter::testing;

namespace {

using Check = std::function<bool(Ui&)>;

struct CheckCase {
    Check check;
    QString table;
};

CheckCase CaseOf(const QString& table) {
    if (table == kNsiTable)
        return {CheckNsiTable, table};
    if (table == kFieldsTable)
        return {CheckFieldsTable, table};
    if (table == kCodeValuesTable)
        return {CheckCodeValuesTable, table};
    if (table == kMaketsTable)
        return {CheckMaketsTable, table};
    return {CheckTiFieldsTable, table};
}

const QStringList kTables = {kNsiTable, kFieldsTable, kCodeValuesTable, kMaketsTable,
                             kTiFieldsTable};

// The positions a table's part of the record holds, in declared order.
QList<int> Positions(const QString& table) {
    const DictionaryColumns& d = CurrentDictionaryColumns();
    if (table == kNsiTable) {
        const NsiColumns& c = d.nsi;
        return {c.Code,    c.Name,    c.Type,     c.PosCode, c.LenCode,
                c.PosText, c.LenText, c.PosShort, c.LenShort};
    }
    if (table == kFieldsTable) {
        const FieldsColumns& c = d.fields;
        return {c.Tarvel, c.Dovi,  c.Maket,     c.Position, c.MultTen, c.Type,
                c.SpCode, c.EdIzm, c.ShortText, c.Name,     c.Decode};
    }
    if (table == kCodeValuesTable) {
        return {d.codeValues.Field, d.codeValues.Code, d.codeValues.Name};
    }
    if (table == kMaketsTable) {
        return {d.makets.Text, d.makets.ShortText, d.makets.Name};
    }
    const TiFieldsColumns& c = d.tiFields;
    return {c.Name, c.Type, c.Length, c.Text, c.SpCode, c.EdIzm, c.ShortText};
}

// Where the record should point: the column of that name in the builder's table.
QList<int> ExpectedPositions(DictionaryBuilder& builder, const QString& table,
                             const QStringList& declared) {
    QList<int> positions;
    const Jet4Table& t = builder.tableNamed(table);
    for (const QString& name : declared) {
        int found = -1;
        for (size_t i = 0; i < t.columns.size() && found < 0; ++i) {
            if (t.columns[i].name.compare(name, Qt::CaseInsensitive) == 0) {
                found = static_cast<int>(i);
            }
        }
        positions.append(found);
    }
    return positions;
}

const QStringList kDeclared[] = {
    {"Code", "Name", "Type", "PosCode", "LenCode", "PosText", "LenText", "PosShort", "LenShort"},
    {"Tarvel", "Dovi", "Maket", "Position", "MultTen", "Type", "SpCode", "EdIzm", "ShortText",
     "Name", "Decode"},
    {"Field", "Code", "Name"},
    {"Text", "ShortText", "Name"},
    {"Name", "Type", "Length", "Text", "SpCode", "EdIzm", "ShortText"},
};

QStringList Declared(const QString& table) {
    return kDeclared[kTables.indexOf(table)];
}

}  // namespace

class TestDictionaryChecks : public QObject {
    Q_OBJECT

    QTemporaryDir* folder_ = nullptr;

    QString folder() const { return folder_->path(); }

private slots:
    void init() {
        folder_ = new QTemporaryDir;
        SetProgramFolder(folder());
        ResetDictionaryColumns();
    }

    void cleanup() {
        SetProgramFolder(QString());
        delete folder_;
    }

    void missingFileNamesTheProgramFolderAndKeepsPositions_data() {
        QTest::addColumn<QString>("table");
        for (const QString& t : kTables) {
            QTest::newRow(qPrintable(t)) << t;
        }
    }

    void missingFileNamesTheProgramFolderAndKeepsPositions() {
        QFETCH(QString, table);
        FakeUi ui;
        CurrentDictionaryColumns().fields.Tarvel = 7;
        CurrentDictionaryColumns().nsi.LenShort = 7;
        CurrentDictionaryColumns().codeValues.Name = 7;
        CurrentDictionaryColumns().makets.Text = 7;
        CurrentDictionaryColumns().tiFields.Length = 7;
        QVERIFY(!CaseOf(table).check(ui));
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.lastMessage().text,
                 QStringLiteral("Не найден файл справочника: SPRAV.MDB\rПуть: ") +
                     QDir::toNativeSeparators(folder()));
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Ошибка"));
        QCOMPARE(ui.lastMessage().icon, MessageIcon::Warning);
        QVERIFY(Positions(table).contains(7));
    }

    void shippedDictionaryPassesEveryCheck_data() {
        QTest::addColumn<QString>("table");
        for (const QString& t : kTables) {
            QTest::newRow(qPrintable(t)) << t;
        }
    }

    void shippedDictionaryPassesEveryCheck() {
        QFETCH(QString, table);
        DictionaryBuilder builder = DictionaryBuilder::Standard();
        builder.writeInto(folder());
        FakeUi ui;
        QVERIFY(CaseOf(table).check(ui));
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(Positions(table), ExpectedPositions(builder, table, Declared(table)));
    }

    // What the build put beside the program, when it has been built.
    void builtDictionaryPassesEveryCheck() {
        const QString built = QStringLiteral(PROGRAM_DIR "/sprav.mdb");
        if (!QFile::exists(built)) {
            QSKIP("bin/sprav.mdb not built yet (target sprav_mdb)");
        }
        SetProgramFolder(QStringLiteral(PROGRAM_DIR));
        FakeUi ui;
        for (const QString& t : kTables) {
            QVERIFY2(CaseOf(t).check(ui), qPrintable(t));
        }
        QVERIFY(ui.messages.isEmpty());
    }

    void columnNamesMatchInAnyCaseAndFileNameInAnyCase() {
        DictionaryBuilder builder = DictionaryBuilder::Standard();
        for (Jet4Column& c : builder.tableNamed(kFieldsTable).columns) {
            c.name = c.name.toUpper();
        }
        builder.renameColumn(kMaketsTable, "ShortText", "shortTEXT");
        builder.write(folder() + QStringLiteral("/SPRAV.MDB"));
        QCOMPARE(AsFileSystemSees({QFileInfo(DictionaryPath()).fileName()}),
                 AsFileSystemSees({"SPRAV.MDB"}));
        FakeUi ui;
        QVERIFY(CheckFieldsTable(ui));
        QVERIFY(CheckMaketsTable(ui));
        QVERIFY(ui.messages.isEmpty());
    }

    // The office's dictionary before the sample, the machine's before the user's, in any case.
    void dictionaryInUse_data() {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("used");
        QTest::newRow("machine") << QStringList{"m/sprav.mdb", "u/sprav.mdb", "p/sprav.mdb"} << "m";
        QTest::newRow("user") << QStringList{"m/sprav", "u/sprav.mdb", "p/sprav.mdb"} << "u";
        QTest::newRow("any case") << QStringList{"u/SPRAV.Mdb", "p/sprav.mdb"} << "u/SPRAV.Mdb";
    }
    void dictionaryInUse() {
        QFETCH(QStringList, present);
        QFETCH(QString, used);
        const QDir root(folder());
        for (const QString& name : present) {
            QVERIFY(root.mkpath(name.left(1)) && QFile(root.filePath(name)).open(QFile::WriteOnly));
        }
        SetProgramFolder(root.filePath("p"));
        SetOfficeFolders(QStringList{root.filePath("m"), root.filePath("u")});
        const QString path = DictionaryPath();
        SetOfficeFolders(std::nullopt);
        used += used.size() == 1 ? "/sprav.mdb" : "";
        QCOMPARE(AsFileSystemSees({path}), AsFileSystemSees({root.filePath(used)}));
    }

    // The system's folders, and only the program folder once one is set: an office's
    // dictionary on this machine never stands in for a test's own.
    void officeFoldersOfTheSystem() {
        QCOMPARE(DictionaryFolders(), QStringList{folder()});
        qputenv("XDG_DATA_HOME", QFile::encodeName(folder()));
        SetProgramFolder(QString());
#ifdef Q_OS_WIN
        QStringList office{qEnvironmentVariable("PROGRAMDATA"),
                           qEnvironmentVariable("LOCALAPPDATA")};
#else
        QStringList office{"/etc", folder()};
#endif
        for (QString& path : office) {
            path = QDir::fromNativeSeparators(path) + "/dovi2tarvel";
        }
        QCOMPARE(DictionaryFolders(), office << ProgramFolder());
    }

    void missingColumnIsNamedAsTheMessageWritesIt_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("named");
        QTest::newRow("Nsi LenShort") << kNsiTable << "LenShort"
                                      << "Отсутствуют поля справочника NSI: "
                                      << "LENSHORT";
        QTest::newRow("Fields Decode") << kFieldsTable << "Decode"
                                       << "Отсутствуют поля справочника FIELDS: "
                                       << "Decode";
        QTest::newRow("Fields EdIzm") << kFieldsTable << "EdIzm"
                                      << "Отсутствуют поля справочника FIELDS: "
                                      << "EdIzm";
        QTest::newRow("CodeValues Field") << kCodeValuesTable << "Field"
                                          << "Отсутствуют поля справочника VALUES: "
                                          << "Field";
        QTest::newRow("CodeValues Code") << kCodeValuesTable << "Code"
                                         << "Отсутствуют поля справочника VALUES: "
                                         << "CODE";
        QTest::newRow("Makets Text") << kMaketsTable << "Text"
                                     << "Отсутствуют поля справочника MAKETS: "
                                     << "Text";
        QTest::newRow("Ti_Fields Length") << kTiFieldsTable << "Length"
                                          << "Отсутствуют поля справочника TI_FIELDS: "
                                          << "Length";
    }

    void missingColumnIsNamedAsTheMessageWritesIt() {
        QFETCH(QString, table);
        QFETCH(QString, column);
        QFETCH(QString, prefix);
        QFETCH(QString, named);
        DictionaryBuilder builder = DictionaryBuilder::Standard();
        builder.removeColumn(table, column);
        const QString path = builder.writeInto(folder());
        FakeUi ui;
        QVERIFY(!CaseOf(table).check(ui));
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.lastMessage().text,
                 prefix + named + QStringLiteral("\rПуть: ") + QDir::toNativeSeparators(path));
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Ошибка"));
        QCOMPARE(ui.lastMessage().icon, MessageIcon::Warning);
        // The others are still recorded; the missing one holds -1.
        QCOMPARE(Positions(table), ExpectedPositions(builder, table, Declared(table)));
        QVERIFY(Positions(table).contains(-1));
    }

    void everyMissingColumnIsListedInMessageOrder() {
        DictionaryBuilder builder = DictionaryBuilder::Standard();
        builder.removeColumn(kNsiTable, "LenShort")
            .removeColumn(kNsiTable, "Name")
            .removeColumn(kNsiTable, "PosCode");
        const QString path = builder.writeInto(folder());
        FakeUi ui;
        QVERIFY(!CheckNsiTable(ui));
        QCOMPARE(
            ui.lastMessage().text,
            QStringLiteral("Отсутствуют поля справочника NSI: NAME\rPOSCODE\rLENSHORT\rПуть: ") +
                QDir::toNativeSeparators(path));
        QCOMPARE(CurrentDictionaryColumns().nsi.Name, -1);
        QCOMPARE(CurrentDictionaryColumns().nsi.PosCode, -1);
        QCOMPARE(CurrentDictionaryColumns().nsi.Code, 0);
    }

    void emptyTablePasses() {
        DictionaryBuilder::Standard()
            .clearRows(kFieldsTable)
            .clearRows(kNsiTable)
            .writeInto(folder());
        FakeUi ui;
        QVERIFY(CheckFieldsTable(ui));
        QVERIFY(CheckNsiTable(ui));
        QVERIFY(ui.messages.isEmpty());
    }

    void missingTableShowsTheFailureTextAndKeepsPositions() {
        DictionaryBuilder::Standard().removeTable(kMaketsTable).writeInto(folder());
        CurrentDictionaryColumns().makets.Text = 5;
        FakeUi ui;
        QVERIFY(!CheckMaketsTable(ui));
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY(ui.lastMessage().text.startsWith(
            QStringLiteral("Ошибка при проверке справочника MAKETS\r")));
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Ошибка"));
        QCOMPARE(CurrentDictionaryColumns().makets.Text, 5);
    }

    void damagedFileShowsTheFailureText() {
        QFile file(folder() + QStringLiteral("/sprav.mdb"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(16384, '\x5A'));
        file.close();
        FakeUi ui;
        QVERIFY(!CheckTiFieldsTable(ui));
        QVERIFY(ui.lastMessage().text.startsWith(
            QStringLiteral("Ошибка при проверке справочника TI_FIELDS\r")));
    }

    void positionsFollowTheColumnOrderOfEachCheck() {
        DictionaryBuilder builder = DictionaryBuilder::Standard();
        builder.writeInto(folder());
        FakeUi ui;
        QVERIFY(CheckFieldsTable(ui));
        QCOMPARE(CurrentDictionaryColumns().fields.Tarvel, 0);
        const QList<int> before = Positions(kFieldsTable);

        builder.moveColumnToEnd(kFieldsTable, "Tarvel").moveColumnToEnd(kFieldsTable, "Maket");
        builder.writeInto(folder());
        QVERIFY(CheckFieldsTable(ui));
        const QList<int> after = Positions(kFieldsTable);
        QVERIFY(after != before);
        QCOMPARE(after, ExpectedPositions(builder, kFieldsTable, Declared(kFieldsTable)));
        const int last = static_cast<int>(builder.tableNamed(kFieldsTable).columns.size()) - 1;
        QCOMPARE(CurrentDictionaryColumns().fields.Maket, last);
        QCOMPARE(CurrentDictionaryColumns().fields.Tarvel, last - 1);

        // The readers take values through these positions: they land on the right column.
        RecordsetPtr rs = OpenRecordset(BuildConnectionString(kAccessFile, DictionaryPath()),
                                        kFieldsTable, kSourceTable);
        QCOMPARE(rs->value(CurrentDictionaryColumns().fields.Tarvel).toString(),
                 QStringLiteral("KV"));
        QCOMPARE(rs->value(CurrentDictionaryColumns().fields.Dovi).toString(),
                 QStringLiteral("KV"));
        QCOMPARE(rs->value(CurrentDictionaryColumns().fields.Maket).toInt(), 1);
    }
};

QTEST_GUILESS_MAIN(TestDictionaryChecks)
#include "tst_dictionary_checks.moc"
