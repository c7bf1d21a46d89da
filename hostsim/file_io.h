// "File IO": block-structured load and save states in the binary and the
// text form, over memory or files.
//
// Binary form: a block is its code (4 bytes), a size word (4 bytes, bit 31
// set for a group block) and the payload; values are big-endian, strings
// end with a zero byte, identifiers are their 4-byte code. Values written directly into a group or at the top
// level are framed as value runs under the code 0, so that a reader looking
// for blocks can step over values it does not read.
//
// Text form: one line per leaf block ("Token value value ..."), a group is
// "{ Token" ... "}" with its content indented by two spaces, and values
// written directly into a group or at the top level stand on lines of their
// own. Integers are decimal, floats the shortest text that reads back to
// the same value, strings quoted with \\ \" \n \r \t and \xHH escapes, raw
// bytes as <hex>, identifiers as their bare token; a line of values that
// starts with an identifier reads like a leaf block, and is one to a
// reader that looks for blocks there. Every line ends with a newline, so
// a cut-off line is recognised as such.
//
// Readers never trust sizes or text: every malformed input ends in a clean
// failure (reads answer 0, findBlk answers 0 and the state records why).
#pragma once

#include <cstdio>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "lwio.h"

namespace hostsim {

class BlockReader;
class BlockWriter;

// A save state writing into memory.
class SaveState {
public:
    explicit SaveState(int ioMode);
    ~SaveState();
    SaveState(const SaveState&) = delete;
    SaveState& operator=(const SaveState&) = delete;

    LWSaveState* state() { return &state_; }
    int ioMode() const { return state_.ioMode; }
    // Ends what is still open (a value run, and blocks left open, which
    // count as a misuse) and answers whether the whole output is sound.
    bool finish();
    bool failed() const;
    const std::string& error() const;
    // The bytes written so far; complete after finish().
    const std::string& data() const;
    // finish() and write the bytes to a file; false when either fails.
    bool writeFile(const std::string& path);

private:
    LWSaveState state_;
    std::unique_ptr<BlockWriter> writer_;
};

// A load state reading from bytes held in memory.
class LoadState {
public:
    LoadState(std::string data, int ioMode);
    ~LoadState();
    LoadState(const LoadState&) = delete;
    LoadState& operator=(const LoadState&) = delete;
    // Null when the file cannot be read.
    static std::unique_ptr<LoadState> fromFile(const std::string& path, int ioMode);

    LWLoadState* state() { return &state_; }
    int ioMode() const { return state_.ioMode; }
    // Set once malformed data was met; error() says what and where.
    bool failed() const;
    const std::string& error() const;

private:
    LWLoadState state_;
    std::unique_ptr<BlockReader> reader_;
};

// Whole-file helpers.
bool readWholeFile(const std::string& path, std::string& out);
bool writeWholeFile(const std::string& path, const std::string& data);

// The service: states opened on files by plug-in code.
class FileIO {
public:
    FileIO();
    ~FileIO();
    const LWFileIOFuncs* table() const { return &table_; }

    LWSaveState* openSave(const char* path, int ioMode);
    // Writes the file out. The service tells the plug-in nothing; how it
    // went is kept for closedSaves() and saved(), and a failure also goes
    // to errors().
    void closeSave(LWSaveState* state);
    LWLoadState* openLoad(const char* path, int ioMode);
    void closeLoad(LWLoadState* state);

    // How one closeSave ended.
    struct SaveOutcome {
        std::string path;
        bool written;       // the whole file, from a state used without a misuse
        std::string error;  // why not, when not written
    };
    // Every closeSave of a state opened here, in order.
    std::vector<SaveOutcome> closedSaves() const;
    // Whether the latest closeSave of the path wrote it; false as well when
    // no save of the path was closed.
    bool saved(const std::string& path) const;

    // States opened and not yet closed.
    int openLoads() const;
    int openSaves() const;
    // Paths asked for, in order, whether or not they could be opened.
    std::vector<std::string> loadRequests() const;
    std::vector<std::string> saveRequests() const;
    // Failures of load states at closing, and of saves, in order.
    std::vector<std::string> errors() const;

private:
    struct OpenSave {
        std::unique_ptr<SaveState> save;
        std::FILE* file = nullptr;
        std::string path;
    };
    LWFileIOFuncs table_;
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<LoadState>> loads_;
    std::vector<OpenSave> saves_;
    std::vector<std::string> loadRequests_;
    std::vector<std::string> saveRequests_;
    std::vector<std::string> errors_;
    std::vector<SaveOutcome> closedSaves_;
};

}  // namespace hostsim
