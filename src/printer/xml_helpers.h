#pragma once

#include <string>
#include <vector>

// Reading and escaping the values of device descriptions. The reader is not an
// XML parser: it takes the first literal "<name>" anywhere in the text and the
// value up to the next "</name>" (or to the end of the text).

std::string ReadXmlField(const std::string& xml, const std::string& name);

// Replaces every occurrence of find, left to right; inserted text is never searched again.
void FindAndReplace(std::string& text, const std::string& find, const std::string& replacement);

// Escapes & < > ' " for element content, ampersand first.
void ToXmlSafeString(std::string& text);

// Undoes ToXmlSafeString, ampersand last (so "&amp;lt;" becomes "&lt;").
void FromXmlSafeString(std::string& text);

// Appends the white-space-separated words of text to words.
void StringTokenize(const std::string& text, std::vector<std::string>& words);
