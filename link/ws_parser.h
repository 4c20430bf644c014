// The pull scanner over the UTF-16 code units of one JSON text message of the server:
// walks objects field by field and skips whatever the handler does not know.
#pragma once

#include "text/parser.h"

#include <QString>
#include <type_traits>

class Ws_parser final : public Text_parser<unsigned short> {
public:
    // The message must stay alive and unchanged while the parser is in use.
    explicit Ws_parser(const QString& message);

    void skip_blank() override;
    Err Error(const QString& reason) const override;

    bool json_first_field();
    bool json_next_field();
    bool json_first_item();
    bool json_next_item();

    bool json_field(const char* name, bool& seen);
    // The bit takes no part in deducing F, so that enumerators of the flag set can be passed.
    template <class F>
    bool json_field(const char* name, F& flags, typename std::decay<F>::type bit);

    bool get_json_string(QString& out);
    QString req_json_string();

    void skip_json_value();
    void skip_json_field();
    void skip_json_string();
    void skip_json_unsigned();
    void skip_json_signed();

    // Typed readers shared by the message handlers.
    // A double quote, exactly 16 hexadecimal digits and a double quote.
    quint64 req_json_eui();
    // The letters of true or false.
    bool req_json_bool();

private:
    // Steps over the name just matched and its closing quote, then the colon with its blanks.
    void enter_field_value(const char* name);
    // After the opening quote of a field name: the rest of the name, the colon and its blanks.
    void skip_field_name();
    // Where the ASCII word at position ends, or nullptr when the text does not begin with it.
    const unsigned short* after_word(const char* word) const;
    // True when the code units at position are the name followed by its closing quote.
    bool name_matches(const char* name) const;
    // A duplicate field of a flag set (this text has no leading word).
    Err field_again(const char* name) const;
    // One value that opens no nesting level: a string, a number or a keyword.
    void skip_json_scalar();
};

template <class F>
bool Ws_parser::json_field(const char* name, F& flags, typename std::decay<F>::type bit)
{
    if (!name_matches(name))
        return false;
    if (flags & bit)
        throw field_again(name);
    enter_field_value(name);
    flags |= bit;
    return true;
}
