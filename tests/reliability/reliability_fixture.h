#pragma once

#include "check/reference_check.h"
#include "common/failure.h"
#include "common/program_folder.h"
#include "common/text_file.h"
#include "common/write_fault.h"
#include "export/export_commands.h"
#include "formation/reference_formation.h"
#include "import/import_driver.h"
#include "reference/code_lists.h"
#include "reference/dictionary_checks.h"
#include "storage/paradox/paradox_table.h"
#include "support/dictionary_builder.h"
#include "support/fake_ui.h"
#include "support/test_paths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace converter::testing {

// A program folder with the shipped dictionary, for one test; write faults are off again when
// it goes.
class ProgramFixture {
public:
    ProgramFixture() {
        SetProgramFolder(dir_.path());
        WriteStandardDictionary(dir_.path());
    }
    ~ProgramFixture() {
        FailWriteAfter(-1);
        SetProgramFolder(QString());
        SetOfficeFolders(std::nullopt);
        ResetDictionaryColumns();
        ClearCodeLists();
    }

    QString path(const QString& name) const { return dir_.filePath(name); }
    QString makeFolder(const QString& name) const {
        QDir(dir_.path()).mkpath(name);
        return path(name);
    }

    static QString SampleDoviFile() {
        return SourceDir() + QStringLiteral("/data/samples/lesnichestvo_03.txt");
    }
    static QString SampleValueBooks() { return SourceDir() + QStringLiteral("/data/nsi"); }

    // The import driver with the forest unit answered; `ui` keeps the messages.
    static bool Import(FakeUi& ui, const QString& textPath, const QString& mainPath,
                       bool* hadErrors = nullptr) {
        ui.forestUnitAnswers.push_back(
            ForestUnitInput{QStringLiteral("12345678"), QStringLiteral("3")});
        QString countText;
        bool errors = false;
        const bool done =
            ImportDoviFile(ui, textPath, mainPath, ElementsPath(mainPath), countText, errors);
        if (hadErrors != nullptr) {
            *hadErrors = errors;
        }
        return done;
    }

    // The AKTM value of the first entry of the database's year list.
    static int FirstYear(const QString& mainPath) {
        FakeUi ui;
        const std::optional<YearList> years = GetYearsList(ui, mainPath);
        return years && !years->entries.empty() ? years->entries.front().value : -1;
    }

    static QString ElementsPath(const QString& mainPath) {
        return mainPath.left(mainPath.size() - 3) + QStringLiteral("Сост.db");
    }

    static bool Form(FakeUi& ui, const QString& targetFolder, const QString& books) {
        QString report;
        bool errors = false;
        return FormReferenceTables(ui, targetFolder + QLatin1Char('/'), books + QLatin1Char('/'),
                                   report, errors);
    }

private:
    QTemporaryDir dir_;
};

// Every table file (.db) under `folder` that our reader refuses, with its reason; empty when
// all of them read.
inline QStringList UnreadableTables(const QString& folder) {
    QStringList refused;
    QDirIterator it(folder, {QStringLiteral("*.db"), QStringLiteral("*.DB")}, QDir::Files);
    while (it.hasNext()) {
        const QString file = it.next();
        try {
            (void)paradox::ParadoxTable::Load(file);
        } catch (const Failure& failure) {
            refused.append(file + QStringLiteral(": ") + failure.description());
        }
    }
    return refused;
}

// Files under `folder` left behind by a write that did not finish.
inline QStringList TemporaryFiles(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        if (file.endsWith(QLatin1Char('~')) || file.contains(QStringLiteral(".tmp")) ||
            file.contains(QStringLiteral(".dovi2tarvel-new")) ||
            file.contains(QStringLiteral(".dovi2tarvel-tmp"))) {
            found.append(file);
        }
    }
    return found;
}

// Name and content hash of every file under `folder`, hidden ones included: a picture to compare
// before and after.
inline QMap<QString, QByteArray> FolderPicture(const QString& folder) {
    QMap<QString, QByteArray> picture;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        QFile f(file);
        if (f.open(QIODevice::ReadOnly)) {
            picture.insert(file, QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1));
        }
    }
    return picture;
}

inline QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A table file's bytes without the time its header holds.
inline QByteArray TableBytes(const QString& path) {
    QByteArray bytes = FileBytes(path);
    if (bytes.size() >= 0x64) {
        bytes.replace(0x60, 4, QByteArray(4, '\0'));
    }
    return bytes;
}

inline void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// The sample forestry repeated `copies` times with quarters renumbered, so that every stand
// stays unique: a file that takes a while to import.
inline QByteArray BigForestry(int copies) {
    const QStringList lines =
        DecodeText(FileBytes(ProgramFixture::SampleDoviFile()), TextCodec::Windows1251)
            .split(QStringLiteral("\r\n"));
    const QStringList header = lines.mid(0, 7);
    const QStringList body = lines.mid(7);
    static const QRegularExpression quarter(QStringLiteral("(^|\\t)KV=(\\d+)"));
    QStringList out = header;
    for (int copy = 0; copy < copies; ++copy) {
        for (QString line : body) {
            const QRegularExpressionMatch match = quarter.match(line);
            if (match.hasMatch()) {
                const int kv = match.captured(2).toInt() + copy * 100;
                line.replace(match.capturedStart(2), match.capturedLength(2), QString::number(kv));
            }
            out.append(line);
        }
    }
    return EncodeText(out.join(QStringLiteral("\r\n")), TextCodec::Windows1251);
}

}  // namespace converter::testing
