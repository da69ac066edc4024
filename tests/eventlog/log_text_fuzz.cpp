// Arbitrary bytes as a recording title, a window class name and a program
// path, written into a log the way the file is written: every result must be
// a well-formed document whose attribute values give back the original
// bytes.
//
// The checker works on structure: tags, attributes, entities and character
// data. Bytes that XML 1.0 does not allow as characters at all (control
// bytes other than TAB, LF and CR) are passed through by the escaping on
// purpose, since titles reach the log byte for byte; the checker accepts
// them everywhere as character data, like any other byte that is not markup.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "eventlog/log_text.h"

namespace {

using dormivel::kLogClosingTag;

[[noreturn]] void fail(const char* why, std::size_t at) {
    std::fprintf(stderr, "malformed log: %s at offset %zu\n", why, at);
    std::abort();
}

struct Attribute {
    std::string element;
    std::string name;
    std::string value;  // with the entities resolved
};

bool isNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool isNameChar(char c) {
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A small well-formedness checker for the subset of XML the log uses.
struct Parser {
    std::string_view doc;
    std::size_t pos = 0;
    std::vector<Attribute> attributes;
};

void skipSpace(Parser& p) {
    while (p.pos < p.doc.size() && isSpace(p.doc[p.pos]))
        ++p.pos;
}

std::string parseName(Parser& p) {
    const std::size_t start = p.pos;
    if (p.pos >= p.doc.size() || !isNameStart(p.doc[p.pos])) fail("bad name", p.pos);
    while (p.pos < p.doc.size() && isNameChar(p.doc[p.pos]))
        ++p.pos;
    return std::string(p.doc.substr(start, p.pos - start));
}

void expect(Parser& p, char c) {
    if (p.pos >= p.doc.size() || p.doc[p.pos] != c) fail("unexpected byte", p.pos);
    ++p.pos;
}

// After '&': one of the five predefined entities.
char parseEntity(Parser& p) {
    static constexpr struct {
        std::string_view text;
        char c;
    } entities[] = {{"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}};
    for (const auto& e : entities) {
        if (p.doc.substr(p.pos).starts_with(e.text)) {
            p.pos += e.text.size();
            return e.c;
        }
    }
    fail("'&' not starting an entity", p.pos);
}

void parseElement(Parser& p);

// Character data and child elements up to the end tag of `tag`.
void parseContent(Parser& p, const std::string& tag) {
    for (;;) {
        if (p.pos >= p.doc.size()) fail("missing end tag", p.pos);
        const char c = p.doc[p.pos];
        if (c == '&') {
            ++p.pos;
            parseEntity(p);
        } else if (c != '<') {
            ++p.pos;
        } else if (p.doc.substr(p.pos).starts_with("</")) {
            p.pos += 2;
            if (parseName(p) != tag) fail("end tag does not match", p.pos);
            skipSpace(p);
            expect(p, '>');
            return;
        } else {
            parseElement(p);
        }
    }
}

// An element starting at the '<' at p.pos.
void parseElement(Parser& p) {
    expect(p, '<');
    const std::string tag = parseName(p);
    std::vector<Attribute> own;
    for (;;) {
        const std::size_t before = p.pos;
        skipSpace(p);
        if (p.pos >= p.doc.size()) fail("unterminated start tag", p.pos);
        if (p.doc[p.pos] == '/' || p.doc[p.pos] == '>') break;
        if (p.pos == before) fail("no blank before an attribute", p.pos);
        Attribute attribute{tag, parseName(p), {}};
        for (const Attribute& seen : own) {
            if (seen.name == attribute.name) fail("repeated attribute", p.pos);
        }
        expect(p, '=');
        expect(p, '"');
        while (p.pos < p.doc.size() && p.doc[p.pos] != '"') {
            const char c = p.doc[p.pos++];
            if (c == '<') fail("'<' in an attribute value", p.pos - 1);
            attribute.value += c == '&' ? parseEntity(p) : c;
        }
        expect(p, '"');
        own.push_back(std::move(attribute));
    }
    for (Attribute& a : own)
        p.attributes.push_back(std::move(a));
    if (p.doc[p.pos] == '/') {
        ++p.pos;
        expect(p, '>');
        return;
    }
    ++p.pos;
    parseContent(p, tag);
}

// The attributes of a well-formed document, in document order; aborts at
// the first fault.
std::vector<Attribute> checkDocument(std::string_view doc) {
    Parser p;
    p.doc = doc;
    if (!doc.starts_with("<?xml ")) fail("no declaration", 0);
    p.pos = doc.find("?>");
    if (p.pos == std::string_view::npos) fail("unterminated declaration", 0);
    p.pos += 2;
    skipSpace(p);
    if (p.pos >= doc.size() || doc[p.pos] != '<') fail("no root element", p.pos);
    parseElement(p);
    skipSpace(p);
    if (p.pos != doc.size()) fail("bytes after the root element", p.pos);
    return std::move(p.attributes);
}

// Writes one event the way the log file is written: over the closing tag.
void appendTo(std::string& file, std::string_view body) {
    file.replace(file.size() - kLogClosingTag.size(), kLogClosingTag.size(),
                 dormivel::composeEventElement("12/31/2026 11:30:05 PM", body));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first two bytes split the rest into title, class name and path.
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split1 = size > 0 ? data[0] : 0;
    const std::size_t split2 = size > 1 ? data[1] : 0;
    const std::string_view rest = input.substr(std::min<std::size_t>(size, 2));
    const std::string_view title = rest.substr(0, std::min(split1, rest.size()));
    const std::string_view afterTitle = rest.substr(title.size());
    const std::string_view className = afterTitle.substr(0, std::min(split2, afterTitle.size()));
    const std::string_view path = afterTitle.substr(className.size());

    dormivel::Recording recording;
    recording.title = std::string(title);
    recording.channel = static_cast<std::uint16_t>(size);
    const std::string show = dormivel::formatShowElement(recording, "12/31/2026 11:30:05 PM", "1/1/2027 12:15:00 AM");
    const std::vector<std::string> shows = {show, show};

    std::string file(dormivel::kLogHeader);
    appendTo(file, dormivel::kDormivelStartBody);
    appendTo(file, dormivel::formatNowRecordingBlock(shows) + dormivel::formatNextRecordingBlock({}) +
                       dormivel::formatSetWakeUpLine("1/1/2027 12:14:00 AM") +
                       std::string(dormivel::setAllowSleepLine(true)) + "\r\n");
    appendTo(file, dormivel::formatQuitProcessCleanly(className, 1));
    appendTo(file, dormivel::formatTerminatedProcessForcefully(className, 2));
    appendTo(file, dormivel::formatCreatedProcess(path, 3));
    appendTo(file, dormivel::kDormivelStopBody);

    if (!file.starts_with(dormivel::kLogPrologue) || !file.ends_with(kLogClosingTag)) fail("header or tail", 0);
    const std::vector<Attribute> attributes = checkDocument(file);

    // The escaped values read back as the original bytes.
    std::size_t titles = 0, classes = 0, paths = 0;
    for (const Attribute& a : attributes) {
        if (a.element == "Show" && a.name == "title") {
            ++titles;
            if (a.value != title) fail("title changed", 0);
        } else if (a.name == "class") {
            ++classes;
            if (a.value != className) fail("class name changed", 0);
        } else if (a.name == "path") {
            ++paths;
            if (a.value != path) fail("path changed", 0);
        }
    }
    if (titles != 2 || classes != 2 || paths != 1) fail("attributes missing", 0);
    return 0;
}
