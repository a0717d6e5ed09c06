// The INI reader's rules, case by case, over files written to a temporary
// directory: names, blanks, quotes, comments, sections, numbers, cutting,
// odd bytes and files that cannot be read.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/ini_reader.h"

namespace {

namespace fs = std::filesystem;

class IniReader : public testing::Test {
protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "flankguard-ini-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(templ.data()));
        dir = templ;
        path = (dir / "config.cfg").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    void Write(const std::string& content) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }

    std::string Text(const char* section, const char* key, const char* def = "DEF", size_t cap = 128) {
        std::string buf(cap + 8, '\x7f');  // guard bytes past cap
        const size_t n = IniFileString(path.c_str(), section, key, def, buf.data(), cap);
        for (size_t i = cap; i < buf.size(); ++i) EXPECT_EQ('\x7f', buf[i]) << "written past cap at " << i;
        if (cap == 0) return buf.substr(0, 0);
        EXPECT_EQ(n, strlen(buf.c_str())) << "returned length";
        return std::string(buf.c_str(), n);
    }

    fs::path dir;
    std::string path;
};

// A string literal with its embedded NUL bytes.
template <size_t N>
std::string B(const char (&bytes)[N]) {
    return std::string(bytes, N - 1);
}

struct TextCase {
    const char* name;
    std::string file;
    const char* section;
    const char* key;
    std::string expected;
};

TEST_F(IniReader, TextRules) {
    const std::string big(300, 'a');
    const TextCase cases[] = {
        {"case and blanks and quotes", "[Main]\nAddress  =  \"10.0.0.9\"  \n", "main", "address", "10.0.0.9"},
        {"lookup names in other case", "[main]\nlfspath=x\n", "MAIN", "LFSpath", "x"},
        {"single quotes", "[main]\na='x y'\n", "main", "a", "x y"},
        {"blanks inside quotes kept", "[main]\na=\"  x  \"\n", "main", "a", "  x  "},
        {"only one pair of quotes", "[main]\na=\"\"x\"\"\n", "main", "a", "\"x\""},
        {"empty quotes", "[main]\na=\"\"\n", "main", "a", ""},
        {"mixed quotes kept", "[main]\na=\"x'\n", "main", "a", "\"x'"},
        {"opening quote only", "[main]\na=\"abc\n", "main", "a", "\"abc"},
        {"closing quote only", "[main]\na=abc\"\n", "main", "a", "abc\""},
        {"lone quote", "[main]\na=\"\n", "main", "a", "\""},
        {"quotes then blanks", "[main]\na= \t'x'  \t\n", "main", "a", "x"},
        {"empty value is empty, not default", "[main]\na=\n", "main", "a", ""},
        {"blank value is empty", "[main]\na=  \t \n", "main", "a", ""},
        {"inner blanks kept", "[main]\na= x  y \n", "main", "a", "x  y"},
        {"value holds '='", "[main]\na=b=c\n", "main", "a", "b=c"},
        {"no inline comments", "[main]\na=x ; note\n", "main", "a", "x ; note"},
        {"high bytes kept", "[main]\na=\xff\xfe\x80\n", "main", "a", "\xff\xfe\x80"},
        {"tab-indented key", "[main]\n\t a\t=1\n", "main", "a", "1"},
        {"missing key", "[main]\nb=1\n", "main", "a", "DEF"},
        {"missing section", "[other]\na=1\n", "main", "a", "DEF"},
        {"key in another section", "[main]\nb=1\n[other]\na=1\n", "main", "a", "DEF"},
        {"key before any section", "a=1\n[main]\nb=1\n", "main", "a", "DEF"},
        {"first of a key wins", "[main]\na=1\na=2\n", "main", "a", "1"},
        {"first section of a name wins", "[main]\na=1\n[other]\n[MAIN]\na=2\n", "main", "a", "1"},
        {"later section of same name ignored", "[main]\na=1\n[main]\nb=2\n", "main", "b", "DEF"},
        {"section after a different one", "[other]\na=1\n[main]\na=2\n", "main", "a", "2"},
        {"semicolon comment", "[main]\n;a=1\na=2\n", "main", "a", "2"},
        {"hash comment", "[main]\n#a=1\na=2\n", "main", "a", "2"},
        {"indented comment", "[main]\n  ; a=1\n\t# a=3\na=2\n", "main", "a", "2"},
        {"line without '='", "[main]\na\na 1\na=2\n", "main", "a", "2"},
        {"blank lines", "\n\n[main]\n\n   \n\na=2\n\n", "main", "a", "2"},
        {"header with blanks", "[  main\t]\na=1\n", "main", "a", "1"},
        {"header with text after it", "[main] ; the main one\na=1\n", "main", "a", "1"},
        {"indented header", "  [main]\na=1\n", "main", "a", "1"},
        {"header of a longer name", "[mainx]\na=1\n", "main", "a", "DEF"},
        {"header of a shorter name", "[mai]\na=1\n", "main", "a", "DEF"},
        {"header with inner blank", "[ma in]\na=1\n", "main", "a", "DEF"},
        {"key of a longer name", "[main]\naddressX=1\naddress=2\n", "main", "address", "2"},
        {"key of a shorter name", "[main]\naddr=1\n", "main", "address", "DEF"},
        {"key with inner blank", "[main]\nad dress=1\n", "main", "address", "DEF"},
        {"empty key name", "[main]\n=1\na=2\n", "main", "a", "2"},
        {"CRLF lines", "[main]\r\na=x\r\nb=y\r\n", "main", "a", "x"},
        {"CRLF last key", "[main]\r\na=x\r\nb=y\r\n", "main", "b", "y"},
        {"no final line break", "[main]\na=xyz", "main", "a", "xyz"},
        {"no final line break, quoted", "[main]\na=\"xyz\"", "main", "a", "xyz"},
        {"empty value at end of file", "[main]\na=", "main", "a", ""},
        {"NUL ends the value", B("[main]\na=ab\0cd\n"), "main", "a", "ab"},
        {"NUL drops the quote test", B("[main]\na=\"ab\0\"\n"), "main", "a", "\"ab"},
        {"NUL ends a key line", B("[main]\na\0=1\na=2\n"), "main", "a", "2"},
        {"NUL at line start", B("[main]\n\0a=1\na=2\n"), "main", "a", "2"},
        {"NUL in a header", B("[ma\0in]\na=1\n"), "main", "a", "DEF"},
        {"NUL in header keeps section", B("[main]\n[x\0]\na=1\n"), "main", "a", "1"},
        {"unterminated header ignored", "[main]\na=1\n[other\nb=2\n", "main", "b", "2"},
        {"unterminated header at end", "[main", "main", "a", "DEF"},
        {"unterminated header with '='", "[main]\n[a=1\n", "main", "[a", "DEF"},
        {"empty file", "", "main", "a", "DEF"},
        {"long value cut", "[main]\na=" + big + "\n", "main", "a", big.substr(0, 127)},
        {"long quoted value cut", "[main]\na=\"" + big + "\"\n", "main", "a", big.substr(0, 127)},
        {"value of 127 fits", "[main]\na=" + big.substr(0, 127) + "\n", "main", "a", big.substr(0, 127)},
        {"quoted value of 127 fits", "[main]\na='" + big.substr(0, 127) + "'\n", "main", "a", big.substr(0, 127)},
        {"long value, unmatched quote", "[main]\na=\"" + big + "\n", "main", "a", "\"" + big.substr(0, 126)},
        {"trailing blanks past the buffer", "[main]\na=" + big.substr(0, 120) + std::string(5000, ' ') + "\n",
         "main", "a", big.substr(0, 120)},
        {"closing quote past the buffer", "[main]\na=\"" + big + std::string(5000, ' ') + "\"\n", "main", "a",
         big.substr(0, 127)},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.name);
        Write(c.file);
        EXPECT_EQ(c.expected, Text(c.section, c.key));
    }
}

struct IntCase {
    const char* name;
    const char* value;  // the text after "key="
    int32_t expected;
};

TEST_F(IniReader, IntRules) {
    const IntCase cases[] = {
        {"plain", "400", 400},
        {"zero", "0", 0},
        {"leading zeros are decimal", "007", 7},
        {"empty is the default", "", -77},
        {"blank is the default", "   ", -77},
        {"empty quotes are the default", "\"\"", -77},
        {"text after the number", "  2abc", 2},
        {"number then blank then digits", "12 34", 12},
        {"minus", "-5", -5},
        {"plus", "+7", 7},
        {"blank after sign", "- 5", 0},
        {"two signs", "+-5", 0},
        {"sign only", "-", 0},
        {"hex", "0x1F", 31},
        {"hex lower digits", "0x1f", 31},
        {"negative hex", "-0x10", -16},
        {"hex prefix only", "0x", 0},
        {"hex prefix then non-digit", "0xg", 0},
        {"upper-case prefix is not hex", "0X1F", 0},
        {"hex stops at non-digit", "0x1Fz9", 31},
        {"letters", "abc", 0},
        {"blanks around", "  42  ", 42},
        {"double-quoted", "\"400\"", 400},
        {"single-quoted with blanks", "' -7 '", -7},
        {"blank-only quoted", "\"  \"", 0},
        {"opening quote only", "\"5", 0},
        {"closing quote only", "5\"", 5},
        {"mixed quotes", "\"5'", 0},
        {"many leading zeros", "0000000000000000000000000000000000000000000000000042", 42},
        {"int max", "2147483647", INT32_MAX},
        {"int max + 1 wraps", "2147483648", INT32_MIN},
        {"int min", "-2147483648", INT32_MIN},
        {"int min - 1 wraps", "-2147483649", INT32_MAX},
        {"2^32 - 1", "4294967295", -1},
        {"2^32", "4294967296", 0},
        {"2^32 + 1", "4294967297", 1},
        {"-(2^32 + 1)", "-4294967297", -1},
        {"20 digits", "99999999999999999999", 1661992959},
        {"hex 32 bits", "0xFFFFFFFF", -1},
        {"hex 0x80000000", "0x80000000", INT32_MIN},
        {"hex past 32 bits", "0x100000001", 1},
    };
    for (const IntCase& c : cases) {
        SCOPED_TRACE(c.name);
        Write(std::string("[spotting]\nkey=") + c.value + "\n");
        EXPECT_EQ(c.expected, IniFileInt(path.c_str(), "spotting", "key", -77));
    }
}

TEST_F(IniReader, IntFollowsSectionAndKeyRules) {
    Write("x=1\n[Spotting]\nMinSpeed = 9\nminspeed=10\n[spotting]\nmaxAngleDiff=3\n");
    EXPECT_EQ(9, IniFileInt(path.c_str(), "spotting", "minSpeed", 25));
    EXPECT_EQ(30, IniFileInt(path.c_str(), "spotting", "maxAngleDiff", 30));
    EXPECT_EQ(5, IniFileInt(path.c_str(), "spotting", "x", 5));
    EXPECT_EQ(5, IniFileInt(path.c_str(), "main", "minSpeed", 5));
}

TEST_F(IniReader, BufferSizes) {
    Write("[main]\na=abcdef\nq=\"abcdef\"\n");
    EXPECT_EQ("abc", Text("main", "a", "DEF", 4));
    EXPECT_EQ("abc", Text("main", "q", "DEF", 4));
    EXPECT_EQ("a", Text("main", "a", "DEF", 2));
    EXPECT_EQ("a", Text("main", "q", "DEF", 2));
    EXPECT_EQ("", Text("main", "a", "DEF", 1));
    EXPECT_EQ("abcdef", Text("main", "a", "DEF", 7));
    EXPECT_EQ("abcdef", Text("main", "q", "DEF", 7));
    // The default is cut the same way.
    EXPECT_EQ("de", Text("main", "missing", "default", 3));
    EXPECT_EQ("", Text("main", "missing", nullptr, 16));
    // No room at all: nothing written, 0 returned.
    char one = 'z';
    EXPECT_EQ(0u, IniFileString(path.c_str(), "main", "a", "DEF", &one, 0));
    EXPECT_EQ('z', one);
}

TEST_F(IniReader, UnreadableFileIsNoFile) {
    // Missing.
    EXPECT_EQ("DEF", Text("main", "a"));
    EXPECT_EQ(12, IniFileInt(path.c_str(), "main", "a", 12));
    // A directory where the file should be.
    fs::create_directory(path);
    EXPECT_EQ("DEF", Text("main", "a"));
    EXPECT_EQ(12, IniFileInt(path.c_str(), "main", "a", 12));
    // No path at all.
    char buf[8];
    EXPECT_EQ(3u, IniFileString(nullptr, "main", "a", "DEF", buf, sizeof buf));
    EXPECT_STREQ("DEF", buf);
    EXPECT_EQ(12, IniFileInt(nullptr, "main", "a", 12));
}

// Values that straddle the reader's internal chunk boundaries in every
// position must read whole.
TEST_F(IniReader, ValuesAcrossReadBoundaries) {
    for (size_t pad = 4070; pad < 4110; ++pad) {
        SCOPED_TRACE(pad);
        Write("[main]\n;" + std::string(pad, 'p') + "\nAddress = \"10.0.0.9\" \nport=0x7531\n");
        EXPECT_EQ("10.0.0.9", Text("main", "address"));
        EXPECT_EQ(30001, IniFileInt(path.c_str(), "main", "port", 0));
    }
}

TEST_F(IniReader, HugeLines) {
    const std::string huge(3 * 1024 * 1024, 'h');
    std::string file;
    file += ";" + huge + "\n";                           // a huge comment
    file += "[" + huge + "]\n";                          // a huge header
    file += "a=" + huge + "\n";                          // a huge value elsewhere
    file += "[main]\n";
    file += huge + "=1\n";                               // a huge key
    file += huge + "\n";                                 // a huge line without '='
    file += "a=" + huge + "\n";                          // the wanted huge value
    file += "n=" + std::string(100000, '0') + "123x\n";  // a huge number
    Write(file);
    EXPECT_EQ(huge.substr(0, 255), Text("main", "a", "DEF", 256));
    EXPECT_EQ(123, IniFileInt(path.c_str(), "main", "n", 0));
    EXPECT_EQ("DEF", Text("main", "missing"));
}

}  // namespace
