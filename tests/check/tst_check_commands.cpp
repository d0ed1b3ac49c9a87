#include "check/check_commands.h"
#include "check/check_fixtures.h"
#include "common/program_folder.h"
#include "common/utilities.h"
#include "support/fake_ui.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace converter;
using namespace converter::testing;

namespace {

void Touch(const QString& path) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

}  // namespace

class TestCheckCommands : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString folder_;

    // A stand database with one uncoded column and its elements file, and reference tables that
    // describe it (POR with `porBook`, whose only code is 1).
    void createCheckableDatabase(int storedPor) {
        QVERIFY(QDir().mkpath(folder_ + "/ref"));
        CreateSpfield(folder_ + "/ref", {{"POR", "Порода", QVariant(), 1, QVariant()}});
        CreateSptab(folder_ + "/ref", {{1, 1, "С", "Сосна"}});
        CreateTable(folder_ + "/les.db", {"CREATE TABLE [les] ([POR] smallint)"}, {{storedPor}});
        Touch(folder_ + "/lesСост.db");
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        folder_ = dir_->path();
        // A program folder that exists, so that reports stay in the test's own folder.
        QVERIFY(QDir().mkpath(folder_ + "/program"));
        SetProgramFolder(folder_ + "/program");
    }

    void cleanupTestCase() { SetProgramFolder(QString()); }

    void choosingTheDatabase_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("accepted");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("title");
        QTest::newRow("cancelled")
            << QString() << QStringList{} << QString() << QString() << QString();
        QTest::newRow("file missing") << "les.db" << QStringList{} << QString()
                                      << "Файл не существует: \r{dir}/les.db" << QString();
        QTest::newRow("elements missing") << "les.db" << QStringList{"les.db"} << QString()
                                          << "Не найден файл по элементам леса:\r{dir}/lesСост.db"
                                          << "Ошибка";
        QTest::newRow("both present") << "les.db" << QStringList{"les.db", "lesСост.db"}
                                      << "{dir}/les.db" << QString() << QString();
        QTest::newRow("elements named on Windows")
            << "les.db" << QStringList{"les.db", "LESСОСТ.DB"} << "{dir}/les.db" << QString()
            << QString();
    }

    void choosingTheDatabase() {
        QFETCH(QString, answer);
        QFETCH(QStringList, files);
        QFETCH(QString, accepted);
        QFETCH(QString, message);
        QFETCH(QString, title);
        for (const QString& file : files) {
            Touch(folder_ + "/" + file);
        }
        FakeUi ui;
        if (!answer.isEmpty()) {
            ui.openFileAnswers.push_back(folder_ + "/" + answer);
        }
        const std::optional<QString> result = ChooseCheckDatabase(ui);
        QCOMPARE(ui.openFilters, QStringList{GetFileFilter(kTarvelDatabaseFile)});
        QCOMPARE(result.value_or(QString()), QString(accepted).replace("{dir}", folder_));
        if (message.isEmpty()) {
            QVERIFY(ui.messages.isEmpty());
        } else {
            QCOMPARE(ui.messageTexts(), QStringList{message.replace("{dir}", folder_)});
            QCOMPARE(ui.lastMessage().title, title);
            QCOMPARE(ui.lastMessage().icon, MessageIcon::Warning);
        }
    }

    void choosingTheReferenceTables() {
        FakeUi ui;
        // Neither table: only SPFIELD.DB is reported and the folder is refused.
        ui.openFileAnswers = {folder_ + "/sptab.db"};
        QVERIFY(!ChooseCheckReferenceFolder(ui));
        QCOMPARE(ui.messageTexts(), QStringList{"Не найден файл справочника SPFIELD.DB\rПуть: " +
                                                QDir::toNativeSeparators(folder_ + "/")});

        CreateSpfield(folder_, {});
        CreateSptab(folder_, {});
        ui.messages.clear();
        ui.openFileAnswers = {folder_ + "/sptab.db"};
        QCOMPARE(ChooseCheckReferenceFolder(ui).value_or(QString()), folder_ + "/");
        QVERIFY(ui.messages.isEmpty());

        ui.openFileAnswers.clear();
        QVERIFY(!ChooseCheckReferenceFolder(ui));
        QVERIFY(ui.messages.isEmpty());
    }

    void refusalsBeforeTheRun_data() {
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("references");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("icon");
        QTest::newRow("no database") << QString() << "ref/"
                                     << "Выберите базу данных" << int(MessageIcon::None);
        QTest::newRow("no references")
            << "les.db" << QString() << "Выберите файлы справочника" << int(MessageIcon::Warning);
        QTest::newRow("database gone") << "gone.db"
                                       << "ref/"
                                       << "Не найдена база данных" << int(MessageIcon::None);
    }

    void refusalsBeforeTheRun() {
        QFETCH(QString, database);
        QFETCH(QString, references);
        QFETCH(QString, message);
        QFETCH(int, icon);
        FakeUi ui;
        const CheckCommandOutcome outcome =
            RunReferenceCheck(ui, database.isEmpty() ? database : folder_ + "/" + database,
                              references.isEmpty() ? references : folder_ + "/" + references);
        QVERIFY(!outcome.completed);
        QCOMPARE(ui.messageTexts(), QStringList{message});
        QCOMPARE(int(ui.lastMessage().icon), icon);
        QVERIFY(ui.lastMessage().title.isEmpty());
        QVERIFY(ui.busyHistory.isEmpty());
    }

    void runEndsWithTheOutcomeAndLeavesTheBusyState_data() {
        QTest::addColumn<int>("storedPor");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("icon");
        QTest::newRow("clean") << 1 << "Проверка выполнена успешно"
                               << int(MessageIcon::Information);
        QTest::newRow("defects") << 4 << "Обнаружены недостатки справочника"
                                 << int(MessageIcon::Warning);
    }

    void runEndsWithTheOutcomeAndLeavesTheBusyState() {
        QFETCH(int, storedPor);
        QFETCH(QString, title);
        QFETCH(int, icon);
        createCheckableDatabase(storedPor);
        FakeUi ui;
        const QString database = folder_ + "/les.db";
        const CheckCommandOutcome outcome = RunReferenceCheck(ui, database, folder_ + "/ref/");
        QVERIFY(outcome.completed);
        QCOMPARE(outcome.deficiencies, storedPor != 1);
        QCOMPARE(ui.busyHistory, (QList<bool>{true, false}));
        QCOMPARE(ui.statusVisible[StatusLabel::Check], false);
        QCOMPARE(ui.messages.size(), 1);
        // The box names the database, the report file when there is one, and the time; never
        // the report's content.
        QCOMPARE(ui.lastMessage().title, title);
        QCOMPARE(int(ui.lastMessage().icon), icon);
        const QString reportLine =
            storedPor == 1
                ? QString()
                : "\rОтчет сохранен в файле: " +
                      QDir::toNativeSeparators(WritableProgramFolder("reports") + "/проверка.txt");
        QVERIFY2(ui.lastMessage().text.startsWith("Файл: " + database + reportLine +
                                                  "\rНа обработку затрачено: "),
                 qPrintable(ui.lastMessage().text));
        QVERIFY(!ui.lastMessage().text.contains("POR"));
        QCOMPARE(ui.reportShown, storedPor != 1 ? 1 : 0);
    }

    void failedRunOnlyLeavesTheBusyState() {
        createCheckableDatabase(1);
        QFile::remove(folder_ + "/ref/sptab.db");
        FakeUi ui;
        const CheckCommandOutcome outcome =
            RunReferenceCheck(ui, folder_ + "/les.db", folder_ + "/ref/");
        QVERIFY(!outcome.completed);
        QCOMPARE(ui.messageTexts(), QStringList{"Не найден файл справочника SPTAB.DB\rПуть: " +
                                                QDir::toNativeSeparators(folder_ + "/ref/")});
        QCOMPARE(ui.busyHistory, (QList<bool>{true, false}));
    }
};

QTEST_GUILESS_MAIN(TestCheckCommands)
#include "tst_check_commands.moc"
