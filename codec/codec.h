// The codec library as the image core and the converter use it: an adapter
// over OpenJPEG that reads JPEG 2000 files by view (any file rectangle at any
// output size, line by line) and writes tiled JPEG 2000 files through a
// compression client. ECW files are recognised and refused: this build has
// no ECW codec.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace korvalith::codec {

// Result codes. Every failure has a text (errorText).
enum class Status : int {
    Ok = 0,
    FileNotFound,       // no file at the path
    FileOpenFailed,     // the file exists but cannot be read
    UnknownFormat,      // neither JPEG 2000 nor ECW
    EcwNotSupported,    // an ECW file, or an .ecw target: no ECW codec in this build
    Corrupt,            // header or codestream damaged, or sizes the decoder refuses
    TooLarge,           // sizes whose buffers would overflow, or whose decoding would need more memory
                        // than the safety limits (a header's claim that cannot be read in parts)
    InvalidView,        // view outside the image, empty, or bands out of range
    NoView,             // a line read without a view, or past its last line
    DecodeFailed,       // the codestream of the view could not be decoded
    OutOfMemory,
    InvalidParameter,   // compression client filled wrongly
    CompressOpenFailed, // output cannot be created
    ReadCallbackFailed, // the compression read callback reported failure
    WriteFailed,        // writing the output failed
    NotOpen,            // compression run or close before a successful open
    Count               // one past the largest code
};

// Text for a code; codes at or beyond Status::Count give the text for an
// invalid error value.
const char* errorText(Status status);

// Process-wide start-up and shutdown; counted, so nested pairs are fine.
void startup();
void shutdown();

// Which reader opened a file.
enum class Reader : int { None = 0, Jpeg2000 = 1, Ecw = 2 };

// What the file header says, without decoding pixels.
Reader identify(const std::string& path);

struct FileInfo {
    int width = 0;
    int height = 0;
    int bands = 0;            // bands as delivered: palette expanded; sYCC, e-sYCC and CMYK as RGB;
                              // colours in the order the channel definitions give
    int cellType = 0;         // 0: samples of up to 8 bits, 1: 9 to 16 bits
    int compressionRate = 1;  // raw bytes / file bytes, rounded, at least 1
    Reader reader = Reader::None;
    int precision = 8;        // bits per sample of the first component
    bool isSigned = false;
    int resolutionLevels = 1; // decomposition levels + 1
    int tileWidth = 0;        // codestream tile size (the image size for an untiled file)
    int tileHeight = 0;
    int tilesX = 1;
    int tilesY = 1;
    // The JP2 colour box ("colr") holds an embedded ICC profile (of that many
    // bytes). Samples are delivered as stored; the profile is not applied.
    bool hasIccProfile = false;
    uint32_t iccProfileBytes = 0;
};

// One open file. The parsed codestream is kept for the file's lifetime.
// Not thread-safe on its own: callers serialise views and line reads of one
// file; different files may be read from different threads at once.
class File {
public:
    // Opens and parses the header. Returns null on failure with the code in
    // *status and a readable reason in *message (either may be null).
    static std::unique_ptr<File> open(const std::string& path, Status* status = nullptr,
                                      std::string* message = nullptr);
    virtual ~File() = default;

    virtual const FileInfo& info() const = 0;
    virtual const std::string& path() const = 0;

    // Sets up a view: bandCount band indices (file order), an output of
    // width × height cells per band, and the file rectangle (x0, y0) to
    // (x1, y1) with both corners inclusive. The output pixel i (and likewise
    // row j) takes the source pixel at the start of the interval
    // x0 + i·(x1 − x0 + 1)/width, measured at the resolution level decoded.
    virtual Status setView(int bandCount, const int* bands, int width, int height, int x0, int y0, int x1,
                           int y1) = 0;

    // Reads the next line of the view into one buffer of `width` cells per
    // band of the view (band interleaved by line). Cells are normalised to
    // the cell type's positive range: 8-bit 0…255, 16-bit 0…32767, 32-bit
    // 0…2^31−1, so that the largest value of the file maps to the top.
    virtual Status readLine(uint8_t** bandLines) = 0;
    virtual Status readLine(int16_t** bandLines) = 0;
    virtual Status readLine(int32_t** bandLines) = 0;

    // Reason of the last failure of this file, beginning with its path.
    virtual const std::string& lastError() const = 0;
};

// The codec's own cache of decoded data, shared by all open files and safe
// to use from several threads: decoded codestream tiles, kept as compact
// cells, least recently used dropped first. The limit (32 MiB until set)
// holds for every insertion; lowering it takes effect at the next purge.
// Closing a file drops its tiles.
void setCacheLimit(uint64_t bytes);
uint64_t cacheLimit();
// Drops cached data until the cache holds no more than its limit.
void purgeCache();
uint64_t cacheBytes();
// Bytes of image data decoded since start-up (samples in their cells).
uint64_t decodedBytes();

// Compression: fill a client, open, compress, close, free.
enum class CompressFormat : int { Greyscale = 1, MultiBand = 3, RGB = 4 };

struct CompressClient;
// Read callback: fills one float per pixel for each band of line y
// (0 … 2^precision − 1; values outside are clamped). Returns false to fail.
using CompressReadFn = bool (*)(CompressClient* client, int line, float** bandLines);
// Status callback: called once per finished line.
using CompressStatusFn = void (*)(CompressClient* client, int line);

struct CompressClient {
    int inputBands = 0;
    int inputWidth = 0;
    int inputHeight = 0;
    CompressFormat format = CompressFormat::RGB;
    int precision = 8;              // bits per sample written, 1 to 16
    float targetCompression = 10;   // target ratio N of 1:N; 1 or less writes losslessly
    std::string outputFile;         // .jp2 writes a JP2 file, .j2k/.j2c/.jpc a codestream; .ecw is refused
    CompressReadFn readCallback = nullptr;
    CompressStatusFn statusCallback = nullptr;
    void* clientData = nullptr;
    int tileSize = 0;               // 0: the adapter's choice
    int resolutionLevels = 0;       // 0: enough for the pyramid down to one small tile
    // Encoder worker threads. Plug-ins start no threads, so the default is
    // the calling thread alone; a host program may ask for more.
    int encoderThreads = 1;
    // Results, set by close:
    float actualCompression = 0;    // raw bytes / output bytes
    uint64_t outputBytes = 0;
    double compressionSeconds = 0;
    double compressionMBSec = 0;    // raw MB per second
};

CompressClient* compressAllocClient();
// Checks the client and creates the output. With calculateSizesOnly only the
// checks run.
Status compressOpen(CompressClient* client, bool calculateSizesOnly = false);
// Reads every line through the callback and writes the file, tile row by
// tile row.
Status compressRun(CompressClient* client);
// Finishes the file and fills the result figures.
Status compressClose(CompressClient* client);
// Frees the client; an open compression is abandoned and its output removed.
void compressFreeClient(CompressClient* client);
// Readable reason of the client's last failed open, run or close (empty
// after success).
std::string compressLastError(CompressClient* client);

}  // namespace korvalith::codec
