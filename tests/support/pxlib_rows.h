#pragma once

// Only for tests that link pxlib (their folder's tests get HAVE_PXLIB).
#ifdef HAVE_PXLIB

#include "common/text_file.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>

extern "C" {
#include <paradox.h>
}

namespace converter::testing {

// The rows of a table as pxlib, which we did not write, reads them: "value|value|...", blank as
// "-", in file order. A value whose bytes are all zero
// is blank; pxlib itself misreads blank longs.
inline QStringList PxlibRows(const QString& path) {
    pxdoc_t* doc = PX_new();
    if (PX_open_file(doc, QFile::encodeName(path).constData()) < 0) {
        PX_delete(doc);
        return {"pxlib cannot open " + path};
    }
    const int fieldCount = PX_get_num_fields(doc);
    pxfield_t* fields = PX_get_fields(doc);
    QByteArray record(doc->px_head->px_recordsize, '\0');
    QStringList rows;
    for (int r = 0; r < PX_get_num_records(doc); ++r) {
        if (!PX_get_record(doc, r, record.data())) {
            rows.append("unreadable record");
            continue;
        }
        QStringList values;
        int offset = 0;
        for (int f = 0; f < fieldCount; ++f) {
            char* data = record.data() + offset;
            const int length = fields[f].px_flen;
            offset += length;
            if (QByteArray(data, length).count('\0') == length) {
                values.append("-");
                continue;
            }
            switch (fields[f].px_ftype) {
                case pxfShort: {
                    short value = 0;
                    PX_get_data_short(doc, data, length, &value);
                    values.append(QString::number(value));
                    break;
                }
                case pxfLong: {
                    long value = 0;
                    PX_get_data_long(doc, data, length, &value);
                    values.append(QString::number(value));
                    break;
                }
                case pxfNumber: {
                    double value = 0;
                    PX_get_data_double(doc, data, length, &value);
                    values.append(QString::number(value));
                    break;
                }
                case pxfAlpha: {
                    char* value = nullptr;
                    PX_get_data_alpha(doc, data, length, &value);
                    values.append(DecodeText(QByteArray(value), TextCodec::Windows1251));
                    doc->free(doc, value);
                    break;
                }
                default:
                    values.append("?");
            }
        }
        rows.append(values.join('|'));
    }
    PX_close(doc);
    PX_delete(doc);
    return rows;
}

}  // namespace converter::testing

#endif
