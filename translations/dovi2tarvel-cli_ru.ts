<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>Cli</name>
    <message>
        <source>usage:
  dovi2tarvel-cli import DOVI_FILE MAIN_DB --leshoz CODE --lesnich NUMBER [--overwrite]
  dovi2tarvel-cli years MAIN_DB
  dovi2tarvel-cli export MAIN_DB YEAR OUTPUT_FILE [--overwrite] [--decimal-separator .|,]
  dovi2tarvel-cli form NSI_FOLDER TARGET_FOLDER [--overwrite]
  dovi2tarvel-cli check MAIN_DB REFERENCE_FOLDER
  dovi2tarvel-cli validate DOVI_FILE...
  dovi2tarvel-cli dump TABLE_FILE [TABLE]
  dovi2tarvel-cli --help | --version
Every command but dump also takes --program-folder DIR; all of them take
--encoding oem|ansi|utf-8.
</source>
        <translation>использование:
  dovi2tarvel-cli import ФАЙЛ_DOVI БАЗА --leshoz КОД --lesnich НОМЕР [--overwrite]
  dovi2tarvel-cli years БАЗА
  dovi2tarvel-cli export БАЗА ГОД ФАЙЛ_ВЫВОДА [--overwrite] [--decimal-separator .|,]
  dovi2tarvel-cli form ПАПКА_НСИ ЦЕЛЕВАЯ_ПАПКА [--overwrite]
  dovi2tarvel-cli check БАЗА ПАПКА_СПРАВОЧНИКОВ
  dovi2tarvel-cli validate ФАЙЛ_DOVI...
  dovi2tarvel-cli dump ФАЙЛ_ТАБЛИЦЫ [ТАБЛИЦА]
  dovi2tarvel-cli --help | --version
Все команды, кроме dump, принимают и --program-folder ПАПКА; все они принимают
--encoding oem|ansi|utf-8.
</translation>
    </message>
    <message>
        <source>
The converter&apos;s operations for scripts and batch work, as the window&apos;s tabs run them.

commands:
  import    build a new stand database MAIN_DB (with its elements and changes tables)
            from a Dovi file, for the forest unit CODE (8 digits) and NUMBER (1 to 25)
  years     print the change years of MAIN_DB, one a line: its text, a tab, its YEAR
  export    write the stands of one change year to a Dovi file (YEAR as years prints
            it; the stands without a year, listed as 9999, are never exported)
  form      form sptab.db and spfield.db in TARGET_FOLDER from the value books in
            NSI_FOLDER
  check     check MAIN_DB against the reference tables in REFERENCE_FOLDER
  validate  convert each Dovi file as import does, into a temporary database that is
            removed; print per file on standard output a block: the report the import
            would write, headed &quot;Файл: &quot; and the file&apos;s path, and the stand count as
            its last line; blocks are parted by an empty line
  dump      print a Paradox table, or TABLE of an Access file, tab-separated

options:
  --program-folder DIR     the folder with sprav.mdb, help/ and nsi/, where reports/
                           is kept (default: %1); when given, its sprav.mdb is
                           used, not an office&apos;s own (see dictionary below)
  --overwrite              answer Yes when asked whether to overwrite
  --decimal-separator .|,  the separator of exported fractional numbers (default:
                           the system&apos;s)
  --encoding oem|ansi|utf-8
                           the bytes of output to anything but a Windows console
                           window: utf-8 (default), oem (the console&apos;s code page,
                           866 on a Russian system) or ansi (the system&apos;s, 1251)

dictionary:
  an office&apos;s own sprav.mdb, which installers and packages leave alone, is taken from
  the first of these folders that holds one, before the program folder&apos;s sample:
%2
message blocks:
  every message box of an operation is written to standard error as a block: a line
  &quot;[KIND] TITLE&quot; (KIND information, warning, question or message), the message&apos;s
  lines, for a question a line &quot;-&gt; Yes&quot; or &quot;-&gt; No&quot;, and an empty line.

exit status:
  0   done (validate: every file clean)
  1   done, with faults recorded in the report (validate: the worst file has faults)
  2   failed or refused (validate: a file could not be read or converted)
  64  wrong command line

output:
  UTF-8 on Linux and wherever output is redirected to a file or a pipe, unless
  --encoding says otherwise; on Windows a console window (cmd.exe, PowerShell) gets
  wide characters, so Russian text is readable whatever its code page. Arguments may
  name files in Cyrillic. PowerShell 5.1 reads a program&apos;s redirected output (into a
  variable, a pipe, &gt; file) in the console&apos;s code page: run first
      [Console]::OutputEncoding = [Text.Encoding]::UTF8
  or give --encoding oem.
  These texts are in Russian when the system&apos;s language is Russian (Linux: LC_ALL,
  LC_MESSAGES, LANG; Windows: the user&apos;s display language); the operations&apos; messages
  are in Russian always.
</source>
        <translation>
Операции конвертера для сценариев и пакетной работы, такие же, как на вкладках окна.

команды:
  import    создать новую базу выделов БАЗА (с таблицами элементов леса и изменений)
            из файла Dovi для лесхоза КОД (8 цифр) и лесничества НОМЕР (от 1 до 25)
  years     вывести годы изменений БАЗЫ, по одному в строке: текст, табуляция, ГОД
  export    записать выделы одного года изменений в файл Dovi (ГОД такой, как его
            выводит years; выделы без года, показанные как 9999, не экспортируются)
  form      сформировать sptab.db и spfield.db в ЦЕЛЕВОЙ_ПАПКЕ из справочников Dovi
            в ПАПКЕ_НСИ
  check     проверить БАЗУ по справочным таблицам в ПАПКЕ_СПРАВОЧНИКОВ
  validate  преобразовать каждый файл Dovi, как это делает import, во временную базу,
            которая затем удаляется; вывести для каждого файла на стандартный вывод
            блок: отчёт, который записал бы импорт, с заголовком &quot;Файл: &quot; и путём
            к файлу, и число выделов последней строкой; блоки разделены пустой строкой
  dump      вывести таблицу Paradox или ТАБЛИЦУ файла Access с разделителем табуляцией

параметры:
  --program-folder ПАПКА   папка с sprav.mdb, help/ и nsi/, в которой хранится reports/
                           (по умолчанию: %1); если она задана, берётся её
                           sprav.mdb, а не справочник предприятия (см. справочник ниже)
  --overwrite              отвечать Yes на вопрос, перезаписать ли файл
  --decimal-separator .|,  десятичный разделитель дробных чисел при экспорте
                           (по умолчанию системный)
  --encoding oem|ansi|utf-8
                           байты вывода куда угодно, кроме окна консоли Windows:
                           utf-8 (по умолчанию), oem (кодовая страница консоли,
                           866 в русской системе) или ansi (системная, 1251)

справочник:
  собственный sprav.mdb предприятия, который установщики и пакеты не трогают, берётся
  из первой из этих папок, где он есть, прежде образца из папки программы:
%2
блоки сообщений:
  каждое окно сообщения операции выводится в стандартный поток ошибок блоком: строка
  &quot;[ВИД] ЗАГОЛОВОК&quot; (ВИД: information, warning, question или message), строки
  сообщения, для вопроса строка &quot;-&gt; Yes&quot; или &quot;-&gt; No&quot;, и пустая строка.

коды завершения:
  0   выполнено (validate: все файлы без ошибок)
  1   выполнено, ошибки записаны в отчёт (validate: в худшем файле есть ошибки)
  2   не выполнено или отказано (validate: файл не прочитан или не преобразован)
  64  неверная командная строка

вывод:
  UTF-8 в Linux и везде, где вывод перенаправлен в файл или канал, если --encoding
  не задаёт другого; в Windows окно консоли (cmd.exe, PowerShell) получает текст
  в Юникоде, поэтому русский текст читается при любой её кодовой странице. Аргументы
  могут называть файлы кириллицей. PowerShell 5.1 читает перенаправленный вывод
  программы (в переменную, в конвейер, &gt; файл) в кодовой странице консоли:
  выполните сначала
      [Console]::OutputEncoding = [Text.Encoding]::UTF8
  или укажите --encoding oem.
  Эти тексты выводятся по-русски, когда язык системы русский (Linux: LC_ALL,
  LC_MESSAGES, LANG; Windows: язык интерфейса пользователя); сообщения операций
  всегда русские.
</translation>
    </message>
    <message>
        <source>%1 needs a folder</source>
        <translation>%1: нужна папка</translation>
    </message>
    <message>
        <source>--decimal-separator needs . or ,</source>
        <translation>--decimal-separator: нужна . или ,</translation>
    </message>
    <message>
        <source>%1 needs a value</source>
        <translation>%1: нужно значение</translation>
    </message>
    <message>
        <source>unknown option %1</source>
        <translation>неизвестный параметр %1</translation>
    </message>
    <message>
        <source>--encoding needs oem, ansi or utf-8</source>
        <translation>--encoding: нужно oem, ansi или utf-8</translation>
    </message>
    <message>
        <source>no command given</source>
        <translation>не задана команда</translation>
    </message>
    <message>
        <source>dump takes no program folder</source>
        <translation>dump не принимает папку программы</translation>
    </message>
    <message>
        <source>dump needs TABLE_FILE [TABLE]</source>
        <translation>dump: нужны ФАЙЛ_ТАБЛИЦЫ [ТАБЛИЦА]</translation>
    </message>
    <message>
        <source>dump of an Access file needs TABLE</source>
        <translation>dump файла Access: нужна ТАБЛИЦА</translation>
    </message>
    <message>
        <source>import needs DOVI_FILE MAIN_DB --leshoz CODE --lesnich NUMBER</source>
        <translation>import: нужны ФАЙЛ_DOVI БАЗА --leshoz КОД --lesnich НОМЕР</translation>
    </message>
    <message>
        <source>years needs MAIN_DB</source>
        <translation>years: нужна БАЗА</translation>
    </message>
    <message>
        <source>export needs MAIN_DB YEAR OUTPUT_FILE (YEAR a number)</source>
        <translation>export: нужны БАЗА ГОД ФАЙЛ_ВЫВОДА (ГОД числом)</translation>
    </message>
    <message>
        <source>form needs NSI_FOLDER TARGET_FOLDER</source>
        <translation>form: нужны ПАПКА_НСИ ЦЕЛЕВАЯ_ПАПКА</translation>
    </message>
    <message>
        <source>check needs MAIN_DB REFERENCE_FOLDER</source>
        <translation>check: нужны БАЗА ПАПКА_СПРАВОЧНИКОВ</translation>
    </message>
    <message>
        <source>validate needs DOVI_FILE...</source>
        <translation>validate: нужен ФАЙЛ_DOVI...</translation>
    </message>
    <message>
        <source>unknown command %1</source>
        <translation>неизвестная команда %1</translation>
    </message>
</context>
</TS>
