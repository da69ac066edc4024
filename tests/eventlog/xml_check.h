// A small well-formedness checker for the subset of XML the event log uses:
// a declaration, one root element, elements with quoted attributes, the five
// predefined entities and character data. Used by the fuzz target and by the
// tests that read logs written by dormivel.exe.
//
// It works on structure. Bytes that XML 1.0 does not allow as characters at
// all (control bytes other than TAB, LF and CR) are passed through by the
// escaping on purpose, since titles reach the log byte for byte; the checker
// accepts them as character data like any other byte that is not markup.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace xmlcheck {

struct Attribute {
    std::string element;
    std::string name;
    std::string value;  // with the entities resolved
};

struct Result {
    std::string error;  // empty: well-formed
    std::size_t offset = 0;
    std::vector<Attribute> attributes;  // in document order
    std::vector<std::string> elements;  // names of all elements, in document order
};

namespace detail {

struct Parser {
    std::string_view doc;
    std::size_t pos = 0;
    Result result;
    int depth = 0;

    bool failed() const { return !result.error.empty(); }
    void fail(const char* why) {
        if (!failed()) {
            result.error = why;
            result.offset = pos;
        }
    }
    bool atEnd() const { return pos >= doc.size(); }
};

inline bool isNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
inline bool isNameChar(char c) {
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}
inline bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

inline void skipSpace(Parser& p) {
    while (!p.atEnd() && isSpace(p.doc[p.pos]))
        ++p.pos;
}

inline std::string parseName(Parser& p) {
    const std::size_t start = p.pos;
    if (p.atEnd() || !isNameStart(p.doc[p.pos])) {
        p.fail("bad name");
        return {};
    }
    while (!p.atEnd() && isNameChar(p.doc[p.pos]))
        ++p.pos;
    return std::string(p.doc.substr(start, p.pos - start));
}

inline void expect(Parser& p, char c) {
    if (p.atEnd() || p.doc[p.pos] != c) {
        p.fail("unexpected byte");
        return;
    }
    ++p.pos;
}

// After '&': one of the five predefined entities.
inline char parseEntity(Parser& p) {
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}};
    for (const auto& [text, c] : kEntities) {
        if (p.doc.substr(p.pos).starts_with(text)) {
            p.pos += text.size();
            return c;
        }
    }
    p.fail("'&' not starting an entity");
    return 0;
}

inline void parseElement(Parser& p);

// Character data and child elements up to the end tag of `tag`. Recursive
// descent: parseElement caps the depth at 64.
// NOLINTNEXTLINE(misc-no-recursion)
inline void parseContent(Parser& p, const std::string& tag) {
    while (!p.failed()) {
        if (p.atEnd()) return p.fail("missing end tag");
        const char c = p.doc[p.pos];
        if (c == '&') {
            ++p.pos;
            parseEntity(p);
        } else if (c != '<') {
            ++p.pos;
        } else if (p.doc.substr(p.pos).starts_with("</")) {
            p.pos += 2;
            if (parseName(p) != tag) return p.fail("end tag does not match");
            skipSpace(p);
            expect(p, '>');
            return;
        } else {
            parseElement(p);
        }
    }
}

// An element starting at the '<' at p.pos.
// NOLINTNEXTLINE(misc-no-recursion): bounded by the depth check below
inline void parseElement(Parser& p) {
    if (++p.depth > 64) return p.fail("nested too deeply");
    expect(p, '<');
    const std::string tag = parseName(p);
    if (p.failed()) return;
    p.result.elements.push_back(tag);
    std::vector<Attribute> own;
    while (!p.failed()) {
        const std::size_t before = p.pos;
        skipSpace(p);
        if (p.atEnd()) return p.fail("unterminated start tag");
        if (p.doc[p.pos] == '/' || p.doc[p.pos] == '>') break;
        if (p.pos == before) return p.fail("no blank before an attribute");
        Attribute attribute{tag, parseName(p), {}};
        for (const Attribute& seen : own) {
            if (seen.name == attribute.name) return p.fail("repeated attribute");
        }
        expect(p, '=');
        expect(p, '"');
        while (!p.failed() && !p.atEnd() && p.doc[p.pos] != '"') {
            const char c = p.doc[p.pos++];
            if (c == '<') {
                --p.pos;
                return p.fail("'<' in an attribute value");
            }
            attribute.value += c == '&' ? parseEntity(p) : c;
        }
        expect(p, '"');
        own.push_back(std::move(attribute));
    }
    if (p.failed()) return;
    for (Attribute& a : own)
        p.result.attributes.push_back(std::move(a));
    if (p.doc[p.pos] == '/') {
        ++p.pos;
        expect(p, '>');
    } else {
        ++p.pos;
        parseContent(p, tag);
    }
    --p.depth;
}

}  // namespace detail

inline Result check(std::string_view doc) {
    detail::Parser p;
    p.doc = doc;
    if (!doc.starts_with("<?xml ")) {
        p.fail("no declaration");
        return std::move(p.result);
    }
    p.pos = doc.find("?>");
    if (p.pos == std::string_view::npos) {
        p.pos = 0;
        p.fail("unterminated declaration");
        return std::move(p.result);
    }
    p.pos += 2;
    detail::skipSpace(p);
    if (p.atEnd() || doc[p.pos] != '<') p.fail("no root element");
    if (!p.failed()) detail::parseElement(p);
    if (!p.failed()) {
        detail::skipSpace(p);
        if (!p.atEnd()) p.fail("bytes after the root element");
    }
    return std::move(p.result);
}

}  // namespace xmlcheck
