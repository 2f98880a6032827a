#include "printer/xml_helpers.h"

#include <cctype>
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

void ToXmlSafeString(std::string& text) {
    FindAndReplace(text, "&", "&amp;");
    FindAndReplace(text, "<", "&lt;");
    FindAndReplace(text, ">", "&gt;");
    FindAndReplace(text, "'", "&apos;");
    FindAndReplace(text, "\"", "&quot;");
}

void FromXmlSafeString(std::string& text) {
    FindAndReplace(text, "&lt;", "<");
    FindAndReplace(text, "&gt;", ">");
    FindAndReplace(text, "&apos;", "'");
    FindAndReplace(text, "&quot;", "\"");
    FindAndReplace(text, "&amp;", "&");
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
