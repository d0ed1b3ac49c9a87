#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

namespace converter {

class Ui;

// Lines of a Dovi per-stand file, blanks trimmed at both ends (tabs kept). Line number i of the
// file is entry i - 1. The file is held as its bytes and where each line starts, and a line is
// decoded when asked for, so that a large file is not held three times over.
class DoviLines {
public:
    qsizetype size() const { return static_cast<qsizetype>(starts_.size()); }
    bool isEmpty() const { return starts_.empty(); }
    QString operator[](qsizetype index) const;
    QString last() const { return (*this)[size() - 1]; }
    QStringList toList() const;

    // Takes a whole file's bytes: CR LF, a lone CR and a lone LF each end a line, and a final
    // line without an end is kept. A Failure for a file of 4 GiB or more.
    void assign(QByteArray bytes);
    void clear();

private:
    QByteArray bytes_;
    std::vector<quint32> starts_;
};

enum class DoviReadResult {
    Read,     // at least one line
    Missing,  // no file at the path; nothing shown
    Empty,    // the file holds no line; nothing shown
    Failed,   // a read error, shown as "Ошибка при чтении файла"
};

// Reads the Windows-1251 file into `lines` (replacing what they held).
DoviReadResult ReadDoviFile(Ui& ui, const QString& path, DoviLines& lines);

// Removes blanks (not tabs) at both ends.
QString TrimBlanks(const QString& text);

// One item of a data line.
struct DoviItem {
    enum class Kind { Pair, MissingEquals, MissingTab };
    Kind kind = Kind::Pair;
    QStringView name;  // a pair only; views into the split line
    QStringView value;
};

// A data line split as the import reads it: the line must be upper-cased already. Markers
// (M#...) and empty items are skipped; an item without "=" is MissingEquals, one with two or
// more is MissingTab.
struct DoviLine {
    bool elementLine = false;  // begins with "M#10"
    std::vector<DoviItem> items;
};
void SplitDoviLine(QStringView upperLine, DoviLine& line);

}  // namespace converter
