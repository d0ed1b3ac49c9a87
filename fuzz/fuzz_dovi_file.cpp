// The Dovi per-stand reader and everything that takes a line apart: the file is read into
// trimmed lines, each line upper-cased and split into items, each value read as a number.
#include "fuzz_support.h"

#include "import/dovi_file.h"
#include "import/dovi_number.h"

#include <cstdlib>

using namespace converter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::SilentUi ui;
    const QString path = fuzz::WriteScratchFile(
        QStringLiteral("stands.txt"),
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    DoviLines lines;
    const DoviReadResult result = ReadDoviFile(ui, path, lines);
    if ((result == DoviReadResult::Read) == lines.isEmpty()) {
        std::abort();
    }
    DoviLine line;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString upper = lines[i].toUpper();
        SplitDoviLine(upper, line);
        for (const DoviItem& item : line.items) {
            if (item.kind != DoviItem::Kind::Pair) {
                continue;
            }
            const auto number = ParseDoviNumber(item.value);
            if (!number) {
                continue;
            }
            if (number->digits.isEmpty()) {
                std::abort();
            }
            (void)DoviNumberText(DivideByTenRounded(*number));
            (void)DoviNumberText(RoundHalfEven(*number, 1));
            (void)DoviNumberToInt32(*number);
        }
    }
    return 0;
}
