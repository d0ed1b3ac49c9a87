#pragma once

#include "common/qt_compat.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <vector>

namespace converter {

class Ui;

// Lines of a Dovi per-stand file, blanks trimmed at both ends (tabs kept). Line number i of the
// file is entry i - 1. Only where each line starts is held: a line's bytes are read from the open
// file, through a window of about a megabyte, when the line is asked for, so that a large file
// does not sit in memory beside the tables the import builds.
class DoviLines {
public:
    DoviLines();
    ~DoviLines();
    DoviLines(const DoviLines&) = delete;
    DoviLines& operator=(const DoviLines&) = delete;

    qsizetype size() const { return static_cast<qsizetype>(starts_.size()); }
    bool isEmpty() const { return starts_.empty(); }
    // A Failure when the line's bytes can no longer be read (the file was cut short since).
    QString operator[](qsizetype index) const;
    QString last() const { return (*this)[size() - 1]; }
    QStringList toList() const;
    // A Failure when the file was written to since it was opened: its lines were read at
    // different times, so a conversion from them may mix two versions of the file.
    void checkUnchanged() const;

    // Opens the file and finds its lines: CR LF, a lone CR and a lone LF each end a line, and a
    // final line without an end is kept. A Failure when it cannot be read, and for a file of
    // 4 GiB or more.
    void open(const QString& path);
    void clear();

private:
    // Reads `length` bytes at `from` into the window and returns them; a Failure on a short read.
    QByteArrayView readAt(qint64 from, qint64 length) const;
    QByteArrayView lineBytes(qsizetype index) const;
    [[noreturn]] void failRead() const;

    std::unique_ptr<QFile> file_;
    std::vector<quint32> starts_;
    qint64 textEnd_ = 0;  // before DOS end marks and NUL padding
    qint64 openedSize_ = 0;
    qint64 openedChange_ = 0;  // the file's modification time in nanoseconds
    mutable QByteArray window_;
    mutable qint64 windowStart_ = 0;
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
