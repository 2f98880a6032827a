// The description's text helpers: escaping round trips, the field reader and
// FindAndReplace against a plain split-and-join.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "printer/xml_helpers.h"

namespace {

// The non-overlapping occurrences of `find`, leftmost first, joined by `with`.
std::string SplitJoin(const std::string& text, const std::string& find, const std::string& with) {
    std::string out;
    size_t from = 0;
    for (size_t at; (at = text.find(find, from)) != std::string::npos; from = at + find.size()) {
        out.append(text, from, at - from);
        out += with;
    }
    out.append(text, from, std::string::npos);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 14) return 0;
    FuzzInput in(data, size);
    const std::string find = in.Bytes(8);
    const std::string with = in.Bytes(8);
    const uint8_t fieldChoice = in.Byte();
    const std::string text = in.Rest();

    // Escaping leaves no markup character and undoing it restores the text.
    std::string escaped = text;
    ToXmlSafeString(escaped);
    if (escaped.find_first_of("<>'\"") != std::string::npos) std::abort();
    std::string restored = escaped;
    FromXmlSafeString(restored);
    if (restored != text) std::abort();

    // An escaped value read back out of its element is the value itself.
    static const char* const kNames[] = {"type", "path", "modal", "device"};
    const std::string name = kNames[fieldChoice % 4];
    const std::string element = "<x><" + name + ">" + escaped + "</" + name + "></x>";
    std::string value = ReadXmlField(element, name);
    if (value != escaped) std::abort();
    FromXmlSafeString(value);
    if (value != text) std::abort();

    // On raw text the reader returns a piece of it without the closing tag.
    const std::string raw = ReadXmlField(text, name);
    if (!raw.empty() && text.find(raw) == std::string::npos) std::abort();
    if (raw.find("</" + name + ">") != std::string::npos) std::abort();
    ReadXmlField(text, find);  // any name, only that it stays in bounds

    std::string replaced = text;
    FindAndReplace(replaced, find, with);
    if (replaced != (find.empty() ? text : SplitJoin(text, find, with))) std::abort();

    std::vector<std::string> words;
    StringTokenize(text, words);
    for (const std::string& word : words) {
        if (word.empty() || word.find_first_of(" \t\n\v\f\r") != std::string::npos) std::abort();
    }
    return 0;
}
