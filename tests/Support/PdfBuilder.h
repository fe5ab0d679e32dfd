#pragma once

// Builds PDF documents for tests: pages with boxes, rotation, contents and
// resources, nested page-tree nodes (their /Count filled in), fonts,
// outlines, destination trees, annotations and every kind of standard
// encryption. Objects are written in PDF syntax ("<< /Type /Font ... >>")
// and may refer to earlier ones as "N 0 R" with the numbers this builder
// hands out. Output is deterministic (a fixed document ID).

#include "Platform/Core/Data.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace test {

class PdfBuilder {
public:
    PdfBuilder();
    ~PdfBuilder();
    PdfBuilder(const PdfBuilder&) = delete;
    PdfBuilder& operator=(const PdfBuilder&) = delete;

    // The root node of the page tree.
    int rootPages() const;

    struct PageDescription {
        // Extra entries of the page dictionary, e.g. "/MediaBox [0 0 612 792] /Rotate 90".
        std::string entries = "/MediaBox [0 0 612 792]";
        // Content streams; one is written as a stream, several as an array.
        std::vector<std::string> contents;
        // The page-tree node it goes under; 0 for the root.
        int parent = 0;
    };
    // Appends a page to its node's kids; returns its object number.
    int addPage(const PageDescription& description);
    int addPage(std::string contents, std::string entries = "/MediaBox [0 0 612 792]");
    // A page-tree node under `parent` (0 for the root) with extra entries.
    int addPages(int parent, std::string entries = {});

    // An indirect object; returns its number.
    int addObject(const std::string& syntax);
    void setObject(int number, const std::string& syntax);
    // A stream with the given dictionary entries and data, written as it is
    // (give "/Filter /FlateDecode" with compressed data).
    int addStream(const std::string& entries, const std::string& data);
    // Sets entries of an added stream's dictionary, so streams may refer
    // to each other (or to themselves).
    void setStreamEntries(int number, const std::string& entries);
    // An entry of the document catalog.
    void setCatalogEntry(const std::string& key, const std::string& syntax);
    // Appends an annotation dictionary to a page's /Annots.
    void addAnnotation(int page, const std::string& syntax);

    // A standard (base-14) font with the given encoding; no Widths.
    int addStandardFont(const std::string& baseFont, const std::string& encoding = "WinAnsiEncoding");
    // A Type0 font with Identity-H encoding over a CIDFontType2 descendant,
    // with a ToUnicode map from two-byte codes to the given texts (UTF-16BE
    // hex, e.g. "0041").
    int addIdentityFont(const std::string& baseFont, const std::vector<std::pair<int, std::string>>& toUnicode,
        int defaultWidth = 1000);

    struct OutlineItem {
        std::string title;
        // A destination in PDF syntax ("[3 0 R /Fit]", "(name)"), or none.
        std::string destination;
        // Extra entries ("/C [1 0 0] /F 3").
        std::string entries;
        std::vector<OutlineItem> children;
    };
    void setOutline(const std::vector<OutlineItem>& items);
    // A /Names /Dests tree over sorted (name, destination syntax) pairs, in
    // leaves of at most `perLeaf` names under one node with /Limits.
    void setNamedDestinations(const std::vector<std::pair<std::string, std::string>>& names, size_t perLeaf = 1000);

    // Flate data that inflates to at least `bytes` zeros (and then ends
    // abruptly), made without ever holding them.
    static std::string flateBomb(size_t bytes);

    struct Encryption {
        enum Kind { RC4_40, RC4_128, AES_128, AES_256 } kind = RC4_128;
        std::string userPassword {};
        std::string ownerPassword {};
    };
    // The document's bytes. Streams without a filter are compressed unless
    // `compress` is false.
    core::Data build(const std::optional<Encryption>& encryption = std::nullopt, bool compress = true);
    std::string buildString(const std::optional<Encryption>& encryption = std::nullopt, bool compress = true);
    void write(const std::string& path, const std::optional<Encryption>& encryption = std::nullopt);

    struct State;

private:
    std::unique_ptr<State> m_state;
};

} // namespace test
