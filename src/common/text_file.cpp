#include "common/text_file.h"

#include "common/code_page.h"
#include "common/failure.h"
#include "common/file_errors.h"
#include "common/platform_files.h"
#include "common/safe_write.h"
#include "common/write_fault.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace converter {

namespace {

const CodePage& CodePageOf(TextCodec codec) {
    return CodePageFor(codec == TextCodec::Cp866 ? 866 : 1251);
}

const QByteArray kLineEnd("\r\n");

}  // namespace

QString DecodeText(QByteArrayView bytes, TextCodec codec) {
    return CodePageOf(codec).decode(bytes.data(), bytes.size());
}

QByteArray EncodeText(const QString& text, TextCodec codec, int* unmappable) {
    return CodePageOf(codec).encodeReplacing(text, unmappable);
}

QByteArrayView TextEnd(QByteArrayView bytes) {
    qsizetype end = bytes.size();
    while (end > 0 && (bytes[end - 1] == '\x1A' || bytes[end - 1] == '\0')) {
        --end;
    }
    return bytes.first(end);
}

void LineStartFinder::feed(QByteArrayView piece) {
    const char* data = piece.data();
    const qsizetype size = piece.size();
    // The byte `back` places before data[i], looking into the previous piece when needed.
    const auto before = [&](qsizetype i, qsizetype back) {
        if (i >= back) {
            return data[i - back];
        }
        return i - back == -1 ? last_ : beforeLast_;
    };
    for (qsizetype i = 0; i < size; ++i) {
        const char c = data[i];
        if (c != '\r' && c != '\n') {
            afterReturn_ = false;
            continue;
        }
        const quint64 at = position_ + static_cast<quint64>(i);
        if (c == '\n') {
            ++feeds_;
            doubledEnds_ += at >= 2 && before(i, 1) == '\r' && before(i, 2) == '\r' ? 1 : 0;
            if (afterReturn_) {
                // The LF of a CR LF: the line ended at the CR.
                afterReturn_ = false;
                start_ = at + 1;
                continue;
            }
        } else {
            ++returns_;
        }
        starts_.push_back(static_cast<quint32>(start_));
        start_ = at + 1;
        afterReturn_ = c == '\r';
    }
    if (size >= 2) {
        beforeLast_ = data[size - 2];
        last_ = data[size - 1];
    } else if (size == 1) {
        beforeLast_ = last_;
        last_ = data[0];
    }
    position_ += static_cast<quint64>(size);
}

std::vector<quint32> LineStartFinder::finish() {
    if (start_ < position_) {
        starts_.push_back(static_cast<quint32>(start_));
    }
    // A file converted to CR LF twice ends every line with CR CR LF; read as it is, each line would
    // be followed by an empty one. Only when every line end has that form is it one line end: then
    // every other start found is such an empty line.
    const bool doubled = feeds_ > 0 && doubledEnds_ == feeds_ && returns_ == 2 * feeds_;
    if (doubled) {
        size_t kept = 0;
        for (size_t i = 0; i < starts_.size(); i += 2) {
            starts_[kept++] = starts_[i];
        }
        starts_.resize(kept);
    }
    return std::move(starts_);
}

qsizetype LineEnd(QByteArrayView text, qsizetype start) {
    const char* data = text.data();
    qsizetype end = start;
    while (end < text.size() && data[end] != '\r' && data[end] != '\n') {
        ++end;
    }
    return end;
}

QByteArray ReadFileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw Failure(QStringLiteral("Не удалось открыть файл: ") + path + QLatin1Char('\r') +
                      file.errorString());
    }
    // Read at the size the file has: readAll grows its buffer by doubling, up to twice the file.
    QByteArray bytes(file.size(), Qt::Uninitialized);
    const qint64 read = file.read(bytes.data(), bytes.size());
    if (read >= 0) {
        bytes.truncate(read);
    }
    if (read < 0 || file.error() != QFileDevice::NoError) {
        throw Failure(QStringLiteral("Ошибка при чтении файла: ") + path + QLatin1Char('\r') +
                      file.errorString());
    }
    return bytes;
}

QStringList ReadTextLines(const QString& path, TextCodec codec) {
    const QByteArray bytes = ReadFileBytes(path);
    const QByteArrayView text = TextEnd(bytes);
    if (static_cast<quint64>(text.size()) >= kLongestText) {
        throw Failure(QStringLiteral("Файл длиннее 4 ГБ: ") + path);
    }
    LineStartFinder finder;
    finder.feed(text);
    QStringList lines;
    for (const quint32 start : finder.finish()) {
        lines.append(DecodeText(text.sliced(start, LineEnd(text, start) - start), codec));
    }
    return lines;
}

// A replaced file is written under a temporary name beside it that a later run recognises as a
// leftover (TemporaryPathFor), synced, and renamed over the target; the folder is synced after.
struct TextFileWriter::Impl {
    QString path;
    Mode mode;
    QString temporary;
    int handle = -1;
    QByteArray pending;
    QFile appended;
    bool committed = false;

    Impl(const QString& target, Mode writeMode) : path(target), mode(writeMode), appended(target) {}

    ~Impl() {
        if (handle >= 0) {
            platform::CloseFile(handle);
            platform::RemoveFile(temporary);
        }
    }

    [[noreturn]] void fail(const QString& what, int error) {
        if (handle >= 0) {
            platform::CloseFile(handle);
            handle = -1;
            platform::RemoveFile(temporary);
        }
        // Shown as the user's file; the reason is the temporary file's, ours.
        ThrowFileError(what, temporary.isEmpty() ? path : temporary, error);
    }

    void open() {
        if (mode == Mode::Append) {
            if (!appended.open(QIODevice::WriteOnly | QIODevice::Append)) {
                throw Failure(QStringLiteral("Не удалось открыть файл для записи: ") + path +
                              QLatin1Char('\r') + appended.errorString());
            }
            return;
        }
        const QString folder = QFileInfo(path).absolutePath();
        RemoveTemporariesOfEndedRuns(folder);
        temporary = TemporaryPathFor(path);
        if (const int error = platform::CreateFile(temporary, handle)) {
            handle = -1;
            fail(QStringLiteral("Не удалось открыть файл для записи: "), error);
        }
    }

    void flushPending() {
        if (const int error = platform::WriteAll(handle, pending.constData(), pending.size())) {
            fail(QStringLiteral("Ошибка при записи в файл: "), error);
        }
        pending.clear();
    }

    void write(const QByteArray& bytes) {
        if (mode == Mode::Append) {
            if (appended.write(bytes) != bytes.size()) {
                throw Failure(QStringLiteral("Ошибка при записи в файл: ") + path +
                              QLatin1Char('\r') + appended.errorString());
            }
            return;
        }
        pending += bytes;
        if (pending.size() >= (1 << 16)) {
            flushPending();
        }
    }

    void finish() {
        if (mode == Mode::Append) {
            const bool flushed = appended.flush() && appended.error() == QFileDevice::NoError;
            const QString reason = appended.errorString();
            appended.close();
            if (!flushed) {
                throw Failure(QStringLiteral("Ошибка при записи в файл: ") + path +
                              QLatin1Char('\r') + reason);
            }
            return;
        }
        flushPending();
        if (const int error = platform::SyncHandle(handle)) {
            fail(QStringLiteral("Ошибка при записи в файл: "), error);
        }
        const int closed = platform::CloseFile(handle);
        handle = -1;
        if (closed != 0) {
            platform::RemoveFile(temporary);
            ThrowFileError(QStringLiteral("Ошибка при записи в файл: "), temporary, closed);
        }
        if (const int error = platform::RenameOver(temporary, path)) {
            platform::RemoveFile(temporary);
            ThrowFileError(QStringLiteral("Не удаётся заменить файл "), path, error);
        }
        // The new name is on the disk only once its folder is.
        if (const int error = platform::SyncPath(QFileInfo(path).absolutePath())) {
            ThrowFileError(QStringLiteral("Ошибка при записи в файл: "), path, error);
        }
    }
};

TextFileWriter::TextFileWriter(const QString& path, Mode mode)
    : impl_(std::make_unique<Impl>(path, mode)) {
    impl_->open();
}

TextFileWriter::~TextFileWriter() = default;

void TextFileWriter::writeLine(const QString& line) {
    if (impl_->committed) {
        throw Failure(QStringLiteral("Файл уже закрыт: ") + impl_->path);
    }
    const QByteArray bytes = EncodeText(line, TextCodec::Windows1251, &unmappable_) + kLineEnd;
    if (WriteFaultDue()) {
        impl_->fail(QStringLiteral("Ошибка при записи в файл: "), ENOSPC);
    }
    impl_->write(bytes);
}

void TextFileWriter::commit() {
    if (impl_->committed) {
        return;
    }
    impl_->committed = true;
    if (WriteFaultDue()) {
        if (impl_->mode == Mode::Append) {
            impl_->appended.close();
        }
        impl_->fail(QStringLiteral("Ошибка при записи в файл: "), ENOSPC);
    }
    impl_->finish();
}

}  // namespace converter
