// Locked and read-only places: a read-only stand database is exported and checked without a
// change to it, and a target folder that cannot take files gives the operation's message. Run as
// root, the steps run as "nobody", for whom the permissions are real.
#include "posix_fixture.h"

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
        const int year = ProgramFixture::FirstYear(db);
        // The database folder holds the import's report too; nothing may touch any of it. The
        // export goes to a folder the step's user may write; the program folder it cannot.
        SetTreePermissions(folder, kReadOnlyFile, kReadOnlyDir);
        SetTreePermissions(sprav, kReadOnlyFile, kReadOnlyDir);
        const QString outputFolder = fixture.makeFolder(QStringLiteral("out"));
        OpenForOthers(outputFolder, QFile::WriteOther);
        OpenForOthers(fixture.path(QString()));
        const auto before = FolderPicture(folder);
        const auto spravBefore = FolderPicture(sprav);

        const QString output = outputFolder + QStringLiteral("/les_2022.txt");
        const bool done = AsUnprivilegedUser([&] {
            FakeUi exportUi;
            const bool exported = ExportCurrentChanges(
                exportUi, {output, db, ProgramFixture::ElementsPath(db), year, 0});
            FakeUi checkUi;
            QString report;
            bool deficiencies = false;
            const bool checked =
                CheckTarvelDatabase(checkUi, db, sprav + QLatin1Char('/'), report, deficiencies);
            if (!exported || !checked) {
                qWarning("%s", qPrintable((exportUi.messageTexts() + checkUi.messageTexts())
                                              .join(QStringLiteral(" | "))));
            }
            return exported && checked;
        });

        const auto after = FolderPicture(folder);
        const auto spravAfter = FolderPicture(sprav);
        SetTreePermissions(folder, kWritableFile, kWritableDir);
        SetTreePermissions(sprav, kWritableFile, kWritableDir);
        QVERIFY(done);
        QVERIFY(ReadTextLines(output, TextCodec::Windows1251).size() > 7);
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
        }
        OpenForOthers(fixture.path(QString()));
        const int year = ProgramFixture::FirstYear(db);

        const bool refused = AsUnprivilegedUser([&] {
            FakeUi importUi;
            const bool imported = ProgramFixture::Import(importUi, ProgramFixture::SampleDoviFile(),
                                                         target + QStringLiteral("/new.db"));
            FakeUi exportUi;
            const bool exported =
                ExportCurrentChanges(exportUi, {target + QStringLiteral("/out.txt"), db,
                                                ProgramFixture::ElementsPath(db), year, 0});
            FakeUi formUi;
            const bool formed =
                ProgramFixture::Form(formUi, target, ProgramFixture::SampleValueBooks());
            return !imported && !importUi.messages.isEmpty() && !exported &&
                   exportUi.messages.size() == 1 && !formed && !formUi.messages.isEmpty();
        });
        QVERIFY(refused);
        if (!removed) {
            QCOMPARE(QDir(target).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                     QStringList());
            QFile::setPermissions(target, kWritableDir);
        }
    }
};

QTEST_GUILESS_MAIN(TestReadOnly)
#include "tst_read_only.moc"
