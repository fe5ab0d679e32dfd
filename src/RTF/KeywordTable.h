#pragma once

#include <map>
#include <string>

namespace rtf {

class GenericConverter;
class Word;

// The process-wide table from a control word's name to its handler, filled
// once before any two conversions can read it at the same time, and the
// handlers of keywords whose groups are not written or that have no effect.
// The walk hands every control word it does not handle itself to the
// handler found here; a keyword missing from the table is ignored.
class KeywordTable {
public:
    // A keyword handler: the converter, the keyword's own word (handlers that
    // read a destination walk on from it), whether the control word carried a
    // parameter and that parameter in 16 bits. True makes the walk skip the
    // rest of the group.
    using Handler = bool (*)(GenericConverter* converter, const Word* word, bool has_param, short param);

    // Fills the table, once per process; every converter calls it first.
    static void fill();
    // Keyword to handler, empty until the first fill().
    static const std::map<std::string, Handler>& handlers() { return m_handlers; }

    // Groups that are not written.
    static bool cmd_header(GenericConverter*, const Word*, bool, short);
    static bool cmd_headerl(GenericConverter*, const Word*, bool, short);
    static bool cmd_headerr(GenericConverter*, const Word*, bool, short);
    static bool cmd_headerf(GenericConverter*, const Word*, bool, short);
    static bool cmd_footer(GenericConverter*, const Word*, bool, short);
    static bool cmd_footerl(GenericConverter*, const Word*, bool, short);
    static bool cmd_footerr(GenericConverter*, const Word*, bool, short);
    static bool cmd_footerf(GenericConverter*, const Word*, bool, short);
    static bool cmd_macpict(GenericConverter*, const Word*, bool, short);
    static bool cmd_jpegblip(GenericConverter*, const Word*, bool, short);
    static bool cmd_pngblip(GenericConverter*, const Word*, bool, short);
    static bool cmd_pnmetafile(GenericConverter*, const Word*, bool, short);
    static bool cmd_wmetafile(GenericConverter*, const Word*, bool, short);
    static bool cmd_wbmbitspixel(GenericConverter*, const Word*, bool, short);
    static bool cmd_picw(GenericConverter*, const Word*, bool, short);
    static bool cmd_pich(GenericConverter*, const Word*, bool, short);
    static bool cmd_xe(GenericConverter*, const Word*, bool, short);
    static bool cmd_tc(GenericConverter*, const Word*, bool, short);
    static bool cmd_tcn(GenericConverter*, const Word*, bool, short);
    static bool cmd_nonshppict(GenericConverter*, const Word*, bool, short);

    // Keywords without effect.
    static bool cmd_rtf(GenericConverter*, const Word*, bool, short);
    static bool cmd_s(GenericConverter*, const Word*, bool, short);
    static bool cmd_shp(GenericConverter*, const Word*, bool, short);
    static bool cmd_bin(GenericConverter*, const Word*, bool, short);
    static bool cmd_shppict(GenericConverter*, const Word*, bool, short);

private:
    static void registerHandlers();

    static std::map<std::string, Handler> m_handlers;
};

} // namespace rtf
