#include "common/report.h"

#include "common/failure.h"
#include "common/program_folder.h"
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
    TextFileWriter writer(reportPath);
    writer.writeLine(QStringLiteral("Файл: ") + header);
    // Every operation hands over its full list of sections; an empty list means the caller lost
    // them, and a report that silently says "no faults" would hide that.
    if (sections.empty()) {
        throw Failure(QStringLiteral("Нет разделов отчета"));
    }
    for (const ReportSection& section : sections) {
        if (section.count <= 0) {
            continue;
        }
        writer.writeLine(QString());
        writer.writeLine(QString());
        writer.writeLine(section.caption + QStringLiteral(": ") + QString::number(section.count));
        writer.writeLine(QString());
        for (const QString& line : section.lines) {
            writer.writeLine(line);
        }
    }
    writer.commit();
}

}  // namespace

void WriteReport(Ui& ui, const QString& reportPath, const QString& header,
                 const std::vector<ReportSection>& sections, int kind) {
    try {
        WriteReportFile(reportPath, header, sections);

        QDir programFolder(ProgramFolder());
        if (!QFileInfo(programFolder.filePath(kReportsFolder)).isDir() &&
            !programFolder.mkpath(kReportsFolder)) {
            throw Failure(QStringLiteral("Не удалось создать папку: ") +
                          programFolder.filePath(kReportsFolder));
        }
        const QString copyName = FixedCopyName(kind);
        if (!copyName.isEmpty()) {
            CopyTextFile(reportPath, ProgramFile(kReportsFolder + QLatin1Char('/') + copyName));
        }
        ShowReport(ui, reportPath);
    } catch (...) {
        ui.showMessage(QStringLiteral("Ошибка при формировании отчета"), QString(),
                       MessageIcon::Warning);
    }
}

void ShowReport(Ui& ui, const QString& reportPath) {
    try {
        const QStringList lines = ReadTextLines(reportPath, TextCodec::Windows1251);
        QString text;
        for (const QString& line : lines) {
            text += line;
            text += QStringLiteral("\r\n");
        }
        ui.showReport(text);
    } catch (...) {
        ui.showMessage(QStringLiteral("Ошибка при отображении отчета"), QString(),
                       MessageIcon::None);
    }
}

void CopyTextFile(const QString& source, const QString& target) {
    try {
        const QStringList lines = ReadTextLines(source, TextCodec::Windows1251);
        TextFileWriter writer(target);
        for (const QString& line : lines) {
            writer.writeLine(line);
        }
        writer.commit();
    } catch (...) {
        // A missing copy is not worth interrupting the operation for: the report itself exists.
    }
}

}  // namespace converter
