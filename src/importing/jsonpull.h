#pragma once

#include <QByteArray>
#include <QIODevice>
#include <vector>

// JSON read one token at a time from a device, a block of bytes in memory at once, so that a
// file of any size is read in small pieces and each piece is checked as it comes: a file that is
// not JSON, or ends too soon, throws FormatError with the line. Strings come unescaped, as
// UTF-8; a string longer than MaxText is refused rather than held.
class JsonPull
{
public:
    enum class Token {
        BeginObject,
        EndObject,
        BeginArray,
        EndArray,
        Key, // a member's name; its ':' is already read
        String,
        Number,
        True,
        False,
        Null,
        End, // the end of the file, after the one value it holds
    };
    static constexpr qsizetype MaxText = 1 << 20;

    explicit JsonPull(QIODevice *device);

    Token next();
    // The text of the last Key or String.
    const QByteArray &text() const { return m_text; }
    double number() const { return m_number; }
    // Where the last token began.
    qint64 line() const { return m_tokenLine; }
    // Reads past the rest of a value whose first token was `first`.
    void skip(Token first);

private:
    enum class Expect { Value, ValueOrEnd, Key, KeyOrEnd, CommaOrEnd, Nothing };

    int peek();
    int get();
    int skipSpace();
    [[noreturn]] void fail(const char *why) const;
    void readString();
    void readNumber();
    void readWord(const char *word);
    Token value(int c);
    void afterValue();

    QIODevice *m_device;
    QByteArray m_block;
    qsizetype m_at = 0;
    qint64 m_line = 1;
    qint64 m_tokenLine = 1;
    std::vector<char> m_open; // '{' or '[' for each container the reading is in
    Expect m_expect = Expect::Value;
    QByteArray m_text;
    double m_number = 0;
};
