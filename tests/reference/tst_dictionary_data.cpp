#include "common/program_folder.h"
#include "reference/dictionary_checks.h"
#include "storage/database.h"
#include "support/dictionary_builder.h"
#include "support/fake_ui.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

using namespace converter;
using namespace converter::testing;

// The shipped dictionary, read back through the program's own reader, must hold together: the
// import, the formation and the export rely on these rules and would fail on the user otherwise.
class TestDictionaryData : public QObject {
    Q_OBJECT

    QTemporaryDir folder_;
    QString connection_;

    RecordsetPtr open(const QString& table) {
        return OpenRecordset(connection_, table, kSourceTable);
    }

    static QString Text(const Recordset& rs, const QString& column) {
        return rs.valueByName(column).toString();
    }

private slots:
    void initTestCase() {
        SetProgramFolder(folder_.path());
        WriteStandardDictionary(folder_.path());
        connection_ = BuildConnectionString(kAccessFile, DictionaryPath());
        FakeUi ui;
        QVERIFY(CheckFieldsTable(ui) && CheckNsiTable(ui) && CheckCodeValuesTable(ui) &&
                CheckMaketsTable(ui) && CheckTiFieldsTable(ui));
    }

    void cleanupTestCase() { SetProgramFolder(QString()); }

    void indicatorsFitTheReferenceTablesAndTheStandTables() {
        RecordsetPtr fields = open(kFieldsTable);
        QVERIFY(fields->recordCount() >= 60 && fields->recordCount() <= 100);
        QSet<QString> tarvel, dovi;
        QSet<int> layouts;
        const QStringList typeWords = {"integer", "long", "double", "string"};
        for (fields->moveFirst(); !fields->eof(); fields->moveNext()) {
            const QString name = Text(*fields, "Tarvel");
            QVERIFY2(!name.isEmpty() && name.size() <= 20, qPrintable(name));
            QVERIFY2(Text(*fields, "Name").size() <= 40, qPrintable(name));
            QVERIFY2(Text(*fields, "ShortText").size() <= 25, qPrintable(name));
            QVERIFY2(Text(*fields, "EdIzm").size() <= 10, qPrintable(name));
            QVERIFY2(typeWords.contains(Text(*fields, "Type")), qPrintable(name));
            QVERIFY2(!tarvel.contains(name.toUpper()), qPrintable(name));
            tarvel.insert(name.toUpper());
            const QString key = Text(*fields, "Dovi").toUpper();
            if (!key.isEmpty()) {
                QVERIFY2(!dovi.contains(key), qPrintable(key));
                dovi.insert(key);
            }
            layouts.insert(fields->valueByName("Maket").toInt());
        }
        QVERIFY(dovi.contains("KV") && dovi.contains("VYDEL") && dovi.contains("AKTM"));
        QVERIFY(tarvel.contains("SKNR"));
        for (int layout = 1; layout <= 10; ++layout) {
            QVERIFY(layouts.contains(layout));
        }
        QVERIFY(*std::max_element(layouts.begin(), layouts.end()) > 10);

        RecordsetPtr makets = open(kMaketsTable);
        QSet<QString> maketNames;
        for (makets->moveFirst(); !makets->eof(); makets->moveNext()) {
            const QString name = Text(*makets, "Name");
            QVERIFY2(!tarvel.contains(name.toUpper()), qPrintable(name));
            QVERIFY(Text(*makets, "Text").size() <= 40);
            maketNames.insert(name);
        }
        for (int layout : layouts) {
            QVERIFY2(maketNames.contains(QStringLiteral("_%1").arg(layout)),
                     qPrintable(QString::number(layout)));
        }
    }

    void textIndicatorsHaveTheirWordsAndBooks() {
        QSet<QString> decoded;
        QSet<int> books = {10000000, 10000001, 10000002, 10300007};
        RecordsetPtr nsi = open(kNsiTable);
        for (nsi->moveFirst(); !nsi->eof(); nsi->moveNext()) {
            books.insert(nsi->valueByName("Code").toInt());
            const QString type = Text(*nsi, "Type").toLower();
            QVERIFY(type == "standart" || type == "custom");
            if (type == "custom") {
                QVERIFY(!nsi->valueByName("PosCode").isNull());
                QVERIFY(!nsi->valueByName("LenCode").isNull());
                QVERIFY(!nsi->valueByName("PosText").isNull());
                QVERIFY(nsi->valueByName("LenShort").isNull() ||
                        !nsi->valueByName("PosShort").isNull());
            }
        }
        RecordsetPtr fields = open(kFieldsTable);
        for (fields->moveFirst(); !fields->eof(); fields->moveNext()) {
            const QVariant book = fields->valueByName("SpCode");
            if (!book.isNull()) {
                QVERIFY2(books.contains(book.toInt()), qPrintable(Text(*fields, "Tarvel")));
            }
            if (fields->valueByName("Decode").toBool()) {
                QVERIFY(!book.isNull());
                decoded.insert(Text(*fields, "Dovi"));
            }
        }
        QVERIFY(decoded.size() >= 3);
        QSet<QString> withWords;
        RecordsetPtr values = open(kCodeValuesTable);
        for (values->moveFirst(); !values->eof(); values->moveNext()) {
            const QString field = Text(*values, "Field");
            QVERIFY2(decoded.contains(field), qPrintable(field));
            withWords.insert(field);
        }
        QCOMPARE(withWords, decoded);
    }

    void distinctLayoutsCanBeQueried() {
        RecordsetPtr rs = OpenRecordset(
            connection_, QStringLiteral("SELECT  DISTINCT [Maket] FROM [Fields]"), kSourceSql);
        QList<int> layouts;
        for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
            layouts.append(rs->value(0).toInt());
        }
        std::sort(layouts.begin(), layouts.end());
        QCOMPARE(layouts.size(), 14);
        QCOMPARE(layouts.front(), 1);
        QCOMPARE(layouts.back(), 14);
    }
};

QTEST_GUILESS_MAIN(TestDictionaryData)
#include "tst_dictionary_data.moc"
