#pragma once

#include <QCoreApplication>
#include <QString>

// The console program's own texts (usage, help, complaints about the command line) in the
// user's language, from translations/dovi2tarvel-cli_*.ts; English when we have no translation.
// The operations' messages and reports are the window's and stay Russian whatever the language.
class Cli {
    Q_DECLARE_TR_FUNCTIONS(Cli)

public:
    static QString usage();
    // `programFolder` is the default of --program-folder.
    // `officeFolders`: the folders of an office's own dictionary, one an indented line.
    static QString help(const QString& programFolder, const QString& officeFolders);
    // Installs the translation of the user's language, when there is one.
    static void installTranslation(QCoreApplication& application);
};
