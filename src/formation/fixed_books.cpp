#include "formation/fixed_books.h"

#include <QStringList>

namespace converter {

namespace {

constexpr qint32 kEnterpriseBook = 10000001;
constexpr qint32 kSiteClassBook = 10000000;
constexpr qint32 kAspectBook = 10300007;
constexpr qint32 kAgeGroupBook = 10000002;

std::vector<SptabEntry> BuildFixedBooks() {
    const QString none = QStringLiteral("нет");
    std::vector<SptabEntry> entries;
    entries.push_back({kEnterpriseBook, 1, QStringLiteral("РУП Марвента"), QString()});
    entries.push_back({kEnterpriseBook, 0, none, QString()});

    const QStringList siteClasses = {none,
                                     QStringLiteral("1Б"),
                                     QStringLiteral("1А"),
                                     QStringLiteral("1"),
                                     QStringLiteral("2"),
                                     QStringLiteral("3"),
                                     QStringLiteral("4"),
                                     QStringLiteral("5"),
                                     QStringLiteral("5А"),
                                     QStringLiteral("5Б")};
    for (int code = 0; code < siteClasses.size(); ++code) {
        entries.push_back({kSiteClassBook, code, siteClasses[code], siteClasses[code]});
    }

    const QStringList aspects = {none,
                                 QStringLiteral("С"),
                                 QStringLiteral("СВ"),
                                 QStringLiteral("В"),
                                 QStringLiteral("ЮВ"),
                                 QStringLiteral("Ю"),
                                 QStringLiteral("ЮЗ"),
                                 QStringLiteral("З"),
                                 QStringLiteral("СЗ")};
    for (int code = 0; code < aspects.size(); ++code) {
        entries.push_back({kAspectBook, code, aspects[code], aspects[code]});
    }

    const QStringList ageGroups = {none,
                                   QStringLiteral("молодняки 1"),
                                   QStringLiteral("молодняки 2"),
                                   QStringLiteral("средневозрастные"),
                                   QStringLiteral("среднев., вкл. в расчет"),
                                   QStringLiteral("приспевающие"),
                                   QStringLiteral("спелые"),
                                   QStringLiteral("перестойные")};
    for (int code = 0; code < ageGroups.size(); ++code) {
        entries.push_back({kAgeGroupBook, code, ageGroups[code], QString()});
    }
    return entries;
}

}  // namespace

const std::vector<SptabEntry>& FixedBookEntries() {
    static const std::vector<SptabEntry> entries = BuildFixedBooks();
    return entries;
}

}  // namespace converter
