#include "common/report.h"

#include "common/failure.h"
#include "common/program_folder.h"
#include "common/safe_write.h"
#include "common/text_file.h"
#include "common/ui.h"

#include <QDir>
#include <QFileInfo>

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

}  // namespace

QStringList ReportLines(const QString& header, const std::vector<ReportSection>& sections) {
    // Every operation hands over its full list of sections; an empty list means the caller lost
    // them, and a report that silently says "no faults" would hide that.
    if (sections.empty()) {
        throw Failure(QStringLiteral("Нет разделов отчета"));
    }
    QStringList lines{QStringLiteral("Файл: ") + header};
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
    try {
        WriteReportFile(reportPath, header, sections);

        const QString reports = WritableProgramFolder(kReportsFolder);
        if (!QFileInfo(reports).isDir() && !QDir().mkpath(reports)) {
            throw Failure(QStringLiteral("Не удалось создать папку: ") + reports);
        }
        // The outcome names the report, so that it can be found after the window was closed.
        const QString finalPath = shownPath.isEmpty() ? reportPath : shownPath;
        QString where =
            QStringLiteral("Отчет сохранен в файле: ") + QDir::toNativeSeparators(finalPath);
        // A user of an installed program would look for the copy beside the program in vain.
        const bool perUser = reports != ProgramFile(kReportsFolder);
        const QString copyName = FixedCopyName(kind);
        // The check's report is itself the copy under reports/.
        if (!copyName.isEmpty() &&
            CanonicalPath(reportPath) != CanonicalPath(reports + QLatin1Char('/') + copyName)) {
            if (CopyTextFile(reportPath, reports + QLatin1Char('/') + copyName) && perUser) {
                where += QStringLiteral("\rКопия отчета сохранена в папке: ") +
                         QDir::toNativeSeparators(reports);
            }
        }
        ShowReport(ui, reportPath, finalPath);
        return where;
    } catch (...) {
        ui.showMessage(QStringLiteral("Ошибка при формировании отчета"), QString(),
                       MessageIcon::Warning);
        return {};
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

bool CopyTextFile(const QString& source, const QString& target) {
    try {
        const QStringList lines = ReadTextLines(source, TextCodec::Windows1251);
        TextFileWriter writer(target);
        for (const QString& line : lines) {
            writer.writeLine(line);
        }
        writer.commit();
        return true;
    } catch (...) {
        // A missing copy is not worth interrupting the operation for: the report itself exists.
        return false;
    }
}

}  // namespace converter
