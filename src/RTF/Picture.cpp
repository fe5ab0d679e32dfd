#include "RTF/Picture.h"

#include "Kit/Base64.h"
#include "Platform/Core/ASCII.h"
#include "RTF/GenericConverter.h"
#include "RTF/OutputTags.h"

#include <algorithm>

namespace rtf {

Picture::Picture(size_t& budget)
    : m_budget(budget)
{
}

void Picture::keyword(std::string_view word)
{
    if (word.size() < 2 || word[0] != '\\')
        return;
    short param = 0;
    std::string keyword = GenericConverter::extract_cmd_param(word.substr(1), &param);
    if (keyword.empty())
        keyword = word.substr(1);
    if (keyword == "picw")
        m_width = param;
    else if (keyword == "pich")
        m_height = param;
    else if (keyword == "picwgoal")
        m_goalWidth = param;
    else if (keyword == "pichgoal")
        m_goalHeight = param;
    else if (keyword == "picscalex")
        m_scaleX = param;
    else if (keyword == "picscaley")
        m_scaleY = param;
    else if (keyword == "pngblip")
        m_format = Format::PNG;
    else if (keyword == "jpegblip")
        m_format = Format::JPEG;
    else if (keyword == "wmetafile" || keyword == "emfblip" || keyword == "pmmetafile") {
        m_format = Format::Other;
        m_twipsPerUnit = 1440.0 / 2540.0;
    } else if (keyword == "macpict") {
        m_format = Format::Other;
        m_twipsPerUnit = 20;
    }
}

void Picture::data(std::string_view text)
{
    // Only what can show is kept.
    if (m_format == Format::Other || m_overBudget)
        return;
    for (char c : text) {
        const int digit = core::ascii::hexDigitValue(c);
        if (digit < 0)
            continue;
        if (m_highNibble < 0) {
            m_highNibble = digit;
            continue;
        }
        if (m_budget == 0) {
            m_overBudget = true;
            m_budget += m_bytes.size();
            std::string().swap(m_bytes);
            return;
        }
        m_bytes.push_back(static_cast<char>(m_highNibble << 4 | digit));
        --m_budget;
        m_highNibble = -1;
    }
}

int Picture::points(int size, int goal, int scale) const
{
    const double twips = goal > 0 ? goal : std::max(size, 0) * m_twipsPerUnit;
    return static_cast<int>(std::clamp(twips * (scale > 0 ? scale : 100) / 100 / 20, 0.0, double(GenericConverter::kMaxPictureSize)));
}

int Picture::width() const
{
    return points(m_width, m_goalWidth, m_scaleX);
}

int Picture::height() const
{
    return points(m_height, m_goalHeight, m_scaleY);
}

bool Picture::dataIsImage() const
{
    static constexpr std::string_view PNGSignature = "\x89PNG\r\n\x1a\n";
    static constexpr std::string_view JPEGStart = "\xff\xd8\xff";
    std::string_view bytes = m_bytes;
    return (m_format == Format::PNG && bytes.size() > PNGSignature.size() && bytes.starts_with(PNGSignature))
        || (m_format == Format::JPEG && bytes.size() > JPEGStart.size() && bytes.starts_with(JPEGStart));
}

std::string Picture::imageHTML(const OutputTags& tags) const
{
    if (!dataIsImage() || !tags.image_begin || !tags.image_end)
        return {};
    std::string image = tags.image_begin;
    image += m_format == Format::PNG ? "data:image/png;base64," : "data:image/jpeg;base64,";
    image += NewBase64Encode(m_bytes, false);
    image += "\" alt=\"";
    // A size not given keeps the picture's proportions.
    if (const int wide = width(); wide > 0)
        image += "\" width=\"" + std::to_string(wide);
    if (const int high = height(); high > 0)
        image += "\" height=\"" + std::to_string(high);
    image += tags.image_end;
    return image;
}

} // namespace rtf
