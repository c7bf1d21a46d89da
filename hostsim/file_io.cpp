#include "file_io.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <type_traits>

#include "host.h"

namespace hostsim {

namespace {

constexpr uint32_t kGroupBit = 0x80000000u;
constexpr uint32_t kSizeMask = 0x7fffffffu;
constexpr size_t kNone = static_cast<size_t>(-1);

bool asciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool asciiDigit(char c) { return c >= '0' && c <= '9'; }
bool tokenChar(char c) { return asciiLetter(c) || asciiDigit(c) || c == '_'; }
bool blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
// First characters of value tokens; token names start with a letter instead.
bool valueStart(char c) { return asciiDigit(c) || c == '-' || c == '+' || c == '.' || c == '"' || c == '<'; }

bool validToken(const char* token) {
    if (!token || !asciiLetter(token[0])) return false;
    for (const char* p = token; *p; ++p)
        if (!tokenChar(*p)) return false;
    return true;
}

std::string idText(LWID id) {
    std::string s = "'";
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((id >> shift) & 0xff);
        s += (c >= 0x20 && c < 0x7f) ? c : '?';
    }
    return s + "'";
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

const char kHexDigits[] = "0123456789abcdef";

}  // namespace

// ====================================================================== readers

class BlockReader {
public:
    virtual ~BlockReader() = default;
    // Raw bytes: the number read.
    virtual int raw(char* buf, int len) = 0;
    // One integer of 1, 2 or 4 bytes as its bits; one float; one double.
    virtual bool integer(int bytes, uint64_t& bits) = 0;
    virtual bool real(float& value) = 0;
    virtual bool real(double& value) = 0;
    virtual int string(char* buf, int max) = 0;
    // One identifier value; the code of the list entry it names, or 0. An
    // identifier the list does not name is read all the same.
    virtual LWID identifier(const LWBlockIdent* ids) = 0;
    virtual LWID find(const LWBlockIdent* ids) = 0;
    virtual void end() = 0;
    virtual int depth() const = 0;

    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }

protected:
    void fail(const std::string& why) {
        if (error_.empty()) error_ = why.empty() ? "malformed data" : why;
    }
    static LWID match(const LWBlockIdent* ids, LWID id) {
        if (id == 0) return 0;
        for (const LWBlockIdent* p = ids; p->id; ++p)
            if (p->id == id) return id;
        return 0;
    }
    static LWID match(const LWBlockIdent* ids, std::string_view token) {
        for (const LWBlockIdent* p = ids; p->id; ++p)
            if (p->token && token == p->token) return p->id;
        return 0;
    }

private:
    std::string error_;
};

// Binary form. Frames are byte ranges; every size is checked against the
// range of the enclosing frame before it is used.
class BinaryReader : public BlockReader {
public:
    explicit BinaryReader(std::string data) : data_(std::move(data)) { frames_.push_back({false, data_.size()}); }

    int raw(char* buf, int len) override {
        const size_t n = available(static_cast<size_t>(len));
        take(n, reinterpret_cast<unsigned char*>(buf));
        return static_cast<int>(n);
    }

    bool integer(int bytes, uint64_t& bits) override {
        unsigned char b[4];
        if (!take(static_cast<size_t>(bytes), b)) return false;
        bits = 0;
        for (int i = 0; i < bytes; ++i) bits = (bits << 8) | b[i];
        return true;
    }

    bool real(float& value) override {
        unsigned char b[4];
        if (!take(4, b)) return false;
        const uint32_t u = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
        std::memcpy(&value, &u, 4);
        return true;
    }

    bool real(double& value) override {
        unsigned char b[8];
        if (!take(8, b)) return false;
        uint64_t u = 0;
        for (unsigned char c : b) u = (u << 8) | c;
        std::memcpy(&value, &u, 8);
        return true;
    }

    int string(char* buf, int max) override {
        buf[0] = 0;
        if (failed()) return -1;
        const Mark mark = here();
        size_t end = limit();
        if (!inLeaf()) {
            if ((!inRun_ || pos_ == runEnd_) && !enterRun()) {
                restore(mark);
                return -1;
            }
            end = runEnd_;
        }
        if (pos_ == end) {  // no string here; the data is not damaged
            restore(mark);
            return -1;
        }
        const void* zero = std::memchr(data_.data() + pos_, 0, end - pos_);
        if (!zero) {
            restore(mark);
            fail("string without terminator at byte " + std::to_string(pos_));
            return -1;
        }
        const size_t length = static_cast<const char*>(zero) - (data_.data() + pos_);
        const size_t stored = std::min(length, static_cast<size_t>(max) - 1);
        std::memcpy(buf, data_.data() + pos_, stored);
        buf[stored] = 0;
        pos_ += length + 1;
        return static_cast<int>(stored);
    }

    LWID identifier(const LWBlockIdent* ids) override {
        uint64_t code;
        if (!integer(4, code)) return 0;
        return match(ids, static_cast<LWID>(code));
    }

    LWID find(const LWBlockIdent* ids) override {
        if (failed() || inLeaf()) return 0;
        if (inRun_) {
            pos_ = runEnd_;
            inRun_ = false;
        }
        while (pos_ < limit()) {
            LWID id;
            bool group;
            size_t size;
            if (!header(pos_, id, group, size)) return 0;
            const size_t body = pos_ + 8;
            if (id != 0 && match(ids, id)) {
                frames_.push_back({!group, body + size});
                pos_ = body;
                return id;
            }
            pos_ = body + size;
        }
        return 0;
    }

    void end() override {
        if (frames_.size() > 1) {
            pos_ = frames_.back().end;
            frames_.pop_back();
        }
        inRun_ = false;
    }

    int depth() const override { return static_cast<int>(frames_.size()) - 1; }

private:
    struct Frame {
        bool leaf;
        size_t end;
    };
    struct Mark {
        size_t pos;
        bool inRun;
        size_t runEnd;
    };
    Mark here() const { return {pos_, inRun_, runEnd_}; }
    void restore(const Mark& m) {
        pos_ = m.pos;
        inRun_ = m.inRun;
        runEnd_ = m.runEnd;
    }

    size_t limit() const { return frames_.back().end; }
    bool inLeaf() const { return frames_.back().leaf; }

    uint32_t be32(size_t at) const {
        const auto* p = reinterpret_cast<const unsigned char*>(data_.data() + at);
        return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    }

    // The block header at `at`, checked against the enclosing frame.
    bool header(size_t at, LWID& id, bool& group, size_t& size) {
        const size_t lim = limit();
        if (lim - at < 8) {
            fail("truncated block header at byte " + std::to_string(at));
            return false;
        }
        id = be32(at);
        const uint32_t word = be32(at + 4);
        group = (word & kGroupBit) != 0;
        size = word & kSizeMask;
        if (size > lim - at - 8) {
            fail("block " + idText(id) + " at byte " + std::to_string(at) + " claims " + std::to_string(size) +
                 " bytes, past the end of its enclosing block at byte " + std::to_string(lim));
            return false;
        }
        if (id == 0 && group) {
            fail("value run at byte " + std::to_string(at) + " is marked as a group");
            return false;
        }
        return true;
    }

    // Steps into the value run at the position, if the next item of this
    // level is one.
    bool enterRun() {
        inRun_ = false;
        const size_t lim = limit();
        if (pos_ >= lim || lim - pos_ < 8 || be32(pos_) != 0) return false;
        const uint32_t word = be32(pos_ + 4);
        const size_t size = word & kSizeMask;
        if ((word & kGroupBit) || size > lim - pos_ - 8) return false;
        pos_ += 8;
        runEnd_ = pos_ + size;
        inRun_ = true;
        return true;
    }

    // How many of `wanted` value bytes can be read from here.
    size_t available(size_t wanted) {
        if (failed()) return 0;
        if (inLeaf()) return std::min(wanted, limit() - pos_);
        const Mark mark = here();
        size_t got = 0;
        while (got < wanted) {
            if ((!inRun_ || pos_ == runEnd_) && !enterRun()) break;
            const size_t k = std::min(wanted - got, runEnd_ - pos_);
            pos_ += k;
            got += k;
        }
        restore(mark);
        return got;
    }

    // Copies exactly n value bytes; on a shortfall nothing is consumed.
    bool take(size_t n, unsigned char* out) {
        if (available(n) < n) return false;
        if (inLeaf()) {
            std::memcpy(out, data_.data() + pos_, n);
            pos_ += n;
            return true;
        }
        size_t got = 0;
        while (got < n) {
            if (!inRun_ || pos_ == runEnd_) enterRun();
            const size_t k = std::min(n - got, runEnd_ - pos_);
            std::memcpy(out + got, data_.data() + pos_, k);
            pos_ += k;
            got += k;
        }
        return true;
    }

    std::string data_;
    size_t pos_ = 0;
    std::vector<Frame> frames_;
    bool inRun_ = false;
    size_t runEnd_ = 0;
};

// Text form. A group's extent (up to its closing brace) is found and
// checked before the group is entered, so every frame is a range of whole
// lines that the reader never leaves.
class TextReader : public BlockReader {
public:
    explicit TextReader(std::string text) : text_(std::move(text)) {
        frames_.push_back({false, text_.size(), text_.size()});
    }

    int raw(char* buf, int len) override {
        int got = 0;
        while (got < len && !failed()) {
            if (pendingPos_ < pending_.size()) {
                const size_t k = std::min(pending_.size() - pendingPos_, static_cast<size_t>(len - got));
                std::memcpy(buf + got, pending_.data() + pendingPos_, k);
                pendingPos_ += k;
                got += static_cast<int>(k);
                continue;
            }
            const Mark mark = here();
            std::string_view t;
            if (!nextToken(t)) break;
            if (t.front() != '<') {
                restore(mark);
                break;
            }
            if (!decodeRaw(t, pending_)) return got;
            pendingPos_ = 0;
        }
        return got;
    }

    bool integer(int bytes, uint64_t& bits) override {
        return value([&](std::string_view t) { return parseInteger(t, bytes, bits); });
    }
    bool real(float& v) override {
        return value([&](std::string_view t) { return parseReal(t, v); });
    }
    bool real(double& v) override {
        return value([&](std::string_view t) { return parseReal(t, v); });
    }

    int string(char* buf, int max) override {
        buf[0] = 0;
        std::string s;
        if (!value([&](std::string_view t) { return t.front() == '"' && decodeString(t, s); })) return -1;
        const size_t stored = std::min(s.size(), static_cast<size_t>(max) - 1);
        std::memcpy(buf, s.data(), stored);
        buf[stored] = 0;
        return static_cast<int>(stored);
    }

    // An identifier is a token name standing as a value. In a group or at
    // the top level it may also open a line, where it reads like a leaf
    // block without values: which of the two it is depends on whether the
    // caller asks for an identifier or for a block.
    LWID identifier(const LWBlockIdent* ids) override {
        dropPending();
        if (failed()) return 0;
        const Mark mark = here();
        const Frame& f = frames_.back();
        std::string_view t;
        bool got = false;
        if (f.leaf) {
            got = lineToken(f.contentEnd, t);
        } else {
            if (inLine_) {
                got = lineToken(lineEnd_, t);
                if (!got && !failed()) {
                    pos_ = lineEnd_ + 1;
                    inLine_ = false;
                }
            }
            if (!got && !failed() && startLine(f.contentEnd)) got = lineToken(lineEnd_, t);
        }
        if (!got || !isName(t)) {
            if (!failed()) restore(mark);
            return 0;
        }
        return match(ids, t);
    }

    LWID find(const LWBlockIdent* ids) override {
        if (failed() || frames_.back().leaf) return 0;
        dropPending();
        if (inLine_) {
            pos_ = lineEnd_ + 1;
            inLine_ = false;
        }
        const Frame f = frames_.back();
        while (pos_ < f.contentEnd) {
            size_t nl;
            if (!lineEnd(pos_, f.contentEnd, nl)) return 0;
            size_t q = pos_;
            while (q < nl && blank(text_[q])) ++q;
            if (q == nl) {
                pos_ = nl + 1;
                continue;
            }
            const char c = text_[q];
            if (c == '{') {
                std::string_view token;
                if (!groupLine(q, nl, token)) return 0;
                size_t closeLine, after;
                if (!findClose(nl + 1, f.contentEnd, token, closeLine, after)) return 0;
                if (const LWID id = match(ids, token)) {
                    frames_.push_back({false, closeLine, after});
                    pos_ = nl + 1;
                    return id;
                }
                pos_ = after;
            } else if (asciiLetter(c)) {
                size_t te = q;
                while (te < nl && tokenChar(text_[te])) ++te;
                if (te < nl && !blank(text_[te])) {
                    fail("bad block name on line " + lineNumber(q));
                    return 0;
                }
                if (const LWID id = match(ids, std::string_view(text_).substr(q, te - q))) {
                    frames_.push_back({true, nl, nl + 1});
                    pos_ = te;
                    return id;
                }
                pos_ = nl + 1;
            } else if (valueStart(c)) {
                pos_ = nl + 1;  // values of this level that were not read
            } else {
                fail(std::string("unexpected '") + c + "' on line " + lineNumber(q));
                return 0;
            }
        }
        return 0;
    }

    void end() override {
        if (frames_.size() > 1) {
            pos_ = frames_.back().after;
            frames_.pop_back();
        }
        inLine_ = false;
        dropPending();
    }

    int depth() const override { return static_cast<int>(frames_.size()) - 1; }

private:
    struct Frame {
        bool leaf;
        size_t contentEnd;  // leaf: its line's newline; group: start of its "}" line
        size_t after;       // where reading goes on once the block is ended
    };
    struct Mark {
        size_t pos;
        bool inLine;
        size_t lineEnd;
    };
    Mark here() const { return {pos_, inLine_, lineEnd_}; }
    void restore(const Mark& m) {
        pos_ = m.pos;
        inLine_ = m.inLine;
        lineEnd_ = m.lineEnd;
    }
    void dropPending() {
        pending_.clear();
        pendingPos_ = 0;
    }

    // Steps to the next line of this level that holds anything, and makes
    // it the current line of values; false at the end of the level.
    bool startLine(size_t limit) {
        while (pos_ < limit) {
            size_t nl;
            if (!lineEnd(pos_, limit, nl)) return false;
            size_t q = pos_;
            while (q < nl && blank(text_[q])) ++q;
            if (q == nl) {
                pos_ = nl + 1;
                continue;
            }
            if (text_[q] == '{' || text_[q] == '}') return false;
            pos_ = q;
            inLine_ = true;
            lineEnd_ = nl;
            return true;
        }
        return false;
    }

    static bool isName(std::string_view t) {
        if (t.empty() || !asciiLetter(t.front())) return false;
        for (char c : t)
            if (!tokenChar(c)) return false;
        return true;
    }

    std::string lineNumber(size_t at) const {
        return std::to_string(1 + std::count(text_.begin(), text_.begin() + static_cast<long>(at), '\n'));
    }

    // The newline ending the line that starts at `from`; a line must end
    // before `limit`.
    bool lineEnd(size_t from, size_t limit, size_t& nl) {
        nl = text_.find('\n', from);
        if (nl == std::string::npos || nl >= limit) {
            fail("line " + lineNumber(from) + " has no end");
            return false;
        }
        return true;
    }

    // "{ Token" on [q, nl).
    bool groupLine(size_t q, size_t nl, std::string_view& token) {
        size_t t = q + 1;
        if (t >= nl || !blank(text_[t])) {
            fail("bad group line " + lineNumber(q));
            return false;
        }
        while (t < nl && blank(text_[t])) ++t;
        size_t te = t;
        while (te < nl && tokenChar(text_[te])) ++te;
        size_t rest = te;
        while (rest < nl && blank(text_[rest])) ++rest;
        if (te == t || !asciiLetter(text_[t]) || rest != nl) {
            fail("bad group line " + lineNumber(q));
            return false;
        }
        token = std::string_view(text_).substr(t, te - t);
        return true;
    }

    // The "}" line closing a group whose content starts at `from`.
    bool findClose(size_t from, size_t limit, std::string_view token, size_t& closeLine, size_t& after) {
        int depth = 0;
        for (size_t p = from; p < limit;) {
            size_t nl;
            if (!lineEnd(p, limit, nl)) return false;
            size_t q = p;
            while (q < nl && blank(text_[q])) ++q;
            if (q < nl && text_[q] == '{') {
                ++depth;
            } else if (q < nl && text_[q] == '}') {
                size_t rest = q + 1;
                while (rest < nl && blank(text_[rest])) ++rest;
                if (rest != nl) {
                    fail("bad closing line " + lineNumber(q));
                    return false;
                }
                if (depth == 0) {
                    closeLine = p;
                    after = nl + 1;
                    return true;
                }
                --depth;
            }
            p = nl + 1;
        }
        fail("group " + std::string(token) + " on line " + lineNumber(from == 0 ? 0 : from - 1) + " is not closed");
        return false;
    }

    // The token starting at or after pos_ on [pos_, end), or false when the
    // line holds no more. Unterminated quotes and raw runs fail the state.
    bool lineToken(size_t end, std::string_view& t) {
        size_t p = pos_;
        while (p < end && blank(text_[p])) ++p;
        if (p >= end) return false;
        const size_t b = p;
        if (text_[p] == '"') {
            ++p;
            while (p < end && text_[p] != '"') {
                if (text_[p] == '\\') ++p;
                ++p;
            }
            if (p >= end) {
                fail("string without closing quote on line " + lineNumber(b));
                return false;
            }
            ++p;
        } else if (text_[p] == '<') {
            while (p < end && text_[p] != '>') ++p;
            if (p >= end) {
                fail("raw data without closing '>' on line " + lineNumber(b));
                return false;
            }
            ++p;
        } else {
            while (p < end && !blank(text_[p])) ++p;
        }
        if (p < end && !blank(text_[p])) {
            fail("text after a value on line " + lineNumber(b));
            return false;
        }
        t = std::string_view(text_).substr(b, p - b);
        pos_ = p;
        return true;
    }

    // The next value token of the current level.
    bool nextToken(std::string_view& t) {
        if (failed()) return false;
        const Frame& f = frames_.back();
        if (f.leaf) return lineToken(f.contentEnd, t);
        for (;;) {
            if (inLine_) {
                if (lineToken(lineEnd_, t)) return true;
                if (failed()) return false;
                pos_ = lineEnd_ + 1;
                inLine_ = false;
            }
            // Only a line of bare values continues this level's values.
            for (;;) {
                if (pos_ >= f.contentEnd) return false;
                size_t nl;
                if (!lineEnd(pos_, f.contentEnd, nl)) return false;
                size_t q = pos_;
                while (q < nl && blank(text_[q])) ++q;
                if (q == nl) {
                    pos_ = nl + 1;
                    continue;
                }
                if (!valueStart(text_[q])) return false;
                pos_ = q;
                inLine_ = true;
                lineEnd_ = nl;
                break;
            }
        }
    }

    // Reads one token and parses it; a token of the wrong kind is left
    // unread.
    template <typename Parse>
    bool value(Parse parse) {
        dropPending();
        const Mark mark = here();
        std::string_view t;
        if (nextToken(t) && parse(t)) return true;
        restore(mark);
        return false;
    }

    static bool parseInteger(std::string_view t, int bytes, uint64_t& bits) {
        const char* b = t.data();
        const char* e = b + t.size();
        if (b < e && *b == '+') ++b;
        if (b == e || *b == '+' || (*b == '-' && t.front() == '+')) return false;
        int64_t v = 0;
        const auto [p, ec] = std::from_chars(b, e, v);
        if (ec != std::errc() || p != e) return false;
        // Either the signed or the unsigned range of the size is accepted,
        // as a binary read would reinterpret the same bits.
        const int64_t lowest = -(int64_t(1) << (8 * bytes - 1));
        const uint64_t mask = (uint64_t(1) << (8 * bytes)) - 1;
        if (v < lowest || (v > 0 && static_cast<uint64_t>(v) > mask)) return false;
        bits = static_cast<uint64_t>(v) & mask;
        return true;
    }

    template <typename F>
    static bool parseReal(std::string_view t, F& out) {
        const char* b = t.data();
        const char* e = b + t.size();
        if (b < e && *b == '+') {
            ++b;
            if (b < e && (*b == '-' || *b == '+')) return false;
        }
        if (b == e) return false;
        F v{};
        const auto [p, ec] = std::from_chars(b, e, v);
        if (ec != std::errc() || p != e) return false;
        out = v;
        return true;
    }

    bool decodeString(std::string_view t, std::string& s) {
        // t is "...", closed, every backslash followed by a character.
        for (size_t i = 1; i + 1 < t.size(); ++i) {
            char c = t[i];
            if (c != '\\') {
                s += c;
                continue;
            }
            c = t[++i];
            switch (c) {
                case '\\': s += '\\'; break;
                case '"': s += '"'; break;
                case 'n': s += '\n'; break;
                case 'r': s += '\r'; break;
                case 't': s += '\t'; break;
                case 'x': {
                    const int hi = i + 2 < t.size() ? hexValue(t[i + 1]) : -1;
                    const int lo = i + 2 < t.size() ? hexValue(t[i + 2]) : -1;
                    if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) {
                        fail("bad \\x escape in a string");
                        return false;
                    }
                    s += static_cast<char>(hi * 16 + lo);
                    i += 2;
                    break;
                }
                default: fail(std::string("unknown escape \\") + c + " in a string"); return false;
            }
        }
        return true;
    }

    bool decodeRaw(std::string_view t, std::string& out) {
        out.clear();
        const std::string_view hex = t.substr(1, t.size() - 2);
        if (hex.size() % 2) {
            fail("raw data with an odd number of hex digits");
            return false;
        }
        for (size_t i = 0; i < hex.size(); i += 2) {
            const int hi = hexValue(hex[i]);
            const int lo = hexValue(hex[i + 1]);
            if (hi < 0 || lo < 0) {
                fail("raw data with a character that is not a hex digit");
                return false;
            }
            out += static_cast<char>(hi * 16 + lo);
        }
        return true;
    }

    std::string text_;
    size_t pos_ = 0;
    std::vector<Frame> frames_;
    bool inLine_ = false;  // inside a line of bare values of a group level
    size_t lineEnd_ = 0;
    std::string pending_;  // decoded raw bytes not read yet
    size_t pendingPos_ = 0;
};

// ====================================================================== writers

class BlockWriter {
public:
    virtual ~BlockWriter() = default;
    virtual void bytes(const char* p, size_t n) = 0;
    virtual void integer(int bytes, uint64_t bits, bool isSigned) = 0;
    virtual void real(float v) = 0;
    virtual void real(double v) = 0;
    virtual void string(const char* s) = 0;
    virtual void end() = 0;
    // Ends the open value run or line and any blocks left open.
    virtual void close() = 0;

    void begin(const LWBlockIdent* ident, bool leaf) {
        if (failed()) return;
        if (!ident) return fail("beginBlk without a block identifier");
        if (ident->id == 0) return fail("beginBlk with the code 0");
        if (!open_.empty() && open_.back().leaf)
            return fail("block " + idText(ident->id) + " begun inside the leaf block " + idText(open_.back().id));
        if (needsToken() && !validToken(ident->token))
            return fail("block " + idText(ident->id) + " has no token the text form can hold");
        open(*ident, leaf);
    }
    void identifier(const LWBlockIdent* ident) {
        if (failed()) return;
        if (!ident) return fail("writeID without an identifier");
        if (ident->id == 0) return fail("writeID with the code 0");
        if (needsToken() && !validToken(ident->token))
            return fail("identifier " + idText(ident->id) + " has no token the text form can hold");
        name(*ident);
    }
    int depth() const { return static_cast<int>(open_.size()); }
    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    const std::string& data() const { return out_; }

protected:
    struct Open {
        LWID id;
        bool leaf;
        size_t at;
    };
    virtual bool needsToken() const = 0;
    virtual void open(const LWBlockIdent& ident, bool leaf) = 0;
    // Writes a checked identifier as a value.
    virtual void name(const LWBlockIdent& ident) = 0;
    void fail(const std::string& why) {
        if (error_.empty()) error_ = why;
    }
    bool inLeaf() const { return !open_.empty() && open_.back().leaf; }
    void closeLeftOpen() {
        if (open_.empty()) return;
        const std::string why = std::to_string(open_.size()) + " block(s) left open, innermost " + idText(open_.back().id);
        while (!open_.empty()) end();
        fail(why);
    }

    std::string out_;
    std::vector<Open> open_;

private:
    std::string error_;
};

class BinaryWriter : public BlockWriter {
public:
    void bytes(const char* p, size_t n) override {
        if (failed() || n == 0) return;
        if (!inLeaf() && run_ == kNone) {
            run_ = out_.size();
            put32(0);
            put32(0);
        }
        out_.append(p, n);
    }
    void integer(int size, uint64_t bits, bool) override {
        char b[4];
        for (int i = 0; i < size; ++i) b[i] = static_cast<char>((bits >> (8 * (size - 1 - i))) & 0xff);
        bytes(b, static_cast<size_t>(size));
    }
    void real(float v) override {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        integer(4, u, false);
    }
    void real(double v) override {
        uint64_t u;
        std::memcpy(&u, &v, 8);
        char b[8];
        for (int i = 0; i < 8; ++i) b[i] = static_cast<char>((u >> (8 * (7 - i))) & 0xff);
        bytes(b, 8);
    }
    void string(const char* s) override {
        const char* text = s ? s : "";
        bytes(text, std::strlen(text) + 1);
    }
    void end() override {
        if (failed()) return;
        if (open_.empty()) return fail("endBlk without an open block");
        closeRun();
        const Open o = open_.back();
        const size_t size = out_.size() - o.at - 8;
        if (size > kSizeMask) return fail("block " + idText(o.id) + " is too large for the binary form");
        patch32(o.at + 4, static_cast<uint32_t>(size) | (o.leaf ? 0u : kGroupBit));
        open_.pop_back();
    }
    void close() override {
        if (failed()) return;
        closeRun();
        closeLeftOpen();
    }

protected:
    bool needsToken() const override { return false; }
    void name(const LWBlockIdent& ident) override { integer(4, ident.id, false); }
    void open(const LWBlockIdent& ident, bool leaf) override {
        closeRun();
        open_.push_back({ident.id, leaf, out_.size()});
        put32(ident.id);
        put32(0);
    }

private:
    void put32(uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) out_ += static_cast<char>((v >> shift) & 0xff);
    }
    void patch32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out_[at + i] = static_cast<char>((v >> (24 - 8 * i)) & 0xff);
    }
    void closeRun() {
        if (run_ == kNone) return;
        const size_t size = out_.size() - run_ - 8;
        if (size > kSizeMask) fail("value run too large for the binary form");
        else patch32(run_ + 4, static_cast<uint32_t>(size));
        run_ = kNone;
    }
    size_t run_ = kNone;  // header of the open value run
};

class TextWriter : public BlockWriter {
public:
    void bytes(const char* p, size_t n) override {
        if (n == 0) return;
        std::string t = "<";
        for (size_t i = 0; i < n; ++i) {
            const auto c = static_cast<unsigned char>(p[i]);
            t += kHexDigits[c >> 4];
            t += kHexDigits[c & 15];
        }
        value(t + ">");
    }
    void integer(int size, uint64_t bits, bool isSigned) override {
        if (isSigned) {
            const int shift = 64 - 8 * size;
            value(std::to_string(static_cast<int64_t>(bits << shift) >> shift));
        } else {
            value(std::to_string(bits));
        }
    }
    void real(float v) override { value(realText(v)); }
    void real(double v) override { value(realText(v)); }
    void string(const char* s) override {
        std::string t = "\"";
        for (const char* p = s ? s : ""; *p; ++p) {
            const auto c = static_cast<unsigned char>(*p);
            switch (c) {
                case '\\': t += "\\\\"; break;
                case '"': t += "\\\""; break;
                case '\n': t += "\\n"; break;
                case '\r': t += "\\r"; break;
                case '\t': t += "\\t"; break;
                default:
                    if (c < 0x20 || c == 0x7f) {
                        t += "\\x";
                        t += kHexDigits[c >> 4];
                        t += kHexDigits[c & 15];
                    } else {
                        t += static_cast<char>(c);
                    }
            }
        }
        value(t + "\"");
    }
    void end() override {
        if (failed()) return;
        if (open_.empty()) return fail("endBlk without an open block");
        const Open o = open_.back();
        open_.pop_back();
        if (o.leaf) {
            out_ += '\n';
            lineOpen_ = false;
        } else {
            closeLine();
            out_.append(2 * open_.size(), ' ');
            out_ += "}\n";
        }
    }
    void close() override {
        if (failed()) return;
        closeLeftOpen();
        closeLine();
    }

protected:
    bool needsToken() const override { return true; }
    void name(const LWBlockIdent& ident) override { value(ident.token); }
    void open(const LWBlockIdent& ident, bool leaf) override {
        closeLine();
        out_.append(2 * open_.size(), ' ');
        if (leaf) {
            out_ += ident.token;
            lineOpen_ = true;
        } else {
            out_ += "{ ";
            out_ += ident.token;
            out_ += '\n';
        }
        open_.push_back({ident.id, leaf, out_.size()});
    }

private:
    template <typename F>
    static std::string realText(F v) {
        char buf[64];
        const auto r = std::to_chars(buf, buf + sizeof buf, v);
        std::string t(buf, r.ptr);
        // "inf" and "nan" would read as a block name at the start of a line.
        if (asciiLetter(t.front())) t.insert(t.begin(), '+');
        return t;
    }
    void value(const std::string& t) {
        if (failed()) return;
        if (inLeaf()) {
            out_ += ' ';
        } else if (!lineOpen_) {
            out_.append(2 * open_.size(), ' ');
            lineOpen_ = true;
        } else {
            out_ += ' ';
        }
        out_ += t;
    }
    void closeLine() {
        if (lineOpen_) out_ += '\n';
        lineOpen_ = false;
    }
    bool lineOpen_ = false;  // a leaf line or a line of bare values is being written
};

// ====================================================================== C tables

namespace {

BlockReader* reader(void* d) { return static_cast<BlockReader*>(d); }
BlockWriter* writer(void* d) { return static_cast<BlockWriter*>(d); }

int readRaw(void* d, char* buf, int len) {
    if (!d || !buf || len <= 0) return 0;
    return reader(d)->raw(buf, len);
}

template <typename T>
int readInts(void* d, T* values, int n) {
    if (!d || !values || n <= 0) return 0;
    using U = std::make_unsigned_t<T>;
    for (int i = 0; i < n; ++i) {
        uint64_t bits;
        if (!reader(d)->integer(sizeof(T), bits)) return i;
        values[i] = static_cast<T>(static_cast<U>(bits));
    }
    return n;
}

template <typename T>
int readReals(void* d, T* values, int n) {
    if (!d || !values || n <= 0) return 0;
    for (int i = 0; i < n; ++i)
        if (!reader(d)->real(values[i])) return i;
    return n;
}

int readStr(void* d, char* buf, int max) {
    if (!d || !buf || max <= 0) return -1;
    return reader(d)->string(buf, max);
}

LWID readID(void* d, const LWBlockIdent* ids) { return d && ids ? reader(d)->identifier(ids) : 0; }
LWID findBlk(void* d, const LWBlockIdent* ids) { return d && ids ? reader(d)->find(ids) : 0; }
void readEnd(void* d) {
    if (d) reader(d)->end();
}
int readDepth(void* d) { return d ? reader(d)->depth() : 0; }

void writeRaw(void* d, const char* buf, int len) {
    if (d && buf && len > 0) writer(d)->bytes(buf, static_cast<size_t>(len));
}

// Signed says how the text form writes the values; it is given rather
// than taken from T because plain char, the type of 8-bit signed values,
// is unsigned on some platforms.
template <typename T, bool Signed>
void writeInts(void* d, const T* values, int n) {
    if (!d || !values) return;
    using U = std::make_unsigned_t<T>;
    for (int i = 0; i < n; ++i) writer(d)->integer(sizeof(T), static_cast<U>(values[i]), Signed);
}

template <typename T>
void writeReals(void* d, const T* values, int n) {
    if (!d || !values) return;
    for (int i = 0; i < n; ++i) writer(d)->real(values[i]);
}

void writeStr(void* d, const char* text) {
    if (d) writer(d)->string(text);
}
void writeID(void* d, const LWBlockIdent* ident) {
    if (d) writer(d)->identifier(ident);
}
void beginBlk(void* d, const LWBlockIdent* ident, int leaf) {
    if (d) writer(d)->begin(ident, leaf != 0);
}
void writeEnd(void* d) {
    if (d) writer(d)->end();
}
int writeDepth(void* d) { return d ? writer(d)->depth() : 0; }

int knownMode(int ioMode) { return ioMode == LWIO_BINARY ? LWIO_BINARY : LWIO_ASCII; }

}  // namespace

// ====================================================================== states

SaveState::SaveState(int ioMode) {
    if (ioMode == LWIO_BINARY) writer_ = std::make_unique<BinaryWriter>();
    else writer_ = std::make_unique<TextWriter>();
    state_ = LWSaveState{knownMode(ioMode),
                         writer_.get(),
                         writeRaw,
                         writeInts<char, true>,
                         writeInts<short, true>,
                         writeInts<int, true>,
                         writeInts<unsigned char, false>,
                         writeInts<unsigned short, false>,
                         writeInts<unsigned int, false>,
                         writeReals<float>,
                         writeStr,
                         writeID,
                         beginBlk,
                         writeEnd,
                         writeDepth,
                         writeReals<double>};
}

SaveState::~SaveState() = default;

bool SaveState::finish() {
    writer_->close();
    return !writer_->failed();
}
bool SaveState::failed() const { return writer_->failed(); }
const std::string& SaveState::error() const { return writer_->error(); }
const std::string& SaveState::data() const { return writer_->data(); }

bool SaveState::writeFile(const std::string& path) { return finish() && writeWholeFile(path, data()); }

LoadState::LoadState(std::string data, int ioMode) {
    if (ioMode == LWIO_BINARY) reader_ = std::make_unique<BinaryReader>(std::move(data));
    else reader_ = std::make_unique<TextReader>(std::move(data));
    state_ = LWLoadState{knownMode(ioMode),
                         reader_.get(),
                         readRaw,
                         readInts<char>,
                         readInts<short>,
                         readInts<int>,
                         readInts<unsigned char>,
                         readInts<unsigned short>,
                         readInts<unsigned int>,
                         readReals<float>,
                         readStr,
                         readID,
                         findBlk,
                         readEnd,
                         readDepth,
                         readReals<double>};
}

LoadState::~LoadState() = default;

std::unique_ptr<LoadState> LoadState::fromFile(const std::string& path, int ioMode) {
    std::string data;
    if (!readWholeFile(path, data)) return nullptr;
    return std::make_unique<LoadState>(std::move(data), ioMode);
}

bool LoadState::failed() const { return reader_->failed(); }
const std::string& LoadState::error() const { return reader_->error(); }

bool readWholeFile(const std::string& path, std::string& out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::string data;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    if (ok) out = std::move(data);
    return ok;
}

bool writeWholeFile(const std::string& path, const std::string& data) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return (std::fclose(f) == 0) && written;
}

// ====================================================================== service

namespace {
LWLoadState* serviceOpenLoad(const char* path, int ioMode) {
    Host* host = Host::current();
    return host ? host->fileIO().openLoad(path, ioMode) : nullptr;
}
void serviceCloseLoad(LWLoadState* state) {
    if (Host* host = Host::current()) host->fileIO().closeLoad(state);
}
LWSaveState* serviceOpenSave(const char* path, int ioMode) {
    Host* host = Host::current();
    return host ? host->fileIO().openSave(path, ioMode) : nullptr;
}
void serviceCloseSave(LWSaveState* state) {
    if (Host* host = Host::current()) host->fileIO().closeSave(state);
}
}  // namespace

FileIO::FileIO() : table_{serviceOpenSave, serviceCloseSave, serviceOpenLoad, serviceCloseLoad} {}

FileIO::~FileIO() {
    for (auto& s : saves_)
        if (s.file) std::fclose(s.file);
}

LWLoadState* FileIO::openLoad(const char* path, int ioMode) {
    std::lock_guard lock(mutex_);
    loadRequests_.push_back(path ? path : "");
    if (!path || (ioMode != LWIO_ASCII && ioMode != LWIO_BINARY)) return nullptr;
    auto state = LoadState::fromFile(path, ioMode);
    if (!state) return nullptr;
    loads_.push_back(std::move(state));
    return loads_.back()->state();
}

void FileIO::closeLoad(LWLoadState* state) {
    std::lock_guard lock(mutex_);
    for (auto it = loads_.begin(); it != loads_.end(); ++it) {
        if ((*it)->state() != state) continue;
        if ((*it)->failed()) errors_.push_back("load: " + (*it)->error());
        loads_.erase(it);
        return;
    }
    errors_.push_back("closeLoad of a state that is not open");
}

LWSaveState* FileIO::openSave(const char* path, int ioMode) {
    std::lock_guard lock(mutex_);
    saveRequests_.push_back(path ? path : "");
    if (!path || (ioMode != LWIO_ASCII && ioMode != LWIO_BINARY)) return nullptr;
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return nullptr;
    saves_.push_back({std::make_unique<SaveState>(ioMode), file, path});
    return saves_.back().save->state();
}

void FileIO::closeSave(LWSaveState* state) {
    std::lock_guard lock(mutex_);
    for (auto it = saves_.begin(); it != saves_.end(); ++it) {
        if (it->save->state() != state) continue;
        bool ok = it->save->finish();
        if (ok) {
            const std::string& data = it->save->data();
            ok = std::fwrite(data.data(), 1, data.size(), it->file) == data.size();
        }
        ok = (std::fclose(it->file) == 0) && ok;
        SaveOutcome outcome{it->path, ok, ""};
        if (!ok) {
            outcome.error = it->save->failed() ? it->save->error() : std::string("the file could not be written");
            errors_.push_back("save " + it->path + ": " + outcome.error);
        }
        closedSaves_.push_back(std::move(outcome));
        saves_.erase(it);
        return;
    }
    errors_.push_back("closeSave of a state that is not open");
}

std::vector<FileIO::SaveOutcome> FileIO::closedSaves() const {
    std::lock_guard lock(mutex_);
    return closedSaves_;
}

bool FileIO::saved(const std::string& path) const {
    std::lock_guard lock(mutex_);
    for (auto it = closedSaves_.rbegin(); it != closedSaves_.rend(); ++it)
        if (it->path == path) return it->written;
    return false;
}

int FileIO::openLoads() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(loads_.size());
}

int FileIO::openSaves() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(saves_.size());
}

std::vector<std::string> FileIO::loadRequests() const {
    std::lock_guard lock(mutex_);
    return loadRequests_;
}

std::vector<std::string> FileIO::saveRequests() const {
    std::lock_guard lock(mutex_);
    return saveRequests_;
}

std::vector<std::string> FileIO::errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
}

}  // namespace hostsim
