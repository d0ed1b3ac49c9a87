#include "cli/cli_texts.h"

#include "common/platform_console.h"

#include <QTranslator>

namespace {

const char kUsage[] = QT_TRANSLATE_NOOP(
    "Cli",
    "usage:\n"
    "  dovi2tarvel-cli import DOVI_FILE MAIN_DB --leshoz CODE --lesnich NUMBER [--overwrite]\n"
    "  dovi2tarvel-cli years MAIN_DB\n"
    "  dovi2tarvel-cli export MAIN_DB YEAR OUTPUT_FILE [--overwrite] [--decimal-separator .|,]\n"
    "  dovi2tarvel-cli form NSI_FOLDER TARGET_FOLDER [--overwrite]\n"
    "  dovi2tarvel-cli check MAIN_DB REFERENCE_FOLDER\n"
    "  dovi2tarvel-cli validate DOVI_FILE...\n"
    "  dovi2tarvel-cli dump TABLE_FILE [TABLE]\n"
    "  dovi2tarvel-cli --help | --version\n"
    "Every command but dump also takes --program-folder DIR; all of them take\n"
    "--encoding oem|ansi|utf-8.\n");

// The rest of --help; the manual page dovi2tarvel-cli(1) says the same at more length.
const char kHelp[] = QT_TRANSLATE_NOOP(
    "Cli",
    "\n"
    "The converter's operations for scripts and batch work, as the window's tabs run them.\n"
    "\n"
    "commands:\n"
    "  import    build a new stand database MAIN_DB (with its elements and changes tables)\n"
    "            from a Dovi file, for the forest unit CODE (8 digits) and NUMBER (1 to 25)\n"
    "  years     print the change years of MAIN_DB, one a line: its text, a tab, its YEAR\n"
    "  export    write the stands of one change year to a Dovi file (YEAR as years prints\n"
    "            it; the stands without a year, listed as 9999, are never exported)\n"
    "  form      form sptab.db and spfield.db in TARGET_FOLDER from the value books in\n"
    "            NSI_FOLDER\n"
    "  check     check MAIN_DB against the reference tables in REFERENCE_FOLDER\n"
    "  validate  convert each Dovi file as import does, into a temporary database that is\n"
    "            removed; print per file on standard output a block: the report the import\n"
    "            would write, headed \"Файл: \" and the file's path, and the stand count as\n"
    "            its last line; blocks are parted by an empty line\n"
    "  dump      print a Paradox table, or TABLE of an Access file, tab-separated\n"
    "\n"
    "options:\n"
    "  --program-folder DIR     the folder with sprav.mdb, help/ and nsi/, where reports/\n"
    "                           is kept (default: %1); when given, its sprav.mdb is\n"
    "                           used, not an office's own (see dictionary below)\n"
    "  --overwrite              answer Yes when asked whether to overwrite\n"
    "  --decimal-separator .|,  the separator of exported fractional numbers (default:\n"
    "                           the system's)\n"
    "  --encoding oem|ansi|utf-8\n"
    "                           the bytes of output to anything but a Windows console\n"
    "                           window: utf-8 (default), oem (the console's code page,\n"
    "                           866 on a Russian system) or ansi (the system's, 1251)\n"
    "\n"
    "dictionary:\n"
    "  an office's own sprav.mdb, which installers and packages leave alone, is taken from\n"
    "  the first of these folders that holds one, before the program folder's sample:\n"
    "%2"
    "\n"
    "message blocks:\n"
    "  every message box of an operation is written to standard error as a block: a line\n"
    "  \"[KIND] TITLE\" (KIND information, warning, question or message), the message's\n"
    "  lines, for a question a line \"-> Yes\" or \"-> No\", and an empty line.\n"
    "\n"
    "exit status:\n"
    "  0   done (validate: every file clean)\n"
    "  1   done, with faults recorded in the report (validate: the worst file has faults)\n"
    "  2   failed or refused (validate: a file could not be read or converted)\n"
    "  64  wrong command line\n"
    "\n"
    "output:\n"
    "  UTF-8 on Linux and wherever output is redirected to a file or a pipe, unless\n"
    "  --encoding says otherwise; on Windows a console window (cmd.exe, PowerShell) gets\n"
    "  wide characters, so Russian text is readable whatever its code page. Arguments may\n"
    "  name files in Cyrillic. PowerShell 5.1 reads a program's redirected output (into a\n"
    "  variable, a pipe, > file) in the console's code page: run first\n"
    "      [Console]::OutputEncoding = [Text.Encoding]::UTF8\n"
    "  or give --encoding oem.\n"
    "  These texts are in Russian when the system's language is Russian (Linux: LC_ALL,\n"
    "  LC_MESSAGES, LANG; Windows: the user's display language); the operations' messages\n"
    "  are in Russian always.\n");

}  // namespace

QString Cli::usage() {
    return tr(kUsage);
}

QString Cli::help(const QString& programFolder, const QString& officeFolders) {
    return usage() + tr(kHelp).arg(programFolder, officeFolders);
}

void Cli::installTranslation(QCoreApplication& application) {
    auto* translator = new QTranslator(&application);
    // Qt's CMake support builds the .ts files into the program, under :/i18n.
    if (!translator->load(QLocale(converter::UserLanguage()), QStringLiteral("dovi2tarvel-cli"),
                          QStringLiteral("_"), QStringLiteral(":/i18n")) ||
        !application.installTranslator(translator)) {
        delete translator;
    }
}
