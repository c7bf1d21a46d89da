#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "file_io.h"
#include "host.h"
#include "lwio.h"
#include "lwserver.h"

namespace {

using hostsim::LoadState;
using hostsim::SaveState;

const LWBlockIdent kVers{LWID_('V', 'E', 'R', 'S'), "Version"};
const LWBlockIdent kLayer{LWID_('K', 'R', 'V', 'L'), "KorvalithImage"};
const LWBlockIdent kChan{LWID_('C', 'H', 'A', 'N'), "Channel"};
const LWBlockIdent kImag{LWID_('I', 'M', 'A', 'G'), "Image"};
const LWBlockIdent kFile{LWID_('F', 'I', 'L', 'E'), "Filename"};
const LWBlockIdent kNums{LWID_('N', 'U', 'M', 'S'), "Numbers"};
const LWBlockIdent kRaw{LWID_('R', 'A', 'W', 'B'), "RawBytes"};
const LWBlockIdent kEmptyLeaf{LWID_('E', 'M', 'P', 'L'), "EmptyLeaf"};
const LWBlockIdent kEmptyGroup{LWID_('E', 'M', 'P', 'G'), "EmptyGroup"};
const LWBlockIdent kUv{LWID_('U', 'V', 'M', 'O'), "UVMap"};
const LWBlockIdent kEnd{0, nullptr};

const char* const kAwkward = "C:\\Content\\a b\"c\n\t\r\x01\x7f caf\xc3\xa9 {\n} <x> \"\"";

// Thin typed writers and readers over a state.
struct W {
    LWSaveState* s;
    void begin(const LWBlockIdent& id, bool leaf) { LWSAVE_BEGIN(s, &id, leaf ? 1 : 0); }
    void end() { LWSAVE_END(s); }
    void i1(char v) { LWSAVE_I1(s, &v, 1); }
    void u1(uint8_t v) { LWSAVE_U1(s, &v, 1); }
    void i2(short v) { LWSAVE_I2(s, &v, 1); }
    void u2(unsigned short v) { LWSAVE_U2(s, &v, 1); }
    void i4(int v) { LWSAVE_I4(s, &v, 1); }
    void u4(unsigned int v) { LWSAVE_U4(s, &v, 1); }
    void fp(float v) { LWSAVE_FP(s, &v, 1); }
    void dp(double v) { LWSAVE_DP(s, &v, 1); }
    void str(const char* v) { LWSAVE_STR(s, v); }
    void id(const LWBlockIdent& v) { LWSAVE_ID(s, &v); }
    void raw(const std::string& v) { s->write(s->writeData, v.data(), static_cast<int>(v.size())); }
};

struct R {
    LWLoadState* s;
    LWID find(std::initializer_list<LWBlockIdent> ids) {
        std::vector<LWBlockIdent> list(ids);
        list.push_back(kEnd);
        return LWLOAD_FIND(s, list.data());
    }
    void end() { LWLOAD_END(s); }
    int depth() { return LWLOAD_DEPTH(s); }
    template <typename T, typename F>
    bool one(F f, T& v) {
        return f(s->readData, &v, 1) == 1;
    }
    bool i1(char& v) { return one(s->readI1, v); }
    bool u1(uint8_t& v) { return one(s->readU1, v); }
    bool i2(short& v) { return one(s->readI2, v); }
    bool u2(unsigned short& v) { return one(s->readU2, v); }
    bool i4(int& v) { return one(s->readI4, v); }
    bool u4(unsigned int& v) { return one(s->readU4, v); }
    bool fp(float& v) { return one(s->readFP, v); }
    bool dp(double& v) { return one(s->readDP, v); }
    bool str(std::string& v, int max = 4096) {
        std::vector<char> buf(static_cast<size_t>(max));
        const int n = LWLOAD_STR(s, buf.data(), max);
        if (n < 0) return false;
        v.assign(buf.data(), static_cast<size_t>(n));
        return true;
    }
};

template <typename T>
bool sameBits(T a, T b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

const float kFloats[] = {0.0f,
                         -0.0f,
                         1.0f,
                         -2.5f,
                         0.1f,
                         3.4028235e38f,
                         1.4e-45f,
                         1.17549435e-38f,
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(),
                         std::numeric_limits<float>::quiet_NaN()};
const double kDoubles[] = {0.1, -1e300, 5e-324, 1.0 / 3.0, -std::numeric_limits<double>::infinity()};

std::string rawBytes() {
    std::string s;
    for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
    return s;
}

// Writes a file with every kind of value, nested groups, values directly
// in a group and at the top level, and empty blocks.
void writeSample(LWSaveState* state) {
    W w{state};
    w.begin(kVers, true);
    w.i2(1);
    w.end();
    w.begin(kLayer, false);
    w.i4(-7);  // values of the group itself
    w.fp(2.5f);
    w.id(kImag);
    w.begin(kChan, true);
    w.i2(-3);
    w.end();
    w.begin(kImag, false);
    w.begin(kFile, true);
    w.str(kAwkward);
    w.end();
    w.end();
    w.begin(kNums, true);
    w.i1(-128);
    w.i1(127);
    w.u1(255);
    w.i2(-32768);
    w.u2(65535);
    w.i4(std::numeric_limits<int32_t>::min());
    w.u4(std::numeric_limits<uint32_t>::max());
    for (float f : kFloats) w.fp(f);
    for (double d : kDoubles) w.dp(d);
    w.end();
    w.begin(kRaw, true);
    w.raw(rawBytes());
    w.end();
    w.begin(kEmptyLeaf, true);
    w.end();
    w.begin(kEmptyGroup, false);
    w.end();
    w.end();
    w.begin(kUv, true);
    w.str("");
    w.end();
    w.u4(42);  // a top-level value after the blocks
}

class FileIoForms : public ::testing::TestWithParam<int> {
protected:
    std::string sample() {
        SaveState save(GetParam());
        writeSample(save.state());
        EXPECT_TRUE(save.finish()) << save.error();
        return save.data();
    }
};

TEST_P(FileIoForms, EverythingWrittenReadsBack) {
    LoadState load(sample(), GetParam());
    R r{load.state()};
    int16_t i2;
    ASSERT_EQ(r.find({kVers}), kVers.id);
    EXPECT_EQ(r.depth(), 1);
    ASSERT_TRUE(r.i2(i2));
    EXPECT_EQ(i2, 1);
    r.end();

    ASSERT_EQ(r.find({kLayer}), kLayer.id);
    int32_t i4;
    float fp;
    ASSERT_TRUE(r.i4(i4));
    ASSERT_TRUE(r.fp(fp));
    EXPECT_EQ(i4, -7);
    EXPECT_EQ(fp, 2.5f);
    const LWBlockIdent names[] = {kChan, kImag, kEnd};
    EXPECT_EQ(LWLOAD_ID(load.state(), names), kImag.id);
    EXPECT_FALSE(r.i4(i4)) << "the group's values end where its first block starts";

    ASSERT_EQ(r.find({kChan}), kChan.id);
    ASSERT_TRUE(r.i2(i2));
    EXPECT_EQ(i2, -3);
    r.end();
    ASSERT_EQ(r.find({kImag}), kImag.id);
    ASSERT_EQ(r.find({kFile}), kFile.id);
    EXPECT_EQ(r.depth(), 3);
    std::string s;
    ASSERT_TRUE(r.str(s));
    EXPECT_EQ(s, kAwkward);
    r.end();
    EXPECT_EQ(r.find({kFile}), 0u);
    r.end();

    ASSERT_EQ(r.find({kNums}), kNums.id);
    char a, b;
    uint8_t c;
    int16_t d;
    uint16_t e;
    uint32_t g;
    ASSERT_TRUE(r.i1(a) && r.i1(b) && r.u1(c) && r.i2(d) && r.u2(e) && r.i4(i4) && r.u4(g));
    EXPECT_EQ(a, -128);
    EXPECT_EQ(b, 127);
    EXPECT_EQ(c, 255);
    EXPECT_EQ(d, -32768);
    EXPECT_EQ(e, 65535);
    EXPECT_EQ(i4, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(g, std::numeric_limits<uint32_t>::max());
    for (float f : kFloats) {
        ASSERT_TRUE(r.fp(fp));
        EXPECT_TRUE(sameBits(fp, f)) << f;
    }
    for (double x : kDoubles) {
        double dp;
        ASSERT_TRUE(r.dp(dp));
        EXPECT_TRUE(sameBits(dp, x)) << x;
    }
    EXPECT_FALSE(r.fp(fp)) << "nothing follows in the leaf";
    r.end();

    ASSERT_EQ(r.find({kRaw}), kRaw.id);
    std::string raw(300, '\0');
    EXPECT_EQ(load.state()->read(load.state()->readData, raw.data(), 300), 256);
    raw.resize(256);
    EXPECT_EQ(raw, rawBytes());
    r.end();

    ASSERT_EQ(r.find({kEmptyLeaf, kEmptyGroup}), kEmptyLeaf.id);
    EXPECT_FALSE(r.i2(i2));
    r.end();
    ASSERT_EQ(r.find({kEmptyLeaf, kEmptyGroup}), kEmptyGroup.id);
    EXPECT_EQ(r.find({kVers}), 0u);
    r.end();
    EXPECT_EQ(r.find({kVers}), 0u) << "end of the layer group";
    EXPECT_EQ(r.depth(), 1);
    r.end();

    ASSERT_EQ(r.find({kUv}), kUv.id);
    ASSERT_TRUE(r.str(s));
    EXPECT_EQ(s, "");
    r.end();
    uint32_t top;
    ASSERT_TRUE(r.u4(top));
    EXPECT_EQ(top, 42u);
    EXPECT_EQ(r.find({kVers, kUv}), 0u);
    EXPECT_EQ(r.depth(), 0);
    EXPECT_FALSE(load.failed()) << load.error();
}

TEST_P(FileIoForms, UnlistedBlocksAndUnreadValuesAreSkipped) {
    LoadState load(sample(), GetParam());
    R r{load.state()};
    // Only the top-level UV block is asked for: the version and the whole
    // layer group with its nested blocks are stepped over.
    ASSERT_EQ(r.find({kUv}), kUv.id);
    r.end();
    // The top-level value after it is still there.
    uint32_t top;
    ASSERT_TRUE(r.u4(top));
    EXPECT_EQ(top, 42u);

    LoadState again(sample(), GetParam());
    R q{again.state()};
    ASSERT_EQ(q.find({kLayer}), kLayer.id);
    // The group's own values are not read; findBlk steps over them.
    ASSERT_EQ(q.find({kRaw, kImag}), kImag.id);
    ASSERT_EQ(q.find({kFile}), kFile.id);
    q.end();  // the string is not read
    q.end();
    ASSERT_EQ(q.find({kRaw, kImag}), kRaw.id);
    q.end();
    EXPECT_EQ(q.find({kRaw, kImag}), 0u);
    EXPECT_FALSE(again.failed()) << again.error();
}

TEST_P(FileIoForms, LaterBlocksWinAndLeavesHoldNoBlocks) {
    SaveState save(GetParam());
    W w{save.state()};
    for (int16_t v : {4, 9}) {
        w.begin(kChan, true);
        w.i2(v);
        w.end();
    }
    ASSERT_TRUE(save.finish());
    LoadState load(save.data(), GetParam());
    R r{load.state()};
    int16_t channel = -1;
    while (r.find({kChan})) {
        EXPECT_EQ(r.find({kChan}), 0u) << "a leaf holds no blocks";
        EXPECT_EQ(r.depth(), 1);
        r.i2(channel);
        r.end();
    }
    EXPECT_EQ(channel, 9);
    r.end();  // at the top level: nothing to end
    EXPECT_EQ(r.depth(), 0);
}

TEST_P(FileIoForms, ReadsPastALeafFailAndLeaveTheValue) {
    SaveState save(GetParam());
    W w{save.state()};
    w.begin(kChan, true);
    w.u1(7);
    w.end();
    w.begin(kVers, true);
    w.i2(1);
    w.end();
    ASSERT_TRUE(save.finish());
    LoadState load(save.data(), GetParam());
    R r{load.state()};
    ASSERT_EQ(r.find({kChan}), kChan.id);
    uint8_t small;
    ASSERT_TRUE(r.u1(small));
    EXPECT_EQ(small, 7);
    int32_t wide = 1234;
    EXPECT_FALSE(r.i4(wide));
    EXPECT_EQ(wide, 1234);
    uint8_t pair[2] = {5, 5};
    EXPECT_EQ(load.state()->readU1(load.state()->readData, pair, 2), 0);
    EXPECT_EQ(pair[0], 5);
    std::string s = "kept";
    EXPECT_FALSE(r.str(s));
    EXPECT_EQ(s, "kept");
    r.end();
    EXPECT_EQ(r.find({kVers}), kVers.id) << "a short leaf does not upset what follows";
    EXPECT_FALSE(load.failed());
}

TEST(FileIoBinary, AFailedReadConsumesNothing) {
    SaveState save(LWIO_BINARY);
    W w{save.state()};
    w.begin(kChan, true);
    w.u1(7);
    w.end();
    ASSERT_TRUE(save.finish());
    LoadState load(save.data(), LWIO_BINARY);
    R r{load.state()};
    ASSERT_EQ(r.find({kChan}), kChan.id);
    int32_t wide = 1234;
    EXPECT_FALSE(r.i4(wide)) << "one byte is no 32-bit value";
    EXPECT_EQ(wide, 1234);
    uint8_t small;
    ASSERT_TRUE(r.u1(small));
    EXPECT_EQ(small, 7);
}

TEST_P(FileIoForms, LongStringsAreCutToTheBufferAndTheRestIsSkipped) {
    SaveState save(GetParam());
    W w{save.state()};
    w.begin(kFile, true);
    w.str("abcdefghij");
    w.i2(77);
    w.end();
    ASSERT_TRUE(save.finish());
    LoadState load(save.data(), GetParam());
    R r{load.state()};
    ASSERT_EQ(r.find({kFile}), kFile.id);
    char buf[5];
    std::memset(buf, 'z', sizeof buf);
    EXPECT_EQ(LWLOAD_STR(load.state(), buf, 5), 4);
    EXPECT_STREQ(buf, "abcd");
    int16_t after;
    ASSERT_TRUE(r.i2(after));
    EXPECT_EQ(after, 77);
}

TEST_P(FileIoForms, SignedAndUnsignedReadsOfTheSameBitsAgree) {
    SaveState save(GetParam());
    W w{save.state()};
    w.begin(kNums, true);
    w.i1(-1);
    w.u2(40000);
    w.end();
    ASSERT_TRUE(save.finish());
    LoadState load(save.data(), GetParam());
    R r{load.state()};
    ASSERT_EQ(r.find({kNums}), kNums.id);
    uint8_t u;
    int16_t i;
    ASSERT_TRUE(r.u1(u));
    ASSERT_TRUE(r.i2(i));
    EXPECT_EQ(u, 255);
    EXPECT_EQ(i, static_cast<int16_t>(40000 - 65536));
}

TEST_P(FileIoForms, IdentifiersReadBackAsTheCodesTheListNames) {
    SaveState save(GetParam());
    W w{save.state()};
    w.id(kChan);  // opens a line of top-level values
    w.i2(5);
    w.begin(kLayer, false);
    w.i4(9);
    w.id(kImag);  // after a value of the group
    w.begin(kNums, true);
    w.id(kFile);
    w.id(kRaw);
    w.i2(-1);
    w.id(kUv);
    w.end();
    w.id(kVers);  // a group's value after its blocks
    w.end();
    ASSERT_TRUE(save.finish()) << save.error();

    LoadState load(save.data(), GetParam());
    LWLoadState* l = load.state();
    R r{l};
    const LWBlockIdent names[] = {kChan, kImag, kFile, kVers, kEnd};
    short v = 0;
    ASSERT_EQ(LWLOAD_ID(l, names), kChan.id);
    ASSERT_TRUE(r.i2(v));
    EXPECT_EQ(v, 5);
    ASSERT_EQ(r.find({kLayer}), kLayer.id);
    // Binary values carry no kind: there an identifier read takes the next
    // four bytes, whatever they hold.
    if (GetParam() == LWIO_ASCII) {
        EXPECT_EQ(LWLOAD_ID(l, names), 0u) << "a number is no identifier";
    }
    int i4 = 0;
    ASSERT_TRUE(r.i4(i4));
    EXPECT_EQ(i4, 9);
    EXPECT_EQ(LWLOAD_ID(l, names), kImag.id);
    ASSERT_EQ(r.find({kNums}), kNums.id);
    EXPECT_EQ(LWLOAD_ID(l, names), kFile.id);
    EXPECT_EQ(LWLOAD_ID(l, names), 0u) << "an identifier the list does not name";
    ASSERT_TRUE(r.i2(v)) << "is read all the same";
    EXPECT_EQ(v, -1);
    EXPECT_EQ(LWLOAD_ID(l, names), 0u) << "the list does not name UVMap";
    EXPECT_EQ(LWLOAD_ID(l, names), 0u) << "the end of the leaf";
    r.end();
    EXPECT_EQ(LWLOAD_ID(l, names), kVers.id);
    EXPECT_EQ(LWLOAD_ID(l, nullptr), 0u);
    r.end();
    EXPECT_EQ(LWLOAD_ID(l, names), 0u) << "the end of the file";
    EXPECT_FALSE(load.failed()) << load.error();
}

// The events of one reading of the sample; a reading stops at the first
// failure, so a damaged file gives a prefix of the events of the whole.
std::vector<std::string> readEvents(LoadState& load) {
    std::vector<std::string> ev;
    R r{load.state()};
    const auto all = {kVers, kLayer, kChan, kImag, kFile, kNums, kRaw, kEmptyLeaf, kEmptyGroup, kUv};
    std::function<bool()> level = [&]() -> bool {
        for (;;) {
            const LWID id = r.find(all);
            if (!id) return true;
            ev.push_back("block " + std::to_string(id));
            if (id == kVers.id || id == kChan.id) {
                int16_t v;
                if (!r.i2(v)) return false;
                ev.push_back(std::to_string(v));
            } else if (id == kFile.id || id == kUv.id) {
                std::string s;
                if (!r.str(s)) return false;
                ev.push_back(s);
            } else if (id == kNums.id) {
                char a;
                for (int k = 0; k < 2; ++k) {
                    if (!r.i1(a)) return false;
                    ev.push_back(std::to_string(a));
                }
                uint32_t u;
                for (int k = 0; k < 4; ++k) {
                    if (!r.u4(u)) return false;
                    ev.push_back(std::to_string(u));
                }
            } else if (id == kRaw.id) {
                char buf[256];
                if (load.state()->read(load.state()->readData, buf, 256) != 256) return false;
                ev.push_back(std::string(buf, 256));
            } else if (id == kLayer.id) {
                int32_t v;
                float f;
                const LWBlockIdent names[] = {kImag, kEnd};
                if (!r.i4(v) || !r.fp(f)) return false;
                ev.push_back(std::to_string(v));
                ev.push_back(std::to_string(f));
                const LWID named = LWLOAD_ID(load.state(), names);
                if (!named) return false;
                ev.push_back(std::to_string(named));
                if (!level()) return false;
            } else if (!level()) {
                return false;
            }
            r.end();
            if (id == kUv.id) {  // the top-level value that follows it
                uint32_t top;
                if (!r.u4(top)) return false;
                ev.push_back(std::to_string(top));
            }
        }
    };
    level();
    return ev;
}

TEST_P(FileIoForms, EveryTruncationReadsAPrefixOrFailsCleanly) {
    const std::string whole = sample();
    LoadState full(whole, GetParam());
    const auto expected = readEvents(full);
    ASSERT_FALSE(full.failed()) << full.error();
    ASSERT_GT(expected.size(), 20u);
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        LoadState load(whole.substr(0, cut), GetParam());
        const auto got = readEvents(load);
        ASSERT_LE(got.size(), expected.size()) << "cut at " << cut;
        for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], expected[i]) << "cut at " << cut << ", event " << i;
        ASSERT_LT(got.size(), expected.size()) << "cut at " << cut << " read as a whole file";
    }
}

TEST_P(FileIoForms, DamagedBytesNeverReadOutOfBounds) {
    // Every byte replaced by characters that matter to either form; under
    // the address sanitizer this finds reads outside the data.
    const std::string whole = sample();
    const char replacements[] = {'\0', '\xff', '\x7f', '{', '}', '"', '\\', '\n', '<', ' ', 'A', '9'};
    for (size_t at = 0; at < whole.size(); ++at) {
        for (char c : replacements) {
            std::string damaged = whole;
            damaged[at] = c;
            LoadState load(std::move(damaged), GetParam());
            readEvents(load);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothForms, FileIoForms, ::testing::Values(LWIO_BINARY, LWIO_ASCII),
                         [](const auto& info) { return info.param == LWIO_BINARY ? "Binary" : "Text"; });

// ---------------------------------------------------------------- formats

TEST(FileIoFormat, BinaryLayout) {
    SaveState save(LWIO_BINARY);
    W w{save.state()};
    w.begin(kVers, true);
    w.i2(1);
    w.end();
    w.begin(kImag, false);
    w.u1(9);
    w.begin(kFile, true);
    w.str("a");
    w.end();
    w.end();
    ASSERT_TRUE(save.finish());
    const std::string expected = std::string("VERS\0\0\0\x02\0\x01", 10) +
                                 std::string("IMAG\x80\0\0\x13", 8) +       // group of 19 bytes
                                 std::string("\0\0\0\0\0\0\0\x01\x09", 9) +  // value run of 1 byte
                                 std::string("FILE\0\0\0\x02" "a\0", 10);
    EXPECT_EQ(save.data(), expected);
}

TEST(FileIoFormat, TextLayout) {
    SaveState save(LWIO_ASCII);
    W w{save.state()};
    w.begin(kVers, true);
    w.i2(1);
    w.end();
    w.begin(kLayer, false);
    w.fp(0.5f);
    w.i4(-2);
    w.begin(kImag, false);
    w.begin(kFile, true);
    w.str("C:\\a \"b\"");
    w.end();
    w.end();
    w.begin(kRaw, true);
    w.raw("\x01\xab");
    w.end();
    w.end();
    ASSERT_TRUE(save.finish());
    EXPECT_EQ(save.data(),
              "Version 1\n"
              "{ KorvalithImage\n"
              "  0.5 -2\n"
              "  { Image\n"
              "    Filename \"C:\\\\a \\\"b\\\"\"\n"
              "  }\n"
              "  RawBytes <01ab>\n"
              "}\n");
}

TEST(FileIoFormat, IdentifiersAreTheCodeInBinaryAndTheTokenInText) {
    for (int mode : {LWIO_BINARY, LWIO_ASCII}) {
        SaveState save(mode);
        W w{save.state()};
        w.begin(kNums, true);
        w.id(kChan);
        w.end();
        w.begin(kLayer, false);
        w.id(kImag);
        w.u1(3);
        w.end();
        ASSERT_TRUE(save.finish());
        if (mode == LWIO_BINARY)
            EXPECT_EQ(save.data(), std::string("NUMS\0\0\0\x04" "CHAN", 12) +
                                       std::string("KRVL\x80\0\0\x0d" "\0\0\0\0\0\0\0\x05" "IMAG\x03", 21));
        else
            EXPECT_EQ(save.data(), "Numbers Channel\n{ KorvalithImage\n  Image 3\n}\n");
    }
}

TEST(FileIoFormat, ALineThatStartsWithAnIdentifierIsALeafToFindBlk) {
    // The text form cannot tell the two apart; the reader's call decides.
    LoadState load("Channel 7\n", LWIO_ASCII);
    R r{load.state()};
    ASSERT_EQ(r.find({kChan}), kChan.id);
    short v = 0;
    ASSERT_TRUE(r.i2(v));
    EXPECT_EQ(v, 7);
}

TEST(FileIoFormat, TextReaderToleratesTabsBlankLinesAndCarriageReturns) {
    LoadState load("\r\n{\tKorvalithImage \r\n\t  7\t 8\r\n\n\tChannel\t-4 \r\n}\r\nVersion 2\r\n", LWIO_ASCII);
    R r{load.state()};
    ASSERT_EQ(r.find({kLayer}), kLayer.id);
    int16_t a, b, c;
    ASSERT_TRUE(r.i2(a) && r.i2(b));
    EXPECT_EQ(a + b, 15);
    ASSERT_EQ(r.find({kChan}), kChan.id);
    ASSERT_TRUE(r.i2(c));
    EXPECT_EQ(c, -4);
    r.end();
    r.end();
    ASSERT_EQ(r.find({kVers}), kVers.id);
    EXPECT_FALSE(load.failed()) << load.error();
}

// ---------------------------------------------------------------- malformed input

struct Malformed {
    const char* name;
    int mode;
    std::string data;
};

class FileIoMalformed : public ::testing::TestWithParam<Malformed> {};

TEST_P(FileIoMalformed, FailsCleanlyAndSaysWhy) {
    const Malformed& m = GetParam();
    LoadState load(m.data, m.mode);
    R r{load.state()};
    // Read whatever the reader is given; something along the way must fail.
    for (int guard = 0; guard < 10; ++guard) {
        const LWID id = r.find({kVers, kLayer, kChan, kFile});
        if (!id) break;
        std::string s;
        int16_t v;
        if (id == kFile.id) r.str(s);
        else r.i2(v);
        if (id != kLayer.id) r.end();
    }
    EXPECT_TRUE(load.failed()) << m.name;
    EXPECT_FALSE(load.error().empty());
    EXPECT_EQ(r.find({kVers, kLayer, kChan, kFile}), 0u) << "a failed state finds nothing more";
}

const std::string kVersBlock("VERS\0\0\0\x02\0\x01", 10);

INSTANTIATE_TEST_SUITE_P(
    Cases, FileIoMalformed,
    ::testing::Values(
        Malformed{"BinarySizePastTheEnd", LWIO_BINARY, kVersBlock + std::string("CHAN\0\0\0\x09\0\x01", 10)},
        Malformed{"BinaryTruncatedHeader", LWIO_BINARY, kVersBlock + std::string("CHA", 3)},
        Malformed{"BinaryChildLargerThanParent", LWIO_BINARY,
                  std::string("KRVL\x80\0\0\x0a" "CHAN\0\0\0\x08\0\x01", 18)},
        Malformed{"BinaryHugeSize", LWIO_BINARY, std::string("VERS\x7f\xff\xff\xff\0\x01", 10)},
        Malformed{"BinaryValueRunMarkedAsGroup", LWIO_BINARY, std::string("\0\0\0\0\x80\0\0\0", 8) + kVersBlock},
        Malformed{"BinaryStringWithoutTerminator", LWIO_BINARY, std::string("FILE\0\0\0\x03" "abc", 11)},
        Malformed{"TextUnclosedGroup", LWIO_ASCII, "{ KorvalithImage\n  Channel 1\n"},
        Malformed{"TextStrayClosingBrace", LWIO_ASCII, "Version 1\n}\nChannel 2\n"},
        Malformed{"TextLineWithoutEnd", LWIO_ASCII, "Version 1\nChannel 2"},
        Malformed{"TextUnterminatedString", LWIO_ASCII, "Filename \"abc\n"},
        Malformed{"TextUnknownEscape", LWIO_ASCII, "Filename \"a\\qb\"\n"},
        Malformed{"TextZeroEscape", LWIO_ASCII, "Filename \"a\\x00b\"\n"},
        Malformed{"TextJunkAfterAString", LWIO_ASCII, "Filename \"a\"b\n"},
        Malformed{"TextGroupWithoutSpace", LWIO_ASCII, "{KorvalithImage\n}\n"},
        Malformed{"TextGroupWithoutToken", LWIO_ASCII, "{ \n}\n"},
        Malformed{"TextBadClosingLine", LWIO_ASCII, "{ KorvalithImage\n} x\n"},
        Malformed{"TextUnexpectedCharacter", LWIO_ASCII, "Version 1\n*Channel 2\n"},
        Malformed{"TextBadBlockName", LWIO_ASCII, "Chan-nel 2\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileIoMalformedValues, WrongKindsOfTextValuesFailWithoutStoppingTheFile) {
    // Out-of-range or mistyped values are refused one by one; they are not
    // damage to the file's structure.
    LoadState load("Channel 70000 1.5 \"x\" -129 3\nVersion 1\n", LWIO_ASCII);
    R r{load.state()};
    ASSERT_EQ(r.find({kChan}), kChan.id);
    int16_t v = 5;
    EXPECT_FALSE(r.i2(v));  // 70000 does not fit 16 bits
    EXPECT_EQ(v, 5);
    uint32_t big;
    ASSERT_TRUE(r.u4(big));
    EXPECT_EQ(big, 70000u);
    EXPECT_FALSE(r.i2(v));  // 1.5 is no integer
    float f;
    ASSERT_TRUE(r.fp(f));
    EXPECT_EQ(f, 1.5f);
    EXPECT_FALSE(r.i2(v));  // a string is no number
    std::string s;
    ASSERT_TRUE(r.str(s));
    char small;
    EXPECT_FALSE(r.i1(small));  // -129 does not fit 8 bits
    ASSERT_TRUE(r.i2(v));
    EXPECT_EQ(v, -129);
    r.end();
    EXPECT_EQ(r.find({kVers}), kVers.id);
    EXPECT_FALSE(load.failed()) << load.error();
}

// ---------------------------------------------------------------- writer misuse

struct Misuse {
    const char* name;
    int mode;
    void (*write)(W&);
};

class FileIoMisuse : public ::testing::TestWithParam<Misuse> {};

TEST_P(FileIoMisuse, IsReportedWhenTheStateIsFinished) {
    SaveState save(GetParam().mode);
    W w{save.state()};
    GetParam().write(w);
    EXPECT_FALSE(save.finish());
    EXPECT_TRUE(save.failed());
    EXPECT_FALSE(save.error().empty());
}

const LWBlockIdent kNoToken{LWID_('N', 'O', 'T', 'K'), nullptr};
const LWBlockIdent kBadToken{LWID_('B', 'A', 'D', 'T'), "two words"};
const LWBlockIdent kZero{0, "Zero"};

INSTANTIATE_TEST_SUITE_P(
    Cases, FileIoMisuse,
    ::testing::Values(Misuse{"BinaryBlockInsideALeaf", LWIO_BINARY,
                             [](W& w) {
                                 w.begin(kChan, true);
                                 w.begin(kVers, true);
                             }},
                      Misuse{"TextBlockInsideALeaf", LWIO_ASCII,
                             [](W& w) {
                                 w.begin(kChan, true);
                                 w.begin(kVers, true);
                             }},
                      Misuse{"ZeroCode", LWIO_BINARY, [](W& w) { w.begin(kZero, true); }},
                      Misuse{"NullIdent", LWIO_ASCII, [](W& w) { LWSAVE_BEGIN(w.s, nullptr, 1); }},
                      Misuse{"TextWithoutToken", LWIO_ASCII, [](W& w) { w.begin(kNoToken, true); }},
                      Misuse{"TextTokenWithASpace", LWIO_ASCII, [](W& w) { w.begin(kBadToken, false); }},
                      Misuse{"EndWithoutBegin", LWIO_BINARY, [](W& w) { w.end(); }},
                      Misuse{"NullIdentifier", LWIO_BINARY, [](W& w) { LWSAVE_ID(w.s, nullptr); }},
                      Misuse{"ZeroIdentifier", LWIO_BINARY, [](W& w) { w.id(kZero); }},
                      Misuse{"TextIdentifierWithoutToken", LWIO_ASCII, [](W& w) { w.id(kNoToken); }},
                      Misuse{"TextIdentifierTokenWithASpace", LWIO_ASCII, [](W& w) { w.id(kBadToken); }},
                      Misuse{"BlockLeftOpen", LWIO_ASCII, [](W& w) { w.begin(kLayer, false); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileIoMisuse, BinaryFormNeedsNoTokenAndStopsWritingAfterAMisuse) {
    SaveState fine(LWIO_BINARY);
    W w{fine.state()};
    w.begin(kNoToken, true);
    w.end();
    EXPECT_TRUE(fine.finish()) << fine.error();

    SaveState broken(LWIO_ASCII);
    W b{broken.state()};
    b.begin(kVers, true);
    b.i2(1);
    b.end();
    const std::string before = broken.data();
    b.end();  // misuse
    b.begin(kChan, true);
    b.i2(2);
    b.end();
    EXPECT_EQ(broken.data(), before);
    EXPECT_FALSE(broken.finish());
}

// ---------------------------------------------------------------- the service

class FileIoService : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("korvalith_fileio_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    const LWFileIOFuncs* io() {
        return static_cast<const LWFileIOFuncs*>(hostsim::Host::lookupFunction()(LWFILEIOFUNCS_GLOBAL, GFUSE_TRANSIENT));
    }
    std::string path(const char* name) { return (dir_ / name).string(); }
    hostsim::Host host;
    std::filesystem::path dir_;
};

TEST_F(FileIoService, FilesRoundTripInBothForms) {
    ASSERT_NE(io(), nullptr);
    for (int mode : {LWIO_BINARY, LWIO_ASCII}) {
        const std::string file = path(mode == LWIO_BINARY ? "defaults.bin" : "defaults.txt");
        LWSaveState* save = io()->openSave(file.c_str(), mode);
        ASSERT_NE(save, nullptr);
        EXPECT_EQ(save->ioMode, mode);
        EXPECT_EQ(host.fileIO().openSaves(), 1);
        writeSample(save);
        io()->closeSave(save);
        EXPECT_TRUE(host.fileIO().saved(file));
        EXPECT_EQ(host.fileIO().openSaves(), 0);

        LWLoadState* load = io()->openLoad(file.c_str(), mode);
        ASSERT_NE(load, nullptr);
        std::string bytes;
        ASSERT_TRUE(hostsim::readWholeFile(file, bytes));
        LoadState fromMemory(bytes, mode);
        R r{load};
        ASSERT_EQ(r.find({kVers}), kVers.id);
        r.end();
        ASSERT_EQ(r.find({kUv}), kUv.id);
        io()->closeLoad(load);
        EXPECT_EQ(host.fileIO().openLoads(), 0);
        // The same bytes as the memory form.
        SaveState memory(mode);
        writeSample(memory.state());
        ASSERT_TRUE(memory.finish());
        EXPECT_EQ(bytes, memory.data());
    }
    EXPECT_TRUE(host.fileIO().errors().empty());
}

TEST_F(FileIoService, OpeningFailuresAnswerNull) {
    EXPECT_EQ(io()->openLoad(path("missing.cfg").c_str(), LWIO_BINARY), nullptr);
    EXPECT_EQ(io()->openLoad(nullptr, LWIO_BINARY), nullptr);
    EXPECT_EQ(io()->openSave(path("no/such/dir/x.cfg").c_str(), LWIO_ASCII), nullptr);
    EXPECT_EQ(io()->openSave(path("x.cfg").c_str(), 7), nullptr);
    EXPECT_EQ(host.fileIO().loadRequests().size(), 2u);
    EXPECT_EQ(host.fileIO().saveRequests().size(), 2u);
    EXPECT_EQ(host.fileIO().openLoads() + host.fileIO().openSaves(), 0);
}

TEST_F(FileIoService, MisusedSaveIsReportedAtCloseAndReadsBackEmpty) {
    const std::string file = path("bad.cfg");
    LWSaveState* save = io()->openSave(file.c_str(), LWIO_BINARY);
    ASSERT_NE(save, nullptr);
    LWSAVE_BEGIN(save, &kVers, 1);
    LWSAVE_END(save);
    LWSAVE_END(save);
    io()->closeSave(save);
    EXPECT_FALSE(host.fileIO().saved(file));
    const auto closed = host.fileIO().closedSaves();
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0].path, file);
    EXPECT_FALSE(closed[0].written);
    EXPECT_NE(closed[0].error.find("endBlk"), std::string::npos);
    ASSERT_EQ(host.fileIO().errors().size(), 1u);
    EXPECT_NE(host.fileIO().errors()[0].find("endBlk"), std::string::npos);

    // What the plug-in can learn: reading the file back finds nothing of
    // what it wrote.
    LWLoadState* load = io()->openLoad(file.c_str(), LWIO_BINARY);
    ASSERT_NE(load, nullptr);
    EXPECT_EQ(R{load}.find({kVers}), 0u);
    io()->closeLoad(load);
}

TEST_F(FileIoService, AFileTheDeviceCannotHoldIsNotSaved) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no device that is always full";
    LWSaveState* save = io()->openSave("/dev/full", LWIO_ASCII);
    ASSERT_NE(save, nullptr);
    writeSample(save);
    io()->closeSave(save);
    EXPECT_FALSE(host.fileIO().saved("/dev/full"));
    ASSERT_EQ(host.fileIO().closedSaves().size(), 1u);
    EXPECT_EQ(host.fileIO().closedSaves()[0].error, "the file could not be written");
}

TEST_F(FileIoService, TheLatestSaveOfAPathCounts) {
    const std::string file = path("again.cfg");
    EXPECT_FALSE(host.fileIO().saved(file)) << "never saved";
    LWSaveState* bad = io()->openSave(file.c_str(), LWIO_ASCII);
    LWSAVE_BEGIN(bad, &kLayer, 0);  // left open
    io()->closeSave(bad);
    EXPECT_FALSE(host.fileIO().saved(file));
    LWSaveState* good = io()->openSave(file.c_str(), LWIO_ASCII);
    writeSample(good);
    io()->closeSave(good);
    EXPECT_TRUE(host.fileIO().saved(file));
    io()->closeSave(good);  // no longer open
    EXPECT_EQ(host.fileIO().closedSaves().size(), 2u);
    EXPECT_EQ(host.fileIO().errors().back(), "closeSave of a state that is not open");
}

TEST_F(FileIoService, ClosingAFailedLoadRecordsWhy) {
    ASSERT_TRUE(hostsim::writeWholeFile(path("cut.cfg"), std::string("VERS\0\0\0\x09\0\x01", 10)));
    LWLoadState* load = io()->openLoad(path("cut.cfg").c_str(), LWIO_BINARY);
    ASSERT_NE(load, nullptr);
    R r{load};
    EXPECT_EQ(r.find({kVers}), 0u);
    io()->closeLoad(load);
    ASSERT_EQ(host.fileIO().errors().size(), 1u);
    EXPECT_NE(host.fileIO().errors()[0].find("past the end"), std::string::npos);
}

}  // namespace
