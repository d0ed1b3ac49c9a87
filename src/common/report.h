#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace converter {

class Ui;

// One group of faults of one kind; `count` always equals the number of lines.
struct ReportSection {
    int count = 0;
    QString caption;
    QStringList lines;

    void add(const QString& line) {
        ++count;
        lines.append(line);
    }
};

// Report kinds: which fixed-name copy goes into reports/.
inline constexpr int kReportImport = 1;     // "создание базы.txt"
inline constexpr int kReportFormation = 2;  // "формирование справочника.txt"
inline constexpr int kReportCheck = 3;      // no copy

// The report's text: "Файл: " and the header, then every section that holds faults, two empty
// lines, its caption with the count and an empty line in front of its lines. A Failure when the
// list holds no section at all.
QStringList ReportLines(const QString& header, const std::vector<ReportSection>& sections);

// Writes the report (Windows-1251, CR LF), copies it into reports/ beside the program by kind,
// and shows it in the report panel. A report that cannot be written fails its operation: a
// Failure ("Ошибка при формировании отчета", the file and the reason), and the old report and
// copy are gone, so that none stands as this run's. When reports/ is the per-user one (the
// program folder takes no files), returns the line for the operation's outcome that names it,
// if a report or copy went there; else empty.
QString WriteReport(Ui& ui, const QString& reportPath, const QString& header,
                    const std::vector<ReportSection>& sections, int kind);
void ShowReport(Ui& ui, const QString& reportPath);
// Copies a text file line by line, ending every line with CR LF; a Failure when it cannot.
void CopyTextFile(const QString& source, const QString& target);

}  // namespace converter
