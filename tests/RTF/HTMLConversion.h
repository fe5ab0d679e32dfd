#pragma once

#include "RTF/Converter2HTML.h"

#include <libxml/HTMLparser.h>
#include <libxml/xmlerror.h>

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace rtf_test {

// The whole HTML of a document, empty when the conversion fails.
inline std::string html(std::string_view rtf)
{
    rtf::Converter2HTML converter;
    rtf::Params params;
    std::istringstream in { std::string(rtf) };
    return converter.Convert(in, params);
}

// What a document writes between its body opening and its end; with
// `fromBodyTag`, from the body tag on.
inline std::string body(std::string_view rtf, bool fromBodyTag = false)
{
    std::string document = html(rtf);
    size_t start = document.find("<body width=");
    size_t end = document.rfind("\n</body>");
    if (start == std::string::npos || end == std::string::npos || end < start)
        return "(no body) " + document;
    if (!fromBodyTag)
        start = document.find('\n', start) + 1;
    return document.substr(start, end - start);
}

// Everything before the body: the head and what the information group wrote.
inline std::string head(std::string_view rtf)
{
    std::string document = html(rtf);
    return document.substr(0, document.find("<meta name=\"viewport\""));
}

// What libxml2's HTML parser reads of a document: the text of its body, with
// the elements that end a line ending one, and the errors it reported.
struct Reading {
    std::string text;
    std::vector<std::string> errors;
};

inline void collectText(xmlNode* node, std::string& text)
{
    for (; node; node = node->next) {
        if (node->type == XML_TEXT_NODE && node->content) {
            text += reinterpret_cast<const char*>(node->content);
        } else if (node->type == XML_ELEMENT_NODE) {
            collectText(node->children, text);
            std::string_view name = reinterpret_cast<const char*>(node->name);
            if (name == "br" || name == "p" || name == "div" || name == "td" || name == "tr" || name == "hr")
                text += '\n';
        }
    }
}

inline xmlNode* findElement(xmlNode* node, std::string_view name)
{
    for (; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && name == reinterpret_cast<const char*>(node->name))
            return node;
        if (xmlNode* found = findElement(node->children, name))
            return found;
    }
    return nullptr;
}

inline Reading read(const std::string& html)
{
    Reading reading;
    xmlSetStructuredErrorFunc(&reading.errors, [](void* errors, xmlError* error) {
        std::string message = error->message ? error->message : "";
        while (!message.empty() && message.back() == '\n')
            message.pop_back();
        static_cast<std::vector<std::string>*>(errors)->push_back(message);
    });
    htmlDocPtr document = htmlReadMemory(html.data(), static_cast<int>(html.size()), nullptr, "UTF-8",
        HTML_PARSE_NONET | HTML_PARSE_NOWARNING);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    if (document) {
        if (xmlNode* body = findElement(xmlDocGetRootElement(document), "body"))
            collectText(body->children, reading.text);
        xmlFreeDoc(document);
    }
    return reading;
}

// The text a browser shows of a converted document, non-breaking spaces as
// blanks, without the line ends the body opens and closes with.
inline std::string text(std::string_view rtf)
{
    std::string shown = read(html(rtf)).text;
    for (size_t at = shown.find("\xC2\xA0"); at != std::string::npos; at = shown.find("\xC2\xA0", at))
        shown.replace(at, 2, " ");
    size_t first = shown.find_first_not_of('\n');
    if (first == std::string::npos)
        return {};
    return shown.substr(first, shown.find_last_not_of('\n') + 1 - first);
}

} // namespace rtf_test
