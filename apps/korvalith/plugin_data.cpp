#include "plugin_data.h"

#include <cstdint>
#include <filesystem>

#include "file_io.h"
#include "host.h"
#include "lwio.h"
#include "message_log.h"
#include "scene_file.h"

namespace korvalith::app {

namespace fs = std::filesystem;

namespace {

// Reads a quoted string of the text form starting at s[i]; false when it is
// not one.
bool unquote(const std::string& s, size_t& i, std::string& out) {
    if (i >= s.size() || s[i] != '"') return false;
    for (++i; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            ++i;
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= s.size()) return false;
        switch (s[i]) {
            case '\\': out += '\\'; break;
            case '"': out += '"'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'x': {
                if (i + 2 >= s.size()) return false;
                const std::string hex = s.substr(i + 1, 2);
                if (hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
                out += static_cast<char>(std::stoi(hex, nullptr, 16));
                i += 2;
                break;
            }
            default: return false;
        }
    }
    return false;
}

std::string quote(const std::string& s) {
    static const char* hex = "0123456789ABCDEF";
    std::string t = "\"";
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '\\': t += "\\\\"; break;
            case '"': t += "\\\""; break;
            case '\n': t += "\\n"; break;
            case '\r': t += "\\r"; break;
            case '\t': t += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    t += "\\x";
                    t += hex[c >> 4];
                    t += hex[c & 15];
                } else {
                    t += ch;
                }
        }
    }
    return t + "\"";
}

// Rewrites the file name of every "Filename" line through change; other
// lines, and lines that do not parse, stay as they are.
template <typename Change>
std::string rewriteFilenames(const std::string& data, Change&& change) {
    std::string out;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos) end = data.size();
        const std::string line = data.substr(start, end - start);
        const size_t indent = line.find_first_not_of(" \t");
        static const std::string token = "Filename ";
        std::string name;
        size_t i = indent == std::string::npos ? 0 : indent + token.size();
        if (indent != std::string::npos && line.compare(indent, token.size(), token) == 0 &&
            unquote(line, i, name) && line.find_first_not_of(" \t\r", i) == std::string::npos) {
            out += line.substr(0, indent) + token + quote(change(name));
        } else {
            out += line;
        }
        if (end < data.size()) out += '\n';
        start = end + 1;
    }
    return out;
}

// What the plug-in told the user while it loaded, as one line; a question
// offering a way out (nobody answers it here) is left out.
std::string messageText(const hostsim::Message& m) {
    std::string t;
    for (const std::string& line : m.lines) {
        std::string::size_type start = 0;
        while (start <= line.size()) {
            std::string::size_type end = line.find('\n', start);
            if (end == std::string::npos) end = line.size();
            const std::string piece = line.substr(start, end - start);
            start = end + 1;
            if (piece.empty() || (m.kind == hostsim::MessageKind::Question && piece.back() == '?')) continue;
            if (!t.empty()) t += t.back() == '.' ? " " : ": ";
            t += piece;
        }
    }
    return t.empty() ? m.title : t;
}

}  // namespace

void loadPluginText(const Reader& r, hostsim::Host& host, SceneFile& scene, std::string data, const std::string& at,
                    const std::string& who, const TextLoader& load) {
    if (data.empty()) return;
    if (data.back() != '\n') data += '\n';  // hand-written text may miss the last line break
    data = rewriteFilenames(data, [&](const std::string& name) {
        if (name.empty() || fs::path(name).is_absolute()) return name;
        const std::string full = (fs::path(scene.folder) / name).lexically_normal().string();
        scene.relativeImages.insert(full);
        return full;
    });
    const size_t before = host.messages().messages().size();
    if (const std::string error = load(data); !error.empty()) r.fail(at, who + error);
    const auto messages = host.messages().messages();
    for (size_t i = before; i < messages.size(); ++i)
        if (messages[i].kind == hostsim::MessageKind::Error || messages[i].kind == hostsim::MessageKind::Question)
            r.fail(at, who + messageText(messages[i]));
}

std::string loadInstance(const LWInstanceFuncs* funcs, LWInstance instance, const std::string& text) {
    hostsim::LoadState state(text, LWIO_ASCII);
    if (const LWError error = funcs->load(instance, state.state())) return error;
    if (state.failed()) return state.error();
    return "";
}

std::string written(const std::string& path, bool relative, const std::string& folder) {
    if (!relative) return path;
    const fs::path rel = fs::path(path).lexically_relative(fs::absolute(folder).lexically_normal());
    return rel.empty() ? path : rel.string();
}

namespace {

// The length of the UTF-8 sequence at s[i], or 0 when none starts there.
size_t utf8Length(const std::string& s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) return 1;
    const size_t n = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0) return 0;
    uint32_t code = c & (0x7Fu >> n);
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        const auto d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xC0) != 0x80) return 0;
        code = code << 6 | (d & 0x3Fu);
    }
    static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return n;
}

// JSON holds UTF-8 only. Bytes of the plug-in's data that are not UTF-8
// (a name in another code page) can only stand in its quoted strings, so
// they are written as the text form's \xHH escapes, which read back as
// the same bytes.
std::string utf8Escaped(const std::string& data) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < data.size();) {
        if (const size_t n = utf8Length(data, i)) {
            out.append(data, i, n);
            i += n;
            continue;
        }
        const auto c = static_cast<unsigned char>(data[i++]);
        out += "\\x";
        out += hex[c >> 4];
        out += hex[c & 15];
    }
    return out;
}

}  // namespace

std::string writtenData(const SceneFile& s, const std::string& text, const std::string& folder) {
    return utf8Escaped(rewriteFilenames(text, [&](const std::string& name) {
        return written(name, s.relativeImages.count(name) > 0, folder);
    }));
}

std::string savedData(const SceneFile& s, const LWInstanceFuncs* funcs, LWInstance instance, const char* kind,
                      const std::string& server, const std::string& folder) {
    hostsim::SaveState state(LWIO_ASCII);
    if (const LWError error = funcs->save(instance, state.state()))
        throw SceneError(s.path + ": the " + kind + " server " + jsonQuoted(server) + " could not save: " + error);
    if (!state.finish())
        throw SceneError(s.path + ": the " + kind + " server " + jsonQuoted(server) +
                         " saved unsound data: " + state.error());
    return writtenData(s, state.data(), folder);
}

}  // namespace korvalith::app
