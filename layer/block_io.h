// Helpers for the blocks that instances write through the host's File IO:
// four-character ids, leaf and group blocks, parameter blocks, and the list
// of ids a level of blocks looks for.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "anim_param.h"
#include "lwio.h"

namespace korvalith::blocks {

constexpr LWID id(const char (&code)[5]) { return LWID_(code[0], code[1], code[2], code[3]); }

// Begins a block, runs the writer, ends the block.
template <typename Write>
void block(const LWSaveState* s, const char (&code)[5], const char* token, bool leaf, Write&& write) {
    const LWBlockIdent ident{id(code), token};
    s->beginBlk(s->writeData, &ident, leaf ? 1 : 0);
    write();
    s->endBlk(s->writeData);
}

inline void writeI2(const LWSaveState* s, int v) {
    const int16_t x = static_cast<int16_t>(v);
    s->writeI2(s->writeData, &x, 1);
}

// A group block holding the host's save of a parameter.
inline void paramBlock(const LWSaveState* s, const char (&code)[5], const char* token, const AnimParam& p) {
    block(s, code, token, false, [&] { p.save(s); });
}

inline void leafI2(const LWSaveState* s, const char (&code)[5], const char* token, int v) {
    block(s, code, token, true, [&] { writeI2(s, v); });
}

inline int readI2(const LWLoadState* l, int fallback) {
    int16_t v = 0;
    return l->readI2(l->readData, &v, 1) == 1 ? v : fallback;
}

// The ids a level looks for, in a list that ends with a zero code.
struct Level {
    std::vector<LWBlockIdent> ids;
    Level(std::initializer_list<LWBlockIdent> list) : ids(list) { ids.push_back({0, nullptr}); }
    LWID next(const LWLoadState* l) const { return l->findBlk(l->readData, ids.data()); }
};

}  // namespace korvalith::blocks
