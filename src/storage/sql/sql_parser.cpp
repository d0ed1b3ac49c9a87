#include "common/failure.h"
#include "storage/sql/sql_statement.h"

#include <QLocale>

namespace converter::sql {

namespace {

enum class TokenKind { Word, QuotedName, Number, Symbol, End };

struct Token {
    TokenKind kind = TokenKind::End;
    QString text;
    qsizetype position = 0;
};

bool IsWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'$' || c == u'#';
}

std::vector<Token> Tokenize(const QString& text) {
    std::vector<Token> tokens;
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto syntax = [&text](qsizetype at, const QString& what) {
        return Failure(QStringLiteral("Синтаксическая ошибка в инструкции SQL (позиция %1): %2\r%3")
                           .arg(at + 1)
                           .arg(what, text));
    };
    while (i < n) {
        const QChar c = text.at(i);
        if (c.isSpace()) {
            ++i;
            continue;
        }
        Token token;
        token.position = i;
        if (c == u'[') {
            const qsizetype close = text.indexOf(u']', i + 1);
            if (close < 0) {
                throw syntax(i, QStringLiteral("нет закрывающей скобки ]"));
            }
            token.kind = TokenKind::QuotedName;
            token.text = text.mid(i + 1, close - i - 1);
            if (token.text.trimmed().isEmpty()) {
                throw syntax(i, QStringLiteral("пустое имя в скобках"));
            }
            i = close + 1;
        } else if (c.isDigit() || ((c == u'-' || c == u'+' || c == u'.') && i + 1 < n &&
                                   text.at(i + 1).isDigit())) {
            qsizetype j = i + 1;
            while (j < n && (text.at(j).isDigit() || text.at(j) == u'.')) {
                ++j;
            }
            token.kind = TokenKind::Number;
            token.text = text.mid(i, j - i);
            i = j;
        } else if (IsWordChar(c)) {
            qsizetype j = i + 1;
            while (j < n && IsWordChar(text.at(j))) {
                ++j;
            }
            token.kind = TokenKind::Word;
            token.text = text.mid(i, j - i);
            i = j;
        } else if (c == u'(' || c == u')' || c == u',' || c == u'=' || c == u'*' || c == u';') {
            token.kind = TokenKind::Symbol;
            token.text = QString(c);
            ++i;
        } else {
            throw syntax(i, QStringLiteral("недопустимый символ \"%1\"").arg(c));
        }
        tokens.push_back(token);
    }
    // A closing semicolon is allowed.
    if (!tokens.empty() && tokens.back().kind == TokenKind::Symbol && tokens.back().text == u";") {
        tokens.pop_back();
    }
    tokens.push_back(Token{TokenKind::End, QString(), n});
    return tokens;
}

class Parser {
public:
    explicit Parser(const QString& text) : text_(text), tokens_(Tokenize(text)) {}

    Statement parse() {
        if (acceptKeyword(u"CREATE")) {
            if (acceptKeyword(u"TABLE")) {
                return createTable();
            }
            const bool unique = acceptKeyword(u"UNIQUE");
            if (acceptKeyword(u"INDEX")) {
                return createIndex(unique);
            }
            throw error(QStringLiteral("ожидалось TABLE или INDEX"));
        }
        if (acceptKeyword(u"SELECT")) {
            return select();
        }
        throw error(QStringLiteral("ожидалось CREATE или SELECT"));
    }

private:
    const Token& peek() const { return tokens_[pos_]; }

    Failure error(const QString& expected) const {
        const Token& t = peek();
        const QString found = t.kind == TokenKind::End ? QStringLiteral("конец текста")
                              : t.kind == TokenKind::QuotedName
                                  ? QStringLiteral("[%1]").arg(t.text)
                                  : QStringLiteral("\"%1\"").arg(t.text);
        return Failure(
            QStringLiteral(
                "Синтаксическая ошибка в инструкции SQL (позиция %1): %2, найдено %3\r%4")
                .arg(t.position + 1)
                .arg(expected, found, text_));
    }

    bool isKeyword(const Token& t, QStringView keyword) const {
        return t.kind == TokenKind::Word && t.text.compare(keyword, Qt::CaseInsensitive) == 0;
    }

    bool acceptKeyword(QStringView keyword) {
        if (isKeyword(peek(), keyword)) {
            ++pos_;
            return true;
        }
        return false;
    }

    void expectKeyword(QStringView keyword) {
        if (!acceptKeyword(keyword)) {
            throw error(QStringLiteral("ожидалось %1").arg(keyword));
        }
    }

    bool acceptSymbol(QChar symbol) {
        if (peek().kind == TokenKind::Symbol && peek().text.at(0) == symbol) {
            ++pos_;
            return true;
        }
        return false;
    }

    void expectSymbol(QChar symbol) {
        if (!acceptSymbol(symbol)) {
            throw error(QStringLiteral("ожидалось \"%1\"").arg(symbol));
        }
    }

    void expectEnd() {
        if (peek().kind != TokenKind::End) {
            throw error(QStringLiteral("ожидался конец инструкции"));
        }
    }

    QString name(const QString& what) {
        const Token& t = peek();
        if (t.kind == TokenKind::QuotedName || (t.kind == TokenKind::Word && !isReserved(t))) {
            ++pos_;
            return t.text;
        }
        throw error(QStringLiteral("ожидалось %1").arg(what));
    }

    bool isReserved(const Token& t) const {
        static const char16_t* const reserved[] = {
            u"SELECT", u"FROM",  u"WHERE", u"ORDER", u"BY",      u"DISTINCT", u"CREATE",
            u"TABLE",  u"INDEX", u"ON",    u"WITH",  u"PRIMARY", u"ASC",      u"DESC"};
        for (const char16_t* word : reserved) {
            if (isKeyword(t, QStringView(word))) {
                return true;
            }
        }
        return false;
    }

    int integer(const QString& what) {
        const Token& t = peek();
        bool ok = false;
        const int value = t.kind == TokenKind::Number ? t.text.toInt(&ok) : 0;
        if (!ok) {
            throw error(QStringLiteral("ожидалось %1").arg(what));
        }
        ++pos_;
        return value;
    }

    ColumnType columnType(int& length) {
        const Token t = peek();
        if (t.kind != TokenKind::Word) {
            throw error(QStringLiteral("ожидался тип поля"));
        }
        struct Known {
            const char16_t* word;
            ColumnType type;
        };
        static const Known known[] = {
            {u"SMALLINT", ColumnType::Short},
            {u"SHORT", ColumnType::Short},
            {u"INTEGER2", ColumnType::Short},
            {u"INTEGER", ColumnType::Long},
            {u"INT", ColumnType::Long},
            {u"LONG", ColumnType::Long},
            {u"INTEGER4", ColumnType::Long},
            {u"FLOAT", ColumnType::Number},
            {u"DOUBLE", ColumnType::Number},
            {u"FLOAT8", ColumnType::Number},
            {u"NUMBER", ColumnType::Number},
            {u"NUMERIC", ColumnType::Number},
            {u"REAL", ColumnType::Number},
            {u"CURRENCY", ColumnType::Currency},
            {u"MONEY", ColumnType::Currency},
            {u"STRING", ColumnType::Text},
            {u"CHAR", ColumnType::Text},
            {u"CHARACTER", ColumnType::Text},
            {u"VARCHAR", ColumnType::Text},
            {u"TEXT", ColumnType::Text},
            {u"ALPHANUMERIC", ColumnType::Text},
            {u"BIT", ColumnType::Logical},
            {u"LOGICAL", ColumnType::Logical},
            {u"YESNO", ColumnType::Logical},
            {u"BOOLEAN", ColumnType::Logical},
            {u"DATE", ColumnType::Date},
            {u"TIME", ColumnType::Time},
            {u"DATETIME", ColumnType::Timestamp},
            {u"TIMESTAMP", ColumnType::Timestamp},
        };
        for (const Known& k : known) {
            if (isKeyword(t, QStringView(k.word))) {
                ++pos_;
                length = 0;
                if (k.type == ColumnType::Text) {
                    length = 255;
                    if (acceptSymbol(u'(')) {
                        const qsizetype at = peek().position;
                        length = integer(QStringLiteral("длина текстового поля"));
                        if (length < 1 || length > 255) {
                            throw Failure(QStringLiteral("Ошибка в инструкции SQL (позиция %1): "
                                                         "недопустимая длина текстового поля %2, "
                                                         "допустимо от 1 до 255\r%3")
                                              .arg(at + 1)
                                              .arg(length)
                                              .arg(text_));
                        }
                        expectSymbol(u')');
                    }
                }
                return k.type;
            }
        }
        throw error(QStringLiteral("ожидался тип поля"));
    }

    CreateTableStatement createTable() {
        CreateTableStatement statement;
        statement.table = name(QStringLiteral("имя таблицы"));
        expectSymbol(u'(');
        do {
            ColumnDefinition column;
            column.name = name(QStringLiteral("имя поля"));
            column.type = columnType(column.length);
            statement.columns.push_back(column);
        } while (acceptSymbol(u','));
        expectSymbol(u')');
        expectEnd();
        return statement;
    }

    CreateIndexStatement createIndex(bool unique) {
        CreateIndexStatement statement;
        statement.index = name(QStringLiteral("имя индекса"));
        expectKeyword(u"ON");
        statement.table = name(QStringLiteral("имя таблицы"));
        expectSymbol(u'(');
        do {
            statement.columns << name(QStringLiteral("имя поля"));
            acceptKeyword(u"ASC");
            if (isKeyword(peek(), u"DESC")) {
                throw error(QStringLiteral("поле ключа по возрастанию"));
            }
        } while (acceptSymbol(u','));
        expectSymbol(u')');
        if (acceptKeyword(u"WITH")) {
            expectKeyword(u"PRIMARY");
            statement.primary = true;
        }
        expectEnd();
        (void)unique;
        return statement;
    }

    SelectStatement select() {
        SelectStatement statement;
        statement.distinct = acceptKeyword(u"DISTINCT");
        if (!statement.distinct) {
            acceptKeyword(u"ALL");
        }
        if (!acceptSymbol(u'*')) {
            do {
                statement.columns << name(QStringLiteral("имя поля или *"));
            } while (acceptSymbol(u','));
        }
        expectKeyword(u"FROM");
        statement.table = name(QStringLiteral("имя таблицы"));
        if (acceptKeyword(u"WHERE")) {
            Condition condition;
            condition.column = name(QStringLiteral("имя поля"));
            expectSymbol(u'=');
            const Token& t = peek();
            bool ok = false;
            if (t.kind == TokenKind::Number) {
                condition.number = QLocale::c().toDouble(t.text, &ok);
            }
            if (!ok) {
                throw error(QStringLiteral("ожидалось число"));
            }
            ++pos_;
            statement.where = condition;
        }
        if (acceptKeyword(u"ORDER")) {
            expectKeyword(u"BY");
            do {
                OrderTerm term;
                term.column = name(QStringLiteral("имя поля"));
                if (acceptKeyword(u"DESC")) {
                    term.descending = true;
                } else {
                    acceptKeyword(u"ASC");
                }
                statement.orderBy.push_back(term);
            } while (acceptSymbol(u','));
        }
        expectEnd();
        return statement;
    }

    QString text_;
    std::vector<Token> tokens_;
    size_t pos_ = 0;
};

}  // namespace

Statement ParseStatement(const QString& text) {
    return Parser(text).parse();
}

}  // namespace converter::sql
