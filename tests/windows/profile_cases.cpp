// The settings files and reads of the profile reader comparison. Files are
// byte strings (CRLF, NUL bytes and a byte-order mark included) written
// as they stand; "absent.ini" is never written.
#include "profile_cases.h"

#include <string>

namespace profile {

namespace {

#define FILE_OF(name, text) {name, text, sizeof(text) - 1}

// Lines longer than any buffer: a value of 5000 characters and a comment
// line of 70000, each followed by an ordinary key.
const std::string kLongValue = std::string(5000, 'v');
const std::string kLongFile = "[main]\nlongValue=" + kLongValue + "\nafterValue=1\n;" + std::string(70000, 'c') +
                              "\nafterComment=2\nlongKey" + std::string(3000, 'k') + "=3\n";

}  // namespace

const File kFiles[] = {
    FILE_OF("basic.ini",
            "[main]\naddress=10.1.2.3\ndestPort=29998\nadminPass=secret\n"
            "[spotting]\nprediction=0\nmaxXDistance=23\n"),
    FILE_OF("case.ini", "[MaIn]\nADDRESS=upper\nDestPort=123\n"),
    FILE_OF("blanks.ini",
            "  [main]  \n"
            "  address  =  10.0.0.1  \n"
            "\tkey2\t=\tv a l\t\n"
            "my key = inner blanks\n"
            "key3 =\n"
            "key4 = = x\n"
            "[  spaced  ]\n"
            "k=1\n"
            "[spa ced]\n"
            "k=2\n"),
    FILE_OF("quotes.ini",
            "[q]\n"
            "double=\"quoted\"\n"
            "single='single'\n"
            "mixed=\"mixed'\n"
            "lone=\"\n"
            "pair=\"\"\n"
            "inner=\"a\"b\"\n"
            "padded=  \" padded \"  \n"
            "twice=\"\"x\"\"\n"
            "open=\"open\n"
            "close=close\"\n"
            "mid=a\"b\"c\n"
            "int=\"42\"\n"
            "sint='-7'\n"
            "blankint=\" 5 \"\n"),
    FILE_OF("ints.ini",
            "[n]\n"
            "empty=\n"
            "blank=   \n"
            "plain=42\n"
            "neg=-42\n"
            "plus=+17\n"
            "hex=0x1F\n"
            "HEXU=0X1F\n"
            "hexneg=-0x10\n"
            "hexbad=0xg\n"
            "trail=2abc\n"
            "alpha=abc\n"
            "spaced=  12  \n"
            "mid=1 2\n"
            "big=4294967297\n"
            "max=2147483647\n"
            "over=2147483648\n"
            "min=-2147483648\n"
            "under=-2147483649\n"
            "octal=017\n"
            "bin=0b101\n"
            "oct=0o17\n"
            "dot=3.9\n"
            "lead0=007\n"
            "sign=-\n"
            "dsign=--5\n"
            "pm=+-5\n"
            "signblank=- 5\n"
            "tab=\t9\n"
            "zeros=000000000000000000000000000000000000123\n"
            "hexlong=0x000000000000000000000000000000000001F\n"
            "long=12345678901234567890123456789012345\n"),
    FILE_OF("sections.ini",
            "orphan=before any section\n"
            "[main]\n"
            "a=1\n"
            "[other]\n"
            "a=2\n"
            "[main]\n"
            "a=3\n"
            "b=4\n"
            "[broken\n"
            "c=5\n"
            "[tail] text after the bracket\n"
            "d=6\n"
            "[]\n"
            "e=7\n"
            "[x]y=8\n"
            "z=9\n"),
    FILE_OF("comments.ini",
            "[main]\n"
            ";semi=1\n"
            "#hash=2\n"
            "  ;indented=3\n"
            "inline=value ; not a comment\n"
            "\n"
            "\n"
            "noequals\n"
            "=novalue\n"
            "after=4\n"
            "[spotting]\n"
            "; a comment line\n"
            "# another\n"
            "prediction=100\n"),
    FILE_OF("dups.ini", "[main]\nk=1\nk=2\nK=3\n"),
    FILE_OF("dupcase.ini", "[main]\na=1\n[MAIN]\na=2\nb=3\n"),
    FILE_OF("crlf.ini", "[main]\r\naddress=10.9.8.7\r\ndestPort=30001\r\n\r\n[spotting]\r\nprediction=250\r\n"),
    FILE_OF("cr.ini", "[main]\ra=1\rb=2\r"),
    FILE_OF("nul.ini", "[main]\na=ab\0cd\nb=2\n"),
    FILE_OF("bom.ini", "\xEF\xBB\xBF[main]\naddress=bom\n"),
    FILE_OF("nolf.ini", "[main]\nk=last"),
    FILE_OF("empty.ini", ""),
    FILE_OF("sameline.ini", "[main] k=1\nk=2\n"),
    {"long.ini", kLongFile.data(), kLongFile.size()},
};
const size_t kFileCount = sizeof kFiles / sizeof kFiles[0];

#define TEXT(file, section, key, def, cap) {file, section, key, kText, def, cap, 0, nullptr}
#define INT(file, section, key, def) {file, section, key, kInt, nullptr, 0, def, nullptr}
#define TEXT_DIFF(file, section, key, def, cap, why) {file, section, key, kText, def, cap, 0, why}
#define INT_DIFF(file, section, key, def, why) {file, section, key, kInt, nullptr, 0, def, why}

// How Wine's reader differs from the POSIX one, where it does.
const char kTrimsAskedNames[] =
    "Wine trims blanks around the section and key names asked for; the POSIX reader compares them as given";
const char kQuoteCut[] =
    "Wine drops one character too many when a quoted value just reaches the buffer's end "
    "(its quote removal tests len >= strlen); the POSIX reader keeps cap - 1 characters";
const char kMorePrefixes[] = "Wine's integer conversion also takes the prefixes 0b (binary) and 0o (octal)";
const char kShortIntBuffer[] = "Wine converts only the first 29 characters of an integer's value";
const char kOrphanSection[] =
    "Wine files keys before the first header under a section with the empty name; the POSIX reader ignores "
    "them, so a later \"[]\" is the first section of that name";
const char kCommentKeys[] = "Wine keeps comment lines as keys whose names begin with ';' or '#'";
const char kLoneCr[] = "Wine also ends a line at a lone CR; the POSIX reader only at LF (a CR counts as a blank)";
const char kNulByte[] = "Wine stops reading the file at a NUL byte; the POSIX reader ends only that line there";
const char kByteOrderMark[] =
    "Wine skips a UTF-8 byte-order mark; the POSIX reader takes it as part of the first line, which then is "
    "no section header";
const char kDefaultBlanks[] =
    "Windows removes trailing blanks from the default (documented behaviour); the POSIX reader copies it as given";

const Query kQueries[] = {
    // The settings as the program reads them.
    TEXT("basic.ini", "main", "address", "127.0.0.1", 128),
    INT("basic.ini", "main", "destPort", 29999),
    TEXT("basic.ini", "main", "adminPass", "", 128),
    INT("basic.ini", "spotting", "prediction", 400),
    INT("basic.ini", "spotting", "minSpeed", 25),
    TEXT("basic.ini", "main", "LFSpath", "./LFS.exe", 256),
    TEXT("basic.ini", "nosuch", "address", "127.0.0.1", 128),
    // A missing file, an empty one.
    TEXT("absent.ini", "main", "address", "127.0.0.1", 128),
    INT("absent.ini", "main", "destPort", 29999),
    TEXT("empty.ini", "main", "address", "dflt", 128),
    INT("empty.ini", "main", "destPort", -1),
    // Names regardless of case.
    TEXT("case.ini", "main", "address", "dflt", 128),
    TEXT("case.ini", "MAIN", "Address", "dflt", 128),
    INT("case.ini", "main", "destport", 0),
    // Blanks around names and values; blanks inside names.
    TEXT("blanks.ini", "main", "address", "dflt", 128),
    TEXT("blanks.ini", "main", "key2", "dflt", 128),
    TEXT("blanks.ini", "main", "my key", "dflt", 128),
    TEXT("blanks.ini", "main", "mykey", "dflt", 128),
    TEXT("blanks.ini", "main", "key3", "dflt", 128),
    TEXT("blanks.ini", "main", "key4", "dflt", 128),
    INT("blanks.ini", "spaced", "k", -1),
    INT("blanks.ini", "spa ced", "k", -1),
    INT_DIFF("blanks.ini", "spaced ", "k", -1, kTrimsAskedNames),
    TEXT_DIFF("blanks.ini", "main", " address", "dflt", 128, kTrimsAskedNames),
    TEXT_DIFF("blanks.ini", " main", "address", "dflt", 128, kTrimsAskedNames),
    // Quotes: one matching pair around the whole value goes.
    TEXT("quotes.ini", "q", "double", "dflt", 128),
    TEXT("quotes.ini", "q", "single", "dflt", 128),
    TEXT("quotes.ini", "q", "mixed", "dflt", 128),
    TEXT("quotes.ini", "q", "lone", "dflt", 128),
    TEXT("quotes.ini", "q", "pair", "dflt", 128),
    TEXT("quotes.ini", "q", "inner", "dflt", 128),
    TEXT("quotes.ini", "q", "padded", "dflt", 128),
    TEXT("quotes.ini", "q", "twice", "dflt", 128),
    TEXT("quotes.ini", "q", "open", "dflt", 128),
    TEXT("quotes.ini", "q", "close", "dflt", 128),
    TEXT("quotes.ini", "q", "mid", "dflt", 128),
    TEXT("quotes.ini", "q", "double", "dflt", 4),
    TEXT_DIFF("quotes.ini", "q", "double", "dflt", 7, kQuoteCut),
    INT("quotes.ini", "q", "int", -1),
    INT("quotes.ini", "q", "sint", -1),
    INT("quotes.ini", "q", "blankint", -1),
    INT("quotes.ini", "q", "pair", -1),
    // Integers.
    INT("ints.ini", "n", "empty", 77),
    INT("ints.ini", "n", "blank", 77),
    INT("ints.ini", "n", "plain", 77),
    INT("ints.ini", "n", "neg", 77),
    INT("ints.ini", "n", "plus", 77),
    INT("ints.ini", "n", "hex", 77),
    INT("ints.ini", "n", "HEXU", 77),
    INT("ints.ini", "n", "hexneg", 77),
    INT("ints.ini", "n", "hexbad", 77),
    INT("ints.ini", "n", "trail", 77),
    INT("ints.ini", "n", "alpha", 77),
    INT("ints.ini", "n", "spaced", 77),
    INT("ints.ini", "n", "mid", 77),
    INT("ints.ini", "n", "big", 77),
    INT("ints.ini", "n", "max", 77),
    INT("ints.ini", "n", "over", 77),
    INT("ints.ini", "n", "min", 77),
    INT("ints.ini", "n", "under", 77),
    INT("ints.ini", "n", "octal", 77),
    INT_DIFF("ints.ini", "n", "bin", 77, kMorePrefixes),
    INT_DIFF("ints.ini", "n", "oct", 77, kMorePrefixes),
    INT("ints.ini", "n", "dot", 77),
    INT("ints.ini", "n", "lead0", 77),
    INT("ints.ini", "n", "sign", 77),
    INT("ints.ini", "n", "dsign", 77),
    INT("ints.ini", "n", "pm", 77),
    INT("ints.ini", "n", "signblank", 77),
    INT("ints.ini", "n", "tab", 77),
    INT_DIFF("ints.ini", "n", "zeros", 77, kShortIntBuffer),
    INT_DIFF("ints.ini", "n", "hexlong", 77, kShortIntBuffer),
    INT_DIFF("ints.ini", "n", "long", 77, kShortIntBuffer),
    INT("ints.ini", "n", "missing", -5),
    TEXT("ints.ini", "n", "empty", "dflt", 128),
    TEXT("ints.ini", "n", "blank", "dflt", 128),
    // Sections: only the first of a name; headers without ']' or with text after it.
    INT("sections.ini", "main", "a", -1),
    INT("sections.ini", "main", "b", -1),
    INT("sections.ini", "other", "a", -1),
    TEXT_DIFF("sections.ini", "", "orphan", "dflt", 128, kOrphanSection),
    INT("sections.ini", "broken", "c", -1),
    INT("sections.ini", "other", "c", -1),
    INT("sections.ini", "tail", "d", -1),
    INT_DIFF("sections.ini", "", "e", -1, kOrphanSection),
    INT("sections.ini", "x", "y", -1),
    INT("sections.ini", "x", "z", -1),
    // Comments, blank lines, lines without '='.
    INT("comments.ini", "main", "semi", -1),
    INT_DIFF("comments.ini", "main", ";semi", -1, kCommentKeys),
    INT("comments.ini", "main", "hash", -1),
    INT_DIFF("comments.ini", "main", "#hash", -1, kCommentKeys),
    INT("comments.ini", "main", "indented", -1),
    TEXT("comments.ini", "main", "inline", "dflt", 128),
    TEXT("comments.ini", "main", "noequals", "dflt", 128),
    TEXT("comments.ini", "main", "", "dflt", 128),
    INT("comments.ini", "main", "after", -1),
    INT("comments.ini", "spotting", "prediction", -1),
    // Duplicate keys: the first.
    INT("dups.ini", "main", "k", -1),
    INT("dupcase.ini", "MAIN", "a", -1),
    INT("dupcase.ini", "main", "b", -1),
    // Line ends: CRLF, CR alone, a last line without one.
    TEXT("crlf.ini", "main", "address", "dflt", 128),
    INT("crlf.ini", "main", "destPort", -1),
    INT("crlf.ini", "spotting", "prediction", -1),
    TEXT_DIFF("cr.ini", "main", "a", "dflt", 128, kLoneCr),
    INT_DIFF("cr.ini", "main", "b", -1, kLoneCr),
    TEXT("nolf.ini", "main", "k", "dflt", 128),
    // A NUL byte in a value; a byte-order mark before the first section.
    TEXT_DIFF("nul.ini", "main", "a", "dflt", 128, kNulByte),
    INT_DIFF("nul.ini", "main", "b", -1, kNulByte),
    TEXT_DIFF("bom.ini", "main", "address", "dflt", 128, kByteOrderMark),
    // A header and a key on one line.
    INT("sameline.ini", "main", "k", -1),
    // Buffers: cut to cap - 1; defaults cut the same way.
    TEXT("basic.ini", "main", "address", "dflt", 1),
    TEXT("basic.ini", "main", "address", "dflt", 2),
    TEXT("basic.ini", "main", "address", "dflt", 8),
    TEXT("basic.ini", "main", "address", "dflt", 9),
    TEXT("basic.ini", "main", "address", "dflt", 10),
    TEXT("basic.ini", "main", "missing", "127.0.0.1", 4),
    TEXT("basic.ini", "main", "missing", "", 16),
    TEXT_DIFF("basic.ini", "main", "missing", "dflt  ", 16, kDefaultBlanks),
    TEXT("basic.ini", "main", "missing", "  dflt", 16),
    // Very long lines.
    TEXT("long.ini", "main", "longValue", "dflt", 128),
    TEXT("long.ini", "main", "longValue", "dflt", 256),
    TEXT("long.ini", "main", "longValue", "dflt", 4999),
    TEXT("long.ini", "main", "longValue", "dflt", 5001),
    INT("long.ini", "main", "afterValue", -1),
    INT("long.ini", "main", "afterComment", -1),
    INT("long.ini", "main", "longKey", -1),
};
const size_t kQueryCount = sizeof kQueries / sizeof kQueries[0];

}  // namespace profile
