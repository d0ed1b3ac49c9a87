// A whole import of a Dovi per-stand file with the shipped dictionary: the reader, the stand
// conversion and the tables it writes. Whatever the file holds, the import either builds a
// database that reads back or stops with its message.
#include "fuzz_support.h"

#include "common/failure.h"
#include "common/program_folder.h"
#include "import/import_driver.h"
#include "storage/paradox/paradox_table.h"

#include <QDir>
#include <QFile>

#include <cstdlib>

using namespace converter;

namespace {

class ImportUi : public fuzz::SilentUi {
public:
    std::optional<ForestUnitInput> askForestUnit() override {
        return ForestUnitInput{QStringLiteral("12345678"), QStringLiteral("3")};
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const QString program = fuzz::ScratchFolder() + QStringLiteral("/program");
    QDir().mkpath(program);
    if (!QFile::copy(QStringLiteral(DICTIONARY_FILE), program + QStringLiteral("/sprav.mdb"))) {
        std::abort();
    }
    SetProgramFolder(program);
    QDir().mkpath(fuzz::ScratchFolder() + QStringLiteral("/db"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ImportUi ui;
    const QString text = fuzz::WriteScratchFile(
        QStringLiteral("stands.txt"),
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    QDir folder(fuzz::ScratchFolder() + QStringLiteral("/db"));
    for (const QString& file : folder.entryList(QDir::Files)) {
        folder.remove(file);
    }
    const QString mainPath = folder.filePath(QStringLiteral("les.db"));
    const QString elementsPath = folder.filePath(QStringLiteral("lesСост.db"));
    QString countText;
    bool hadErrors = false;
    if (!ImportDoviFile(ui, text, mainPath, elementsPath, countText, hadErrors)) {
        return 0;
    }
    // A database the import called built must read back.
    try {
        (void)paradox::ParadoxTable::Load(mainPath);
        (void)paradox::ParadoxTable::Load(elementsPath);
    } catch (const Failure&) {
        std::abort();
    }
    return 0;
}
