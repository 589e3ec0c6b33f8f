// The byte readers: whitespace, header words, the skip to a quote, and word splitting,
// including how much of the input each one consumes.
#include "xpm/tokenizer.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "xpm_test_support.h"

namespace xpmtest {
namespace {

using xpmfilter::WordSlot;

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c >= 32 && c < 127) out += static_cast<char>(c);
        else out += "\\x" + std::to_string(c);
    }
    return out + "\"";
}

TEST(Tokenizer, WhitespaceIsExactlyTabLineFeedReturnAndSpace) {
    for (int byte = 0; byte < 256; ++byte) {
        int want = byte == 9 || byte == 10 || byte == 13 || byte == 32 ? 1 : 0;
        int got = xpmfilter::IsWhitespace(static_cast<signed char>(byte));
        EXPECT_EQ(got, want) << "byte " << byte << ": got " << got << ", want " << want;
    }
}

TEST(Tokenizer, HeaderWords) {
    struct Case {
        std::string input;
        int32_t result;
        std::string word;  // checked when result is 0
        size_t consumed;
    };
    const std::string forty(40, 'a');
    const std::string thirtyNine(39, 'b');
    const std::vector<Case> cases = {
        {"XPM\tnext", 0, "XPM", 4},
        {" XPM ", 0, "", 1},
        {"/*\r\n", 0, "/*", 3},
        {forty + " ", -1, "", 40},
        {thirtyNine + " rest", 0, thirtyNine, 40},
        {"\vX\fY ", 0, "\vX\fY", 5},          // vertical tab and form feed are word bytes
        {"\xa0X ", 0, "\xa0X", 3},             // so is a byte above 127
        {"XP", -1, "", 2},                     // end of input inside a word is a mismatch
        {"", -1, "", 0},
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        fake.input = c.input;
        TestStream stream(fake);
        char slot[40];
        std::memset(slot, 'Z', sizeof slot);
        int32_t got = xpmfilter::ReadHeaderWord(stream, slot);
        size_t consumed = c.input.size() - stream.Remaining();
        EXPECT_EQ(got, c.result) << Quoted(c.input) << ": got " << got << ", want " << c.result;
        EXPECT_EQ(consumed, c.consumed)
            << Quoted(c.input) << ": consumed " << consumed << ", want " << c.consumed;
        if (c.result == 0) {
            EXPECT_EQ(std::string(slot), c.word)
                << Quoted(c.input) << ": got word " << Quoted(slot) << ", want " << Quoted(c.word);
        }
    }
}

TEST(Tokenizer, SkipToQuoteStopsJustAfterTheQuoteOrAtTheEnd) {
    struct Case {
        std::string input;
        bool found;
        size_t remaining;
    };
    const std::vector<Case> cases = {
        {"static char *x[] = {\n\"16", true, 2},
        {"\"", true, 0},
        {"/* no quote here */\n", false, 0},
        {"", false, 0},
        {"a\"b\"c", true, 3},
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        fake.input = c.input;
        TestStream stream(fake);
        bool found = xpmfilter::SkipToQuote(stream);
        EXPECT_EQ(found, c.found) << Quoted(c.input) << ": got " << found << ", want " << c.found;
        EXPECT_EQ(stream.Remaining(), c.remaining)
            << Quoted(c.input) << ": left " << stream.Remaining() << ", want " << c.remaining;
    }
}

struct WordsCase {
    std::string input;  // what follows the opening quote
    int32_t maxWords;
    int32_t count;
    std::vector<std::string> words;  // the first slots, each compared up to its zero
    size_t remaining;
};

void CheckWords(const WordsCase& c, bool quoted) {
    RecordingLibrary fake;
    fake.input = c.input;
    TestStream stream(fake);
    WordSlot slots[12];
    std::memset(slots, 'Z', sizeof slots);  // to see which bytes get written
    int32_t got = quoted ? xpmfilter::ReadQuotedWords(stream, c.maxWords, slots)
                         : xpmfilter::ReadWordsToQuote(stream, c.maxWords, slots);
    EXPECT_EQ(got, c.count) << Quoted(c.input) << " N=" << c.maxWords << ": got " << got
                            << " words, want " << c.count;
    for (size_t i = 0; i < c.words.size(); ++i) {
        std::string word(slots[i], strnlen(slots[i], sizeof slots[i]));
        EXPECT_EQ(word, c.words[i]) << Quoted(c.input) << ": slot " << i << " holds "
                                    << Quoted(word) << ", want " << Quoted(c.words[i]);
    }
    EXPECT_EQ(stream.Remaining(), c.remaining)
        << Quoted(c.input) << ": left " << stream.Remaining() << " bytes, want " << c.remaining;
}

TEST(Tokenizer, WordsToQuote) {
    const std::string long45(45, 'w');
    const std::vector<WordsCase> cases = {
        {"abc def\"rest", 7, 2, {"abc", "def"}, 4},
        {" \t  \t\"", 7, 0, {}, 0},
        {"\"", 7, 0, {}, 0},
        // Trailing whitespace leaves an empty word in the slot after the last one.
        {"  a  \"", 7, 1, {"a", ""}, 0},
        {long45 + " b\"", 7, 2, {std::string(39, 'w'), "b"}, 0},
        {std::string(39, 'x') + "\"", 7, 1, {std::string(39, 'x')}, 0},
        {std::string(40, 'y') + "\"", 7, 1, {std::string(39, 'y')}, 0},
        {"1 2 3 4 5 6 7 8 9\"tail", 7, 7, {"1", "2", "3", "4", "5", "6", "7"}, 4},
        {"1,2\f3\v4 {x}\"", 7, 2, {"1,2\f3\v4", "{x}"}, 0},
        {"a\r\nb\"", 7, 2, {"a", "b"}, 0},
        {"ab cd", 7, 1, {"ab"}, 0},                  // the unfinished "cd" is not counted
        {"a b c\"x", 0, 0, {}, 1},                   // no slot at all: read to the quote
        {"a b c d e f g h i j k l\"", 10, 10, {"a", "b"}, 0},
    };
    for (const WordsCase& c : cases) CheckWords(c, false);
}

TEST(Tokenizer, QuotedWordsSkipToTheNextString) {
    const std::vector<WordsCase> cases = {
        {"static char *x[] = {\n\"16 16 4 1\",\n", 7, 4, {"16", "16", "4", "1"}, 2},
        {"no string at all", 7, 0, {}, 0},
        {"\"\"", 7, 0, {}, 0},
    };
    for (const WordsCase& c : cases) CheckWords(c, true);
}

TEST(Tokenizer, CodeBytesAreRawAndShortOnlyAtTheEnd) {
    struct Case {
        std::string input;
        int32_t length;
        bool complete;
        std::string code;
    };
    const std::vector<Case> cases = {
        {"  c", 2, true, "  "},
        {"\"ab", 3, true, "\"ab"},
        {"abc", 0, true, ""},
        {"ab", 3, false, "ab"},
        {"", 1, false, ""},
    };
    for (int32_t chunk : {1, 2, 40}) {
        for (const Case& c : cases) {
            RecordingLibrary fake;
            fake.input = c.input;
            TestStream stream(fake);
            ShortReads reads(fake, chunk);
            char code[40];
            std::memset(code, 'Z', sizeof code);
            bool complete = xpmfilter::ReadCodeBytes(stream, c.length, code);
            EXPECT_EQ(complete, c.complete) << Quoted(c.input) << " length " << c.length
                                            << " chunk " << chunk << ": got " << complete;
            EXPECT_EQ(std::string(code), c.code) << Quoted(c.input) << " chunk " << chunk
                                                 << ": got " << Quoted(code);
        }
    }
}

}  // namespace
}  // namespace xpmtest
