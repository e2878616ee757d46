#include "importing/jsonpull.h"

#include "importing/formaterror.h"

#include <charconv>

namespace {

constexpr qint64 BlockBytes = 64 * 1024;

} // namespace

JsonPull::JsonPull(QIODevice *device) : m_device(device)
{
    // A byte order mark is no part of the text.
    if (peek() == 0xEF && m_block.startsWith("\xEF\xBB\xBF"))
        m_at = 3;
}

int JsonPull::peek()
{
    if (m_at >= m_block.size()) {
        m_block = m_device->read(BlockBytes);
        m_at = 0;
        if (m_block.isEmpty())
            return -1;
    }
    return static_cast<unsigned char>(m_block[m_at]);
}

int JsonPull::get()
{
    const int c = peek();
    if (c >= 0) {
        ++m_at;
        if (c == '\n')
            ++m_line;
    }
    return c;
}

int JsonPull::skipSpace()
{
    for (;;) {
        const int c = peek();
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            return c;
        get();
    }
}

void JsonPull::fail(const char *why) const
{
    throw FormatError {QString::fromUtf8(why), m_line};
}

JsonPull::Token JsonPull::next()
{
    int c = skipSpace();
    m_tokenLine = m_line;
    if (c < 0) {
        if (m_expect != Expect::Nothing)
            fail(m_open.empty() ? "it holds no JSON" : "it ends in the middle of its JSON");
        return Token::End;
    }
    switch (m_expect) {
    case Expect::Nothing:
        fail("more follows the end of its JSON");
    case Expect::CommaOrEnd:
        if (c == ',') {
            get();
            m_expect = m_open.back() == '{' ? Expect::Key : Expect::Value;
            return next();
        }
        [[fallthrough]];
    case Expect::KeyOrEnd:
    case Expect::ValueOrEnd:
        if (c == (m_open.back() == '{' ? '}' : ']')) {
            get();
            const bool object = m_open.back() == '{';
            m_open.pop_back();
            afterValue();
            return object ? Token::EndObject : Token::EndArray;
        }
        if (m_expect == Expect::CommaOrEnd)
            fail("a comma or the end of a list or object is missing");
        if (m_expect == Expect::ValueOrEnd)
            return value(c);
        [[fallthrough]];
    case Expect::Key:
        if (c != '"')
            fail("a member's name in quotes is missing");
        readString();
        if (skipSpace() != ':')
            fail("a colon after a member's name is missing");
        get();
        m_expect = Expect::Value;
        return Token::Key;
    case Expect::Value:
        return value(c);
    }
    return Token::End;
}

JsonPull::Token JsonPull::value(int c)
{
    switch (c) {
    case '{':
    case '[':
        get();
        m_open.push_back(char(c));
        m_expect = c == '{' ? Expect::KeyOrEnd : Expect::ValueOrEnd;
        return c == '{' ? Token::BeginObject : Token::BeginArray;
    case '"':
        readString();
        afterValue();
        return Token::String;
    case 't':
        readWord("true");
        return Token::True;
    case 'f':
        readWord("false");
        return Token::False;
    case 'n':
        readWord("null");
        return Token::Null;
    default:
        if (c == '-' || (c >= '0' && c <= '9')) {
            readNumber();
            afterValue();
            return Token::Number;
        }
        fail("a value is missing, or is not JSON");
    }
}

void JsonPull::afterValue()
{
    m_expect = m_open.empty() ? Expect::Nothing : Expect::CommaOrEnd;
}

void JsonPull::readWord(const char *word)
{
    for (const char *at = word; *at; ++at) {
        if (get() != *at)
            fail("a value is missing, or is not JSON");
    }
    afterValue();
}

void JsonPull::readNumber()
{
    char digits[64];
    int length = 0;
    for (int c = peek();
         (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
         c = peek()) {
        if (length == int(sizeof digits))
            fail("a number is too long");
        digits[length++] = char(get());
    }
    const auto [end, error] = std::from_chars(digits, digits + length, m_number);
    if (error != std::errc() || end != digits + length)
        fail("a number is not a number");
}

void JsonPull::readString()
{
    get(); // the opening quote
    m_text.clear();
    for (;;) {
        // The plain run up to the next quote, backslash or end of the block, in one piece.
        const qsizetype from = m_at;
        while (m_at < m_block.size()) {
            const char c = m_block[m_at];
            if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20)
                break;
            ++m_at;
        }
        m_text.append(m_block.constData() + from, m_at - from);
        if (m_text.size() > MaxText)
            fail("a text is longer than a megabyte");
        if (m_at >= m_block.size()) {
            // The block ran out: the text goes on in the next.
            if (peek() < 0)
                fail("it ends inside a text");
            continue;
        }
        if (get() == '"')
            return;
        if (m_block[m_at - 1] != '\\')
            fail("a text holds a line break or control character");
        const int escaped = get();
        switch (escaped) {
        case '"':
        case '\\':
        case '/':
            m_text.append(char(escaped));
            break;
        case 'b':
            m_text.append('\b');
            break;
        case 'f':
            m_text.append('\f');
            break;
        case 'n':
            m_text.append('\n');
            break;
        case 'r':
            m_text.append('\r');
            break;
        case 't':
            m_text.append('\t');
            break;
        case 'u': {
            auto hex = [this] {
                char32_t code = 0;
                for (int i = 0; i < 4; ++i) {
                    const int h = get();
                    const int value = h >= '0' && h <= '9' ? h - '0'
                        : h >= 'a' && h <= 'f'             ? h - 'a' + 10
                        : h >= 'A' && h <= 'F'             ? h - 'A' + 10
                                                           : -1;
                    if (value < 0)
                        fail("a \\u escape is not four hexadecimal digits");
                    code = code * 16 + char32_t(value);
                }
                return code;
            };
            char32_t code = hex();
            if (code >= 0xD800 && code < 0xDC00 && peek() == '\\') {
                get();
                if (get() != 'u')
                    fail("a \\u escape is not four hexadecimal digits");
                const char32_t low = hex();
                code = low >= 0xDC00 && low < 0xE000
                    ? 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00)
                    : 0xFFFD;
            } else if (code >= 0xD800 && code < 0xE000) {
                code = 0xFFFD;
            }
            m_text.append(QStringView(QChar::fromUcs4(code)).toUtf8());
            break;
        }
        default:
            fail("a text holds an unknown escape");
        }
    }
}

void JsonPull::skip(Token first)
{
    if (first != Token::BeginObject && first != Token::BeginArray)
        return;
    const size_t depth = m_open.size();
    while (m_open.size() >= depth)
        next();
}
