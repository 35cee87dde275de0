// Reading and parsing input that may be anything: a huge file, /dev/zero,
// UTF-16 text, nesting a million levels deep, numbers past any range. Each is
// refused with one line before it can cost much time or memory.
#include "simulator/json_input.h"

#include "device/names.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace simtool {

namespace {

using Json = nlohmann::json;

// Characters that would break a line or reorder what a terminal shows.
bool IsControl(std::uint32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::string LineAndColumn(const std::string& text, std::size_t offset) {
    offset = std::min(offset, text.size());
    const auto end = text.begin() + static_cast<std::ptrdiff_t>(offset);
    const std::size_t line = 1 + static_cast<std::size_t>(std::count(text.begin(), end, '\n'));
    const std::size_t newline = offset == 0 ? std::string::npos : text.rfind('\n', offset - 1);
    const std::size_t column = newline == std::string::npos ? offset + 1 : offset - newline;
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

std::string Shortened(const std::string& number) {
    return number.size() <= 24
               ? number
               : number.substr(0, 20) + "... (" + std::to_string(number.size()) + " characters)";
}

// Text in another encoding than UTF-8 is told by its byte order mark or by
// the zero bytes around the first character, which JSON keeps ASCII.
const char* OtherEncoding(const std::string& text) {
    auto starts = [&text](const char* bytes, std::size_t n) {
        return text.size() >= n && text.compare(0, n, bytes, n) == 0;
    };
    auto zero = [&text](std::size_t i) { return i < text.size() && text[i] == '\0'; };
    // "{" is 7B 00 00 00 or 00 00 00 7B in UTF-32, 7B 00 or 00 7B in UTF-16.
    if (starts("\xFF\xFE\0\0", 4) || starts("\0\0\xFE\xFF", 4) ||
        (text.size() >= 4 && zero(1) && zero(2) && zero(0) != zero(3))) {
        return "UTF-32";
    }
    if (starts("\xFF\xFE", 2) || starts("\xFE\xFF", 2) ||
        (text.size() >= 2 && zero(0) != zero(1))) {
        return "UTF-16";
    }
    return nullptr;
}

// Builds the document from the parser's events, keeping the place of each
// value and refusing what the description can never hold as soon as it is
// seen. Unknown fields are refused at their key, before their value is read.
class Builder {
  public:
    Builder(const std::string& text, const std::string& file, const std::string& at,
            FieldsAt fieldsAt)
        : text_(text), file_(file), at_(at), fieldsAt_(fieldsAt) {}

    Json& Root() {
        return root_;
    }

    bool null() {
        return Add(Json(nullptr));
    }
    bool boolean(bool value) {
        return Add(Json(value));
    }
    bool number_integer(Json::number_integer_t value) {
        return Add(Json(value));
    }
    bool number_unsigned(Json::number_unsigned_t value) {
        return Add(Json(value));
    }
    bool number_float(Json::number_float_t value, const std::string& written) {
        if (written.find_first_of(".eE") == std::string::npos) {
            TooLarge(written); // a whole number past 64 bits
        }
        return Add(Json(value));
    }
    bool string(std::string& value) {
        return Add(Json(std::move(value)));
    }
    bool binary(Json::binary_t&) {
        return false; // JSON text holds no binary values
    }
    bool start_object(std::size_t) {
        return Open(true);
    }
    bool key(std::string& name) {
        levels_.back().key = name;
        const Frame& frame = frames_.back();
        if (frame.value->contains(name)) {
            Fail(Place(), "field " + Quoted(name) + " given twice");
        }
        if (frame.fields != nullptr &&
            std::find(frame.fields->begin(), frame.fields->end(), name) == frame.fields->end()) {
            std::string list;
            for (const std::string& known : *frame.fields) {
                list += (list.empty() ? "" : ", ") + known;
            }
            Fail(Place(), "unknown field " + Quoted(name) + " (known here: " + list + ")");
        }
        return true;
    }
    bool end_object() {
        return Close();
    }
    bool start_array(std::size_t) {
        return Open(false);
    }
    bool end_array() {
        return Close();
    }
    bool parse_error(std::size_t position, const std::string& token, const Json::exception& error) {
        if (error.id == 406) { // a number past the range of a double
            TooLarge(token);
        }
        // nlohmann's text without its prefix and position, which is given as
        // line and column of the text instead.
        std::string what = error.what();
        std::size_t column = what.find("column ");
        column = column == std::string::npos ? column : what.find(": ", column);
        what = column == std::string::npos ? what : what.substr(column + 2);
        const std::string place = LineAndColumn(text_, position == 0 ? 0 : position - 1);
        if (!at_.empty()) {
            Fail(at_, "not a JSON object: " + what + " (" + place + ")");
        }
        Fail(place, what);
    }

  private:
    struct Frame {
        Json* value;
        const std::vector<std::string>* fields; // objects: the fields allowed, or null
    };

    [[noreturn]] void Fail(const std::string& place, const std::string& what) const {
        throw InputError(file_, place, what);
    }

    [[noreturn]] void TooLarge(const std::string& number) const {
        Fail(Place(), "the number " + Shortened(number) +
                          (number[0] == '-' ? " is out of range" : " is too large"));
    }

    // The place of the value being read, built only when it is needed.
    std::string Place() const {
        std::string place = at_;
        for (const Level& level : levels_) {
            place = level.object ? Field(place, level.key) : Index(place, level.index);
        }
        return place.empty() ? "top level" : place;
    }

    // Puts a value in the container being read; the slot it took.
    Json* Put(Json&& value) {
        if (frames_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        Json& top = *frames_.back().value;
        if (top.is_array()) {
            top.push_back(std::move(value));
            return &top.back();
        }
        Json& slot = top[levels_.back().key];
        slot = std::move(value);
        return &slot;
    }

    void Next() {
        if (!levels_.empty() && !levels_.back().object) {
            ++levels_.back().index;
        }
    }

    bool Add(Json&& value) {
        Put(std::move(value));
        Next();
        return true;
    }

    bool Open(bool object) {
        if (levels_.size() >= MaxNesting) {
            Fail(Place(), "nested deeper than " + std::to_string(MaxNesting) +
                              " levels of arrays and objects");
        }
        const std::vector<std::string>* fields =
            object && fieldsAt_ != nullptr ? fieldsAt_(levels_) : nullptr;
        Json* value = Put(object ? Json::object() : Json::array());
        frames_.push_back({value, fields});
        levels_.push_back({object, std::string(), 0});
        return true;
    }

    bool Close() {
        frames_.pop_back();
        levels_.pop_back();
        Next();
        return true;
    }

    const std::string& text_;
    const std::string& file_;
    const std::string& at_;
    FieldsAt fieldsAt_;
    Json root_;
    std::vector<Frame> frames_;
    std::vector<Level> levels_;
};

} // namespace

InputError::InputError(const std::string& file, const std::string& place, const std::string& what)
    : std::runtime_error(Escaped(file + ": " + (place.empty() ? "" : place + ": ") + what)) {}

std::string Escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    char escaped[16];
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t c = 0;
        std::size_t n = sim::DecodeUtf8(text, i, c);
        if (n == 0) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X",
                          static_cast<unsigned>(static_cast<unsigned char>(text[i])));
            out += escaped;
            ++i;
        } else if (IsControl(c)) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
            i += n;
        } else {
            out.append(text, i, n);
            i += n;
        }
    }
    return out;
}

std::string Quoted(const std::string& text) {
    return "\"" + Escaped(text) + "\"";
}

std::size_t Utf8End(const std::string& text) {
    std::uint32_t c = 0;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = sim::DecodeUtf8(text, i, c);
        if (n == 0) {
            return i;
        }
        i += n;
    }
    return text.size();
}

std::string Field(const std::string& place, const std::string& name) {
    return place.empty() ? name : place + "." + name;
}

std::string Index(const std::string& place, std::size_t index) {
    return place + "[" + std::to_string(index) + "]";
}

std::string ReadInput(const std::string& file, const std::string& name) {
    const std::string tooLarge = "larger than " + std::to_string(MaxInputBytes >> 20) +
                                 " MiB, the most a description may be";
    const int fd = file == "-" ? STDIN_FILENO : ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw InputError(name, "", std::string("cannot read: ") + std::strerror(errno));
    }
    struct Closer {
        int fd;
        ~Closer() {
            if (fd != STDIN_FILENO) {
                ::close(fd);
            }
        }
    } closer{fd};
    std::string text;
    struct stat info;
    if (::fstat(fd, &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            throw InputError(name, "", "cannot read: it is a folder, not a file");
        }
        if (S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) > MaxInputBytes) {
            throw InputError(name, "", tooLarge);
        }
        // A pipe or a device has no size: room for the most it may give, which
        // costs memory only as it is filled.
        text.reserve(S_ISREG(info.st_mode) ? static_cast<std::size_t>(info.st_size) + 1
                                           : MaxInputBytes);
    }
    // Read in pieces: a device or a pipe has no size to check beforehand.
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw InputError(name, "", std::string("cannot read: ") + std::strerror(errno));
        }
        if (n == 0) {
            return text;
        }
        if (text.size() + static_cast<std::size_t>(n) > MaxInputBytes) {
            throw InputError(name, "", tooLarge);
        }
        text.append(buffer, static_cast<std::size_t>(n));
        // Text with a NUL byte is refused whatever follows (see ParseJson), so
        // /dev/zero need not be read to the limit.
        if (std::memchr(buffer, 0, static_cast<std::size_t>(n)) != nullptr) {
            return text;
        }
    }
}

Json ParseJson(const std::string& text, const std::string& file, const std::string& at,
               FieldsAt fieldsAt) {
    if (const char* encoding = OtherEncoding(text)) {
        throw InputError(file, at, std::string("the text is ") + encoding + "; save it as UTF-8");
    }
    const std::size_t bad = Utf8End(text);
    if (bad < text.size()) {
        char what[80];
        std::snprintf(what, sizeof what, "byte 0x%02X is not UTF-8; save the text as UTF-8",
                      static_cast<unsigned>(static_cast<unsigned char>(text[bad])));
        throw InputError(file, at.empty() ? LineAndColumn(text, bad) : at, what);
    }
    // The parser would take a NUL byte for the end of the text.
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) {
        throw InputError(file, at.empty() ? LineAndColumn(text, nul) : at,
                         "a NUL byte, which JSON text cannot hold");
    }
    Builder builder(text, file, at, fieldsAt);
    Json::sax_parse(text, &builder);
    return std::move(builder.Root());
}

} // namespace simtool
