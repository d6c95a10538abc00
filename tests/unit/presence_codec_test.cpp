#include "core/Basefunc.h"
#include "core/Presence.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <variant>
#include <vector>

using namespace presence;
using namespace std::string_literals;

namespace {

// A readable dump for failures: printable bytes as they are, the rest as \xNN.
std::string Dump(const std::string& bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 32 && c < 127) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

std::string NameRecord(unsigned char type, const std::string& name)
{
    std::string expected(29, '\0');
    expected[0] = static_cast<char>(type);
    expected.replace(8, name.size(), name);
    return expected;
}

} // namespace

TEST(PresenceCodec, NameRecordsAreTwentyNineBytesWithTypeNameAndZeros)
{
    const std::string name = Utf8ToGbk("小雨");
    struct Case
    {
        std::string built;
        unsigned char type;
    } cases[] = {
        {BuildLoginRequest(name), 0},
        {BuildLogoutNotice(name), 2},
        {BuildKeepOnline(name), 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Dump(c.built), Dump(NameRecord(c.type, name))) << "type " << int(c.type);
}

TEST(PresenceCodec, NameFieldHoldsNineteenBytesAndItsTerminator)
{
    const std::string nineteen(19, 'n');
    EXPECT_EQ(Dump(BuildLoginRequest(nineteen)), Dump(NameRecord(0, nineteen)));

    // 20 bytes and more are cut so the terminator fits; a double-byte character that
    // would straddle the limit is left out whole.
    EXPECT_EQ(Dump(BuildKeepOnline(std::string(25, 'x'))),
              Dump(NameRecord(3, std::string(19, 'x'))));
    const std::string tenChinese = Utf8ToGbk("一二三四五六七八九十"); // 20 bytes
    EXPECT_EQ(Dump(BuildLoginRequest(tenChinese)), Dump(NameRecord(0, tenChinese.substr(0, 18))));
    const std::string oddStart = "a" + tenChinese; // 21 bytes: the 10th character would end at 21
    EXPECT_EQ(Dump(BuildLoginRequest(oddStart)), Dump(NameRecord(0, oddStart.substr(0, 19))));
}

TEST(PresenceCodec, LoginAckIsNineZeroBytesAfterTypeFour)
{
    EXPECT_EQ(Dump(BuildLoginAck()), Dump("\x04"s + std::string(8, '\0')));
}

TEST(PresenceCodec, TextLineIsTypeTenTextAtTwentyEightAndZeros)
{
    const std::string text = Utf8ToGbk("demo说: 你好");
    std::string expected(1029, '\0');
    expected[0] = 10;
    expected.replace(28, text.size(), text);
    EXPECT_EQ(Dump(BuildTextLine(text)), Dump(expected));

    const std::string longText = "a" + std::string(1200, '\xB0'); // GBK pairs after one ASCII byte
    const std::string built = BuildTextLine(longText);
    ASSERT_EQ(built.size(), 1029u);
    EXPECT_EQ(ReadText(built), longText.substr(0, 999)); // 1 + 499 pairs
    EXPECT_EQ(built[1027], '\0');
    EXPECT_EQ(built[1028], '\0');
}

TEST(PresenceCodec, ReadersTreatMissingBytesAsZeroAndStopAtFieldEnd)
{
    EXPECT_EQ(ReadType(""), 0);
    EXPECT_EQ(ReadLoginResult("\x01"s), 0);
    EXPECT_EQ(ReadLoginResult("\x01\0\0\0\0\0\0\0\x07"s), 7);
    EXPECT_EQ(ReadListText("\x05\0\0"s), "");
    EXPECT_EQ(ReadListText("\x05\0\0\0\0\0\0\0a|b"s),
              "a|b"); // no terminator: ends with the datagram
    EXPECT_EQ(ReadText(std::string(28, '\0')), "");
    EXPECT_EQ(ReadText("\x0A"s + std::string(27, '\0') + "Hint"), "Hint");

    // A field without a terminator ends where the field ends.
    std::string list = "\x05"s + std::string(7, '\0') + std::string(1200, 'q');
    EXPECT_EQ(ReadListText(list), std::string(1000, 'q'));
    std::string text = "\x0A"s + std::string(27, '\0') + std::string(1400, 't');
    EXPECT_EQ(ReadText(text), std::string(1000, 't'));
}

TEST(PresenceCodec, ServerDatagramsReadBack)
{
    EXPECT_EQ(ReadType(BuildLoginAnswer(true)), 1);
    EXPECT_EQ(ReadLoginResult(BuildLoginAnswer(true)), 1);
    EXPECT_EQ(ReadLoginResult(BuildLoginAnswer(false)), 0);
    const std::string list = BuildOnlineList("a|b|");
    EXPECT_EQ(Dump(list), Dump("\x05"s + std::string(7, '\0') + "a|b|" + '\0'));
    EXPECT_EQ(ReadListText(BuildOnlineList(std::string(1500, 'z'))), std::string(1000, 'z'));
}

namespace presence {
// A failing decode case prints the kind and its fields.
void PrintTo(const Message& message, std::ostream* out)
{
    std::visit(
        Overloaded{
            [&](const Malformed& m) {
                *out << "Malformed(why " << static_cast<int>(m.why) << ", type " << int(m.type)
                     << ")";
            },
            [&](const LoginRequest& m) { *out << "LoginRequest(" << Dump(m.name) << ")"; },
            [&](const LogoutNotice& m) { *out << "LogoutNotice(" << Dump(m.name) << ")"; },
            [&](const KeepOnline& m) { *out << "KeepOnline(" << Dump(m.name) << ")"; },
            [&](const LoginAck&) { *out << "LoginAck"; },
            [&](const LoginAnswer& m) { *out << "LoginAnswer(" << m.accepted << ")"; },
            [&](const OnlineList& m) { *out << "OnlineList(" << m.names.size() << " names)"; },
            [&](const TextLine& m) { *out << "TextLine(" << Dump(m.text) << ")"; },
        },
        message);
}
} // namespace presence

TEST(PresenceDecode, EachSideTakesWhatTheOtherSendsAndNothingElse)
{
    using Why = Malformed::Why;
    const std::string alice = "alice";
    const std::string says = alice + std::string(ChatSays) + "hi";
    std::string unlistable = BuildKeepOnline("ab");
    unlistable[9] = '\x81'; // "a" and a lead byte: the name ends inside a character
    struct Case
    {
        const char* what;
        std::string datagram;
        Sender from;
        Message decoded;
    };
    const Case cases[] = {
        // A client's datagrams, as the server reads them: exact sizes, listable names.
        {"login request", BuildLoginRequest(alice), Sender::Client, LoginRequest{alice}},
        {"keep online", BuildKeepOnline(alice), Sender::Client, KeepOnline{alice}},
        {"logout", BuildLogoutNotice(alice), Sender::Client, LogoutNotice{alice}},
        {"ack", BuildLoginAck(), Sender::Client, LoginAck{}},
        {"chat line", BuildTextLine(says), Sender::Client, TextLine{says}},
        {"empty", "", Sender::Client, Malformed{Why::Size, 0}},
        {"short name record", BuildLoginRequest(alice).substr(0, 28), Sender::Client,
         Malformed{Why::Size, 0}},
        {"long name record", BuildKeepOnline(alice) + '\0', Sender::Client,
         Malformed{Why::Size, 3}},
        {"long ack", BuildLoginAck() + '\0', Sender::Client, Malformed{Why::Size, 4}},
        {"short chat line", BuildTextLine(says).substr(0, 1028), Sender::Client,
         Malformed{Why::Size, 10}},
        {"empty name", BuildLoginRequest(""), Sender::Client, Malformed{Why::Name, 0}},
        {"name ending in a lead byte", unlistable, Sender::Client, Malformed{Why::Name, 3}},
        {"an answer from a client", BuildLoginAnswer(true), Sender::Client,
         Malformed{Why::Type, 1}},
        {"a list from a client", BuildOnlineList("a|"), Sender::Client, Malformed{Why::Type, 5}},
        {"unknown type", "\x09"s + std::string(28, '\0'), Sender::Client, Malformed{Why::Type, 9}},
        // The server's datagrams, as a client reads them: any length, missing bytes as 0.
        {"accepted", BuildLoginAnswer(true), Sender::Server, LoginAnswer{true}},
        {"refused", BuildLoginAnswer(false), Sender::Server, LoginAnswer{false}},
        {"answer without its result byte", "\x01"s, Sender::Server, LoginAnswer{false}},
        {"list", BuildOnlineList("a|b|"), Sender::Server, OnlineList{{"a", "b"}}},
        {"command", BuildTextLine(RefreshCommand), Sender::Server,
         TextLine{std::string(RefreshCommand)}},
        {"short text line", "\x0A"s + std::string(27, '\0') + "Hint", Sender::Server,
         TextLine{"Hint"}},
        {"empty from the server", "", Sender::Server, Malformed{Why::Size, 0}},
        {"longer than the client takes", BuildTextLine("x") + std::string(472, '\0'),
         Sender::Server, Malformed{Why::Size, 10}},
        {"a request from the server", BuildLoginRequest(alice), Sender::Server,
         Malformed{Why::Type, 0}},
        {"an ack from the server", BuildLoginAck(), Sender::Server, Malformed{Why::Type, 4}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Decode(c.datagram, c.from), c.decoded) << c.what;
}

struct ParseCase
{
    const char* what;
    std::string text;
    std::vector<std::string> names;
};

TEST(PresenceOnlineList, ParsesLikeTheClientScan)
{
    const std::string yi = "\x81\x7C"; // GBK character whose second byte is '|'
    const ParseCase cases[] = {
        {"two names", "alice|bob|", {"alice", "bob"}},
        {"no final separator drops the last name", "alice|bob", {"alice"}},
        {"empty", "", {}},
        {"separator alone", "|", {""}},
        {"blank inside a name splits it", "al ice|bob|", {"al", "ice", "bob"}},
        {"blanks around names are skipped", "  alice |\t bob |", {"alice", "bob"}},
        {"blanks after the final separator leave no empty piece", "alice|bob|  ", {"alice"}},
        {"quoted name keeps blank and separator", "\"a b|c\"|bob|", {"a b|c", "bob"}},
        {"doubled quote stands for one", "\"say \"\"hi\"\"\"|x|", {"say \"hi\"", "x"}},
        {"unclosed quote runs to the end", "\"abc|", {}},
        {"empty between separators", "a||b|", {"a", "", "b"}},
        {"second byte equal to the separator", yi + "|" + yi + "x|", {yi, yi + "x"}},
        {"text ends at its first zero", "a|b|\0c|d|"s, {"a", "b"}},
        {"chinese names", Utf8ToGbk("小雨|老王|"), {Utf8ToGbk("小雨"), Utf8ToGbk("老王")}},
    };
    for (const ParseCase& c : cases)
        EXPECT_EQ(ParseOnlineList(c.text), c.names) << c.what;
}

TEST(PresenceOnlineList, FormattedListsParseBackToTheSameNames)
{
    const std::string yi = "\x81\x7C";
    const std::vector<std::vector<std::string>> lists = {
        {},
        {"alice"},
        {"alice", "bob", Utf8ToGbk("阿杰")},
        {"a b", "c|d", "\"q\"", "say \"x\"", " lead", "tail ", yi, ""},
        {"", "x"},
        // A lead byte before a quote: the quote belongs to the character, not the quoting.
        {"\xB0\" |Fake|x", "\xB0\"\"", "a\xB0\"", "ok"},
    };
    for (const auto& names : lists)
        EXPECT_EQ(ParseOnlineList(FormatOnlineList(names)), names) << FormatOnlineList(names);
}

TEST(PresenceOnlineList, FormatCutsAtANameBoundaryWithinTheField)
{
    std::vector<std::string> names;
    for (int i = 0; i < 200; ++i)
        names.push_back("user" + std::to_string(i)); // "userNN|" entries of 6 to 8 bytes
    const std::string text = FormatOnlineList(names);
    ASSERT_LE(text.size(), ListFieldSize);
    ASSERT_EQ(text.back(), '|');
    const auto parsed = ParseOnlineList(text);
    ASSERT_FALSE(parsed.empty());
    EXPECT_EQ(parsed, std::vector<std::string>(names.begin(), names.begin() + parsed.size()));
    // The next entry would not have fitted.
    EXPECT_GT(text.size() + names[parsed.size()].size() + 1, ListFieldSize);
}

TEST(PresenceOnlineList, LeadByteAtTheEndIsDetected)
{
    EXPECT_FALSE(EndsInLeadByte(""));
    EXPECT_FALSE(EndsInLeadByte("abc"));
    EXPECT_FALSE(EndsInLeadByte("\x81\x7C"));
    EXPECT_TRUE(EndsInLeadByte("ab\x81"));
    EXPECT_TRUE(EndsInLeadByte("\xB0\xA1\xB0"));
}

TEST(PresenceOnlineList, OnlyWellFormedGbkNamesAreListable)
{
    struct Case
    {
        std::string name;
        bool listable;
    } cases[] = {
        {"alice", true},
        {Utf8ToGbk("小雨"), true},
        {"\x81\x40\xFE\xFE\x81\x7E\x81\x80", true}, // the edges of both second-byte ranges
        {"a b|\"c\"", true},
        {std::string(19, 'n'), true},
        {"", false},
        {std::string(20, 'n'), false},
        {"\xB0\" |Fake|x", false}, // second byte '"'
        {"\x81\x7F", false},
        {"\x81\x3F", false},
        {"\x81\xFF", false},
        {"ab\x81", false}, // lead byte at the end
        {"\x80", false},
        {"\xFF", false},
        {"a\0b"s, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsListableName(c.name), c.listable) << Dump(c.name);
}
