// A Dovi value book (.000, cp866) read as the formation reads it, in both layouts. The custom
// layout's positions and lengths come from the first bytes of the input, as a damaged Nsi row
// of the dictionary could give them.
#include "fuzz_support.h"

#include "common/failure.h"
#include "common/text_file.h"
#include "formation/reference_file.h"

using namespace converter;

namespace {

QVariant LayoutValue(std::uint8_t byte) {
    // 0 stands for a NULL in the dictionary; a few values are negative on purpose.
    if (byte == 0) {
        return {};
    }
    return QVariant(static_cast<int>(byte) - 16);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    NsiBook custom;
    custom.Code = 42;
    custom.Type = QStringLiteral("custom");
    const std::uint8_t* header = data;
    const std::size_t headerSize = size < 6 ? size : 6;
    QVariant* layout[] = {&custom.PosCode, &custom.LenCode,  &custom.PosText,
                          &custom.LenText, &custom.PosShort, &custom.LenShort};
    for (std::size_t i = 0; i < 6; ++i) {
        *layout[i] = i < headerSize ? LayoutValue(header[i]) : QVariant();
    }
    NsiBook standart;
    standart.Code = 7;
    standart.Type = QStringLiteral("STANDART");

    const QString path = fuzz::WriteScratchFile(
        QStringLiteral("42.000"),
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    QStringList lines;
    try {
        lines = ReadTextLines(path, TextCodec::Cp866);
    } catch (const Failure&) {
        return 0;
    }
    bool customUsable = BookLayoutOf(custom) == BookLayout::Custom;
    int lineNumber = 0;
    for (const QString& line : lines) {
        ++lineNumber;
        if (line.size() < kShortestReferenceLine) {
            continue;
        }
        try {
            (void)ReadReferenceLine(line, standart, *BookLayoutOf(standart), lineNumber);
        } catch (const Failure&) {
        }
        if (customUsable) {
            try {
                (void)ReadReferenceLine(line, custom, BookLayout::Custom, lineNumber);
            } catch (const Failure&) {
                // A bad layout stops the whole book, as the formation does.
                customUsable = false;
            }
        }
    }
    return 0;
}
