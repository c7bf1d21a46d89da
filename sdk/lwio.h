/* "File IO": block-structured reading and writing of the host's scene and
 * object files, and the load and save states the host hands to a plug-in's
 * load and save callbacks. Plain C.
 *
 * A file is a sequence of blocks. Each block has a four-character code
 * (LWID) and a token, its name in the text form. A leaf block holds values
 * only; a group block holds values and further blocks. The host frames both
 * kinds, in the binary form and in the text form; the same calls read and
 * write both forms.
 *
 * Every call of a state takes the state's readData or writeData first.
 *
 * Reading: findBlk enters the next block of the current level whose code is
 * in the list (blocks with other codes are skipped) and returns its code, or
 * 0 at the end of the enclosing block or of the file; endBlk leaves the
 * current block, skipping what was not read. Typed reads return the number
 * of values read (0 when none could be read: end of the block, malformed
 * data); values not read are left untouched. readID reads one identifier
 * written by writeID (the four-byte code in the binary form, the token in
 * the text form) and returns the code of the list entry it names, or 0.
 *
 * Writing: beginBlk opens a block (leaf nonzero for a leaf block), endBlk
 * closes it; writeID writes a bare identifier as a value. */
#ifndef KORVALITH_SDK_LWIO_H
#define KORVALITH_SDK_LWIO_H

#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* File forms. */
#define LWIO_BINARY 0
#define LWIO_ASCII 1

/* A block's code and its token. Lists handed to findBlk and readID end with
 * a zero code. */
typedef struct st_LWBlockIdent {
    LWID id;
    const char *token;
} LWBlockIdent;

typedef struct st_LWSaveState {
    int ioMode; /* LWIO_BINARY or LWIO_ASCII */
    void *writeData;
    void (*write)(void *data, const char *buf, int len);
    void (*writeI1)(void *data, const char *values, int n);
    void (*writeI2)(void *data, const short *values, int n);
    void (*writeI4)(void *data, const int *values, int n);
    void (*writeU1)(void *data, const unsigned char *values, int n);
    void (*writeU2)(void *data, const unsigned short *values, int n);
    void (*writeU4)(void *data, const unsigned int *values, int n);
    void (*writeFP)(void *data, const float *values, int n);
    void (*writeStr)(void *data, const char *text);
    void (*writeID)(void *data, const LWBlockIdent *ident);
    void (*beginBlk)(void *data, const LWBlockIdent *ident, int leaf);
    void (*endBlk)(void *data);
    int (*depth)(void *data);
    void (*writeDP)(void *data, const double *values, int n);
} LWSaveState;

typedef struct st_LWLoadState {
    int ioMode; /* LWIO_BINARY or LWIO_ASCII */
    void *readData;
    /* Raw bytes: returns the number read. */
    int (*read)(void *data, char *buf, int len);
    int (*readI1)(void *data, char *values, int n);
    int (*readI2)(void *data, short *values, int n);
    int (*readI4)(void *data, int *values, int n);
    int (*readU1)(void *data, unsigned char *values, int n);
    int (*readU2)(void *data, unsigned short *values, int n);
    int (*readU4)(void *data, unsigned int *values, int n);
    int (*readFP)(void *data, float *values, int n);
    /* One string into buf of max bytes, terminator included; returns its
     * length as stored, or -1 when no string could be read. */
    int (*readStr)(void *data, char *buf, int max);
    LWID (*readID)(void *data, const LWBlockIdent *ids);
    LWID (*findBlk)(void *data, const LWBlockIdent *ids);
    void (*endBlk)(void *data);
    int (*depth)(void *data);
    int (*readDP)(void *data, double *values, int n);
} LWLoadState;

/* Shorthands for the calls through a state. */
#define LWSAVE_I1(ss, p, n) ((*(ss)->writeI1)((ss)->writeData, (p), (n)))
#define LWSAVE_I2(ss, p, n) ((*(ss)->writeI2)((ss)->writeData, (p), (n)))
#define LWSAVE_I4(ss, p, n) ((*(ss)->writeI4)((ss)->writeData, (p), (n)))
#define LWSAVE_U1(ss, p, n) ((*(ss)->writeU1)((ss)->writeData, (p), (n)))
#define LWSAVE_U2(ss, p, n) ((*(ss)->writeU2)((ss)->writeData, (p), (n)))
#define LWSAVE_U4(ss, p, n) ((*(ss)->writeU4)((ss)->writeData, (p), (n)))
#define LWSAVE_FP(ss, p, n) ((*(ss)->writeFP)((ss)->writeData, (p), (n)))
#define LWSAVE_STR(ss, p) ((*(ss)->writeStr)((ss)->writeData, (p)))
#define LWSAVE_ID(ss, b) ((*(ss)->writeID)((ss)->writeData, (b)))
#define LWSAVE_BEGIN(ss, b, l) ((*(ss)->beginBlk)((ss)->writeData, (b), (l)))
#define LWSAVE_END(ss) ((*(ss)->endBlk)((ss)->writeData))
#define LWSAVE_DEPTH(ss) ((*(ss)->depth)((ss)->writeData))
#define LWSAVE_DP(ss, p, n) ((*(ss)->writeDP)((ss)->writeData, (p), (n)))

#define LWLOAD_I1(ls, p, n) ((*(ls)->readI1)((ls)->readData, (p), (n)))
#define LWLOAD_I2(ls, p, n) ((*(ls)->readI2)((ls)->readData, (p), (n)))
#define LWLOAD_I4(ls, p, n) ((*(ls)->readI4)((ls)->readData, (p), (n)))
#define LWLOAD_U1(ls, p, n) ((*(ls)->readU1)((ls)->readData, (p), (n)))
#define LWLOAD_U2(ls, p, n) ((*(ls)->readU2)((ls)->readData, (p), (n)))
#define LWLOAD_U4(ls, p, n) ((*(ls)->readU4)((ls)->readData, (p), (n)))
#define LWLOAD_FP(ls, p, n) ((*(ls)->readFP)((ls)->readData, (p), (n)))
#define LWLOAD_STR(ls, p, n) ((*(ls)->readStr)((ls)->readData, (p), (n)))
#define LWLOAD_ID(ls, b) ((*(ls)->readID)((ls)->readData, (b)))
#define LWLOAD_FIND(ls, b) ((*(ls)->findBlk)((ls)->readData, (b)))
#define LWLOAD_END(ls) ((*(ls)->endBlk)((ls)->readData))
#define LWLOAD_DEPTH(ls) ((*(ls)->depth)((ls)->readData))
#define LWLOAD_DP(ls, p, n) ((*(ls)->readDP)((ls)->readData, (p), (n)))

#define LWFILEIOFUNCS_GLOBAL "File IO"

/* The service: load and save states over files. openSave answers null when
 * the file cannot be created, openLoad when it cannot be read. closeSave
 * writes the file out and tells nothing about how that went: a plug-in that
 * must know opens the file again with openLoad and reads it back. */
typedef struct st_LWFileIOFuncs {
    LWSaveState *(*openSave)(const char *name, int ioMode);
    void (*closeSave)(LWSaveState *save);
    LWLoadState *(*openLoad)(const char *name, int ioMode);
    void (*closeLoad)(LWLoadState *load);
} LWFileIOFuncs;

#ifdef __cplusplus
}
#endif

#endif
