#pragma once

// Documents made at bench time by the tools people make PDF files with,
// from the same seeded text every run: a TeX book through pdflatex
// (Computer Modern Type 1 fonts without ToUnicode maps: ligatures, symbol
// fonts, accents set over letters, dot leaders, description labels at the
// margin), a manual page through groff and Ghostscript (Type 1C subsets
// with custom encodings) and a LibreOffice Writer export (TrueType subsets
// with ToUnicode maps). Each needs its tool; a missing tool leaves its
// document out. Made once into the folder and kept.

#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace bench {

// Words of the made documents; accented ones and ligatures on purpose.
inline const std::vector<std::string>& realVocabulary()
{
    static const std::vector<std::string> words = { "the", "first", "field", "of", "a", "file", "office", "staff", "fill",
        "fine", "form", "affine", "difficult", "function", "integer", "value", "return", "manual", "page", "section",
        "chapter", "index", "table", "search", "text", "word", "letter", "number", "example", "efficient", "shuffle",
        "baffle", "flow", "reflect", "Müller", "naïve", "café", "Jürgen", "rôle", "façade", "déjà", "Größe" };
    return words;
}

using Spellings = std::vector<std::pair<std::string, std::string>>;

// A word with its accented letters spelled as a typesetter wants them.
inline std::string spelled(const std::string& word, const Spellings& spellings)
{
    std::string result = word;
    for (const auto& [from, to] : spellings) {
        for (size_t at = result.find(from); at != std::string::npos; at = result.find(from, at + to.size()))
            result.replace(at, from.size(), to);
    }
    return result;
}

inline std::string texWord(const std::string& word)
{
    static const Spellings spellings = { { "ü", "\\\"u" }, { "ï", "\\\"{\\i}" }, { "é", "\\'e" }, { "ô", "\\^o" },
        { "ç", "\\c{c}" }, { "à", "\\`a" }, { "ö", "\\\"o" }, { "ß", "\\ss{}" } };
    return spelled(word, spellings);
}

inline std::string groffWord(const std::string& word)
{
    static const Spellings spellings = { { "ü", "\\(:u" }, { "ï", "\\(:i" }, { "é", "\\('e" }, { "ô", "\\(^o" },
        { "ç", "\\(,c" }, { "à", "\\(`a" }, { "ö", "\\(:o" }, { "ß", "\\(ss" } };
    return spelled(word, spellings);
}

// Paragraphs of seeded words, each word through `spell`.
template<typename Spell> std::vector<std::string> realParagraphs(int count, Spell spell)
{
    std::mt19937 random(79);
    const auto& words = realVocabulary();
    std::vector<std::string> paragraphs;
    for (int p = 0; p < count; ++p) {
        std::string text;
        int length = 40 + int(random() % 50);
        for (int w = 0; w < length; ++w)
            text += (w ? " " : "") + spell(words[random() % words.size()]);
        paragraphs.push_back(text + ".");
    }
    return paragraphs;
}

inline bool runQuietly(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

inline bool hasTool(const std::string& name)
{
    return runQuietly("command -v " + name);
}

// The path of each made document ("tex-book.pdf", ...) whose tool is here.
inline std::vector<std::string> realDocumentPaths(const std::string& folder)
{
    std::string real = folder + "/real";
    std::filesystem::create_directories(real);
    std::vector<std::string> paths;

    std::string tex = real + "/tex-book.pdf";
    if (!std::filesystem::exists(tex) && hasTool("pdflatex")) {
        std::ofstream source(real + "/tex-book.tex");
        source << "\\pdfgentounicode=0\n\\documentclass{book}\n\\begin{document}\n\\tableofcontents\n";
        auto paragraphs = realParagraphs(900, texWord);
        for (size_t p = 0; p < paragraphs.size(); ++p) {
            if (p % 75 == 0)
                source << fmt::format("\\chapter{{The {} field}}\n", p / 75 + 1);
            if (p % 12 == 0)
                source << fmt::format("\\section{{Section {}: the file}}\n", p / 12 + 1);
            source << paragraphs[p] << "\n\n";
            if (p % 9 == 0)
                source << "\\begin{description}\\item[Function] returns $\\{a, b\\}$ and $\\langle x \\rangle$ "
                          "with $|x| \\leq 1$.\\end{description}\n";
        }
        source << "\\end{document}\n";
        source.close();
        runQuietly(fmt::format("cd {} && pdflatex -interaction=batchmode tex-book.tex && pdflatex -interaction=batchmode tex-book.tex",
            real));
    }
    if (std::filesystem::exists(tex))
        paths.push_back(tex);

    std::string groff = real + "/groff-manual.pdf";
    if (!std::filesystem::exists(groff) && hasTool("groff") && hasTool("ps2pdf")) {
        std::ofstream source(real + "/groff-manual.man");
        source << ".TH FIELDS 1 \"2024\" \"Tandry\" \"Bench\"\n.SH NAME\nfields \\- the first field of a file\n";
        auto paragraphs = realParagraphs(900, groffWord);
        for (size_t p = 0; p < paragraphs.size(); ++p) {
            if (p % 10 == 0)
                source << fmt::format(".SH SECTION {}\n", p / 10 + 1);
            if (p % 4 == 3)
                source << ".TP 12\n.B Function\n";
            else
                source << ".PP\n";
            source << paragraphs[p] << "\n";
        }
        source.close();
        runQuietly(fmt::format("cd {0} && groff -man -Tps groff-manual.man > groff-manual.ps && ps2pdf groff-manual.ps groff-manual.pdf",
            real));
    }
    if (std::filesystem::exists(groff))
        paths.push_back(groff);

    std::string writer = real + "/writer-report.pdf";
    if (!std::filesystem::exists(writer) && hasTool("soffice")) {
        std::ofstream source(real + "/writer-report.html");
        source << "<html><head><meta charset=\"utf-8\"></head><body>\n";
        auto paragraphs = realParagraphs(900, [](const std::string& word) { return word; });
        for (size_t p = 0; p < paragraphs.size(); ++p) {
            if (p % 10 == 0)
                source << fmt::format("<h2>Section {}: the file</h2>\n", p / 10 + 1);
            source << "<p>" << paragraphs[p] << "</p>\n";
        }
        source << "</body></html>\n";
        source.close();
        runQuietly(fmt::format("cd {} && soffice --headless --infilter=\"HTML (StarWriter)\" --convert-to pdf:writer_pdf_Export "
                               "writer-report.html",
            real));
    }
    if (std::filesystem::exists(writer))
        paths.push_back(writer);
    return paths;
}

} // namespace bench
