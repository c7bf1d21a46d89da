// Library-wide pieces: error texts, start-up counting, the OpenJPEG glue and
// the process-wide cache of decoded tiles.

#include "internal.h"

#include <algorithm>
#include <atomic>
#include <list>
#include <mutex>
#include <unordered_map>

namespace korvalith::codec {

const char* errorText(Status status) {
    switch (status) {
    case Status::Ok: return "Success";
    case Status::FileNotFound: return "File not found";
    case Status::FileOpenFailed: return "The file cannot be opened for reading";
    case Status::UnknownFormat: return "Unknown file format: neither JPEG 2000 nor ECW";
    case Status::EcwNotSupported: return "ECW is not supported: this build has no ECW codec";
    case Status::Corrupt: return "The file is damaged or not a valid JPEG 2000 file";
    case Status::TooLarge: return "The image, tile or view is too large to decode safely";
    case Status::InvalidView: return "Invalid view: outside the image, empty, or bands out of range";
    case Status::NoView: return "No view is set, or all lines of the view have been read";
    case Status::DecodeFailed: return "The codestream could not be decoded";
    case Status::OutOfMemory: return "Out of memory";
    case Status::InvalidParameter: return "Invalid compression parameters";
    case Status::CompressOpenFailed: return "The compression output cannot be created";
    case Status::ReadCallbackFailed: return "The compression read callback reported a failure";
    case Status::WriteFailed: return "Writing the compressed file failed";
    case Status::NotOpen: return "The compression has not been opened";
    case Status::Count: break;
    }
    return "Invalid error value";
}

namespace {
std::atomic<int> startupCount{0};
}

void startup() { startupCount.fetch_add(1); }

void shutdown() {
    // The last shutdown gives the cached tiles back; files still open keep
    // working and simply decode again.
    int before = startupCount.load();
    while (before > 0 && !startupCount.compare_exchange_weak(before, before - 1)) {
    }
    if (before == 1) detail::cacheClear();
}

namespace detail {

// ---- OpenJPEG glue ---------------------------------------------------------

namespace {

void keepError(const char* message, void* data) {
    std::string& text = static_cast<MessageSink*>(data)->firstError;
    if (!text.empty() || !message) return;
    text = message;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
}

void ignoreMessage(const char*, void*) {}

struct ReadSource {
    int fd;
    uint64_t base;
    uint64_t length;
    uint64_t position = 0;
};

OPJ_SIZE_T streamRead(void* buffer, OPJ_SIZE_T n, void* data) {
    auto* s = static_cast<ReadSource*>(data);
    if (s->position >= s->length) return OPJ_SIZE_T(-1);
    uint64_t want = std::min<uint64_t>(n, s->length - s->position);
    size_t got = readAt(s->fd, s->base + s->position, buffer, size_t(want));
    if (got == 0) return OPJ_SIZE_T(-1);
    s->position += got;
    return got;
}

OPJ_OFF_T streamSkip(OPJ_OFF_T n, void* data) {
    auto* s = static_cast<ReadSource*>(data);
    if (n < 0 && uint64_t(-n) > s->position) return -1;
    s->position = uint64_t(int64_t(s->position) + n);
    return n;
}

OPJ_BOOL streamSeek(OPJ_OFF_T n, void* data) {
    auto* s = static_cast<ReadSource*>(data);
    if (n < 0 || uint64_t(n) > s->length) return OPJ_FALSE;
    s->position = uint64_t(n);
    return OPJ_TRUE;
}

// Large enough for a tile header and its packets in few reads, small enough
// that a seek to another tile does not drag in much unused data.
constexpr OPJ_SIZE_T kStreamBuffer = 256 * 1024;

}  // namespace

void installHandlers(opj_codec_t* codec, MessageSink* sink) {
    opj_set_error_handler(codec, keepError, sink);
    opj_set_warning_handler(codec, ignoreMessage, nullptr);
    opj_set_info_handler(codec, ignoreMessage, nullptr);
}

opj_stream_t* makeReadStream(int fd, uint64_t base, uint64_t length) {
    opj_stream_t* stream = opj_stream_create(kStreamBuffer, OPJ_TRUE);
    if (!stream) return nullptr;
    auto* source = new ReadSource{fd, base, length};
    opj_stream_set_user_data(stream, source, [](void* p) { delete static_cast<ReadSource*>(p); });
    opj_stream_set_user_data_length(stream, length);
    opj_stream_set_read_function(stream, streamRead);
    opj_stream_set_skip_function(stream, streamSkip);
    opj_stream_set_seek_function(stream, streamSeek);
    return stream;
}

// ---- Cache of decoded tiles -------------------------------------------

namespace {

struct KeyHash {
    size_t operator()(const BlockKey& k) const {
        uint64_t h = k.file * 0x9E3779B97F4A7C15ull;
        h ^= (uint64_t(k.reduction) << 32 | k.tile) + 0x632BE59BD9B4E019ull + (h << 6) + (h >> 2);
        return size_t(h);
    }
};

class BlockCache {
public:
    std::shared_ptr<const Block> find(const BlockKey& key) {
        std::lock_guard lock(mutex_);
        auto it = index_.find(key);
        if (it == index_.end()) return nullptr;
        order_.splice(order_.begin(), order_, it->second);
        return it->second->block;
    }

    void insert(const BlockKey& key, std::shared_ptr<const Block> block) {
        uint64_t size = block->bytes();
        std::lock_guard lock(mutex_);
        // A block larger than the whole cache is used by its reader only.
        if (size > limit_) return;
        auto it = index_.find(key);
        if (it != index_.end()) {
            bytes_ -= it->second->bytes;
            order_.erase(it->second);
            index_.erase(it);
        }
        order_.push_front({key, std::move(block), size});
        index_[key] = order_.begin();
        bytes_ += size;
        trimLocked();
    }

    void dropFile(uint64_t file) {
        std::lock_guard lock(mutex_);
        for (auto it = order_.begin(); it != order_.end();) {
            if (it->key.file == file) {
                bytes_ -= it->bytes;
                index_.erase(it->key);
                it = order_.erase(it);
            } else {
                ++it;
            }
        }
    }

    void clear() {
        std::lock_guard lock(mutex_);
        order_.clear();
        index_.clear();
        bytes_ = 0;
    }

    void setLimit(uint64_t bytes) {
        std::lock_guard lock(mutex_);
        limit_ = bytes;
    }
    uint64_t limit() {
        std::lock_guard lock(mutex_);
        return limit_;
    }
    void purge() {
        std::lock_guard lock(mutex_);
        trimLocked();
    }
    uint64_t bytes() {
        std::lock_guard lock(mutex_);
        return bytes_;
    }

private:
    struct Entry {
        BlockKey key;
        std::shared_ptr<const Block> block;
        uint64_t bytes;
    };

    void trimLocked() {
        while (bytes_ > limit_ && !order_.empty()) {
            Entry& last = order_.back();
            bytes_ -= last.bytes;
            index_.erase(last.key);
            order_.pop_back();
        }
    }

    std::mutex mutex_;
    std::list<Entry> order_;  // most recently used first
    std::unordered_map<BlockKey, std::list<Entry>::iterator, KeyHash> index_;
    uint64_t bytes_ = 0;
    uint64_t limit_ = kDefaultCacheLimit;
};

// A plain static, so a plug-in module that is unloaded gives it back; the
// image core closes its files at module shutdown, before it is destroyed.
BlockCache& blockCache() {
    static BlockCache cache;
    return cache;
}

}  // namespace

std::shared_ptr<const Block> cacheFind(const BlockKey& key) { return blockCache().find(key); }
void cacheInsert(const BlockKey& key, std::shared_ptr<const Block> block) {
    blockCache().insert(key, std::move(block));
}
void cacheDropFile(uint64_t file) { blockCache().dropFile(file); }
void cacheClear() { blockCache().clear(); }

}  // namespace detail

void setCacheLimit(uint64_t bytes) { detail::blockCache().setLimit(bytes); }
uint64_t cacheLimit() { return detail::blockCache().limit(); }
void purgeCache() { detail::blockCache().purge(); }
uint64_t cacheBytes() { return detail::blockCache().bytes(); }

namespace {
std::atomic<uint64_t> g_decodedBytes{0};
}  // namespace
void detail::noteDecoded(uint64_t bytes) { g_decodedBytes.fetch_add(bytes, std::memory_order_relaxed); }
uint64_t decodedBytes() { return g_decodedBytes.load(std::memory_order_relaxed); }

}  // namespace korvalith::codec
