// Locked and read-only places: a read-only stand database is exported and checked without a
// change to it, and a target folder that cannot take files gives the operation's message.
#include "reliability_fixture.h"

#include "export/export_commands.h"
#include "export/export_writer.h"
#include "formation/formation_commands.h"

#include <QtTest>

using namespace converter;
using namespace converter::testing;

namespace {

void SetTreePermissions(const QString& folder, QFile::Permissions files, QFile::Permissions dirs) {
    QDirIterator it(folder, QDir::Files);
    while (it.hasNext()) {
        QFile::setPermissions(it.next(), files);
    }
    QFile::setPermissions(folder, dirs);
}

const QFile::Permissions kReadOnlyFile = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
const QFile::Permissions kReadOnlyDir =
    kReadOnlyFile | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
const QFile::Permissions kWritableFile = kReadOnlyFile | QFile::WriteOwner;
const QFile::Permissions kWritableDir = kReadOnlyDir | QFile::WriteOwner;

}  // namespace

class TestReadOnly : public QObject {
    Q_OBJECT

private slots:
    void readOnlyDatabaseIsExportedAndChecked() {
        ProgramFixture fixture;
        FakeUi setupUi;
        const QString folder = fixture.makeFolder(QStringLiteral("db"));
        const QString db = folder + QStringLiteral("/les.db");
        QVERIFY(ProgramFixture::Import(setupUi, ProgramFixture::SampleDoviFile(), db));
        const QString sprav = fixture.makeFolder(QStringLiteral("sprav"));
        QVERIFY(ProgramFixture::Form(setupUi, sprav, ProgramFixture::SampleValueBooks()));
        // The database folder holds the import's report too; nothing may touch any of it.
        SetTreePermissions(folder, kReadOnlyFile, kReadOnlyDir);
        SetTreePermissions(sprav, kReadOnlyFile, kReadOnlyDir);
        const auto before = FolderPicture(folder);
        const auto spravBefore = FolderPicture(sprav);

        FakeUi exportUi;
        const QString output = fixture.path(QStringLiteral("les_2022.txt"));
        const bool exported = ExportCurrentChanges(
            exportUi,
            {output, db, ProgramFixture::ElementsPath(db), ProgramFixture::FirstYear(db), 0});
        FakeUi checkUi;
        QString report;
        bool deficiencies = false;
        const bool checked =
            CheckTarvelDatabase(checkUi, db, sprav + QLatin1Char('/'), report, deficiencies);

        const auto after = FolderPicture(folder);
        const auto spravAfter = FolderPicture(sprav);
        SetTreePermissions(folder, kWritableFile, kWritableDir);
        SetTreePermissions(sprav, kWritableFile, kWritableDir);
        QVERIFY2(exported, qPrintable(exportUi.messageTexts().join(" | ")));
        QVERIFY(ReadTextLines(output, TextCodec::Windows1251).size() > 7);
        QVERIFY2(checked, qPrintable(checkUi.messageTexts().join(" | ")));
        QCOMPARE(after, before);
        QCOMPARE(spravAfter, spravBefore);
    }

    // An installed program's folder takes no files: copies of reports and the proposed reference
    // folder go to the user's data folder, and a target named elsewhere creates nothing there.
    void readOnlyProgramFolder() {
        SmallDisk disk(1024 * 1024);
        if (!disk.mounted()) {
            QVERIFY2(::geteuid() != 0, "root could not mount a tmpfs");
            QSKIP("mounting a read-only folder needs root");
        }
        QTemporaryDir home;
        const QByteArray oldDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        ProgramFixture fixture;
        QVERIFY(QFile::copy(fixture.path(QStringLiteral("sprav.mdb")),
                            disk.path(QStringLiteral("sprav.mdb"))));
        QVERIFY(disk.makeReadOnly());
        SetProgramFolder(disk.path(QString()));
        const QString userFolder = home.path() + QStringLiteral("/dovi2tarvel");

        // The sample's faults make a report, whose copy the outcome places.
        FakeUi ui;
        ui.forestUnitAnswers.push_back(
            ForestUnitInput{QStringLiteral("12345678"), QStringLiteral("3")});
        const QString db = fixture.path(QStringLiteral("les.db"));
        QString countText;
        bool hadErrors = false;
        QVERIFY(ImportDoviFile(ui, ProgramFixture::SampleDoviFile(), db,
                               ProgramFixture::ElementsPath(db), countText, hadErrors));
        QVERIFY(hadErrors);
        const QString copy = userFolder + QStringLiteral("/reports/создание базы.txt");
        QCOMPARE(FileBytes(copy), FileBytes(fixture.path(QStringLiteral("les_rep.txt"))));
        QCOMPARE(countText.split(QLatin1Char('\r')),
                 QStringList({QStringLiteral("Количество выделов: 35"),
                              QStringLiteral("Отчет сохранен в файле: ") +
                                  fixture.path(QStringLiteral("les_rep.txt")),
                              QStringLiteral("Копия отчета сохранена в папке: ") + userFolder +
                                  QStringLiteral("/reports")}));

        // The export file is proposed where the reports went, not in the read-only folder.
        QCOMPARE(ProposedExportFile(db, QStringLiteral("1998")),
                 userFolder + QStringLiteral("/les_1998.txt"));

        const QString target = fixture.makeFolder(QStringLiteral("target"));
        ui.saveFileAnswers.push_back(target + QStringLiteral("/spfield.db"));
        const bool formed =
            RunReferenceFormation(ui, ProgramFixture::SampleValueBooks() + QLatin1Char('/'));
        const QStringList initialNames = ui.saveInitialNames;
        qputenv("XDG_DATA_HOME", oldDataHome);
        QVERIFY2(formed, qPrintable(ui.messageTexts().join(QStringLiteral(" | "))));
        // A run without a report has no copy to place.
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Создание успешно завершено"));
        QVERIFY(!ui.lastMessage().text.contains(userFolder));
        QCOMPARE(initialNames, QStringList{userFolder + QStringLiteral("/sprav/spfield.db")});
        QVERIFY(!QFileInfo::exists(userFolder + QStringLiteral("/sprav")));
        QVERIFY(QFileInfo::exists(target + QStringLiteral("/sptab.db")));
        QCOMPARE(QDir(disk.path(QString())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("sprav.mdb")});
    }

    // A target folder that went away or refuses files: each operation says so and stops.
    void unwritableTarget_data() {
        QTest::addColumn<bool>("removed");
        QTest::newRow("removed folder") << true;
        QTest::newRow("read-only folder") << false;
    }
    void unwritableTarget() {
        QFETCH(bool, removed);
        ProgramFixture fixture;
        FakeUi setupUi;
        const QString db = fixture.path(QStringLiteral("les.db"));
        QVERIFY(ProgramFixture::Import(setupUi, ProgramFixture::SampleDoviFile(), db));
        const QString target = fixture.makeFolder(QStringLiteral("target"));
        if (removed) {
            QVERIFY(QDir(target).removeRecursively());
        } else {
            QFile::setPermissions(target, kReadOnlyDir);
            if (QFileInfo(target).isWritable()) {
                QFile::setPermissions(target, kWritableDir);
                QSKIP("this user writes into read-only folders (root)");
            }
        }

        FakeUi importUi;
        QVERIFY(!ProgramFixture::Import(importUi, ProgramFixture::SampleDoviFile(),
                                        target + QStringLiteral("/new.db")));
        QVERIFY(!importUi.messages.isEmpty());

        FakeUi exportUi;
        QVERIFY(!ExportCurrentChanges(
            exportUi, {target + QStringLiteral("/out.txt"), db, ProgramFixture::ElementsPath(db),
                       ProgramFixture::FirstYear(db), 0}));
        QCOMPARE(exportUi.messages.size(), 1);

        FakeUi formUi;
        QVERIFY(!ProgramFixture::Form(formUi, target, ProgramFixture::SampleValueBooks()));
        QVERIFY(!formUi.messages.isEmpty());

        if (!removed) {
            QCOMPARE(QDir(target).entryList(QDir::Files), QStringList());
            QFile::setPermissions(target, kWritableDir);
        }
    }
};

QTEST_GUILESS_MAIN(TestReadOnly)
#include "tst_read_only.moc"
