#include "check/check_fixtures.h"
#include "reference/reference_tables.h"
#include "support/fake_ui.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace converter;
using namespace converter::testing;

class TestReferenceTables : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString folder_;

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        folder_ = dir_->path();
        ResetReferenceColumns();
    }

    void freshTablesPassAndRecordPositions() {
        CreateSpfield(folder_, {});
        CreateSptab(folder_, {});
        FakeUi ui;
        QVERIFY(CheckSpfieldTable(ui, folder_));
        QVERIFY(CheckSptabTable(ui, folder_));
        QVERIFY(ui.messages.isEmpty());

        const SpfieldColumns spfield = CurrentSpfieldColumns();
        QCOMPARE(spfield.FieldName, 0);
        QCOMPARE(spfield.Text, 1);
        QCOMPARE(spfield.EdIzm, 2);
        QCOMPARE(spfield.SpNum, 3);
        QCOMPARE(spfield.ShortText, 4);
        const SptabColumns sptab = CurrentSptabColumns();
        QCOMPARE(sptab.SpNum, 0);
        QCOMPARE(sptab.Code, 1);
        QCOMPARE(sptab.ShortName, 2);
        QCOMPARE(sptab.Name, 3);
    }

    void missingFileNamesTheFolder_data() {
        QTest::addColumn<bool>("withSpfield");
        QTest::addColumn<bool>("spfieldPasses");
        QTest::newRow("no table at all") << false << false;
        QTest::newRow("spfield only") << true << true;
    }

    void missingFileNamesTheFolder() {
        QFETCH(bool, withSpfield);
        QFETCH(bool, spfieldPasses);
        if (withSpfield) {
            CreateSpfield(folder_, {});
        }
        FakeUi ui;
        // The callers' order: SPTAB.DB is looked at only when SPFIELD.DB passed.
        const bool passed = CheckSpfieldTable(ui, folder_) && CheckSptabTable(ui, folder_);
        QVERIFY(!passed);
        QCOMPARE(ui.messages.size(), 1);
        const QString table =
            spfieldPasses ? QStringLiteral("SPTAB.DB") : QStringLiteral("SPFIELD.DB");
        QCOMPARE(ui.lastMessage().text, QStringLiteral("Не найден файл справочника ") + table +
                                            "\rПуть: " + QDir::toNativeSeparators(folder_));
        QVERIFY(ui.lastMessage().title.isEmpty());
        QCOMPARE(ui.lastMessage().icon, MessageIcon::Warning);
    }

    void windowsNamesAndTrailingSeparatorAreFound() {
        CreateSpfield(folder_, {{"GIR", "Лесничество", QVariant(), 0, QVariant()}});
        CreateSptab(folder_, {});
        UpperCaseTableFiles(folder_, "spfield");
        UpperCaseTableFiles(folder_, "sptab");
        FakeUi ui;
        QVERIFY(CheckSpfieldTable(ui, folder_ + "/"));
        QVERIFY(CheckSptabTable(ui, folder_ + "/"));
        QVERIFY(ui.messages.isEmpty());
    }

    void nameColumnInMixedCasePasses() {
        CreateSptab(folder_, {});
        QFile::remove(folder_ + "/sptab.db");
        QFile::remove(folder_ + "/sptab.px");
        CreateTable(folder_ + "/sptab.db",
                    {"CREATE TABLE [sptab] ([SpNum] INTEGER, [Code] INTEGER, [ShortName] CHAR (10) "
                     ", [Name] CHAR (55))"},
                    {});
        FakeUi ui;
        QVERIFY(CheckSptabTable(ui, folder_));
        QCOMPARE(CurrentSptabColumns().Name, 3);
    }

    void missingColumnsAreListedWithTheFilePath_data() {
        QTest::addColumn<QString>("createText");
        QTest::addColumn<QString>("missing");
        QTest::newRow("no SpNum") << "CREATE TABLE [spfield] ([FieldName] CHAR (20), [Text] CHAR "
                                     "(40), [EdIzm] CHAR (10), "
                                     "[ShortText] CHAR (25))"
                                  << "SPNUM\r";
        QTest::newRow("three missing, in message order")
            << "CREATE TABLE [spfield] ([ShortText] CHAR (25), [SpNum] INTEGER)"
            << "FIELDNAME\rTEXT\rEDIZM\r";
    }

    void missingColumnsAreListedWithTheFilePath() {
        QFETCH(QString, createText);
        QFETCH(QString, missing);
        CreateTable(folder_ + "/spfield.db", {createText}, {});
        FakeUi ui;
        QVERIFY(!CheckSpfieldTable(ui, folder_));
        QCOMPARE(ui.messageTexts(),
                 QStringList{"Отсутствуют поля справочника SPFIELD.DB: " + missing +
                             "Путь: " + QDir::toNativeSeparators(folder_ + "/spfield.db")});
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Ошибка"));
        QCOMPARE(ui.lastMessage().icon, MessageIcon::Warning);
        // The record shows which column is missing; the others keep their places.
        const SpfieldColumns columns = CurrentSpfieldColumns();
        QCOMPARE(columns.SpNum < 0, missing.contains("SPNUM"));
        QCOMPARE(columns.FieldName < 0, missing.contains("FIELDNAME"));
        QVERIFY(columns.ShortText >= 0);
    }

    void damagedTableShowsTheFailureText() {
        QFile file(folder_ + "/sptab.db");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(300, '\x7f'));
        file.close();
        CurrentSptabColumns().Code = 7;
        FakeUi ui;
        QVERIFY(!CheckSptabTable(ui, folder_));
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY(ui.lastMessage().text.startsWith("Ошибка при проверке справочника SPTAB.DB\r"));
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Ошибка"));
        // A table that never opened leaves the earlier positions alone.
        QCOMPARE(CurrentSptabColumns().Code, 7);
    }
};

QTEST_GUILESS_MAIN(TestReferenceTables)
#include "tst_reference_tables.moc"
