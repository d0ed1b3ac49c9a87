#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace converter {

enum class TextCodec { Windows1251, Cp866 };

// Reads a whole text file as lines: CR LF, a lone CR and a lone LF each end a line; a final line
// without an end is kept. No trimming. A file that cannot be opened is a Failure naming it.
QStringList ReadTextLines(const QString& path, TextCodec codec);

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
QString DecodeText(const QByteArray& bytes, TextCodec codec);
// Unmappable characters become "?" and are added to *unmappable when given.
QByteArray EncodeText(const QString& text, TextCodec codec, int* unmappable = nullptr);

}  // namespace converter
