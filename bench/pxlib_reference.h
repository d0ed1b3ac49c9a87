#pragma once

// pxlib's file interface, the reference the Paradox engine is measured against: the same records
// written with PX_put_record and read back, field by field, with PX_get_record.
#ifdef HAVE_PXLIB

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstring>
#include <vector>

extern "C" {
#include <paradox.h>
}

namespace converter::bench {

struct PxlibColumn {
    QByteArray name;
    char type = pxfAlpha;  // pxfShort, pxfLong, pxfNumber or pxfAlpha
    int length = 0;
};

// Creates `path` and writes `rows` records, record `r` made by `fill(doc, record, r)` with
// PX_put_data_*; false when pxlib refuses.
template <typename Fill>
bool PxlibWrite(const QString& path, const std::vector<PxlibColumn>& columns, int keyFields,
                int rows, Fill fill) {
    pxdoc_t* doc = PX_new();
    // The document keeps the descriptors and frees them, names included, when it is closed.
    auto* fields = static_cast<pxfield_t*>(
        doc->malloc(doc, sizeof(pxfield_t) * columns.size(), "field descriptors"));
    int recordSize = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
        const QByteArray& name = columns[i].name;
        auto* copy =
            static_cast<char*>(doc->malloc(doc, static_cast<size_t>(name.size()) + 1, "name"));
        std::memcpy(copy, name.constData(), static_cast<size_t>(name.size()) + 1);
        fields[i] = pxfield_t{copy, columns[i].type, columns[i].length, 0};
        recordSize += columns[i].length;
    }
    bool ok = PX_create_file(doc, fields, static_cast<int>(columns.size()),
                             QFile::encodeName(path).constData(), pxfFileTypIndexDB) == 0;
    ok = ok && PX_set_value(doc, "numprimkeys", static_cast<float>(keyFields)) == 0 &&
         PX_set_value(doc, "codepage", 1251) == 0;
    std::vector<char> record(static_cast<size_t>(recordSize));
    for (int r = 0; ok && r < rows; ++r) {
        std::memset(record.data(), 0, record.size());
        fill(doc, record.data(), r);
        ok = PX_put_record(doc, record.data()) >= 0;
    }
    PX_close(doc);
    PX_delete(doc);
    return ok;
}

// Reads every record of `path` and decodes each field as its type says; `count` records read,
// and the sum of the numbers, so that no decoding is left out; -1 when pxlib cannot open it.
inline long long PxlibRead(const QString& path, int& count) {
    pxdoc_t* doc = PX_new();
    if (PX_open_file(doc, QFile::encodeName(path).constData()) < 0) {
        PX_delete(doc);
        return -1;
    }
    const int fieldCount = PX_get_num_fields(doc);
    const pxfield_t* fields = PX_get_fields(doc);
    std::vector<char> record(static_cast<size_t>(doc->px_head->px_recordsize));
    long long checksum = 0;
    count = 0;
    for (int r = 0; r < PX_get_num_records(doc); ++r) {
        if (!PX_get_record(doc, r, record.data())) {
            continue;
        }
        char* data = record.data();
        for (int f = 0; f < fieldCount; ++f) {
            const int length = fields[f].px_flen;
            switch (fields[f].px_ftype) {
                case pxfShort: {
                    short value = 0;
                    PX_get_data_short(doc, data, length, &value);
                    checksum += value;
                    break;
                }
                case pxfLong: {
                    long value = 0;
                    PX_get_data_long(doc, data, length, &value);
                    checksum += value;
                    break;
                }
                case pxfNumber: {
                    double value = 0;
                    PX_get_data_double(doc, data, length, &value);
                    checksum += static_cast<long long>(value);
                    break;
                }
                case pxfAlpha: {
                    char* value = nullptr;
                    if (PX_get_data_alpha(doc, data, length, &value) > 0) {
                        checksum += static_cast<long long>(std::strlen(value));
                        doc->free(doc, value);
                    }
                    break;
                }
                default:
                    break;
            }
            data += length;
        }
        ++count;
    }
    PX_close(doc);
    PX_delete(doc);
    return checksum;
}

}  // namespace converter::bench

#endif
