#pragma once

// Inside the PDF layer only: the tokens of decoded content, exactly as
// qpdf's tokenizer reads them, spaces and comments left out. The common
// ones (numbers, plain names, strings without escapes, operators,
// brackets) are read here straight from the bytes; anything else is handed
// to qpdf's tokenizer from where it starts. Text extraction spends a fifth
// of its time tokenizing, most of it making qpdf's token objects.

#include <qpdf/InputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <memory>
#include <string>
#include <string_view>

namespace pdf::detail {

class ContentTokens {
public:
    using Type = QPDFTokenizer::token_type_e;

    // `content` must outlive this.
    explicit ContentTokens(const std::string& content);

    // Reads the next token: tt_eof at the end, tt_bad at damage.
    Type next();
    // The token's value as qpdf gives it (a string without its delimiters,
    // a name with its slash).
    const std::string& value() const { return m_value; }

    // The offset just past the last token read.
    size_t position() const { return m_position; }
    void seek(size_t position) { m_position = position; }
    // Reads an inline image's data from the position (tt_inline_image, or
    // tt_bad when no end is found).
    Type inlineImage();

private:
    Type fast();
    // qpdf's next token, from the position and from where its input stands.
    Type fallback();
    Type readToken();

    const std::string& m_content;
    size_t m_position = 0;
    std::string m_value;
    std::shared_ptr<InputSource> m_input;
    QPDFTokenizer m_tokenizer;
};

} // namespace pdf::detail
