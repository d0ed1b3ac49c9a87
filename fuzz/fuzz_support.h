#pragma once

#include "common/ui.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace converter::fuzz {

// A Ui that answers every question with No and forgets what it is shown.
class SilentUi : public Ui {
public:
    void showMessage(const QString&, const QString&, MessageIcon) override {}
    bool askYesNo(const QString&, const QString&) override { return false; }
    QString chooseOpenFile(const QString&, const QString&) override { return {}; }
    QString chooseSaveFile(const QString&, const QString&) override { return {}; }
    std::optional<ForestUnitInput> askForestUnit() override { return std::nullopt; }
    void setStatus(StatusLabel, const QString&) override {}
    void setStatusVisible(StatusLabel, bool) override {}
    void showReport(const QString&, const QString&) override {}
    void setBusy(bool) override {}
    void processEvents() override {}
};

// A folder of this process that lives as long as the process (in memory when /dev/shm exists,
// since the readers under test take paths).
const QString& ScratchFolder();

// Writes `bytes` to `name` in the scratch folder and returns the full path.
QString WriteScratchFile(const QString& name, const QByteArray& bytes);
// Removes a scratch file if it is there.
void RemoveScratchFile(const QString& name);

// Cuts the input at each occurrence of the separators, in order: part 0 is everything before
// the first separator found, and so on. A missing separator leaves its part empty, so a plain
// file is a valid input on its own.
std::vector<QByteArray> SplitInput(const std::uint8_t* data, std::size_t size,
                                   const std::vector<QByteArray>& separators);

}  // namespace converter::fuzz
