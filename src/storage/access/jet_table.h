#pragma once

#include "storage/access/jet_file.h"
#include "storage/recordset.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace converter::access {

enum JetType : uint8_t {
    kJetBoolean = 0x01,
    kJetByte = 0x02,
    kJetInteger = 0x03,
    kJetLong = 0x04,
    kJetCurrency = 0x05,
    kJetSingle = 0x06,
    kJetDouble = 0x07,
    kJetDateTime = 0x08,
    kJetBinary = 0x09,
    kJetText = 0x0A,
    kJetOle = 0x0B,
    kJetMemo = 0x0C,
    kJetGuid = 0x0F,
    kJetNumeric = 0x10,
};

struct JetColumn {
    QString name;
    uint8_t type = 0;
    int number = 0;  // its bit in a row's null mask
    int varIndex = 0;
    int fixedOffset = 0;
    int length = 0;
    int precision = 0;
    int scale = 0;
    bool fixed = false;
    bool autoNumber = false;
};

// A table definition: its columns in column-number order and the pages holding its rows.
struct JetTableDefinition {
    int page = 0;
    uint32_t rowCount = 0;
    int varColumnCount = 0;
    std::vector<JetColumn> columns;
    std::vector<int> dataPages;  // ascending; each inside the file
};

// Reads the definition starting on `page` (continuation pages included) and its page map.
// JetDamaged for anything that points outside the file, a page, or the definition.
JetTableDefinition ReadTableDefinition(const JetFile& file, int64_t page);

// The record type the engine shows for a column.
FieldInfo DescribeColumn(const JetColumn& column, bool jet3);

}  // namespace converter::access
