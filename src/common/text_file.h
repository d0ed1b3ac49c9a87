#pragma once

#include "common/qt_compat.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace converter {

enum class TextCodec { Windows1251, Cp866 };

// Reads a whole text file as lines: CR LF, a lone CR and a lone LF each end a line, except that
// when every line end is CR CR LF (a file converted twice) each of those is one line end. A final
// line without an end is kept; DOS end-of-file marks (0x1A) and NUL bytes at the very end are not
// text. No trimming. A file that cannot be opened is a Failure naming it.
QStringList ReadTextLines(const QString& path, TextCodec codec);
// The bytes of a whole file; a file that cannot be opened or read is a Failure naming it.
QByteArray ReadFileBytes(const QString& path);
// The text part of a file's bytes: without DOS end marks (0x1A) and NUL bytes at the very end.
QByteArrayView TextEnd(QByteArrayView bytes);
// Where the lines of a text begin, by the line ends ReadTextLines follows, for a text fed a piece
// at a time (a large file need not be held whole); a line runs from its start to LineEnd. The
// offsets take 32 bits: the callers refuse texts of 4 GiB or more.
class LineStartFinder {
public:
    void feed(QByteArrayView piece);
    // Call once, after the whole text was fed.
    std::vector<quint32> finish();

private:
    std::vector<quint32> starts_;
    quint64 position_ = 0;  // of the next byte fed
    quint64 start_ = 0;     // of the line under way
    bool afterReturn_ = false;
    char last_ = 0;  // the last two bytes fed, for a line end split between pieces
    char beforeLast_ = 0;
    quint64 feeds_ = 0;
    quint64 returns_ = 0;
    quint64 doubledEnds_ = 0;
};
// Texts this long or longer are refused: their line offsets would not fit.
inline constexpr quint64 kLongestText = 0xFFFFFFFFull;
// Where the line that begins at `start` ends: its first CR or LF, or the end of the text.
qsizetype LineEnd(QByteArrayView text, qsizetype start);

// Writes lines in Windows-1251, each ended by CR LF. A new file is written to a temporary file
// and replaces the target only on commit(), so a failed write never leaves a truncated file;
// append mode adds to the end of an existing file. Characters the code page cannot hold are
// written as "?" and counted, never dropped silently. Failures are thrown.
class TextFileWriter {
public:
    enum class Mode { Replace, Append };

    explicit TextFileWriter(const QString& path, Mode mode = Mode::Replace);
    ~TextFileWriter();  // without commit() a replaced file is left as it was

    void writeLine(const QString& line);
    void commit();
    int unmappableCount() const { return unmappable_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int unmappable_ = 0;
};

// Conversions used by the readers and writers (and by tests).
QString DecodeText(QByteArrayView bytes, TextCodec codec);
// Unmappable characters become "?" and are added to *unmappable when given.
QByteArray EncodeText(const QString& text, TextCodec codec, int* unmappable = nullptr);

}  // namespace converter
