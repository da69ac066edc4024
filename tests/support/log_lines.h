// Texts of the event log as the tests expect them, written out here rather
// than taken from the core's formatting, so that the tests compare what the
// program writes with a statement of it of their own.
#pragma once

#include <string>
#include <string_view>

#include "dormivel_version.h"

namespace dormivel::test {

// The declaration and the root start tag that begin every log, each with
// CR LF, and the closing tag that ends it.
inline constexpr std::string_view kExpectedLogPrologue =
    "<?xml version=\"1.0\" encoding=\"Windows-1252\" standalone=\"yes\" ?>\r\n"
    "<DormivelLog version=\"" DORMIVEL_VERSION_TEXT "\">\r\n";
inline constexpr std::string_view kExpectedLogClosingTag = "</DormivelLog>";

// <element attribute="value" id="id" />: the line of an application closed
// or a program started, with `value` as already escaped.
inline std::string processLine(std::string_view element, std::string_view attribute, std::string_view value,
                               std::string_view id) {
    std::string line = "<";
    line.append(element).append(" ").append(attribute).append("=\"").append(value);
    line.append("\" id=\"").append(id).append("\" />");
    return line;
}

}  // namespace dormivel::test
