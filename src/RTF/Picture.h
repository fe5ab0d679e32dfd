#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rtf {

struct OutputTags;

// One picture (`\pict`) of a document as it is read: the keywords that size
// it and say its format, then its data in hexadecimal. PNG and JPEG
// pictures show as images with their data in a data: URL; other formats, and
// data that is not what the format keyword says, leave an empty element of
// the picture's size.
//
// The data is outside input: characters that are no hexadecimal digits are
// skipped, an odd last digit is dropped, and the bytes of all the pictures of
// one conversion together stay within a budget (kMaxDocumentBytes); a
// picture beyond it shows as its empty element.
class Picture {
public:
    // Decoded picture bytes one conversion keeps at most.
    static constexpr size_t kMaxDocumentBytes = size_t(32) << 20;

    // `budget` is the conversion's: the bytes its pictures may still take.
    explicit Picture(size_t& budget);
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    // A control word of the picture's own group, with its backslash.
    void keyword(std::string_view word);
    // Text of the picture's own group.
    void data(std::string_view text);
    // The image in the tag set's HTML, its data in a data: URL; empty unless
    // the data is the PNG or JPEG its keyword says.
    std::string imageHTML(const OutputTags& tags) const;
    // The size it shows with, in points (the size to show, scaled, else its
    // own size); 0 when unknown.
    int width() const;
    int height() const;
    // Whether its data was cut at the budget.
    bool overBudget() const { return m_overBudget; }

private:
    enum class Format { Other, PNG, JPEG };
    int points(int size, int goal, int scale) const;
    bool dataIsImage() const;

    size_t& m_budget;
    Format m_format = Format::Other;
    int m_width = 0;
    int m_height = 0;
    int m_goalWidth = 0;
    int m_goalHeight = 0;
    int m_scaleX = 100;
    int m_scaleY = 100;
    // Twips per unit of the picture's own size: pixels at 96 per inch for
    // bitmaps, hundredths of a millimetre for metafiles, points for
    // QuickDraw pictures.
    double m_twipsPerUnit = 15;
    std::string m_bytes;
    int m_highNibble = -1;
    bool m_overBudget = false;
};

} // namespace rtf
