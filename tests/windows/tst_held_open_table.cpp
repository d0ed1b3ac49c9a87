// Windows only: a table another program holds open (the GIS keeps its tables open) can be neither
// replaced nor removed. The replacement is refused before it starts, naming the file, and the old
// files stay as they were.
#include "common/failure.h"
#include "common/program_folder.h"
#include "common/safe_write.h"
#include "common/write_fault.h"
#include "import/import_driver.h"
#include "reference/code_lists.h"
#include "reference/dictionary_checks.h"
#include "support/dictionary_builder.h"
#include "support/fake_ui.h"
#include "support/test_paths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

using namespace converter;
using namespace converter::testing;

namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Every file under `folder`, hidden ones and staging folders included, with a hash of its bytes.
QMap<QString, QByteArray> Contents(const QString& folder) {
    QMap<QString, QByteArray> contents;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        QFile f(file);
        const bool opened = f.open(QIODevice::ReadOnly);
        contents.insert(QDir(folder).relativeFilePath(file),
                        opened ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1)
                               : QByteArray("unreadable"));
    }
    return contents;
}

}  // namespace

class TestHeldOpenTable : public QObject {
    Q_OBJECT

private slots:
    // How the file is held: open by the GIS, read-only by its attribute, or our own new file
    // opened by a virus scanner.
    void replacementRefused_data() {
        QTest::addColumn<QString>("held");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("reason");
        QTest::newRow("data file, read") << "les.db"
                                         << "read"
                                         << "занят другой программой";
        QTest::newRow("index, read and written") << "les.px"
                                                 << "write"
                                                 << "занят другой программой";
        QTest::newRow("secondary index that would go") << "les.X02"
                                                       << "read"
                                                       << "занят другой программой";
        QTest::newRow("read-only old index") << "les.px"
                                             << "read-only"
                                             << "Файл доступен только для чтения: ";
        QTest::newRow("new file held by a scanner") << "les.px"
                                                    << "staged"
                                                    << "Новый файл занят";
    }

    void replacementRefused() {
        QFETCH(QString, held);
        QFETCH(QString, how);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const char* name : {"les.db", "les.px", "les.X02"}) {
            WriteFile(dir.filePath(name), QByteArray("old ") + name);
        }
        QFile gis(dir.filePath(held));
        if (how == "read-only") {
            QVERIFY(gis.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadUser));
        } else if (how != "staged") {
            QVERIFY(gis.open(how == "write" ? QIODevice::ReadWrite : QIODevice::ReadOnly));
        }
        const auto before = Contents(dir.path());

        QString message;
        {
            StagedReplacement replacement(dir.path(), StagingKey(dir.filePath("les.db")));
            WriteFile(replacement.folder() + "les.db", "new table");
            WriteFile(replacement.folder() + "les.px", "new index");
            if (how == "staged") {
                gis.setFileName(replacement.folder() + held);
                QVERIFY(gis.open(QIODevice::ReadOnly));
            }
            try {
                replacement.commit({"les.db", "les.px"});
            } catch (const Failure& failure) {
                message = failure.description();
            }
            gis.close();
        }
        QVERIFY2(message.startsWith("Не удаётся заменить файл " +
                                    QDir::toNativeSeparators(dir.filePath(held)) + "\r"),
                 qPrintable(message));
        QVERIFY2(message.contains(reason), qPrintable(message));
        QCOMPARE(Contents(dir.path()), before);

        // Once the GIS lets go, the same replacement goes through.
        QFile(dir.filePath(held)).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        StagedReplacement again(dir.path(), StagingKey(dir.filePath("les.db")));
        WriteFile(again.folder() + "les.db", "new table");
        WriteFile(again.folder() + "les.px", "new index");
        again.commit({"les.db", "les.px"});
        QCOMPARE(Contents(dir.path()).keys(), QStringList({"les.db", "les.px"}));
    }

    // A GIS that opens the tables at any moment of the step, the undo of a failed rename
    // included, never finds a mix: it is kept out for the step's length, and each run ends with
    // the old files and a refusal or the new ones and success.
    void tablesOpenedDuringTheStep() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QStringList names{"les.db", "les.px", "lesСост.db", "lesСост.px"};
        std::atomic<bool> done{false};
        QStringList mixes;
        std::thread gis([&] {
            while (!done) {
                for (const QString& name : names) {
                    QFile table(dir.filePath(name));
                    // The GIS opens tables; it never makes a missing one.
                    if (table.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(3));
                    }
                }
            }
        });
        for (int run = 0; run < 12; ++run) {
            const QByteArray old = "old " + QByteArray::number(run);
            for (const QString& name : names) {
                WriteFile(dir.filePath(name), old);
            }
            FailWriteAfter(run % 3 == 2 ? run % 4 : -1);
            QString refused;
            try {
                StagedReplacement replacement(dir.path(), StagingKey(dir.filePath("les.db")));
                for (const QString& name : names) {
                    WriteFile(replacement.folder() + name, "new");
                }
                replacement.commit(names);
            } catch (const Failure& failure) {
                refused = failure.description();
            }
            FailWriteAfter(-1);
            const auto after = Contents(dir.path());
            const QByteArray expected = QCryptographicHash::hash(
                refused.isEmpty() ? QByteArray("new") : old, QCryptographicHash::Sha1);
            for (const QString& name : names) {
                if (after.value(name) != expected) {
                    mixes << QString("run %1, %2: %3").arg(run).arg(name, refused);
                }
            }
            QCOMPARE(after.size(), names.size());
        }
        done = true;
        gis.join();
        QVERIFY2(mixes.isEmpty(), qPrintable(mixes.join("\n")));
    }

    // A database deeper than the short path limit, which the window lists, can be written.
    void longPath() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QString folder = dir.path();
        while (folder.size() < 230) {
            folder += "/Лесничество_длинное_имя";
        }
        QVERIFY(QDir().mkpath(folder));
        WriteFile(folder + "/les.db", "old table");
        StagedReplacement replacement(folder, StagingKey(folder + "/les.db"));
        WriteFile(replacement.folder() + "les.db", "new table");
        WriteFile(replacement.folder() + "les.px", "new index");
        replacement.commit({"les.db", "les.px"});
        QCOMPARE(Contents(folder).keys(), QStringList({"les.db", "les.px"}));
    }

    // A virus scanner that opens a table for a moment delays the replacement; it does not stop it.
    void momentaryHolderOnlyDelays() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        WriteFile(dir.filePath("les.db"), "old table");
        WriteFile(dir.filePath("les.px"), "old index");
        QFile scanner(dir.filePath("les.db"));
        QVERIFY(scanner.open(QIODevice::ReadOnly));
        std::thread release([&scanner] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            scanner.close();
        });
        QString message;
        try {
            StagedReplacement replacement(dir.path(), StagingKey(dir.filePath("les.db")));
            WriteFile(replacement.folder() + "les.db", "new table");
            WriteFile(replacement.folder() + "les.px", "new index");
            replacement.commit({"les.db", "les.px"});
        } catch (const Failure& failure) {
            message = failure.description();
        }
        release.join();
        QVERIFY2(message.isEmpty(), qPrintable(message));
        QFile table(dir.filePath("les.db"));
        QVERIFY(table.open(QIODevice::ReadOnly));
        QCOMPARE(table.readAll(), QByteArray("new table"));
    }

    // Through an operation: the import over a database whose elements table the GIS has open
    // shows the message and keeps the old database whole.
    void importOverADatabaseInUse() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        SetProgramFolder(dir.path());
        WriteStandardDictionary(dir.path());
        const QString sample = SourceDir() + "/data/samples/lesnichestvo_03.txt";
        const QString db = dir.filePath("data/les03.db");
        const QString elements = dir.filePath("data/les03Сост.db");
        QVERIFY(QDir().mkpath(dir.filePath("data")));
        auto import = [&](FakeUi& ui) {
            ui.forestUnitAnswers.push_back(ForestUnitInput{"12345678", "3"});
            ui.defaultYesNo = true;
            QString count;
            bool errors = false;
            return ImportDoviFile(ui, sample, db, elements, count, errors);
        };
        FakeUi first;
        QVERIFY(import(first));
        // The tables and whatever a half-done step would leave; the report may be rewritten.
        auto tables = [&] {
            auto contents = Contents(dir.filePath("data"));
            contents.remove("les03_rep.txt");
            return contents;
        };
        const auto before = tables();

        QFile gis(elements);
        QVERIFY(gis.open(QIODevice::ReadOnly));
        FakeUi second;
        QVERIFY(!import(second));
        const QString shown = second.messageTexts().join('\n');
        QVERIFY2(shown.contains(QDir::toNativeSeparators(elements)), qPrintable(shown));
        QVERIFY2(shown.contains("занят другой программой"), qPrintable(shown));
        gis.close();
        QCOMPARE(tables(), before);

        SetProgramFolder(QString());
        ResetDictionaryColumns();
        ClearCodeLists();
    }
};

QTEST_GUILESS_MAIN(TestHeldOpenTable)
#include "tst_held_open_table.moc"
