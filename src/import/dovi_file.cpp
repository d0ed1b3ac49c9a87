#include "import/dovi_file.h"

#include "common/failure.h"
#include "common/text_file.h"
#include "common/ui.h"

#include <QFileInfo>

#include <algorithm>

namespace converter {

namespace {

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
        lines.assign(ReadFileBytes(path));
    } catch (...) {
        lines.clear();
        ui.showMessage(QStringLiteral("Ошибка при чтении файла"), QString(), MessageIcon::None);
        return DoviReadResult::Failed;
    }
    return lines.isEmpty() ? DoviReadResult::Empty : DoviReadResult::Read;
}

void DoviLines::assign(QByteArray bytes) {
    clear();
    if (static_cast<quint64>(bytes.size()) >= 0xFFFFFFFFull) {
        throw Failure(QStringLiteral("Файл длиннее 4 ГБ"));
    }
    bytes_ = std::move(bytes);
    bytes_.truncate(TextEnd(bytes_).size());
    FindLineStarts(bytes_,
                   [this](qsizetype start) { starts_.push_back(static_cast<quint32>(start)); });
}

void DoviLines::clear() {
    bytes_.clear();
    starts_.clear();
    starts_.shrink_to_fit();
}

QString DoviLines::operator[](qsizetype index) const {
    const char* data = bytes_.constData();
    qsizetype begin = starts_[static_cast<size_t>(index)];
    qsizetype end = LineEnd(bytes_, begin);
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
