/* "File IO": block-structured reading and writing of the host's scene and
 * object files, and the load and save states the host hands to a plug-in's
 * load and save callbacks. Plain C.
 *
 * A file is a sequence of blocks. Each block has a four-character code
 * (LWID) and a token, its name in the text form. A leaf block holds values
 * only; a group block holds values and further blocks. The host frames both
 * kinds, in the binary form (codes, sizes, big-endian values) and in the
 * text form (one block per line under its token, groups between braces);
 * the same calls read and write both forms.
 *
 * Reading: findBlk enters the next block of the current level whose code is
 * in the list (blocks with other codes are skipped) and returns its code, or
 * 0 at the end of the enclosing block or of the file; endBlk leaves the
 * current block, skipping what was not read. Typed reads return the number
 * of values read (0 when none could be read: end of the block, malformed
 * data); values not read are left untouched. A file found malformed stops
 * the state for good: every later findBlk answers 0. */
#ifndef KORVALITH_SDK_LWIO_H
#define KORVALITH_SDK_LWIO_H

#include <stdint.h>

#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWFILEIOFUNCS_GLOBAL "File IO"

/* File forms. */
#define LWIO_BINARY 0
#define LWIO_ASCII 1

/* A block's code and its token. Token names start with a letter and hold
 * letters, digits and '_'. Lists handed to findBlk end with a zero code. */
typedef struct st_LWBlockIdent {
    LWID id;
    const char *token;
} LWBlockIdent;

typedef struct st_LWLoadState {
    int ioMode; /* LWIO_BINARY or LWIO_ASCII */
    void *readData;
    /* Raw bytes: returns the number read. */
    int (*read)(void *readData, char *buf, int len);
    int (*readI1)(void *readData, int8_t *values, int n);
    int (*readI2)(void *readData, int16_t *values, int n);
    int (*readI4)(void *readData, int32_t *values, int n);
    int (*readU1)(void *readData, uint8_t *values, int n);
    int (*readU2)(void *readData, uint16_t *values, int n);
    int (*readU4)(void *readData, uint32_t *values, int n);
    int (*readFP)(void *readData, float *values, int n);
    int (*readDP)(void *readData, double *values, int n);
    /* One string into buf of max bytes, terminator included; a longer
     * string is cut to max - 1 characters (the rest is skipped). Returns the
     * number of characters stored, or -1 when no string could be read (buf
     * then holds the empty string). */
    int (*readStr)(void *readData, char *buf, int max);
    LWID (*findBlk)(void *readData, const LWBlockIdent *ids);
    void (*endBlk)(void *readData);
    int (*depth)(void *readData);
} LWLoadState;

/* Writing. Values may be written inside leaf and group blocks and at the
 * top level. A misuse (a block begun inside a leaf, a zero code, a missing
 * token or one the text form cannot hold, ending a block that was not
 * begun) stops the state: nothing more is written and closeSave reports
 * the file as failed. */
typedef struct st_LWSaveState {
    int ioMode;
    void *writeData;
    void (*write)(void *writeData, const char *buf, int len);
    void (*writeI1)(void *writeData, const int8_t *values, int n);
    void (*writeI2)(void *writeData, const int16_t *values, int n);
    void (*writeI4)(void *writeData, const int32_t *values, int n);
    void (*writeU1)(void *writeData, const uint8_t *values, int n);
    void (*writeU2)(void *writeData, const uint16_t *values, int n);
    void (*writeU4)(void *writeData, const uint32_t *values, int n);
    void (*writeFP)(void *writeData, const float *values, int n);
    void (*writeDP)(void *writeData, const double *values, int n);
    void (*writeStr)(void *writeData, const char *text);
    /* leaf: nonzero for a leaf block, 0 for a group block */
    void (*beginBlk)(void *writeData, const LWBlockIdent *ident, int leaf);
    void (*endBlk)(void *writeData);
    int (*depth)(void *writeData);
} LWSaveState;

/* Shorthands for the calls through a state. */
#define LWLOAD_FIND(ls, ids) ((ls)->findBlk((ls)->readData, (ids)))
#define LWLOAD_END(ls) ((ls)->endBlk((ls)->readData))
#define LWLOAD_DEPTH(ls) ((ls)->depth((ls)->readData))
#define LWLOAD_RAW(ls, p, n) ((ls)->read((ls)->readData, (p), (n)))
#define LWLOAD_I1(ls, p, n) ((ls)->readI1((ls)->readData, (p), (n)))
#define LWLOAD_I2(ls, p, n) ((ls)->readI2((ls)->readData, (p), (n)))
#define LWLOAD_I4(ls, p, n) ((ls)->readI4((ls)->readData, (p), (n)))
#define LWLOAD_U1(ls, p, n) ((ls)->readU1((ls)->readData, (p), (n)))
#define LWLOAD_U2(ls, p, n) ((ls)->readU2((ls)->readData, (p), (n)))
#define LWLOAD_U4(ls, p, n) ((ls)->readU4((ls)->readData, (p), (n)))
#define LWLOAD_FP(ls, p, n) ((ls)->readFP((ls)->readData, (p), (n)))
#define LWLOAD_DP(ls, p, n) ((ls)->readDP((ls)->readData, (p), (n)))
#define LWLOAD_STR(ls, buf, max) ((ls)->readStr((ls)->readData, (buf), (max)))

#define LWSAVE_BEGIN(ss, ident, leaf) ((ss)->beginBlk((ss)->writeData, (ident), (leaf)))
#define LWSAVE_END(ss) ((ss)->endBlk((ss)->writeData))
#define LWSAVE_DEPTH(ss) ((ss)->depth((ss)->writeData))
#define LWSAVE_RAW(ss, p, n) ((ss)->write((ss)->writeData, (p), (n)))
#define LWSAVE_I1(ss, p, n) ((ss)->writeI1((ss)->writeData, (p), (n)))
#define LWSAVE_I2(ss, p, n) ((ss)->writeI2((ss)->writeData, (p), (n)))
#define LWSAVE_I4(ss, p, n) ((ss)->writeI4((ss)->writeData, (p), (n)))
#define LWSAVE_U1(ss, p, n) ((ss)->writeU1((ss)->writeData, (p), (n)))
#define LWSAVE_U2(ss, p, n) ((ss)->writeU2((ss)->writeData, (p), (n)))
#define LWSAVE_U4(ss, p, n) ((ss)->writeU4((ss)->writeData, (p), (n)))
#define LWSAVE_FP(ss, p, n) ((ss)->writeFP((ss)->writeData, (p), (n)))
#define LWSAVE_DP(ss, p, n) ((ss)->writeDP((ss)->writeData, (p), (n)))
#define LWSAVE_STR(ss, text) ((ss)->writeStr((ss)->writeData, (text)))

/* The service: load and save states over files. openLoad answers null when
 * the file cannot be read, openSave when it cannot be created. closeSave
 * writes the file out and returns nonzero when all of it was written and
 * the state was used without a misuse. */
typedef struct st_LWFileIOFuncs {
    LWLoadState *(*openLoad)(const char *path, int ioMode);
    void (*closeLoad)(LWLoadState *state);
    LWSaveState *(*openSave)(const char *path, int ioMode);
    int (*closeSave)(LWSaveState *state);
} LWFileIOFuncs;

#ifdef __cplusplus
}
#endif

#endif
