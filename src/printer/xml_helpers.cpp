#include "printer/xml_helpers.h"

#include <cctype>
#include <iterator>
#include <sstream>

#include "kesto/kesto.h"

std::string ReadXmlField(const std::string& xml, const std::string& name) {
    const std::string open = "<" + name + ">";
    const size_t start = xml.find(open);
    if (start == std::string::npos) return std::string();
    const std::string close = "</" + name + ">";
    const size_t end = xml.find(close, start + 1);
    const size_t valueStart = start + name.size() + 2;
    if (end == std::string::npos) return xml.substr(valueStart);
    return xml.substr(valueStart, end - start - name.size() - 2);
}

void FindAndReplace(std::string& text, const std::string& find, const std::string& replacement) {
    if (find.empty()) return;
    size_t position = 0;
    while ((position = text.find(find, position)) != std::string::npos) {
        text.replace(position, find.size(), replacement);
        position += replacement.size();
    }
}

namespace {

// The characters XML element content may not hold as they are, ampersand first:
// escaping runs down this table, unescaping up it, so "&amp;lt;" becomes "&lt;".
struct Escape {
    const char* plain;
    const char* escaped;
};
constexpr Escape kEscapes[] = {
    {"&", "&amp;"}, {"<", "&lt;"}, {">", "&gt;"}, {"'", "&apos;"}, {"\"", "&quot;"}};

}  // namespace

void ToXmlSafeString(std::string& text) {
    for (const Escape& escape : kEscapes) FindAndReplace(text, escape.plain, escape.escaped);
}

void FromXmlSafeString(std::string& text) {
    for (auto it = std::rbegin(kEscapes); it != std::rend(kEscapes); ++it)
        FindAndReplace(text, it->escaped, it->plain);
}

void StringTokenize(const std::string& text, std::vector<std::string>& words) {
    std::istringstream stream(text);
    std::string word;
    while (stream >> word) words.push_back(word);
}

extern "C" KESTO_API void stringToLower(char* text) {
    if (text == nullptr) return;
    for (; *text != '\0'; ++text) {
        *text = static_cast<char>(std::tolower(static_cast<unsigned char>(*text)));
    }
}
