#include "common/text_file.h"
#include "formation/reference_formation.h"
#include "formation_fixture.h"
#include "reference/reference_tables.h"
#include "storage/database.h"
#include "support/dictionary_builder.h"
#include "support/fake_ui.h"
#include "support/pxlib_rows.h"
#include "support/test_paths.h"

#include <QDir>
#include <QFile>
#include <QTest>

#ifdef HAVE_PXLIB
extern "C" {
#include <paradox.h>
}
#endif

using namespace converter;
using namespace converter::testing;

namespace {

#ifdef HAVE_PXLIB
// Every row of a table as "value|value|...", blank as "-", in file order, as our engine reads it.
QStringList EngineRows(const QString& path) {
    RecordsetPtr table = OpenRecordset(BuildConnectionString(kParadoxFolder, path),
                                       QFileInfo(path).completeBaseName(), kSourceTable);
    QStringList rows;
    for (table->moveFirst(); !table->eof(); table->moveNext()) {
        QStringList values;
        for (int i = 0; i < table->fieldCount(); ++i) {
            const QVariant value = table->value(i);
            values.append(value.isNull() ? QStringLiteral("-") : value.toString());
        }
        rows.append(values.join(QLatin1Char('|')));
    }
    CloseRecordset(table);
    return rows;
}

bool PxlibReadsPrimaryIndex(const QString& pxPath) {
    pxdoc_t* index = PX_new();
    const bool opened = PX_open_file(index, QFile::encodeName(pxPath).constData()) >= 0;
    const bool read = opened && PX_read_primary_index(index) >= 0;
    if (opened) {
        PX_close(index);
    }
    PX_delete(index);
    return read;
}
#endif

}  // namespace

// The value books shipped in data/nsi with the shipped dictionary: what a newcomer forms first.
class TestSampleBooks : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { PX_boot_if_available(); }

    void shippedBooksFormCleanTables() {
        FormationFixture fixture;
        WriteStandardDictionary(fixture.programFolder());
        const QString nsi = SourceDir() + QStringLiteral("/data/nsi");
        QVERIFY(QDir(nsi).exists());

        FakeUi ui;
        QString report;
        bool hadErrors = true;
        QVERIFY(FormReferenceTables(ui, fixture.targetFolder(), nsi, report, hadErrors));
        QVERIFY2(ui.messages.isEmpty(), qPrintable(ui.messageTexts().join(QLatin1Char('|'))));
        QVERIFY(!hadErrors);
        QVERIFY(!QFile::exists(fixture.targetFolder() + QStringLiteral("sptab_rep.txt")));
        // Every book of the dictionary has its file: 15 read, plus the program's own.
        QVERIFY2(report.endsWith(QStringLiteral("\r\nЗагружено справочников значений: 17")),
                 qPrintable(report));

        QVERIFY(CheckSpfieldTable(ui, fixture.targetFolder()));
        QVERIFY(CheckSptabTable(ui, fixture.targetFolder()));
        QVERIFY(ui.messages.isEmpty());

        const SptabRows rows = ReadSptab(fixture.targetFolder());
        QCOMPARE(rows.at({10100001, 7}),
                 (SptabRow{QStringLiteral("Береза повислая"), QStringLiteral("Б")}));
        QCOMPARE(rows.at({11000010, 3}),
                 (SptabRow{QStringLiteral("Сплошная санитарная рубка"), QStringLiteral("СПР")}));
        QCOMPARE(rows.at({10700015, 2}).name, QStringLiteral("Защитные полосы вдоль дорог"));
        QCOMPARE(rows.at({10200004, 5}).name,
                 QStringLiteral("В2 - свежие относительно бедные (субори)"));
        QCOMPARE(rows.at({15500009, 50010203}).name, QStringLiteral("Марвентский лесхоз"));
        QCOMPARE(rows.at({13000002, 1020303}).name, QStringLiteral("Южное лесничество"));
        QCOMPARE(rows.at({13000002, 2010525}).name, QStringLiteral("Рябиновое лесничество"));

#ifdef HAVE_PXLIB
        for (const QString& table : {QStringLiteral("sptab"), QStringLiteral("spfield")}) {
            const QString path = fixture.targetFolder() + table + QStringLiteral(".db");
            const QStringList ours = EngineRows(path);
            QVERIFY(ours.size() > 80);
            QCOMPARE(PxlibRows(path), ours);
            QVERIFY(PxlibReadsPrimaryIndex(fixture.targetFolder() + table + QStringLiteral(".px")));
        }
#endif
    }

private:
    static void PX_boot_if_available() {
#ifdef HAVE_PXLIB
        PX_boot();
#endif
    }
};

QTEST_GUILESS_MAIN(TestSampleBooks)
#include "tst_sample_books.moc"
