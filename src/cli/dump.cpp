#include "cli/dump.h"

#include "cli/console_ui.h"
#include "common/failure.h"
#include "common/platform_console.h"
#include "common/safe_write.h"
#include "common/utilities.h"
#include "storage/database.h"

#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QTime>

namespace converter {

namespace {

QString Escape(const QString& text) {
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
            case '\t':
                escaped += QStringLiteral("\\t");
                break;
            case '\n':
                escaped += QStringLiteral("\\n");
                break;
            case '\r':
                escaped += QStringLiteral("\\r");
                break;
            case '\\':
                escaped += QStringLiteral("\\\\");
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

void Write(std::FILE* stream, const QString& text) {
    WriteText(stream, text);
}

}  // namespace

QString DumpValue(const QVariant& value) {
    if (value.isNull()) {
        return {};
    }
    switch (value.userType()) {
        case QMetaType::Bool:
            return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::LongLong:
        case QMetaType::UInt:
            return QString::number(value.toLongLong());
        case QMetaType::Double:
        case QMetaType::Float:
            return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
        case QMetaType::QDate:
            return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
        case QMetaType::QTime:
            return value.toTime().toString(QStringLiteral("HH:mm:ss"));
        case QMetaType::QDateTime:
            return value.toDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
        case QMetaType::QByteArray:
            return QString::fromLatin1(value.toByteArray().toHex());
        default:
            return Escape(value.toString());
    }
}

int DumpTable(const QString& file, const QString& table, std::FILE* out, std::FILE* err) {
    try {
        const QFileInfo info(file);
        // A table that a killed run was replacing is completed or dropped before it is read.
        ConsoleUi ui(err);
        FolderRecovery recovery;
        if (!recovery.recover(ui, info.absolutePath())) {
            return 2;
        }
        RecordsetPtr recordset;
        if (info.suffix().compare(QStringLiteral("mdb"), Qt::CaseInsensitive) == 0) {
            recordset = OpenRecordset(BuildConnectionString(kAccessFile, info.absoluteFilePath()),
                                      table, kSourceTable);
        } else {
            recordset =
                OpenRecordset(BuildConnectionString(kParadoxFolder, info.absoluteFilePath()),
                              info.completeBaseName(), kSourceTable);
        }
        QString header;
        for (int i = 0; i < recordset->fieldCount(); ++i) {
            header += (i ? QStringLiteral("\t") : QString()) + Escape(recordset->field(i).name);
        }
        Write(out, header + QLatin1Char('\n'));
        for (recordset->moveFirst(); !recordset->eof(); recordset->moveNext()) {
            QString line;
            for (int i = 0; i < recordset->fieldCount(); ++i) {
                line += (i ? QStringLiteral("\t") : QString()) + DumpValue(recordset->value(i));
            }
            Write(out, line + QLatin1Char('\n'));
        }
        CloseRecordset(recordset);
        std::fflush(out);
        return 0;
    } catch (...) {
        const Failure failure = CurrentFailure();
        Write(err, file + QStringLiteral(": ") + failure.description() + QLatin1Char('\n'));
        return 2;
    }
}

}  // namespace converter
