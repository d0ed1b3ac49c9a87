#pragma once

#include "common/text_file.h"
#include "common/utilities.h"
#include "export/export_writer.h"
#include "import/import_fixture.h"
#include "storage/database.h"

#include <QFile>
#include <QVariantMap>

#include <utility>
#include <vector>

namespace converter::testing {

// A stand database built column by column, for export tests: main table `name` keyed on
// (GIR, KV, SKNR) and its elements table keyed on (GIR, KV, SKNR, NUM).
class ExportFixture : public ImportFixture {
public:
    using Columns = std::vector<std::pair<QString, QString>>;  // name, SQL type

    static Columns StandKeys() {
        return {{"GIR", "INTEGER"},
                {"KV", "SMALLINT"},
                {"SKNR", "SMALLINT"},
                {"MUK", "INTEGER"},
                {"AKTM", "SMALLINT"}};
    }
    static Columns ElementKeys() {
        return {{"GIR", "INTEGER"},
                {"KV", "SMALLINT"},
                {"SKNR", "SMALLINT"},
                {"NUM", "SMALLINT"},
                {"MUK", "INTEGER"}};
    }

    QString mainPath() const { return path(QStringLiteral("les.db")); }
    QString elementsPath() const { return path(QStringLiteral("lesСост.db")); }
    QString outputPath() const { return path(QStringLiteral("les_2005.txt")); }

    // `key` lists the key columns of the primary index; empty for a table without one.
    void createTable(const QString& dbPath, const Columns& columns, const QStringList& key) const {
        const QString table = QFileInfo(dbPath).completeBaseName();
        QStringList parts;
        for (const auto& [name, type] : columns) {
            parts.append(QStringLiteral("[%1] %2").arg(name, type));
        }
        const QString connection = BuildConnectionString(kParadoxFolder, dbPath);
        ExecuteStatement(
            connection,
            QStringLiteral("CREATE TABLE [%1] (%2)").arg(table, parts.join(QStringLiteral(", "))));
        if (!key.isEmpty()) {
            ExecuteStatement(connection,
                             QStringLiteral("CREATE INDEX [%1] ON [%1] ([%2]) WITH PRIMARY")
                                 .arg(table, key.join(QStringLiteral("], ["))));
        }
    }

    // Main and elements tables with the key columns and the given extra columns.
    void createDatabase(const Columns& mainExtra, const Columns& elementExtra) const {
        Columns main = StandKeys();
        main.insert(main.end(), mainExtra.begin(), mainExtra.end());
        createTable(mainPath(), main, {"GIR", "KV", "SKNR"});
        Columns elements = ElementKeys();
        elements.insert(elements.end(), elementExtra.begin(), elementExtra.end());
        createTable(elementsPath(), elements, {"GIR", "KV", "SKNR", "NUM"});
    }

    static void insertRows(const QString& dbPath, const std::vector<QVariantMap>& rows) {
        RecordsetPtr table = OpenRecordset(
            BuildConnectionString(kParadoxFolder, dbPath),
            QLatin1Char('[') + QFileInfo(dbPath).completeBaseName() + QLatin1Char(']'),
            kSourceTable);
        for (const QVariantMap& row : rows) {
            table->addNew();
            for (auto it = row.begin(); it != row.end(); ++it) {
                table->setValueByName(it.key(), it.value());
            }
            table->update();
        }
        CloseRecordset(table);
    }

    // A stand of change year `year` (NULL when invalid) with GIR 1205 and MUK 12345678.
    static QVariantMap Stand(int kv, int sknr, const QVariant& year, QVariantMap values = {}) {
        values.insert(QStringLiteral("GIR"), 1205);
        values.insert(QStringLiteral("KV"), kv);
        values.insert(QStringLiteral("SKNR"), sknr);
        values.insert(QStringLiteral("MUK"), 12345678);
        values.insert(QStringLiteral("AKTM"), year);
        return values;
    }
    static QVariantMap Element(int kv, int sknr, int num, QVariantMap values = {}) {
        values.insert(QStringLiteral("GIR"), 1205);
        values.insert(QStringLiteral("KV"), kv);
        values.insert(QStringLiteral("SKNR"), sknr);
        values.insert(QStringLiteral("NUM"), num);
        values.insert(QStringLiteral("MUK"), 12345678);
        return values;
    }

    bool exportYear(Ui& ui, std::optional<int> year, const QString& output = {},
                    QChar separator = QLatin1Char('.')) const {
        ExportRequest request{output.isEmpty() ? outputPath() : output,
                              mainPath(),
                              elementsPath(),
                              year,
                              SecondsSinceMidnight(),
                              separator};
        return ExportCurrentChanges(ui, request);
    }

    static QByteArray Bytes(const QString& filePath) {
        QFile file(filePath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The lines after the seven header lines and the empty line of the first stand.
    static QStringList StandLines(const QString& filePath) {
        return ReadTextLines(filePath, TextCodec::Windows1251).mid(8);
    }
};

// The bytes of a Dovi file made of `lines`, each ended by CR LF.
inline QByteArray DoviBytes(const QStringList& lines) {
    return EncodeText(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"),
                      TextCodec::Windows1251);
}

}  // namespace converter::testing
