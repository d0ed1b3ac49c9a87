#include "import/dovi_file.h"

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
        lines = ReadTextLines(path, TextCodec::Windows1251);
    } catch (...) {
        lines.clear();
        ui.showMessage(QStringLiteral("Ошибка при чтении файла"), QString(), MessageIcon::None);
        return DoviReadResult::Failed;
    }
    for (QString& line : lines) {
        const QStringView trimmed = TrimBlanks(QStringView(line));
        // A line of tabs and blanks holds no item: it ends the stand as an empty line does, or
        // the next stand's keys would overwrite the open one.
        const bool blank = std::all_of(trimmed.begin(), trimmed.end(), [](QChar c) {
            return c == QLatin1Char('\t') || c == QLatin1Char(' ');
        });
        if (blank) {
            line.clear();
        } else if (trimmed.size() != line.size()) {
            line = trimmed.toString();
        }
    }
    return lines.isEmpty() ? DoviReadResult::Empty : DoviReadResult::Read;
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
