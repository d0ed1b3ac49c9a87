#include "import/dovi_file.h"

#include "common/failure.h"
#include "common/platform_files.h"
#include "common/text_file.h"
#include "common/ui.h"

#include <QFileInfo>

#include <algorithm>
#include <tuple>
#include <utility>

namespace converter {

namespace {

// The bytes read from the file at a time; a longer line is read whole.
constexpr qint64 kWindowBytes = qint64{1} << 20;

QStringView TrimBlanks(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' ')) {
        ++begin;
    }
    while (end > begin && text[end - 1] == QLatin1Char(' ')) {
        --end;
    }
    return text.mid(begin, end - begin);
}

}  // namespace

QString TrimBlanks(const QString& text) {
    return TrimBlanks(QStringView(text)).toString();
}

DoviReadResult ReadDoviFile(Ui& ui, const QString& path, DoviLines& lines) {
    if (!QFileInfo(path).isFile()) {
        return DoviReadResult::Missing;
    }
    lines.clear();
    try {
        lines.open(path);
    } catch (...) {
        lines.clear();
        ui.showMessage(QStringLiteral("Ошибка при чтении файла"), QString(), MessageIcon::None);
        return DoviReadResult::Failed;
    }
    return lines.isEmpty() ? DoviReadResult::Empty : DoviReadResult::Read;
}

DoviLines::DoviLines() = default;
DoviLines::~DoviLines() = default;

void DoviLines::open(const QString& path) {
    clear();
    file_ = std::make_unique<QFile>(path);
    if (!file_->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        failRead();
    }
    std::tie(openedSize_, openedChange_) = platform::OpenFileStamp(file_->handle());
    const qint64 size = file_->size();
    if (static_cast<quint64>(size) >= kLongestText) {
        throw Failure(QStringLiteral("Файл длиннее 4 ГБ"));
    }
    // The text ends before the DOS end marks and NUL padding at the very end.
    textEnd_ = size;
    while (textEnd_ > 0) {
        const qint64 from = std::max<qint64>(0, textEnd_ - kWindowBytes);
        const QByteArrayView piece = readAt(from, textEnd_ - from);
        textEnd_ = from + TextEnd(piece).size();
        if (textEnd_ > from) {
            break;
        }
    }
    LineStartFinder finder;
    for (qint64 from = 0; from < textEnd_; from += kWindowBytes) {
        finder.feed(readAt(from, std::min<qint64>(kWindowBytes, textEnd_ - from)));
    }
    starts_ = finder.finish();
}

void DoviLines::checkUnchanged() const {
    if (file_ &&
        platform::OpenFileStamp(file_->handle()) != std::pair(openedSize_, openedChange_)) {
        throw Failure(QStringLiteral("Ошибка при чтении файла: ") + file_->fileName() +
                      QStringLiteral("\rФайл был изменен во время импорта"));
    }
}

void DoviLines::clear() {
    file_.reset();
    starts_.clear();
    starts_.shrink_to_fit();
    textEnd_ = 0;
    window_.clear();
    windowStart_ = 0;
}

QByteArrayView DoviLines::readAt(qint64 from, qint64 length) const {
    window_.resize(length);
    windowStart_ = from;
    if (!file_->seek(from) || file_->read(window_.data(), length) != length) {
        window_.clear();
        failRead();
    }
    return window_;
}

void DoviLines::failRead() const {
    throw Failure(QStringLiteral("Ошибка при чтении файла: ") + file_->fileName() +
                  QLatin1Char('\r') + file_->errorString());
}

QByteArrayView DoviLines::lineBytes(qsizetype index) const {
    const qint64 begin = starts_[static_cast<size_t>(index)];
    // The next line's start bounds the search for this one's end, whatever the file holds now.
    const qint64 limit =
        index + 1 < size() ? qint64{starts_[static_cast<size_t>(index) + 1]} : textEnd_;
    if (begin < windowStart_ || limit > windowStart_ + window_.size()) {
        readAt(begin, std::max(limit, std::min(begin + kWindowBytes, textEnd_)) - begin);
    }
    const QByteArrayView bytes =
        QByteArrayView(window_).sliced(begin - windowStart_, limit - begin);
    return bytes.first(LineEnd(bytes, 0));
}

QString DoviLines::operator[](qsizetype index) const {
    const QByteArrayView line = lineBytes(index);
    const char* data = line.data();
    qsizetype begin = 0;
    qsizetype end = line.size();
    // Blanks and tabs are the same bytes in the code page, so the line is trimmed before decoding.
    while (begin < end && data[begin] == ' ') {
        ++begin;
    }
    while (end > begin && data[end - 1] == ' ') {
        --end;
    }
    // A line of tabs and blanks holds no item: it ends the stand as an empty line does, or the
    // next stand's keys would overwrite the open one.
    if (std::all_of(data + begin, data + end, [](char c) { return c == '\t' || c == ' '; })) {
        return QString();
    }
    return DecodeText(QByteArrayView(data + begin, end - begin), TextCodec::Windows1251);
}

QStringList DoviLines::toList() const {
    QStringList list;
    list.reserve(size());
    for (qsizetype i = 0; i < size(); ++i) {
        list.append((*this)[i]);
    }
    return list;
}

void SplitDoviLine(QStringView upperLine, DoviLine& line) {
    line.items.clear();
    line.elementLine = upperLine.startsWith(QLatin1String("M#10"));
    qsizetype start = 0;
    while (start <= upperLine.size()) {
        qsizetype tab = upperLine.indexOf(QLatin1Char('\t'), start);
        if (tab < 0) {
            tab = upperLine.size();
        }
        const QStringView item = TrimBlanks(upperLine.mid(start, tab - start));
        start = tab + 1;
        if (item.isEmpty()) {
            continue;
        }
        const qsizetype equals = item.indexOf(QLatin1Char('='));
        if (equals < 0) {
            if (!item.startsWith(QLatin1String("M#"))) {
                line.items.push_back({DoviItem::Kind::MissingEquals, {}, {}});
            }
        } else if (item.indexOf(QLatin1Char('='), equals + 1) >= 0) {
            line.items.push_back({DoviItem::Kind::MissingTab, {}, {}});
        } else {
            line.items.push_back({DoviItem::Kind::Pair, item.left(equals), item.mid(equals + 1)});
        }
    }
}

}  // namespace converter
