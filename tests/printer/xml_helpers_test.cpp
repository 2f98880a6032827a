#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kesto/kesto.h"
#include "printer/xml_helpers.h"

namespace {

TEST(ReadXmlField, RulesOfTheLiteralReader) {
    EXPECT_EQ(ReadXmlField("<a><b> v </b></a>", "b"), " v ");
    EXPECT_EQ(ReadXmlField("<a>x</a>", "b"), "");
    EXPECT_EQ(ReadXmlField("<b>open", "b"), "open");
    EXPECT_EQ(ReadXmlField("<b x='1'>v</b>", "b"), "");
    EXPECT_EQ(ReadXmlField("<outer><b>1</b></outer><b>2</b>", "b"), "1");
}

TEST(XmlEscaping, EscapeAndUnescapeRoundTrip) {
    std::string text = "a<b&c";
    ToXmlSafeString(text);
    EXPECT_EQ(text, "a&lt;b&amp;c");
    FromXmlSafeString(text);
    EXPECT_EQ(text, "a<b&c");

    std::string entity = "&amp;";
    ToXmlSafeString(entity);
    EXPECT_EQ(entity, "&amp;amp;");
    FromXmlSafeString(entity);
    EXPECT_EQ(entity, "&amp;");

    std::string all = "&<>'\"";
    ToXmlSafeString(all);
    EXPECT_EQ(all, "&amp;&lt;&gt;&apos;&quot;");
    FromXmlSafeString(all);
    EXPECT_EQ(all, "&<>'\"");

    std::string unknown = "&#65;&nbsp;";
    FromXmlSafeString(unknown);
    EXPECT_EQ(unknown, "&#65;&nbsp;");
}

TEST(FindAndReplace, EmptyFindAndSelfContainingReplacement) {
    std::string text = "abc";
    FindAndReplace(text, "", "x");
    EXPECT_EQ(text, "abc");
    std::string as = "aaa";
    FindAndReplace(as, "a", "aa");
    EXPECT_EQ(as, "aaaaaa");
    std::string shrink = "xxxx";
    FindAndReplace(shrink, "xx", "x");
    EXPECT_EQ(shrink, "xx");
}

TEST(StringTokenize, AppendsWordsWithoutClearing) {
    std::vector<std::string> words{"kept"};
    StringTokenize("  one two\tthree\n", words);
    EXPECT_EQ(words, (std::vector<std::string>{"kept", "one", "two", "three"}));
    StringTokenize("", words);
    StringTokenize(" \t\r\n\v\f", words);
    EXPECT_EQ(words.size(), 4u);
}

TEST(StringToLower, LowersInPlace) {
    char eth[] = "ETH";
    stringToLower(eth);
    EXPECT_STREQ(eth, "eth");
    char empty[] = "";
    stringToLower(empty);
    EXPECT_STREQ(empty, "");
    stringToLower(nullptr);
}

}  // namespace
