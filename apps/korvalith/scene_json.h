// Reading a scene file's JSON with errors that say where: the file, the
// place as a JSON pointer, and the problem.
#pragma once

#include <array>
#include <cmath>
#include <set>
#include <stdexcept>
#include <string>
#include <nlohmann/json.hpp>

namespace korvalith::app {

using Json = nlohmann::ordered_json;
using Vec3 = std::array<double, 3>;

// A scene file that cannot be loaded or saved: the message names the file,
// the place (line:column or a JSON pointer) and the problem.
class SceneError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Reader {
public:
    explicit Reader(std::string file) : file_(std::move(file)) {}
    [[noreturn]] void fail(const std::string& at, const std::string& what) const {
        throw SceneError(file_ + ": " + (at.empty() ? "/" : at) + ": " + what);
    }
    const std::string& file() const { return file_; }

private:
    std::string file_;
};

inline std::string jsonQuoted(const std::string& s) { return Json(s).dump(); }

// A JSON pointer step: "~" and "/" escaped.
inline std::string step(const std::string& at, const std::string& key) {
    std::string k;
    for (char c : key) {
        if (c == '~') k += "~0";
        else if (c == '/') k += "~1";
        else k += c;
    }
    return at + "/" + k;
}
inline std::string step(const std::string& at, size_t index) { return at + "/" + std::to_string(index); }

inline std::string article(const char* kind) {
    return (std::string("aeiou").find(kind[0]) != std::string::npos ? "an " : "a ") + std::string(kind);
}

// A JSON object being read: keys are taken one by one, and what is left
// at the end is refused as unknown.
class Fields {
public:
    Fields(const Reader& r, const Json& j, std::string at) : r_(r), j_(j), at_(std::move(at)) {
        if (!j.is_object()) r.fail(at_, "expected an object, got " + article(j.type_name()));
    }
    const Json* get(const char* key) {
        taken_.insert(key);
        auto it = j_.find(key);
        return it == j_.end() ? nullptr : &*it;
    }
    const Json& require(const char* key) {
        const Json* v = get(key);
        if (!v) r_.fail(at_, "missing required key \"" + std::string(key) + "\"");
        return *v;
    }
    bool has(const char* key) const { return j_.contains(key); }
    std::string at(const char* key) const { return step(at_, key); }
    const std::string& at() const { return at_; }
    // Refuses the keys nobody took.
    void done() const {
        for (auto it = j_.begin(); it != j_.end(); ++it)
            if (!taken_.count(it.key())) r_.fail(at_, "unknown key " + jsonQuoted(it.key()));
    }

private:
    const Reader& r_;
    const Json& j_;
    std::string at_;
    std::set<std::string> taken_;
};

inline double number(const Reader& r, const Json& j, const std::string& at) {
    if (!j.is_number()) r.fail(at, "expected a number, got " + article(j.type_name()));
    const double v = j.get<double>();
    if (!std::isfinite(v)) r.fail(at, "expected a finite number");
    return v;
}

inline int integer(const Reader& r, const Json& j, const std::string& at) {
    const double v = number(r, j, at);
    if (v != std::floor(v) || std::fabs(v) > 1e9) r.fail(at, "expected a whole number, got " + j.dump());
    return static_cast<int>(v);
}

inline std::string text(const Reader& r, const Json& j, const std::string& at) {
    if (!j.is_string()) r.fail(at, "expected a string, got " + article(j.type_name()));
    return j.get<std::string>();
}

inline Vec3 vec3(const Reader& r, const Json& j, const std::string& at) {
    if (!j.is_array() || j.size() != 3) r.fail(at, "expected an array of 3 numbers");
    return {number(r, j[0], step(at, 0)), number(r, j[1], step(at, 1)), number(r, j[2], step(at, 2))};
}

}  // namespace korvalith::app
