#include "common/report.h"

#include "common/failure.h"
#include "common/file_errors.h"
#include "common/platform_files.h"
#include "common/program_folder.h"
#include "common/safe_write.h"
#include "common/text_file.h"
#include "common/ui.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

namespace converter {

namespace {

const QString kReportsFolder = QStringLiteral("reports");

// The fixed name under reports/ that keeps the latest report of a kind; empty for no copy.
QString FixedCopyName(int kind) {
    switch (kind) {
        case kReportImport:
            return QStringLiteral("создание базы.txt");
        case kReportFormation:
            return QStringLiteral("формирование справочника.txt");
        default:
            return {};
    }
}

void WriteReportFile(const QString& reportPath, const QString& header,
                     const std::vector<ReportSection>& sections) {
    const QStringList lines = ReportLines(header, sections);
    TextFileWriter writer(reportPath);
    for (const QString& line : lines) {
        writer.writeLine(line);
    }
    writer.commit();
}

void RemoveOldReport(const QString& path) {
    // ENOTDIR: no folder there, so no old report either.
    if (const int error = platform::RemoveFile(path); error != 0 && error != ENOTDIR) {
        ThrowFileError(QStringLiteral("Не удаётся удалить файл "), path, error);
    }
}

}  // namespace

QStringList ReportLines(const QString& header, const std::vector<ReportSection>& sections) {
    // Every operation hands over its full list of sections; an empty list means the caller lost
    // them, and a report that silently says "no faults" would hide that.
    if (sections.empty()) {
        throw Failure(QStringLiteral("Нет разделов отчета"));
    }
    // The path the Windows way there, as the user knows it.
    QStringList lines{QStringLiteral("Файл: ") + QDir::toNativeSeparators(header)};
    for (const ReportSection& section : sections) {
        if (section.count <= 0) {
            continue;
        }
        lines << QString() << QString()
              << section.caption + QStringLiteral(": ") + QString::number(section.count)
              << QString() << section.lines;
    }
    return lines;
}

QString WriteReport(Ui& ui, const QString& reportPath, const QString& header,
                    const std::vector<ReportSection>& sections, int kind,
                    const QString& shownPath) {
    // The outcome names the report, so that it can be found after the window was closed.
    const QString finalPath = shownPath.isEmpty() ? reportPath : shownPath;
    QString where;
    try {
        const QString reports = WritableProgramFolder(kReportsFolder);
        const QString copyName = FixedCopyName(kind);
        const QString copy = reports + QLatin1Char('/') + copyName;
        // The check's report is itself the copy under reports/.
        const bool copied = !copyName.isEmpty() && CanonicalPath(reportPath) != CanonicalPath(copy);
        // A report that cannot be written must not leave an older one standing as this run's.
        RemoveOldReport(reportPath);
        if (copied) {
            RemoveOldReport(copy);
        }
        WriteReportFile(reportPath, header, sections);

        if (!QFileInfo(reports).isDir()) {
            QDir().mkpath(QFileInfo(reports).absolutePath());
            if (const int error = platform::MakeFolder(reports)) {
                ThrowFileError(QStringLiteral("Не удалось создать папку: "), reports, error);
            }
        }
        where = QStringLiteral("Отчет сохранен в файле: ") + QDir::toNativeSeparators(finalPath);
        // A user of an installed program would look for the copy beside the program in vain.
        const bool perUser = reports != ProgramFile(kReportsFolder);
        if (copied) {
            // A report among staged files is copied once the final step has put it in place, so
            // that a copy never stands beside tables it does not describe.
            if (finalPath == reportPath) {
                CopyTextFile(reportPath, copy);
            }
            if (perUser) {
                where += QStringLiteral("\rКопия отчета сохранена в папке: ") +
                         QDir::toNativeSeparators(reports);
            }
        }
    } catch (...) {
        const Failure failure = CurrentFailure();
        throw Failure(QStringLiteral("Ошибка при формировании отчета\r") + failure.description(),
                      failure.source());
    }
    ShowReport(ui, reportPath, finalPath);
    return where;
}

void CopyPlacedReport(const QString& reportPath, int kind) {
    try {
        const QString copyName = FixedCopyName(kind);
        if (copyName.isEmpty()) {
            return;
        }
        const QString copy = WritableProgramFolder(kReportsFolder) + QLatin1Char('/') + copyName;
        if (CanonicalPath(reportPath) != CanonicalPath(copy)) {
            CopyTextFile(reportPath, copy);
        }
    } catch (...) {
        const Failure failure = CurrentFailure();
        throw Failure(QStringLiteral("Ошибка при формировании отчета\r") + failure.description(),
                      failure.source());
    }
}

void ShowReport(Ui& ui, const QString& reportPath, const QString& shownPath) {
    try {
        const QStringList lines = ReadTextLines(reportPath, TextCodec::Windows1251);
        QString text;
        for (const QString& line : lines) {
            text += line;
            text += QStringLiteral("\r\n");
        }
        ui.showReport(text, shownPath.isEmpty() ? reportPath : shownPath);
    } catch (...) {
        ui.showMessage(QStringLiteral("Ошибка при отображении отчета"), QString(),
                       MessageIcon::None);
    }
}

void CopyTextFile(const QString& source, const QString& target) {
    const QStringList lines = ReadTextLines(source, TextCodec::Windows1251);
    TextFileWriter writer(target);
    for (const QString& line : lines) {
        writer.writeLine(line);
    }
    writer.commit();
}

}  // namespace converter
